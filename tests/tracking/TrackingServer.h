#pragma once

#include "app/Belvora.h"
#include "platform/Clock.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

/** A tracking endpoint on 127.0.0.1 for one test, fresh settings, and helpers
    to read what arrived. */
class TrackingTest : public testing::Test
{
protected:
    static constexpr const char* base = "/belvora-2/php/tracking-1.0/";

    void SetUp() override
    {
        TestEnvironment::clearHome();
        Belvora::releaseAppProperties();
        Belvora::configureAppProperties();
        ASSERT_TRUE (server.start());
        ::setenv ("BELVORA_TRACKING_URL", (server.getBaseUrl() + "/belvora-2").toRawUTF8(), 1);
    }

    void TearDown() override
    {
        server.stop();
        ::setenv ("BELVORA_TRACKING_URL", "http://127.0.0.1:9/belvora-2", 1);
        platform::Clock::setScale (1.0);
        Belvora::releaseAppProperties();
    }

    static juce::String script (const juce::String& name)   { return base + name; }

    void answer (const juce::String& name, const LocalServer::Answer& a)  { server.setAnswer (script (name), a); }

    void setOptIn (bool on)
    {
        Belvora::getAppProperties().getUserSettings()->setValue ("dataTrackingOptIn", on);
    }

    /** The posted requests as "script" names, in arrival order. */
    juce::StringArray postedScripts() const
    {
        juce::StringArray names;

        for (const auto& request : server.getRequests())
            if (request.method == "POST")
                names.add (request.path.fromLastOccurrenceOf ("/", false, false));

        return names;
    }

    static juce::StringArray keysOf (const LocalServer::Request& request)
    {
        juce::StringArray keys;

        for (const auto& parameter : request.parameters)
            keys.add (parameter.first);

        return keys;
    }

    LocalServer server;
};
