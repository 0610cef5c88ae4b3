#include "devices/DeviceExchange.h"

#include "devices/DevicePorts.h"
#include "model/DeviceData.h"
#include "model/Preset.h"
#include "model/SetupData.h"
#include "platform/Clock.h"

using platform::Clock;
using State = CommandQueue::State;

DeviceExchange::DeviceExchange (juce::Thread& workerThread, DevicePorts& unitPorts, CommandQueue& commandQueue)
    : worker (workerThread), ports (unitPorts), queue (commandQueue)
{
}

//==============================================================================
void DeviceExchange::send (const juce::MidiMessage& message)
{
    ports.send (message);
}

void DeviceExchange::request (const juce::MidiMessage& message, int timeoutMs)
{
    send (message);
    waitForReply (timeoutMs);
}

void DeviceExchange::waitForReply (int timeoutMs)
{
    const auto answered = [this] { return replyStatus.load() != ReplyStatus::none || queue.getState() != State::running; };

    if (! waitUntil (timeoutMs, Wake::handleReplies, answered) && ! worker.threadShouldExit() && ! answered())
        fail (DeviceError::timeOut);
}

bool DeviceExchange::ask (const juce::MidiMessage& message, int timeoutMs, const std::function<bool()>& answered)
{
    send (message);
    return waitUntil (timeoutMs, Wake::handleReplies, answered);
}

void DeviceExchange::pause (int milliseconds)
{
    waitUntil (milliseconds, Wake::endsWait, [] { return false; });
}

void DeviceExchange::rest (int milliseconds)
{
    waitUntil (milliseconds, Wake::ignored, [] { return false; });
}

// The one wait of the device layer: on the worker's wake-up event, which every
// accepted message, every new command and an abort signal.
bool DeviceExchange::waitUntil (int timeoutMs, Wake wake, const std::function<bool()>& done)
{
    const auto deadline = wake == Wake::handleReplies ? Clock::answerDeadlineAfter (timeoutMs) : Clock::deadlineAfter (timeoutMs);

    for (;;)
    {
        if (wake == Wake::handleReplies)
            while (! done() && processInput())
            {
            }

        if (done())
            return true;

        if (worker.threadShouldExit() || isAborted() || Clock::hasPassed (deadline))
            return false;

        const auto remaining = juce::jmax<int32_t> (1, static_cast<int32_t> (deadline - Clock::now()));

        if (worker.wait (static_cast<int> (remaining)) && wake == Wake::endsWait)
            return false;
    }
}

DeviceExchange::Outcome DeviceExchange::repeat (const std::function<bool()>& attempt, const std::function<void (int)>& reportFailure,
                                                const std::function<bool()>& endsEverything)
{
    for (int failures = 1;; ++failures)
    {
        if (attempt())
            return Outcome::succeeded;

        if (worker.threadShouldExit())
            return Outcome::stopped;

        reportFailure (failures);

        // Decided before the error is cleared for the next try.
        if (endsEverything && endsEverything())
            return Outcome::ended;

        if (ports.wasConnectionLost())
        {
            fail (DeviceError::connectionLost);
            return Outcome::lost;
        }

        // Late replies of the failed try arrive during the pause and are dropped with the rest.
        rest (ProtocolTiming::retryPauseMs);
        ports.flush();

        if (worker.threadShouldExit() || isAborted())
            return Outcome::interrupted;

        if (failures >= ProtocolTiming::maxTries)
        {
            // Tries that ended without an error of their own (a unit answering
            // with nothing but status bytes) must not end as a success.
            if (! hasFailed())
                fail (DeviceError::unexpectedData);

            return Outcome::exhausted;
        }

        clearError();
        queue.setRunningUnlessAborted();
    }
}

//==============================================================================
void DeviceExchange::fail (DeviceError code)
{
    error = code;
    queue.setState (State::error);
}

// A reply completes only a running step: an abort asked for meanwhile stays.
void DeviceExchange::markDone()
{
    queue.compareAndSetState (State::running, State::done);
}

void DeviceExchange::expectPackets (int perUnit)
{
    expectedPackets = perUnit;
    receivedPackets = 0;
}

void DeviceExchange::expectPreset (int number)
{
    requestedPreset = number;
    currentPreset = -1;
    receivedPackets = 0;
}

void DeviceExchange::reset()
{
    currentPreset = -1;
    requestedPreset = -1;
    error = DeviceError::none;
    expectedPackets = 0;
    receivedPackets = 0;
    replyStatus = ReplyStatus::none;
}

bool DeviceExchange::takeTargetChanged()
{
    return std::exchange (targetChanged, false);
}

//==============================================================================
void DeviceExchange::forgetIdentity()
{
    serial = -1;
    const std::lock_guard guard (identityLock);
    version = {};
    manufactureDate = {};
}

void DeviceExchange::setProduct (int id)
{
    unitTemplate = SysExTemplate (static_cast<uint8_t> (id));
    productId = id;
}

FirmwareVersion DeviceExchange::getVersion() const
{
    const std::lock_guard guard (identityLock);
    return version;
}

ManufactureDate DeviceExchange::getManufactureDate() const
{
    const std::lock_guard guard (identityLock);
    return manufactureDate;
}

//==============================================================================
bool DeviceExchange::processInput()
{
    juce::MidiMessage message;

    if (! ports.takeNext (message))
        return false;

    handleReply (message);
    return true;
}

void DeviceExchange::handleReply (const juce::MidiMessage& message)
{
    // A reply counts only while something waits for it: not between
    // transactions, and not once a transaction failed or was aborted (the
    // first error stands).
    const auto state = queue.getState();

    if (state != State::running && state != State::done)
        return;

    const auto* bytes = message.getRawData();
    const auto size = message.getRawDataSize();

    if (size < 8)
        return fail (DeviceError::unexpectedData);

    switch (bytes[6])
    {
        case SysEx::cmdIdentity:        return handleIdentityReply (bytes, message);
        case SysEx::cmdSetupData:       return handleSetupPacket (bytes, size);
        case SysEx::cmdPresetHeader:    return handlePresetHeader (message);
        case SysEx::cmdPresetData:      return handlePresetPacket (bytes, size);

        case SysEx::cmdStatus:
        case SysEx::cmdError:
            if (size < 9)
                return fail (DeviceError::unexpectedData);

            replyStatus = static_cast<ReplyStatus> (bytes[7] & 0x7F);
            return;

        case SysEx::cmdTransferEnd:
            if (target == nullptr)
                return fail (DeviceError::unspecified);

            markDone();
            return;

        default:
            return fail (DeviceError::unexpectedData);
    }
}

void DeviceExchange::handleIdentityReply (const uint8_t* bytes, const juce::MidiMessage& message)
{
    const auto product = bytes[5];

    if (askingEachProduct && product != unitTemplate.getProductId())
        return;   // a late answer to an earlier request

    if (unitTemplate.getProductId() == SysExTemplate::unknownProduct)
        setProduct (product);

    if (product != unitTemplate.getProductId())
        return fail (DeviceError::unexpectedData);

    if (unitTemplate.isDeviceAnswer (message))
    {
        switch (bytes[7])
        {
            case SysEx::identityVersion:
            {
                const auto v = SysEx::parseFirmwareVersion (message, unitTemplate);
                const std::lock_guard guard (identityLock);
                version = v;
                break;
            }
            case SysEx::identitySerial:
                serial = static_cast<int> (SysEx::parseSerialNumber (message, unitTemplate));
                break;
            case SysEx::identityDate:
            {
                const auto d = SysEx::parseDate (message, unitTemplate);
                const std::lock_guard guard (identityLock);
                manufactureDate = d;
                break;
            }
            default:
                break;
        }
    }

    markDone();
}

// A packet must have exactly its layout's length, end in F7 and carry the
// unit's own product id (anything else would be kept in the data and sent back
// to the unit by a later write), with a right checksum and running index.
DeviceError DeviceExchange::checkPacket (const uint8_t* bytes, int size, int overhead, int dataOffset, int indexByte) const
{
    const auto& block = target->getCapsBlock();
    const auto dataSize = size - overhead;

    if (dataSize < 0 || bytes[size - 1] != SysEx::endByte || bytes[5] != block.productId)
        return DeviceError::unexpectedData;

    if (SysEx::checksum (bytes + dataOffset, dataSize) != (bytes[dataOffset + dataSize] & 0x7F))
        return DeviceError::corruption;

    // The index travels in 7 bits: long transfers wrap around.
    if ((bytes[indexByte] & 0x7F) != (receivedPackets.load() & 0x7F))
        return DeviceError::unexpectedData;

    return DeviceError::none;
}

void DeviceExchange::handleSetupPacket (const uint8_t* bytes, int size)
{
    if (target == nullptr)
        return fail (DeviceError::unspecified);

    const auto& block = target->getCapsBlock();

    if (size != SysEx::setupPacketOverhead + block.setupPacketSize)
        return fail (DeviceError::unexpectedData);

    if (const auto problem = checkPacket (bytes, size, SysEx::setupPacketOverhead, SysEx::setupDataOffset, 9); problem != DeviceError::none)
        return fail (problem);

    const auto packetVersion = SysEx::decode14 (bytes + 7);

    if (packetVersion != block.setupVersion)
        return fail (DeviceError::versionConflict);

    auto& setup = target->getSetup();
    setup.setSetupDataVersion (packetVersion);
    setup.addMidiMessage (juce::MidiMessage (bytes, size));
    setup.setModified (true);
    target->setModified (true);
    targetChanged = true;

    if (++receivedPackets >= expectedPackets.load())
        markDone();
}

void DeviceExchange::handlePresetHeader (const juce::MidiMessage& message)
{
    if (target == nullptr)
        return fail (DeviceError::unspecified);

    PresetName header;
    const auto status = SysEx::parsePresetHeader (message, target->getCapsBlock(), header);

    if ((status & SysEx::headerMalformed) != 0 || (status & SysEx::headerOtherProduct) != 0)
        return fail (DeviceError::unexpectedData);

    // Data of a format the unit's capabilities do not name: no retry changes that.
    if ((status & SysEx::headerOtherVersion) != 0)
        return fail (DeviceError::versionConflict);

    // Only the slot that was asked for may be filled.
    if (! juce::isPositiveAndBelow (header.number, target->getCapsBlock().numPresets) || header.number != requestedPreset.load())
        return fail (DeviceError::unexpectedData);

    auto* preset = target->createPreset (header.number);

    if (preset == nullptr)
        return fail (DeviceError::internal);

    preset->setNameBytes (header);
    currentPreset = header.number;
    targetChanged = true;
    markDone();
}

void DeviceExchange::handlePresetPacket (const uint8_t* bytes, int size)
{
    const auto number = currentPreset.load();
    auto* preset = (target != nullptr && number >= 0) ? target->getPreset (number) : nullptr;

    if (preset == nullptr)
        return fail (DeviceError::internal);

    if (size != SysEx::presetPacketOverhead + target->getCapsBlock().presetStepPacketSize)
        return fail (DeviceError::unexpectedData);

    if (const auto problem = checkPacket (bytes, size, SysEx::presetPacketOverhead, SysEx::presetDataOffset, 7); problem != DeviceError::none)
        return fail (problem);

    preset->addMidiMessage (juce::MidiMessage (bytes, size));
    target->setModified (true);
    targetChanged = true;

    if (++receivedPackets >= expectedPackets.load() * preset->getNumSteps())
        markDone();
}
