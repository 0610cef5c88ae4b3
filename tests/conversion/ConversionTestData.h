#pragma once

#include "model/DeviceData.h"

#include <juce_core/juce_core.h>

/** Hand-made presets, setups and capability blocks for the conversion tests. */
namespace ConversionTestData
{
    /** A block laid out like the sample product Vesper at build 120: two
        packets of 8 values per step, up to 4 steps, a setup of 2 x 12 values. */
    inline CapsBlock vesperBlock (int presetVersion = 3, int setupVersion = 2, int numPresets = 20, int maxSteps = 4)
    {
        CapsBlock block;
        block.productId = 0x12;
        block.numSyxPackagesPerPresetStep = 2;
        block.presetStepPacketSize = 32;
        block.presetVersion = presetVersion;
        block.numSyxPackagesPerSetup = 2;
        block.setupPacketSize = 48;
        block.setupVersion = setupVersion;
        block.numPresets = numPresets;
        block.presetNameLength = 15;
        block.maxPresetSteps = maxSteps;
        return block;
    }

    inline int valuesPerStep (const CapsBlock& block)    { return block.presetStepPacketSize * block.numSyxPackagesPerPresetStep / 4; }
    inline int valuesPerSetup (const CapsBlock& block)   { return block.setupPacketSize * block.numSyxPackagesPerSetup / 4; }

    inline juce::Array<int> stepValues (const CapsBlock& block, int seed)
    {
        juce::Array<int> values;
        for (int i = 0; i < valuesPerStep (block); ++i)
            values.add (seed * 100 + i - 5);
        return values;
    }

    inline std::unique_ptr<Preset> makePreset (const CapsBlock& block, int number, const char* name, int steps, int tags = 0x15)
    {
        auto preset = std::make_unique<Preset> (block);

        PresetName header;
        header.number = number;
        header.formatVersion = block.presetVersion;
        header.nameLength = block.presetNameLength;
        header.tags = tags;
        header.numSteps = 0;
        header.setFromBytes (reinterpret_cast<const uint8_t*> (name), (int) strlen (name));
        preset->setNameBytes (header);

        for (int s = 0; s < steps; ++s)
            preset->setStepValues (s, stepValues (block, number * 10 + s));

        preset->setModified (false);
        return preset;
    }

    inline juce::Array<int> setupValues (const CapsBlock& block, int seed = 7)
    {
        juce::Array<int> values;
        for (int i = 0; i < valuesPerSetup (block); ++i)
            values.add (seed * 1000 + i);
        return values;
    }

    inline SetupData makeSetup (const CapsBlock& block, int seed = 7)
    {
        SetupData setup (block);
        setup.setSetupDataVersion (block.setupVersion);
        setup.setValues (setupValues (block, seed));
        return setup;
    }

    /** A unit's data with the given used slots (each preset of 1 + slot % 3 steps) and a complete setup. */
    inline std::unique_ptr<DeviceData> makeDeviceData (const CapsBlock& block, int build, const juce::Array<int>& slots)
    {
        auto data = std::make_unique<DeviceData> ("Test Unit", FirmwareVersion (0, 1, 2, 0, build), block, nullptr);
        for (auto slot : slots)
            data->setPreset (slot, makePreset (block, slot, ("Preset " + juce::String (slot)).toRawUTF8(),
                                               1 + slot % juce::jmax (1, block.maxPresetSteps)));
        data->setSetup (makeSetup (block), false);
        data->clearModified (false);
        return data;
    }
}
