#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** The one way the program replaces a file: everything is written beside the
    target first, checked on disk, and only then renamed over it. */
namespace SafeSave
{
    /** Fills the stream; false stops the save. */
    using Writer = std::function<bool (juce::OutputStream&)>;

    /** Writes through the writer into a temporary file beside the target, closes
        it, checks that every byte reached the disk and renames it over the target.
        On any failure the target keeps what it held, the temporary file is gone
        and the result is false. The target's folder must exist. A temporary file
        of a fixed name may be given; whatever it holds is replaced. */
    bool replaceFile (const juce::File& target, const Writer& writer, const juce::File& fixedTemporary = {});

    /** Moves a file that cannot be read (or a folder or pipe in its place) out
        of the way, beside itself with ".damaged" added (numbered when such a
        file is there already), so that nothing writes over it. The new file,
        or none when it could not move. */
    juce::File moveAside (const juce::File& damaged);

    /** Keeps a copy of a file of at most maxBytes beside it under name, or the
        first free numbered form of it ("name (2).ext"); one of those names that
        holds the same bytes already is taken as it is, so that doing it again
        makes no second copy. A hard link where the disk has them (through a
        symbolic link, to its target), else a copy written as replaceFile
        writes. The file itself stays. The copy, or none when none could be made. */
    juce::File keepCopy (const juce::File& file, const juce::File& name, juce::int64 maxBytes);
}
