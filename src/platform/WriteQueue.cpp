#include "platform/WriteQueue.h"

namespace platform
{

WriteQueue::~WriteQueue()
{
    {
        std::lock_guard hold (lock);
        stopping = true;
    }

    wake.notify_all();

    if (thread.joinable())
        thread.join();
}

void WriteQueue::post (std::function<void()> job)
{
    {
        std::lock_guard hold (lock);
        jobs.push_back (std::move (job));

        if (! thread.joinable())
            thread = std::thread ([this] { run(); });
    }

    wake.notify_one();
}

void WriteQueue::waitUntilIdle()
{
    std::unique_lock hold (lock);
    idle.wait (hold, [this] { return jobs.empty() && ! running; });
}

void WriteQueue::run()
{
    std::unique_lock hold (lock);

    for (;;)
    {
        wake.wait (hold, [this] { return stopping || ! jobs.empty(); });

        if (jobs.empty())
            return;   // stopping, with everything written

        auto job = std::move (jobs.front());
        jobs.pop_front();
        running = true;

        hold.unlock();
        job();
        job = nullptr;
        hold.lock();

        running = false;

        if (jobs.empty())
            idle.notify_all();
    }
}

} // namespace platform
