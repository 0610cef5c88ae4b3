// The status bar on its own, fed by stand-in counters and a stand-in unit.

#include "support/TestEnvironment.h"
#include "gui/StatusBar.h"
#include "gui/Palette.h"
#include "WidgetTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    struct Feed
    {
        StatusBar::Counters counters {};
        bool offline = false;
        juce::String name, firmware;

        StatusBar::Sources sources()
        {
            return { [this] { return counters; },
                     [this] { return offline; },
                     [this] (juce::String& n, juce::String& f) { n = name; f = firmware; return name.isNotEmpty(); } };
        }
    };

    ChangeInfo notification (int code, int value1 = 0)
    {
        return ChangeInfo (DeviceInfoMessage (code, value1, 0, {}));
    }
}

TEST (StatusBar, ProgressCountsStepsAndHidesWhenDone)
{
    WidgetTests::ScopedLookAndFeel laf (1.0f);
    Feed feed;
    StatusBar bar (feed.sources());
    bar.setSize (1000, 29);

    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_EQ (bar.getConnectionText(), "Initializing");

    // Without a label the bar alone shows, laid out the moment it appears.
    bar.setStatus (true, {}, "Reading", 0.0);
    EXPECT_TRUE (bar.isProgressShown());
    EXPECT_FALSE (bar.isStatusLabelShown());
    EXPECT_FALSE (bar.getProgressBarBounds().isEmpty());
    EXPECT_EQ (bar.getProgressBarBounds().getHeight(), 29 - 13);

    bar.totalSteps = 3;
    bar.doneSteps = 0;
    bar.advanceProgress();
    EXPECT_DOUBLE_EQ (bar.getProgress(), 1.0 / 3.0);
    bar.advanceProgress();
    EXPECT_TRUE (bar.isProgressShown());
    bar.advanceProgress();
    EXPECT_FALSE (bar.isProgressShown());

    // No steps at all: full at once, and gone.
    bar.setStatus (true, "Scanning", {}, 0.0);
    EXPECT_TRUE (bar.isStatusLabelShown());
    EXPECT_EQ (bar.getStatusLabelText(), "Scanning");
    bar.totalSteps = 0;
    bar.doneSteps = 0;
    bar.advanceProgress();
    EXPECT_DOUBLE_EQ (bar.getProgress(), 1.0);
    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_FALSE (bar.isStatusLabelShown());

    // A step glides the fill to its value, then the bar rests; a download's
    // bar, without a known end, rests at once however long it waits.
    bar.setStatus (true, "Reading", {}, 0.0);
    bar.setProgress (0.5);
    EXPECT_TRUE (bar.getProgressBar().isGliding());
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! bar.getProgressBar().isGliding(); }));
    bar.setStatus (true, "Downloading", "Vesper", 1.0);
    EXPECT_TRUE (bar.getProgressBar().isOpenEnded());
    EXPECT_FALSE (bar.getProgressBar().isGliding());
    EXPECT_EQ (bar.getProgressBar().getText(), "Vesper");
}

TEST (StatusBar, ConnectionFollowsTheActiveUnit)
{
    WidgetTests::ScopedLookAndFeel laf (1.0f);
    Feed feed;
    feed.name = "Vesper";
    feed.firmware = "1.4.00 build 140";
    StatusBar bar (feed.sources());
    bar.setSize (1000, 29);

    bar.changeNotify (notification (DeviceInfoMessage::connectedDeviceChanged, 1));
    EXPECT_TRUE (bar.isShowingConnected());
    EXPECT_EQ (bar.getConnectionText(), "Vesper");
    EXPECT_EQ (bar.getFirmwareText(), "1.4.00 build 140");

    // "Nothing connected" wins even while the manager still names a unit.
    bar.changeNotify (notification (DeviceInfoMessage::connectedDeviceChanged, 0));
    EXPECT_FALSE (bar.isShowingConnected());
    EXPECT_EQ (bar.getConnectionText(), "Nothing Connected");
    EXPECT_EQ (bar.getFirmwareText(), "");

    // Other notifications and kinds leave it alone.
    bar.changeNotify (notification (DeviceInfoMessage::presetRead, 1));
    bar.changeNotify (ChangeInfo::forCommand (DeviceInfoMessage::connectedDeviceChanged));
    EXPECT_EQ (bar.getConnectionText(), "Nothing Connected");

    bar.changeNotify (notification (DeviceInfoMessage::scanFinished, 1));
    EXPECT_EQ (bar.getConnectionText(), "Vesper");

    feed.name.clear();
    bar.changeNotify (notification (DeviceInfoMessage::activeDeviceLost));
    EXPECT_EQ (bar.getConnectionText(), "Nothing Connected");
}

TEST (StatusBar, LightsFlashOncePerBurstAndIgnoreCountersGoingDown)
{
    WidgetTests::ScopedLookAndFeel laf (1.0f);
    Feed feed;
    feed.counters = { 100, 100, 5, 5 };
    StatusBar bar (feed.sources());
    bar.setSize (1000, 29);

    bar.timerCallback();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE (bar.isLit (i)) << "counters taken as the base at construction";

    feed.counters[0] = 150;
    feed.counters[3] = 6;
    bar.timerCallback();
    EXPECT_TRUE (bar.isLit (0));
    EXPECT_FALSE (bar.isLit (1));
    EXPECT_TRUE (bar.isLit (3));

    // Shorter than a tick: the next tick without traffic, once that moment is over, puts it out.
    const auto litUntil = std::max (bar.getIndicator (0).litUntil, bar.getIndicator (3).litUntil);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return juce::Time::getCurrentTime() > litUntil; }));
    bar.timerCallback();
    EXPECT_FALSE (bar.isLit (0));
    EXPECT_FALSE (bar.isLit (3));

    // A rebuilt device list starts its counters again: nothing lights, and reset re-bases.
    feed.counters[0] = 10;
    bar.timerCallback();
    EXPECT_FALSE (bar.isLit (0));
    bar.resetCounters();
    EXPECT_EQ (bar.getIndicator (0).lastCount, 10u);
    feed.counters[0] = 11;
    bar.timerCallback();
    EXPECT_TRUE (bar.isLit (0));

    // Between bytes the lights look once a second; a byte brings their pace back until it is out.
    bar.startTimer (100);
    feed.counters[3] += 1;
    bar.timerCallback();
    ASSERT_TRUE (bar.isLit (3));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return juce::Time::getCurrentTime() > bar.getIndicator (3).litUntil; }));
    bar.timerCallback();
    EXPECT_GE (bar.getTimerInterval(), 1000);
    feed.counters[3] += 1;
    bar.timerCallback();
    EXPECT_TRUE (bar.isLit (3));
    EXPECT_EQ (bar.getTimerInterval(), 100);

    // Once all is dark and still the lights stop looking; a notification starts them again.
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return juce::Time::getCurrentTime() > bar.getIndicator (3).litUntil; }));

    for (int i = 0; i < 1000 && bar.isTimerRunning(); ++i)
        bar.timerCallback();

    EXPECT_FALSE (bar.isTimerRunning());
    EXPECT_FALSE (bar.isLit (0));
    bar.changeNotify (notification (DeviceInfoMessage::presetRead, 1));
    EXPECT_EQ (bar.getTimerInterval(), 100);
    feed.counters[1] = 101;
    bar.timerCallback();
    EXPECT_TRUE (bar.isLit (1));

    // Traffic that came with a notification lights at once, not a tick later.
    feed.counters[0] += 5;
    bar.changeNotify (notification (DeviceInfoMessage::presetRead, 2));
    EXPECT_TRUE (bar.isLit (0));

    // And so after a rest: the first notification lights it.
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return juce::Time::getCurrentTime() > bar.getIndicator (0).litUntil
                                                                    && juce::Time::getCurrentTime() > bar.getIndicator (1).litUntil; }));

    for (int i = 0; i < 1000 && bar.isTimerRunning(); ++i)
        bar.timerCallback();

    ASSERT_FALSE (bar.isTimerRunning());
    feed.counters[1] += 5;
    bar.changeNotify (notification (DeviceInfoMessage::presetRead, 3));
    EXPECT_TRUE (bar.isLit (1));
    bar.stopTimer();
}

TEST (StatusBar, LayoutAndTheOfflineIcon)
{
    for (auto scale : WidgetTests::scales)
    {
        WidgetTests::ScopedLookAndFeel laf (scale);
        Feed feed;
        feed.offline = true;
        StatusBar bar (feed.sources());
        const int h = (int) laf.laf.getStatusBarHeight();
        bar.setSize (1000, h);

        EXPECT_TRUE (bar.isShowingOffline());

        // Separators: after the unit's text, before the MIDI lights, before the network lights.
        const auto& xs = bar.getSeparatorXs();
        ASSERT_EQ (xs.size(), 3);
        const int iconD = juce::roundToInt (0.55f * (float) h);
        const int M = juce::roundToInt (10.0f * scale), g7 = juce::roundToInt (7.0f * scale);
        const int right = 1000 - (2 * iconD + 4 * M) - juce::roundToInt (25.0f * scale);
        EXPECT_EQ (xs[1], right);
        EXPECT_EQ (bar.getIndicator (0).bounds.getX(), (float) (right + g7));
        EXPECT_EQ (xs[2], right + 3 * g7 + 2 * iconD);
        EXPECT_EQ ((int) bar.getIndicator (2).bounds.getX(), xs[2] + g7);

        // Offline, the network lights are not drawn: their place shows the offline icon.
        const auto image = WidgetTests::snapshot (bar);
        const auto netArea = bar.getIndicator (2).bounds.getUnion (bar.getIndicator (3).bounds).toNearestInt();
        EXPECT_GT (WidgetTests::countPixels (image, netArea, [] (juce::Colour c) { return c != Palette::statusBackgroundColour; }), 0);

        Feed online;
        StatusBar plain (online.sources());
        plain.setSize (1000, h);
        EXPECT_FALSE (plain.isShowingOffline());
    }
}
