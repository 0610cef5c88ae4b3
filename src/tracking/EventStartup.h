#pragma once

#include "tracking/TrackableEvent.h"

/** The program started: build, system, region and the installation and session ids. */
class EventStartup : public TrackableEvent
{
public:
    EventStartup (const juce::Uuid& installId, const juce::Uuid& sessionId);

    /** The two-letter ISO 3166 country code of the user's locale; empty when it names none. */
    static juce::String getUserRegion();

    /** The country of a POSIX locale name: "en_US.UTF-8" and "de_DE@euro" give "US"
        and "DE"; "C", "POSIX" and names without a two-letter country give nothing. */
    static juce::String regionOfLocale (const juce::String& locale);
};
