#include "tracking/EventDeviceActivation.h"

EventDeviceActivation::EventDeviceActivation (int serial, const juce::String& productName, juce::Time date)
    : TrackableEvent (TrackingNames::deviceActivateScript)
{
    parameters.add (TrackingNames::serial, serial);
    parameters.add (TrackingNames::product, productName);
    parameters.add (TrackingNames::date, EventParameterSet::formatDate (date));
}
