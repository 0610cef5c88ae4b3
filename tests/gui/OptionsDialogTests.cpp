// The options dialog: what its pages load, what "Ok" stores and "Cancel"
// does not, the defaults, the flags its caller reads, and its layout.

#include "tracking/EventTracker.h"
#include "gui/DialogFixtures.h"
#include "gui/DialogTestSupport.h"
#include "gui/Palette.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/OptionsDialog.h"

using namespace DialogFixtures;
using namespace DialogTests;

namespace
{
    juce::String documents()   { return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getFullPathName(); }

    struct OptionsTest : SettingsFixture
    {
        static juce::Slider& slider (OptionsContent& c)    { return get<juce::Slider> (c, "scaleSlider"); }
        static juce::Button& toggle (OptionsContent& c, const juce::String& text)
        {
            for (auto* page : { (juce::Component*) &c.getGeneralPage(), (juce::Component*) &c.getDevicePage(), (juce::Component*) &c.getDataPage() })
                if (auto* b = buttonWithText (*page, text))
                    return *b;

            throw std::runtime_error ("no button " + text.toStdString());
        }

        /** "Ok" and "Cancel" of a content without its window: what they store. */
        static void ok (OptionsContent& c)          { c.buttonClicked (buttonWithText (c, "Ok")); }
        static void restore (OptionsContent& c)     { c.buttonClicked (buttonWithText (c, "Restore Defaults")); }

        void storeEverythingOff()
        {
            settings().setValue ("uiScalingFactor", 1.5);
            settings().setValue ("onlyShowMwdDevices", false);
            settings().setValue ("autoConnectAtStartup", false);
            settings().setValue ("dataTrackingOptIn", false);
            settings().setValue ("dataSyncMethod", "previous");
            settings().setValue ("exportFolder", freshFolder ("exports").getFullPathName());
        }

        WidgetTests::ScopedLookAndFeel look { 1.0f };
    };
}

TEST_F (OptionsTest, PagesLoadTheStoredSettings)
{
    storeEverythingOff();
    OptionsContent content;

    EXPECT_EQ (slider (content).getValue(), 150.0);
    EXPECT_EQ (slider (content).getTextFromValue (150.0), "150%");
    EXPECT_FALSE (toggle (content, "Send Anonymous Usage Data to Marrowell").getToggleState());
    EXPECT_FALSE (toggle (content, "Only show Marrowell devices").getToggleState());
    EXPECT_FALSE (toggle (content, "Automatically connect at start-up/scan").getToggleState());
    EXPECT_TRUE (toggle (content, "Retain synchronized data between sessions").getToggleState());
    EXPECT_EQ (textOf (content.getDataPage(), "folderLabel"), freshFolder ("exports").getFullPathName());

    // A scale out of range is clamped, a folder that is gone shows the documents folder.
    settings().setValue ("uiScalingFactor", 9.0);
    settings().setValue ("exportFolder", "/no/such/folder");
    settings().setValue ("dataSyncMethod", "Manual");
    OptionsContent other;
    EXPECT_EQ (slider (other).getValue(), 250.0);
    EXPECT_EQ (textOf (other.getDataPage(), "folderLabel"), documents());
    EXPECT_TRUE (toggle (other, "Automatically synchronize when product connects").getToggleState());
}

TEST_F (OptionsTest, OkStoresEveryPageAndCancelNothing)
{
    storeEverythingOff();
    const auto before = settings().getAllProperties();

    {
        OptionsContent content;
        restore (content);
        EXPECT_TRUE (content.wasRestoreDefaultsPressed());
        content.buttonClicked (buttonWithText (content, "Cancel"));
    }

    EXPECT_EQ (settings().getAllProperties(), before);

    OptionsContent content;
    restore (content);
    EXPECT_EQ (slider (content).getValue(), 100.0);
    ok (content);

    EXPECT_EQ ((double) settings().getValue ("uiScalingFactor").getDoubleValue(), 1.0);
    EXPECT_TRUE (content.getGeneralPage().isScaleChanged());
    EXPECT_TRUE (settings().getBoolValue ("onlyShowMwdDevices", false));
    EXPECT_TRUE (settings().getBoolValue ("autoConnectAtStartup", false));
    EXPECT_EQ (settings().getValue ("dataSyncMethod"), "auto");
    EXPECT_EQ (settings().getValue ("exportFolder"), documents());

    // Restoring defaults does not opt anybody in to usage data.
    EXPECT_FALSE (settings().getBoolValue ("dataTrackingOptIn", true));
}

TEST_F (OptionsTest, ScaleIsStoredOnlyWhenTheWholePercentageChanged)
{
    // 1.15 is no float of exactly 115 %: the slider's value stands for it all the same.
    // A hand-written 1.33 shows as the slider's nearest step, and is kept as it is.
    for (auto stored : { 1.15, 1.0, 2.35, 1.33 })
    {
        SCOPED_TRACE (stored);
        settings().setValue ("uiScalingFactor", stored);
        OptionsContent content;
        ok (content);
        EXPECT_EQ ((double) settings().getValue ("uiScalingFactor").getDoubleValue(), stored);
        EXPECT_FALSE (content.getGeneralPage().isScaleChanged());
    }

    settings().removeValue ("uiScalingFactor");
    OptionsContent unchanged;
    ok (unchanged);
    EXPECT_FALSE (settings().containsKey ("uiScalingFactor"));

    OptionsContent moved;
    slider (moved).setValue (125.0, juce::sendNotificationSync);
    ok (moved);
    EXPECT_EQ ((double) settings().getValue ("uiScalingFactor").getDoubleValue(), 1.25);
    EXPECT_TRUE (moved.getGeneralPage().isScaleChanged());
}

TEST_F (OptionsTest, UsageDataChoiceIsStoredOnOkAndFollowedAtOnce)
{
    OptionsContent content;
    auto& usage = toggle (content, "Send Anonymous Usage Data to Marrowell");
    EXPECT_TRUE (usage.getToggleState());

    usage.setToggleState (false, juce::sendNotificationSync);
    EXPECT_TRUE (EventTracker::isOptedIn());
    ok (content);
    EXPECT_FALSE (settings().getBoolValue ("dataTrackingOptIn", true));
    EXPECT_FALSE (EventTracker::isOptedIn());
}

TEST_F (OptionsTest, PreviewFollowsTheSlider)
{
    OptionsContent content;
    auto& preview = get<juce::Label> (content, "previewLabel");
    EXPECT_FLOAT_EQ (preview.getFont().getHeight(), 14.0f);

    slider (content).setValue (250.0, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (preview.getFont().getHeight(), 35.0f);
    restore (content);
    EXPECT_FLOAT_EQ (preview.getFont().getHeight(), 14.0f);
}

TEST_F (OptionsTest, DeviceHistoryIsClearedOnlyWhenTheUserAgrees)
{
    for (auto answer : { false, true })
    {
        OptionsContent content;
        AlertLog alerts (answer);
        click (*buttonWithText (content.getDevicePage(), "Clear Device History..."));

        ASSERT_EQ (alerts.boxes.size(), 1u);
        EXPECT_EQ (alerts.boxes[0].title, "Reset Device History");
        EXPECT_EQ (alerts.boxes[0].message, "Are you sure you want to reset the connection history?");
        EXPECT_EQ (alerts.boxes[0].buttons, (juce::StringArray { "Yes", "No" }));
        EXPECT_EQ (content.getDevicePage().isHistoryCleared(), answer);
    }
}

TEST_F (OptionsTest, MoreInfoAndBrowse)
{
    OptionsContent content;
    juce::String opened;
    content.getGeneralPage().openUrl = [&] (const juce::URL& url) { opened = url.toString (false); };
    click (*buttonWithText (content.getGeneralPage(), "More Info..."));
    EXPECT_EQ (opened, GeneralOptionsComp::homePage);

    const auto chosen = freshFolder ("chosen exports");
    ChooserAnswers chooser (chosen);
    click (*buttonWithText (content.getDataPage(), "Browse..."));
    ASSERT_EQ (chooser.requests.size(), 1u);
    EXPECT_EQ (chooser.requests[0].title, "Select the export folder");
    EXPECT_EQ (chooser.requests[0].mode, FileChoosers::Mode::chooseFolder);
    EXPECT_EQ (textOf (content.getDataPage(), "folderLabel"), chosen.getFullPathName());
    EXPECT_FALSE (settings().containsKey ("exportFolder"));

    ok (content);
    EXPECT_EQ (settings().getValue ("exportFolder"), chosen.getFullPathName());
}

TEST_F (OptionsTest, TabsButtonsAndSizeFollowTheScale)
{
    for (auto scale : WidgetTests::scales)
    {
        SCOPED_TRACE (scale);
        WidgetTests::ScopedLookAndFeel scaled (scale);
        OptionsContent content;
        auto& tabs = content.getTabs();
        const auto g = juce::roundToInt (10 * scale), buttonHeight = juce::roundToInt (28 * scale);

        EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (juce::roundToInt (550 * scale), juce::roundToInt (300 * scale)));
        EXPECT_EQ (tabs.getTabNames(), (juce::StringArray { "General", "Devices", "Data" }));
        EXPECT_EQ (tabs.getTabBarDepth(), juce::roundToInt (14.0f * scale * 1.8f));
        EXPECT_NE (dynamic_cast<OptionsDialogLaf*> (&content.getLookAndFeel()), nullptr);

        auto& cancel = *buttonWithText (content, "Cancel");
        EXPECT_EQ (cancel.getBounds().getBottomRight(), juce::Point<int> (content.getWidth() - g, content.getHeight() - g));
        EXPECT_EQ (buttonWithText (content, "Restore Defaults")->getX(), g);
        EXPECT_EQ (tabs.getBounds(), content.getLocalBounds().reduced (g).withTrimmedBottom (buttonHeight + g));
    }
}

//==============================================================================
class OptionsDialogTest : public DisplayTest {};

TEST_F (OptionsDialogTest, OkGivesOneCancelAndCloseZero)
{
    const std::pair<const char*, int> cases[] = { { "Ok", 1 }, { "Cancel", 0 }, { "close", 0 } };

    for (auto& [press, expected] : cases)
    {
        SCOPED_TRACE (press);
        OptionsDialog dialog (nullptr);
        EXPECT_EQ (dialog.getName(), "Options");
        EXPECT_EQ (dialog.getBackgroundColour(), Palette::optionsTabColour);

        const auto result = runModally (dialog, [what = juce::String (press)] (BelvoraDialog& d)
        {
            if (what == "close")
                d.getCloseButton()->triggerClick();
            else
                buttonWithText (*d.getContentComponent(), what)->triggerClick();
        });

        EXPECT_EQ (result, expected);
        EXPECT_EQ (settings().containsKey ("onlyShowMwdDevices"), expected == 1);
        EXPECT_FALSE (dialog.wasRestoreDefaultsPressed() || dialog.isHistoryCleared() || dialog.isScaleChanged());
        settings().clear();
    }
}

// Every page by keys as on a desktop tab bar, round the ends both ways, with the focus on the page shown.
TEST_F (OptionsDialogTest, CtrlTabAndCtrlPageKeysReachEveryPage)
{
    OptionsDialog dialog (nullptr);
    auto& tabs = dialog.getOptionsContent().getTabs();
    const auto ctrl = juce::ModifierKeys::ctrlModifier;
    juce::StringArray shown;

    runModally (dialog, [&] (BelvoraDialog& d)
    {
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.getPeer()->isFocused(); }));

        for (auto& key : { juce::KeyPress (juce::KeyPress::tabKey, ctrl, 0), juce::KeyPress (juce::KeyPress::pageDownKey, ctrl, 0),
                           juce::KeyPress (juce::KeyPress::pageDownKey, ctrl, 0), juce::KeyPress (juce::KeyPress::tabKey, ctrl | juce::ModifierKeys::shiftModifier, 0),
                           juce::KeyPress (juce::KeyPress::pageUpKey, ctrl, 0) })
            if (pressKey (key))
                shown.add (tabs.getCurrentTabName() + (tabs.getCurrentContentComponent()->isParentOf (juce::Component::getCurrentlyFocusedComponent()) ? "" : " (unfocused)"));

        d.closeWith (0);
    });

    EXPECT_EQ (shown, juce::StringArray ({ "Devices", "Data", "General", "Data", "Devices" }));
}

// Return means "Ok" but on a push button: on a checkbox too, which Space ticks.
TEST_F (OptionsDialogTest, ReturnMeansOkAndSpaceTicksACheckbox)
{
    OptionsDialog dialog (nullptr);
    auto& toggle = *buttonWithText (dialog.getOptionsContent().getGeneralPage(), "Send Anonymous Usage Data to Marrowell");
    const auto ticked = toggle.getToggleState();

    WhenUp keys ("Options", [&] (juce::Component&)
    {
        const auto done = pressKey (juce::KeyPress (juce::KeyPress::tabKey)) && focusedName() == toggle.getButtonText()
                       && pressKey (juce::KeyPress (juce::KeyPress::spaceKey)) && toggle.getToggleState() != ticked
                       && pressKey (juce::KeyPress (juce::KeyPress::returnKey));

        if (dialog.isCurrentlyModal())
            dialog.closeWith (-1);

        return done;
    });

    EXPECT_EQ (dialog.runModal(), 1);
    EXPECT_TRUE (keys.done);
    EXPECT_NE (toggle.getToggleState(), ticked) << "ticked by Space, kept by Return";
}

