// The firmware update window, and a whole update run by the application as the
// user starts it. Needs a display (run under xvfb-run).

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "firmware/FirmwareUpdateThread.h"
#include "devices/DeviceManager.h"
#include "devices/SimulatedUnitSet.h"
#include "gui/BVLookAndFeel.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/devicepage/DevicePage.h"
#include "gui/Palette.h"
#include "gui/DialogTestSupport.h"
#include "gui/dialogs/UpdateProgressWindow.h"
#include "gui/widgets/Alerts.h"
#include "platform/Clock.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

namespace
{
    struct Inbox : juce::MessageListener
    {
        void handleMessage (const juce::Message& m) override
        {
            if (auto* info = dynamic_cast<const DeviceInfoMessage*> (&m))
                received.push_back (*info);
        }

        std::vector<DeviceInfoMessage> received;
    };

    struct Commands : juce::ApplicationCommandTarget
    {
        ApplicationCommandTarget* getNextCommandTarget() override           { return nullptr; }
        void getAllCommands (juce::Array<juce::CommandID>& c) override       { c.add (CommandIDs::scanForDevices); }
        void getCommandInfo (juce::CommandID, juce::ApplicationCommandInfo& r) override { r.setInfo ("Scan", "", "", 0); }
        bool perform (const InvocationInfo& info) override
        {
            performed.push_back (info.commandID);
            onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
            return true;
        }

        std::vector<int> performed;
        bool onMessageThread = false;
    };

    class UpdateWindowTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";
        }

        void useScale (float scale)
        {
            juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
            laf = std::make_unique<BVLookAndFeel> (scale);
            juce::LookAndFeel::setDefaultLookAndFeel (laf.get());
        }

        void TearDown() override
        {
            juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        }

        std::unique_ptr<BVLookAndFeel> laf;
    };
}

TEST_F (UpdateWindowTest, LayoutFollowsTheScale)
{
    useScale (1.0f);
    {
        UpdateProgressWindow window (nullptr);
        auto& c = window.getContent();
        EXPECT_EQ (window.getName(), "Firmware Update");
        EXPECT_FALSE (window.isVisible());
        EXPECT_TRUE (window.isOnDesktop());
        EXPECT_EQ (c.getBounds().getWidth(), 450);
        EXPECT_EQ (c.getHeight(), 180);
        EXPECT_EQ (c.statusLabel.getBounds(), juce::Rectangle<int> (10, 28, 430, 15));
        EXPECT_EQ (c.stepBar.getBounds(), juce::Rectangle<int> (10, 48, 430, 19));
        EXPECT_EQ (c.overallLabel.getY(), 82);
        EXPECT_EQ (c.overallLabel.getText(), "Overall Progress");
        EXPECT_EQ (c.overallBar.getY(), 102);
        EXPECT_EQ (c.stopButton.getBottom(), 170);
        EXPECT_EQ (c.stopButton.getRight(), 440);
        EXPECT_EQ (c.stopButton.getHeight(), 28);
    }

    useScale (2.0f);
    {
        UpdateProgressWindow window (nullptr);
        auto& c = window.getContent();
        EXPECT_EQ (c.getWidth(), 900);
        EXPECT_EQ (c.statusLabel.getBounds(), juce::Rectangle<int> (20, 56, 860, 30));
        EXPECT_EQ (c.stopButton.getBottom(), 340);
        EXPECT_EQ (window.getTitleBarHeight(), 52);
    }

    // Between whole scales every size is rounded to the nearest pixel, never cut short.
    for (auto scale : { 1.25f, 1.5f })
    {
        useScale (scale);
        UpdateProgressWindow window (nullptr);
        auto& c = window.getContent();
        const auto px = [scale] (float size) { return juce::roundToInt (size * scale); };
        EXPECT_EQ (c.getWidth(), px (450.0f)) << scale;
        EXPECT_EQ (c.stepBar.getY() - c.statusLabel.getBottom(), px (5.0f)) << scale;
        EXPECT_EQ (c.overallLabel.getY() - c.stepBar.getBottom(), px (15.0f)) << scale;
    }
}

TEST_F (UpdateWindowTest, ErrorLinesTurnBothLabelsRedUntilTheNextNormalLine)
{
    useScale (1.0f);
    UpdateProgressWindow window (nullptr);
    auto& c = window.getContent();
    const auto colours = [&] { return std::pair (c.statusLabel.findColour (juce::Label::textColourId),
                                                 c.overallLabel.findColour (juce::Label::textColourId)); };

    window.setStatusText ("Preparing for update", false);
    EXPECT_EQ (colours(), std::pair (Palette::dialogTextColour, Palette::dialogTextColour));

    window.setStatusText ("Transmission error on packet 4, attempt 2", true);
    EXPECT_EQ (c.statusLabel.getText(), "Transmission error on packet 4, attempt 2");
    EXPECT_EQ (colours(), std::pair (Palette::updateErrorTextColour, Palette::updateErrorTextColour));
    EXPECT_EQ (Palette::updateErrorTextColour, juce::Colour (0xffff0000));

    // The same flag again changes only the text, whatever set the colour meanwhile.
    c.overallLabel.setColour (juce::Label::textColourId, juce::Colours::green);
    window.setStatusText ("Transmission error on packet 5, attempt 1", true);
    EXPECT_EQ (c.overallLabel.findColour (juce::Label::textColourId), juce::Colours::green);

    window.setStatusText ("Sending update to Vesper", false);
    EXPECT_EQ (colours(), std::pair (Palette::dialogTextColour, Palette::dialogTextColour));

    window.setProgress (0.25, 0.6);
    EXPECT_EQ (c.stepProgress, 0.25);
    EXPECT_EQ (c.overallProgress, 0.6);
}

TEST_F (UpdateWindowTest, StopTellsTheOwnerAndHidesTheWindow)
{
    useScale (1.0f);
    Inbox owner;

    for (auto* listener : { (juce::MessageListener*) &owner, (juce::MessageListener*) nullptr })
    {
        UpdateProgressWindow window (listener);
        window.setVisible (true);
        window.getContent().stopButton.triggerClick();
        TestEnvironment::runMessageLoopUntil ([&] { return ! window.isVisible() && (listener == nullptr || ! owner.received.empty()); });
        EXPECT_FALSE (window.isVisible());
    }

    ASSERT_EQ (owner.received.size(), 1u);
    EXPECT_EQ (owner.received[0].code, DeviceInfoMessage::firmwareStopPressed);
    EXPECT_EQ (owner.received[0].value1, 0);
    EXPECT_EQ (owner.received[0].text, "");
}

TEST_F (UpdateWindowTest, AsksThroughTheMessageBoxesAndPerformsCommandsOnTheMessageThread)
{
    useScale (1.0f);
    Inbox owner;
    Commands commands;
    UpdateProgressWindow window (&owner, &commands);

    std::vector<Alerts::Box> boxes;
    const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { boxes.push_back (box); return boxes.size() == 1; });

    EXPECT_TRUE (window.askYesNo ("Firmware Update", "Go on?"));
    EXPECT_TRUE (window.askToContinueScanning ("Device Detection Failure", "Where is it?")) << "closed, it scans on";
    ASSERT_EQ (boxes.size(), 2u);
    EXPECT_EQ (boxes[0].buttons, juce::StringArray ({ "Yes", "No" }));
    EXPECT_EQ (boxes[1].icon, juce::MessageBoxIconType::QuestionIcon);
    EXPECT_EQ (boxes[1].title, "Device Detection Failure");
    EXPECT_EQ (boxes[1].buttons, juce::StringArray ({ "Continue Scanning", "Stop" }));

    std::atomic<bool> asked { false };
    juce::Thread::launch ([&] { window.invokeCommand (FirmwareUpdateThread::Command::scanForDevices); asked = true; });
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return asked.load() && ! commands.performed.empty(); }));
    EXPECT_EQ (commands.performed, std::vector<int> { CommandIDs::scanForDevices });
    EXPECT_TRUE (commands.onMessageThread);
}

//==============================================================================
namespace
{
    // The application with the sample content and one simulated Vesper of build 140.
    class ApplicationUpdateTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            Belvora::releaseAppProperties();
            TestEnvironment::clearHome();
            ASSERT_TRUE (server.start());
            ::setenv ("BELVORA_CONTENT_URL", (server.getBaseUrl() + "/Belvora2").toRawUTF8(), 1);
            ::setenv ("BELVORA_SIMULATED_UNITS", "0x12", 1);
            platform::Clock::setScale (0.05);

            // The test connects the unit itself: a connection at start-up would download meanwhile.
            Belvora::configureAppProperties();
            Belvora::getUserSettings().setValue ("autoConnectAtStartup", false);
            Belvora::getAppProperties().saveIfNeeded();

            app = std::make_unique<Belvora> (MainAppWindow::getUserInterfaceFactory());
            app->initialise ("");
            content = MainAppWindow::of (app->getNexus())->getBelvoraContentComponent();
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app->getAppState() == AppState::idle; }, 30000));
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return Nexus::getContentManager()->isProductReady (0x12); }));   // the rules too
            ASSERT_TRUE (Nexus::getDeviceManager()->setActiveDevice (0));
        }

        void TearDown() override
        {
            if (app != nullptr)
                app->shutdown();

            app.reset();
            platform::Clock::setScale (1.0);
            Belvora::releaseAppProperties();
            ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);
            ::unsetenv ("BELVORA_SIMULATED_UNITS");
            server.stop();
        }

        static FirmwareUpdateElement imageAt (const juce::File& file)
        {
            return FirmwareUpdateElement::createFromFile (file.getFullPathName(), FirmwareVersion (1, 1, 5, 0, 150));
        }

        static juce::File betaImage()
        {
            return juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/firmware/vesper_1_5_0_b150_beta.syx");
        }

        /** Runs until the end of the update has been reported in a box; the boxes seen, in order. */
        std::vector<Alerts::Box> runUpdate (const FirmwareUpdateElement& element, std::function<void()> meanwhile = {})
        {
            std::vector<Alerts::Box> boxes;
            const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box) { boxes.push_back (box); return true; });

            EXPECT_TRUE (content->startFirmwareUpdate (element));
            EXPECT_EQ (app->getAppState(), AppState::firmwareUpdate);
            EXPECT_FALSE (content->startFirmwareUpdate (element)) << "one update at a time";

            TestEnvironment::runMessageLoopUntil ([&]
            {
                if (meanwhile)
                    meanwhile();

                return content->getFirmwareUpdate() == nullptr;
            }, 60000);

            return boxes;
        }

        // The window asks and tells the user things around an update (a rescan that finds
        // nothing, say); no box may wait for an answer that never comes.
        const Alerts::ScopedChoiceResponder harmlessAnswers { [] (const Alerts::Box& box)
        {
            for (auto* harmless : { "OK", "Ok", "No", "Later", "Cancel" })
                if (box.buttons.contains (harmless))
                    return box.buttons.indexOf (harmless);

            return -1;
        } };

        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
        std::unique_ptr<Belvora> app;
        BelvoraContentComponent* content = nullptr;
    };

    /** Return on each box once it has the system's focus (Escape on an offer of new firmware); the titles answered. */
    struct Answers : juce::Timer
    {
        Answers()   { startTimer (10); }

        void timerCallback() override
        {
            auto* box = dynamic_cast<juce::AlertWindow*> (DialogTests::currentModal());

            if (box == nullptr || ! box->getPeer()->isFocused() || ! box->isParentOf (juce::Component::getCurrentlyFocusedComponent()))
                return;

            titles.add (box->getName());

            if (! DialogTests::pressKey (juce::KeyPress (box->getName() == "New Firmware Available" ? juce::KeyPress::escapeKey : juce::KeyPress::returnKey)))
                box->exitModalState (0);
        }

        juce::StringArray titles;
    };
}

TEST_F (ApplicationUpdateTest, UpdateRunsToItsReportAndTheApplicationScansAgain)
{
    const auto boxes = runUpdate (imageAt (betaImage()));

    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Firmware Update Complete");
    EXPECT_EQ (boxes[0].message, "Vesper updated successfully.");
    EXPECT_EQ (boxes[0].icon, juce::MessageBoxIconType::InfoIcon);

    // Back to normal: idle, and the rescan finds the unit with its new build.
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app->getAppState() == AppState::scanning; }, 5000)
                 || app->getAppState() == AppState::idle);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        return app->getAppState() == AppState::idle && Nexus::getDeviceManager()->getNumIdentifiedDevices() == 1
                && Nexus::getDeviceManager()->getDeviceVersion (0).build == 150;
    }, 30000));
}

TEST_F (ApplicationUpdateTest, ImageThatFailsItsChecksEndsInTheErrorReport)
{
    const auto bad = TestEnvironment::getHome().getChildFile ("start-only.syx");
    const uint8_t start[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 };
    ASSERT_TRUE (bad.replaceWithData (start, sizeof (start)));

    const auto boxes = runUpdate (imageAt (bad));

    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Firmware Update Error");
    EXPECT_EQ (boxes[0].message, "The firmware update image does not contain valid firmware data.");
    EXPECT_EQ (boxes[0].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app->getAppState() != AppState::firmwareUpdate; }));
}

// Stopped by keys, its boxes shown and answered by Return: the window opens on
// itself, where a stray Return or Space stops nothing; Tab reaches "Stop", which
// Space presses. The keys act in the main window afterwards.
TEST_F (ApplicationUpdateTest, StopInTheWindowEndsInTheInterruptedReport)
{

    const Alerts::ScopedChoiceResponder shown ({});
    auto& window = *MainAppWindow::of (app->getNexus());
    window.toFront (true);
    content->getOptionsButton().grabKeyboardFocus();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return window.getPeer()->isFocused(); }));

    // Started as the user starts it: a version chosen, then "Start Update" in the box that asks.
    BelvoraContentComponent::Openers openers;
    openers.firmwareChooser = [&] (juce::Component*, int, bool) { return BelvoraContentComponent::FirmwareChoice { true, imageAt (betaImage()) }; };
    content->setOpeners (openers);
    Answers answers;
    bool strayKeysIgnored = false;
    DialogTests::WhenUp keys ("Firmware Update", [&] (juce::Component& updateWindow)
    {
        const auto press = [] (int key) { return DialogTests::pressKey (juce::KeyPress (key)); };
        strayKeysIgnored = press (juce::KeyPress::returnKey) && updateWindow.isVisible() && press (juce::KeyPress::spaceKey) && updateWindow.isVisible();
        return strayKeysIgnored && press (juce::KeyPress::tabKey) && DialogTests::focusedName() == "Stop" && press (juce::KeyPress::spaceKey);
    });
    content->invokeDirectly (CommandIDs::showFirmwareUpdates, false);
    ASSERT_NE (content->getFirmwareUpdate(), nullptr);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return content->getFirmwareUpdate() == nullptr; }, 60000));

    EXPECT_EQ (keys.focused, "Firmware Update");
    EXPECT_TRUE (strayKeysIgnored);
    EXPECT_TRUE (keys.done) << "stopped";
    EXPECT_EQ (answers.titles[0], "Firmware Update!");
    EXPECT_EQ (answers.titles[1], "Firmware Update Interrupted");

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return DialogTests::currentModal() == nullptr && window.getPeer()->isFocused()
                                                                    && window.isParentOf (juce::Component::getCurrentlyFocusedComponent()); }, 5000));
    auto* before = juce::Component::getCurrentlyFocusedComponent();
    EXPECT_TRUE (DialogTests::pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
    EXPECT_NE (juce::Component::getCurrentlyFocusedComponent(), before) << "Tab moves on";
}

// Started by Space on Update, its boxes answered by Return, and run to its end: Update has
// the keys again once the rescan gives the page back (before, no control had them).
TEST_F (ApplicationUpdateTest, AnUpdateStartedFromTheKeysGivesUpdateTheKeysBack)
{
    const Alerts::ScopedChoiceResponder shown ({});
    auto& window = *MainAppWindow::of (app->getNexus());
    window.toFront (true);
    auto* update = DialogTests::toolbarItem (content->getDevicePage().getToolbar(), DeviceToolbarItemFactory::update);
    ASSERT_NE (update, nullptr);
    Belvora::getUserSettings().setValue ("autoConnectAtStartup", true);   // the rescan after the update connects it again
    ASSERT_TRUE (content->connectToDevice (0));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return window.getPeer()->isFocused() && update->isEnabled() && app->getAppState() == AppState::idle; }));
    update->grabKeyboardFocus();

    BelvoraContentComponent::Openers openers;
    openers.firmwareChooser = [&] (juce::Component*, int, bool) { return BelvoraContentComponent::FirmwareChoice { true, imageAt (betaImage()) }; };
    content->setOpeners (openers);
    Answers answers;
    ASSERT_TRUE (DialogTests::pressKey (juce::KeyPress (juce::KeyPress::spaceKey)));
    ASSERT_NE (content->getFirmwareUpdate(), nullptr);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return content->getFirmwareUpdate() == nullptr; }, 60000));
    EXPECT_TRUE (answers.titles.contains ("Firmware Update Complete")) << answers.titles.joinIntoString (", ");

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app->getAppState() == AppState::idle && update->hasKeyboardFocus (false); }, 30000))
        << "focused: " << DialogTests::focusedName();
}

// A quit (the window closed, an interrupt) while the update looks for its unit
// again: the update ends before the device manager its rescans read goes (under
// AddressSanitizer a read after free on the update's way out).
TEST_F (ApplicationUpdateTest, QuitWhileTheUpdateRescansEndsTheUpdateBeforeTheUnits)
{
    const Alerts::ScopedResponder responder ([] (const Alerts::Box&) { return true; });
    dynamic_cast<SimulatedUnitSet&> (Nexus::getDeviceManager()->getBackend()).getUnit (0)
        .setUpdateOutcome ({ SimulatedUnit::UpdateOutcome::Comeback::never });

    ASSERT_TRUE (content->startFirmwareUpdate (imageAt (betaImage())));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        auto* update = content->getFirmwareUpdate();
        return update != nullptr && update->getState() == FirmwareUpdateThread::State::scanning;
    }, 60000));

    app->shutdown();
    app.reset();
    EXPECT_EQ (Nexus::getDeviceManager(), nullptr);
}
