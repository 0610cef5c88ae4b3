#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform
{

/** One thread that runs file writes in the order they were handed over, so
    that the message thread hands them over and goes on. Each job owns what
    it writes. Going away runs what is queued and joins the thread: nothing
    handed over is dropped, no thread is killed. */
class WriteQueue
{
public:
    WriteQueue() = default;
    ~WriteQueue();
    WriteQueue (const WriteQueue&) = delete;
    WriteQueue& operator= (const WriteQueue&) = delete;

    /** Any thread; the thread starts with the first job. */
    void post (std::function<void()> job);

    /** Returns once every job handed over so far has run. */
    void waitUntilIdle();

private:
    void run();

    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<std::function<void()>> jobs;
    bool running = false;    // a job is being run
    bool stopping = false;
    std::thread thread;
};

} // namespace platform
