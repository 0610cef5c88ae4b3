// The main window, the content component's broadcast and state, the look-and-feel
// metrics and the alert boxes. Window tests need a display (run under xvfb-run).

#include "app/Belvora.h"
#include "gui/BVLookAndFeel.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/StatusBar.h"
#include "gui/datapage/DataPage.h"
#include "gui/widgets/Alerts.h"
#include "gui/RunningAppFixture.h"
#include "support/SettingsFixture.h"

#include <gtest/gtest.h>

namespace
{
    class WindowTest : public SettingsFixture
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            SettingsFixture::SetUp();
        }
    };

    struct Listener : BelvoraChangeListener
    {
        Listener (std::vector<int>& log, int id) : calls (log), me (id) {}
        void changeNotify (const ChangeInfo& info) override
        {
            calls.push_back (me);
            last = info;
            if (onCall) onCall();
        }

        std::vector<int>& calls;
        int me;
        ChangeInfo last { 0 };
        std::function<void()> onCall;
    };

    /** Answers the next modal alert box: records its buttons and presses one. */
    struct AlertAnswerer : juce::Timer
    {
        explicit AlertAnswerer (int resultToGive) : result (resultToGive) { startTimer (20); }

        void timerCallback() override
        {
            auto* modal = juce::ModalComponentManager::getInstance()->getModalComponent (0);

            if (auto* alert = dynamic_cast<juce::AlertWindow*> (modal))
            {
                for (auto* child : alert->getChildren())
                    if (auto* button = dynamic_cast<juce::TextButton*> (child))
                        buttons.add (button->getButtonText());

                stopTimer();
                alert->exitModalState (result);
            }
        }

        int result;
        juce::StringArray buttons;
    };
}

TEST_F (WindowTest, EmptyOrBadWindowStateGivesTheDefaultSizeAndLimitsHold)
{
    settings().setValue ("appWindowState", "garbage");

    // One native window: each one made after the first is shown at once, before it is ready.
    juce::Component probe;
    probe.addToDesktop (0);
    const auto lastPeer = probe.getPeer()->getUniqueID();
    probe.removeFromDesktop();
    MainAppWindow window;
    EXPECT_EQ (window.getPeer()->getUniqueID(), lastPeer + 2);

    EXPECT_EQ (window.getWidth(), 1020);
    EXPECT_EQ (window.getHeight(), 734);
    EXPECT_EQ (window.getBorderThickness(), juce::BorderSize<int> (0));

    window.setBoundsConstrained ({ 0, 0, 100, 100 });
    EXPECT_EQ (window.getWidth(), 714);
    EXPECT_EQ (window.getHeight(), 646);

    window.setUsingNativeTitleBar (false);
    EXPECT_EQ (window.getBorderThickness(), juce::BorderSize<int> (1));
}

TEST_F (WindowTest, AtScaleTwoTheWindowItsLimitsAndItsToolbarFollowTheScale)
{
    settings().setValue ("uiScalingFactor", 2.0);
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;

    {
        MainAppWindow window;
        EXPECT_EQ (window.getWidth(), juce::jmin (2040, screen.getWidth()));
        EXPECT_EQ (window.getHeight(), juce::jmin (1468, screen.getHeight()));

        // The toolbar's overflow button shows from the first layout: what does not fit stays reachable.
        auto& toolbar = window.getBelvoraContentComponent()->getDataPage().getToolbar();
        const auto overflowShown = [&]
        {
            for (auto* child : toolbar.getChildren())
                if (dynamic_cast<juce::ToolbarItemComponent*> (child) == nullptr && dynamic_cast<juce::Button*> (child) != nullptr)
                    return child->isVisible();

            return false;
        };

        int hidden = 0;

        for (int i = 0; i < toolbar.getNumItems(); ++i)
            hidden += toolbar.getItemComponent (i)->isVisible() ? 0 : 1;

        EXPECT_EQ (overflowShown(), hidden > 0);

        window.setBoundsConstrained ({ 0, 0, 100, 100 });
        EXPECT_EQ (window.getWidth(), juce::jmin (1428, screen.getWidth()));
        EXPECT_EQ (window.getHeight(), juce::jmin (1292, screen.getHeight()));

        // A look-and-feel that arrives after the layout brings a new overflow button: it shows at once.
        window.setBounds (10, 10, 600, 734);
        ASSERT_TRUE (overflowShown());
        toolbar.sendLookAndFeelChange();
        EXPECT_TRUE (overflowShown());

        window.setBounds (screen.getX() + 200, screen.getY() + 150, 1020, 734);
        settings().setValue ("appWindowState", window.getWindowStateAsString());
    }

    {
        // A size saved at scale 1 grows to the smallest size of scale 2, moved to stay whole on the display.
        MainAppWindow window;
        EXPECT_EQ (window.getWidth(), juce::jmin (1428, screen.getWidth()));
        EXPECT_EQ (window.getHeight(), juce::jmin (1292, screen.getHeight()));
        EXPECT_TRUE (screen.contains (window.getBounds())) << window.getBounds().toString() << " on " << screen.toString();
    }

    {
        // A place saved partly off the display (another display, since gone) comes back onto it.
        settings().setValue ("appWindowState", juce::Rectangle<int> (screen.getRight() - 300, screen.getBottom() - 200, 1500, 1400).toString());
        MainAppWindow window;
        EXPECT_TRUE (screen.contains (window.getBounds())) << window.getBounds().toString() << " on " << screen.toString();
    }
}

TEST_F (WindowTest, BroadcastCallsLastRegisteredFirstAndToleratesSelfRemoval)
{
    MainAppWindow window;
    auto* content = window.getBelvoraContentComponent();
    ASSERT_NE (content, nullptr);

    std::vector<int> calls;
    Listener a (calls, 1), b (calls, 2), c (calls, 3);
    content->addChangeListener (&a);
    content->addChangeListener (&b);
    content->addChangeListener (&c);
    content->addChangeListener (&a);

    c.onCall = [&] { content->removeChangeListener (&c); };
    content->broadcastChange (ChangeInfo (DeviceInfoMessage (0x70000, 0, 0, "x")));
    EXPECT_EQ (calls, (std::vector<int> { 3, 2, 1 }));

    calls.clear();
    content->broadcastChange (ChangeInfo::forCommand (1));
    EXPECT_EQ (calls, (std::vector<int> { 2, 1 }));

    content->removeChangeListener (&a);
    content->removeChangeListener (&b);
}

TEST_F (WindowTest, AppStateChangesAreBroadcastOnceAndQuitIsAnnounced)
{
    Belvora app;
    MainAppWindow window;
    auto* content = window.getBelvoraContentComponent();

    std::vector<int> calls;
    Listener l (calls, 1);
    content->addChangeListener (&l);

    content->setAppState (AppState::scanning);
    EXPECT_EQ (app.getAppState(), AppState::scanning);
    EXPECT_EQ (l.last.kind, ChangeInfo::appStateChanged);
    EXPECT_EQ (l.last.newAppState, 2);
    EXPECT_EQ (l.last.oldAppState, 1);

    content->setAppState (AppState::scanning);
    EXPECT_EQ (calls.size(), 1u);

    EXPECT_TRUE (content->requestQuit (true));
    EXPECT_EQ (l.last.kind, ChangeInfo::notification);
    EXPECT_EQ (l.last.message.code, 0x60001);
    EXPECT_EQ (l.last.message.value1, 1);

    content->removeChangeListener (&l);
}

TEST_F (WindowTest, CommandTableAndEnabling)
{
    Belvora app;
    MainAppWindow window;
    auto* content = window.getBelvoraContentComponent();

    juce::Array<juce::CommandID> ids;
    content->getAllCommands (ids);
    ASSERT_EQ (ids.size(), 28);
    EXPECT_EQ (ids.getFirst(), 0x30000);
    EXPECT_EQ (ids[20], 0x3d000);
    EXPECT_EQ (ids.getLast(), 0x3e002);

    juce::ApplicationCommandInfo info (CommandIDs::downloadDeviceData);
    content->getCommandInfo (CommandIDs::downloadDeviceData, info);
    EXPECT_EQ (info.shortName, "Download Device Data");
    EXPECT_EQ (info.categoryName, "Internal");
    EXPECT_TRUE ((info.flags & juce::ApplicationCommandInfo::isDisabled) != 0); // no unit active

    juce::ApplicationCommandInfo scan (CommandIDs::scanForDevices);
    content->getCommandInfo (CommandIDs::scanForDevices, scan);
    EXPECT_EQ (scan.description, "Search for Marrowell products that Belvora can manage");
    EXPECT_EQ (scan.flags & juce::ApplicationCommandInfo::isDisabled, 0);

    EXPECT_FALSE (content->perform (juce::ApplicationCommandTarget::InvocationInfo (0x12345)));
}

TEST (BVLookAndFeel, MetricsFollowTheScale)
{
    BVLookAndFeel one (1.0f);
    EXPECT_FLOAT_EQ (one.getFontSize(), 14.0f);
    EXPECT_FLOAT_EQ (one.getLargeFontSize(), 16.0f);
    EXPECT_FLOAT_EQ (one.getSmallFontSize(), 13.0f);
    EXPECT_EQ ((int) one.getTabBarDepth(), 31);
    EXPECT_EQ ((int) one.getToolbarThickness(), 63);
    EXPECT_EQ ((int) one.getStatusBarHeight(), 29);
    EXPECT_EQ (one.getMargin(), 10);

    BVLookAndFeel big (2.5f);
    EXPECT_FLOAT_EQ (big.getFontSize(), 35.0f);
    EXPECT_FLOAT_EQ (big.getLargeFontSize(), 40.0f);
    EXPECT_FLOAT_EQ (big.getSmallFontSize(), 32.5f);
    EXPECT_EQ (big.getMargin(), 25);

    BVLookAndFeel two (2.0f);
    EXPECT_EQ ((int) two.getTabBarDepth(), 62);
    EXPECT_EQ ((int) two.getStatusBarHeight(), 58);

    juce::TextButton button ("OK");
    EXPECT_FLOAT_EQ (one.getTextButtonFont (button, 20).getHeight(), 12.0f);
    EXPECT_FLOAT_EQ (one.getTextButtonFont (button, 40).getHeight(), 14.0f);

    juce::Component plain;
    EXPECT_EQ (BVLookAndFeel::of (plain), nullptr);
}

TEST_F (WindowTest, TitleBarHeightFollowsTheScale)
{
    juce::DocumentWindow dialog ("d", juce::Colours::grey, juce::DocumentWindow::closeButton, false);
    const auto before = dialog.getTitleBarHeight();

    BVLookAndFeel one (1.0f);
    one.applyTitleBarHeight (dialog);
    EXPECT_EQ (dialog.getTitleBarHeight(), before);

    BVLookAndFeel big (2.5f);
    big.applyTitleBarHeight (dialog);
    EXPECT_EQ (dialog.getTitleBarHeight(), 65);
}

TEST_F (WindowTest, AlertButtonsAndAnswers)
{
    {
        AlertAnswerer answer (1);
        EXPECT_TRUE (Alerts::showOkCancel (juce::MessageBoxIconType::NoIcon, nullptr, "T", "M", true, "Go", "Later"));
        EXPECT_EQ (answer.buttons, (juce::StringArray { "Go", "Cancel" }));
    }
    {
        AlertAnswerer answer (1);
        EXPECT_TRUE (Alerts::showOkCancel (juce::MessageBoxIconType::WarningIcon, nullptr, "T", "M", false, "", "Later"));
        EXPECT_EQ (answer.buttons, (juce::StringArray { "OK", "Later" }));
    }
    {
        AlertAnswerer answer (0);
        EXPECT_FALSE (Alerts::askYesNo (nullptr, "Question", "Really?"));
        EXPECT_EQ (answer.buttons, (juce::StringArray { "Yes", "No" }));
    }
    {
        AlertAnswerer answer (0);
        Alerts::showWarning (nullptr, "Error", Belvora::getFatalErrorText (2));
        EXPECT_EQ (answer.buttons, (juce::StringArray { "OK" }));
    }
}

TEST_F (WindowTest, LayoutFollowsTheScaleAndTheDeveloperIconNeedsTheSwitch)
{
    for (auto scale : { 1.0, 2.0 })
    {
        settings().setValue ("uiScalingFactor", scale);
        Belvora app;
        app.parseSwitches (scale > 1.0 ? "developer" : "");
        MainAppWindow window;
        auto* content = window.getBelvoraContentComponent();
        content->setSize (1020, 734);

        const int s = (int) scale;
        EXPECT_EQ (content->getHelpButton().getBounds(), juce::Rectangle<int> (1020 - 16 * s - 10 * s, (31 * s - 16 * s) / 2, 16 * s, 16 * s));
        EXPECT_EQ (content->getOptionsButton().getRight(), content->getHelpButton().getX() - 10 * s);
        EXPECT_EQ (content->getDeveloperButton().getRight(), content->getOptionsButton().getX() - 10 * s);
        EXPECT_EQ (content->getTabs().getTabBarDepth(), scale > 1.0 ? 62 : 31);
        EXPECT_EQ (content->getStatusBar().getHeight(), scale > 1.0 ? 58 : 29);
        EXPECT_EQ (content->getStatusBar().getBottom(), 734);
        EXPECT_EQ (content->getTabs().getBottom(), 734 - content->getStatusBar().getHeight());
        EXPECT_EQ (content->getDeveloperButton().isVisible(), scale > 1.0);
        EXPECT_TRUE (content->getHelpButton().isVisible());

        EXPECT_EQ (content->getTabs().getTabNames(), (juce::StringArray { "Devices", "Presets" }));
        EXPECT_EQ (content->getTabs().getTabBackgroundColour (1), juce::Colour (0xfffefefe));

        // The sign-in button is made but never shown.
        EXPECT_EQ (content->getSignInButton().getParentComponent(), nullptr);
        EXPECT_EQ (content->getSignInButton().getButtonText(), "Sign in");
    }
}

TEST_F (WindowTest, KeysReachTheCommandsAndTeardownLeavesAFreshManager)
{
    auto* manager = MainAppWindow::getApplicationCommandManager();

    {
        MainAppWindow window;
        EXPECT_EQ (MainAppWindow::getApplicationCommandManager(), manager) << "the window uses the manager made before it";
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return manager->getNumCommands() >= 28; }));

        // The commands come without keys; one given here works anywhere in the window.
        PerformedCommands performed (*window.getBelvoraContentComponent());
        const juce::KeyPress key ('k', juce::ModifierKeys::commandModifier, 0);
        manager->getKeyMappings()->addKeyPress (CommandIDs::signIn, key);
        juce::ComponentPeer* peer = window.getPeer();
        ASSERT_NE (peer, nullptr);
        peer->handleKeyPress (key);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! performed.ids.empty(); }));
        EXPECT_EQ (performed.ids.front(), CommandIDs::signIn);
    }

    // The window took its manager with it, key mappings and all.
    auto* fresh = MainAppWindow::getApplicationCommandManager();
    EXPECT_EQ (fresh->getNumCommands(), 0);
    EXPECT_TRUE (fresh->getKeyMappings()->getKeyPressesAssignedToCommand (CommandIDs::signIn).isEmpty());
}

TEST_F (WindowTest, ConnectionLossDuringAScanIsBroadcastButChangesNoState)
{
    std::vector<Alerts::Box> boxes;
    const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { boxes.push_back (box); return false; });
    Belvora app;
    MainAppWindow window;
    auto* content = window.getBelvoraContentComponent();

    std::vector<int> calls;
    Listener l (calls, 1);
    content->addChangeListener (&l);

    app.setAppState (AppState::scanning);
    content->handleMessage (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {}));
    EXPECT_EQ (calls.size(), 1u);
    EXPECT_EQ (l.last.message.code, 0x80002);
    EXPECT_EQ (app.getAppState(), AppState::scanning);

    content->handleMessage (DeviceInfoMessage (DeviceInfoMessage::scanFinished, 1, 0, {}));
    EXPECT_EQ (app.getAppState(), AppState::idle);

    content->handleMessage (DeviceInfoMessage (DeviceInfoMessage::portsChanged, 0, 0, {}));
    EXPECT_EQ (app.getAppState(), AppState::rescanNeeded);

    // A scan's end only settles a starting or scanning application.
    content->handleMessage (DeviceInfoMessage (DeviceInfoMessage::scanFinished, 1, 0, {}));
    EXPECT_EQ (app.getAppState(), AppState::rescanNeeded);

    content->removeChangeListener (&l);
}
