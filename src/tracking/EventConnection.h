#pragma once

#include "tracking/TrackableDeviceManagerEvent.h"

/** The active unit was connected. */
class EventConnection : public TrackableDeviceManagerEvent
{
public:
    explicit EventConnection (const Unit& activeUnit);
};
