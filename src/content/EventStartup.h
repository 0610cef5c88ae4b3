#pragma once

#include "content/TrackableEvent.h"

/** The program started: build, system, region and the installation and session ids. */
class EventStartup : public TrackableEvent
{
public:
    EventStartup (const juce::Uuid& installId, const juce::Uuid& sessionId);
};
