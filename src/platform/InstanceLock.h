#pragma once

#include <juce_core/juce_core.h>

namespace platform
{

/** Holds a lock file for as long as the object lives, so that one program
    runs per folder: another object on the same file, in this process or
    another, does not get it until this one goes. The system drops the lock
    of a process that was killed, so a stale file never blocks a start. */
class InstanceLock
{
public:
    explicit InstanceLock (const juce::File& lockFile);
    ~InstanceLock();

    InstanceLock (const InstanceLock&) = delete;
    InstanceLock& operator= (const InstanceLock&) = delete;

    bool isHeld() const noexcept;

    /** Why the lock is not held: someone else holds it, the file cannot be
        made there, or the file system there takes no locks. */
    enum class Failure
    {
        none,
        heldElsewhere,
        cannotWrite,
        noLocks
    };

    Failure getFailure() const noexcept                   { return failure; }

    /** What the system said of a failure other than heldElsewhere (an errno
        value); 0 when it said nothing. */
    int getSystemError() const noexcept                   { return systemError; }

    /** The lock file when its folder was there but the file itself could not
        be opened (a folder in its place, say); none otherwise. */
    const juce::File& getFailedFile() const noexcept      { return failedFile; }

private:
    Failure failure = Failure::none;
    int systemError = 0;
    juce::File failedFile;

   #if JUCE_WINDOWS
    std::unique_ptr<juce::InterProcessLock> lock;
    bool held = false;
   #else
    int handle = -1;
   #endif
};

}
