#pragma once

#include "tracking/TrackableEvent.h"

/** Registers a unit with the maker's device database. */
class EventDeviceActivation : public TrackableEvent
{
public:
    EventDeviceActivation (int serial, const juce::String& productName, juce::Time date);
};
