#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace platform
{

/** A lane of the program's one writes thread. Every file the program keeps
    is written there, one write at a time, those of a lane in the order they
    were handed over, so that the message thread hands them over and goes on.
    Each job owns what it writes. A lane going away waits until its jobs have
    run: nothing handed over is dropped, and the thread is never killed (it
    waits for work for as long as the program runs). */
class WriteQueue
{
public:
    WriteQueue();
    ~WriteQueue();
    WriteQueue (const WriteQueue&) = delete;
    WriteQueue& operator= (const WriteQueue&) = delete;

    /** Any thread; the writes thread starts with the first job of the program.
        whenWritten, if any, is posted to the message thread once the job has
        run, after whatever the job posted itself. */
    void post (std::function<void()> job, std::function<void()> whenWritten = {});

    /** Returns once every job handed over to this lane so far has run. Not
        for the message thread while its loop runs: it hands over and is told. */
    void waitUntilIdle();

    /** Returns once every job handed over to any lane so far has run. */
    static void waitUntilAllIdle();

    /** The writes thread (none before the first job). */
    static std::thread::id getThreadId();

    struct Lane;

private:
    std::shared_ptr<Lane> lane;
};

} // namespace platform
