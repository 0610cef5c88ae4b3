#pragma once

// Data for the dialogs' tests and gallery screens: a product of the sample
// content, its device data, SysEx files of it, its firmware list, a device table.

#include "content/FirmwareUpdateElement.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceFlags.h"
#include "devices/SimulatedUnit.h"
#include "gui/dialogs/MidiDevicesDialog.h"
#include "model/DeviceData.h"
#include "support/TestEnvironment.h"

namespace DialogFixtures
{
    constexpr int vesper = 0x12, quill = 0x1A;

    /** The capabilities of a sample product at its sample build. */
    inline DeviceCaps capsOf (int productId)
    {
        DeviceCaps caps;
        caps.caps = SimulatedUnit::sampleProfile (productId).caps;
        caps.isBuildValid = true;
        return caps;
    }

    /** Presets named "Preset <slot>" in the given slots, and a setup unless told not to. */
    inline std::unique_ptr<DeviceData> makeData (int productId, const juce::Array<int>& slots, bool withSetup = true)
    {
        const auto block = capsOf (productId).caps;
        auto data = std::make_unique<DeviceData> ("Vesper", SimulatedUnit::sampleProfile (productId).version, block, nullptr);

        for (auto slot : slots)
            data->setPreset (slot, SimulatedUnit::makePreset (block, slot, 2, "Preset " + juce::String (slot)));

        if (withSetup)
        {
            SetupData setup (block);
            setup.setSetupDataVersion (block.setupVersion);
            juce::Array<int> values;

            for (int i = 0; i < block.setupPacketSize * block.numSyxPackagesPerSetup / 4; ++i)
                values.add (i * 3);

            setup.setValues (values);
            data->setSetup (setup, false);
        }

        data->clearModified (false);
        return data;
    }

    /** A fresh empty folder below the private home. */
    inline juce::File freshFolder (const juce::String& name)
    {
        auto folder = TestEnvironment::getHome().getChildFile ("dialogs").getChildFile (name);
        folder.deleteRecursively();
        folder.createDirectory();
        return folder;
    }

    inline juce::File writeBytes (const juce::File& file, std::initializer_list<int> bytes)
    {
        juce::MemoryBlock block;

        for (auto b : bytes)
        {
            const auto byte = (uint8_t) b;
            block.append (&byte, 1);
        }

        file.replaceWithData (block.getData(), block.getSize());
        return file;
    }

    /** A file of presets (or of the setup, with no slots given) of that product. */
    inline juce::File writeSysExFile (const juce::File& file, int productId, const juce::Array<int>& slots)
    {
        auto data = makeData (productId, slots);

        if (slots.isEmpty())
            data->exportSetup (file);
        else
            data->exportPresets (file, slots);

        return file;
    }

    /** The installable updates of the sample Vesper firmware list, ascending build,
        their images the sample files themselves. */
    inline juce::Array<FirmwareUpdateElement> sampleUpdates()
    {
        const auto folder = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper");
        juce::Array<FirmwareUpdateElement> updates;

        if (auto list = juce::parseXML (folder.getChildFile ("firmware.xml")))
        {
            for (auto* item : list->getChildWithTagNameIterator ("firmwareUpdate"))
            {
                auto update = FirmwareUpdateElement::parse (folder.getFullPathName(), *item);
                update.file = folder.getChildFile ("firmware").getChildFile (update.link.fromLastOccurrenceOf ("/", false, false))
                                    .getFullPathName();

                if (update.isInstallable())
                    updates.add (update);
            }
        }

        FirmwareUpdateElement::sortByBuild (updates);
        return updates;
    }

    /** Port pairs in several states and two remembered units. */
    inline MidiDeviceTable sampleDeviceTable()
    {
        using Bit = DeviceFlags::Bit;
        MidiDeviceTable table;
        table.rows.push_back ({ "Vesper", "Vesper", "Vesper", Bit::identified | Bit::portsOpen | Bit::namesProduct, 10000001,
                                FirmwareVersion (0, 1, 4, 0, 140), false });
        table.rows.push_back ({ "Quill Duo", "Quill Duo", "Quill Duo", Bit::identified | Bit::namesProduct, 0,
                                FirmwareVersion (1, 2, 5, 0, 250), false });
        table.rows.push_back ({ "Vesper (2)", "Vesper (2)", "Vesper (2)", Bit::identifying | Bit::namesProduct, 0, {}, false });
        table.rows.push_back ({ "Synth In", "Synth In", "Synth Out", Bit::portFailure, 0, {}, false });
        table.rows.push_back ({ "Unknown Device", "Mixer", "Not found", Bit::noPort, 0, {}, false });
        table.rows.push_back ({ "Vesper Black", {}, {}, Bit::identified, 10000042, FirmwareVersion (0, 1, 2, 0, 120), true });
        table.rows.push_back ({ "Quill Duo", {}, {}, Bit::identified, 30000007, FirmwareVersion (0, 2, 1, 0, 210), true });
        return table;
    }
}
