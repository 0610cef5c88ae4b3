#include "tracking/TrackableEvent.h"

TrackableEvent::TrackableEvent (const juce::String& scriptName)
    : parameters (scriptName)
{
}

juce::URL TrackableEvent::getUrl() const
{
    return parameters.createUrl();
}

juce::String TrackableEvent::getLogText() const
{
    return parameters.toLogText();
}
