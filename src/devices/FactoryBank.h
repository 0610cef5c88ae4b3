#pragma once

#include <juce_cryptography/juce_cryptography.h>

/** The checksums of a product's factory presets for one firmware build,
    by preset number 1 .. numPresets. */
class FactoryBank
{
public:
    /** Preset numbers travel as 14-bit values; no bank is larger. */
    static constexpr int maxPresets = 16384;

    explicit FactoryBank (int numPresets = 0);

    int getNumPresets() const noexcept { return numPresets; }

    /** Sets the checksum of one number; ignored outside 1 .. numPresets or
        unless md5 has exactly 32 characters. */
    void setChecksum (int number, const juce::String& md5);

    juce::String getChecksum (int number) const;

    /** True when the bank has a checksum for that number equal to md5's lower-case hexadecimal text. */
    bool isFactoryPreset (int number, const juce::MD5& md5) const;

private:
    bool holds (int number) const noexcept { return number >= 1 && number <= numPresets; }

    int numPresets;
    juce::StringArray checksums;   // index number - 1
};
