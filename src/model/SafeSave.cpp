#include "model/SafeSave.h"

#include "model/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    constexpr size_t bufferSize = 16384;

    // Anything at the path itself, a link whatever it points to, or a path
    // that cannot be looked at: only "no such file" is free.
    bool standsThere (const juce::File& file)
    {
        struct stat info {};
        return ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0 || errno != ENOENT;
    }

    // The framework's file stream notices only a write that fails outright: a
    // short write on a full disk or at a size limit still reports success, and
    // flush() drops the result of the last buffer. So the stream's own status
    // is not enough; the size on disk after closing must be what was written.
    bool writeAndCheck (const juce::File& file, const SafeSave::Writer& writer)
    {
        juce::int64 written = 0;

        {
            juce::FileOutputStream out (file, bufferSize);

            if (! out.openedOk() || ! writer (out))
                return false;

            out.flush();

            if (out.getStatus().failed())
                return false;

            written = out.getPosition();
        }

        return file.getSize() == written;
    }
}

bool SafeSave::replaceFile (const juce::File& target, const Writer& writer, const juce::File& fixedTemporary)
{
    if (target.isDirectory() || ! target.getParentDirectory().isDirectory())
        return false;

    // A file stream appends to what is there: a leftover of an earlier
    // attempt must go first.
    if (fixedTemporary != juce::File() && ! fixedTemporary.deleteFile())
        return false;

    // Removes its file when it goes, so nothing is left behind on failure.
    const auto temporary = fixedTemporary != juce::File() ? juce::TemporaryFile (target, fixedTemporary)
                                                          : juce::TemporaryFile (target);

    return writeAndCheck (temporary.getFile(), writer)
        && temporary.getFile().replaceFileIn (target);
}

juce::File SafeSave::moveAside (const juce::File& damaged)
{
    // A folder or a pipe where a file belongs goes aside the same way, and a
    // link the framework takes for nothing (a loop) as the link it is. A path
    // that cannot be looked at lies in a folder that cannot be looked into,
    // where no free name can be found either.
    if (struct stat info {}; ::lstat (damaged.getFullPathName().toRawUTF8(), &info) != 0)
        return {};

    auto aside = damaged.getSiblingFile (damaged.getFileName() + ".damaged");

    for (int number = 2; standsThere (aside); ++number)
    {
        if (number > 1000)
            return {};

        aside = damaged.getSiblingFile (damaged.getFileName() + " (" + juce::String (number) + ").damaged");
    }

    // A rename only: the framework's move falls back to copying, which would
    // read a pipe or a huge file whole.
    return std::rename (damaged.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8()) == 0 ? aside : juce::File();
}

juce::File SafeSave::keepCopy (const juce::File& file, const juce::File& name, juce::int64 maxBytes)
{
    for (int number = 1; number <= 1000; ++number)
    {
        const auto kept = number == 1 ? name : name.getSiblingFile (name.getFileNameWithoutExtension() + " (" + juce::String (number) + ")"
                                                                    + name.getFileExtension());

        if (standsThere (kept))
        {
            if (FileBytes::haveSameContent (file, kept, maxBytes))
                return kept;

            continue;
        }

        // A link costs no room, and is whole or absent.
        if (::linkat (AT_FDCWD, file.getFullPathName().toRawUTF8(), AT_FDCWD, kept.getFullPathName().toRawUTF8(), AT_SYMLINK_FOLLOW) == 0)
            return kept;

        juce::MemoryBlock bytes;

        if (! FileBytes::readWhole (file, bytes, maxBytes))
            return {};

        return replaceFile (kept, [&bytes] (juce::OutputStream& out) { return out.write (bytes.getData(), bytes.getSize()); }) ? kept : juce::File();
    }

    return {};
}
