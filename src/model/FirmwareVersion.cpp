#include "model/FirmwareVersion.h"

#include <cstdlib>

namespace
{
    int leadingValue (const juce::String& text)
    {
        return text.trimStart().getIntValue();
    }
}

FirmwareVersion::FirmwareVersion (int kind, int maj, int min, int rev, int bld, int mcu)
    : releaseKind ((int16_t) kind), major ((int16_t) maj), minor ((int16_t) min),
      revision ((int16_t) rev), build ((int16_t) bld), mcuVersion ((int16_t) mcu)
{
}

juce::String FirmwareVersion::getReleaseTag (bool longForm) const
{
    // Any 16-bit value converts; those without a name have no tag.
    switch ((ReleaseKind) releaseKind)
    {
        case ReleaseKind::beta:     return longForm ? "BETA" : "B";
        case ReleaseKind::alpha:    return longForm ? "ALPHA" : "A";
        case ReleaseKind::demo:     return longForm ? "DEMO" : "D";
        case ReleaseKind::release:
        default:                    return {};
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

FirmwareVersion FirmwareVersion::parseVersionText (const juce::String& text)
{
    auto rest = text.trim().toLowerCase();
    auto kind = ReleaseKind::release;

    if (rest.startsWith ("a"))
    {
        kind = ReleaseKind::alpha;
        rest = rest.substring (1).trim();
    }
    else if (rest.startsWith ("b"))
    {
        kind = ReleaseKind::beta;
        rest = rest.substring (1).trim();
    }
    else if (rest.startsWith ("demo"))
    {
        kind = ReleaseKind::demo;
        rest = rest.substring (4).trim();
    }

    const auto major = leadingValue (rest.upToFirstOccurrenceOf (".", false, false));
    rest = rest.fromFirstOccurrenceOf (".", false, false);

    const auto minor = leadingValue (rest.upToFirstOccurrenceOf (".", false, false));
    rest = rest.fromFirstOccurrenceOf (".", false, false);

    const auto end = rest.indexOfAnyOf (" .b");
    const auto revision = end >= 0 ? leadingValue (rest.substring (0, end)) : 0;

    const auto buildAt = rest.indexOf ("build");
    const auto build = leadingValue (rest.substring (buildAt >= 0 ? buildAt + 5 : 5));

    return FirmwareVersion ((int) kind, major, minor, revision, build);
}

//==============================================================================
ManufactureDate ManufactureDate::fromString (const juce::String& text)
{
    return { text.substring (0, 4).getIntValue(), text.substring (5, 7).getIntValue(), text.substring (8, 10).getIntValue() };
}

juce::String ManufactureDate::toString() const
{
    return juce::String::formatted ("%4d.%02d.%02d", year, month, day);
}

//==============================================================================
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
