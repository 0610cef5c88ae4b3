#pragma once

#include "tracking/TrackableEvent.h"
#include "platform/CriticalSection.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

/** Sends usage events to the tracking server on its own thread.

    At start it reports the program start and keeps the session key of the
    reply, reports a new installation, then sends whatever other parts queue,
    each request carrying the session key. Nothing is sent in developer mode,
    and only the installation report while the user has turned usage data off
    ("dataTrackingOptIn"). */
class EventTracker : public juce::Thread
{
public:
    /** What the tracker takes from the application at construction. */
    struct Setup
    {
        juce::Uuid installId;
        bool developerMode = false;     // sends nothing at all
        bool newInstallation = false;   // the installation id was made in this start
    };

    explicit EventTracker (const Setup& setup);
    ~EventTracker() override;

    /** Queues an event at index (negative or past the end: at the end) and wakes
        the thread unless dontWake. Always takes ownership. Returns true when the
        event was queued or dropped as a repeated connection, false when refused. */
    bool addEvent (TrackableEvent* event, int index = -1, bool dontWake = false);

    /** Sends up to count queued events front first (all when count <= 0) and
        returns their replies. Runs on the tracker's own thread. */
    juce::StringArray sendQueued (int count);

    /** Sends the start-up report at once and keeps the session key of its reply. */
    void sendStartupEvent();

    void run() override;

    /** Gives the queue a moment to go out, then stops the thread, ending a
        request in flight. Called by the hub's quit and by the destructor. */
    void stop();

    int getSessionKey() const noexcept      { return sessionKey.load(); }
    bool isTrackingEnabled() const noexcept { return trackingEnabled; }
    int getNumQueued() const;

    /** True while the thread waits for an event with nothing queued. */
    bool isIdle() const noexcept            { return idle.load(); }

    /** The user's choice about usage data; on unless turned off. */
    static bool isOptedIn();

    /** The leading decimal integer of a start-up reply; 0 when there is none. */
    static int parseSessionKey (const juce::String& reply);

private:
    bool isRepeatedConnection (const TrackableEvent& event);
    std::unique_ptr<TrackableEvent> takeFront();
    bool isQueueEmpty() const;

    const juce::Uuid installId;
    const juce::Uuid sessionId;
    std::atomic<int> sessionKey { 0 };

    // One entry per serial whose connection was reported in this run.
    platform::CriticalSection connectionLock;
    juce::Array<int> connectedSerials;
    juce::Array<int16_t> connectedBuilds;

    const bool trackingEnabled;
    const bool newInstallation;
    const int idleWaitMs = 3600000;
    std::atomic<bool> idle { false };

    platform::CriticalSection queueLock;
    juce::OwnedArray<TrackableEvent> queue;

    JUCE_DECLARE_NON_COPYABLE (EventTracker)
};
