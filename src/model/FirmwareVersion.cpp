#include "model/FirmwareVersion.h"

#include <cstdlib>

FirmwareVersion::FirmwareVersion (int kind, int maj, int min, int rev, int bld, int mcu)
    : releaseKind ((int16_t) kind), major ((int16_t) maj), minor ((int16_t) min),
      revision ((int16_t) rev), build ((int16_t) bld), mcuVersion ((int16_t) mcu)
{
}

juce::String FirmwareVersion::getReleaseTag (bool longForm) const
{
    switch (releaseKind)
    {
        case 1:  return longForm ? "BETA" : "B";
        case 2:  return longForm ? "ALPHA" : "A";
        case 3:  return longForm ? "DEMO" : "D";
        default: return {};
    }
}

juce::String FirmwareVersion::getVersionString() const
{
    return juce::String::formatted ("%d.%1d.%02d build %d", (int) major, (int) minor, (int) revision, (int) build)
           + getReleaseTag (false);
}

juce::String FirmwareVersion::toString() const
{
    return juce::String::formatted ("%d.%d.%d.%d.%d.%d", (int) releaseKind, (int) major, (int) minor,
                                    (int) revision, (int) build, (int) mcuVersion);
}

FirmwareVersion FirmwareVersion::fromString (const juce::String& text)
{
    int16_t parts[6] = {};
    auto remaining = text;

    for (int i = 0; i < 6; ++i)
    {
        // The last part runs to the end of the text; the others end at the next point.
        const auto point = i < 5 ? remaining.indexOfChar ('.') : -1;
        const auto piece = point < 0 ? remaining : remaining.substring (0, point);

        // Plain decimal conversion: leading blanks and a sign, stop at the first non-digit.
        const auto value = std::strtol (piece.toRawUTF8(), nullptr, 10);
        parts[i] = (int16_t) (uint16_t) (unsigned long) value;

        if (point < 0)
        {
            remaining = {};
            continue;
        }

        remaining = remaining.substring (point + 1);
    }

    FirmwareVersion v;
    v.releaseKind = parts[0];
    v.major = parts[1];
    v.minor = parts[2];
    v.revision = parts[3];
    v.build = parts[4];
    v.mcuVersion = parts[5];
    return v;
}

juce::String formatFirmwareVersion (const FirmwareVersion& version, bool withMcu)
{
    auto text = juce::String::formatted ("%d.%1d.%02d", (int) version.major, (int) version.minor, (int) version.revision)
                + juce::String::formatted (" build %d", (int) version.build);

    const auto tag = version.getReleaseTag (true);

    if (tag.isNotEmpty())
        text << "  [" << tag << "]";

    if (withMcu)
        text << juce::String::formatted (" (mcu %d)", (int) version.mcuVersion);

    return text;
}

const FirmwareVersion& getApplicationVersionRecord()
{
    static const FirmwareVersion version { 0, 1, 1, 0, 136, 0 };
    return version;
}
