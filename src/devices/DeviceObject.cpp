#include "devices/DeviceObject.h"

#include "base/BelvoraPaths.h"
#include "base/DeviceInfoMessage.h"
#include "model/DeviceData.h"
#include "platform/Clock.h"

using platform::Clock;
using State = CommandQueue::State;

DeviceObject::DeviceObject (juce::MessageListener& ownerListener, std::shared_ptr<MidiPortBackend> backend,
                            std::shared_ptr<ProductCatalogue> products,
                            const juce::String& entryName, int inputIndex, int outputIndex, Options options)
    : juce::Thread ("DeviceObject"),
      owner (ownerListener),
      catalogue (std::move (products)),
      name (entryName),
      queue (*this),
      ports (std::move (backend), inputIndex, outputIndex, *this, flags, *this, [this] { return exchange.hasFailed(); }),
      exchange (*this, ports, queue),
      identification ({ *this, ports, exchange, queue, flags, *this, *catalogue }, name, options.scanAll),
      transactions ({ *this, ports, exchange, queue, owner })
{
    if (catalogue->getProductNameOfPortName (name).isNotEmpty())
        flags.change (DeviceFlags::namesProduct);

    // Busy with the identification until it ends.
    queue.setState (State::running);
}

DeviceObject::~DeviceObject()
{
    // Every wait of the unit's thread ends on the stop request.
    stopThread (-1);
    ports.close();
}

bool DeviceObject::isUsable() const
{
    return DeviceFlags::isUsable (flags.get());
}

bool DeviceObject::isIdle() const
{
    const auto state = queue.getState();
    return queue.isEmpty() && state != State::running && state != State::locked && state != State::done;
}

bool DeviceObject::openPorts()
{
    return ports.open();
}

void DeviceObject::closePorts()
{
    ports.close();
}

void DeviceObject::release()
{
    if (isIdle())
        return ports.close();

    // The transaction ends on the unit's thread (resuming the unit if it was
    // suspended); the ports close once it has.
    ports.closeWhenIdle();
    requestAbort();
    notify();
}

juce::String DeviceObject::getDataFolder() const
{
    const auto product = catalogue->getProductName (getProductId());
    return BelvoraPaths::getBackupDataFolder (product) + juce::File::getSeparatorString() + juce::String (getSerial());
}

std::shared_ptr<const DeviceCaps> DeviceObject::getCaps() const
{
    const std::lock_guard guard (snapshotLock);
    return caps;
}

std::shared_ptr<const DeviceData> DeviceObject::getData() const
{
    const std::lock_guard guard (snapshotLock);
    return data;
}

void DeviceObject::publish()
{
    if (auto snapshot = transactions.takeSnapshot())
    {
        const std::lock_guard guard (snapshotLock);
        data = std::move (snapshot);
    }
}

std::unique_ptr<juce::XmlElement> DeviceObject::createDeviceListEntry() const
{
    auto element = std::make_unique<juce::XmlElement> ("device");

    element->setAttribute ("name", catalogue->getProductName (getProductId()));
    element->setAttribute ("id", getProductId());
    element->setAttribute ("activated", 0);
    element->setAttribute ("detection", juce::String (juce::Time::currentTimeMillis()));
    element->setAttribute ("version", getVersion().toString());
    element->setAttribute ("serial", getSerial());
    element->setAttribute ("manufacture", getManufactureDate().toString());
    return element;
}

//==============================================================================
void DeviceObject::requestAbort()
{
    if (queue.requestAbort())
        notify();

    stateChanged.set();
}

void DeviceObject::resetQueue()
{
    queue.clear();
    exchange.reset();
    notify();
    stateChanged.set();
}

bool DeviceObject::waitForState (const std::function<bool()>& done, const std::function<bool()>& giveUp, int limitMs)
{
    const auto deadline = Clock::deadlineAfter (limitMs);

    while (! done())
    {
        if (giveUp() || Clock::hasPassed (deadline))
            return false;

        stateChanged.wait (Clock::scaled (ProtocolTiming::stateCheckMs));
    }

    return true;
}

bool DeviceObject::identifyAgain()
{
    if (! queue.isEmpty() || ! queue.compareAndSetState (State::idle, State::running))
        return false;

    identificationAsked = true;
    notify();
    return true;
}

//==============================================================================
void DeviceObject::runIdentification()
{
    {
        auto identified = identification.identify();
        askAgainWithList = identified.askAgainWithList;
        askAgainWithCaps = identified.askAgainWithCaps;

        {
            const std::lock_guard guard (snapshotLock);
            caps = identified.caps;
        }

        transactions.adopt (std::move (identified.caps), std::move (identified.data));
        publish();
    }

    queue.setState (State::idle);
    exchange.clearReply();
    sendChangeMessage();
    stateChanged.set();
}

void DeviceObject::run()
{
    runIdentification();

    while (! threadShouldExit())
    {
        ports.closeIfAsked();

        // A failed unit runs nothing until its queue is reset.
        if ((queue.isEmpty() || exchange.hasFailed()) && ! ports.hasPending() && ! identificationAsked.load())
            wait (-1);

        if (threadShouldExit())
            break;

        if (identificationAsked.exchange (false))
        {
            runIdentification();
            continue;
        }

        exchange.processInput();
        handleCommand();
    }
}

bool DeviceObject::handleCommand()
{
    if (queue.isEmpty() || exchange.hasFailed())
        return false;

    DeviceCommandMessage command;

    if (! queue.peek (command))
        return false;

    const bool loaded = runCommand (command);

    // Every path ends its transaction, so the unit always returns to idle.
    const auto state = queue.getState();

    if (state == State::running || state == State::done)
        transactions.finish (false);

    // Readers take the new data from the completion on.
    publish();

    if (! threadShouldExit())
    {
        const auto result = queue.getState() == State::abort   ? DeviceInfoMessage::commandAborted
                          : exchange.hasFailed() || ! loaded     ? DeviceInfoMessage::commandFailed
                                                                 : DeviceInfoMessage::commandDone;
        owner.postMessage (new DeviceInfoMessage (result, command));
    }

    DeviceCommandMessage removed;
    queue.pop (removed, false);
    stateChanged.set();
    return ! queue.isEmpty();
}

bool DeviceObject::runCommand (const DeviceCommandMessage& command)
{
    switch (command.command)
    {
        case DeviceCommandMessage::checkConnection:     runCheckConnection(); return true;
        case DeviceCommandMessage::loadSyncFile:        return transactions.loadSyncFile (getDataFolder());
        default:                                        transactions.run (command); return true;
    }
}

void DeviceObject::runCheckConnection()
{
    const bool openedHere = ! ports.areOpen();

    if (openedHere && ! ports.open())
        return exchange.fail (DeviceError::connectionLost);

    if (identification.checkConnection (getCaps() != nullptr))
    {
        ++connectionChecksPassed;
        queue.setState (State::idle);
    }
    else
        exchange.fail (DeviceError::connectionLost);

    if (openedHere)
        ports.close();
}
