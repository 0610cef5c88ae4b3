#pragma once

#include <condition_variable>
#include <mutex>

namespace platform
{

/** A signalling event: set wakes one waiter (auto-reset) or all (manual-reset). */
class Event
{
public:
    explicit Event (bool manualReset = false) : manual (manualReset) {}
    Event (const Event&) = delete;
    Event& operator= (const Event&) = delete;

    void set();
    void reset();

    /** Waits until the event is set or timeoutMs has passed (negative: no limit).
        Returns true when the event was set. An auto-reset event is cleared on return. */
    bool wait (int timeoutMs = -1);

    bool isSet() const;

private:
    const bool manual;
    mutable std::mutex mutex;
    std::condition_variable condition;
    bool signalled = false;
};

} // namespace platform
