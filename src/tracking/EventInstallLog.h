#pragma once

#include "tracking/TrackableEvent.h"

/** A new installation, with the user's choice about usage data. */
class EventInstallLog : public TrackableEvent
{
public:
    explicit EventInstallLog (bool allowTracking);
};
