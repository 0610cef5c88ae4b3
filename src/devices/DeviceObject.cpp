#include "devices/DeviceObject.h"

#include "app/Belvora.h"
#include "app/DeviceInfoMessage.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/DeviceData.h"
#include "model/Preset.h"
#include "model/SetupData.h"
#include "platform/Clock.h"

using platform::Clock;

namespace
{
    const uint8_t makerId[] = { 0x00, 0x01, 0x38 };

    bool isMessageThread()
    {
        auto* mm = juce::MessageManager::getInstanceWithoutCreating();
        return mm != nullptr && mm->isThisTheMessageThread();
    }

    // What a transaction reads of the capability record.
    const CapsBlock& blockOf (const DeviceCaps& c)     { return c.caps; }
}

//==============================================================================
DeviceObject::DeviceObject (juce::MessageListener* ownerListener, std::shared_ptr<MidiPortBackend> midiBackend,
                            std::shared_ptr<ProductCatalogue> products,
                            const juce::String& entryName, int inputPortIndex, int outputPortIndex)
    : juce::Thread ("DeviceObject"),
      owner (ownerListener),
      backend (std::move (midiBackend)),
      catalogue (products != nullptr ? std::move (products) : std::make_shared<ProductCatalogue>()),
      queue (*this),
      inputIndex (inputPortIndex),
      outputIndex (outputPortIndex),
      name (entryName)
{
    if (catalogue->getProductNameOfPortName (name).isNotEmpty())
        flags |= namesProduct;

    queue.setState (CommandQueue::running);
}

DeviceObject::~DeviceObject()
{
    stopThread (5000);
    closePorts();
}

juce::String DeviceObject::getStateText (uint32_t f)
{
    if ((f & portsOpen) != 0)        return "Connected";
    if ((f & identified) != 0)       return "Ready";
    if ((f & portFailure) != 0)      return "Busy / Unavailable";
    if ((f & readingInfo) != 0)      return "Scan Failed";
    if ((f & unknownProduct) != 0)   return "Unknown MWD Device";
    if ((f & identifying) != 0)      return "<Scanning Device>";
    if ((f & noPort) != 0)           return "No MIDI Output";
    if ((f & namesProduct) != 0)     return "Unknown State";
    if ((f & noAnswer) != 0)         return "Not a MWD Device";
    return "???";
}

bool DeviceObject::isUsable() const
{
    const auto f = flags.load();
    return (f & identified) != 0 && (f & 0xFF000000u) == 0 && (f & noPort) == 0;
}

bool DeviceObject::isIdle() const
{
    const auto state = queue.getState();
    return queue.isEmpty() && state != CommandQueue::running && state != CommandQueue::locked && state != CommandQueue::done;
}

void DeviceObject::setFlags (uint32_t toSet, uint32_t toClear)
{
    auto current = flags.load();

    while (! flags.compare_exchange_weak (current, (current & ~toClear) | toSet))
    {
    }
}

FirmwareVersion DeviceObject::getVersion() const
{
    const std::lock_guard guard (infoLock);
    return version;
}

ManufactureDate DeviceObject::getManufactureDate() const
{
    const std::lock_guard guard (infoLock);
    return manufactureDate;
}

DeviceCaps* DeviceObject::getCaps() const
{
    const std::lock_guard guard (dataLock);
    return caps.get();
}

DeviceData* DeviceObject::getData() const
{
    const std::lock_guard guard (dataLock);
    return data.get();
}

juce::String DeviceObject::getDataFolder() const
{
    return Belvora::getBackupDataFolder (productId.load()) + juce::File::getSeparatorString() + juce::String (serial.load());
}

//==============================================================================
// Ports

bool DeviceObject::openPorts()
{
    {
        const std::lock_guard guard (portLock);

        if (input != nullptr && output != nullptr)
            return true;
    }

    if (inputIndex < 0 || outputIndex < 0)
    {
        setFlags (noPort);
        sendChangeMessage();
        return false;
    }

    std::unique_ptr<MidiPortBackend::Input> newInput;
    std::unique_ptr<MidiPortBackend::Output> newOutput;

    auto open = [&]
    {
        newInput = backend->openInput (inputIndex, this);
        newOutput = backend->openOutput (outputIndex);
    };

    if (! backend->opensOnMessageThread() || isMessageThread())
    {
        open();
    }
    else
    {
        // The machine's ports open on the message thread; give up if this
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

        while (! hop->done.wait (50))
        {
            if (threadShouldExit())
            {
                const std::lock_guard guard (hop->lock);
                hop->cancelled = true;
                break;
            }
        }

        const std::lock_guard guard (hop->lock);
        hop->cancelled = true;
    }

    const bool ok = newInput != nullptr && newOutput != nullptr;

    if (ok)
    {
        connectionLost = false;
        newInput->start();
        const std::lock_guard guard (portLock);
        input = std::move (newInput);
        output = std::move (newOutput);
        setFlags (portsOpen);
    }
    else
    {
        newInput.reset();
        newOutput.reset();
        setFlags (portFailure);
    }

    sendChangeMessage();
    return ok;
}

void DeviceObject::closePorts()
{
    std::unique_ptr<MidiPortBackend::Input> oldInput;
    std::unique_ptr<MidiPortBackend::Output> oldOutput;

    {
        const std::lock_guard guard (portLock);
        oldInput = std::move (input);
        oldOutput = std::move (output);
    }

    if (oldInput != nullptr)
        oldInput->stop();

    oldInput.reset();
    oldOutput.reset();
    setFlags (0, portsOpen);
    sendChangeMessage();
}

void DeviceObject::sendMessage (const juce::MidiMessage& message)
{
    const std::lock_guard guard (portLock);

    if (output == nullptr)
        return;

    if (! output->send (message))
        connectionLost = true;

    bytesSent += message.getRawDataSize();
}

bool DeviceObject::canTalk() const
{
    const std::lock_guard guard (portLock);
    return input != nullptr && output != nullptr && getCaps() != nullptr;
}

//==============================================================================
// MIDI input

void DeviceObject::handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message)
{
    bytesReceived += message.getRawDataSize();

    if (errorCode.load() != 0)
    {
        notify();
        return;
    }

    if (! message.isSysEx() || message.getSysExDataSize() <= 3
         || std::memcmp (message.getSysExData(), makerId, sizeof (makerId)) != 0)
        return;

    {
        const juce::ScopedLock guard (inputLock);
        pending.addEvent (message);
    }

    notify();
}

bool DeviceObject::processInput()
{
    while (! inputLock.tryEnter())
    {
        if (threadShouldExit())
            return false;

        Clock::yield();
    }

    if (threadShouldExit())
    {
        inputLock.exit();
        return false;
    }

    const auto count = pending.getNumEvents();
    juce::MidiMessage message;

    if (count > 0)
    {
        message = pending.getEventPointer (0)->message;
        pending.deleteEvent (0, false);
    }

    inputLock.exit();

    if (count > 0)
        handleSysExReply (message);

    return count > 1;
}

void DeviceObject::flushInput()
{
    while (! inputLock.tryEnter())
    {
        if (threadShouldExit())
            return;

        Clock::yield();
    }

    pending.clear();
    inputLock.exit();
}

bool DeviceObject::hasPendingInput() const
{
    const juce::ScopedLock guard (inputLock);
    return pending.getNumEvents() > 0;
}

// A reply completes only a running step: an abort asked for meanwhile stays.
void DeviceObject::markDone()
{
    queue.compareAndSetState (CommandQueue::running, CommandQueue::done);
}

void DeviceObject::fail (int code)
{
    errorCode = code;
    queue.setState (CommandQueue::error);
}

void DeviceObject::handleSysExReply (const juce::MidiMessage& message)
{
    if (queue.getState() == CommandQueue::idle)
        return;

    const auto* bytes = message.getRawData();
    const auto size = message.getRawDataSize();

    if (size < 8)
        return fail (errorUnexpectedData);

    switch (bytes[6])
    {
        case SysEx::cmdIdentity:        return handleIdentityReply (bytes, message);
        case SysEx::cmdSetupData:       return handleSetupPacket (bytes, size);
        case SysEx::cmdPresetHeader:    return handlePresetHeader (message);
        case SysEx::cmdPresetData:      return handlePresetPacket (bytes, size);

        case SysEx::cmdStatus:
        case SysEx::cmdError:
            if (size < 9)
                return fail (errorUnexpectedData);

            replyStatus = bytes[7] & 0x7F;
            return;

        case SysEx::cmdTransferEnd:
            if (getData() == nullptr)
                return fail (errorUnspecified);

            markDone();
            return;

        default:
            return fail (errorUnexpectedData);
    }
}

void DeviceObject::handleIdentityReply (const uint8_t* bytes, const juce::MidiMessage& message)
{
    const auto product = bytes[5];

    if (askingEachProduct && product != unitTemplate.getProductId())
        return;   // a late answer to an earlier request

    if (unitTemplate.getProductId() == SysExTemplate::unknownProduct)
    {
        unitTemplate = SysExTemplate (product);
        productId = product;
    }

    if (product != unitTemplate.getProductId())
        return fail (errorUnexpectedData);

    if (unitTemplate.isDeviceAnswer (message))
    {
        switch (bytes[7])
        {
            case SysEx::identityVersion:
            {
                const auto v = SysEx::parseFirmwareVersion (message, unitTemplate);
                const std::lock_guard guard (infoLock);
                version = v;
                break;
            }
            case SysEx::identitySerial:
                serial = static_cast<int> (SysEx::parseSerialNumber (message, unitTemplate));
                break;
            case SysEx::identityDate:
            {
                const auto d = SysEx::parseDate (message, unitTemplate);
                const std::lock_guard guard (infoLock);
                manufactureDate = d;
                break;
            }
            default:
                break;
        }
    }

    markDone();
}

void DeviceObject::handleSetupPacket (const uint8_t* bytes, int size)
{
    auto* d = getData();

    if (d == nullptr)
        return fail (errorUnspecified);

    const auto& block = d->getCapsBlock();
    const auto dataSize = block.setupPacketSize;

    // Exactly one packet: a longer or unterminated one would be kept in the
    // data and make its workspace file unreadable later.
    if (dataSize < 0 || size != SysEx::setupPacketOverhead + dataSize || bytes[size - 1] != SysEx::endByte)
        return fail (errorUnexpectedData);

    if (SysEx::checksum (bytes + SysEx::setupDataOffset, dataSize) != (bytes[SysEx::setupDataOffset + dataSize] & 0x7F))
        return fail (errorCorruption);

    if ((bytes[9] & 0x7F) != (receivedPackets.load() & 0x7F))
        return fail (errorUnexpectedData);

    const auto packetVersion = SysEx::decode14 (bytes + 7);

    if (packetVersion != block.setupVersion)
        return fail (errorVersionConflict);

    auto& setup = d->getSetup();
    setup.setSetupDataVersion (packetVersion);
    setup.addMidiMessage (juce::MidiMessage (bytes, size));
    setup.setModified (true);
    d->setModified (true);

    if (++receivedPackets >= expectedPackets.load())
        markDone();
}

void DeviceObject::handlePresetHeader (const juce::MidiMessage& message)
{
    auto* d = getData();

    if (d == nullptr)
        return fail (errorUnspecified);

    PresetName header;
    const auto status = SysEx::parsePresetHeader (message, d->getCapsBlock(), header);

    if ((status & SysEx::headerMalformed) != 0 || (status & SysEx::headerOtherProduct) != 0)
        return fail (errorUnexpectedData);

    if ((status & SysEx::headerOtherVersion) != 0)
        return fail (errorInternal);

    // Only the slot that was asked for may be filled.
    if (! juce::isPositiveAndBelow (header.number, d->getCapsBlock().numPresets) || header.number != requestedPreset.load())
        return fail (errorUnexpectedData);

    auto* preset = d->createPreset (header.number);

    if (preset == nullptr)
        return fail (errorInternal);

    preset->setNameBytes (header);
    currentPreset = header.number;
    markDone();
}

void DeviceObject::handlePresetPacket (const uint8_t* bytes, int size)
{
    auto* d = getData();
    const auto number = currentPreset.load();
    auto* preset = (d != nullptr && number >= 0) ? d->getPreset (number) : nullptr;

    if (preset == nullptr)
        return fail (errorInternal);

    const auto dataSize = d->getCapsBlock().presetStepPacketSize;

    if (dataSize < 0 || size != SysEx::presetPacketOverhead + dataSize || bytes[size - 1] != SysEx::endByte)
        return fail (errorUnexpectedData);

    if (SysEx::checksum (bytes + SysEx::presetDataOffset, dataSize) != (bytes[SysEx::presetDataOffset + dataSize] & 0x7F))
        return fail (errorCorruption);

    // The index travels in 7 bits: long presets wrap around.
    if ((bytes[7] & 0x7F) != (receivedPackets.load() & 0x7F))
        return fail (errorUnexpectedData);

    preset->addMidiMessage (juce::MidiMessage (bytes, size));
    d->setModified (true);

    if (++receivedPackets >= expectedPackets.load() * preset->getNumSteps())
        markDone();
}

//==============================================================================
// Identification

template <typename Condition>
void DeviceObject::awaitReply (int timeoutMs, Condition done)
{
    const auto deadline = Clock::deadlineAfter (timeoutMs);

    while (! done() && ! threadShouldExit())
    {
        if (hasPendingInput())
        {
            processInput();
            continue;
        }

        if (Clock::hasPassed (deadline))
            return;

        wait (static_cast<int> (juce::jlimit<int64_t> (1, 20, static_cast<int32_t> (deadline - Clock::now()))));
    }
}

bool DeviceObject::askForIdentity (const juce::MidiMessage& request)
{
    sendMessage (request);
    awaitReply (500, [this] { return getVersion().build != 0; });
    return getVersion().build != 0;
}

void DeviceObject::identify()
{
    queue.setState (CommandQueue::running);

    bool wereOpen;
    {
        const std::lock_guard guard (portLock);
        wereOpen = input != nullptr && output != nullptr;
    }

    serial = -1;
    {
        const std::lock_guard guard (infoLock);
        version = {};
        manufactureDate = {};
    }
    {
        const std::lock_guard guard (dataLock);
        data.reset();
        caps.reset();
    }

    flags = scanning | identifying | (catalogue->getProductNameOfPortName (name).isNotEmpty() ? namesProduct : 0u);
    sendChangeMessage();

    if (openPorts())
    {
        if (askForIdentity (SysEx::createInquiry()))
        {
            if (catalogue->isKnown (productId.load()))
                readDeviceInfo();
            else
                setFlags (unknownProduct);
        }
        else
        {
            auto* app = Belvora::getInstance();
            const bool scanAll = app != nullptr && app->isScanAll();
            askingEachProduct = true;

            for (auto id : catalogue->getProductIds())
            {
                if (threadShouldExit())
                    break;

                if (! scanAll && catalogue->answersGenericIdentity (id))
                    continue;

                unitTemplate = SysExTemplate (static_cast<uint8_t> (id));
                productId = id;

                if (askForIdentity (unitTemplate.toMidiMessage()))
                {
                    askingEachProduct = false;
                    readDeviceInfo();
                    break;
                }
            }

            askingEachProduct = false;
        }
    }

    setFlags (0, scanning | identifying);

    if ((flags.load() & 0xFF) == 0)
        setFlags (noAnswer);

    if (! wereOpen)
        closePorts();

    queue.setState (CommandQueue::idle);
    replyStatus = noReply;
    sendChangeMessage();
}

void DeviceObject::readDeviceInfo()
{
    if (getVersion().build == 0)
        return;

    const bool ready = fetchProductContent();
    setFlags (readingInfo);

    if (! ready)
        return;

    sendMessage (unitTemplate.createSerialRequest());
    awaitReply (500, [this] { return serial.load() != -1; });

    if (threadShouldExit() || serial.load() == -1)
        return;

    sendMessage (unitTemplate.createDateRequest());
    awaitReply (500, [this] { return getManufactureDate().year != 0; });

    if (threadShouldExit() || getManufactureDate().year == 0)
        return;

    setFlags (identified, readingInfo);

    auto newCaps = catalogue->createCaps (productId.load(), getVersion().build);
    std::unique_ptr<DeviceData> newData;

    if (newCaps != nullptr)
        newData = std::make_unique<DeviceData> (catalogue->getProductName (productId.load()), getVersion(), blockOf (*newCaps),
                                                DeviceProfiler::createFactoryBank (productId.load(), getVersion().build));
    else
        setFlags (unknownProduct);

    const std::lock_guard guard (dataLock);
    caps = std::move (newCaps);
    data = std::move (newData);
}

bool DeviceObject::fetchProductContent()
{
    const auto id = productId.load();
    const int limit = juce::roundToInt (Belvora::getDownloadTimeout() * 10.0f);
    bool waitForDownload = true;

    if (! catalogue->isProductReady (id))
        waitForDownload = catalogue->requestProductContent (id) && catalogue->isOnline();

    if (waitForDownload)
    {
        for (int i = 0; catalogue->isDownloadQueued (id) && ! threadShouldExit() && i < limit - 1; ++i)
            wait (Clock::scaled (100));

        if (catalogue->isOnline() && ! catalogue->isProductReady (id))
            setFlags (contentNotReady);
    }

    return catalogue->hasCapsDocument (id);
}

bool DeviceObject::checkConnection()
{
    bool canAsk;

    {
        const std::lock_guard guard (portLock);
        canAsk = output != nullptr && getCaps() != nullptr;
    }

    if (canAsk)
    {
        const auto remembered = serial.exchange (-1);
        sendMessage (unitTemplate.createSerialRequest());
        awaitReply (500, [this] { return serial.load() != -1; });

        if (serial.load() != -1 && serial.load() == remembered)
            return true;
    }

    // Every failed check is shown, also one that could not ask at all.
    sendChangeMessage();
    return false;
}

//==============================================================================
// Commands and transactions

void DeviceObject::run()
{
    identify();

    while (! threadShouldExit())
    {
        // A failed unit runs nothing until its queue is reset.
        if ((queue.isEmpty() || errorCode.load() != 0) && ! hasPendingInput())
            wait (-1);

        if (threadShouldExit())
            break;

        processInput();
        handleCommand();
        Clock::yield();
    }
}

void DeviceObject::requestAbort()
{
    while (true)
    {
        auto state = queue.getState();

        if (state == CommandQueue::error)
            return;

        if (state == CommandQueue::locked)
        {
            Clock::yield();
            continue;
        }

        if (queue.compareAndSetState (state, CommandQueue::abort))
            break;
    }

    notify();
}

void DeviceObject::resetQueue()
{
    queue.clear();
    currentPreset = -1;
    requestedPreset = -1;
    errorCode = 0;
    expectedPackets = 0;
    receivedPackets = 0;
    replyStatus = noReply;
    notify();
}

void DeviceObject::post (int code, int value1, int value2, const juce::String& text)
{
    if (owner != nullptr)
        owner->postMessage (new DeviceInfoMessage (code, value1, value2, text));
}

bool DeviceObject::handleCommand()
{
    if (queue.isEmpty() || errorCode.load() != 0)
        return false;

    DeviceCommandMessage command;

    if (! queue.peek (command))
        return false;

    runTransaction (command);

    // Every path ends its transaction, so the unit always returns to idle.
    const auto state = queue.getState();

    if (state == CommandQueue::running || state == CommandQueue::done)
        finishTransaction (false);

    if (! threadShouldExit() && owner != nullptr)
    {
        const auto result = queue.getState() == CommandQueue::abort ? DeviceInfoMessage::commandAborted
                          : errorCode.load() != 0                    ? DeviceInfoMessage::commandFailed
                                                                     : DeviceInfoMessage::commandDone;
        owner->postMessage (new DeviceInfoMessage (result, command));
    }

    DeviceCommandMessage removed;
    queue.pop (removed, false);
    return ! queue.isEmpty();
}

void DeviceObject::runTransaction (const DeviceCommandMessage& command)
{
    auto* own = getData();
    auto* given = command.data.get();

    switch (command.command)
    {
        case DeviceCommandMessage::checkConnection:     return runCheckConnection();
        case DeviceCommandMessage::readAll:             return readAll();
        case DeviceCommandMessage::readPresets:         return readPresets (command.arguments);
        case DeviceCommandMessage::readSetup:           return readSetup();
        case DeviceCommandMessage::deletePresets:       return deletePresets (command.arguments);

        case DeviceCommandMessage::writeChangedPresets:
            if (own != nullptr)
                writePresets (*own, command.arguments);
            return;

        case DeviceCommandMessage::writeGivenPresets:
            if (given != nullptr)
                writePresets (*given, command.arguments);
            return;

        case DeviceCommandMessage::writeSetup:
            if (own != nullptr && own->getSetup().isComplete())
                writeSetup (own->getSetup());
            return;

        case DeviceCommandMessage::writeGivenSetup:
            if (given != nullptr && given->getSetup().isComplete())
                writeSetup (given->getSetup());
            return;

        case DeviceCommandMessage::writeAllOfData:
            if (given != nullptr)
                writeEverything (*given);
            return;

        case DeviceCommandMessage::sendFirmware:
            if (command.midiMessages != nullptr)
                sendFirmware (*command.midiMessages);
            return;

        default:
            return;
    }
}

void DeviceObject::waitForReply (int timeoutMs)
{
    const auto deadline = Clock::deadlineAfter (timeoutMs);

    while (! threadShouldExit())
    {
        if (hasPendingInput())
            processInput();
        else if (! Clock::hasPassed (deadline))
            wait (static_cast<int> (juce::jlimit<int64_t> (1, 20, static_cast<int32_t> (deadline - Clock::now()))));

        if (threadShouldExit())
            return;

        if (Clock::hasPassed (deadline) && ! hasPendingInput())
            break;

        if (replyStatus.load() != noReply || queue.getState() != CommandQueue::running)
            return;
    }

    if (! threadShouldExit() && replyStatus.load() == noReply && queue.getState() == CommandQueue::running)
        fail (errorTimeOut);
}

void DeviceObject::pause (int milliseconds)
{
    const auto deadline = Clock::deadlineAfter (milliseconds);

    while (! threadShouldExit() && ! Clock::hasPassed (deadline) && queue.getState() != CommandQueue::abort)
        if (wait (static_cast<int> (juce::jlimit<int64_t> (1, 1000, static_cast<int32_t> (deadline - Clock::now())))))
            break;   // woken by a message: a fixed wait may end early
}

void DeviceObject::finishTransaction (bool resume)
{
    if (resume)
        sendMessage (SysEx::createSuspendRequest (static_cast<uint8_t> (productId.load()), true));

    if (errorCode.load() != 0)
        return;

    queue.compareAndSetState (CommandQueue::running, CommandQueue::idle)
        || queue.compareAndSetState (CommandQueue::done, CommandQueue::idle)
        || queue.compareAndSetState (CommandQueue::error, CommandQueue::idle);
    replyStatus = noReply;
}

// After a failed try: pause, drop what is left of the answer and let the next
// try run, unless ten tries failed or the unit is gone.
bool DeviceObject::retryAfterFailure (int& failures)
{
    if (connectionLost.load())
    {
        fail (errorConnectionLost);
        return false;
    }

    Clock::sleep (500);
    flushInput();

    if (++failures >= maxTries || threadShouldExit() || queue.getState() == CommandQueue::abort)
        return false;

    errorCode = 0;
    queue.setRunningUnlessAborted();
    return true;
}

// Tries that ended without an error of their own (a unit answering a read
// with nothing but status bytes) must not end the command as a success.
void DeviceObject::failUnlessAborted()
{
    if (errorCode.load() == 0 && queue.getState() != CommandQueue::abort && ! threadShouldExit())
        fail (errorUnexpectedData);
}

void DeviceObject::runCheckConnection()
{
    bool openedHere = false;

    {
        const std::lock_guard guard (portLock);
        openedHere = input == nullptr || output == nullptr;
    }

    if (openedHere && ! openPorts())
        return fail (errorConnectionLost);

    if (checkConnection())
        queue.setState (CommandQueue::idle);
    else
        fail (errorConnectionLost);

    if (openedHere)
        closePorts();
}

bool DeviceObject::readPreset (int number)
{
    auto* d = getData();

    if (d == nullptr)
        return false;

    receivedPackets = 0;
    currentPreset = -1;
    requestedPreset = number;
    replyStatus = noReply;
    queue.setRunningUnlessAborted();
    d->deletePreset (number);

    sendMessage (SysEx::createPresetRequest (static_cast<uint8_t> (productId.load()), number));
    waitForReply (5000);

    if (threadShouldExit())
    {
        queue.setState (CommandQueue::abort);
        return false;
    }

    if (replyStatus.load() == 2)
    {
        replyStatus = noReply;
        return true;
    }

    if (queue.getState() != CommandQueue::done || replyStatus.load() != noReply)
        return false;

    // A preset without steps is complete with its header.
    auto* preset = d->getPreset (number);

    if (preset != nullptr && expectedPackets.load() * preset->getNumSteps() > 0)
    {
        queue.setRunningUnlessAborted();
        waitForReply (5000);

        if (threadShouldExit() || queue.getState() != CommandQueue::done || replyStatus.load() != noReply)
            return false;
    }

    replyStatus = noReply;
    queue.setRunningUnlessAborted();
    return true;
}

void DeviceObject::readPresets (const juce::Array<int>& numbers)
{
    auto* c = getCaps();
    auto* d = getData();

    if (! canTalk() || c == nullptr || d == nullptr || numbers.isEmpty())
        return finishTransaction (false);

    expectedPackets = blockOf (*c).numSyxPackagesPerPresetStep;
    const bool suspend = numbers.size() > 1 && c->suspendAlgo;

    if (suspend)
        sendMessage (SysEx::createSuspendRequest (static_cast<uint8_t> (productId.load()), false));

    for (auto number : numbers)
    {
        for (int failures = 0;;)
        {
            if (readPreset (number))
            {
                if (auto* preset = d->getPreset (number))
                {
                    preset->getMD5();
                    post (DeviceInfoMessage::presetRead, number, numbers.size(), preset->getName());
                }
                else
                {
                    post (DeviceInfoMessage::presetSlotEmpty, number, numbers.size());
                }

                break;
            }

            if (threadShouldExit())
                return;

            post (DeviceInfoMessage::presetReadTryFailed, number, failures + 1);

            if (! retryAfterFailure (failures))
            {
                failUnlessAborted();
                return finishTransaction (suspend);
            }
        }

        if (threadShouldExit())
            return;

        if (queue.getState() == CommandQueue::abort)
            return finishTransaction (suspend);
    }

    finishTransaction (suspend);
}

void DeviceObject::readSetup()
{
    auto* c = getCaps();
    auto* d = getData();

    if (! canTalk() || c == nullptr || d == nullptr)
        return finishTransaction (false);

    expectedPackets = blockOf (*c).numSyxPackagesPerSetup;

    if (expectedPackets.load() == 0)
        return fail (errorInternal);

    for (int failures = 0;;)
    {
        // Each try starts from an empty setup, so a retried read holds no duplicates.
        d->getSetup().clear();
        receivedPackets = 0;
        replyStatus = noReply;
        queue.setRunningUnlessAborted();
        sendMessage (SysEx::createSetupRequest (static_cast<uint8_t> (productId.load())));
        waitForReply (5000);

        if (queue.getState() == CommandQueue::done && replyStatus.load() == noReply)
            break;

        if (threadShouldExit())
            return;

        post (DeviceInfoMessage::setupReadTryFailed, 0, failures + 1);

        if (! retryAfterFailure (failures))
        {
            failUnlessAborted();
            break;
        }
    }

    finishTransaction (false);
}

void DeviceObject::readAll()
{
    auto* d = getData();
    auto* c = getCaps();

    if (d == nullptr || c == nullptr)
        return;

    d->deleteAllPresets();
    d->clearSetup();

    juce::Array<int> numbers;

    for (int i = 1; i < blockOf (*c).numPresets; ++i)
        numbers.add (i);

    readPresets (numbers);

    if (queue.getState() == CommandQueue::idle && errorCode.load() == 0 && blockOf (*c).numSyxPackagesPerSetup > 0)
        readSetup();

    d->clearModified (false);
}

void DeviceObject::deletePresets (const juce::Array<int>& numbers)
{
    auto* c = getCaps();

    if (! canTalk() || c == nullptr)
        return finishTransaction (false);

    const auto wait = static_cast<int> (c->delayTimeAfterPresetDelete * 1000.0f);
    queue.setRunningUnlessAborted();

    for (auto number : numbers)
    {
        sendMessage (SysEx::createPresetDeleteRequest (static_cast<uint8_t> (productId.load()), number));
        post (DeviceInfoMessage::presetDeleteSent, number, 0);
        pause (wait);

        if (queue.getState() == CommandQueue::abort || threadShouldExit())
            return finishTransaction (false);
    }

    pause (numbers.size() == 1 ? 2 * wait : 10 * wait);
    finishTransaction (false);
}

bool DeviceObject::writePreset (const Preset& preset, int number)
{
    if (! preset.isComplete())
    {
        fail (errorInternal);
        return false;
    }

    replyStatus = noReply;
    queue.setRunningUnlessAborted();

    auto header = preset.getNameBlock();
    header.number = number;
    sendMessage (SysEx::createPresetHeader (header, static_cast<uint8_t> (productId.load())));

    for (int i = 0; i < preset.getNumMidiMessages(); ++i)
        sendMessage (*preset.getMidiMessage (i));

    waitForReply (5000);

    if (threadShouldExit() || queue.getState() != CommandQueue::running)
        return false;

    switch (replyStatus.load())
    {
        case 1:
            post (DeviceInfoMessage::presetWritten, number, 0, preset.getName());
            return true;

        case 8:
            post (DeviceInfoMessage::bankSwapWait, 0, 0);
            pause (static_cast<int> (getCaps()->bankSwapTime * 1000.0f));
            post (DeviceInfoMessage::presetWritten, number, 0, preset.getName());
            return true;

        case 3:  fail (errorNoMemory); return false;
        case 4:  fail (errorVersionConflict); return false;
        case 5:  fail (errorCorruption); return false;
        case 6:  fail (errorRejected); return false;
        case 9:  fail (errorSynchronisation); return false;
        default: fail (errorInternal); return false;
    }
}

void DeviceObject::writePresets (const DeviceData& source, const juce::Array<int>& numbers)
{
    auto* c = getCaps();

    if (! canTalk() || c == nullptr)
        return finishTransaction (false);

    const bool suspend = numbers.size() > 1 && c->suspendAlgo;

    if (suspend)
        sendMessage (SysEx::createSuspendRequest (static_cast<uint8_t> (productId.load()), false));

    for (auto number : numbers)
    {
        auto* preset = source.getPreset (number);

        if (preset == nullptr)
            continue;

        for (int failures = 0;;)
        {
            if (writePreset (*preset, number))
                break;

            if (threadShouldExit())
                return;

            post (DeviceInfoMessage::presetWriteTryFailed, number, failures + 1, preset->getName());

            // Decided before the error code is cleared for a retry: a refusal
            // for lack of memory or an internal error ends the whole write.
            if (replyStatus.load() == 3 || errorCode.load() == errorInternal)
                return finishTransaction (suspend);

            if (! retryAfterFailure (failures))
                return finishTransaction (suspend);
        }

        if (threadShouldExit())
            return;

        if (queue.getState() == CommandQueue::abort)
            return finishTransaction (suspend);
    }

    finishTransaction (suspend);
}

void DeviceObject::writeSetup (const SetupData& setup)
{
    if (! canTalk())
        return finishTransaction (false);

    const auto count = setup.getNumMidiMessages();

    for (int failures = 0;;)
    {
        replyStatus = noReply;
        queue.setRunningUnlessAborted();

        for (int i = 0; i < count; ++i)
        {
            if (threadShouldExit())
                return;

            pause (50);
            auto* message = setup.getMidiMessage (i);

            if (message == nullptr)
            {
                fail (errorInternal);
                return finishTransaction (false);
            }

            sendMessage (*message);
            post (DeviceInfoMessage::setupPacketSent, i + 1, count);
        }

        waitForReply (5000);

        if (queue.getState() == CommandQueue::running && replyStatus.load() == 1)
            break;

        if (threadShouldExit())
            return;

        post (DeviceInfoMessage::setupWriteTryFailed, 0, failures + 1);

        if (! retryAfterFailure (failures))
        {
            if (errorCode.load() != errorConnectionLost && queue.getState() != CommandQueue::abort && ! threadShouldExit())
                fail (errorInternal);

            break;
        }
    }

    finishTransaction (false);
}

void DeviceObject::writeEverything (const DeviceData& source)
{
    const auto numbers = source.getUsedPresetIndices();
    const bool setupComplete = source.getSetup().isComplete();

    if (numbers.isEmpty() && ! setupComplete)
        return finishTransaction (false);

    if (! numbers.isEmpty())
        writePresets (source, numbers);

    // Without presets to write the queue is still running, and the setup goes anyway.
    const bool presetsDone = numbers.isEmpty() || queue.getState() == CommandQueue::idle;

    if (setupComplete && presetsDone && errorCode.load() == 0)
        writeSetup (source.getSetup());
}

void DeviceObject::sendFirmware (const juce::OwnedArray<juce::MidiMessage>& messages)
{
    if (! canTalk())
        return finishTransaction (false);

    if (messages.isEmpty())
        return fail (errorInternal);

    sendMessage (*messages.getFirst());

    for (int i = 1; i < messages.size(); ++i)
    {
        const auto& message = *messages[i];
        const auto checksum = SysEx::checksum (message.getRawData(), message.getRawDataSize());

        for (int rejections = 0;;)
        {
            // Each attempt waits for its own acknowledgement.
            replyStatus = noReply;
            queue.setRunningUnlessAborted();

            sendMessage (SysEx::createFirmwarePacketHeader (checksum, message.getRawDataSize()));
            sendMessage (message);
            sendMessage (SysEx::createFirmwarePacketEnd());

            if (rejections == 0)
                post (DeviceInfoMessage::firmwarePacketSent, i + 1, messages.size());

            waitForReply (10000);

            if (threadShouldExit())
                return;

            if (queue.getState() != CommandQueue::running)
                return finishTransaction (false);

            const auto status = replyStatus.load();

            if (status == 1)
                break;

            if (status != 0 || ++rejections >= 20)
            {
                fail (errorInternal);
                return finishTransaction (false);
            }

            Clock::sleep (100);
            post (DeviceInfoMessage::firmwarePacketResent, i + 1, rejections);
        }
    }

    finishTransaction (false);
}

//==============================================================================
bool DeviceObject::loadDataFile (const juce::String& path)
{
    const juce::File file (path);

    if (! file.existsAsFile())
        return false;

    auto* current = getData();

    if (current != nullptr && ! current->matchesFileHeader (file))
        return false;

    auto loaded = DeviceData::loadFromFile (file, current != nullptr ? current->getFactoryBank() : nullptr);

    if (loaded == nullptr)
        return false;

    while (! isIdle() && ! threadShouldExit())
        Clock::sleep (0);

    const std::lock_guard guard (dataLock);

    if (data != nullptr)
        replacedData.push_back (std::move (data));

    data = std::move (loaded);
    return true;
}

juce::XmlElement* DeviceObject::createDeviceListEntry() const
{
    auto* element = new juce::XmlElement ("device");

    element->setAttribute ("name", catalogue->getProductName (productId.load()));
    element->setAttribute ("id", productId.load());
    element->setAttribute ("activated", 0);
    element->setAttribute ("detection", juce::String (juce::Time::currentTimeMillis()));
    element->setAttribute ("version", getVersion().toString());
    element->setAttribute ("serial", serial.load());
    element->setAttribute ("manufacture", getManufactureDate().toString());
    return element;
}
