#include "TrackingServer.h"

#include "content/EventDeviceActivation.h"
#include "content/EventInstallLog.h"
#include "content/EventUpdate.h"

namespace
{
    juce::StringArray keysOf (const EventParameterSet& set)
    {
        juce::StringArray keys;
        const auto url = set.createUrl();

        for (const auto& name : url.getParameterNames())
            keys.add (name);

        return keys;
    }
}

TEST (UsageEvents, ParameterSetKeepsOrderRefusesRepeatsAndLogs)
{
    EventParameterSet set ("db_test.php");
    EXPECT_EQ (set.toLogText(), "db_test.php");

    EXPECT_TRUE (set.add ("b", 2));
    EXPECT_TRUE (set.add ("a", "x y"));
    EXPECT_FALSE (set.add ("b", 3));
    EXPECT_TRUE (set.add ("flag", true));

    EXPECT_EQ (set.toLogText(), "db_test.php b='2' a='x y' flag='1'");

    const auto url = set.createUrl();
    EXPECT_EQ (url.toString (false), Belvora::getTrackingUrl() + "db_test.php");
    EXPECT_EQ (url.getParameterNames(), juce::StringArray ({ "b", "a", "flag" }));
    EXPECT_EQ (url.getParameterValues(), juce::StringArray ({ "2", "x y", "1" }));
}

TEST (UsageEvents, EventsCarryTheirScriptsKeysAndValueForms)
{
    const EventInstallLog install (false);
    EXPECT_EQ (install.getLogText(), "db_bv_install.php allow_tracking='0'");

    const EventDeviceActivation activation (1234, "Vocal Unit", juce::Time (2023, 11, 31, 23, 59, 58));
    EXPECT_EQ (activation.getLogText(),
               "db_device_activate.php serial='1234' product='Vocal Unit' date='2023-12-31 23:59:58'");

    // Without an active unit the device fields read 255, -1 and build 0.
    const EventUpdate offered ({}, FirmwareVersion (0, 1, 2, 3, 300), true);
    EXPECT_EQ (keysOf (offered.getParameters()),
               juce::StringArray ({ "serial", "product_id", "start_build", "target_build", "exit_code", "description_read" }));
    EXPECT_EQ (offered.getLogText(),
               "db_device_update.php serial='-1' product_id='255' start_build='0' target_build='300' exit_code='0' description_read='1'");

    const EventUpdate finished ({}, FirmwareVersion (0, 1, 0, 0, 200), FirmwareVersion (0, 1, 0, 0, -2), false, 3);
    EXPECT_EQ (finished.getUrl().getParameterValues(),
               juce::StringArray ({ "-1", "255", "200", "-2", "3", "0" }));
}

TEST_F (TrackingTest, DirectPostReadsTheTrimmedReplyAndNothingOnErrors)
{
    EventParameterSet lookup ("db_query_find_device.php");
    lookup.add ("serial", 77);

    answer ("db_query_find_device.php", LocalServer::Answer::text ("  Yes\r\n"));
    EXPECT_EQ (lookup.postAndReadResponse(), "Yes");

    answer ("db_query_find_device.php", LocalServer::Answer::error (500));
    EXPECT_EQ (lookup.postAndReadResponse(), "");

    LocalServer::Answer garbage;
    garbage.body = "\xff\xfe No";
    answer ("db_query_find_device.php", garbage);
    EXPECT_EQ (lookup.postAndReadResponse(), "");

    const auto posts = server.getRequests ("POST", script ("db_query_find_device.php"));
    ASSERT_EQ (posts.size(), 3u);
    EXPECT_EQ (posts[0].getParameter ("serial"), "77");
    EXPECT_FALSE (posts[0].hasParameter ("session_key"));
}
