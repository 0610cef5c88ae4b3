#pragma once

#include <juce_core/juce_core.h>

/** What was received of a firmware image when it was kept: its length and
    MD5, in a small hidden file beside it. Its form alone cannot tell a stored
    image from one cut on disk at a message's end or with a bit changed; its
    record can, before anything sends it to a unit. */
struct FirmwareImageRecord
{
    enum class Match { matches, unrecorded, differs };

    juce::int64 length = -1;   // -1: nothing recorded
    juce::String digest;

    static FirmwareImageRecord of (const juce::MemoryBlock& image);

    /** Replaces the image's record through the safe writer; false when it could not. */
    bool writeFor (const juce::File& image) const;

    static void removeFor (const juce::File& image);

    /** The image's bytes, as read now, against its record; unrecorded when there
        is none that can be read (an image kept by an older build, or a custom one). */
    static Match check (const juce::File& image, const juce::MemoryBlock& bytes);
};
