#include "devices/CommandQueue.h"

#include "platform/Clock.h"

CommandQueue::CommandQueue (juce::Thread& ownerThread) : owner (ownerThread)
{
}

CommandQueue::~CommandQueue()
{
    const platform::ScopedLock guard (lock);
    messages.clear();
}

// Gives up when the owner or the calling worker is asked to stop, so a
// stopping thread never hangs on a queue. The message thread keeps spinning.
bool CommandQueue::takeLock() const
{
    while (! lock.tryEnter())
    {
        if (owner.threadShouldExit())
            return false;

        if (auto* caller = juce::Thread::getCurrentThread())
        {
            if (caller->threadShouldExit())
                return false;

            platform::Clock::yield();
        }
    }

    return true;
}

void CommandQueue::post (const DeviceCommandMessage& message)
{
    if (owner.threadShouldExit() || ! takeLock())
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
    const auto before = state.exchange (locked);

    if (! takeLock())
        return false;

    // A clear() that slipped in meanwhile has made the queue idle; keep that.
    auto expected = static_cast<int> (locked);

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

    state.compare_exchange_strong (expected, setRunning ? running : before);
    lock.leave();
    return true;
}

void CommandQueue::clear()
{
    state.store (locked);

    if (! takeLock())
        return;

    messages.clear();
    count.store (0);
    state.store (idle);
    lock.leave();
}
