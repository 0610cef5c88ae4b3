#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

namespace Utf8
{
    /** Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
        The framework's strings assume valid UTF-8 and may read past the end of
        anything else, so outside text is checked with this before it becomes one. */
    bool isValid (const void* data, size_t size);

    /** Outside bytes as text: UTF-16 that announces itself with a byte-order mark, else
        valid UTF-8; false for anything else. */
    bool readText (const void* data, size_t size, juce::String& text);
}
