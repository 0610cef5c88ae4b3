#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** The md5 texts of a product's factory presets by preset number, for one
    firmware build. (Least form: the capability reader fills it.) */
class FactoryBank
{
public:
    explicit FactoryBank (int numPresets = 0);

    int getNumPresets() const                  { return entries.size() - 1; }

    /** Sets the text of one number in 1 .. numPresets; other numbers are ignored. */
    void setEntry (int number, const juce::String& md5Text);
    juce::String getEntry (int number) const;

    /** True when the number's entry is not empty and equals the digest as lower-case hex. */
    bool isFactoryPreset (int number, const std::array<uint8_t, 16>& md5) const;

private:
    juce::StringArray entries;   // index 0 unused
};
