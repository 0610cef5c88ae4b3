#include "model/SafeSave.h"

#include "model/FileBytes.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
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
    enum class Written { whole, notOpened, failed };

    Written writeAndCheck (const juce::File& file, const SafeSave::Writer& writer)
    {
        juce::int64 written = 0;

        {
            juce::FileOutputStream out (file, bufferSize);

            if (! out.openedOk())
                return Written::notOpened;

            if (! writer (out))
                return Written::failed;

            out.flush();

            if (out.getStatus().failed())
                return Written::failed;

            written = out.getPosition();
        }

        return file.getSize() == written ? Written::whole : Written::failed;
    }

    // A name of its own for each temporary file, taken exclusively: two saves
    // of one target at once (two threads, or two programs) never share one,
    // where the framework's names come from a generator that threads share
    // unguarded and so can give both the same number.
    juce::File makeTemporaryBeside (const juce::File& target)
    {
        static std::atomic<juce::uint32> made { 0 };
        const auto process = (juce::uint32) ::getpid() * 0x9e3779b1u;

        for (int tries = 0; tries < 100; ++tries)
        {
            const auto number = process ^ (made.fetch_add (1) * 0x85ebca6bu);
            const auto file = target.getSiblingFile (target.getFileNameWithoutExtension() + "_temp"
                                                     + juce::String::toHexString ((int) number) + target.getFileExtension());
            const auto opened = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

            if (opened >= 0)
            {
                ::close (opened);
                return file;
            }

            if (errno != EEXIST)
                return {};
        }

        return {};
    }

    std::mutex hookLock;
    SafeSave::BeforeReplace beforeReplace;

    void runBeforeReplace (const juce::File& target);

    // Nothing is written (nor the writer called) when the temporary file cannot be opened.
    Written replaceAt (const juce::File& target, const SafeSave::Writer& writer, const juce::File& fixedTemporary)
    {
        if (target.isDirectory() || ! target.getParentDirectory().isDirectory())
            return Written::notOpened;

        // A file stream appends to what is there: a leftover of an earlier
        // attempt must go first.
        if (fixedTemporary != juce::File() && ! fixedTemporary.deleteFile())
            return Written::notOpened;

        const auto name = fixedTemporary != juce::File() ? fixedTemporary : makeTemporaryBeside (target);

        if (name == juce::File())
            return Written::notOpened;

        // Removes its file when it goes, so nothing is left behind on failure.
        const juce::TemporaryFile temporary (target, name);
        const auto written = writeAndCheck (temporary.getFile(), writer);

        if (written != Written::whole)
            return written;

        // A rename only, beside the target: the file is there whole, old or new, at
        // every moment. The framework's replace deletes a target it found missing
        // just before its rename (another save's, meanwhile), and falls back to a
        // copy over it when the rename fails.
        runBeforeReplace (target);
        return std::rename (temporary.getFile().getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) == 0
                   ? Written::whole : Written::failed;
    }

    void runBeforeReplace (const juce::File& target)
    {
        SafeSave::BeforeReplace hook;

        {
            const std::lock_guard hold (hookLock);
            hook = beforeReplace;
        }

        if (hook != nullptr)
            hook (target);
    }

    // The folder a link lies in as the system sees it: a relative link's ".."
    // is taken from there, not from the path's text.
    juce::File realFolderOf (const juce::File& file)
    {
        char resolved[PATH_MAX];
        const auto folder = file.getParentDirectory();
        return ::realpath (folder.getFullPathName().toRawUTF8(), resolved) != nullptr ? juce::File (juce::String::fromUTF8 (resolved))
                                                                                         : folder;
    }
}

juce::File SafeSave::followLinks (const juce::File& file)
{
    // As many as the system itself follows before it calls it a loop.
    constexpr int maxLinks = 40;
    auto path = file;

    for (int followed = 0; followed <= maxLinks; ++followed)
    {
        struct stat info {};

        if (::lstat (path.getFullPathName().toRawUTF8(), &info) != 0 || ! S_ISLNK (info.st_mode))
            return path;

        char linked[PATH_MAX];
        const auto length = ::readlink (path.getFullPathName().toRawUTF8(), linked, sizeof (linked));

        if (length <= 0 || (size_t) length >= sizeof (linked))
            return file;

        path = realFolderOf (path).getChildFile (juce::String::fromUTF8 (linked, (int) length));
    }

    return file;
}

void SafeSave::setBeforeReplace (BeforeReplace hook)
{
    const std::lock_guard hold (hookLock);
    beforeReplace = std::move (hook);
}

bool SafeSave::replaceFile (const juce::File& path, const Writer& writer, const juce::File& fixedTemporary)
{
    // A rename over a link would put a plain file in its place and leave what
    // it leads to as it was: the file it leads to is replaced, from beside it
    // (a rename does not cross file systems). Only where nothing can be
    // written (a link into /proc, or to a folder that is gone) does the file
    // take the link's place, as the framework's save would.
    if (const auto target = followLinks (path); target != path)
        if (const auto written = replaceAt (target, writer, {}); written != Written::notOpened)
            return written == Written::whole;

    return replaceAt (path, writer, fixedTemporary) == Written::whole;
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
