#include "support/DeviceTestRig.h"

#include "model/DeviceData.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
    using Cmd = DeviceCommandMessage;
    using Info = DeviceInfoMessage;

    // Every query the user interface makes, with whatever it hands back read through.
    void readEverything (const DeviceManager& m)
    {
        if (auto data = m.getActiveDeviceData())
        {
            for (auto index : data->getUsedPresetIndices())
            {
                auto* preset = data->getPreset (index);
                preset->getMD5String();
                preset->getName();

                for (int i = 0; i < preset->getNumMidiMessages(); ++i)
                    preset->getMidiMessage (i)->getRawDataSize();
            }

            data->getSetup().getMD5String();
            data->getSetup().getValues();
            data->isModified();
        }

        if (auto caps = m.getActiveDeviceCaps())
            (void) caps->caps.numPresets;

        for (int index = -1; index < 2; ++index)
        {
            if (auto device = m.getDevice (index))
            {
                device->getName();
                device->getFlags();
                device->getSerial();
                device->getVersion();
                device->getManufactureDate();
                device->getErrorCode();
                device->isIdle();
                device->getData();
                device->getCaps();
                device->getDataFolder();
            }

            m.getDeviceFlags (index);
            m.getDeviceSerial (index);
            m.getDeviceVersion (index);
            m.getDeviceProductId (index);
            m.getDeviceEntryName (index);
            m.isDeviceUsable (index);
        }

        juce::StringArray names, inputs, outputs;
        juce::Array<int> flags, serials;
        juce::Array<FirmwareVersion> versions;
        m.getDeviceTable (names, inputs, outputs, flags, serials, versions);
        m.getConnectedDeviceNames (names);
        m.getNumIdentifiedDevices();
        m.findDevice (0x12, 0);
        m.indexOfDeviceWithSerial (10000001);
        m.isDeviceConnected (0x12, 10000001);
        m.getActiveDeviceDisplayName();
        m.getActiveDeviceDataFolder();
        m.getActiveIndex();
        m.isScanComplete();

        int64_t sent, received;
        m.getMidiByteCounts (sent, received);
    }

    // The held data still has exactly what `copy` recorded when it was taken.
    void expectSame (const DeviceData& held, const DeviceData& copy)
    {
        ASSERT_EQ (held.getNumSlots(), copy.getNumSlots());

        for (int slot = 0; slot < held.getNumSlots(); ++slot)
        {
            ASSERT_EQ (held.isPresetSlotUsed (slot), copy.isPresetSlotUsed (slot)) << slot;

            if (! held.isPresetSlotUsed (slot))
                continue;

            auto* a = held.getPreset (slot);
            auto* b = copy.getPreset (slot);
            EXPECT_EQ (a->getName(), b->getName());
            EXPECT_EQ (a->getMD5String(), b->getMD5String());
            ASSERT_EQ (a->getNumMidiMessages(), b->getNumMidiMessages());

            for (int i = 0; i < a->getNumMidiMessages(); ++i)
                EXPECT_EQ (juce::MemoryBlock (a->getMidiMessage (i)->getRawData(), (size_t) a->getMidiMessage (i)->getRawDataSize()),
                           juce::MemoryBlock (b->getMidiMessage (i)->getRawData(), (size_t) b->getMidiMessage (i)->getRawDataSize()));
        }

        EXPECT_EQ (held.getSetup().getValues(), copy.getSetup().getValues());
        EXPECT_EQ (held.isModified(), copy.isModified());
    }
}

TEST (DeviceSnapshots, EveryQueryIsSafeWhileAUnitDownloadsWritesAndIsRescannedAway)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));

    std::atomic<bool> done { false };
    std::atomic<int> rounds { 0 };

    std::thread reader ([&]
    {
        while (! done)
        {
            readEverything (*rig.manager);
            ++rounds;
        }
    });

    EXPECT_EQ (rig.run (Cmd (Cmd::readAll)), Info::commandDone);
    EXPECT_EQ (rig.run (Cmd (Cmd::writeAllOfData, rig.manager->getActiveDeviceData(), {})), Info::commandDone);
    EXPECT_EQ (rig.run (Cmd (Cmd::readPresets, { 1, 2, 3 })), Info::commandDone);

    rig.unit (0).unplug();
    EXPECT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getNumDevices(), 0);

    done = true;
    reader.join();
    EXPECT_GT (rounds.load(), 0);
}

TEST (DeviceSnapshots, AHeldSnapshotOutlivesNewDownloadsAndRescans)
{
    DeviceRig rig;
    auto& unit = rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    ASSERT_EQ (rig.run (Cmd (Cmd::readAll)), Info::commandDone);

    const auto held = rig.manager->getActiveDeviceData();
    const auto heldCaps = rig.manager->getActiveDeviceCaps();
    const auto heldDevice = rig.manager->getDevice (-1);
    const auto copy = held->clone (false);
    ASSERT_TRUE (held->isPresetSlotUsed (4));

    // The unit's presets change and are downloaded again: a new snapshot, the old one as it was.
    unit.setPreset (3, SimulatedUnit::makePreset (unit.getProfile().caps, 3, 1, "Changed"));
    unit.setPreset (4, nullptr);
    ASSERT_EQ (rig.run (Cmd (Cmd::readAll)), Info::commandDone);

    const auto fresh = rig.manager->getActiveDeviceData();
    EXPECT_NE (fresh, held);
    EXPECT_EQ (fresh->getPreset (3)->getName(), "Changed");
    EXPECT_FALSE (fresh->isPresetSlotUsed (4));
    expectSame (*held, *copy);

    // Rescanned away: the unit is gone from the list, what was held is not.
    unit.unplug();
    ASSERT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getDevice (0), nullptr);
    expectSame (*held, *copy);
    EXPECT_EQ (heldCaps->caps.numPresets, 30);
    EXPECT_EQ (heldDevice->getSerial(), 10000001);
    EXPECT_FALSE (heldDevice->isThreadRunning());
}
