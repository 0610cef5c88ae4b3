#include "model/Utf8.h"

#include <cstdint>

namespace Utf8
{

bool isValid (const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*> (data);
    size_t i = 0;

    auto continuation = [&] (size_t at, uint8_t low = 0x80, uint8_t high = 0xBF)
    {
        return at < size && p[at] >= low && p[at] <= high;
    };

    while (i < size)
    {
        const auto b = p[i];

        if (b < 0x80)
        {
            ++i;
        }
        else if (b >= 0xC2 && b <= 0xDF)
        {
            if (! continuation (i + 1)) return false;
            i += 2;
        }
        else if (b >= 0xE0 && b <= 0xEF)
        {
            const auto low = b == 0xE0 ? (uint8_t) 0xA0 : (uint8_t) 0x80;
            const auto high = b == 0xED ? (uint8_t) 0x9F : (uint8_t) 0xBF;
            if (! continuation (i + 1, low, high) || ! continuation (i + 2)) return false;
            i += 3;
        }
        else if (b >= 0xF0 && b <= 0xF4)
        {
            const auto low = b == 0xF0 ? (uint8_t) 0x90 : (uint8_t) 0x80;
            const auto high = b == 0xF4 ? (uint8_t) 0x8F : (uint8_t) 0xBF;
            if (! continuation (i + 1, low, high) || ! continuation (i + 2) || ! continuation (i + 3)) return false;
            i += 4;
        }
        else
        {
            return false;
        }
    }

    return true;
}

bool readText (const void* data, size_t size, juce::String& text)
{
    const auto* bytes = static_cast<const char*> (data);
    const bool utf16 = size >= 2 && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (bytes)
                                     || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (bytes));

    if (! utf16 && ! isValid (data, size))
        return false;

    text = juce::String::createStringFromData (data, (int) size);
    return true;
}

}
