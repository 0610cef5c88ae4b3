#pragma once

#include <juce_core/juce_core.h>

/** The fields of a preset header: number, format version, the fixed-length
    ASCII name, tags and step count. */
struct PresetName
{
    int32_t number = 0;
    int32_t formatVersion = 0;
    int32_t nameLength = 0;
    int32_t tags = 0;
    int32_t numSteps = 0;

    // Far above any product's name; keeps a corrupt length from allocating at will.
    static constexpr int32_t maxNameLength = 1024;

    PresetName() = default;
    PresetName (const PresetName& other)                { assign (other); }
    PresetName& operator= (const PresetName& other)     { assign (other); return *this; }

    /** Copies the numbers and, when the other has a buffer, its name. */
    void assign (const PresetName& other);

    /** A fresh buffer of nameLength zero bytes, filled from `bytes` up to a 0 byte,
        a byte of 0x80 or more, nameLength bytes or `available` bytes. */
    void setFromBytes (const uint8_t* bytes, int available);

    /** Only with a buffer: the characters below 128 up to the first other one. */
    void setFromString (const juce::String& text);

    /** The name up to its first 0 byte. */
    juce::String toString() const;

    bool hasBuffer() const                   { return ! name.isEmpty(); }
    const uint8_t* getBytes() const          { return name.isEmpty() ? nullptr : name.begin(); }
    int getBufferSize() const                { return name.size(); }

    /** Drops the name buffer. */
    void clearBuffer()                       { name.clear(); }

    /** int number, formatVersion, nameLength, the name bytes, tags, numSteps,
        as stored in data files and summed into the content md5. */
    bool writeRecord (juce::OutputStream& out) const;

private:
    juce::Array<uint8_t> name;   // nameLength bytes, or none
};
