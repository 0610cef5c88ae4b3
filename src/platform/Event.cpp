#include "platform/Event.h"

#include <chrono>

namespace platform
{

void Event::set()
{
    {
        std::lock_guard lock (mutex);
        signalled = true;
    }

    if (manual)
        condition.notify_all();
    else
        condition.notify_one();
}

void Event::reset()
{
    std::lock_guard lock (mutex);
    signalled = false;
}

bool Event::wait (int timeoutMs)
{
    std::unique_lock lock (mutex);

    if (timeoutMs < 0)
        condition.wait (lock, [this] { return signalled; });
    else if (! condition.wait_for (lock, std::chrono::milliseconds (timeoutMs), [this] { return signalled; }))
        return false;

    if (! manual)
        signalled = false;

    return true;
}

bool Event::isSet() const
{
    std::lock_guard lock (mutex);
    return signalled;
}

} // namespace platform
