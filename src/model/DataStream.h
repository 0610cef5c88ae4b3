#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** Checked reads of the data file's little-endian fields: each one fails
    instead of inventing a value when the stream ends early. */
namespace DataStream
{
    /** Stands in for a count where a record is absent: an empty slot, data
        without slots, a setup without packets. */
    constexpr int32_t noRecord = -1;

    bool readInt (juce::InputStream& in, int32_t& value);
    bool readBool (juce::InputStream& in, bool& value);

    constexpr int maxStringBytes = 1024;

    /** UTF-8 up to a 0 byte; fails when no 0 byte comes within maxBytes. */
    bool readString (juce::InputStream& in, juce::String& text, int maxBytes = maxStringBytes);

    /** Exactly `size` bytes, never more than the stream still holds. */
    bool readBlock (juce::InputStream& in, juce::MemoryBlock& block, int64_t size);

    /** One packet as stored: int size, then that many bytes, F0 to F7. */
    bool readPacket (juce::InputStream& in, juce::MidiMessage& message);
    bool writePacket (juce::OutputStream& out, const juce::MidiMessage& message);

    bool writeString (juce::OutputStream& out, const juce::String& text);
}
