#include "tracking/EventLogUserDevice.h"

EventLogUserDevice::EventLogUserDevice (int serial, int productId, int build, juce::Time dateDetected)
    : TrackableEvent (TrackingNames::userLogDeviceScript)
{
    parameters.add (TrackingNames::serial, serial);
    parameters.add (TrackingNames::productId, productId);
    parameters.add (TrackingNames::build, (int) (int16_t) build);
    parameters.add (TrackingNames::dateDetected, EventParameterSet::formatDate (dateDetected));
}
