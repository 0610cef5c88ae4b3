#pragma once

#include "tracking/TrackableEvent.h"

/** One remembered unit of this user, reported after a scan. */
class EventLogUserDevice : public TrackableEvent
{
public:
    EventLogUserDevice (int serial, int productId, int build, juce::Time dateDetected);
};
