#include "platform/WriteQueue.h"

#include <juce_events/juce_events.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unistd.h>

namespace platform
{

/** What a lane has handed over and not yet seen run. */
struct WriteQueue::Lane
{
    int pending = 0;    // guarded by the writer's lock
};

namespace
{
    /** The one writes thread and its queue of jobs, in the order handed over
        (which keeps each lane's order). It lives as long as the program: a
        lane may go in the program's last moments (a static's destructor),
        and the thread only ever waits for work then. */
    struct Writer
    {
        struct Job
        {
            std::shared_ptr<WriteQueue::Lane> lane;
            std::function<void()> run;
        };

        std::mutex lock;
        std::condition_variable wake, ran;
        std::deque<Job> jobs;
        int running = 0;
        std::thread::id threadId;
        pid_t process = 0;   // the thread is not in a child forked since

        void post (Job job)
        {
            {
                const std::lock_guard hold (lock);
                ++job.lane->pending;
                jobs.push_back (std::move (job));

                if (process != ::getpid())
                {
                    process = ::getpid();
                    std::thread thread ([this] { run(); });
                    threadId = thread.get_id();
                    thread.detach();
                }
            }

            wake.notify_one();
        }

        // None, or all lanes.
        void waitFor (const WriteQueue::Lane* lane)
        {
            std::unique_lock hold (lock);

            // On the writes thread itself, or in a child process that has none: nothing to wait for.
            if (std::this_thread::get_id() == threadId || process != ::getpid())
                return;

            ran.wait (hold, [this, lane] { return lane != nullptr ? lane->pending == 0 : jobs.empty() && running == 0; });
        }

        void run()
        {
            std::unique_lock hold (lock);

            for (;;)
            {
                wake.wait (hold, [this] { return ! jobs.empty(); });
                auto job = std::move (jobs.front());
                jobs.pop_front();
                running = 1;

                hold.unlock();
                job.run();
                job.run = nullptr;
                hold.lock();

                --job.lane->pending;
                running = 0;
                ran.notify_all();
            }
        }
    };

    Writer& writer()
    {
        static auto* const one = new Writer();
        return *one;
    }
}

WriteQueue::WriteQueue() : lane (std::make_shared<Lane>()) {}

WriteQueue::~WriteQueue()
{
    waitUntilIdle();
}

void WriteQueue::post (std::function<void()> job, std::function<void()> whenWritten)
{
    writer().post ({ lane, [job = std::move (job), whenWritten = std::move (whenWritten)]
    {
        job();

        if (whenWritten != nullptr)
            juce::MessageManager::callAsync (whenWritten);
    } });
}

void WriteQueue::waitUntilIdle()
{
    writer().waitFor (lane.get());
}

void WriteQueue::waitUntilAllIdle()
{
    writer().waitFor (nullptr);
}

std::thread::id WriteQueue::getThreadId()
{
    auto& one = writer();
    const std::lock_guard hold (one.lock);
    return one.threadId;
}

} // namespace platform
