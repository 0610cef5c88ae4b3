#include "tracking/EventTracker.h"

#include "base/BelvoraSettings.h"
#include "tracking/EventConnection.h"
#include "tracking/EventInstallLog.h"
#include "tracking/EventStartup.h"
#include "platform/Clock.h"

#include <limits>

namespace
{
    // What a quit gives the queue to go out: a server that answers takes a
    // few of them; a silent one must not hold the quit.
    constexpr int drainTimeMs = 400;
    constexpr int drainPollMs = 10;
}

EventTracker::EventTracker (const Setup& setup)
    : juce::Thread ("Event Tracker"),
      installId (setup.installId),
      trackingEnabled (! setup.developerMode),
      newInstallation (setup.newInstallation)
{
    // The settings open lazily; make sure that happens here, on the creating
    // thread, and not in two threads at once once events arrive.
    isOptedIn();
    startThread (juce::Thread::Priority::low);
}

EventTracker::~EventTracker()
{
    stop();

    const platform::ScopedLock lock (queueLock);
    queue.clear();
}

void EventTracker::stop()
{
    if (! isQueueEmpty())
    {
        notify();
        const auto deadline = platform::Clock::deadlineAfter (drainTimeMs);

        while (! isQueueEmpty() && ! platform::Clock::hasPassed (deadline) && isThreadRunning())
            platform::Clock::sleep (drainPollMs);
    }

    // A request in flight ends at the stop request and so does the idle
    // wait: the thread ends by itself and is only joined.
    signalThreadShouldExit();
    notify();
    stopThread (-1);
}

bool EventTracker::isOptedIn()
{
    auto* settings = BelvoraSettings::getAppProperties().getUserSettings();
    return settings == nullptr || settings->getBoolValue ("dataTrackingOptIn", true);
}

bool EventTracker::addEvent (TrackableEvent* newEvent, int index, bool dontWake)
{
    std::unique_ptr<TrackableEvent> event (newEvent);

    if (event == nullptr || ! trackingEnabled)
        return false;

    if (! isOptedIn() && dynamic_cast<EventInstallLog*> (event.get()) == nullptr)
        return false;

    if (isRepeatedConnection (*event))
        return true;

    {
        const platform::ScopedLock lock (queueLock);
        const auto position = (index < 0 || index > queue.size()) ? queue.size() : index;
        queue.insert (position, event.release());
    }

    if (! dontWake)
        notify();

    return true;
}

bool EventTracker::isRepeatedConnection (const TrackableEvent& event)
{
    auto* connection = dynamic_cast<const EventConnection*> (&event);

    if (connection == nullptr)
        return false;

    const auto serial = connection->getSerial();
    const auto build = connection->getVersion().build;

    const platform::ScopedLock lock (connectionLock);
    const auto found = connectedSerials.indexOf (serial);

    if (found >= 0)
    {
        if (connectedBuilds[found] == build)
            return true;

        connectedSerials.remove (found);
        connectedBuilds.remove (found);
    }

    connectedSerials.add (serial);
    connectedBuilds.add (build);
    return false;
}

std::unique_ptr<TrackableEvent> EventTracker::takeFront()
{
    const platform::ScopedLock lock (queueLock);

    if (queue.isEmpty())
        return {};

    return std::unique_ptr<TrackableEvent> (queue.removeAndReturn (0));
}

bool EventTracker::isQueueEmpty() const
{
    const platform::ScopedLock lock (queueLock);
    return queue.isEmpty();
}

int EventTracker::getNumQueued() const
{
    const platform::ScopedLock lock (queueLock);
    return queue.size();
}

juce::StringArray EventTracker::sendQueued (int count)
{
    auto n = getNumQueued();

    if (count > 0)
        n = juce::jmin (count, n);

    juce::StringArray replies;

    for (int i = 0; i < n && ! threadShouldExit(); ++i)
    {
        auto event = takeFront();

        if (event == nullptr)
            continue;

        const auto url = event->getUrl().withParameter (TrackingNames::sessionKey, juce::String (sessionKey.load()));
        DBG ("Tracking: " << event->getLogText());
        replies.add (EventParameterSet::post (url));
        platform::Clock::yield();
    }

    return replies;
}

void EventTracker::sendStartupEvent()
{
    if (! addEvent (new EventStartup (installId, sessionId), 0, true))
        return;

    const auto replies = sendQueued (1);
    sessionKey.store (parseSessionKey (replies[0]));
}

int EventTracker::parseSessionKey (const juce::String& reply)
{
    auto p = reply.getCharPointer();

    while (p.isWhitespace())
        ++p;

    const bool negative = *p == '-';

    if (*p == '-' || *p == '+')
        ++p;

    if (! p.isDigit())
        return 0;

    juce::int64 value = 0;

    for (; p.isDigit(); ++p)
    {
        value = value * 10 + (*p - '0');

        if (value > std::numeric_limits<int>::max())
            return 0;
    }

    return (int) (negative ? -value : value);
}

void EventTracker::run()
{
    sendStartupEvent();

    if (newInstallation)
        addEvent (new EventInstallLog (isOptedIn()), -1, false);

    while (! threadShouldExit())
    {
        if (isQueueEmpty())
        {
            idle = true;
            wait (idleWaitMs);
            idle = false;
        }

        if (! threadShouldExit() && ! isQueueEmpty())
            sendQueued (0);

        platform::Clock::yield();
    }
}
