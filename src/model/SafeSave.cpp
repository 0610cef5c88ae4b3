#include "model/SafeSave.h"

#include "model/FileBytes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

    // Why the last save of this thread failed.
    thread_local int lastFailure = 0;

    /** Writes into an open file: every byte or the system's error. The
        framework's file stream notices only a write that fails outright (a
        short write on a full disk or at a size limit passes) and drops the
        result of its last buffer, so the program writes through its own. */
    class FileWriter final : public juce::OutputStream
    {
    public:
        explicit FileWriter (int opened) : fd (opened)   { buffer.reserve (bufferSize); }
        ~FileWriter() override                           { if (fd >= 0) ::close (fd); }

        bool write (const void* data, size_t bytes) override
        {
            if (error != 0 || (buffer.size() + bytes > bufferSize && ! drain()))
                return false;

            if (bytes > bufferSize && ! writeAll (static_cast<const char*> (data), bytes))
                return false;

            if (bytes <= bufferSize)
                buffer.insert (buffer.end(), static_cast<const char*> (data), static_cast<const char*> (data) + bytes);

            position += (juce::int64) bytes;
            return true;
        }

        void flush() override                            { drain(); }
        int getError() const noexcept                    { return error; }
        juce::int64 getPosition() override               { return position; }
        bool setPosition (juce::int64 wanted) override   { return wanted == position; }

        /** Everything on the disk (synced), the size as written, and the file
            closed: 0, or the system's error. */
        int finish()
        {
            if (drain() && ::fsync (fd) != 0)
                error = errno;

            if (struct stat info {}; error == 0 && (::fstat (fd, &info) != 0 || (juce::int64) info.st_size != position))
                error = EIO;

            if (::close (std::exchange (fd, -1)) != 0 && error == 0)
                error = errno;

            return error;
        }

    private:
        bool drain()
        {
            const bool drained = error == 0 && writeAll (buffer.data(), buffer.size());
            buffer.clear();
            return drained;
        }

        bool writeAll (const char* data, size_t bytes)
        {
            for (size_t done = 0; done < bytes;)
            {
                const auto wrote = ::write (fd, data + done, bytes - done);

                if (wrote < 0 && errno == EINTR)
                    continue;

                // A write that takes nothing has run out of room.
                if (wrote <= 0)
                {
                    error = wrote < 0 ? errno : ENOSPC;
                    return false;
                }

                done += (size_t) wrote;
            }

            return true;
        }

        int fd;
        int error = 0;
        juce::int64 position = 0;   // of everything handed over, the buffer's included
        std::vector<char> buffer;
    };

    // The names of the temporary files this program is writing now (names
    // are its own, whatever the folder): the removal of leftovers passes them by.
    std::mutex liveLock;
    std::set<std::string, std::less<>> liveTemporaries;

    struct LiveTemporary
    {
        explicit LiveTemporary (const juce::File& file) : name (file.getFileName().toStdString())
        {
            const std::lock_guard hold (liveLock);
            liveTemporaries.insert (name);
        }

        ~LiveTemporary()
        {
            const std::lock_guard hold (liveLock);
            liveTemporaries.erase (name);
        }

        const std::string name;
    };

    juce::String temporaryName (const juce::File& target, juce::uint32 number)
    {
        return target.getFileNameWithoutExtension() + "_temp" + juce::String::toHexString ((int) number) + target.getFileExtension();
    }

    // As temporaryName gives for the target: its name, "_temp", a number in
    // lower-case hexadecimal, its extension.
    bool isTemporaryOf (std::string_view name, const juce::File& target)
    {
        const auto stem = (target.getFileNameWithoutExtension() + "_temp").toStdString();
        const auto extension = target.getFileExtension().toStdString();

        if (name.size() <= stem.size() + extension.size() || name.substr (0, stem.size()) != stem
            || name.substr (name.size() - extension.size()) != extension)
            return false;

        const auto number = name.substr (stem.size(), name.size() - stem.size() - extension.size());
        return number.size() <= 8 && number.find_first_not_of ("0123456789abcdef") == std::string_view::npos;
    }

    // A name of its own for each temporary file, taken exclusively: two saves
    // of one target at once (two threads, or two programs) never share one,
    // where the framework's names come from a generator that threads share
    // unguarded and so can give both the same number. The file opened and
    // noted as being written (live), or -1 and the system's error.
    int makeTemporaryBeside (const juce::File& target, juce::File& made, std::unique_ptr<LiveTemporary>& live)
    {
        static std::atomic<juce::uint32> count { 0 };
        const auto process = (juce::uint32) ::getpid() * 0x9e3779b1u;

        for (int tries = 0; tries < 100; ++tries)
        {
            made = target.getSiblingFile (temporaryName (target, process ^ (count.fetch_add (1) * 0x85ebca6bu)));
            live = std::make_unique<LiveTemporary> (made);

            if (const auto opened = ::open (made.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644); opened >= 0)
                return opened;

            const auto error = errno;
            live.reset();
            errno = error;

            if (error != EEXIST)
                break;
        }

        const auto error = errno;
        made = juce::File();
        errno = error;
        return -1;
    }

    std::mutex hookLock;
    SafeSave::BeforeReplace beforeReplace;
    SafeSave::FolderSync folderSync;

    template <typename Hook>
    Hook takeHook (const Hook& hook)
    {
        const std::lock_guard hold (hookLock);
        return hook;
    }

    int syncFolder (const juce::File& folder)
    {
        if (const auto standIn = takeHook (folderSync); standIn != nullptr)
            return standIn (folder);

        // A folder that cannot be opened for it (no read permission) cannot
        // be synced by this program at all: the rename stands as it is.
        const auto opened = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (opened < 0)
            return 0;

        auto error = ::fsync (opened) == 0 ? 0 : errno;
        ::close (opened);

        // Some file systems sync no folders (and need none).
        return error == EINVAL || error == ENOTSUP ? 0 : error;
    }

    // What became of a save: written, or the system's error (0 for none: the writer gave up).
    struct Outcome
    {
        bool written = false;
        int error = 0;
    };

    // Nothing is written (nor the writer called) when the temporary file cannot be made.
    Outcome replaceAt (const juce::File& target, const SafeSave::Writer& writer)
    {
        if (target.isDirectory())
            return { false, EISDIR };

        juce::File name;
        std::unique_ptr<LiveTemporary> live;
        const auto opened = makeTemporaryBeside (target, name, live);

        if (opened < 0)
            return { false, errno };

        // Removes its file when it goes, so nothing is left behind on failure.
        const juce::TemporaryFile temporary (target, name);
        FileWriter out (opened);

        if (! writer (out))
            return { false, out.getError() };

        if (const auto error = out.finish(); error != 0)
            return { false, error };

        // A rename only, beside the target: the file is there whole, old or new, at
        // every moment. The framework's replace deletes a target it found missing
        // just before its rename (another save's, meanwhile), and falls back to a
        // copy over it when the rename fails.
        if (const auto hook = takeHook (beforeReplace); hook != nullptr)
            hook (target);

        if (std::rename (name.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
            return { false, errno };

        const auto synced = syncFolder (target.getParentDirectory());
        return { synced == 0, synced };
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

void SafeSave::setFolderSync (FolderSync standIn)
{
    const std::lock_guard hold (hookLock);
    folderSync = std::move (standIn);
}

bool SafeSave::moveFiles (const std::vector<Move>& moves)
{
    lastFailure = 0;
    juce::Array<juce::File> entered, left;

    for (const auto& move : moves)
    {
        // A rename replaces what it lands on.
        const auto error = standsThere (move.to) ? EEXIST
                         : std::rename (move.from.getFullPathName().toRawUTF8(), move.to.getFullPathName().toRawUTF8()) != 0 ? errno : 0;

        if (error != 0)
        {
            lastFailure = lastFailure != 0 ? lastFailure : error;
            continue;
        }

        entered.addIfNotAlreadyThere (move.to.getParentDirectory());
        left.addIfNotAlreadyThere (move.from.getParentDirectory());
    }

    // The new names first: cut between the two, a file may stand under both
    // names, never under none.
    left.removeValuesIn (entered);

    for (const auto& folders : { entered, left })
        for (const auto& folder : folders)
            if (const auto error = syncFolder (folder); error != 0 && lastFailure == 0)
                lastFailure = error;

    return lastFailure == 0;
}

juce::Array<juce::File> SafeSave::removeTemporariesOf (const juce::Array<juce::File>& targets)
{
    std::map<juce::String, juce::Array<juce::File>> byFolder;

    for (const auto& target : targets)
        byFolder[target.getParentDirectory().getFullPathName()].addIfNotAlreadyThere (target);

    juce::Array<juce::File> removed;

    for (const auto& [path, inFolder] : byFolder)
    {
        // Names compared as bytes: one that is not UTF-8 is none of ours.
        std::vector<std::string> found;

        if (auto* listing = ::opendir (path.toRawUTF8()))
        {
            while (const auto* entry = ::readdir (listing))
                if (std::any_of (inFolder.begin(), inFolder.end(), [entry] (const juce::File& t) { return isTemporaryOf (entry->d_name, t); }))
                    found.emplace_back (entry->d_name);

            ::closedir (listing);
        }

        for (const auto& name : found)
        {
            const auto file = juce::File (path).getChildFile (juce::String::fromUTF8 (name.data(), (int) name.size()));
            const std::lock_guard hold (liveLock);
            struct stat info {};

            if (liveTemporaries.count (name) == 0 && ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode)
                && ::unlink (file.getFullPathName().toRawUTF8()) == 0)
                removed.add (file);
        }
    }

    return removed;
}

bool SafeSave::replaceFile (const juce::File& path, const Writer& writer)
{
    // A rename over a link would put a plain file in its place and leave what
    // it leads to as it was: the file it leads to is replaced, from beside it
    // (a rename does not cross file systems). Only where no file can be (a
    // link into /proc, or to a folder that is gone) does the file take the
    // link's place, as the framework's save would; a folder that refuses the
    // file refuses the save.
    auto outcome = Outcome { false, ENOENT };

    if (const auto target = followLinks (path); target != path)
        outcome = replaceAt (target, writer);

    if (! outcome.written && (outcome.error == ENOENT || outcome.error == ENOTDIR))
        outcome = replaceAt (path, writer);

    lastFailure = outcome.written ? 0 : outcome.error;
    return outcome.written;
}

bool SafeSave::makeFolder (const juce::File& folder)
{
    lastFailure = 0;

    if (folder.isDirectory())
        return true;

    // Made meanwhile by another is made.
    if (const auto above = folder.getParentDirectory(); above != folder && ! makeFolder (above))
        return false;

    // On the disk before anything is put in it: a power cut never leaves a
    // file whose folder was lost.
    if (::mkdir (folder.getFullPathName().toRawUTF8(), 0777) == 0)
    {
        lastFailure = syncFolder (folder.getParentDirectory());
        return lastFailure == 0;
    }

    if (const auto error = errno; error != EEXIST || ! folder.isDirectory())
        lastFailure = error == EEXIST ? ENOTDIR : error;

    return lastFailure == 0;
}

int SafeSave::lastError()
{
    return lastFailure;
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
    // Taken once its name lasts: a copy whose folder cannot be synced is none.
    const auto lasting = [] (const juce::File& kept)
    {
        lastFailure = syncFolder (kept.getParentDirectory());
        return lastFailure == 0 ? kept : juce::File();
    };

    for (int number = 1; number <= 1000; ++number)
    {
        const auto kept = number == 1 ? name : name.getSiblingFile (name.getFileNameWithoutExtension() + " (" + juce::String (number) + ")"
                                                                    + name.getFileExtension());

        if (standsThere (kept))
        {
            if (FileBytes::haveSameContent (file, kept, maxBytes))
                return lasting (kept);

            continue;
        }

        // A link costs no room, and is whole or absent.
        if (::linkat (AT_FDCWD, file.getFullPathName().toRawUTF8(), AT_FDCWD, kept.getFullPathName().toRawUTF8(), AT_SYMLINK_FOLLOW) == 0)
            return lasting (kept);

        juce::MemoryBlock bytes;
        errno = 0;

        if (! FileBytes::readWhole (file, bytes, maxBytes))
        {
            lastFailure = errno;
            return {};
        }

        return replaceFile (kept, [&bytes] (juce::OutputStream& out) { return out.write (bytes.getData(), bytes.getSize()); }) ? kept : juce::File();
    }

    lastFailure = EEXIST;
    return {};
}
