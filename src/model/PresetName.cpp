#include "model/PresetName.h"

void PresetName::assign (const PresetName& other)
{
    if (this == &other)
        return;

    number = other.number;
    formatVersion = other.formatVersion;
    tags = other.tags;
    numSteps = other.numSteps;
    name.clear();

    if (! other.hasBuffer())
    {
        nameLength = 0;
        return;
    }

    nameLength = other.nameLength;

    if (nameLength != 0)
        setFromBytes (other.getBytes(), other.name.size());
}

void PresetName::setFromBytes (const uint8_t* bytes, int available)
{
    name.clear();

    if (nameLength <= 0 || nameLength > maxNameLength)
        return;

    name.insertMultiple (0, 0, nameLength);
    const auto limit = juce::jmin (nameLength, available);

    for (int i = 0; i < limit; ++i)
    {
        if (bytes[i] == 0 || bytes[i] >= 0x80)
            break;

        name.set (i, bytes[i]);
    }
}

void PresetName::setFromString (const juce::String& text)
{
    if (name.isEmpty() || nameLength == 0)
        return;

    name.fill (0);
    auto chars = text.getCharPointer();

    for (int i = 0; i < juce::jmin (nameLength, name.size()); ++i)
    {
        const auto c = chars.getAndAdvance();

        if (c == 0 || c >= 128)
            break;

        name.set (i, (uint8_t) c);
    }
}

juce::String PresetName::toString() const
{
    juce::String text;

    for (auto b : name)
    {
        if (b == 0)
            break;

        text += (juce::juce_wchar) b;
    }

    return text;
}

bool PresetName::writeRecord (juce::OutputStream& out) const
{
    // A length no buffer could be made for (from a product's odd block) is
    // stored as 0: the reader expects that many name bytes after it.
    const auto storedLength = hasBuffer() ? nameLength : 0;

    bool ok = out.writeInt (number)
           && out.writeInt (formatVersion)
           && out.writeInt (storedLength);

    if (ok && storedLength != 0)
        ok = out.write (name.getRawDataPointer(), (size_t) name.size());

    return ok && out.writeInt (tags) && out.writeInt (numSteps);
}
