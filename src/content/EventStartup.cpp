#include "content/EventStartup.h"

#include "model/FirmwareVersion.h"

EventStartup::EventStartup (const juce::Uuid& installId, const juce::Uuid& sessionId)
    : TrackableEvent (TrackingNames::runScript)
{
    parameters.add (TrackingNames::buildNumber, (int) getApplicationVersionRecord().build);
    parameters.add (TrackingNames::os, juce::SystemStats::getOperatingSystemName());
    parameters.add (TrackingNames::region, juce::SystemStats::getUserRegion());
    parameters.add (TrackingNames::installToken, installId.toString());
    parameters.add (TrackingNames::sessionId, sessionId.toString());
}
