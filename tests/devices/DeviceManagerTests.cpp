#include "support/DeviceTestRig.h"

#include "devices/SimulatedUnitSet.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
    struct Pair { juce::String name, input, output; int outputIndex; };

    std::vector<Pair> pair (const juce::StringArray& inputs, const juce::StringArray& outputs)
    {
        std::vector<Pair> result;

        for (auto& e : DeviceManager::pairPorts (inputs, outputs))
            result.push_back ({ e.name, e.inputName, e.outputName, e.outputIndex });

        return result;
    }
}

TEST (DevicePairing, DuplicateNamesAreNumberedAndPairOneToOne)
{
    const auto p = pair ({ "Unit", "Unit" }, { "Unit", "Unit" });
    ASSERT_EQ (p.size(), 2u);
    EXPECT_EQ (p[0].name, "Unit (1)");
    EXPECT_EQ (p[1].name, "Unit (2)");
    EXPECT_EQ (p[0].outputIndex, 0);
    EXPECT_EQ (p[1].outputIndex, 1);
    EXPECT_EQ (p[1].output, "Unit (2)");

    // Numbering ignores case; pairing does not.
    const auto mixed = pair ({ "Unit", "unit" }, { "Unit", "Unit" });
    EXPECT_EQ (mixed[0].name, "Unit (1)");
    EXPECT_EQ (mixed[1].input, "unit (2)");
    EXPECT_EQ (mixed[1].name, "Unknown Device");
}

TEST (DevicePairing, StemsOfInputNames)
{
    EXPECT_EQ (pair ({ "Vocal Unit In" }, { "Vocal Unit Out" })[0].outputIndex, 0);
    EXPECT_EQ (pair ({ "Vocal Unit Input 2" }, { "Other", "Vocal Unit Output 2" })[0].outputIndex, 1);
    EXPECT_EQ (pair ({ "Vocal Unit" }, { "Vocal Unit A", "Vocal Unit B" })[0].output, "Vocal Unit A");
    EXPECT_EQ (pair ({ "Vocal Unit" }, { "My Vocal Unit" })[0].outputIndex, -1);
    EXPECT_EQ (pair ({ "Mainframe" }, { "Mainframe Out" })[0].outputIndex, 0);   // "in" only as a whole word

    const auto unpaired = pair ({ "Mixer" }, { "Synth" })[0];
    EXPECT_EQ (unpaired.name, "Unknown Device");
    EXPECT_EQ (unpaired.input, "Mixer");
    EXPECT_EQ (unpaired.output, "Not found");
    EXPECT_EQ (unpaired.outputIndex, -1);
}

TEST (DevicePairing, SharedOutputStaysOnlyWithItsNamesake)
{
    auto p = pair ({ "Vocal Unit In", "Vocal Unit Input" }, { "Vocal Unit Out" });
    EXPECT_EQ (p[0].outputIndex, -1);
    EXPECT_EQ (p[1].outputIndex, -1);
    EXPECT_EQ (p[0].output, "Vocal Unit Out");

    p = pair ({ "Vocal Unit", "Vocal Unit In" }, { "Vocal Unit" });
    EXPECT_EQ (p[0].outputIndex, 0);
    EXPECT_EQ (p[1].outputIndex, -1);
}

TEST (DeviceErrorTexts, CarryTheNameAndTheDecimalCode)
{
    EXPECT_EQ (DeviceManager::getErrorText (0, "Vesper"), "");
    EXPECT_EQ (DeviceManager::getErrorText (0xA0000B, "Vesper"),
               "The current operation between between Belvora and Vesper has timed out. Please restart Belvora as well as Vesper, "
               "and try again. If the error persists, please contact Marrowell support.\nCode: 10485771");
    EXPECT_EQ (DeviceManager::getErrorText (0xA00004, "Vesper"),
               "Belvora's connection to Vesper has been lost. Please restart Vesper and try again. If the error persists, "
               "please contact Marrowell support.\nCode: 10485764");
    EXPECT_EQ (DeviceManager::getErrorText (0xA00008, "Vesper"),
               "There is insufficient memory available onVesper to store all presets.\nCode: 10485768");
    EXPECT_EQ (DeviceManager::getErrorText (0xA00009, "Vesper"),
               "Belvora has encountered an unspecified error. Please restart Belvora\nCode: 10485769");
    EXPECT_TRUE (DeviceManager::getErrorText (0xA00003, "Vesper").startsWith ("Belvora has received unexpected data from Vesper. Please restart Belvora and try again."));
    EXPECT_TRUE (DeviceManager::getErrorText (0xA00100, "Vesper").endsWith ("as well as Vesper, and try again.\nCode: 10486016"));
}

TEST (SimulatedUnitSetting, CountsAndProductLists)
{
    EXPECT_EQ (SimulatedUnitSet::parseSetting ("3"), juce::Array<int> ({ 0x12, 0x1A, 0x12 }));
    EXPECT_EQ (SimulatedUnitSet::parseSetting ("0x1A, 18"), juce::Array<int> ({ 0x1A, 0x12 }));
    EXPECT_TRUE (SimulatedUnitSet::parseSetting ("").isEmpty());
    EXPECT_TRUE (SimulatedUnitSet::parseSetting ("0, -4, 0x7F").isEmpty());
    EXPECT_EQ (SimulatedUnitSet::parseSetting ("1000").size(), 16);
}

TEST (DeviceScan, NoPortsFinishesAtOnceWithSuccess)
{
    DeviceRig rig;
    EXPECT_TRUE (rig.scan());
    EXPECT_EQ (rig.log.codes(), juce::Array<int> ({ DeviceInfoMessage::devicesMade, DeviceInfoMessage::scanFinished }));
    EXPECT_EQ (rig.manager->getNumDevices(), 0);
    EXPECT_TRUE (rig.manager->isScanComplete());
    EXPECT_FALSE (rig.manager->isRescanNeeded());
}

TEST (DeviceScan, TwoUnitsOfOneProductGetNumberedEntries)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12, 1));
    rig.addUnit (SimulatedUnit::sampleProfile (0x12, 2));
    ASSERT_TRUE (rig.scan());

    juce::StringArray names, inputs, outputs;
    juce::Array<int> flags, serials;
    juce::Array<FirmwareVersion> versions;
    rig.manager->getDeviceTable (names, inputs, outputs, flags, serials, versions);

    EXPECT_EQ (names, juce::StringArray ({ "Vesper (1)", "Vesper (2)" }));
    EXPECT_EQ (serials, juce::Array<int> ({ 10000001, 10000002 }));
    EXPECT_EQ (rig.manager->getNumIdentifiedDevices(), 2);
    EXPECT_EQ (rig.manager->indexOfDeviceWithSerial (10000002), 1);
    EXPECT_EQ (rig.manager->findDevice (0x12, 0), 1);
    EXPECT_TRUE (rig.manager->isDeviceConnected (0x12, 10000001));
    EXPECT_FALSE (rig.manager->isDeviceConnected (0x1A, 10000001));

    juce::StringArray connected;
    EXPECT_EQ (rig.manager->getConnectedDeviceNames (connected), 2);
}

TEST (DeviceScan, UnitsOfTwoProductsMayShareASerial)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    auto other = SimulatedUnit::sampleProfile (0x1A);
    other.serial = 10000001;
    rig.addUnit (other);
    ASSERT_TRUE (rig.scan());

    EXPECT_TRUE (rig.manager->isDeviceConnected (0x12, 10000001));
    EXPECT_TRUE (rig.manager->isDeviceConnected (0x1A, 10000001));
    EXPECT_FALSE (rig.manager->isDeviceConnected (0x1A, 10000002));
}

// The download thread is busy with other work (another product's long
// transfer) while a product fetched already this run is scanned again.
TEST (DeviceScan, UnitOfAProductFetchedThisRunDoesNotWaitOnTheDownloadThread)
{
    struct BusyDownloads : TestCatalogue
    {
        using TestCatalogue::TestCatalogue;
        bool isOnline() const override { return true; }
        bool isDownloadQueued (int) const override { ++asked; return true; }
        bool hasQueuedDownloads() const override { return true; }
        mutable std::atomic<int> asked { 0 };
    };

    DeviceRig rig;
    auto busy = std::make_shared<BusyDownloads> (DeviceRig::defaultProducts());
    rig.products = busy;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));

    for (int scan = 0; scan < 2; ++scan)
    {
        ASSERT_TRUE (rig.scan());
        EXPECT_EQ (rig.manager->getNumIdentifiedDevices(), 1);
    }

    EXPECT_EQ (busy->asked.load(), 0) << "the unit waited for a download its product does not need";
}

TEST (DeviceManagerActive, QueriesFollowTheActiveUnit)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x1A));
    EXPECT_EQ (rig.start().getDeviceSerial (-1), -1);
    EXPECT_EQ (rig.manager->getDeviceProductId (-1), 255);
    EXPECT_FALSE (rig.manager->setActiveDevice (0));   // before any scan

    ASSERT_TRUE (rig.connect (0));
    EXPECT_EQ (rig.manager->getActiveIndex(), 0);
    EXPECT_EQ (rig.manager->getDeviceSerial (-1), 30000001);
    EXPECT_EQ (rig.manager->getDeviceVersion (-1).build, 250);
    EXPECT_NE (rig.manager->getActiveDeviceData(), nullptr);
    EXPECT_EQ (rig.manager->getActiveDeviceCaps()->caps.numPresets, 50);
    EXPECT_TRUE (rig.manager->getActiveDeviceDataFolder().endsWith ("30000001"));
    EXPECT_TRUE (rig.manager->isDeviceUsable (0));
    EXPECT_FALSE (rig.manager->isDeviceUsable (-1));
    EXPECT_EQ (DeviceFlags::getStateText ((uint32_t) rig.manager->getDeviceFlags (0)), "Connected");

    rig.manager->releaseActiveDevice();
    EXPECT_EQ (rig.manager->getActiveIndex(), -1);
    EXPECT_EQ (DeviceFlags::getStateText ((uint32_t) rig.manager->getDeviceFlags (0)), "Ready");
}

TEST (DeviceManagerActive, CommandsWithoutAnActiveUnitAreDropped)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.scan());
    rig.log.clear();

    // The manager takes commands in order: once a later scan has finished, the read was handled.
    rig.manager->handleMessage (DeviceCommandMessage (DeviceCommandMessage::readAll));
    ASSERT_TRUE (rig.scan());

    for (auto code : { DeviceInfoMessage::commandDone, DeviceInfoMessage::commandAborted, DeviceInfoMessage::commandFailed })
        EXPECT_EQ (rig.log.count (code), 0);

    EXPECT_EQ (rig.unit (0).countReceived (SysEx::cmdPresetRequest), 0);
}

TEST (DeviceManagerActive, CallsOfTheInterfaceNeverWaitForAStuckUnit)
{
    using Cmd = DeviceCommandMessage;

    DeviceRig rig;
    auto& unit = rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    rig.log.clear();

    // The unit takes nothing in: its thread is held inside the send of the first request.
    unit.stallReceiving();
    rig.manager->handleMessage (Cmd (Cmd::readPresets, { 4 }));
    ASSERT_TRUE (unit.waitForStalledSender (20000));

    juce::WaitableEvent returned;

    std::thread caller ([&]
    {
        auto& m = *rig.manager;
        m.getActiveDeviceData();
        m.getActiveDeviceCaps();
        m.getDevice (-1);
        m.getDeviceFlags (-1);
        m.getActiveDeviceDataFolder();
        m.handleMessage (Cmd (Cmd::readSetup));
        m.loadActiveDeviceSyncFile();
        m.abortActiveDeviceOperation();
        m.releaseActiveDevice();
        m.setActiveDevice (0);
        returned.signal();
    });

    EXPECT_TRUE (returned.wait (20000)) << "a call waited for the unit";
    EXPECT_TRUE (unit.waitForStalledSender (0)) << "the unit was stuck all along";

    unit.resumeReceiving();
    caller.join();

    // The stuck read ends as aborted; the unit stays the active one and runs what comes
    // next. (The read posted meanwhile may have met no active unit and been dropped.)
    EXPECT_EQ (rig.log.waitForCompletion(), DeviceInfoMessage::commandAborted);
    EXPECT_EQ (rig.manager->getActiveIndex(), 0);

    rig.manager->handleMessage (Cmd (Cmd::readSetup));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        const auto notes = rig.log.notes();
        return std::any_of (notes.begin(), notes.end(), [] (const auto& n)
        {
            return n.code == DeviceInfoMessage::commandDone && n.command == Cmd::readSetup;
        });
    }, 30000));
    EXPECT_EQ (DeviceFlags::getStateText ((uint32_t) rig.manager->getDeviceFlags (0)), "Connected");
}

TEST (DeviceManagerActive, ReleasingABusyUnitEndsItsReadThenClosesItsPorts)
{
    DeviceRig rig;
    auto& unit = rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    rig.log.clear();

    // Released while the unit's thread is held in the request for preset 2.
    unit.stallAtPresetRequest (2);
    rig.manager->handleMessage (DeviceCommandMessage (DeviceCommandMessage::readAll));
    ASSERT_TRUE (unit.waitForStalledSender (30000));
    rig.manager->releaseActiveDevice();
    EXPECT_EQ (rig.manager->getActiveIndex(), -1);
    unit.resumeReceiving();

    EXPECT_EQ (rig.log.waitForCompletion(), DeviceInfoMessage::commandAborted);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return DeviceFlags::getStateText ((uint32_t) rig.manager->getDeviceFlags (0)) == "Ready"; }));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! unit.isSuspended(); }));
}

TEST (DevicePortWatch, AddedPortsAreReportedAndBlockActivationUntilTheNextScan)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    rig.log.clear();

    rig.addUnit (SimulatedUnit::sampleProfile (0x1A));
    ASSERT_TRUE (rig.log.waitFor (DeviceInfoMessage::portsChanged));
    EXPECT_EQ (rig.log.count (DeviceInfoMessage::activeDeviceLost), 0);
    EXPECT_TRUE (rig.manager->isRescanNeeded());
    EXPECT_FALSE (rig.manager->setActiveDevice (0));

    ASSERT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getNumDevices(), 2);
    EXPECT_TRUE (rig.manager->setActiveDevice (1));
}

TEST (DevicePortWatch, UnpluggedActiveUnitIsReportedLost)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    rig.log.clear();

    rig.unit (0).unplug();
    ASSERT_TRUE (rig.log.waitFor (DeviceInfoMessage::activeDeviceLost));
    EXPECT_EQ (rig.log.count (DeviceInfoMessage::portsChanged), 0);
}

TEST (DeviceManagerConcurrency, QueriesRunSafelyWhileScansRebuildTheList)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    rig.addUnit (SimulatedUnit::sampleProfile (0x1A));
    rig.start();

    std::atomic<bool> done { false };
    std::atomic<int> reads { 0 };

    std::thread reader ([&]
    {
        while (! done)
        {
            juce::StringArray names, inputs, outputs;
            juce::Array<int> flags, serials;
            juce::Array<FirmwareVersion> versions;
            rig.manager->getDeviceTable (names, inputs, outputs, flags, serials, versions);
            rig.manager->getNumIdentifiedDevices();
            rig.manager->getDeviceEntryName (1);
            int64_t sent, received;
            rig.manager->getMidiByteCounts (sent, received);
            ++reads;
        }
    });

    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE (rig.scan());

    done = true;
    reader.join();
    EXPECT_GT (reads.load(), 0);
    EXPECT_EQ (rig.manager->getNumIdentifiedDevices(), 2);
}
