#include "tracking/TrackableDeviceManagerEvent.h"

TrackableDeviceManagerEvent::TrackableDeviceManagerEvent (const juce::String& scriptName, const Unit& activeUnit)
    : TrackableEvent (scriptName),
      time (juce::Time::getCurrentTime()),
      productId (activeUnit.productId),
      serial (activeUnit.serial),
      version (activeUnit.version),
      displayName (activeUnit.displayName)
{
}
