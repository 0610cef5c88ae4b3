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

    /** The whole of a regular file of at most maxBytes as text; false as readWhole,
        and when it is not valid UTF-8. */
    bool readText (const juce::File& file, juce::String& text, juce::int64 maxBytes);

    /** What stands at a path, looked at without opening it. Only "no such
        file" is missing: a path that cannot be looked at (a link loop, a folder
        without permission, an I/O error) may hide a file, and is unreadable. */
    enum class Kind { missing, regular, tooLarge, other, unreadable };
    Kind kindOf (const juce::File& file, juce::int64 maxBytes);

    /** What keeps a folder from being looked into (no permission, an I/O
        error, no folder in its place): the highest of it and the folders above
        it that all cannot be listed or searched. None when the folder can be,
        or is missing (it is made when written). */
    juce::File findUnreadableFolder (const juce::File& folder);

    /** Whether two regular files of at most maxBytes hold the same bytes (one
        file under two names does); false when either cannot be read. */
    bool haveSameContent (const juce::File& a, const juce::File& b, juce::int64 maxBytes);

    /** Whether nothing at all stands at the path. */
    bool isMissing (const juce::File& file);

    /** A stream over a regular file of at most maxBytes, or none; opened
        without waiting on a pipe. For readers that seek (a zip). */
    std::unique_ptr<juce::InputStream> openStream (const juce::File& file, juce::int64 maxBytes);
}
