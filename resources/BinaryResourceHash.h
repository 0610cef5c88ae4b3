#pragma once

#include <cstdint>

namespace BinaryResources
{
    /** The hash every name is stored as: h = h * 31 + c over the bytes, each byte
        taken as a signed char, modulo 2^32. */
    constexpr std::uint32_t hashName (const char* name) noexcept
    {
        std::uint32_t h = 0;

        for (; *name != 0; ++name)
            h = h * 31u + (std::uint32_t) (std::int32_t) (signed char) *name;

        return h;
    }
}
