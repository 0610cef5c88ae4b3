#pragma once

#include "model/DeviceData.h"
#include "model/SysEx.h"

#include <juce_core/juce_core.h>

#include <vector>

/** Small products and data for the model tests. */
namespace ModelFixtures
{
    /** Product 0x21: 2 packets of 8 data bytes per step, setup of 2 packets of 8 bytes,
        8 slots, 15-byte names, at most 5 steps. */
    CapsBlock smallCaps();

    std::vector<uint8_t> bytesOf (const juce::MidiMessage& m);
    std::vector<uint8_t> bytesOf (const juce::MemoryBlock& block);

    /** A named, complete preset whose step s holds the values base + s*10 + 0..3. */
    std::unique_ptr<Preset> makePreset (const CapsBlock& caps, int number, const juce::String& name,
                                        int steps, int base = 0);

    /** A complete setup of the block's version holding 1, 2, 3, ... */
    SetupData makeSetup (const CapsBlock& caps);

    /** Device data named "Vox One" with presets in the given slots (named "P<slot>") and a setup. */
    std::unique_ptr<DeviceData> makeData (const CapsBlock& caps, const juce::Array<int>& slots, bool withSetup = true);

    /** The names of slots 1 .. n-1, "-" for an empty one. */
    juce::String slotNames (const DeviceData& data);

    /** A fresh empty folder below the private home. */
    juce::File freshFolder (const juce::String& name);

    /** A file with the given bytes. */
    juce::File writeBytes (const juce::File& file, const std::vector<uint8_t>& bytes);
}
