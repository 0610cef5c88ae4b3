#pragma once

#include "tracking/EventParameterSet.h"

/** One usage event: a tracking script and its parameters. */
class TrackableEvent
{
public:
    explicit TrackableEvent (const juce::String& scriptName);
    virtual ~TrackableEvent() = default;

    virtual juce::URL getUrl() const;
    virtual juce::String getLogText() const;

    const EventParameterSet& getParameters() const noexcept  { return parameters; }

protected:
    EventParameterSet parameters;

private:
    JUCE_DECLARE_NON_COPYABLE (TrackableEvent)
};
