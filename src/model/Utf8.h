#pragma once

#include <cstddef>

namespace Utf8
{
    /** Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
        The framework's strings assume valid UTF-8 and may read past the end of
        anything else, so outside text is checked with this before it becomes one. */
    bool isValid (const void* data, size_t size);
}
