#include "devices/CommandQueue.h"

CommandQueue::CommandQueue (juce::Thread& ownerThread) : owner (ownerThread)
{
}

CommandQueue::~CommandQueue()
{
    const platform::ScopedLock guard (lock);
    messages.clear();
}

// Gives up when the owner or the calling worker is asked to stop, so a
// stopping thread never works on a queue. Holders only copy or move list
// entries, so taking the lock never waits for long.
bool CommandQueue::takeLock() const
{
    if (owner.threadShouldExit() || juce::Thread::currentThreadShouldExit())
        return false;

    lock.enter();
    return true;
}

void CommandQueue::post (const DeviceCommandMessage& message)
{
    if (! takeLock())
        return;

    messages.add (new DeviceCommandMessage (message));
    count.store (messages.size());
    lock.leave();

    owner.notify();
}

bool CommandQueue::pop (DeviceCommandMessage& out, bool setRunning)
{
    return takeFirst (out, true, setRunning);
}

bool CommandQueue::peek (DeviceCommandMessage& out)
{
    return takeFirst (out, false, true);
}

bool CommandQueue::takeFirst (DeviceCommandMessage& out, bool remove, bool setRunning)
{
    const auto before = state.exchange (State::locked);

    // A clear() or an abort that slipped in meanwhile is kept.
    auto expected = State::locked;

    if (! takeLock())
    {
        state.compare_exchange_strong (expected, before);
        return false;
    }

    if (messages.isEmpty())
    {
        state.compare_exchange_strong (expected, before);
        lock.leave();
        return false;
    }

    out.copyFrom (*messages.getFirst());

    if (remove)
    {
        messages.remove (0);
        messages.minimiseStorageOverheads();
        count.store (messages.size());
    }

    state.compare_exchange_strong (expected, setRunning ? State::running : before);
    lock.leave();
    return true;
}

void CommandQueue::clear()
{
    const auto before = state.exchange (State::locked);

    if (! takeLock())
    {
        auto expected = State::locked;
        state.compare_exchange_strong (expected, before);
        return;
    }

    messages.clear();
    count.store (0);
    state.store (State::idle);
    lock.leave();
}

bool CommandQueue::replaceUnless (State kept, State newState) noexcept
{
    auto current = state.load();

    while (current != kept)
        if (state.compare_exchange_weak (current, newState))
            return true;

    return false;
}

bool CommandQueue::setRunningUnlessAborted() noexcept
{
    return replaceUnless (State::abort, State::running);
}

// No need to wait for a list operation (locked) to pass: it ends by a
// compare-and-set from locked, which leaves the abort in place.
bool CommandQueue::requestAbort() noexcept
{
    return replaceUnless (State::error, State::abort);
}
