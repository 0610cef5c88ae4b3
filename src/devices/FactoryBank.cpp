#include "devices/FactoryBank.h"

// One entry per number 1 .. numPresets: the documents number presets from 1,
// so the table is indexed with number - 1 and never read past its end.
FactoryBank::FactoryBank (int presets) : numPresets (juce::jlimit (0, maxPresets, presets))
{
    for (int i = 0; i < numPresets; ++i)
        checksums.add ({});
}

void FactoryBank::setChecksum (int number, const juce::String& md5)
{
    if (holds (number) && md5.length() == 32)
        checksums.set (number - 1, md5);
}

juce::String FactoryBank::getChecksum (int number) const
{
    return holds (number) ? checksums[number - 1] : juce::String();
}

bool FactoryBank::isFactoryPreset (int number, const juce::MD5& md5) const
{
    const auto entry = getChecksum (number);
    return entry.isNotEmpty() && entry == md5.toHexString();
}
