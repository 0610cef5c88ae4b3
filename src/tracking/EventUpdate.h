#pragma once

#include "tracking/TrackableDeviceManagerEvent.h"

/** A firmware update of the active unit: offered (exit code 0) or finished. */
class EventUpdate : public TrackableDeviceManagerEvent
{
public:
    EventUpdate (const Unit& activeUnit, const FirmwareVersion& target, bool descriptionRead);
    EventUpdate (const Unit& activeUnit, const FirmwareVersion& start, const FirmwareVersion& target, bool descriptionRead, int exitCode);

private:
    void addParameters (int startBuild, int targetBuild, bool descriptionRead, int exitCode);
};
