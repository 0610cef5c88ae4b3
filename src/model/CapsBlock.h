#pragma once

#include <juce_core/juce_core.h>

/** The fixed numbers that describe how one product at one firmware build lays
    out its presets and setup in SysEx packets. Copied by value everywhere. */
struct CapsBlock
{
    uint8_t productId = 0;                 // 0 = none
    int32_t numSyxPackagesPerPresetStep = 0;
    int32_t presetStepPacketSize = 0;      // data bytes per step packet
    int32_t presetVersion = 0;
    int32_t numSyxPackagesPerSetup = 0;
    int32_t setupPacketSize = 0;           // data bytes per setup packet
    int32_t setupVersion = 0;
    int32_t numPresets = 0;                // slots, slot 0 included
    int32_t presetNameLength = 0;
    int32_t maxPresetSteps = 0;

    static constexpr int streamSize = 37;  // one byte and nine 32-bit integers
    static constexpr int legacySize = 40;  // the older in-memory form with three padding bytes

    /** One byte product id, then the nine integers as 32-bit little-endian: 37 bytes. */
    void writeToStream (juce::OutputStream& out) const;

    /** Reads the 37-byte form; false when the stream ends early. */
    bool readFromStream (juce::InputStream& in);

    /** Reads the 40-byte form of older data files; false when the stream ends early. */
    bool readLegacyFromStream (juce::InputStream& in);

    bool operator== (const CapsBlock&) const = default;
};

bool isValidCapsBlock (const CapsBlock& block);
