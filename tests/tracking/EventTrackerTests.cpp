#include "TrackingServer.h"

#include "tracking/EventConnection.h"
#include "tracking/EventInstallLog.h"
#include "tracking/EventLogUserDevice.h"
#include "tracking/EventTracker.h"
#include "tracking/EventUpdate.h"

namespace
{
    EventTracker::Setup setup (bool developer, bool newInstallation)
    {
        EventTracker::Setup s;
        s.installId = juce::Uuid();
        s.developerMode = developer;
        s.newInstallation = newInstallation;
        return s;
    }

    TrackableEvent* deviceLog (int serial)
    {
        return new EventLogUserDevice (serial, 3, 120, juce::Time (2024, 0, 2, 3, 4, 5));
    }

    bool waitUntil (std::function<bool()> condition)
    {
        return TestEnvironment::runMessageLoopUntil (std::move (condition), 15000);
    }
}

TEST_F (TrackingTest, StartupGivesTheSessionKeyThatEveryQueuedEventCarries)
{
    answer ("db_bv_run.php", LocalServer::Answer::text ("4711\n"));
    const auto s = setup (false, true);
    EventTracker tracker (s);

    ASSERT_TRUE (server.waitForRequests (2));
    EXPECT_TRUE (tracker.addEvent (deviceLog (42)));
    ASSERT_TRUE (server.waitForRequests (3));
    EXPECT_EQ (tracker.getSessionKey(), 4711);

    const auto requests = server.getRequests();
    EXPECT_EQ (postedScripts(), juce::StringArray ({ "db_bv_run.php", "db_bv_install.php", "db_user_log_device.php" }));

    const auto& start = requests[0];
    EXPECT_EQ (keysOf (start), juce::StringArray ({ "bv_build_num", "os", "region", "install_token", "session_id", "session_key" }));
    EXPECT_EQ (start.getParameter ("bv_build_num"), "136");
    EXPECT_EQ (start.getParameter ("os"), juce::SystemStats::getOperatingSystemName());
    EXPECT_EQ (start.getParameter ("install_token"), s.installId.toString());
    EXPECT_EQ (start.getParameter ("session_id").length(), 32);
    EXPECT_TRUE (start.getParameter ("session_id").containsOnly ("0123456789abcdef"));
    EXPECT_EQ (start.getParameter ("session_key"), "0");

    EXPECT_EQ (keysOf (requests[1]), juce::StringArray ({ "allow_tracking", "session_key" }));
    EXPECT_EQ (requests[1].getParameter ("allow_tracking"), "1");
    EXPECT_EQ (requests[1].getParameter ("session_key"), "4711");

    EXPECT_EQ (keysOf (requests[2]), juce::StringArray ({ "serial", "product_id", "build_num", "date_detected", "session_key" }));
    EXPECT_EQ (requests[2].getParameter ("serial"), "42");
    EXPECT_EQ (requests[2].getParameter ("date_detected"), "2024-01-02 03:04:05");
    EXPECT_EQ (requests[2].getParameter ("session_key"), "4711");
}

TEST_F (TrackingTest, SessionKeyIsTheLeadingNumberOfTheReply)
{
    EXPECT_EQ (EventTracker::parseSessionKey ("4711\n"), 4711);
    EXPECT_EQ (EventTracker::parseSessionKey ("  -12 ok"), -12);
    EXPECT_EQ (EventTracker::parseSessionKey ("key 12"), 0);
    EXPECT_EQ (EventTracker::parseSessionKey (""), 0);
    EXPECT_EQ (EventTracker::parseSessionKey ("99999999999"), 0);
}

TEST_F (TrackingTest, WithoutAStartupReplyLaterEventsStillGoOutWithKeyZero)
{
    answer ("db_bv_run.php", LocalServer::Answer::error (500));
    EventTracker tracker (setup (false, false));

    ASSERT_TRUE (server.waitForRequests (1));
    tracker.addEvent (deviceLog (1));
    ASSERT_TRUE (server.waitForRequests (2));

    EXPECT_EQ (tracker.getSessionKey(), 0);
    EXPECT_EQ (server.getRequests()[1].getParameter ("session_key"), "0");
}

TEST_F (TrackingTest, DeveloperModeSendsNothing)
{
    EventTracker tracker (setup (true, true));

    EXPECT_FALSE (tracker.addEvent (deviceLog (1)));
    EXPECT_FALSE (tracker.addEvent (new EventInstallLog (true)));
    EXPECT_FALSE (tracker.addEvent (new EventConnection ({})));
    EXPECT_FALSE (tracker.addEvent (nullptr));
    tracker.stop();

    EXPECT_EQ (tracker.getSessionKey(), 0);
    EXPECT_TRUE (server.getRequests().empty());
}

TEST_F (TrackingTest, TurnedOffUsageDataOnlyLetsTheInstallationReportThroughUntilTurnedOn)
{
    setOptIn (false);
    EventTracker tracker (setup (false, true));

    ASSERT_TRUE (server.waitForRequests (1));
    EXPECT_FALSE (tracker.addEvent (deviceLog (1)));
    EXPECT_FALSE (tracker.addEvent (new EventConnection ({})));
    EXPECT_FALSE (tracker.addEvent (new EventUpdate ({}, FirmwareVersion (0, 1, 0, 0, 200), true)));

    setOptIn (true);
    EXPECT_TRUE (tracker.addEvent (deviceLog (2)));
    ASSERT_TRUE (server.waitForRequests (2));

    EXPECT_EQ (postedScripts(), juce::StringArray ({ "db_bv_install.php", "db_user_log_device.php" }));
    EXPECT_EQ (server.getRequests()[0].getParameter ("allow_tracking"), "0");
    EXPECT_EQ (server.getRequests()[1].getParameter ("serial"), "2");
    EXPECT_EQ (tracker.getSessionKey(), 0);
}

TEST_F (TrackingTest, RepeatedConnectionOfTheSameUnitIsDropped)
{
    EventTracker tracker (setup (false, false));
    ASSERT_TRUE (server.waitForRequests (1));

    EXPECT_TRUE (tracker.addEvent (new EventConnection ({})));
    EXPECT_TRUE (tracker.addEvent (new EventConnection ({})));
    EXPECT_TRUE (tracker.addEvent (deviceLog (7)));
    ASSERT_TRUE (server.waitForRequests (3));
    tracker.stop();

    EXPECT_EQ (postedScripts(), juce::StringArray ({ "db_bv_run.php", "db_device_connect.php", "db_user_log_device.php" }));

    // No active unit: the event says so.
    const auto connect = server.getRequests()[1];
    EXPECT_EQ (keysOf (connect), juce::StringArray ({ "serial", "product_id", "build_num", "session_key" }));
    EXPECT_EQ (connect.getParameter ("serial"), "-1");
    EXPECT_EQ (connect.getParameter ("product_id"), "255");
    EXPECT_EQ (connect.getParameter ("build_num"), "0");
}

TEST_F (TrackingTest, QuietEventsWaitForTheNextWakeAndIndexZeroGoesFirst)
{
    answer ("db_bv_run.php", LocalServer::Answer::text ("5"));
    EventTracker tracker (setup (false, false));
    ASSERT_TRUE (waitUntil ([&] { return tracker.getSessionKey() == 5 && tracker.isIdle(); }));

    EXPECT_TRUE (tracker.addEvent (deviceLog (1), -1, true));
    EXPECT_TRUE (tracker.addEvent (deviceLog (2), 99, true));
    EXPECT_TRUE (tracker.isIdle());
    EXPECT_EQ (tracker.getNumQueued(), 2);

    // Had the quiet ones gone out on their own, they would precede the woken one.
    EXPECT_TRUE (tracker.addEvent (deviceLog (3), 0, false));
    ASSERT_TRUE (server.waitForRequests (4));

    const auto requests = server.getRequests();
    EXPECT_EQ (requests[1].getParameter ("serial"), "3");
    EXPECT_EQ (requests[2].getParameter ("serial"), "1");
    EXPECT_EQ (requests[3].getParameter ("serial"), "2");
}

TEST_F (TrackingTest, ShutdownWithASilentServerStopsBetweenRequestsWithoutKilling)
{
    platform::Clock::setScale (0.01);
    answer ("db_user_log_device.php", LocalServer::Answer::silence());
    EventTracker tracker (setup (false, false));
    ASSERT_TRUE (server.waitForRequests (1));

    for (int i = 0; i < 10; ++i)
        tracker.addEvent (deviceLog (i), -1, true);

    tracker.notify();
    ASSERT_TRUE (server.waitForRequests (2));

    tracker.stop();
    EXPECT_FALSE (tracker.isThreadRunning());
    EXPECT_EQ (server.countRequests (script ("db_user_log_device.php")), 1);
    EXPECT_GT (tracker.getNumQueued(), 0);
}

TEST_F (TrackingTest, ShutdownWithoutNetworkDrainsTheQueue)
{
    ::setenv ("BELVORA_TRACKING_URL", "http://127.0.0.1:9/belvora-2", 1);
    EventTracker tracker (setup (false, false));

    for (int i = 0; i < 10; ++i)
        tracker.addEvent (deviceLog (i));

    // The quit's moment for the queue, stretched: a loaded machine drains it in its own time.
    platform::Clock::setScale (20.0);
    tracker.stop();
    EXPECT_EQ (tracker.getNumQueued(), 0);
}
