#include "devices/CommandQueue.h"

#include <gtest/gtest.h>

namespace
{
    struct Owner : juce::Thread
    {
        Owner() : juce::Thread ("owner") {}
        void run() override {}
    };
}

TEST (CommandQueue, TakesCommandsOldestFirst)
{
    Owner owner;
    CommandQueue queue (owner);

    queue.post (DeviceCommandMessage (DeviceCommandMessage::readAll));
    queue.post (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 1, 2 }));
    EXPECT_EQ (queue.size(), 2);

    DeviceCommandMessage out;
    ASSERT_TRUE (queue.peek (out));
    EXPECT_EQ (out.command, DeviceCommandMessage::readAll);
    EXPECT_EQ (queue.getState(), CommandQueue::State::running);
    EXPECT_EQ (queue.size(), 2);

    ASSERT_TRUE (queue.pop (out, true));
    ASSERT_TRUE (queue.pop (out, true));
    EXPECT_EQ (out.command, DeviceCommandMessage::readPresets);
    EXPECT_EQ (out.arguments, juce::Array<int> ({ 1, 2 }));
    EXPECT_TRUE (queue.isEmpty());
}

TEST (CommandQueue, EmptyQueueLeavesStateAlone)
{
    Owner owner;
    CommandQueue queue (owner);
    queue.setState (CommandQueue::State::error);

    DeviceCommandMessage out;
    EXPECT_FALSE (queue.pop (out, true));
    EXPECT_FALSE (queue.peek (out));
    EXPECT_EQ (queue.getState(), CommandQueue::State::error);
}

TEST (CommandQueue, PopWithoutRunningKeepsTheTransactionsState)
{
    Owner owner;
    CommandQueue queue (owner);
    DeviceCommandMessage out;

    for (auto state : { CommandQueue::State::idle, CommandQueue::State::abort, CommandQueue::State::error })
    {
        queue.post (DeviceCommandMessage (DeviceCommandMessage::readSetup));
        queue.setState (state);
        ASSERT_TRUE (queue.pop (out, false));
        EXPECT_EQ (queue.getState(), state);
    }
}

TEST (CommandQueue, ClearDeletesEverythingAndGoesIdle)
{
    Owner owner;
    CommandQueue queue (owner);

    for (int i = 0; i < 3; ++i)
        queue.post (DeviceCommandMessage (DeviceCommandMessage::readAll));

    queue.setState (CommandQueue::State::error);
    queue.clear();
    EXPECT_TRUE (queue.isEmpty());
    EXPECT_EQ (queue.getState(), CommandQueue::State::idle);
}

TEST (CommandQueue, PostToAStoppingOwnerIsDropped)
{
    Owner owner;
    CommandQueue queue (owner);
    owner.signalThreadShouldExit();

    queue.post (DeviceCommandMessage (DeviceCommandMessage::readAll));
    EXPECT_TRUE (queue.isEmpty());
}

TEST (CommandQueue, AnAskedForAbortIsNeverOverwrittenByTheNextStep)
{
    Owner owner;
    CommandQueue queue (owner);

    for (auto state : { CommandQueue::State::idle, CommandQueue::State::done, CommandQueue::State::error })
    {
        queue.setState (state);
        EXPECT_TRUE (queue.setRunningUnlessAborted());
        EXPECT_EQ (queue.getState(), CommandQueue::State::running);
    }

    queue.setState (CommandQueue::State::abort);
    EXPECT_FALSE (queue.setRunningUnlessAborted());
    EXPECT_EQ (queue.getState(), CommandQueue::State::abort);
    EXPECT_FALSE (queue.compareAndSetState (CommandQueue::State::running, CommandQueue::State::done));
    EXPECT_EQ (queue.getState(), CommandQueue::State::abort);
}
