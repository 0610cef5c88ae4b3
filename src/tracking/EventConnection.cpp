#include "tracking/EventConnection.h"

EventConnection::EventConnection (const Unit& activeUnit)
    : TrackableDeviceManagerEvent (TrackingNames::deviceConnectScript, activeUnit)
{
    parameters.add (TrackingNames::serial, serial);
    parameters.add (TrackingNames::productId, (int) productId);
    parameters.add (TrackingNames::build, (int) version.build);
}
