#include "TrackingServer.h"

#include "tracking/EventConnection.h"
#include "tracking/EventDeviceActivation.h"
#include "tracking/EventInstallLog.h"
#include "tracking/EventStartup.h"
#include "tracking/EventUpdate.h"

#include <cstdlib>
#include <map>

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

    // Sets locale variables for one test and puts the old values back.
    struct LocaleVariables
    {
        LocaleVariables()
        {
            for (auto* name : names)
                if (auto* value = std::getenv (name))
                    saved[name] = value;
        }

        ~LocaleVariables()
        {
            for (auto* name : names)
                saved.count (name) != 0 ? ::setenv (name, saved[name].c_str(), 1) : ::unsetenv (name);
        }

        void set (const char* all, const char* messages, const char* lang)
        {
            const char* values[] = { all, messages, lang };

            for (int i = 0; i < 3; ++i)
                values[i] != nullptr ? ::setenv (names[i], values[i], 1) : ::unsetenv (names[i]);
        }

        static constexpr const char* names[] = { "LC_ALL", "LC_MESSAGES", "LANG" };
        std::map<std::string, std::string> saved;
    };
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

TEST (UsageEvents, DeviceEventsCarryTheUnitTheyWereMadeFor)
{
    const TrackableDeviceManagerEvent::Unit unit { 0x12, 10000077, FirmwareVersion (0, 1, 4, 0, 140), "Vesper Black" };

    const EventConnection connection (unit);
    EXPECT_EQ (connection.getLogText(), "db_device_connect.php serial='10000077' product_id='18' build_num='140'");
    EXPECT_EQ (connection.getDisplayName(), "Vesper Black");

    const EventUpdate offered (unit, FirmwareVersion (0, 1, 5, 0, 150), false);
    EXPECT_EQ (offered.getUrl().getParameterValues(), juce::StringArray ({ "10000077", "18", "140", "150", "0", "0" }));
}

TEST (UsageEvents, RegionIsTheCountryCodeOfTheLocale)
{
    for (auto [locale, region] : std::initializer_list<std::pair<const char*, const char*>> {
             { "en_US.UTF-8", "US" }, { "de_DE@euro", "DE" }, { "pt_br", "BR" }, { "sr_RS.UTF-8@latin", "RS" },
             { "C", "" }, { "POSIX", "" }, { "C.UTF-8", "" }, { "en", "" }, { "es_419.UTF-8", "" }, { "en_USA", "" }, { "", "" } })
    {
        EXPECT_EQ (EventStartup::regionOfLocale (locale), region) << locale;
    }

   #if JUCE_LINUX
    // The first variable set decides, as for the C library's messages.
    LocaleVariables variables;
    variables.set (nullptr, "de_AT.UTF-8", "en_GB.UTF-8");
    EXPECT_EQ (EventStartup::getUserRegion(), "AT");
    variables.set ("fr_CA.UTF-8", "de_AT.UTF-8", "en_GB.UTF-8");
    EXPECT_EQ (EventStartup::getUserRegion(), "CA");
    variables.set (nullptr, nullptr, "C");
    EXPECT_EQ (EventStartup::getUserRegion(), "");
    variables.set (nullptr, nullptr, nullptr);
    EXPECT_EQ (EventStartup::getUserRegion(), "");

    variables.set (nullptr, nullptr, "en_US.UTF-8");
    EXPECT_TRUE (EventStartup ({}, {}).getLogText().contains ("region='US'"));
   #endif
}
