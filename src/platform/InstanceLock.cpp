#include "platform/InstanceLock.h"

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <cstring>
 #include <fcntl.h>
 #include <sys/file.h>
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

// flock, not fcntl: an fcntl lock belongs to the process and goes as soon as
// any descriptor of the file is closed anywhere in it, and never excludes a
// second taker in the same process.
InstanceLock::InstanceLock (const juce::File& lockFile)
{
    if (const auto made = lockFile.getParentDirectory().createDirectory(); made.failed())
    {
        failure = Failure::cannotWrite;
        systemError = made.getErrorMessage();

        // The framework names the failed step, which says "exists" when a file stands where a folder should.
        for (auto folder = lockFile.getParentDirectory(); ! folder.isRoot(); folder = folder.getParentDirectory())
            if (folder.exists())
            {
                if (! folder.isDirectory())
                    systemError = juce::String::fromUTF8 (std::strerror (ENOTDIR));

                break;
            }

        return;
    }

    handle = ::open (lockFile.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    if (handle < 0)
    {
        failure = Failure::cannotWrite;
        systemError = juce::String::fromUTF8 (std::strerror (errno));
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
            systemError = juce::String::fromUTF8 (std::strerror (error));

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
