#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <vector>

/** The one way the program replaces a file: everything is written beside the
    target first, checked on disk, and only then renamed over it. */
namespace SafeSave
{
    /** Fills the stream; false stops the save. */
    using Writer = std::function<bool (juce::OutputStream&)>;

    /** Writes through the writer into a temporary file made beside the target
        (taken exclusively, a name of its own), flushes it to the disk, checks
        that every byte is there, renames it over the target and syncs the
        folder, so that the rename outlives a power cut. On any failure before
        the rename the target keeps what it held; the temporary file is gone and
        the result is false. A folder that cannot be synced after the rename is
        a failure too (told, saved again), though the target holds the new data. The target's folder must exist. A target reached through a
        symbolic link is the file the link leads to (made there when it is
        missing), written in its own folder: the link stays. Where that folder
        cannot take the file (no permission, a name too long for it, ...) the
        save fails like any other; only a link that leads where no file can be
        (its folder gone) is replaced by the file, as the framework's save would. */
    bool replaceFile (const juce::File& target, const Writer& writer);

    /** Makes a folder and those above it that are missing, each synced into
        the one above; false when it cannot, which lastError then tells. */
    bool makeFolder (const juce::File& folder);

    /** Why the last replaceFile, makeFolder or keepCopy of this thread failed,
        as the system said it (an errno value, which SaveFailure tells the user);
        0 after one that succeeded, or failed with no word of the system (the
        writer gave up). */
    int lastError();

    /** The file a symbolic link leads to in the end, relative links taken from
        their own folder; a link to nothing gives the path it names. A path that
        is no link, or whose links go round in a loop, is itself. */
    juce::File followLinks (const juce::File& file);

    /** Called on the writing thread once a temporary file is whole, just before
        it replaces its target: tests stand in a disk that stalls there. */
    using BeforeReplace = std::function<void (const juce::File& target)>;
    void setBeforeReplace (BeforeReplace hook);

    /** Makes the renames in a folder durable: syncs it; 0 or the system's error.
        Tests stand in their own (to count the syncs or fail them); none gives
        the system's back. */
    using FolderSync = std::function<int (const juce::File& folder)>;
    void setFolderSync (FolderSync standIn);

    /** Renames each file or folder to its new path (in the same file system),
        never over anything standing there, then syncs the folders they entered
        and those they left, in that order: the moves outlive a power cut before
        anything that relies on them is written or deleted. One that fails
        leaves the others be. Whether all were made and synced; lastError tells
        why not. */
    struct Move
    {
        juce::File from, to;
    };

    bool moveFiles (const std::vector<Move>& moves);

    /** Removes beside each target the temporary files of its saves that were
        cut short (a kill, a power cut): only regular files named as
        replaceFile names them for that target, never one that a save of this
        program is writing. Each folder is listed once. The files removed. */
    juce::Array<juce::File> removeTemporariesOf (const juce::Array<juce::File>& targets);

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
        writes; either is in the folder for good (synced) before it is taken.
        The file itself stays. The copy, or none when none could be made,
        which lastError then tells. */
    juce::File keepCopy (const juce::File& file, const juce::File& name, juce::int64 maxBytes);
}
