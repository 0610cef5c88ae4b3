#pragma once

#include <juce_core/juce_core.h>

/** Reading files that come from outside, each with one open: only regular
    files (a pipe or a device could block a reader or never end), never more
    than a limit. */
namespace FileBytes
{
    /** The whole of a regular file of at most maxBytes; false when it is
        missing, not regular, larger or cannot be read. */
    bool readWhole (const juce::File& file, juce::MemoryBlock& bytes, juce::int64 maxBytes);

    /** The first maxBytes of a regular file, or all of a shorter one; false
        when it cannot be read or is empty. */
    bool readHead (const juce::File& file, juce::MemoryBlock& bytes, size_t maxBytes);
}
