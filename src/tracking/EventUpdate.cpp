#include "tracking/EventUpdate.h"

EventUpdate::EventUpdate (const Unit& activeUnit, const FirmwareVersion& target, bool descriptionRead)
    : TrackableDeviceManagerEvent (TrackingNames::deviceUpdateScript, activeUnit)
{
    addParameters (version.build, target.build, descriptionRead, 0);
}

EventUpdate::EventUpdate (const Unit& activeUnit, const FirmwareVersion& start, const FirmwareVersion& target, bool descriptionRead,
                          int exitCode)
    : TrackableDeviceManagerEvent (TrackingNames::deviceUpdateScript, activeUnit)
{
    addParameters (start.build, target.build, descriptionRead, exitCode);
}

void EventUpdate::addParameters (int startBuild, int targetBuild, bool descriptionRead, int exitCode)
{
    parameters.add (TrackingNames::serial, serial);
    parameters.add (TrackingNames::productId, (int) productId);
    parameters.add (TrackingNames::startBuild, startBuild);
    parameters.add (TrackingNames::targetBuild, targetBuild);
    parameters.add (TrackingNames::exitCode, exitCode);
    parameters.add (TrackingNames::descriptionRead, descriptionRead);
}
