#include "support/DeviceTestRig.h"

#include "model/DeviceData.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    using Cmd = DeviceCommandMessage;
    using Info = DeviceInfoMessage;

    juce::Array<int> codesWithout (const NotificationLog& log, std::initializer_list<int> ignored)
    {
        juce::Array<int> result;

        for (auto code : log.codes())
            if (std::find (ignored.begin(), ignored.end(), code) == ignored.end())
                result.add (code);

        return result;
    }

    std::shared_ptr<const DeviceData> dataWith (const SimulatedUnit::Profile& profile, std::initializer_list<int> slots, int steps = 1)
    {
        auto data = std::make_shared<DeviceData> (profile.portName, profile.version, profile.caps, nullptr);

        for (auto slot : slots)
            data->setPreset (slot, SimulatedUnit::makePreset (profile.caps, slot, steps, "Sent " + juce::String (slot)));

        return data;
    }

    struct Connected : DeviceRig
    {
        explicit Connected (int productId = 0x12, SimulatedUnit::Faults faults = {})
        {
            addUnit (SimulatedUnit::sampleProfile (productId)).setFaults (faults);
            connected = connect (0);
        }

        bool connected = false;
    };
}

TEST (DeviceRead, EmptySlotsAreReportedAsEmpty)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setPreset (2, nullptr);

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 1, 2, 3 })), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::presetRead, Info::presetSlotEmpty, Info::presetRead, Info::commandDone }));

    const auto notes = rig.log.notes();
    EXPECT_EQ (notes[0].value1, 1);
    EXPECT_EQ (notes[0].value2, 3);
    EXPECT_EQ (notes[0].text, "Preset 1");
    EXPECT_EQ (notes[3].command, Cmd::readPresets);

    // Each read carries its own copy of the preset, for a reader that cannot wait for the end.
    ASSERT_NE (notes[2].preset, nullptr);
    EXPECT_EQ (notes[2].preset->getMD5String(), rig.unit (0).getPreset (3)->getMD5String());
    EXPECT_EQ (notes[1].preset, nullptr);

    auto data = rig.manager->getActiveDeviceData();
    EXPECT_FALSE (data->isPresetSlotUsed (2));
    EXPECT_EQ (data->getPreset (3)->getMD5String(), rig.unit (0).getPreset (3)->getMD5String());
    // Suspended for the read, resumed after it: the unit's thread may take the resume after the end is told.
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.unit (0).countReceived (SysEx::cmdSuspend) == 2; }));
    EXPECT_FALSE (rig.unit (0).isSuspended());
}

TEST (DeviceRead, ReadAllFetchesEveryPresetAndTheSetup)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    EXPECT_EQ (rig.run (Cmd (Cmd::readAll)), Info::commandDone);
    EXPECT_EQ (rig.log.count (Info::presetRead), 29);
    EXPECT_EQ (rig.unit (0).countReceived (SysEx::cmdSetupRequest), 1);

    auto data = rig.manager->getActiveDeviceData();
    EXPECT_TRUE (data->getSetup().isComplete());
    EXPECT_EQ (data->getSetup().getValues(), rig.unit (0).getSetup()->getValues());
    EXPECT_FALSE (data->isModified());
    EXPECT_TRUE (rig.device()->isIdle());
}

TEST (DeviceRead, SilentUnitTimesOutAfterTenTries)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .silent = true });

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 4 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 10);
    EXPECT_EQ (rig.log.notes()[9].value2, 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::timeOut);

    // A failed unit runs nothing until its queue is reset.
    rig.unit (0).setFaults ({});
    rig.log.clear();
    rig.manager->handleMessage (Cmd (Cmd::readPresets, { 4 }));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.device()->getQueue().size() == 1; }));
    EXPECT_TRUE (rig.log.noCompletionWithin (ProtocolTiming::replyWaitMs));

    rig.manager->resetActiveDeviceQueue();
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 4 })), Info::commandDone);
}

TEST (DeviceRead, StatusInsteadOfDataFailsAfterTenTries)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .readStatus = 5 });

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 4 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);

    rig.manager->resetActiveDeviceQueue();
    EXPECT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::setupReadTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
}

TEST (DeviceRead, BrokenPacketsFailWithTheirOwnError)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    rig.unit (0).setFaults ({ .badChecksumOfPreset = 5 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::corruption);

    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .skipPacketIndexOfPreset = 5 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);

    // A packet longer than its layout would make the workspace file unreadable.
    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .padPacketOfPreset = 5 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);

    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .badChecksumOfPreset = 5, .readFaultRepeats = 2 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandDone);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 2);

    // Data of a format the unit's capabilities do not name: no retry would
    // change it, so it is told at once as a version conflict.
    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .dataFormatOffset = -1 });
    rig.unit (0).clearLog();
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5, 6 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 1);
    EXPECT_EQ (rig.log.count (Info::presetRead), 0);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::versionConflict);
    EXPECT_EQ (rig.unit (0).countReceived (SysEx::cmdPresetRequest), 1);

    rig.manager->resetActiveDeviceQueue();
    EXPECT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::setupReadTryFailed), 1);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::versionConflict);
}

TEST (DeviceRead, HeaderOfAnotherSlotIsRefused)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .headerNumberOffset = 1 });

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 3 })), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
    EXPECT_FALSE (rig.manager->getActiveDeviceData()->isPresetSlotUsed (4));

    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .headerNumberOffset = 100 });   // beyond the last slot
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 3 })), Info::commandFailed);
}

TEST (DeviceRead, PacketsOfAnotherProductAreRefused)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    // Kept, such a packet would go back to the unit with the next write.
    rig.unit (0).setFaults ({ .foreignPacketOfPreset = 5 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);

    if (auto* partial = rig.manager->getActiveDeviceData()->getPreset (5))
    {
        for (int i = 0; i < partial->getNumMidiMessages(); ++i)
            EXPECT_EQ (partial->getMidiMessage (i)->getRawData()[5], 0x12);
    }

    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .foreignSetupPacket = true });
    EXPECT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::setupReadTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getSetup().getNumMidiMessages(), 0);

    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .readFaultRepeats = 1, .foreignPacketOfPreset = 5 });
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 5 })), Info::commandDone);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 1);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (5)->getMD5String(), rig.unit (0).getPreset (5)->getMD5String());
}

TEST (DeviceRead, PresetWithoutStepsCompletesWithItsHeader)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setPreset (6, SimulatedUnit::makePreset (rig.unit (0).getProfile().caps, 6, 0, "Blank"));

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 6 })), Info::commandDone);
    EXPECT_EQ (rig.log.count (Info::presetReadTryFailed), 0);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (6)->getName(), "Blank");
}

TEST (DeviceRead, PresetsOfMoreThan128PacketsArrive)
{
    auto profile = SimulatedUnit::sampleProfile (0x12);
    profile.caps.maxPresetSteps = 80;
    profile.caps.presetStepPacketSize = 8;
    profile.filledPresets = 1;
    profile.stepsPerPreset = 75;   // 150 packets: the 7-bit index wraps

    DeviceRig rig ({ profile });
    rig.addUnit (profile);
    ASSERT_TRUE (rig.connect (0));

    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 1 })), Info::commandDone);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (1)->getNumMidiMessages(), 150);
    EXPECT_TRUE (rig.manager->getActiveDeviceData()->getPreset (1)->isComplete());
}

TEST (DeviceRead, RetriedSetupReadHoldsNoDuplicates)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .badSetupChecksum = true, .readFaultRepeats = 1 });

    EXPECT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandDone);
    EXPECT_EQ (rig.log.count (Info::setupReadTryFailed), 1);

    const auto& setup = rig.manager->getActiveDeviceData()->getSetup();
    EXPECT_EQ (setup.getNumMidiMessages(), 2);
    EXPECT_TRUE (setup.isComplete());
}

TEST (DeviceRead, SkippedSetupPacketFailsAfterTenTries)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .skipSetupPacket = true });

    EXPECT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::setupReadTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
}

TEST (DeviceWrite, GivenPresetsReachTheUnit)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    const auto data = dataWith (rig.unit (0).getProfile(), { 3, 7 }, 2);

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, data, { 3, 5, 7 })), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::presetWritten, Info::presetWritten, Info::commandDone }));
    EXPECT_EQ (rig.log.notes()[1].text, "Sent 7");
    EXPECT_EQ (rig.unit (0).getPreset (7)->getMD5String(), data->getPreset (7)->getMD5String());
    EXPECT_EQ (rig.unit (0).getPreset (5)->getName(), "Preset 5");   // empty slot skipped
}

TEST (DeviceWrite, OutOfMemoryEndsTheWriteAtOnce)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .writeStatusForSlot = { { 3, 3 } } });

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 3, 4 }), { 3, 4 })), Info::commandFailed);
    EXPECT_EQ (codesWithout (rig.log, {}), juce::Array<int> ({ Info::presetWriteTryFailed, Info::commandFailed }));
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::noMemory);
    EXPECT_EQ (rig.unit (0).getPreset (4)->getName(), "Preset 4");
}

TEST (DeviceWrite, RejectedPresetIsTriedTenTimes)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .writeStatusForSlot = { { 2, 6 } } });

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 2 }), { 2 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetWriteTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::rejected);
}

TEST (DeviceWrite, InternalErrorStatusIsNeverASuccess)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .writeStatusForSlot = { { 2, 0 } } });

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 2 }), { 2 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetWriteTryFailed), 1);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::internal);
}

TEST (DeviceWrite, AWriteTheUnitNeverAcknowledgesIsNoSuccess)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .endInsteadOfWriteStatus = true });

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 2 }), { 2 })), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::presetWriteTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
}

TEST (DeviceWrite, BankSwapWaitsThenSucceeds)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .writeStatusForSlot = { { 2, 8 } } });

    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 2 }), { 2 })), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::bankSwapWait, Info::presetWritten, Info::commandDone }));
}

TEST (DeviceWrite, SetupAndEverythingOfAGivenDataSet)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    ASSERT_EQ (rig.run (Cmd (Cmd::readSetup)), Info::commandDone);

    auto data = std::const_pointer_cast<DeviceData> (dataWith (rig.unit (0).getProfile(), { 4 }));
    data->setSetup (rig.manager->getActiveDeviceData()->getSetup(), true);

    EXPECT_EQ (rig.run (Cmd (Cmd::writeAllOfData, data, {})), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::presetWritten, Info::setupPacketSent, Info::setupPacketSent, Info::commandDone }));
    EXPECT_EQ (rig.log.notes()[2].value1, 2);
    EXPECT_EQ (rig.log.notes()[2].value2, 2);

    // A data set holding only a setup still writes it.
    auto setupOnly = std::make_shared<DeviceData> (rig.unit (0).getProfile().portName, rig.unit (0).getProfile().version,
                                                   rig.unit (0).getProfile().caps, nullptr);
    setupOnly->setSetup (rig.manager->getActiveDeviceData()->getSetup(), true);
    rig.unit (0).clearLog();
    EXPECT_EQ (rig.run (Cmd (Cmd::writeAllOfData, setupOnly, {})), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::setupPacketSent, Info::setupPacketSent, Info::commandDone }));
    EXPECT_EQ (rig.unit (0).countReceived (SysEx::cmdSetupData), 2);

    rig.unit (0).setFaults ({ .setupWriteStatus = 4 });
    EXPECT_EQ (rig.run (Cmd (Cmd::writeGivenSetup, data, {})), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::setupWriteTryFailed), 10);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::internal);
}

TEST (DeviceDelete, SendsEachRequestWithoutAwaitingReplies)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    EXPECT_EQ (rig.run (Cmd (Cmd::deletePresets, { 2, 3, 9 })), Info::commandDone);
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ Info::presetDeleteSent, Info::presetDeleteSent, Info::presetDeleteSent, Info::commandDone }));
    EXPECT_EQ (rig.log.notes()[2].value1, 9);
    EXPECT_EQ (rig.unit (0).getPreset (9), nullptr);
    EXPECT_NE (rig.unit (0).getPreset (8), nullptr);
}

TEST (DeviceCommands, NoOpCommandsEndTheirTransaction)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    for (auto command : { (int) Cmd::nothing1, (int) Cmd::nothing2, (int) Cmd::writeGivenPresets, (int) Cmd::sendFirmware, 0x100777 })
    {
        // The manager drops unknown commands, so that one goes to the unit's queue directly.
        rig.log.clear();
        rig.device()->getQueue().post (Cmd (command));
        EXPECT_EQ (rig.log.waitForCompletion(), Info::commandDone);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.device()->isIdle(); }, 5000));
        EXPECT_EQ (rig.device()->getQueue().getState(), CommandQueue::State::idle);
    }

    // The unit is idle again, so the connection check can run. The manager runs
    // checks one after the other: once the second has reached the unit, the
    // first one's verdict has been posted.
    rig.log.clear();
    rig.manager->handleMessage (Cmd (Cmd::checkConnection));
    rig.manager->handleMessage (Cmd (Cmd::checkConnection));
    ASSERT_TRUE (rig.log.waitFor (Info::commandDone, 2));
    EXPECT_EQ (rig.log.count (Info::activeDeviceLost), 0);

    // The queue turns idle just after its last verdict is posted.
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.manager->getQueueState() == CommandQueue::State::idle; }, 5000));
}

TEST (DeviceCommands, AbortOrQuitDuringAReadResumesTheUnit)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    auto& unit = rig.unit (0);

    // The unit's thread is held in the request for preset 3 while the abort comes.
    rig.log.clear();
    unit.stallAtPresetRequest (3);
    rig.manager->handleMessage (Cmd (Cmd::readAll));
    ASSERT_TRUE (unit.waitForStalledSender (30000));
    rig.manager->abortActiveDeviceOperation();
    unit.resumeReceiving();

    EXPECT_EQ (rig.log.waitForCompletion(), Info::commandAborted);
    EXPECT_EQ (rig.log.count (Info::presetRead), 2);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! unit.isSuspended(); }, 5000));

    // A quit stops the unit's thread in the middle of the next read: its effects go on all the same.
    rig.log.clear();
    unit.stallAtPresetRequest (3);
    rig.manager->handleMessage (Cmd (Cmd::readAll));
    ASSERT_TRUE (unit.waitForStalledSender (30000));
    EXPECT_TRUE (unit.isSuspended());

    // The quit waits for that thread, so the unit takes the request once the quit has begun.
    auto device = rig.device();
    std::thread letGo ([&]
    {
        while (! device->threadShouldExit())
            juce::Thread::yield();

        unit.resumeReceiving();
    });

    rig.manager.reset();
    letGo.join();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! unit.isSuspended(); }, 5000));
}

TEST (DeviceCommands, AbortedTryIsReportedBeforeTheAbort)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .silent = true });
    platform::Clock::setScale (1.0);   // the abort must land within the first try's wait

    auto abortOnce = [&] (const Cmd& command, int awaitedRequest)
    {
        rig.log.clear();
        rig.unit (0).clearLog();
        rig.manager->handleMessage (command);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.unit (0).countReceived (awaitedRequest) > 0; }, 5000));
        rig.manager->abortActiveDeviceOperation();
        EXPECT_EQ (rig.log.waitForCompletion(), Info::commandAborted);
        rig.manager->resetActiveDeviceQueue();
        return rig.log.codes();
    };

    EXPECT_EQ (abortOnce (Cmd (Cmd::readPresets, { 4 }), SysEx::cmdPresetRequest),
               juce::Array<int> ({ Info::presetReadTryFailed, Info::commandAborted }));
    EXPECT_EQ (abortOnce (Cmd (Cmd::writeGivenPresets, dataWith (rig.unit (0).getProfile(), { 2 }), { 2 }), SysEx::cmdPresetHeader),
               juce::Array<int> ({ Info::presetWriteTryFailed, Info::commandAborted }));
    EXPECT_EQ (abortOnce (Cmd (Cmd::readSetup), SysEx::cmdSetupRequest),
               juce::Array<int> ({ Info::setupReadTryFailed, Info::commandAborted }));
}

TEST (DeviceFirmware, RejectedPacketsAreSentAgainThenTheUnitReboots)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .firmwareStatusForPacket = { { 2, 0 } }, .firmwareStatusRepeats = 3, .replyDelayMs = 100 });
    rig.unit (0).setUpdateOutcome ({ .version = FirmwareVersion (0, 1, 5, 0, 150) });

    juce::Array<juce::MidiMessage> image;
    ASSERT_TRUE (SysEx::readFile (juce::File (BELVORA_TEST_DATA_DIR "/devices/firmware.syx"), image));
    auto list = std::make_unique<Cmd::MidiList>();

    for (auto& m : image)
        list->add (new juce::MidiMessage (m));

    const auto repliesBefore = rig.unit (0).getNumSent();
    EXPECT_EQ (rig.run (Cmd (std::move (list), {})), Info::commandDone);

    // Every attempt waited for its own status: all were answered before the end.
    EXPECT_EQ (rig.unit (0).getNumSent() - repliesBefore, image.size() - 1 + 3);
    EXPECT_EQ (rig.log.count (Info::firmwarePacketSent), image.size() - 1);
    EXPECT_EQ (rig.log.count (Info::firmwarePacketResent), 3);
    EXPECT_EQ (rig.log.notes()[0].value1, 2);
    EXPECT_EQ (rig.log.notes()[0].value2, image.size());

    // The unit's ports go away and return with the new build.
    EXPECT_TRUE (rig.log.waitFor (Info::activeDeviceLost));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.unit (0).isPluggedIn(); }, 10000));
    ASSERT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getDeviceVersion (0).build, 150);
}

TEST (DeviceFirmware, RefusedPacketsFailTheUpdate)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);

    auto image = []
    {
        auto list = std::make_unique<Cmd::MidiList>();
        const uint8_t start[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 };
        const uint8_t packet[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x52, 0x00, 0x11, 0x22, 0xF7 };
        list->add (new juce::MidiMessage (start, (int) sizeof (start)));
        list->add (new juce::MidiMessage (packet, (int) sizeof (packet)));
        return Cmd (std::move (list), {});
    };

    auto send = [&] (SimulatedUnit::Faults faults)
    {
        rig.manager->resetActiveDeviceQueue();
        rig.unit (0).setFaults (faults);
        return rig.run (image());
    };

    EXPECT_EQ (send ({ .firmwareStatusForPacket = { { 1, 2 } } }), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::firmwarePacketResent), 0);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::internal);

    EXPECT_EQ (send ({ .firmwareStatusForPacket = { { 1, 0 } } }), Info::commandFailed);
    EXPECT_EQ (rig.log.count (Info::firmwarePacketResent), 19);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::internal);

    // A transfer end where the packet's status belongs acknowledges nothing.
    platform::Clock::setScale (1.0);   // it must land within the packet's wait
    rig.manager->resetActiveDeviceQueue();
    rig.unit (0).setFaults ({ .silent = true, .firmwareStatusForPacket = { { 1, 0 } } });
    rig.unit (0).clearLog();
    rig.log.clear();
    rig.manager->handleMessage (image());
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rig.unit (0).countReceived (SysEx::cmdFirmwareEnd) > 0; }, 5000));
    const uint8_t end[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x12, SysEx::cmdTransferEnd, 0x00, 0xF7 };
    ASSERT_TRUE (rig.unit (0).sendUnasked (juce::MidiMessage (end, (int) sizeof (end))));
    EXPECT_EQ (rig.log.waitForCompletion(), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::unexpectedData);
}

TEST (DeviceConnection, PortsRemovedMidTransferEndInConnectionLost)
{
    Connected rig;
    ASSERT_TRUE (rig.connected);
    rig.unit (0).setFaults ({ .removePortsAfterMessages = 12 });

    rig.log.clear();
    rig.manager->handleMessage (Cmd (Cmd::readAll));
    EXPECT_EQ (rig.log.waitForCompletion(), Info::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::connectionLost);
    EXPECT_EQ (DeviceManager::getErrorText ((int) rig.device()->getErrorCode(), "Vesper").fromLastOccurrenceOf ("\n", false, false), "Code: 10485764");

    // The manager notices the lost unit, and the next scan finds no unit.
    EXPECT_TRUE (rig.log.waitFor (Info::activeDeviceLost));
    EXPECT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getNumDevices(), 0);
}

TEST (DeviceConnection, FailedCheckOfAUnitWithoutCapabilitiesIsShown)
{
    DeviceRig rig ({ SimulatedUnit::sampleProfile (0x1A) });
    auto profile = SimulatedUnit::sampleProfile (0x12);
    profile.portName = "Mystery Box";
    rig.addUnit (profile);
    ASSERT_TRUE (rig.connect (0));

    struct Counter : juce::ChangeListener
    {
        int changes = 0;
        void changeListenerCallback (juce::ChangeBroadcaster*) override { ++changes; }
    } counter;

    rig.device()->addChangeListener (&counter);
    ASSERT_TRUE (TestEnvironment::drainMessages());   // the changes of the connection itself
    counter.changes = 0;

    rig.log.clear();
    rig.manager->handleMessage (Cmd (Cmd::checkConnection));
    EXPECT_TRUE (rig.log.waitFor (Info::activeDeviceLost));
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::connectionLost);
    EXPECT_GT (counter.changes, 0);
    rig.device()->removeChangeListener (&counter);
}
