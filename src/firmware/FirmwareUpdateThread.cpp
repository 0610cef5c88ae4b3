#include "firmware/FirmwareUpdateThread.h"

#include "base/DeviceInfoMessage.h"
#include "content/ContentManager.h"
#include "content/FirmwareImageRecord.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "devices/DeviceProfiler.h"
#include "devices/DeviceProtocol.h"
#include "model/DeviceData.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "model/SysEx.h"
#include "platform/Clock.h"

#include <cmath>

using platform::Clock;
using State = FirmwareUpdateThread::State;

namespace
{
    const juce::String restartText ("An internal error occurred before the update could start. Please restart Belvora and try again. "
                                    "If the problem persists, please contact support. Code: ");

    const juce::String presetQuestion ("Belvora is unable to update the preset data on your device. Please restart Belvora and try the update again. "
                                       "You can ignore this error and apply the update; however, it will most likely result in your presets "
                                       "being erased. Do you want to continue with the update anyway?");

    const juce::String setupQuestion ("Belvora is unable to update your device's setup. Applying the update will most likely result in your "
                                      "device's configuration being reset to a default state. Do you want to continue with the update anyway?");

    const juce::String damagedImageText ("The firmware update image on this computer is damaged: it is no longer the file that was "
                                         "downloaded. Belvora downloads it again the next time it starts with an Internet connection; "
                                         "then try the update again. Nothing on your device has been altered.");

    const juce::String generalQuestion ("Belvora has encountered an error while preparing your device's preset and/or setup data for the "
                                        "firmware update. You can ignore this error and continue with the update; however, your presets "
                                        "and/or setup data will be erased after the update. Nothing on your device has been altered yet. "
                                        "Do you want to continue with the update anyway?");

    constexpr int scanRounds = 5;
    constexpr int pauseBetweenScansMs = 100;
    constexpr int connectWaitMs = 10000;
    constexpr int retriesShown = ProtocolTiming::maxTries;

    bool isFinal (State s)
    {
        return s == State::complete || s == State::stopped || s == State::failed;
    }

    bool isUpdateCommand (int command)
    {
        return command == DeviceCommandMessage::readAll || command == DeviceCommandMessage::sendFirmware
            || command == DeviceCommandMessage::writeAllOfData;
    }

    // What the device layer may take for a transfer of that many exchanges
    // before its own time-outs end it; the update only guards against a
    // transfer that never reports back. Kept well inside the clock's range.
    int boundedMs (juce::int64 ms)
    {
        constexpr juce::int64 sixHours = 6 * 3600 * 1000;
        return (int) juce::jlimit ((juce::int64) 0, sixHours, ms);
    }

    int transferLimitMs (int exchanges)
    {
        return boundedMs ((juce::int64) (exchanges + 1) * ProtocolTiming::maxTries
                            * (2 * ProtocolTiming::replyWaitMs + ProtocolTiming::retryPauseMs));
    }

    int firmwareLimitMs (int messages)
    {
        return boundedMs ((juce::int64) (messages + 1) * ProtocolTiming::maxFirmwareRejections
                            * (ProtocolTiming::firmwareReplyWaitMs + ProtocolTiming::firmwareResendPauseMs));
    }

    int scanLimitMs (int units)
    {
        // The device manager's scan at its longest: with content still coming.
        const auto scanMs = (juce::int64) DeviceManager::getScanCycleLimit (true) * ProtocolTiming::scanCycleMs;
        return boundedMs (scanMs + (juce::int64) (units + 1) * ProtocolTiming::unitStopMs);
    }

    bool isFirmwareMessage (const juce::MidiMessage& m)   { return SysEx::isFirmwarePacket (m.getRawData(), m.getRawDataSize()); }
    bool isImageStart (const juce::MidiMessage& m)        { return SysEx::isFirmwareImageStart (m.getRawData(), m.getRawDataSize()); }

    enum class ImageRead { valid, invalid, damaged };

    /** Every message of an image: its start, then complete packets of the
        firmware transfer. A file cut short, even inside its last message, is no
        image; one whose bytes are not those recorded when it was downloaded is
        damaged, whatever its form. The messages are those of the bytes checked. */
    ImageRead readImage (const juce::File& file, juce::OwnedArray<juce::MidiMessage>& messages)
    {
        juce::MemoryBlock bytes;
        juce::Array<juce::MidiMessage> read;
        messages.clear();

        if (! FileBytes::readWhole (file, bytes, SysEx::maxFileBytes))
            return ImageRead::invalid;

        if (FirmwareImageRecord::check (file, bytes) == FirmwareImageRecord::Match::differs)
            return ImageRead::damaged;

        if (! SysEx::readMessages (bytes, read) || read.size() < 2 || ! isImageStart (read.getReference (0)))
            return ImageRead::invalid;

        for (int i = 1; i < read.size(); ++i)
            if (! isFirmwareMessage (read.getReference (i)))
                return ImageRead::invalid;

        for (auto& m : read)
            messages.add (new juce::MidiMessage (m));

        return ImageRead::valid;
    }
}

//==============================================================================
FirmwareUpdateThread::FirmwareUpdateThread (Host& updateHost, DeviceManager& deviceManager, const ContentManager& catalogue,
                                            const FirmwareUpdateElement& update)
    : juce::Thread ("FirmwareUpdateThread"),
      host (updateHost),
      devices (deviceManager),
      content (catalogue),
      target (update),
      deviceData (deviceManager.getActiveDeviceData()),
      currentBlock (deviceData != nullptr ? deviceData->getCapsBlock() : CapsBlock()),
      startVersion (deviceData != nullptr ? deviceData->getFirmwareVersion() : FirmwareVersion())
{
    self = this;
}

FirmwareUpdateThread::~FirmwareUpdateThread()
{
    stopTimer();
    // A running conversion ends its script on the stop, and every wait of the
    // update ends on it too.
    signalThreadShouldExit();
    stopConversion();
    stopThread (-1);
}

//==============================================================================
State FirmwareUpdateThread::getState() const
{
    const std::lock_guard guard (stateLock);
    return state;
}

int FirmwareUpdateThread::getExitCode() const
{
    const std::lock_guard guard (stateLock);
    return exitCode;
}

juce::String FirmwareUpdateThread::getErrorText() const
{
    const std::lock_guard guard (stateLock);
    return errorText;
}

juce::File FirmwareUpdateThread::getKeptDataFile() const
{
    const std::lock_guard guard (stateLock);
    return keptDataFile;
}

FirmwareUpdateThread::Progress FirmwareUpdateThread::getProgress() const
{
    const std::lock_guard guard (progressLock);
    return { statusText, statusIsError, phaseFraction, overallProgress };
}

bool FirmwareUpdateThread::shouldContinue() const
{
    return ! threadShouldExit() && ! isFinal (getState());
}

std::vector<State> FirmwareUpdateThread::getStateHistory() const
{
    const std::lock_guard guard (stateLock);
    return history;
}

void FirmwareUpdateThread::enter (State next)
{
    if (next != state)
        history.push_back (next);

    state = next;
}

bool FirmwareUpdateThread::advance (State next)
{
    const std::lock_guard guard (stateLock);

    if (isFinal (state))
        return false;

    enter (next);
    return true;
}

bool FirmwareUpdateThread::moveFrom (State from, State to)
{
    const std::lock_guard guard (stateLock);

    if (state != from)
        return false;

    enter (to);
    return true;
}

// The first ending wins: a stop after a failure, or a failure after a stop, changes nothing.
bool FirmwareUpdateThread::finishAs (State final, int code, const juce::String& message)
{
    const std::lock_guard guard (stateLock);

    if (isFinal (state))
        return false;

    enter (final);
    exitCode = code;

    if (final == State::failed)
        errorText = message;

    return true;
}

bool FirmwareUpdateThread::fail (const juce::String& message)
{
    finishAs (State::failed, error, message);
    return false;
}

void FirmwareUpdateThread::setStatus (const juce::String& text, bool isError)
{
    const std::lock_guard guard (progressLock);
    statusText = text;
    statusIsError = isError;
}

void FirmwareUpdateThread::setPhaseProgress (double fraction)
{
    fraction = juce::jlimit (0.0, 1.0, fraction);
    const auto current = getState();
    int phase = 0;

    switch (current)
    {
        case State::preparing:      phase = 0; break;
        case State::converting:     phase = 1; break;
        case State::sendingImage:   phase = 2; break;
        case State::applyingImage:  phase = 3; break;

        // The unit is back (or being looked for): its phase is full.
        case State::scanning:
        case State::unitFound:
        case State::unitNotFound:
        case State::unitMissing:    phase = 3; fraction = 1.0; break;

        case State::restoringData:
        case State::dataRestored:   phase = 4; break;

        case State::complete:
        {
            const std::lock_guard guard (progressLock);
            phaseFraction = overallProgress = 1.0;
            return;
        }

        // A question or an ending leaves the bars where they were.
        case State::waitingForAnswer:
        case State::stopped:
        case State::failed:
        {
            const std::lock_guard guard (progressLock);
            phaseFraction = fraction;
            return;
        }

        case State::created:
        default:                    phase = 0; break;
    }

    double before = 0.0;

    for (int i = 0; i < phase; ++i)
        before += phaseWeights[i];

    const std::lock_guard guard (progressLock);
    phaseFraction = fraction;
    overallProgress = before + phaseWeights[phase] * fraction;
}

//==============================================================================
bool FirmwareUpdateThread::prepare()
{
    deviceName = devices.getActiveDeviceDisplayName();
    serial = devices.getDeviceSerial (-1);
    dataFolder = devices.getActiveDeviceDataFolder();
    const auto caps = devices.getActiveDeviceCaps();

    if (deviceData == nullptr || caps == nullptr)
        return fail (restartText + "1A.");

    const juce::File image (target.file);

    if (! image.existsAsFile())
        return fail ("The firmware update image does not exist.");

    int productId = 0, version = 0;
    juce::OwnedArray<juce::MidiMessage> messages;
    const auto read = readImage (image, messages);

    if (read == ImageRead::damaged)
        return fail (damagedImageText);

    if (SysEx::readFileHeader (image, currentBlock, &caps->presetCompatibilityList, productId, version) != SysEx::fileFirmware
         || read != ImageRead::valid)
        return fail ("The firmware update image does not contain valid firmware data.");

    targetCaps = DeviceProfiler::createCaps (content, currentBlock.productId, target.version.build);

    if (targetCaps == nullptr)
        return fail (restartText + "1B.");

    if (! targetCaps->isBuildValid)
        return fail ("An internal error occurred before the update could start. You are trying to update to an invalid firmware build. Code: 1C.");

    rebootWaitSeconds = targetCaps->bootTime + caps->programTime + 3.0;

    // The presets and setup are converted when the image holds other data versions.
    if (caps->isBuildValid)
    {
        presetConversionNeeded = targetCaps->caps.presetVersion != currentBlock.presetVersion;
        setupConversionNeeded = targetCaps->caps.setupVersion != currentBlock.setupVersion;
    }

    return true;
}

void FirmwareUpdateThread::start()
{
    startThread();
    startTimer (100);
}

//==============================================================================
void FirmwareUpdateThread::run()
{
    if (advance (State::preparing))
    {
        setStatus ("Preparing for update");
        setPhaseProgress (0.0);
    }

    if (shouldContinue() && (presetConversionNeeded || setupConversionNeeded))
    {
        host.invokeCommand (Command::downloadDeviceData);
        awaitTransfer (State::preparing, transferLimitMs (currentBlock.numPresets + currentBlock.numSyxPackagesPerSetup));
    }

    if (shouldContinue() && convertUserData() && shouldContinue() && sendImage())
    {
        awaitTransfer (State::sendingImage, firmwareLimitMs (imageMessages));

        if (shouldContinue())
            pause (juce::roundToInt (rebootWaitSeconds * 1000.0));

        findUnitAndRestore();
    }

    finish();
}

bool FirmwareUpdateThread::waitUntil (const std::function<bool()>& done, int limitMs)
{
    const auto deadline = Clock::deadlineAfter (limitMs);

    while (! done())
    {
        if (! shouldContinue() || Clock::hasPassed (deadline))
            return false;

        // Every notification wakes the wait; the slices only bound a lost one.
        wait (Clock::scaled (ProtocolTiming::stateCheckMs));
    }

    return true;
}

// A transfer's end moves the state on in changeNotify; a unit that is gone or
// a transfer that outlives every time-out of the device layer ends the update.
void FirmwareUpdateThread::awaitTransfer (State during, int limitMs)
{
    const auto lost = [this] { return devices.getActiveIndex() < 0; };

    if (waitUntil ([&] { return getState() != during || lost(); }, limitMs) || ! shouldContinue())
    {
        if (getState() == during && lost())
            fail (DeviceManager::getErrorText ((int) DeviceError::connectionLost, deviceName));

        return;
    }

    fail (DeviceManager::getErrorText ((int) DeviceError::timeOut, deviceName));
}

void FirmwareUpdateThread::pause (int milliseconds)
{
    const auto deadline = Clock::deadlineAfter (milliseconds);
    waitUntil ([&] { return Clock::hasPassed (deadline); }, milliseconds + ProtocolTiming::stateCheckMs);
}

bool FirmwareUpdateThread::ask (const juce::String& question)
{
    questionText = question;
    stateAfterAnswer = State::converting;

    if (! advance (State::waitingForAnswer))
        return false;

    // The user takes as long as the user takes; a stop or the end of the thread still ends the wait.
    while (getState() == State::waitingForAnswer && ! threadShouldExit())
        wait (Clock::scaled (ProtocolTiming::stateCheckMs));

    return answer.load() && shouldContinue();
}

//==============================================================================
bool FirmwareUpdateThread::convertUserData()
{
    if (! presetConversionNeeded && ! setupConversionNeeded)
        return true;

    const auto unitData = devices.getActiveDeviceData();   // as the download left it

    if (unitData == nullptr)
        return fail (DeviceManager::getErrorText ((int) DeviceError::connectionLost, deviceName));

    const auto indices = presetConversionNeeded ? unitData->getDifferentPresetIndices() : juce::Array<int>();

    if (! ((presetConversionNeeded && ! indices.isEmpty()) || setupConversionNeeded))
        return true;

    setStatus ("Converting user data");
    auto saved = unitData->createCopy (indices, true, true);

    if (saved == nullptr)
        return fail (restartText + "1C.");

    if (! setupConversionNeeded)
        saved->clearSetup();

    DataConversionManager converter (content);
    converter.addListener (this);

    {
        const std::lock_guard guard (conversionLock);
        activeConversion = &converter;

        if (conversionStopped.load())
            converter.stop();
    }

    auto converted = converter.convertDeviceData (*saved, targetCaps->caps.productId, target.version);

    {
        const std::lock_guard guard (conversionLock);
        activeConversion = nullptr;
    }

    const auto& result = converter.getResult();

    if (result.wasCancelled() || ! shouldContinue())
        return true;

    if (converted == nullptr || result.hasErrors())
    {
        juce::String question;

        if (converted != nullptr && converted->getUsedPresetIndices().size() != indices.size())
            question = presetQuestion;
        else if (converted != nullptr && setupConversionNeeded && ! converted->getSetup().isComplete())
            question = setupQuestion;
        else
            question = generalQuestion;

        question << "\n\nError code: " << result.getBits().toString (16) << "\nError info: " << result.getErrorText();

        const auto yes = ask (question);

        if (converted != nullptr && converted->getNumPresets() == 0 && ! converted->getSetup().isComplete())
            converted.reset();

        if (! yes)
        {
            finishAs (State::stopped, notFinished);
            return true;
        }
    }

    if (converted == nullptr)
        return true;

    if (! keepOnDisk (*converted))
        return false;

    convertedData = std::move (converted);
    hasConvertedData = true;
    return true;
}

// The converted data goes to disk before the image does, so that whatever
// happens to the unit, the user still has it.
bool FirmwareUpdateThread::keepOnDisk (const DeviceData& data)
{
    const juce::File folder (dataFolder);
    const auto file = folder.getChildFile ("user data for firmware build " + juce::String (target.version.build) + ".syx");

    const auto written = SafeSave::makeFolder (folder) && SafeSave::replaceFile (file, [&data] (juce::OutputStream& out)
    {
        for (auto index : data.getUsedPresetIndices())
            if (! data.getPreset (index)->writeSysEx (out))
                return false;

        return ! data.getSetup().isComplete() || data.getSetup().writeSysEx (out);
    });

    if (! written)
        return fail (SaveFailure::describeFailure ("Belvora was not able to save your converted presets and setup to \"" + file.getFullPathName() + "\"",
                                                   { SafeSave::lastError() })
                     + " Nothing on your device has been altered yet.");

    const std::lock_guard guard (stateLock);
    keptDataFile = file;
    return true;
}

bool FirmwareUpdateThread::sendImage()
{
    auto messages = std::make_unique<DeviceCommandMessage::MidiList>();
    const auto read = readImage (juce::File (target.file), *messages);

    if (read == ImageRead::damaged)
        return fail (damagedImageText);

    if (read != ImageRead::valid)
        return fail ("An internal error occurred before the update could start. Belvora was not able to read the firmware update file. "
                     "Please restart Belvora and try again. If the problem persists, please contact support. Code: 2A.");

    if (! advance (State::sendingImage))
        return false;

    setPhaseProgress (0.0);
    setStatus ("Sending update to " + deviceName);
    imageMessages = messages->size();

    // Handed over on the message thread, where "Stop" is handled too: a stop
    // that comes first sends nothing, one that comes after aborts the transfer.
    // (The unit's queue forgets an abort asked for before its command starts.)
    juce::Message::Ptr image = new DeviceCommandMessage (std::move (messages), {});
    juce::MessageManager::callAsync ([alive = self, image]
    {
        if (alive == nullptr || alive->getState() != State::sendingImage)
            return;

        alive->imageSent = true;
        alive->devices.handleMessage (*image);
    });

    return true;
}

//==============================================================================
void FirmwareUpdateThread::findUnitAndRestore()
{
    while (shouldContinue())
    {
        rescan();

        if (! shouldContinue())
            return;

        if (getState() != State::unitFound)
        {
            askAboutMissingUnit();
            continue;
        }

        switch (verify())
        {
            case Verified::ok:
                if (restoreUserData() && finishAs (State::complete, completed))
                    setPhaseProgress (1.0);
                return;

            case Verified::notConnected:
                askAboutMissingUnit();
                break;

            case Verified::rejected:
                return;
        }
    }
}

void FirmwareUpdateThread::rescan()
{
    for (int round = 0; round < scanRounds && advance (State::scanning); ++round)
    {
        setPhaseProgress (1.0);
        host.invokeCommand (Command::scanForDevices);

        if (! waitUntil ([this] { return getState() != State::scanning; }, scanLimitMs (devices.getNumDevices())))
            moveFrom (State::scanning, State::unitNotFound);

        if (getState() != State::unitNotFound)
            return;

        pause (pauseBetweenScansMs);
    }
}

void FirmwareUpdateThread::askAboutMissingUnit()
{
    if (! advance (State::unitMissing))
        return;

    while (getState() == State::unitMissing && ! threadShouldExit())
        wait (Clock::scaled (ProtocolTiming::stateCheckMs));
}

FirmwareUpdateThread::Verified FirmwareUpdateThread::verify()
{
    host.invokeCommand (Command::connectSelectedDevice);

    const auto ours = [this]
    {
        const auto activeSerial = devices.getDeviceSerial (-1);
        return devices.getActiveIndex() >= 0 && (activeSerial == serial.load() || serial.load() == 0);
    };

    if (! waitUntil (ours, connectWaitMs))
        return Verified::notConnected;

    if (devices.getDeviceVersion (-1).build != target.version.build || devices.getDeviceProductId (-1) != currentBlock.productId)
    {
        fail (deviceName + " has rebooted, but the firmware update was rejected. Please try again.");
        return Verified::rejected;
    }

    return Verified::ok;
}

bool FirmwareUpdateThread::restoreUserData()
{
    if (! advance (State::restoringData))
        return false;

    setPhaseProgress (0.0);

    if (convertedData == nullptr)
        return true;

    restoreCounter = 0;
    restoreCount = convertedData->getUsedPresetIndices().size();
    setStatus ("Updating user data");   // the bar stands at the phase's start already
    devices.postMessage (new DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, convertedData, {}));

    awaitTransfer (State::restoringData, transferLimitMs (convertedData->getNumSlots() + currentBlock.numSyxPackagesPerSetup));
    return getState() == State::dataRestored;
}

// Once the image was sent the converted data stays on disk until it is back
// on the unit; before that the unit still holds the user's own.
void FirmwareUpdateThread::finish()
{
    const std::lock_guard guard (stateLock);

    // Only the end of the program's run stops the thread short of an ending.
    if (! isFinal (state))
    {
        enter (State::stopped);
        exitCode = interrupted;
    }

    const bool restored = state == State::complete;

    if (keptDataFile != juce::File() && (restored || ! imageSent.load()))
    {
        keptDataFile.deleteFile();
        keptDataFile = juce::File();
    }
}

//==============================================================================
void FirmwareUpdateThread::conversionProgress (int done, int total)
{
    setPhaseProgress ((double) done / (double) (total + 1));
}

void FirmwareUpdateThread::conversionFinished()
{
    setPhaseProgress (1.0);
}

void FirmwareUpdateThread::stopConversion()
{
    conversionStopped = true;
    const std::lock_guard guard (conversionLock);

    if (activeConversion != nullptr)
        activeConversion->stop();
}

//==============================================================================
void FirmwareUpdateThread::changeNotify (const ChangeInfo& info)
{
    if (info.kind != ChangeInfo::notification)
        return;

    handleDeviceMessage (info.message);
}

void FirmwareUpdateThread::handleDeviceMessage (const DeviceInfoMessage& m)
{
    using Info = DeviceInfoMessage;
    const auto v1 = m.value1, v2 = m.value2;

    switch (m.code)
    {
        case Info::connectedDeviceChanged:
            if (v1 == 1)
                notify();
            break;

        case Info::scanFinished:
        {
            const auto pid = currentBlock.productId;
            auto found = State::unitNotFound;

            if (devices.isDeviceConnected (pid, serial.load()))
            {
                found = State::unitFound;
            }
            else if (devices.isDeviceConnected (pid, 0))
            {
                serial = 0;
                found = State::unitFound;
            }

            if (moveFrom (State::scanning, found))
            {
                setPhaseProgress (1.0);
                notify();
            }
            break;
        }

        case Info::presetRead:
        case Info::presetSlotEmpty:
            setStatus (juce::String::formatted ("Analyzing preset %d: ", v1) + (m.code == Info::presetRead ? m.text : juce::String ("<empty>")));

            if (currentBlock.numPresets > 0)
                setPhaseProgress ((double) v1 / (double) currentBlock.numPresets);
            break;

        case Info::presetWritten:
            setStatus (juce::String::formatted ("Updating preset %d: ", v1) + m.text);

            if (const auto count = restoreCount.load(); count != 0)
                setPhaseProgress ((double) restoreCounter++ / (double) count);
            break;

        case Info::presetReadTryFailed:
        case Info::presetWriteTryFailed:
            setStatus (juce::String::formatted ("Transmission error on preset %d  [retry %d/%d]", v1, v2, retriesShown), true);
            break;

        case Info::setupPacketSent:
            setStatus ("Updating setup");
            break;

        case Info::setupReadTryFailed:
        case Info::setupWriteTryFailed:
            setStatus (juce::String::formatted ("Transmission error on setup data  [retry %d/%d]", v2, retriesShown), true);
            break;

        case Info::firmwarePacketSent:
            // Started after a stop had found nothing to abort.
            if (getState() == State::stopped)
            {
                devices.abortActiveDeviceOperation();
                break;
            }

            setStatus ("Sending update to " + deviceName);

            // The first packet after the image's start is the list's second message.
            if (v2 > 1)
                setPhaseProgress ((double) (v1 - 1) / (double) (v2 - 1));
            break;

        case Info::firmwarePacketResent:
            setStatus (juce::String::formatted ("Transmission error on packet %d, attempt %d", v1, v2), true);
            break;

        case Info::commandDone:
            if (m.command.command == DeviceCommandMessage::writeAllOfData && moveFrom (State::restoringData, State::dataRestored))
            {
                notify();
            }
            else if (m.command.command == DeviceCommandMessage::readAll && moveFrom (State::preparing, State::converting))
            {
                setPhaseProgress (0.0);
                notify();
            }
            else if (m.command.command == DeviceCommandMessage::sendFirmware && moveFrom (State::sendingImage, State::applyingImage))
            {
                setStatus ("Waiting for " + deviceName + " to apply the update");
                waitStart = Clock::now();
                setPhaseProgress (1.0);
                notify();
            }
            break;

        case Info::commandAborted:
            if (isUpdateCommand (m.command.command) && finishAs (State::stopped, interrupted))
                notify();
            break;

        case Info::commandFailed:
            if (isUpdateCommand (m.command.command))
            {
                const auto unit = devices.getDevice (-1);
                const auto code = unit != nullptr && unit->getErrorCode() != DeviceError::none ? (int) unit->getErrorCode()
                                                                                                 : (int) DeviceError::internal;
                fail (DeviceManager::getErrorText (code, deviceName));
                notify();
            }
            break;

        case Info::firmwareStopPressed:
            handleStop();
            break;

        default:
            break;
    }
}

// "Stop" ends the update in whatever state it is, at once: the unit's
// transfer is aborted, a conversion cancelled, and the thread woken.
void FirmwareUpdateThread::handleStop()
{
    if (isFinal (getState()))
        return;

    setStatus ("Stopping update!!!", true);
    devices.abortActiveDeviceOperation();
    stopConversion();
    finishAs (State::stopped, interrupted);
    notify();
}

//==============================================================================
void FirmwareUpdateThread::timerCallback()
{
    // A question of this update is open: its modal loop keeps the timer going.
    if (questionOpen)
        return;

    const auto current = getState();

    if (isThreadRunning() && ! isFinal (current))
    {
        if (current == State::applyingImage && rebootWaitSeconds > 0.0)
        {
            const auto total = (double) Clock::scaled (juce::roundToInt (rebootWaitSeconds * 1000.0));
            const auto elapsed = (double) (Clock::now() - waitStart.load());
            setPhaseProgress (juce::jlimit (0.0, 1.0, elapsed / total));
        }

        if ((current == State::waitingForAnswer || current == State::unitMissing) && ! askFromTimer (current))
            return;

        host.showProgress (getProgress());
        return;
    }

    // Ended: wait for the thread without blocking the message thread.
    if (isThreadRunning())
    {
        notify();
        return;
    }

    stopTimer();
    host.updateEnded (*this);
}

// False when the update was deleted while the question was open.
bool FirmwareUpdateThread::askFromTimer (State current)
{
    juce::WeakReference<FirmwareUpdateThread> alive (this);
    questionOpen = true;

    if (current == State::waitingForAnswer)
    {
        const auto yes = host.askYesNo ("Firmware Update", questionText);

        if (alive == nullptr)
            return false;

        answer = yes;
        moveFrom (State::waitingForAnswer, stateAfterAnswer);
    }
    else
    {
        auto text = "Belvora is unable to find your " + deviceName + ". It should have rebooted by now. Would you like Belvora to keep "
                    "scanning for the device or do you want to stop the update?\n\rTypically a firmware update is complete once the LEDs "
                    "stop blinking and the device reboots. If the device seems to be inoperative for several minutes you can power cycle "
                    "it and when your " + deviceName + " boots up you can then click 'Continue Scanning'. If Belvora still fails to detect "
                    "the device, restart Belvora and reboot your " + deviceName + " again. If " + deviceName + " hasn't updated to the "
                    "new version, try the update again.";

        if (hasConvertedData.load())
            text << "\n\rNote: Belvora still needs to update preset and/or setup data on your " << deviceName
                 << ". If you stop the update now, this data may be lost.";

        const auto goOn = host.askToContinueScanning ("Device Detection Failure", text);

        if (alive == nullptr)
            return false;

        if (goOn)
            moveFrom (State::unitMissing, State::scanning);
        else
        {
            const std::lock_guard guard (stateLock);

            if (state == State::unitMissing)
                enter (State::stopped);
        }
    }

    questionOpen = false;
    notify();
    return true;
}
