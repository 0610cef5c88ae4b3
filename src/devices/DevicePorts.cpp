#include "devices/DevicePorts.h"

#include <cstring>

namespace
{
    const uint8_t makerId[] = { 0x00, 0x01, 0x38 };

    bool isMessageThread()
    {
        auto* mm = juce::MessageManager::getInstanceWithoutCreating();
        return mm != nullptr && mm->isThisTheMessageThread();
    }
}

DevicePorts::DevicePorts (std::shared_ptr<MidiPortBackend> midiBackend, int inputPortIndex, int outputPortIndex,
                          juce::Thread& workerThread, DeviceFlags& flagWord, juce::ChangeBroadcaster& broadcaster,
                          std::function<bool()> dropping)
    : backend (std::move (midiBackend)),
      inputIndex (inputPortIndex),
      outputIndex (outputPortIndex),
      worker (workerThread),
      flags (flagWord),
      changes (broadcaster),
      dropsInput (std::move (dropping))
{
}

DevicePorts::~DevicePorts()
{
    std::unique_ptr<MidiPortBackend::Input> oldInput;

    {
        const std::lock_guard guard (portLock);
        oldInput = std::move (input);
        output.reset();
    }

    if (oldInput != nullptr)
        oldInput->stop();
}

bool DevicePorts::areOpen() const
{
    const std::lock_guard guard (portLock);
    return input != nullptr && output != nullptr;
}

bool DevicePorts::isOutputOpen() const
{
    const std::lock_guard guard (portLock);
    return output != nullptr;
}

bool DevicePorts::open()
{
    {
        const std::lock_guard guard (portLock);
        closeAsked = false;

        if (input != nullptr && output != nullptr)
            return true;
    }

    if (inputIndex < 0 || outputIndex < 0)
    {
        flags.change (DeviceFlags::noPort);
        changes.sendChangeMessage();
        return false;
    }

    std::unique_ptr<MidiPortBackend::Input> newInput;
    std::shared_ptr<MidiPortBackend::Output> newOutput;
    const bool ok = openOnTheRightThread (newInput, newOutput);

    if (ok)
    {
        connectionLost = false;
        newInput->start();
        const std::lock_guard guard (portLock);
        input = std::move (newInput);
        output = std::move (newOutput);
        flags.change (DeviceFlags::portsOpen);
    }
    else
    {
        newInput.reset();
        newOutput.reset();
        flags.change (DeviceFlags::portFailure);
    }

    changes.sendChangeMessage();
    return ok;
}

bool DevicePorts::openOnTheRightThread (std::unique_ptr<MidiPortBackend::Input>& newInput,
                                        std::shared_ptr<MidiPortBackend::Output>& newOutput)
{
    auto open = [&]
    {
        newInput = backend->openInput (inputIndex, this);
        newOutput = backend->openOutput (outputIndex);
    };

    if (! backend->opensOnMessageThread() || isMessageThread())
    {
        open();
        return newInput != nullptr && newOutput != nullptr;
    }

    // The machine's ports open on the message thread; give up if the unit's
    // thread is told to stop before the message thread gets to it.
    struct Hop { std::mutex lock; bool cancelled = false; juce::WaitableEvent done; std::function<void()> fn; };
    auto hop = std::make_shared<Hop>();
    hop->fn = open;

    juce::MessageManager::callAsync ([hop]
    {
        const std::lock_guard guard (hop->lock);

        if (! hop->cancelled)
            hop->fn();

        hop->done.signal();
    });

    while (! hop->done.wait (50) && ! worker.threadShouldExit())
    {
    }

    const std::lock_guard guard (hop->lock);
    hop->cancelled = true;
    return newInput != nullptr && newOutput != nullptr;
}

void DevicePorts::close()
{
    std::unique_ptr<MidiPortBackend::Input> oldInput;
    std::shared_ptr<MidiPortBackend::Output> oldOutput;

    {
        const std::lock_guard guard (portLock);
        oldInput = std::move (input);
        oldOutput = std::move (output);
        closeAsked = false;
    }

    closeTaken (std::move (oldInput), std::move (oldOutput));
}

void DevicePorts::closeTaken (std::unique_ptr<MidiPortBackend::Input> oldInput, std::shared_ptr<MidiPortBackend::Output> oldOutput)
{
    if (oldInput != nullptr)
        oldInput->stop();

    oldInput.reset();
    oldOutput.reset();
    flags.change (0, DeviceFlags::portsOpen);
    changes.sendChangeMessage();
}

void DevicePorts::closeWhenIdle()
{
    const std::lock_guard guard (portLock);
    closeAsked = input != nullptr || output != nullptr;
}

// Taken in one step with the check, so ports opened again meanwhile stay open.
void DevicePorts::closeIfAsked()
{
    std::unique_ptr<MidiPortBackend::Input> oldInput;
    std::shared_ptr<MidiPortBackend::Output> oldOutput;

    {
        const std::lock_guard guard (portLock);

        if (! closeAsked)
            return;

        oldInput = std::move (input);
        oldOutput = std::move (output);
        closeAsked = false;
    }

    closeTaken (std::move (oldInput), std::move (oldOutput));
}

void DevicePorts::send (const juce::MidiMessage& message)
{
    std::shared_ptr<MidiPortBackend::Output> port;

    {
        const std::lock_guard guard (portLock);
        port = output;
    }

    if (port == nullptr)
        return;

    if (! port->send (message))
        connectionLost = true;

    bytesSent += message.getRawDataSize();
}

//==============================================================================
void DevicePorts::handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message)
{
    bytesReceived += message.getRawDataSize();

    if (dropsInput())
    {
        worker.notify();
        return;
    }

    if (! message.isSysEx() || message.getSysExDataSize() <= 3
         || std::memcmp (message.getSysExData(), makerId, sizeof (makerId)) != 0)
        return;

    {
        const std::lock_guard guard (inputLock);
        pending.push_back (message);
    }

    worker.notify();
}

bool DevicePorts::hasPending() const
{
    const std::lock_guard guard (inputLock);
    return ! pending.empty();
}

bool DevicePorts::takeNext (juce::MidiMessage& out)
{
    if (worker.threadShouldExit())
        return false;

    const std::lock_guard guard (inputLock);

    if (pending.empty())
        return false;

    out = pending.front();
    pending.pop_front();
    return true;
}

void DevicePorts::flush()
{
    if (worker.threadShouldExit())
        return;

    const std::lock_guard guard (inputLock);
    pending.clear();
}
