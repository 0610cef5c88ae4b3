#pragma once

#include "model/DeviceData.h"

/** The data of a large unit shared by the benchmarks: 300 preset slots of four
    steps each (16 packets of 128 data bytes per preset) and a full setup. */
namespace LargeUnit
{
    constexpr int userSlots = 300;
    constexpr int stepsPerPreset = 4;

    inline CapsBlock caps (uint8_t productId = 0x21, int presetVersion = 3, int setupVersion = 5)
    {
        CapsBlock b;
        b.productId = productId;
        b.numSyxPackagesPerPresetStep = 4;
        b.presetStepPacketSize = 128;
        b.presetVersion = presetVersion;
        b.numSyxPackagesPerSetup = 16;
        b.setupPacketSize = 256;
        b.setupVersion = setupVersion;
        b.numPresets = userSlots + 1;
        b.presetNameLength = 15;
        b.maxPresetSteps = 8;
        return b;
    }

    inline juce::Array<int> valuesFor (int count, int seed)
    {
        juce::Array<int> values;

        for (int i = 0; i < count; ++i)
            values.add ((seed * 7919 + i * 104729) % 0x7FFFFFF - 0x3FFFFFF);

        return values;
    }

    /** Every user slot filled, the setup marked as changed. */
    inline std::unique_ptr<DeviceData> build (const CapsBlock& caps = LargeUnit::caps(), const juce::String& productName = "Bench Unit",
                                              const FirmwareVersion& firmware = FirmwareVersion (0, 2, 0, 3, 41, 7))
    {
        auto data = std::make_unique<DeviceData> (productName, firmware, caps, nullptr);
        const auto valuesPerStep = caps.presetStepPacketSize * caps.numSyxPackagesPerPresetStep / 4;

        for (int slot = 1; slot <= userSlots; ++slot)
        {
            auto* preset = data->createPreset (slot);
            PresetName header;
            header.number = slot;
            header.formatVersion = caps.presetVersion;
            header.nameLength = caps.presetNameLength;
            const auto name = "Preset " + juce::String (slot);
            header.setFromBytes (reinterpret_cast<const uint8_t*> (name.toRawUTF8()), (int) name.getNumBytesAsUTF8());
            preset->setNameBytes (header);

            for (int s = 0; s < stepsPerPreset; ++s)
                preset->setStepValues (s, valuesFor (valuesPerStep, slot * 10 + s));
        }

        SetupData setup (caps);
        setup.setSetupDataVersion (caps.setupVersion);
        setup.setValues (valuesFor (caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4, 1));
        data->setSetup (setup, true);
        return data;
    }
}
