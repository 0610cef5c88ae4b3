#include "tracking/EventStartup.h"

#include "model/FirmwareVersion.h"

EventStartup::EventStartup (const juce::Uuid& installId, const juce::Uuid& sessionId)
    : TrackableEvent (TrackingNames::runScript)
{
    parameters.add (TrackingNames::buildNumber, (int) getApplicationVersionRecord().build);
    parameters.add (TrackingNames::os, juce::SystemStats::getOperatingSystemName());
    parameters.add (TrackingNames::region, getUserRegion());
    parameters.add (TrackingNames::installToken, installId.toString());
    parameters.add (TrackingNames::sessionId, sessionId.toString());
}

juce::String EventStartup::getUserRegion()
{
   #if JUCE_LINUX || JUCE_BSD
    // The framework gives the territory's full name here ("United States"),
    // or nothing; the locale the user chose names the code itself.
    for (auto* name : { "LC_ALL", "LC_MESSAGES", "LANG" })
    {
        const auto locale = juce::SystemStats::getEnvironmentVariable (name, {});

        if (locale.isNotEmpty())
            return regionOfLocale (locale);
    }

    return {};
   #else
    return juce::SystemStats::getUserRegion();
   #endif
}

juce::String EventStartup::regionOfLocale (const juce::String& locale)
{
    const auto territory = locale.fromFirstOccurrenceOf ("_", false, false).initialSectionNotContaining (".@");

    if (territory.length() != 2 || ! territory.containsOnly ("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"))
        return {};

    return territory.toUpperCase();
}
