#pragma once

#include "content/TrackableDeviceManagerEvent.h"

/** The active unit was connected. */
class EventConnection : public TrackableDeviceManagerEvent
{
public:
    explicit EventConnection (const Unit& activeUnit);

    /** Reads the active unit through the hub's query; goes once the device
        layer hands the unit over. */
    EventConnection();
};
