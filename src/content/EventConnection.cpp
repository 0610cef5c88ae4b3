#include "content/EventConnection.h"

EventConnection::EventConnection()
    : TrackableDeviceManagerEvent (TrackingNames::deviceConnectScript)
{
    parameters.add (TrackingNames::serial, serial);
    parameters.add (TrackingNames::productId, (int) productId);
    parameters.add (TrackingNames::build, (int) version.build);
}
