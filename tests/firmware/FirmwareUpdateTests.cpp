// The firmware update of a simulated unit, start to finish, along every path.

#include "FirmwareUpdateFixture.h"

#include "model/SysEx.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>

namespace
{
    const juce::String detectionText ("Belvora is unable to find your Vesper. It should have rebooted by now. Would you like Belvora to keep "
                                      "scanning for the device or do you want to stop the update?\n\rTypically a firmware update is complete "
                                      "once the LEDs stop blinking and the device reboots. If the device seems to be inoperative for several "
                                      "minutes you can power cycle it and when your Vesper boots up you can then click 'Continue Scanning'. "
                                      "If Belvora still fails to detect the device, restart Belvora and reboot your Vesper again. If Vesper "
                                      "hasn't updated to the new version, try the update again.");

    const juce::String dataNote ("\n\rNote: Belvora still needs to update preset and/or setup data on your Vesper. If you stop the update "
                                 "now, this data may be lost.");

    int firmwareStarts (const SimulatedUnit& unit)
    {
        return unit.countReceived (SysEx::cmdFirmwareStart);
    }

    /** The presets and setup of a SysEx file, read into data of that layout. */
    std::unique_ptr<DeviceData> importInto (const juce::File& file, const CapsBlock& caps)
    {
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion(), caps, nullptr);
        juce::SortedSet<int> changed;
        data->importSysEx (file, changed, -1);
        return data;
    }

    void expectSameData (const DeviceData& actual, const DeviceData& expected)
    {
        EXPECT_EQ (actual.getUsedPresetIndices(), expected.getUsedPresetIndices());

        for (auto i : expected.getUsedPresetIndices())
        {
            const auto* preset = actual.getPreset (i);
            EXPECT_EQ (preset != nullptr ? preset->getMD5String() : juce::String(), expected.getPreset (i)->getMD5String()) << "preset " << i;
        }

        EXPECT_TRUE (actual.getSetup().isComplete());
        EXPECT_EQ (actual.getSetup().getMD5String(), expected.getSetup().getMD5String());
    }
}

//==============================================================================
TEST_F (FirmwareUpdateTest, UnitIsUpdatedAndItsConvertedDataWrittenBackAndReadAgain)
{
    auto& unit = addVesper (oldBuild, 4);
    unit.setUpdateOutcome (comesBackWith (newBuild));
    ASSERT_TRUE (connect());

    const auto expected = expectedConversion (unit, 4);
    ASSERT_NE (expected, nullptr);
    ASSERT_NE (expected->getPreset (1)->getMD5String(), unit.getPreset (1)->getMD5String()) << "the conversion changes the presets";

    ASSERT_TRUE (startUpdate (elementFor (newBuild)));
    ASSERT_TRUE (runToEnd());

    EXPECT_EQ (update->getExitCode(), Update::completed);
    EXPECT_EQ (update->getErrorText(), "");
    EXPECT_EQ (history(), (std::vector<S> { S::preparing, S::converting, S::sendingImage, S::applyingImage, S::scanning,
                                            S::unitFound, S::restoringData, S::dataRestored, S::complete }));
    EXPECT_TRUE (owner->questions.empty());
    EXPECT_EQ (owner->endings, 1);
    EXPECT_EQ (owner->endedName, "Vesper");
    EXPECT_EQ (update->getStartVersion().build, oldBuild);
    EXPECT_EQ (update->getTargetVersion().build, newBuild);

    const auto commands = owner->getCommands();
    EXPECT_EQ (commands.getFirst(), (int) Command::downloadDeviceData);
    EXPECT_EQ (commands.getLast(), (int) Command::connectSelectedDevice);
    EXPECT_EQ (owner->countCommands (Command::downloadDeviceData), 1);

    // Each line shown lies within its phase's share of the whole, and the whole only grows.
    const std::pair<const char*, std::pair<double, double>> phases[] =
    {
        { "Preparing for update", { 0.0, 0.1 } },  { "Analyzing preset", { 0.0, 0.1 } },
        { "Converting user data", { 0.1, 0.15 } }, { "Sending update to Vesper", { 0.15, 0.55 } },
        { "Waiting for Vesper to apply the update", { 0.55, 0.9 } },
        { "Updating", { 0.9, 1.0 } }
    };

    double last = 0.0;
    bool sawWaiting = false;

    for (auto& shown : owner->shown)
    {
        const auto& p = shown.progress;
        EXPECT_GE (p.overall + 1.0e-9, last) << p.status;
        last = p.overall;
        sawWaiting = sawWaiting || p.status.startsWith ("Waiting");

        for (auto& [prefix, range] : phases)
        {
            const bool inRange = p.overall >= range.first - 1.0e-9 && p.overall <= range.second + 1.0e-9;
            EXPECT_TRUE (inRange || ! p.status.startsWith (prefix)) << p.status << " at " << p.overall;
        }
    }

    EXPECT_TRUE (sawWaiting);
    EXPECT_EQ (update->getProgress().overall, 1.0);

    // Back on the unit, nothing left behind on disk.
    EXPECT_EQ (update->getKeptDataFile(), juce::File());
    EXPECT_EQ (juce::File (rig->manager->getActiveDeviceDataFolder()).findChildFiles (juce::File::findFiles, false, "*.syx").size(), 0);

    owner->update = nullptr;
    owner->clear();
    rig->manager->handleMessage (Cmd (Cmd::readAll));
    ASSERT_EQ (owner->waitForCompletion(), Info::commandDone);

    const auto back = rig->manager->getActiveDeviceData();
    EXPECT_EQ (back->getFirmwareVersion().build, newBuild);
    EXPECT_EQ (back->getCapsBlock(), capsAt (newBuild));
    expectSameData (*back, *expected);
}

TEST_F (FirmwareUpdateTest, SameFormatUpdateReadsAndWritesNoData)
{
    // A hand-edited time-out of some 35 days: its scan limit once wrapped
    // round to a negative one, and the unit was never waited for.
    Belvora::getAppProperties().getUserSettings()->setValue ("downloadTimeout", 3.0e6);

    auto& unit = addVesper (newBuild, 3);
    unit.setUpdateOutcome (comesBackWith (betaBuild));
    ASSERT_TRUE (connect());
    const auto presetBefore = unit.getPreset (2)->getMD5String();

    ASSERT_TRUE (startUpdate (elementFor (betaBuild)));
    ASSERT_TRUE (runToEnd());

    EXPECT_EQ (update->getExitCode(), Update::completed);
    EXPECT_EQ (history(), (std::vector<S> { S::preparing, S::sendingImage, S::applyingImage, S::scanning,
                                            S::unitFound, S::restoringData, S::complete }));
    EXPECT_EQ (owner->countCommands (Command::downloadDeviceData), 0);
    EXPECT_EQ (unit.countReceived (SysEx::cmdPresetRequest), 0);
    EXPECT_EQ (unit.countReceived (SysEx::cmdPresetHeader), 0);
    EXPECT_EQ (unit.getCurrentVersion().build, betaBuild);
    EXPECT_EQ (unit.getNumStoredPresets(), 3);
    EXPECT_EQ (unit.getPreset (2)->getMD5String(), presetBefore);
}

TEST_F (FirmwareUpdateTest, UnitBackWithTheOldBuildIsRejectedAndItsConvertedDataKeptOnDisk)
{
    auto& unit = addVesper (oldBuild, 3);
    unit.setUpdateOutcome ({ SimulatedUnit::UpdateOutcome::Comeback::oldFirmware });
    ASSERT_TRUE (connect());
    const auto expected = expectedConversion (unit, 3);

    ASSERT_TRUE (startUpdate (elementFor (newBuild)));
    ASSERT_TRUE (runToEnd());

    EXPECT_EQ (update->getExitCode(), Update::error);
    EXPECT_EQ (update->getErrorText(), "Vesper has rebooted, but the firmware update was rejected. Please try again.");
    EXPECT_EQ (update->getState(), S::failed);
    EXPECT_EQ (unit.countReceived (SysEx::cmdPresetHeader), 0) << "nothing of the new format goes to the old firmware";

    const auto kept = update->getKeptDataFile();
    ASSERT_TRUE (kept.existsAsFile());
    EXPECT_TRUE (kept.isAChildOf (juce::File (rig->manager->getActiveDeviceDataFolder())));
    expectSameData (*importInto (kept, capsAt (newBuild)), *expected);

    // Converted data that cannot be kept ends the update before the unit is touched, saying why.
    makeRig();
    auto& full = addVesper (oldBuild, 3);
    ASSERT_TRUE (connect());
    {
        const FileSizeLimit::Scoped limit (16);
        ASSERT_TRUE (startUpdate (elementFor (newBuild)));
        ASSERT_TRUE (runToEnd());
    }
    EXPECT_TRUE (update->getErrorText().endsWith ("\" (the system said: no room on the drive). Please make sure the drive is not full. "
                                                  "Nothing on your device has been altered yet.")) << update->getErrorText();
    EXPECT_EQ (firmwareStarts (full), 0);
}

TEST_F (FirmwareUpdateTest, FiveScansWithoutTheUnitAskAndContinueScanningScansFiveMore)
{
    auto& unit = addVesper (newBuild, 2);
    unit.setUpdateOutcome ({ SimulatedUnit::UpdateOutcome::Comeback::never });
    ASSERT_TRUE (connect());

    int asked = 0;
    owner->answer = [&] (const Owner::Question&) { return ++asked == 1; };   // go on once, then stop

    ASSERT_TRUE (startUpdate (elementFor (betaBuild)));
    ASSERT_TRUE (runToEnd());

    ASSERT_EQ (owner->questions.size(), 2u);
    EXPECT_EQ (owner->questions[0].title, "Device Detection Failure");
    EXPECT_EQ (owner->questions[0].text, detectionText) << "no data waits to be written back";
    EXPECT_EQ (owner->countCommands (Command::scanForDevices), 10);
    EXPECT_EQ (owner->countCommands (Command::connectSelectedDevice), 0);

    // "Stop" in the question is an interruption with nothing to report beyond it.
    EXPECT_EQ (update->getState(), S::stopped);
    EXPECT_EQ (update->getExitCode(), Update::notFinished);
    EXPECT_EQ (update->getKeptDataFile(), juce::File());
}

TEST_F (FirmwareUpdateTest, UnitThatIsNotConnectedAfterTheRebootIsAskedAboutNeverReportedComplete)
{
    for (auto goOn : { true, false })
    {
        SCOPED_TRACE (goOn ? "Continue Scanning" : "Stop");
        makeRig();
        auto& unit = addVesper (oldBuild, 3);
        unit.setUpdateOutcome (comesBackWith (newBuild));
        ASSERT_TRUE (connect());
        const auto expected = expectedConversion (unit, 3);

        owner->connectsToIgnore = 1;   // the owner fails to connect the unit once
        owner->answer = [goOn] (const Owner::Question&) { return goOn; };

        ASSERT_TRUE (startUpdate (elementFor (newBuild)));
        ASSERT_TRUE (runToEnd());

        ASSERT_EQ (owner->questions.size(), 1u);
        EXPECT_EQ (owner->questions[0].title, "Device Detection Failure");
        EXPECT_EQ (owner->questions[0].text, detectionText + dataNote);
        EXPECT_EQ (update->getStateHistory().back(), goOn ? S::complete : S::stopped);

        if (goOn)
        {
            EXPECT_EQ (update->getExitCode(), Update::completed);
            EXPECT_EQ (unit.getNumStoredPresets(), 3);
            EXPECT_EQ (unit.getPreset (2)->getMD5String(), expected->getPreset (2)->getMD5String());
        }
        else
        {
            EXPECT_EQ (update->getExitCode(), Update::notFinished);
            EXPECT_EQ (unit.getNumStoredPresets(), 0) << "the new firmware started empty and nothing was written";
            ASSERT_TRUE (update->getKeptDataFile().existsAsFile());
            expectSameData (*importInto (update->getKeptDataFile(), capsAt (newBuild)), *expected);
        }
    }
}

TEST_F (FirmwareUpdateTest, UnitReturningWithoutItsSerialCountsAsFound)
{
    auto& unit = addVesper (newBuild, 2);
    auto outcome = comesBackWith (betaBuild);
    outcome.serial = 0;
    unit.setUpdateOutcome (outcome);
    ASSERT_TRUE (connect());
    EXPECT_EQ (owner->devices->getDeviceSerial (-1), 10000001);

    ASSERT_TRUE (startUpdate (elementFor (betaBuild)));
    ASSERT_TRUE (runToEnd());

    EXPECT_EQ (update->getExitCode(), Update::completed);
    EXPECT_EQ (update->getSerial(), 0);
    EXPECT_EQ (owner->devices->getDeviceSerial (-1), 0);
}

//==============================================================================
TEST_F (FirmwareUpdateTest, StopEndsTheUpdateInEveryStateThatIsNotFinal)
{
    using Faults = SimulatedUnit::Faults;
    const auto never = SimulatedUnit::UpdateOutcome { SimulatedUnit::UpdateOutcome::Comeback::never };

    struct Case
    {
        S state;
        bool convert;                  // 1.2 to 1.4 (read, convert, write back), else 1.4 to 1.5
        std::function<void (SimulatedUnit&, Owner&)> arrange;   // once the unit is connected
    };

    const auto slowReplies = [] (int ms) { return [ms] (SimulatedUnit& u, Owner&) { u.setFaults (Faults { .replyDelayMs = ms }); }; };
    const auto stopInQuestion = [this] (SimulatedUnit&, Owner& o) { o.answer = [this] (const Owner::Question&) { pressStop(); return true; }; };

    const Case cases[] =
    {
        { S::created,          false, {} },
        { S::preparing,        true,  slowReplies (400) },
        { S::waitingForAnswer, true,  [&] (SimulatedUnit& u, Owner& o) { replaceScript ("vesper_preset_3_to_4.js", "Belvora.scriptError ('odd');"); stopInQuestion (u, o); } },
        { S::converting,       true,  [&] (SimulatedUnit&, Owner&) { replaceScript ("vesper_preset_3_to_4.js", "var i = 0; while (true) { ++i; }"); } },
        { S::sendingImage,     false, slowReplies (2000) },
        { S::applyingImage,    false, {} },
        { S::scanning,         false, [&] (SimulatedUnit& u, Owner&) { u.setUpdateOutcome (never); } },
        { S::unitNotFound,     false, [&] (SimulatedUnit& u, Owner&) { u.setUpdateOutcome (never); } },
        { S::unitMissing,      false, [&] (SimulatedUnit& u, Owner& o) { u.setUpdateOutcome (never); stopInQuestion (u, o); } },
        { S::unitFound,        false, [] (SimulatedUnit&, Owner& o) { o.connectsToIgnore = 1; } },
        { S::restoringData,    true,  [] (SimulatedUnit& u, Owner&) { u.setFaults (Faults { .endInsteadOfWriteStatus = true }); } },
    };

    const auto originalScript = contentRoot().getChildFile ("Belvora2/Vesper/js/vesper_preset_3_to_4.js").loadFileAsString();

    for (auto& c : cases)
    {
        SCOPED_TRACE ((int) c.state);
        makeRig();
        replaceScript ("vesper_preset_3_to_4.js", originalScript);

        auto& unit = addVesper (c.convert ? oldBuild : newBuild, 3);
        unit.setUpdateOutcome (comesBackWith (c.convert ? newBuild : betaBuild));

        ASSERT_TRUE (connect());

        if (c.arrange)
            c.arrange (unit, *owner);
        ASSERT_TRUE (prepareUpdate (elementFor (c.convert ? newBuild : betaBuild)));

        // An image is stopped once its transfer runs: before, there is nothing to abort.
        const auto transferRuns = [&] { return c.state != S::sendingImage || owner->count (Info::firmwarePacketSent) > 0; };
        bool stopped = false;
        const auto stopThere = [&]
        {
            if (! stopped && update != nullptr && update->getState() == c.state && transferRuns())
            {
                stopped = true;
                pressStop();
            }
        };

        owner->afterNotification = stopThere;
        stopThere();
        update->start();
        ASSERT_TRUE (runToEnd (stopThere));

        EXPECT_EQ (update->getState(), S::stopped);
        EXPECT_EQ (update->getExitCode(), Update::interrupted) << update->getErrorText();
        EXPECT_EQ (owner->endings, 1);
        EXPECT_FALSE (update->isThreadRunning());

        // Stopped right where it was pressed.
        const auto seen = update->getStateHistory();
        ASSERT_FALSE (seen.empty());
        EXPECT_EQ (seen.size() > 1 ? seen[seen.size() - 2] : S::created, c.state);

        if (c.state == S::created)
        {
            EXPECT_TRUE (owner->getCommands().isEmpty());
        }

        if (c.state == S::sendingImage)
        {
            EXPECT_TRUE (owner->waitFor (Info::commandAborted)) << "the transfer was aborted";
        }

        // The image went out and the data did not come back: it stays on disk.
        EXPECT_EQ (update->getKeptDataFile().existsAsFile(), c.state == S::restoringData);

        owner->afterNotification = {};
    }

    replaceScript ("vesper_preset_3_to_4.js", originalScript);
}

// "Stop" pressed after the state says the image is on its way but before the
// message thread has handed the image to the unit: the unit's queue forgets an
// abort asked for before its command starts, so the whole image once went out.
TEST_F (FirmwareUpdateTest, StopBeforeTheImageIsHandedOverLetsNoImageThrough)
{
    auto& unit = addVesper (newBuild, 2);
    unit.setUpdateOutcome (comesBackWith (betaBuild));
    ASSERT_TRUE (connect());
    ASSERT_TRUE (prepareUpdate (elementFor (betaBuild)));
    update->start();

    // The same format needs no download: the update's thread gets to the image
    // by itself, and nothing it posted can run while the message thread is held here.
    while (update->getState() != S::sendingImage && update->isThreadRunning())
        juce::Thread::yield();

    ASSERT_EQ (update->getState(), S::sendingImage);
    pressStop();
    ASSERT_TRUE (runToEnd());
    EXPECT_EQ (update->getState(), S::stopped);

    // The device layer runs one command after the other: once a scan has
    // finished, whatever was handed to it before has ended too.
    const auto scans = owner->count (Info::scanFinished);
    rig->manager->handleMessage (Cmd (Cmd::scan));
    ASSERT_TRUE (owner->waitFor (Info::scanFinished, scans + 1));

    EXPECT_EQ (firmwareStarts (unit), 0) << "nothing of the image went out";
    EXPECT_EQ (unit.getCurrentVersion().build, newBuild);
    EXPECT_FALSE (update->getKeptDataFile().existsAsFile());
}

//==============================================================================
TEST_F (FirmwareUpdateTest, MissingOrIncompleteImageIsRefusedBeforeAnythingIsSent)
{
    auto& unit = addVesper (newBuild, 2);
    ASSERT_TRUE (connect());

    const auto good = juce::File (elementFor (betaBuild).file);
    const auto copy = TestEnvironment::getHome().getChildFile ("image.syx");
    juce::MemoryBlock bytes;
    ASSERT_TRUE (good.loadFileAsData (bytes));

    const auto refused = [&] (const juce::MemoryBlock& content)
    {
        copy.replaceWithData (content.getData(), content.getSize());
        auto element = elementFor (betaBuild);
        element.file = copy.getFullPathName();
        EXPECT_FALSE (prepareUpdate (element));
        EXPECT_EQ (update->getExitCode(), Update::error);
        return update->getErrorText();
    };

    auto missing = elementFor (betaBuild);
    missing.file = copy.getSiblingFile ("gone.syx").getFullPathName();
    EXPECT_FALSE (prepareUpdate (missing));
    EXPECT_EQ (update->getErrorText(), "The firmware update image does not exist.");

    const juce::String invalid ("The firmware update image does not contain valid firmware data.");
    EXPECT_EQ (refused (juce::MemoryBlock (bytes.getData(), bytes.getSize() - 5)), invalid) << "cut inside the last message";
    EXPECT_EQ (refused (juce::MemoryBlock (bytes.getData(), 9)), invalid) << "the start alone";

    auto junk = bytes;
    junk.append ("\x01\x02", 2);
    EXPECT_EQ (refused (junk), invalid) << "bytes that make no message";

    auto foreign = bytes;
    static_cast<uint8_t*> (foreign.getData())[9 + 5] = 0x12;   // the first packet addressed to a product
    EXPECT_EQ (refused (foreign), invalid);

    // A downloaded image with a bit changed since (still 7-bit, whole messages) differs from its record.
    const juce::File downloaded (elementFor (oldBuild).file);
    auto changed = bytesOf (downloaded);
    static_cast<uint8_t*> (changed.getData())[40] ^= 1;
    ASSERT_TRUE (downloaded.replaceWithData (changed.getData(), changed.getSize()));
    EXPECT_FALSE (prepareUpdate (elementFor (oldBuild)));
    EXPECT_TRUE (update->getErrorText().startsWith ("The firmware update image on this computer is damaged")) << update->getErrorText();

    // An image that turns bad between the checks and the transfer is not sent in part.
    copy.replaceWithData (bytes.getData(), bytes.getSize());
    auto element = elementFor (betaBuild);
    element.file = copy.getFullPathName();
    ASSERT_TRUE (prepareUpdate (element));
    copy.replaceWithData (bytes.getData(), bytes.getSize() - 20);
    update->start();
    ASSERT_TRUE (runToEnd());

    EXPECT_EQ (update->getExitCode(), Update::error);
    EXPECT_EQ (update->getErrorText(), "An internal error occurred before the update could start. Belvora was not able to read the firmware "
                                       "update file. Please restart Belvora and try again. If the problem persists, please contact support. Code: 2A.");
    EXPECT_EQ (firmwareStarts (unit), 0);
    EXPECT_EQ (unit.getCurrentVersion().build, newBuild);
}

TEST_F (FirmwareUpdateTest, DeviceFailuresEndTheUpdateButNotThoseOfConnectionChecks)
{
    {
        auto& unit = addVesper (newBuild, 2);
        unit.setFaults ({ .firmwareStatusForPacket = { { 2, 2 } } });
        ASSERT_TRUE (connect());
        ASSERT_TRUE (startUpdate (elementFor (betaBuild)));
        ASSERT_TRUE (runToEnd());

        EXPECT_EQ (update->getExitCode(), Update::error);
        EXPECT_EQ (update->getErrorText(), DeviceManager::getErrorText ((int) DeviceError::internal, "Vesper"));
        EXPECT_EQ (update->getStateHistory().back(), S::failed);
    }

    makeRig();
    auto& unit = addVesper (newBuild, 2);
    unit.setUpdateOutcome (comesBackWith (betaBuild));
    ASSERT_TRUE (connect());
    ASSERT_TRUE (startUpdate (elementFor (betaBuild)));

    DeviceInfoMessage checkFailed (Info::commandFailed, 0, 0, {});
    checkFailed.command = Cmd (Cmd::checkConnection);
    owner->tell (checkFailed);

    ASSERT_TRUE (runToEnd());
    EXPECT_EQ (update->getExitCode(), Update::completed);
}

TEST_F (FirmwareUpdateTest, ConversionTroubleAsksAndNoLeavesTheUnitUntouched)
{
    // A setup that cannot be converted: the setup question, with the converter's own account.
    replaceScript ("vesper_setup_2_to_3.js", "Belvora.scriptError ('No tuning.');");
    auto& unit = addVesper (oldBuild, 2);
    ASSERT_TRUE (connect());

    juce::String account;
    {
        DeviceData stored ("Vesper", versionOf (oldBuild), capsAt (oldBuild), nullptr);
        stored.setPreset (1, unit.getPreset (1));
        stored.setPreset (2, unit.getPreset (2));
        stored.setSetup (*unit.getSetup(), false);
        DataConversionManager converter (*catalogue);
        converter.convertDeviceData (stored, vesper, versionOf (newBuild));
        account = "\n\nError code: " + converter.getResult().getBits().toString (16) + "\nError info: " + converter.getResult().getErrorText();
        EXPECT_TRUE (account.endsWith ("No tuning."));
    }

    owner->answer = [] (const Owner::Question&) { return false; };
    ASSERT_TRUE (startUpdate (elementFor (newBuild)));
    ASSERT_TRUE (runToEnd());

    ASSERT_EQ (owner->questions.size(), 1u);
    EXPECT_EQ (owner->questions[0].title, "Firmware Update");
    EXPECT_EQ (owner->questions[0].text, "Belvora is unable to update your device's setup. Applying the update will most likely result in your "
                                         "device's configuration being reset to a default state. Do you want to continue with the update anyway?"
                                         + account);
    EXPECT_EQ (update->getState(), S::stopped);
    EXPECT_EQ (update->getExitCode(), Update::notFinished);
    EXPECT_EQ (firmwareStarts (unit), 0);
    EXPECT_EQ (unit.getNumStoredPresets(), 2);
    EXPECT_EQ (update->getKeptDataFile(), juce::File());

    // Presets that cannot be converted at all: the general question; "Yes" updates without them.
    makeRig();
    replaceScript ("vesper_preset_3_to_4.js", "Belvora.scriptError ('Odd preset.');");
    auto& second = addVesper (oldBuild, 2);
    second.setUpdateOutcome (comesBackWith (newBuild));
    ASSERT_TRUE (connect());

    owner->answer = [] (const Owner::Question&) { return true; };
    ASSERT_TRUE (startUpdate (elementFor (newBuild)));
    ASSERT_TRUE (runToEnd());

    ASSERT_EQ (owner->questions.size(), 1u);
    EXPECT_TRUE (owner->questions[0].text.startsWith ("Belvora has encountered an error while preparing your device's preset and/or setup "
                                                      "data for the firmware update. You can ignore this error and continue with the update; "
                                                      "however, your presets and/or setup data will be erased after the update. Nothing on "
                                                      "your device has been altered yet. Do you want to continue with the update anyway?"
                                                      "\n\nError code: "));
    EXPECT_TRUE (owner->questions[0].text.endsWith ("\nError info: Odd preset."));
    EXPECT_EQ (update->getExitCode(), Update::completed);
    EXPECT_EQ (second.countReceived (SysEx::cmdPresetHeader), 0);
    EXPECT_EQ (update->getKeptDataFile(), juce::File());

    for (auto* name : { "vesper_preset_3_to_4.js", "vesper_setup_2_to_3.js" })
        replaceScript (name, contentRoot().getChildFile ("Belvora2/Vesper/js").getChildFile (name).loadFileAsString());
}

//==============================================================================
TEST_F (FirmwareUpdateTest, DeviceNotificationsBecomeStatusLinesAndStopEndsItAtOnce)
{
    addVesper (oldBuild, 2);
    ASSERT_TRUE (connect());
    ASSERT_TRUE (prepareUpdate (elementFor (newBuild)));

    const auto showAfter = [&] (int code, int v1, int v2, const char* text)
    {
        owner->tell (DeviceInfoMessage (code, v1, v2, text));
        return update->getProgress();
    };

    auto p = showAfter (Info::presetRead, 5, 20, "Lead");
    EXPECT_EQ (p.status, "Analyzing preset 5: Lead");
    EXPECT_FALSE (p.isError);
    EXPECT_DOUBLE_EQ (p.step, 5.0 / 20.0);   // of the unit's 20 slots
    EXPECT_DOUBLE_EQ (p.overall, Update::phaseWeights[0] * 5.0 / 20.0);

    EXPECT_EQ (showAfter (Info::presetSlotEmpty, 6, 20, "").status, "Analyzing preset 6: <empty>");

    p = showAfter (Info::presetReadTryFailed, 7, 3, "");
    EXPECT_EQ (p.status, "Transmission error on preset 7  [retry 3/10]");
    EXPECT_TRUE (p.isError);
    EXPECT_EQ (showAfter (Info::presetWriteTryFailed, 8, 4, "Lead").status, "Transmission error on preset 8  [retry 4/10]");
    EXPECT_EQ (showAfter (Info::setupReadTryFailed, 0, 2, "").status, "Transmission error on setup data  [retry 2/10]");
    EXPECT_EQ (showAfter (Info::setupWriteTryFailed, 0, 5, "").status, "Transmission error on setup data  [retry 5/10]");
    EXPECT_EQ (showAfter (Info::firmwarePacketResent, 4, 2, "").status, "Transmission error on packet 4, attempt 2");

    p = showAfter (Info::setupPacketSent, 1, 2, "");
    EXPECT_EQ (p.status, "Updating setup");
    EXPECT_FALSE (p.isError);
    EXPECT_EQ (showAfter (Info::presetWritten, 9, 0, "Choir").status, "Updating preset 9: Choir");

    p = showAfter (Info::firmwarePacketSent, 3, 5, "");
    EXPECT_EQ (p.status, "Sending update to Vesper");
    EXPECT_DOUBLE_EQ (p.step, 0.5);   // two of the four packets after the start

    // Completions of commands that are not the update's own change nothing.
    DeviceInfoMessage done (Info::commandDone, 0, 0, {});
    done.command = Cmd (Cmd::readSetup);
    owner->tell (done);
    EXPECT_EQ (update->getState(), S::created);

    p = showAfter (Info::firmwareStopPressed, 0, 0, "");
    EXPECT_EQ (p.status, "Stopping update!!!");
    EXPECT_TRUE (p.isError);
    EXPECT_EQ (update->getState(), S::stopped);
    EXPECT_EQ (update->getExitCode(), Update::interrupted);

    // An ended update stays ended.
    done.command = Cmd (Cmd::readAll);
    owner->tell (done);
    DeviceInfoMessage failed (Info::commandFailed, 0, 0, {});
    failed.command = Cmd (Cmd::sendFirmware);
    owner->tell (failed);
    EXPECT_EQ (update->getState(), S::stopped);
    EXPECT_EQ (update->getExitCode(), Update::interrupted);
    EXPECT_EQ (update->getErrorText(), "");
}
