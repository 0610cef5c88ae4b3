#include "tracking/EventInstallLog.h"

EventInstallLog::EventInstallLog (bool allowTracking)
    : TrackableEvent (TrackingNames::installScript)
{
    parameters.add (TrackingNames::allowTracking, allowTracking ? 1 : 0);
}
