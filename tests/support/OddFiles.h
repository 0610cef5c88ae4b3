#pragma once

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

/** Things that stand where the program expects one of its files: a pipe
    (opening it waits for a writer), a folder, a file far larger than
    anything the program writes (sparse, so it takes no disk), a link to itself
    (looking fails with ELOOP, as with EACCES below a folder root may not read)
    and one whose reads fail with EIO (a link to the reader's memory at 0). */
namespace OddFiles
{
    enum class Kind { pipe, folder, huge, loop, failing };
    inline constexpr Kind allKinds[] = { Kind::pipe, Kind::folder, Kind::huge, Kind::loop, Kind::failing };

    // Beyond every limit the program has for a file of its own.
    inline constexpr off_t hugeBytes = (off_t) 1024 * 1024 * 1024;

    inline const char* nameOf (Kind kind)
    {
        return kind == Kind::pipe ? "a pipe" : kind == Kind::folder ? "a folder" : kind == Kind::huge ? "a huge file"
             : kind == Kind::loop ? "a link loop" : "a file that fails to read";
    }

    /** Whatever stood at the path is replaced by the kind. */
    inline bool put (Kind kind, const juce::File& file)
    {
        file.deleteRecursively();

        if (! file.getParentDirectory().createDirectory())
            return false;

        const auto* path = file.getFullPathName().toRawUTF8();

        switch (kind)
        {
            case Kind::pipe:   return ::mkfifo (path, 0600) == 0;
            case Kind::loop:   return ::symlink (file.getFileName().toRawUTF8(), path) == 0;
            case Kind::failing: return ::symlink ("/proc/self/mem", path) == 0;
            case Kind::folder: return file.createDirectory().wasOk() && file.getChildFile ("inside").replaceWithText ("x");
            case Kind::huge:
            {
                const auto fd = ::open (path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                const auto made = fd >= 0 && ::ftruncate (fd, hugeBytes) == 0;

                if (fd >= 0)
                    ::close (fd);

                return made;
            }
        }

        return false;
    }

    /** A folder that cannot be looked into: without permission (mode 000: see
        WithoutPrivilege), or failing (the link of Kind::failing in its place,
        what it held waiting beside it); show() brings it back. */
    inline bool hide (const juce::File& folder, bool failing)
    {
        return failing ? folder.moveFileTo (folder.withFileExtension ("held")) && put (Kind::failing, folder)
                       : ::chmod (folder.getFullPathName().toRawUTF8(), 0) == 0;
    }

    inline bool show (const juce::File& folder, bool failing)
    {
        return failing ? folder.deleteFile() && folder.withFileExtension ("held").moveFileTo (folder)
                       : ::chmod (folder.getFullPathName().toRawUTF8(), 0755) == 0;
    }

    /** When engaged, files are looked at as by a user without privilege (root's
        looks pass any folder), by every thread while it lives; the home becomes
        that user's. Inactive where the user cannot be changed. */
    struct WithoutPrivilege
    {
        WithoutPrivilege (const juce::File& home, bool engaged) : root (engaged && ::geteuid() == 0)
        {
            for (const auto& entry : juce::RangedDirectoryIterator (root ? home : juce::File(), true, "*", juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::no))
                ::lchown (entry.getFile().getFullPathName().toRawUTF8(), 65534, 65534);

            active = ! root || (::lchown (home.getFullPathName().toRawUTF8(), 65534, 65534) == 0 && ::setegid (65534) == 0 && ::seteuid (65534) == 0);
        }

        ~WithoutPrivilege()   { if (root && ::seteuid (0) == 0) ::setegid (0); }

        const bool root;
        bool active = false;
    };

    /** The largest resident size of this process so far, in MB. */
    inline long peakResidentMB()
    {
        rusage usage {};
        ::getrusage (RUSAGE_SELF, &usage);
        return usage.ru_maxrss / 1024;
    }

    /** Runs work on a thread of its own and waits for it generously. True when
        it ended by itself; otherwise every pipe given is opened and closed
        again until the work lets go, so that a failing test still ends. */
    inline bool endsByItself (const std::function<void()>& work, const juce::Array<juce::File>& pipes = {})
    {
        std::packaged_task<void()> task (work);
        auto done = task.get_future();
        std::thread runner (std::move (task));

        const auto ended = done.wait_for (std::chrono::seconds (30)) == std::future_status::ready;

        while (done.wait_for (std::chrono::milliseconds (50)) != std::future_status::ready)
            for (const auto& pipe : pipes)
                if (const auto fd = ::open (pipe.getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0)
                    ::close (fd);

        runner.join();
        done.get();
        return ended;
    }

    /** Checks that work, facing the kind at file, ends by itself and without
        taking in the file. */
    inline void expectEndsBounded (Kind kind, const juce::File& file, const std::function<void()>& work, const juce::String& what)
    {
        const auto before = peakResidentMB();
        EXPECT_TRUE (endsByItself (work, kind == Kind::pipe ? juce::Array<juce::File> { file } : juce::Array<juce::File>()))
            << what << " with " << nameOf (kind) << " in its place";
        EXPECT_LT (peakResidentMB() - before, 300) << what << " with " << nameOf (kind) << " in its place";
    }
}
