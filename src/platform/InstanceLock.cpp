#include "platform/InstanceLock.h"

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace platform
{

#if JUCE_WINDOWS

// The named mutex of the framework is per session; naming it after the file
// keeps one per folder.
InstanceLock::InstanceLock (const juce::File& lockFile)
    : lock (std::make_unique<juce::InterProcessLock> ("Belvora_" + juce::String::toHexString (lockFile.getFullPathName().toLowerCase().hashCode64())))
{
    held = lock->enter (0);

    if (! held)
        failure = Failure::heldElsewhere;
}

InstanceLock::~InstanceLock()
{
    if (held)
        lock->exit();
}

bool InstanceLock::isHeld() const noexcept
{
    return held;
}

#else

namespace
{
    /** Makes the folder and those above it that are missing; the errno of the
        step that failed, 0 once the folder is there. (The framework's own
        gives the system's words only, and "exists" for a file in the way.) */
    int makeFolder (const juce::File& folder)
    {
        if (folder.isDirectory())
            return 0;

        if (const auto parent = folder.getParentDirectory(); parent != folder)
            if (const auto error = makeFolder (parent); error != 0)
                return error;

        if (::mkdir (folder.getFullPathName().toRawUTF8(), 0777) == 0)
            return 0;

        const auto error = errno;

        // Made meanwhile by another start, or a file standing where the folder should.
        if (error == EEXIST)
            return folder.isDirectory() ? 0 : ENOTDIR;

        return error;
    }
}

// flock, not fcntl: an fcntl lock belongs to the process and goes as soon as
// any descriptor of the file is closed anywhere in it, and never excludes a
// second taker in the same process.
InstanceLock::InstanceLock (const juce::File& lockFile)
{
    if (const auto error = makeFolder (lockFile.getParentDirectory()); error != 0)
    {
        failure = Failure::cannotWrite;
        systemError = error;
        return;
    }

    handle = ::open (lockFile.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    if (handle < 0)
    {
        failure = Failure::cannotWrite;
        systemError = errno;
        failedFile = lockFile;
        return;
    }

    if (::flock (handle, LOCK_EX | LOCK_NB) != 0)
    {
        // Only a lock that is taken says that another copy runs; any other
        // refusal comes from the file system.
        const auto error = errno;
        failure = error == EWOULDBLOCK ? Failure::heldElsewhere : Failure::noLocks;

        if (failure == Failure::noLocks)
            systemError = error;

        ::close (handle);
        handle = -1;
    }
}

InstanceLock::~InstanceLock()
{
    if (handle >= 0)
        ::close (handle);
}

bool InstanceLock::isHeld() const noexcept
{
    return handle >= 0;
}

#endif

}
