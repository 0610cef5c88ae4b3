// The export dialog: what it offers for each source, the names it remembers,
// what it lets start, and its modal results.

#include "gui/DialogFixtures.h"
#include "gui/DialogTestSupport.h"
#include "gui/Palette.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/ExportDialog.h"

using namespace DialogFixtures;
using namespace DialogTests;

namespace
{
    struct ExportTest : SettingsFixture
    {
        void SetUp() override
        {
            SettingsFixture::SetUp();
            folder = freshFolder ("export");
        }

        ExportContent make (juce::Array<uint8_t> hasSetup = { 1, 1, 0 }, int selected = 0, bool hasSelectedPresets = true)
        {
            return ExportContent (folder.getFullPathName(), { "Workspace", "Backup", "Pack" }, hasSetup, selected, hasSelectedPresets);
        }

        static juce::Button& toggle (ExportContent& c, const juce::String& name)  { return get<juce::Button> (c, "toggleButton" + name); }
        static juce::TextEditor& nameEditor (ExportContent& c)    { return get<juce::TextEditor> (c, "textEditorFilename"); }
        static juce::TextEditor& suffixEditor (ExportContent& c)  { return get<juce::TextEditor> (c, "new text editor"); }
        static juce::ComboBox& source (ExportContent& c)          { return get<juce::ComboBox> (c, "comboBoxDataSource"); }
        static bool startEnabled (ExportContent& c)               { return get<juce::Button> (c, "textButtonStartExport").isEnabled(); }
        static void press (juce::Button& b)                       { b.setToggleState (true, juce::sendNotificationSync); }

        /** Text as typed: the editor tells its listeners on the message loop. */
        static void type (juce::TextEditor& editor, const juce::String& text)
        {
            editor.setText (text, true);
            deliverPosted();
        }

        WidgetTests::ScopedLookAndFeel look { 1.0f };
        juce::File folder;
    };
}

TEST_F (ExportTest, OpensWithThePresetsNamedForToday)
{
    EXPECT_EQ (ExportContent::dateTextOf (juce::Time (2026, 11, 6, 12, 0)), "6_12_2026");
    EXPECT_EQ (ExportContent::dateTextOf (juce::Time (2027, 0, 15, 0, 0)), "15_1_2027");

    auto content = make();
    const auto today = content.getDateText();
    EXPECT_EQ (content.getFileName(), "SelectedPresets_" + today + ".syx");
    EXPECT_EQ (make ({ 1, 1, 0 }, 0, false).getFileName(), "AllPresets_" + today + ".syx");
    EXPECT_EQ (content.getFileSuffix(), today);
    EXPECT_EQ (content.getExportFolder(), folder.getFullPathName());
    EXPECT_TRUE (toggle (content, "SelectedPresets").getToggleState());
    EXPECT_TRUE (content.isSingleFile());
    EXPECT_FALSE (suffixEditor (content).isVisible());
    EXPECT_EQ (textOf (content, "labelFilenameExample"), "(e.g. Preset_1_" + today + ".syx)");
    EXPECT_TRUE (startEnabled (content));

    // A folder that is gone is replaced by the documents folder.
    ExportContent gone ("/no/such/folder", { "Workspace" }, { 1 }, 0, true);
    EXPECT_EQ (gone.getExportFolder(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getFullPathName());
}

TEST_F (ExportTest, WhatEachSourceOffers)
{
    // Without a selection, "Selected Presets" is never offered.
    auto noSelection = make ({ 1, 1, 0 }, 0, false);
    EXPECT_TRUE (noSelection.isAllPresets());

    for (int id : { 2, 3, 1 })
    {
        source (noSelection).setSelectedId (id, juce::sendNotificationSync);
        EXPECT_FALSE (toggle (noSelection, "SelectedPresets").isEnabled());
    }

    // No source has setup data: "Setup Data" is never shown.
    auto noSetup = make ({ 0, 0, 0 });
    EXPECT_FALSE (toggle (noSetup, "SetupData").isVisible());

    // The selection belongs to its source.
    auto content = make();
    source (content).setSelectedId (2, juce::sendNotificationSync);
    EXPECT_FALSE (toggle (content, "SelectedPresets").isEnabled());
    EXPECT_TRUE (content.isAllPresets());
    source (content).setSelectedId (1, juce::sendNotificationSync);
    EXPECT_TRUE (toggle (content, "SelectedPresets").isEnabled());
}

TEST_F (ExportTest, SetupDataFollowsTheSourceFromTheStart)
{
    // The preselected source has no setup: there is none to export.
    auto content = make ({ 1, 1, 0 }, 2, false);
    EXPECT_TRUE (toggle (content, "SetupData").isVisible());
    EXPECT_FALSE (toggle (content, "SetupData").isEnabled());

    source (content).setSelectedId (1, juce::sendNotificationSync);
    EXPECT_TRUE (toggle (content, "SetupData").isEnabled());

    // Setup chosen, then a source without one: back to all presets, named and split as presets.
    press (toggle (content, "OneFilePer"));
    press (toggle (content, "SetupData"));
    EXPECT_TRUE (content.isSingleFile());
    EXPECT_FALSE (toggle (content, "OneFilePer").isEnabled());
    EXPECT_EQ (content.getFileName(), "Setup_" + content.getDateText() + ".syx");

    source (content).setSelectedId (3, juce::sendNotificationSync);
    EXPECT_TRUE (content.isAllPresets());
    EXPECT_FALSE (toggle (content, "SetupData").isEnabled());
    EXPECT_EQ (content.getFileName(), "AllPresets_" + content.getDateText() + ".syx");
    EXPECT_TRUE (toggle (content, "OneFilePer").isEnabled());
}

TEST_F (ExportTest, EachKindRemembersItsOwnName)
{
    auto content = make();
    press (toggle (content, "AllPresets"));
    type (nameEditor (content), "Tour.syx");
    press (toggle (content, "SelectedPresets"));
    press (toggle (content, "AllPresets"));
    EXPECT_EQ (content.getFileName(), "Tour.syx");

    press (toggle (content, "SetupData"));
    EXPECT_EQ (content.getFileName(), "Setup_" + content.getDateText() + ".syx");
    type (nameEditor (content), "Studio setup.syx");
    press (toggle (content, "AllPresets"));
    EXPECT_EQ (content.getFileName(), "Tour.syx");
    press (toggle (content, "SetupData"));
    EXPECT_EQ (content.getFileName(), "Studio setup.syx");
}

TEST_F (ExportTest, NamesAreLegalFileNames)
{
    auto content = make();
    press (toggle (content, "OneFilePer"));
    EXPECT_FALSE (nameEditor (content).isVisible());
    EXPECT_TRUE (suffixEditor (content).isVisible());
    EXPECT_TRUE (get<juce::Label> (content, "labelSuffix").isVisible());

    type (suffixEditor (content), "live?");
    EXPECT_EQ (content.getFileSuffix(), "live");
    EXPECT_EQ (textOf (content, "labelFilenameExample"), "(e.g. Preset_1_live.syx)");
    type (suffixEditor (content), "");
    EXPECT_EQ (textOf (content, "labelFilenameExample"), "(e.g. Preset_1.syx)");

    press (toggle (content, "SingleFile"));
    type (nameEditor (content), "a:b*c.syx");
    EXPECT_EQ (content.getFileName(), "abc.syx");
}

TEST_F (ExportTest, EmptyFileNameDisablesStart)
{
    auto content = make();
    type (nameEditor (content), {});
    EXPECT_FALSE (startEnabled (content));

    // One file per preset takes its names from the presets.
    press (toggle (content, "OneFilePer"));
    EXPECT_TRUE (startEnabled (content));
    press (toggle (content, "SingleFile"));
    EXPECT_FALSE (startEnabled (content));

    // Leaving the empty editor brings back a name the next time the kind is chosen.
    type (suffixEditor (content), "x");
    content.textEditorFocusLost (nameEditor (content));
    EXPECT_EQ (content.getFileName(), "");
    press (toggle (content, "AllPresets"));
    EXPECT_EQ (content.getFileName(), "AllPresets_x.syx");
    EXPECT_TRUE (startEnabled (content));
}

//==============================================================================
class ExportDialogTest : public DisplayTest {};

TEST_F (ExportDialogTest, StartGivesOneAndEverythingElseZero)
{
    const std::pair<const char*, int> cases[] = { { "textButtonStartExport", 1 }, { "textButtonCancel", 0 }, { "escape", 0 } };

    for (auto& [press, expected] : cases)
    {
        SCOPED_TRACE (press);
        ExportDialog dialog (nullptr, {}, { "Workspace" }, { 1 }, 0, true);
        EXPECT_EQ (dialog.getName(), "Export");
        EXPECT_EQ (dialog.getBackgroundColour(), Palette::dialogBackgroundColour);

        const auto result = runModally (dialog, [what = juce::String (press)] (BelvoraDialog& d)
        {
            if (what == "escape")
                static_cast<juce::Component&> (d).keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
            else
                get<juce::Button> (*d.getContentComponent(), what).triggerClick();
        });

        EXPECT_EQ (result, expected);
    }
}

// By keys alone: the dialog opens with the focus on its first control, Shift+Tab
// goes back from it to the last, each group of choices is one stop whose arrows
// choose, round from end to end, and Return in a text field starts the export.
TEST_F (ExportDialogTest, KeysAloneGoThroughTheControlsAndActOnThem)
{
    ExportDialog dialog (nullptr, {}, { "Workspace", "Backup" }, { 1, 1 }, 0, true);
    juce::StringArray back, arrows;

    const auto focusedName = []
    {
        auto* focused = juce::Component::getCurrentlyFocusedComponent();
        return focused != nullptr ? focused->getName() : juce::String ("<none>");
    };

    const auto keys = [&] (BelvoraDialog& d)
    {
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.getPeer()->isFocused() && d.isParentOf (juce::Component::getCurrentlyFocusedComponent()); }));

        for (int i = 0; i < 2; ++i)
        {
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0)));
            back.add (focusedName());
        }

        for (int i = 0; i < 3; ++i)   // "Cancel", the source, then what to export
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));

        // Each key, then where the focus is and whether that choice is on.
        for (auto key : { juce::KeyPress::downKey, juce::KeyPress::downKey, juce::KeyPress::downKey, juce::KeyPress::upKey,
                          juce::KeyPress::upKey, juce::KeyPress::tabKey, juce::KeyPress::rightKey, juce::KeyPress::spaceKey })
        {
            ASSERT_TRUE (pressKey (juce::KeyPress (key)));
            auto* focused = dynamic_cast<juce::Button*> (juce::Component::getCurrentlyFocusedComponent());
            arrows.add (focusedName().fromFirstOccurrenceOf ("toggleButton", false, false) + (focused != nullptr && focused->getToggleState() ? " on" : ""));
        }

        // The suffix field comes next; Return there presses "Start Export".
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
        EXPECT_EQ (focusedName(), "new text editor");
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
    };

    const auto result = runModally (dialog, [&] (BelvoraDialog& d)
    {
        keys (d);

        if (d.isCurrentlyModal())   // a check failed, or Return did nothing
            d.closeWith (-1);
    });

    EXPECT_EQ (result, 1) << "Return in the suffix field started the export";
    EXPECT_EQ (back, juce::StringArray ({ "textButtonCancel", "textButtonStartExport" })) << "Shift+Tab from the first control";
    EXPECT_EQ (arrows.joinIntoString (", "), "AllPresets on, SetupData on, SelectedPresets on, SetupData on, AllPresets on, "
                                             "SingleFile on, OneFilePer on, OneFilePer on");
}
