#include "model/SafeSave.h"

#include <cstdio>

namespace
{
    constexpr size_t bufferSize = 16384;

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
    // A folder or a pipe where a file belongs goes aside the same way.
    if (! damaged.exists())
        return {};

    // A rename only: the framework's move falls back to copying, which would
    // read a pipe or a huge file whole.
    const auto aside = damaged.getSiblingFile (damaged.getFileName() + ".damaged").getNonexistentSibling (true);
    return std::rename (damaged.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8()) == 0 ? aside : juce::File();
}
