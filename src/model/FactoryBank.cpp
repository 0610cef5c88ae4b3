#include "model/FactoryBank.h"

FactoryBank::FactoryBank (int numPresets)
{
    for (int i = 0; i <= juce::jmax (0, numPresets); ++i)
        entries.add ({});
}

void FactoryBank::setEntry (int number, const juce::String& md5Text)
{
    if (number >= 1 && number < entries.size())
        entries.set (number, md5Text);
}

juce::String FactoryBank::getEntry (int number) const
{
    return number >= 1 ? entries[number] : juce::String();
}

bool FactoryBank::isFactoryPreset (int number, const std::array<uint8_t, 16>& md5) const
{
    const auto entry = getEntry (number);
    return entry.isNotEmpty() && entry == juce::String::toHexString (md5.data(), (int) md5.size(), 0);
}
