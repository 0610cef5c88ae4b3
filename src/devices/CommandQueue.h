#pragma once

#include "base/DeviceCommandMessage.h"
#include "platform/CriticalSection.h"

#include <juce_core/juce_core.h>

#include <atomic>

/** The queue of device commands of one worker thread (the device manager or a
    device object), plus the state of the transaction in progress. Other
    threads post; the owner takes one command at a time. */
class CommandQueue
{
public:
    /** The state of the transaction in progress. */
    enum class State
    {
        idle    = 0,
        running = 1,
        locked  = 2,    // a thread is taking or clearing the list
        done    = 3,    // the awaited reply (or every awaited packet) arrived
        abort   = 4,
        error   = 15    // failed; the error code is on the unit
    };

    explicit CommandQueue (juce::Thread& owner);
    ~CommandQueue();

    /** Appends a copy and wakes the owner; dropped when a thread involved is stopping. */
    void post (const DeviceCommandMessage& message);

    /** Takes the oldest command; the state becomes running, or (setRunning false)
        stays what it was. False when the queue is empty. */
    bool pop (DeviceCommandMessage& out, bool setRunning);

    /** Copies the oldest command without removing it; the state becomes running. */
    bool peek (DeviceCommandMessage& out);

    /** Deletes every command; the state becomes idle. */
    void clear();

    State getState() const noexcept            { return state.load(); }
    void setState (State newState) noexcept    { state.store (newState); }

    /** Sets newState when the state is currently expected; true when it was set. */
    bool compareAndSetState (State expected, State newState) noexcept { return state.compare_exchange_strong (expected, newState); }

    /** Sets running unless an abort was asked for, which must not be lost; false then. */
    bool setRunningUnlessAborted() noexcept;

    /** Sets abort unless the transaction failed; false then. */
    bool requestAbort() noexcept;

    int size() const noexcept                  { return count.load(); }
    bool isEmpty() const noexcept              { return size() == 0; }

private:
    bool takeFirst (DeviceCommandMessage& out, bool remove, bool setRunning);
    bool takeLock() const;
    bool replaceUnless (State kept, State newState) noexcept;

    juce::Thread& owner;
    juce::OwnedArray<DeviceCommandMessage> messages;
    std::atomic<State> state { State::idle };
    std::atomic<int> count { 0 };
    platform::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE (CommandQueue)
};
