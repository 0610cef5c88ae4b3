// The about box and the device information dialog: their texts and layout
// (headless), and, with a display, how every dialog window opens and closes.

#include "app/Belvora.h"
#include "DialogTestSupport.h"
#include "gui/CommandDialogs.h"
#include "gui/DialogFixtures.h"
#include "gui/Palette.h"
#include "gui/dialogs/AboutBox.h"
#include "gui/dialogs/DeviceInfoDialog.h"
#include "gui/dialogs/ExportDialog.h"
#include "gui/dialogs/FileChooserDialog.h"
#include "gui/dialogs/FirmwareChooserDialog.h"
#include "gui/dialogs/ImportDialog.h"
#include "gui/dialogs/OptionsDialog.h"
#include "gui/dialogs/UpdateProgressWindow.h"
#include "gui/dialogs/WarnFileReplaceDialog.h"
#include "gui/widgets/MidiDeviceStatusButton.h"
#include "gui/WindowCloser.h"
#include "gui/WidgetTestSupport.h"
#include "support/SettingsFixture.h"
#include "support/TestEnvironment.h"

#include <sys/resource.h>

using namespace WidgetTests;

namespace
{
    juce::String labelText (juce::Component& parent, const juce::String& name)
    {
        for (auto* child : parent.getChildren())
            if (child->getName() == name)
                if (auto* label = dynamic_cast<juce::Label*> (child))
                    return label->getText();

        return "<no " + name + ">";
    }

    juce::Rectangle<int> boundsOf (juce::Component& parent, const juce::String& name)
    {
        for (auto* child : parent.getChildren())
            if (child->getName() == name)
                return child->getBounds();

        return {};
    }

    const FirmwareVersion firmware (0, 1, 4, 0, 140, 7);

    void pressEscape (juce::Component& window)
    {
        window.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    }
}

//==============================================================================
TEST (DeviceInfoComp, SerialAndDateShowOnlyWhenPlausible)
{
    EXPECT_EQ (DeviceInfoComp::serialText (0), "not set");
    EXPECT_EQ (DeviceInfoComp::serialText (-1), "not set");
    EXPECT_EQ (DeviceInfoComp::serialText (12345), "12345");
    EXPECT_EQ (DeviceInfoComp::serialText (-2), "-2");

    EXPECT_EQ (DeviceInfoComp::dateText ({ 2015, 6, 3 }), "2015.06.03");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 2016, 0, 0 }), "2016.00.00");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 1970, 6, 3 }), "not set");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 3001, 6, 3 }), "not set");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 3000, 12, 31 }), "3000.12.31");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 2015, 13, 3 }), "not set");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 2015, 6, 32 }), "not set");
    EXPECT_EQ (DeviceInfoComp::dateText ({ 2015, -1, 3 }), "not set");
}

TEST (DeviceInfoComp, CaptionsValuesAndLayoutAtEachScale)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        DeviceInfoComp comp ("Vesper Black", firmware, { 2015, 6, 3 }, 20000001, false);

        EXPECT_EQ (comp.getBounds(), juce::Rectangle<int> (juce::roundToInt (300 * scale), juce::roundToInt (115 * scale)));
        EXPECT_EQ (labelText (comp, "label"), "Name:");
        EXPECT_EQ (labelText (comp, "label2"), "Version:");
        EXPECT_EQ (labelText (comp, "label3"), "Serial Number:");
        EXPECT_EQ (labelText (comp, "label4"), "Manufacture Date:");
        EXPECT_EQ (labelText (comp, "labelName"), "Vesper Black");
        EXPECT_EQ (labelText (comp, "labelVersion"), "1.4.00 build 140");
        EXPECT_EQ (labelText (comp, "labelSerialNum"), "20000001");
        EXPECT_EQ (labelText (comp, "labelManufactureDate"), "2015.06.03");

        // Two columns: captions from x 6, values from their right edge, rows of 1.75 font heights from y 8.
        const auto w = comp.getWidth();
        const auto row = juce::roundToInt (14.0f * scale * 1.75f);
        EXPECT_EQ (boundsOf (comp, "label4"), juce::Rectangle<int> (6, 8 + 3 * row, (int) (w * 0.4f), row));
        EXPECT_EQ (boundsOf (comp, "labelSerialNum"), juce::Rectangle<int> (6 + (int) (w * 0.4f), 8 + 2 * row, (int) (w * 0.56f), row));
    }
}

TEST (AboutBoxContent, LogoSizeAndVersionInTheMiddle)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        AboutBoxContent content;

        EXPECT_EQ (content.getVersionText(), "1.1.00 build 136");
        EXPECT_EQ (content.getWidth(), juce::roundToInt (335 * scale));

        // No empty lower third: the box ends about as far below the wordmark as the symbol starts below the top.
        const auto image = snapshot (content);
        const auto w = image.getWidth(), h = juce::roundToInt (282 * scale);
        const auto background = image.getPixelAt (w / 2, 2);
        const auto drawnRows = [&] (int y0, int y1)
        {
            return countPixels (image, { 0, y0, w, y1 - y0 }, [&] (juce::Colour c)
            {
                return std::abs (c.getRed() - background.getRed()) + std::abs (c.getGreen() - background.getGreen())
                         + std::abs (c.getBlue() - background.getBlue()) > 24;
            });
        };
        EXPECT_LT (content.getHeight(), h * 4 / 5);
        EXPECT_EQ (drawnRows (0, juce::roundToInt (20 * scale)), 0);
        EXPECT_GT (drawnRows (content.getHeight() - juce::roundToInt (45 * scale), content.getHeight()), 0);

        const auto band = juce::Rectangle<int> (0, h / 2 - h / 20, w, h / 10);
        EXPECT_GT (countPixels (image, band, hue (Palette::aboutBlue, 30)), 20);
        EXPECT_EQ (countPixels (image, { 0, 0, w / 10, image.getHeight() }, hue (Palette::aboutBlue, 10)), 0);
    }
}

//==============================================================================
namespace
{
    class DialogTest : public SettingsFixture
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            SettingsFixture::SetUp();
        }

        static juce::Component* modal()
        {
            return juce::ModalComponentManager::getInstance()->getModalComponent (0);
        }
    };

    /** Presses a key or the close button of the modal dialog once it is up. */
    struct Closer : juce::Timer
    {
        explicit Closer (std::function<void (BelvoraDialog&)> how) : close (std::move (how)) { startTimer (10); }

        void timerCallback() override
        {
            if (auto* dialog = dynamic_cast<BelvoraDialog*> (juce::ModalComponentManager::getInstance()->getModalComponent (0)))
            {
                stopTimer();
                seen = dialog->getName();
                close (*dialog);
            }
        }

        std::function<void (BelvoraDialog&)> close;
        juce::String seen;
    };
}

TEST_F (DialogTest, AboutBoxIsBuiltTheDialogWayAndEscapeEndsItWithZero)
{
    std::map<float, int> gripInk;   // by scale, the width of what the resize grip draws

    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        juce::Component parent;
        parent.setBounds (100, 100, 800, 600);

        AboutBox box (&parent);
        EXPECT_EQ (box.getName(), "About Belvora");
        EXPECT_EQ (box.getBackgroundColour(), Palette::aboutBackgroundColour);
        EXPECT_TRUE (box.isOnDesktop());
        EXPECT_FALSE (box.isResizable());
        EXPECT_EQ (box.getTitleBarHeight(), scale == 1.0f ? juce::DialogWindow ("x", {}, true, false).getTitleBarHeight()
                                                         : (int) (14.0f * scale * 1.8571428f));

        auto* content = dynamic_cast<AboutBoxContent*> (box.getContentComponent());
        ASSERT_NE (content, nullptr);
        EXPECT_EQ (box.getContentComponentBorder().subtractedFrom (box.getLocalBounds()).getWidth(), content->getWidth());

        // The frame follows the scale too: the close button's cross, and the resize grip (made resizable for it).
        auto* close = dynamic_cast<juce::ImageButton*> (box.getCloseButton());
        ASSERT_NE (close, nullptr);
        EXPECT_EQ (close->getNormalImage().getWidth(), (int) (10 * scale));
        box.setResizable (true, true);
        juce::Component* grip = nullptr;
        for (auto* child : box.getChildren())
            if (dynamic_cast<juce::ResizableCornerComponent*> (child) != nullptr)
                grip = child;
        ASSERT_NE (grip, nullptr);
        EXPECT_EQ (grip->getBounds(), box.getLocalBounds().removeFromBottom ((int) (18 * scale)).removeFromRight ((int) (18 * scale)));
        const auto drawn = box.createComponentSnapshot (grip->getBounds());
        auto& ink = gripInk[scale];
        for (int x = 0; x < drawn.getWidth(); ++x)
            for (int y = 0; y < drawn.getHeight(); ++y)
                if (std::abs (drawn.getPixelAt (x, y).getBrightness() - drawn.getPixelAt (0, 0).getBrightness()) > 0.2f)
                    ink = juce::jmax (ink, drawn.getWidth() - x);

        Closer escape ([] (BelvoraDialog& d) { pressEscape (d); });
        EXPECT_EQ (box.runModal(), 0);
        EXPECT_EQ (escape.seen, "About Belvora");
        EXPECT_FALSE (box.isVisible());
    }

    EXPECT_GT (gripInk[1.0f], 10);
    EXPECT_NEAR (gripInk[2.0f], 2 * gripInk[1.0f], 2);
}

// An open box with nothing happening sleeps until a message comes, as the main loop does:
// once its loop woke every millisecond to look for one.
TEST_F (DialogTest, AnOpenDialogSleepsUntilAMessageComes)
{
    const auto switches = []
    {
        rusage usage {};
        getrusage (RUSAGE_THREAD, &usage);
        return usage.ru_nvcsw;   // the times it waited: preemption under load does not count
    };

    // A loop run for a while, with nothing to do.
    auto before = switches();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    EXPECT_LT (switches() - before, 50);

    // A dialog's modal loop, counted once the dialog is up (its opening asks the system a few dozen things),
    // ended by a timer's message.
    ScopedLookAndFeel look (1.0f);
    juce::Component parent;
    parent.setBounds (100, 100, 800, 600);
    AboutBox box (&parent);
    long opened = -1;

    EXPECT_EQ (DialogTests::runModally (box, [&] (BelvoraDialog& dialog)
    {
        opened = (long) switches();
        juce::Timer::callAfterDelay (300, [&dialog] { pressEscape (dialog); });
    }), 0);
    EXPECT_LT ((long) switches() - opened, 50);
}

TEST_F (DialogTest, DeviceInformationOpensWithItsTextsAndTheCloseButtonEndsIt)
{
    DeviceInfoDialog dialog ("Vesper", firmware, { 2015, 6, 3 }, 12345);
    EXPECT_EQ (dialog.getName(), "Device Information");
    EXPECT_EQ (dialog.getBackgroundColour(), Palette::dialogBackgroundColour);

    auto* content = dialog.getContentComponent();
    ASSERT_NE (dynamic_cast<DeviceInfoComp*> (content), nullptr);
    EXPECT_EQ (labelText (*content, "labelSerialNum"), "12345");
    EXPECT_EQ (labelText (*content, "labelVersion"), "1.4.00 build 140");

    Closer press ([] (BelvoraDialog& d) { d.getCloseButton()->triggerClick(); });
    EXPECT_EQ (dialog.runModal(), 0);
    EXPECT_EQ (press.seen, "Device Information");
}

TEST_F (DialogTest, DeveloperModeShowsTheMicrocontrollerVersion)
{
    Belvora app;
    app.parseSwitches ("belvora developer");
    DeviceInfoDialog dialog ("Vesper", firmware, {}, 0);
    EXPECT_EQ (labelText (*dialog.getContentComponent(), "labelVersion"), "1.4.00 build 140 (mcu 7)");
}

TEST_F (DialogTest, LaunchedDialogDeletesItselfWhenClosed)
{
    int result = -1;
    auto dialog = std::make_unique<DeviceInfoDialog> ("Vesper", firmware, ManufactureDate {}, 1);
    juce::Component::SafePointer<juce::Component> watch (dialog.get());
    BelvoraDialog::launch (std::move (dialog), [&] (int r) { result = r; });

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return modal() != nullptr; }));
    EXPECT_EQ (modal(), watch.getComponent());
    dynamic_cast<BelvoraDialog*> (modal())->closeWith (5);

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return watch == nullptr; }));
    EXPECT_EQ (result, 5);
}

TEST_F (DialogTest, TileMenuShowsTheUnitsInformation)
{
    MidiDeviceStatusButton tile ({ 0x12, "Vesper", firmware, { 2016, 1, 2 }, 10000007, false }, {});
    tile.handleMenuResult (MidiDeviceStatusButton::showDeviceInfo);

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return modal() != nullptr; }));
    auto* dialog = dynamic_cast<DeviceInfoDialog*> (modal());
    ASSERT_NE (dialog, nullptr);
    juce::Component::SafePointer<juce::Component> watch (dialog);

    auto& content = *dialog->getContentComponent();
    EXPECT_EQ (labelText (content, "labelName"), "Vesper");
    EXPECT_EQ (labelText (content, "labelSerialNum"), "10000007");
    EXPECT_EQ (labelText (content, "labelManufactureDate"), "2016.01.02");

    pressEscape (*dialog);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return watch == nullptr; }));
}

// A box with more than one button opens with the focus on the button its text
// asks for, marked as focused, and Return presses that one, Escape the one
// that changes nothing; Space presses the focused one. The focus stays there
// under a window manager too, which gives a new box the focus late (once the
// framework put it on the first button then).
TEST_F (DialogTest, ReturnPressesTheButtonTheBoxRecommends)
{
    /** The user at a box (see WhenUp): notes the focused button and how it is marked, then presses the key. */
    struct BoxKey : DialogTests::WhenUp
    {
        explicit BoxKey (juce::KeyPress key) : WhenUp ({}, [this, key] (juce::Component& box)
        {
            if (auto* button = dynamic_cast<juce::Button*> (juce::Component::getCurrentlyFocusedComponent()))
            {
                const auto picture = button->createComponentSnapshot (button->getLocalBounds());
                ringPixels = countPixels (picture, picture.getBounds(), hue (Palette::focusRingColour, 10));
            }

            EXPECT_TRUE (DialogTests::pressKey (key));

            if (&box == modal())   // the key did nothing: the box must not stay for ever
                box.exitModalState (-1);

            return true;
        }) {}

        int ringPixels = 0;
    };

    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        {
            BoxKey press { juce::KeyPress (juce::KeyPress::returnKey) };
            EXPECT_EQ (CommandDialogs::confirmFirmwareUpdate (nullptr, "Vesper", true), CommandDialogs::yes);
            EXPECT_EQ (press.focused, "Start Update");
            EXPECT_GT (press.ringPixels, 20) << "the focused button is marked";
        }
        {
            BoxKey press { juce::KeyPress (juce::KeyPress::escapeKey) };
            EXPECT_EQ (CommandDialogs::confirmFirmwareUpdate (nullptr, "Vesper", true), CommandDialogs::no);
        }
        {
            BoxKey press { juce::KeyPress (juce::KeyPress::returnKey) };
            EXPECT_TRUE (CommandDialogs::confirmReinstallFirmware (nullptr, "Vesper"));
            EXPECT_EQ (press.focused, "Start Update");
        }
        {
            BoxKey press { juce::KeyPress (juce::KeyPress::spaceKey) };
            EXPECT_EQ (CommandDialogs::confirmFirmwareUpdate (nullptr, "Vesper", true), CommandDialogs::yes);
        }
        {
            BoxKey press { juce::KeyPress (juce::KeyPress::escapeKey) };   // the button that keeps the user's work
            EXPECT_EQ (Alerts::showChoices (juce::MessageBoxIconType::WarningIcon, nullptr, "File Error", "Not saved.",
                                            { Alerts::Choice { "Try Again", 1, {}, true }, Alerts::Choice { "Quit Anyway", 2 } }), 1);
        }

        // Where one answer throws work away (or starts an update, or opens a web page),
        // the box opens on the one that does not: Return and Escape answer it.
        using Discard = CommandDialogs::Discard;

        for (auto key : { juce::KeyPress::returnKey, juce::KeyPress::escapeKey })
        {
            for (auto reason : { Discard::quit, Discard::disconnect, Discard::restore, Discard::scan })
            {
                BoxKey press { juce::KeyPress (key) };
                EXPECT_FALSE (CommandDialogs::askDiscardChanges (nullptr, "Vesper", reason)) << "the edits are kept";
                EXPECT_EQ (press.focused, "Cancel");
            }
            {
                BoxKey press { juce::KeyPress (key) };
                UpdateProgressWindow update (nullptr);
                EXPECT_FALSE (update.askYesNo ("Firmware Update", "Your presets will be erased. Continue anyway?"));
                EXPECT_EQ (press.focused, "No");
            }
            {
                BoxKey press { juce::KeyPress (key) };
                EXPECT_EQ (CommandDialogs::askInstallNewFirmware (nullptr, "Vesper"), CommandDialogs::no);
                EXPECT_EQ (press.focused, "No");
            }
            {
                BoxKey press { juce::KeyPress (key) };
                EXPECT_FALSE (CommandDialogs::showDeviceScanResult (nullptr, {})) << "no web page";
                EXPECT_EQ (press.focused, "Ok");
            }
        }
    }

    // News the program overtakes (the unit's information came) closes its box by itself, as closing it would.
    bool came = false;
    DialogTests::WhenUp up ({}, [&] (juce::Component&) { return came = true; });
    EXPECT_FALSE (CommandDialogs::showDeviceScanResult (nullptr, { 1, 0, {}, { "Vesper" }, [&] { return came; } }));
    EXPECT_TRUE (came);
}

// What a box or dialog covered is drawn as it is once it closes: a part that
// the pointer entered before the box opened and left for the box is no longer
// drawn as under the pointer.
TEST_F (DialogTest, WhatABoxUncoversIsDrawnWithoutThePointerOverIt)
{
    /** Notes whether it was drawn as under the pointer. */
    struct HoverProbe : juce::Component
    {
        HoverProbe()                              { setRepaintsOnMouseActivity (true); }
        void paint (juce::Graphics& g) override   { paintedOver = isMouseOver(); g.fillAll (paintedOver ? juce::Colours::white : juce::Colours::grey); }
        bool paintedOver = false;
    };

    juce::DocumentWindow window ("Probe", juce::Colours::grey, 0);
    HoverProbe probe;
    probe.setSize (300, 200);
    window.setContentNonOwned (&probe, true);
    window.setTopLeftPosition (20, 20);
    window.setVisible (true);

    // No button held over from an earlier test's click on a menu that went with its press.
    juce::ModifierKeys::currentModifiers = {};
    const auto moveTo = [] (juce::Point<int> at) { return DialogTests::clickOnScreen (at, false); };
    // Moved about over the probe until it shows the pointer (a window just mapped may miss the first move).
    int moves = 0;
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        const auto centre = probe.localPointToGlobal (probe.getLocalBounds().getCentre());
        return probe.paintedOver || ! moveTo (centre.translated (++moves % 10, 0));
    })) << "drawn as under the pointer";
    ASSERT_TRUE (probe.paintedOver);

    // Beside the probe: a box that covered it would have it drawn afresh when it closes.
    AboutBox box (&window);
    box.setTopLeftPosition (probe.getScreenBounds().getBottomRight() + juce::Point<int> (20, 20));

    Closer leaveAndClose ([&] (BelvoraDialog& d)
    {
        const auto inBox = d.localPointToGlobal (d.getLocalBounds().getCentre());
        EXPECT_TRUE (moveTo (inBox));
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.isParentOf (juce::Desktop::getInstance().getMainMouseSource().getComponentUnderMouse()); }));
        pressEscape (d);
    });

    box.runModal();
    EXPECT_FALSE (probe.isMouseOver());
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! probe.paintedOver; }, 5000)) << "still drawn as under the pointer";
}

// The keyboard focus goes back to where it was after every close of the same
// dialog, shown again: the second showing once left it nowhere.
TEST_F (DialogTest, FocusComesBackAfterEveryCloseOfTheSameDialog)
{
    ScopedLookAndFeel look (1.0f);
    juce::DocumentWindow window ("Owner", juce::Colours::grey, 0);
    juce::TextEditor editor;
    editor.setSize (300, 40);
    window.setContentNonOwned (&editor, true);
    window.setTopLeftPosition (20, 20);
    window.setVisible (true);

    const auto keysReachTheEditor = [&]
    {
        return editor.hasKeyboardFocus (false) && editor.getPeer() != nullptr && editor.getPeer()->isFocused();
    };

    window.toFront (true);
    editor.grabKeyboardFocus();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil (keysReachTheEditor));

    AboutBox box (&window);

    for (int showing = 1; showing <= 2; ++showing)
    {
        DialogTests::WhenUp escape ({}, [] (juce::Component& dialog) { pressEscape (dialog); return true; });
        box.runModal();
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil (keysReachTheEditor)) << "showing " << showing;
    }
}

// A box over a dialog stays above it when the modal windows are put back in
// order (as the end of an edit in a text field does): without a window manager
// the dialog came up over it.
TEST_F (DialogTest, ABoxOverADialogStaysAboveIt)
{
    WindowCloser x;
    AboutBox lower (nullptr);
    DeviceInfoDialog upper ("Vesper", firmware, {}, 1);
    bool above = false;

    DialogTests::runModally (lower, [&] (BelvoraDialog&)
    {
        DialogTests::runModally (upper, [&] (BelvoraDialog& d)
        {
            juce::ModalComponentManager::getInstance()->bringModalComponentsToFront();
            d.getPeer()->isFocused();   // a round trip to the server, which has restacked them by then
            above = x.isAbove ("Device Information", "About Belvora");
            d.closeWith (0);
        });
        lower.closeWith (0);
    });

    EXPECT_TRUE (above);
}

// In a file chooser's list the arrows move, Return opens a folder, then picks a file.
TEST_F (DialogTest, FileChooserListGoesByKeys)
{
    const auto folder = DialogFixtures::freshFolder ("chooser"), inner = folder.getChildFile ("Live Set/inner.syx");
    EXPECT_TRUE (inner.getParentDirectory().createDirectory() && inner.replaceWithText ("F0 F7") && folder.getChildFile ("Vocal.syx").replaceWithText ("F0 F7"));

    DialogTests::ChooserKeys keys ([&] (juce::Component& chooser)
    {
        auto* list = DialogTests::find<juce::ListBox> (chooser, "files");
        ASSERT_NE (list, nullptr);
        const auto rows = [list] { return list->getModel()->getNumRows(); };
        const auto press = [] (int code, juce::ModifierKeys mods = {}) { return DialogTests::pressKey (juce::KeyPress (code, mods, 0)); };
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rows() == 2; }));
        ASSERT_TRUE (press (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier) && press (juce::KeyPress::upKey) && press (juce::KeyPress::returnKey));
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return rows() == 1; })) << "the folder opened";
        ASSERT_TRUE (press (juce::KeyPress::downKey) && press (juce::KeyPress::returnKey));
    });

    const auto chosen = FileChoosers::choose ({ FileChoosers::Mode::openFiles, "Select the import file(s)", folder.getChildFile ("Vocal.syx"), "*.syx" });
    EXPECT_EQ (keys.focused, "filename");
    EXPECT_EQ (chosen, juce::Array<juce::File> { inner });

    // Escape in the name box, or in Export's file name, closes the dialog as from its other controls.
    DialogTests::ChooserKeys escape ([] (juce::Component& chooser)
    {
        EXPECT_TRUE (DialogTests::pressKey (juce::KeyPress (juce::KeyPress::escapeKey)));
        EXPECT_FALSE (chooser.isCurrentlyModal()) << "Escape in the name box";
    });
    EXPECT_TRUE (FileChoosers::choose ({ FileChoosers::Mode::saveFile, "Export", folder.getChildFile ("Vocal.syx"), "*.syx" }).isEmpty());

    ExportDialog exporter (nullptr, {}, { "Workspace" }, { 1 }, 0, true);
    EXPECT_EQ (DialogTests::runModally (exporter, [] (BelvoraDialog& d)
    {
        DialogTests::get<juce::TextEditor> (d, "textEditorFilename").grabKeyboardFocus();

        if (! DialogTests::pressKey (juce::KeyPress (juce::KeyPress::escapeKey)) || d.isCurrentlyModal())
            d.closeWith (-1);
    }), 0) << "Escape in Export's file name";
}

// Each dialog's real chooser: a name or a path typed in its name box, then Return, is chosen.
TEST_F (DialogTest, EveryChooserTakesANameTyped)
{
    using namespace DialogTests;
    const auto folder = DialogFixtures::freshFolder ("typed"), liveSet = folder.getChildFile ("Live Set");
    const auto file = DialogFixtures::writeSysExFile (folder.getChildFile ("update_build321.syx"), DialogFixtures::vesper, { 3 });
    liveSet.createDirectory();
    settings().setValue ("exportFolder", folder.getFullPathName());
    settings().setValue ("lastFirmwareFile", folder.getChildFile ("gone.syx").getFullPathName());
    AlertLog alerts;
    const auto typed = [] (const juce::String& text, std::function<void()> openChooser) { ChooserKeys keys (text); openChooser(); };

    ImportContent import (DialogFixtures::capsOf (DialogFixtures::vesper), { nullptr }, {}, { "Vesper (device)" }, {});
    typed (file.getFullPathName(), [&] { click (get<juce::Button> (import, "chooseFolderButton")); });
    EXPECT_EQ (import.getChosenFiles(), juce::Array<juce::File> { file });

    FirmwareChooserContent firmware (true, {});
    typed ("update_build321.syx", [&] { firmware.chooseCustomUpdateFile(); });
    ASSERT_NE (firmware.getBuildNumberPrompt(), nullptr);
    click (*buttonWithText (*firmware.getBuildNumberPrompt(), "Ok"));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return firmware.getCustomUpdate() != nullptr; }));
    EXPECT_EQ (firmware.getCustomUpdate()->file, file.getFullPathName());

    ExportContent exporter (folder.getFullPathName(), { "Workspace" }, { 1 }, 0, true);
    typed ("Live Set", [&] { click (get<juce::Button> (exporter, "chooseFolderButton")); });
    EXPECT_EQ (exporter.getExportFolder(), liveSet.getFullPathName());

    OptionsContent options;
    typed ("Live Set", [&] { click (*buttonWithText (options.getDataPage(), "Browse...")); });
    EXPECT_EQ (textOf (options.getDataPage(), "folderLabel"), liveSet.getFullPathName());
}

// By keys: each dialog opens on a control, and Tab goes once round it in reading
// order (each column top to bottom, then the buttons left to right), one stop per
// control, each marked: it looks otherwise than once the focus has gone on.
TEST_F (DialogTest, TabGoesRoundEachDialogInReadingOrderAndMarksEveryStop)
{
    using namespace DialogFixtures;
    const auto data = makeData (vesper, { 0, 1 });
    const auto syx = writeSysExFile (freshFolder ("tab").getChildFile ("a.syx"), vesper, { 1 });
    const auto tab = juce::KeyPress (juce::KeyPress::tabKey);
    using Make = std::function<std::unique_ptr<juce::ResizableWindow>()>;

    const std::pair<Make, const char*> cases[] = {
        { [] { return std::make_unique<AboutBox> (nullptr); }, "close" },
        { [] { return std::make_unique<DeviceInfoDialog> ("Vesper", firmware, ManufactureDate { 2015, 6, 3 }, 1); }, "close" },
        { [] { return std::make_unique<MidiDevicesDialog> (sampleDeviceTable()); }, "close" },
        { [] { return std::make_unique<WarnFileReplaceDialog> (nullptr, "Replace File", "'/a.syx' exists.", true); },
          "textButtonNo, toggleButtonApplyToAll, textButtonYes" },   // opens on the answer that keeps the file
        { [] { return std::make_unique<ExportDialog> (nullptr, "", juce::StringArray { "Workspace", "Backup" }, juce::Array<uint8_t> { 1, 1 }, 0, true); },
          "comboBoxDataSource, toggleButtonSelectedPresets, toggleButtonSingleFile, textEditorFilename, chooseFolderButton, "
          "textButtonStartExport, textButtonCancel" },
        { [&] { return std::make_unique<ImportDialog> (nullptr, capsOf (vesper), juce::Array<const DeviceData*> { data.get() }, "",
                                                       juce::StringArray { "Workspace" }, ImportContent::ConversionCheck()); },
          "chooseFolderButton, comboBoxDataDestination, comboBoxPresetOrder, textButtonCancel" },
        { []
          {
              FirmwareChooserContext context;
              context.productId = context.activeProductId = vesper;
              context.updates = sampleUpdates();
              auto dialog = std::make_unique<FirmwareChooserDialog> (nullptr, true, context);
              DialogTests::get<juce::ListBox> (*dialog->getContentComponent(), "list").selectRow (1);   // its notes hold a link
              return dialog;
          }, "list, release notes, Custom Update..., Start Update, Cancel" },
        { [] { return std::make_unique<UpdateProgressWindow> (nullptr); }, "Stop" },
        { [&] { return std::make_unique<FileChooserDialog> (FileChoosers::Request { FileChoosers::Mode::openFile, "Import", syx, "*.syx" }); },
          "filename, Open, Cancel, path, up, files" },
        { [] { return std::make_unique<OptionsDialog> (nullptr); },
          "scaleSlider, Send Anonymous Usage Data to Marrowell, More Info..., Restore Defaults, Ok, Cancel" },
    };

    for (auto scale : scales)
    {
        for (auto& [make, expected] : cases)
        {
            ScopedLookAndFeel look (scale);
            auto window = make();
            SCOPED_TRACE (window->getName() + " at scale " + juce::String (scale));
            window->setVisible (true);
            window->enterModalState (true);
            // Each opens with a control focused (one that only shows things, on its close button; the
            // update's on itself, where a stray key stops nothing: Tab enters it).
            const auto focused = [] { return juce::Component::getCurrentlyFocusedComponent(); };
            const auto opensOnItself = dynamic_cast<UpdateProgressWindow*> (window.get()) != nullptr;
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
            {
                return window->getPeer()->isFocused() && (opensOnItself ? focused() == window.get() : window->isParentOf (focused()));
            }));

            if (opensOnItself)
            {
                ASSERT_TRUE (DialogTests::pressKey (tab) && window->isParentOf (focused()));
            }

            juce::StringArray stops, unmarked;
            // A stop is the named control the focus is in (a combo box's text field is its box's).
            const auto stopNow = [&]
            {
                auto* c = focused();
                while (c != nullptr && c != window.get() && c->getName().isEmpty())
                    c = c->getParentComponent();
                return c;
            };

            while (focused() != nullptr && window->isParentOf (focused()) && ! stops.contains (stopNow()->getName()) && stops.size() < 20)
            {
                juce::Component::SafePointer<juce::Component> stop (stopNow());
                const auto name = stop->getName();
                const auto area = window->getLocalArea (stop, stop->getLocalBounds());
                const auto marked = window->createComponentSnapshot (area);

                if (dynamic_cast<juce::TabBarButton*> (stop.getComponent()) == nullptr)   // the tab bar's keys are its own matter
                    stops.add (name);

                // Keys only while the stop shows the focus: the system may take the window's focus away for a moment.
                ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return stopNow() == stop && window->getPeer()->isFocused(); }));
                ASSERT_TRUE (DialogTests::pressKey (tab));
                const auto plain = window->createComponentSnapshot (area);
                int changed = 0;

                for (int y = 0; y < plain.getHeight(); ++y)
                    for (int x = 0; x < plain.getWidth(); ++x)
                        changed += plain.getPixelAt (x, y) != marked.getPixelAt (x, y) ? 1 : 0;

                if (stopNow() != stop && changed < 20)
                    unmarked.add (name);
            }

            EXPECT_EQ (stops.joinIntoString (", "), expected);
            EXPECT_TRUE (stops.isEmpty() || stopNow()->getName() == stops[0]) << "Tab goes round";
            EXPECT_TRUE (unmarked.isEmpty()) << unmarked.joinIntoString (", ");
            window->exitModalState (0);
            window.reset();
            DialogTests::deliverPosted();   // the focus given back as the window goes
        }
    }
}
