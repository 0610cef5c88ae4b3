#pragma once

/** Sends usage events to the tracking server. (Stand-in until usage tracking is built.) */
class EventTracker
{
public:
    EventTracker() = default;
};
