#include "support/DeviceTestRig.h"

#include "model/DeviceData.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace
{
    uint32_t flagsOf (DeviceRig& rig, int index = 0)
    {
        return static_cast<uint32_t> (rig.manager->getDeviceFlags (index));
    }

    juce::MidiMessage sysex (std::initializer_list<uint8_t> bytes)
    {
        const std::vector<uint8_t> v (bytes);
        return juce::MidiMessage (v.data(), static_cast<int> (v.size()));
    }
}

TEST (DeviceIdentification, KnownUnitAnsweringTheGenericRequest)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.scan());

    auto device = rig.device (0);
    EXPECT_EQ (device->getProductId(), 0x12);
    EXPECT_EQ (device->getSerial(), 10000001);
    EXPECT_EQ (device->getVersion().build, 140);
    EXPECT_EQ (device->getManufactureDate(), (ManufactureDate { 2024, 3, 15 }));
    EXPECT_EQ (flagsOf (rig), DeviceFlags::identified | DeviceFlags::namesProduct);
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig)), "Ready");
    EXPECT_TRUE (device->isUsable());
    EXPECT_EQ (device->getData()->getCapsBlock().numPresets, 30);
    EXPECT_EQ (rig.unit (0).countReceived (SysEx::cmdIdentity), 3);   // identity, serial, date

    const auto entry = device->createDeviceListEntry();
    EXPECT_EQ (entry->getStringAttribute ("name"), "Vesper");
    EXPECT_EQ (entry->getIntAttribute ("id"), 0x12);
    EXPECT_EQ (entry->getStringAttribute ("serial"), "10000001");
    EXPECT_EQ (entry->getStringAttribute ("manufacture"), "2024.03.15");
    EXPECT_EQ (entry->getStringAttribute ("version"), "0.1.4.0.140.0");
}

TEST (DeviceIdentification, ProductsThatIgnoreTheGenericRequestAreAskedByName)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x1A));
    ASSERT_TRUE (rig.scan());

    EXPECT_EQ (rig.device (0)->getSerial(), 30000001);
    EXPECT_TRUE (rig.device (0)->isUsable());

    // The product that answers the generic request was not asked by its own.
    for (auto& m : rig.unit (0).getLog())
        EXPECT_NE (m.getRawData()[5], 0x12);
}

TEST (DeviceIdentification, UnknownProductIsFlagged)
{
    DeviceRig rig ({ SimulatedUnit::sampleProfile (0x1A) });
    auto profile = SimulatedUnit::sampleProfile (0x12);
    profile.portName = "Mystery Box";
    rig.addUnit (profile);
    ASSERT_TRUE (rig.scan());

    EXPECT_EQ (flagsOf (rig) & DeviceFlags::unknownProduct, DeviceFlags::unknownProduct);
    EXPECT_EQ (flagsOf (rig) & DeviceFlags::identified, 0u);
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig)), "Unknown MWD Device");
    EXPECT_FALSE (rig.device (0)->isUsable());
}

TEST (DeviceIdentification, SilentPortsAreNotUnits)
{
    DeviceRig rig;
    auto profile = SimulatedUnit::sampleProfile (0x12);
    profile.portName = "Mixer";
    rig.addUnit (profile).setFaults ({ .silent = true });
    rig.addUnit (SimulatedUnit::sampleProfile (0x1A)).setFaults ({ .silent = true });
    ASSERT_TRUE (rig.scan());

    EXPECT_EQ (flagsOf (rig, 0), DeviceFlags::noAnswer);
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig, 0)), "Not a MWD Device");
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig, 1)), "Unknown State");
    EXPECT_EQ (rig.manager->getNumIdentifiedDevices(), 0);
}

TEST (DeviceIdentification, InputWithoutOutput)
{
    DeviceRig rig;
    rig.backend->addInput ("Mixer");
    ASSERT_TRUE (rig.scan());

    EXPECT_EQ (rig.manager->getDeviceEntryName (0), "Unknown Device");
    EXPECT_EQ (flagsOf (rig) & DeviceFlags::noPort, DeviceFlags::noPort);
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig)), "No MIDI Output");
    EXPECT_FALSE (rig.manager->setActiveDevice (0));
}

TEST (DeviceIdentification, BusyPortIsUnavailable)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    struct Sink : juce::MidiInputCallback { void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage&) override {} } sink;
    auto held = rig.backend->openInput (0, &sink);
    ASSERT_NE (held, nullptr);

    ASSERT_TRUE (rig.scan());
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig)), "Busy / Unavailable");
}

TEST (DeviceIdentification, MissingDateReplyLeavesTheScanFailed)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12)).setFaults ({ .removePortsAfterMessages = 3 });
    rig.scan();

    EXPECT_EQ (flagsOf (rig) & DeviceFlags::readingInfo, DeviceFlags::readingInfo);
    EXPECT_EQ (DeviceFlags::getStateText (flagsOf (rig)), "Scan Failed");
}

TEST (DeviceIdentification, LateGenericAnswerDuringTheProductLoopIsDropped)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12)).setFaults ({ .lateGenericAnswerMs = 700 });
    rig.scan();

    // The late answer must not poison the unit's input with an error.
    EXPECT_EQ (rig.device (0)->getErrorCode(), DeviceError::none);

    rig.unit (0).setFaults ({});
    ASSERT_TRUE (rig.scan());
    EXPECT_TRUE (rig.device (0)->isUsable());
}

TEST (DeviceInput, OnlyThisMakersSysExIsKept)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.connect (0));
    auto device = rig.device();

    const auto before = device->getBytesReceived();
    EXPECT_TRUE (rig.unit (0).sendUnasked (sysex ({ 0xF0, 0x00, 0x20, 0x33, 0x00, 0x12, 0x34, 0x01, 0xF7 })));
    EXPECT_TRUE (rig.unit (0).sendUnasked (sysex ({ 0xF0, 0x00, 0x01, 0x38, 0xF7 })));
    EXPECT_TRUE (rig.unit (0).sendUnasked (juce::MidiMessage::noteOn (1, 60, (uint8_t) 100)));
    EXPECT_EQ (device->getBytesReceived() - before, 9 + 5 + 3);

    // None of them reached the reply dispatch: a transaction still runs cleanly.
    EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 1 })), DeviceInfoMessage::commandDone);
}

TEST (DeviceInput, ForeignMessagesAmongRepliesAreIgnored)
{
    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (0x12)).setFaults ({ .foreignMessages = true });
    ASSERT_TRUE (rig.connect (0));
    EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 1, 2 })), DeviceInfoMessage::commandDone);
    EXPECT_EQ (rig.log.count (DeviceInfoMessage::presetRead), 2);
}
