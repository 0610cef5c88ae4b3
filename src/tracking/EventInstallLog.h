#pragma once

#include "content/TrackableEvent.h"

/** A new installation, with the user's choice about usage data. */
class EventInstallLog : public TrackableEvent
{
public:
    explicit EventInstallLog (bool allowTracking);
};
