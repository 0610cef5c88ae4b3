#include "devices/DeviceTransactions.h"

#include "base/BelvoraPaths.h"
#include "base/DeviceInfoMessage.h"
#include "devices/DeviceExchange.h"
#include "devices/DevicePorts.h"
#include "model/DeviceData.h"
#include "model/Preset.h"
#include "model/SetupData.h"

using State = CommandQueue::State;
using Outcome = DeviceExchange::Outcome;

DeviceTransactions::DeviceTransactions (const Parts& p) : parts (p)
{
}

DeviceTransactions::~DeviceTransactions() = default;

void DeviceTransactions::adopt (std::shared_ptr<const DeviceCaps> newCaps, std::unique_ptr<DeviceData> data)
{
    caps = std::move (newCaps);
    working = std::move (data);
    parts.exchange.setTarget (working.get());
    changed = true;
}

std::shared_ptr<const DeviceData> DeviceTransactions::takeSnapshot()
{
    const bool byReplies = parts.exchange.takeTargetChanged();

    if ((! changed && ! byReplies) || working == nullptr)
        return {};

    changed = false;

    // Digests are kept inside the packets' owners and filled on first use:
    // filled here, a reader of the snapshot never writes to it.
    for (auto index : working->getUsedPresetIndices())
        working->getPreset (index)->getMD5();

    working->getSetup().getMD5();
    return std::shared_ptr<const DeviceData> (working->clone (false));
}

void DeviceTransactions::post (int code, int value1, int value2, const juce::String& text)
{
    parts.owner.postMessage (new DeviceInfoMessage (code, value1, value2, text));
}

uint8_t DeviceTransactions::product() const
{
    return static_cast<uint8_t> (parts.exchange.getProductId());
}

bool DeviceTransactions::canTalk() const
{
    return parts.ports.areOpen() && caps != nullptr;
}

bool DeviceTransactions::isVersionConflict() const
{
    return parts.exchange.getError() == DeviceError::versionConflict;
}

void DeviceTransactions::suspend()
{
    parts.exchange.send (SysEx::createSuspendRequest (product(), false));
}

// A stopping thread (a quit, a rescan) ends without finishing, but must not
// leave the unit's effects suspended after the program has gone.
void DeviceTransactions::resumeOnStop (bool suspended)
{
    if (suspended)
        parts.exchange.send (SysEx::createSuspendRequest (product(), true));
}

void DeviceTransactions::finish (bool resume)
{
    auto& exchange = parts.exchange;

    if (resume)
        exchange.send (SysEx::createSuspendRequest (product(), true));

    if (exchange.hasFailed())
        return;

    parts.queue.compareAndSetState (State::running, State::idle)
        || parts.queue.compareAndSetState (State::done, State::idle)
        || parts.queue.compareAndSetState (State::error, State::idle);
    exchange.clearReply();
}

//==============================================================================
void DeviceTransactions::run (const DeviceCommandMessage& command)
{
    // A preset header only counts when a read asks for that preset.
    parts.exchange.expectPreset (-1);

    auto* own = working.get();
    auto* given = command.data.get();

    switch (command.command)
    {
        case DeviceCommandMessage::readAll:             readAll(); break;
        case DeviceCommandMessage::readPresets:         readPresets (command.arguments); break;
        case DeviceCommandMessage::readSetup:           readSetup(); break;
        case DeviceCommandMessage::deletePresets:       deletePresets (command.arguments); break;

        case DeviceCommandMessage::writeChangedPresets:
            if (own != nullptr)
                writePresets (*own, command.arguments);
            break;

        case DeviceCommandMessage::writeGivenPresets:
            if (given != nullptr)
                writePresets (*given, command.arguments);
            break;

        case DeviceCommandMessage::writeSetup:
            if (own != nullptr && own->getSetup().isComplete())
                writeSetup (own->getSetup());
            break;

        case DeviceCommandMessage::writeGivenSetup:
            if (given != nullptr && given->getSetup().isComplete())
                writeSetup (given->getSetup());
            break;

        case DeviceCommandMessage::writeAllOfData:
            if (given != nullptr)
                writeEverything (*given);
            break;

        case DeviceCommandMessage::sendFirmware:
            if (command.midiMessages != nullptr)
                sendFirmware (*command.midiMessages);
            break;

        default:
            break;
    }
}

//==============================================================================
bool DeviceTransactions::readPreset (int number)
{
    auto& exchange = parts.exchange;
    auto& queue = parts.queue;

    exchange.expectPreset (number);
    exchange.clearReply();
    queue.setRunningUnlessAborted();
    working->deletePreset (number);

    exchange.request (SysEx::createPresetRequest (product(), number), ProtocolTiming::replyWaitMs);

    if (parts.worker.threadShouldExit())
    {
        queue.setState (State::abort);
        return false;
    }

    if (exchange.getReplyStatus() == ReplyStatus::emptySlot)
    {
        exchange.clearReply();
        return true;
    }

    const auto headerArrived = [&] { return queue.getState() == State::done && exchange.getReplyStatus() == ReplyStatus::none; };

    if (! headerArrived())
        return false;

    // A preset without steps is complete with its header.
    auto* preset = working->getPreset (number);

    if (preset != nullptr && caps->caps.numSyxPackagesPerPresetStep * preset->getNumSteps() > 0)
    {
        queue.setRunningUnlessAborted();
        exchange.waitForReply (ProtocolTiming::replyWaitMs);

        if (parts.worker.threadShouldExit() || ! headerArrived())
            return false;
    }

    exchange.clearReply();
    queue.setRunningUnlessAborted();
    return true;
}

void DeviceTransactions::readPresets (const juce::Array<int>& numbers)
{
    if (! canTalk() || working == nullptr || numbers.isEmpty())
        return finish (false);

    changed = true;
    parts.exchange.expectPackets (caps->caps.numSyxPackagesPerPresetStep);
    const bool suspended = numbers.size() > 1 && caps->suspendAlgo;

    if (suspended)
        suspend();

    for (auto number : numbers)
    {
        const auto outcome = parts.exchange.repeat ([&] { return readPreset (number); },
                                                    [&] (int tries) { post (DeviceInfoMessage::presetReadTryFailed, number, tries); },
                                                    [&] { return isVersionConflict(); });

        if (outcome == Outcome::stopped)
            return resumeOnStop (suspended);

        if (outcome != Outcome::succeeded)
            return finish (suspended);

        if (auto* preset = working->getPreset (number))
        {
            preset->getMD5();
            auto* read = new DeviceInfoMessage (DeviceInfoMessage::presetRead, number, numbers.size(), preset->getName());
            read->preset = std::make_shared<const Preset> (*preset);
            parts.owner.postMessage (read);
        }
        else
        {
            post (DeviceInfoMessage::presetSlotEmpty, number, numbers.size());
        }

        if (parts.worker.threadShouldExit())
            return resumeOnStop (suspended);

        if (parts.exchange.isAborted())
            return finish (suspended);
    }

    finish (suspended);
}

void DeviceTransactions::readSetup()
{
    auto& exchange = parts.exchange;

    if (! canTalk() || working == nullptr)
        return finish (false);

    const auto packets = caps->caps.numSyxPackagesPerSetup;

    if (packets == 0)
        return exchange.fail (DeviceError::internal);

    changed = true;
    exchange.expectPackets (packets);

    const auto outcome = exchange.repeat ([&]
    {
        // Each try starts from an empty setup, so a retried read holds no duplicates.
        working->getSetup().clear();
        exchange.resetReceivedPackets();
        exchange.clearReply();
        parts.queue.setRunningUnlessAborted();
        exchange.request (SysEx::createSetupRequest (product()), ProtocolTiming::replyWaitMs);
        return parts.queue.getState() == State::done && exchange.getReplyStatus() == ReplyStatus::none;
    },
    [&] (int tries) { post (DeviceInfoMessage::setupReadTryFailed, 0, tries); },
    [&] { return isVersionConflict(); });

    if (outcome != Outcome::stopped)
        finish (false);
}

void DeviceTransactions::readAll()
{
    if (working == nullptr || caps == nullptr)
        return;

    changed = true;
    working->deleteAllPresets();
    working->clearSetup();

    juce::Array<int> numbers;

    for (int i = 1; i < caps->caps.numPresets; ++i)
        numbers.add (i);

    readPresets (numbers);

    if (parts.queue.getState() == State::idle && ! parts.exchange.hasFailed() && caps->caps.numSyxPackagesPerSetup > 0)
        readSetup();

    working->clearModified (false);
}

void DeviceTransactions::deletePresets (const juce::Array<int>& numbers)
{
    if (! canTalk())
        return finish (false);

    const auto wait = static_cast<int> (caps->delayTimeAfterPresetDelete * 1000.0f);
    parts.queue.setRunningUnlessAborted();

    for (auto number : numbers)
    {
        parts.exchange.send (SysEx::createPresetDeleteRequest (product(), number));
        post (DeviceInfoMessage::presetDeleteSent, number, 0);
        parts.exchange.pause (wait);

        if (parts.exchange.isAborted() || parts.worker.threadShouldExit())
            return finish (false);
    }

    parts.exchange.pause (numbers.size() == 1 ? 2 * wait : 10 * wait);
    finish (false);
}

//==============================================================================
bool DeviceTransactions::writePreset (const Preset& preset, int number)
{
    auto& exchange = parts.exchange;

    if (! preset.isComplete())
    {
        exchange.fail (DeviceError::internal);
        return false;
    }

    exchange.clearReply();
    parts.queue.setRunningUnlessAborted();

    auto header = preset.getNameBlock();
    header.number = number;
    exchange.send (SysEx::createPresetHeader (header, product()));

    for (int i = 0; i < preset.getNumMidiMessages(); ++i)
        exchange.send (*preset.getMidiMessage (i));

    exchange.waitForReply (ProtocolTiming::replyWaitMs);

    if (parts.worker.threadShouldExit() || parts.queue.getState() != State::running)
        return false;

    switch (exchange.getReplyStatus())
    {
        case ReplyStatus::accepted:
            post (DeviceInfoMessage::presetWritten, number, 0, preset.getName());
            return true;

        case ReplyStatus::bankSwap:
            post (DeviceInfoMessage::bankSwapWait, 0, 0);
            exchange.pause (static_cast<int> (caps->bankSwapTime * 1000.0f));
            post (DeviceInfoMessage::presetWritten, number, 0, preset.getName());
            return true;

        case ReplyStatus::noMemory:         exchange.fail (DeviceError::noMemory); return false;
        case ReplyStatus::versionConflict:  exchange.fail (DeviceError::versionConflict); return false;
        case ReplyStatus::corruption:       exchange.fail (DeviceError::corruption); return false;
        case ReplyStatus::rejected:         exchange.fail (DeviceError::rejected); return false;
        case ReplyStatus::synchronisation:  exchange.fail (DeviceError::synchronisation); return false;

        case ReplyStatus::refused:
        case ReplyStatus::emptySlot:
        case ReplyStatus::none:
        default:                            exchange.fail (DeviceError::internal); return false;
    }
}

void DeviceTransactions::writePresets (const DeviceData& source, const juce::Array<int>& numbers)
{
    auto& exchange = parts.exchange;

    if (! canTalk())
        return finish (false);

    const bool suspended = numbers.size() > 1 && caps->suspendAlgo;

    if (suspended)
        suspend();

    for (auto number : numbers)
    {
        auto* preset = source.getPreset (number);

        if (preset == nullptr)
            continue;

        // Lack of memory or an internal error ends the whole write at once.
        const auto outcome = exchange.repeat ([&] { return writePreset (*preset, number); },
                                              [&] (int tries) { post (DeviceInfoMessage::presetWriteTryFailed, number, tries, preset->getName()); },
                                              [&] { return exchange.getReplyStatus() == ReplyStatus::noMemory || exchange.getError() == DeviceError::internal; });

        if (outcome == Outcome::stopped)
            return resumeOnStop (suspended);

        if (outcome != Outcome::succeeded)
            return finish (suspended);

        if (parts.worker.threadShouldExit())
            return resumeOnStop (suspended);

        if (exchange.isAborted())
            return finish (suspended);
    }

    finish (suspended);
}

void DeviceTransactions::writeSetup (const SetupData& setup)
{
    auto& exchange = parts.exchange;

    if (! canTalk())
        return finish (false);

    const auto count = setup.getNumMidiMessages();

    for (int i = 0; i < count; ++i)
    {
        if (setup.getMidiMessage (i) == nullptr)
        {
            exchange.fail (DeviceError::internal);
            return finish (false);
        }
    }

    const auto outcome = exchange.repeat ([&]
    {
        exchange.clearReply();
        parts.queue.setRunningUnlessAborted();

        for (int i = 0; i < count; ++i)
        {
            if (parts.worker.threadShouldExit())
                return false;

            exchange.pause (ProtocolTiming::setupPacketPauseMs);
            exchange.send (*setup.getMidiMessage (i));
            post (DeviceInfoMessage::setupPacketSent, i + 1, count);
        }

        exchange.waitForReply (ProtocolTiming::replyWaitMs);
        return parts.queue.getState() == State::running && exchange.getReplyStatus() == ReplyStatus::accepted;
    },
    [&] (int tries) { post (DeviceInfoMessage::setupWriteTryFailed, 0, tries); });

    if (outcome == Outcome::stopped)
        return;

    // Whatever the last try's own error, a setup the unit never took is an internal error.
    if (outcome == Outcome::exhausted)
        exchange.fail (DeviceError::internal);

    finish (false);
}

void DeviceTransactions::writeEverything (const DeviceData& source)
{
    const auto numbers = source.getUsedPresetIndices();
    const bool setupComplete = source.getSetup().isComplete();

    if (numbers.isEmpty() && ! setupComplete)
        return finish (false);

    if (! numbers.isEmpty())
        writePresets (source, numbers);

    // Without presets to write the queue is still running, and the setup goes anyway.
    const bool presetsDone = numbers.isEmpty() || parts.queue.getState() == State::idle;

    if (setupComplete && presetsDone && ! parts.exchange.hasFailed())
        writeSetup (source.getSetup());
}

void DeviceTransactions::sendFirmware (const juce::OwnedArray<juce::MidiMessage>& messages)
{
    auto& exchange = parts.exchange;

    if (! canTalk())
        return finish (false);

    if (messages.isEmpty())
        return exchange.fail (DeviceError::internal);

    exchange.send (*messages.getFirst());

    for (int i = 1; i < messages.size(); ++i)
    {
        const auto& message = *messages[i];
        const auto checksum = SysEx::checksum (message.getRawData(), message.getRawDataSize());

        for (int rejections = 0;;)
        {
            // Each attempt waits for its own acknowledgement.
            exchange.clearReply();
            parts.queue.setRunningUnlessAborted();

            exchange.send (SysEx::createFirmwarePacketHeader (checksum, message.getRawDataSize()));
            exchange.send (message);
            exchange.send (SysEx::createFirmwarePacketEnd());

            if (rejections == 0)
                post (DeviceInfoMessage::firmwarePacketSent, i + 1, messages.size());

            exchange.waitForReply (ProtocolTiming::firmwareReplyWaitMs);

            if (parts.worker.threadShouldExit())
                return;

            if (const auto state = parts.queue.getState(); state != State::running)
            {
                // Another reply (a transfer end, an identity) ended the wait: the
                // packet was never acknowledged, so the image did not arrive.
                if (state == State::done)
                    exchange.fail (DeviceError::unexpectedData);

                return finish (false);
            }

            const auto status = exchange.getReplyStatus();

            if (status == ReplyStatus::accepted)
                break;

            if (status != ReplyStatus::refused || ++rejections >= ProtocolTiming::maxFirmwareRejections)
            {
                exchange.fail (DeviceError::internal);
                return finish (false);
            }

            exchange.rest (ProtocolTiming::firmwareResendPauseMs);
            post (DeviceInfoMessage::firmwarePacketResent, i + 1, rejections);
        }
    }

    finish (false);
}

//==============================================================================
bool DeviceTransactions::loadSyncFile (const juce::String& dataFolder)
{
    const juce::File file (BelvoraPaths::getSyncFile (dataFolder));

    if (! file.existsAsFile())
        return false;

    // A file of another product or layout would not fit the unit.
    if (working != nullptr && ! working->matchesFileHeader (file))
        return false;

    auto loaded = DeviceData::loadFromFile (file, working != nullptr ? working->getFactoryBank() : nullptr);

    if (loaded == nullptr)
        return false;

    working = std::move (loaded);
    parts.exchange.setTarget (working.get());
    changed = true;
    return true;
}
