// The queue of file writes: one job at a time, in the order handed over, and
// nothing handed over is dropped when the queue goes.

#include "platform/WriteQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

TEST (WriteQueue, JobsRunOneAtATimeInTheOrderTheyWereHandedOver)
{
    platform::WriteQueue queue;
    std::vector<int> done;
    std::atomic<int> running { 0 };
    std::atomic<bool> overlapped { false };

    const auto append = [&] (int n)
    {
        return [&, n]
        {
            overlapped = overlapped || running.fetch_add (1) != 0;
            done.push_back (n);
            running.fetch_sub (1);
        };
    };

    for (int n = 0; n < 300; ++n)
        queue.post (append (n));

    queue.waitUntilIdle();
    std::vector<int> expected (300);
    std::iota (expected.begin(), expected.end(), 0);
    EXPECT_EQ (done, expected);
    EXPECT_FALSE (overlapped);

    // Idle, it takes the next job as the first.
    queue.post (append (300));
    queue.waitUntilIdle();
    ASSERT_EQ (done.size(), 301u);
    EXPECT_EQ (done.back(), 300);

    // Every lane is written by the one thread.
    platform::WriteQueue other;
    std::thread::id ranOn;
    other.post ([&ranOn] { ranOn = std::this_thread::get_id(); });
    other.waitUntilIdle();
    EXPECT_EQ (ranOn, platform::WriteQueue::getThreadId());
    EXPECT_NE (ranOn, std::this_thread::get_id());
}

TEST (WriteQueue, GoingAwayRunsEveryJobHandedOverBeforeItReturns)
{
    std::vector<int> done;
    std::atomic<bool> release { false };

    // The first job holds the thread until the queue is being destroyed, so
    // the others are still waiting when it goes.
    std::thread releaser;

    {
        platform::WriteQueue queue;
        queue.post ([&]
        {
            while (! release)
                std::this_thread::yield();

            done.push_back (0);
        });

        for (int n = 1; n <= 50; ++n)
            queue.post ([&done, n] { done.push_back (n); });

        releaser = std::thread ([&release]
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (50));
            release = true;
        });
    }

    releaser.join();
    std::vector<int> expected (51);
    std::iota (expected.begin(), expected.end(), 0);
    EXPECT_EQ (done, expected);

    // A queue that never had a job goes at once, with no thread to join.
    { platform::WriteQueue unused; }
}
