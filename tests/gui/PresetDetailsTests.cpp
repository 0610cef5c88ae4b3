// The preset details: one name for the selection, commits only of typed
// names, tags and their shades, steps deleted and dropped, and the limits a
// product's capabilities set.

#include "support/TestEnvironment.h"
#include "gui/GridTestHost.h"
#include "gui/Palette.h"
#include "gui/datapage/PresetDetailsContainer.h"

#include <gtest/gtest.h>

using namespace GridTests;

namespace
{
    struct PresetDetails : ::testing::Test
    {
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree node = addBackup (root, makeSource ("A", 12, { 1, 2, 3, 4 }, 3));
        PresetDetailsContainer details { page };

        void SetUp() override
        {
            auto caps = makeCaps (12);
            caps.presetTagCount = 4;
            caps.presetTagLabels = { "Lead", "Harmony", "Fx", "Live" };
            setCaps (caps);
            page.presetListeners.add (&details);
            details.setVisible (true);
            details.setItem (node);
            details.layoutContent (400, 300);
        }

        void setCaps (const DeviceCaps& caps)
        {
            details.setCaps (caps);
            details.rebuildStepButtons();
        }

        DeviceData& data()   { return *SourceTree::getDeviceData (node); }

        void type (const juce::String& text)
        {
            details.getNameEditor().setText (text, true);
            leaveEditor();
        }

        /** The editor's change notices arrive as messages, before its focus loss. */
        void leaveEditor()
        {
            TestEnvironment::drainMessages();
            details.textEditorFocusLost (details.getNameEditor());
        }
    };
}

TEST_F (PresetDetails, OneNameForTheSelectionAndMultipleOtherwise)
{
    details.setSelectedPresets ({ 2 });
    EXPECT_EQ (details.getNameEditor().getText(), "A 2");
    EXPECT_EQ (details.getNameLabel().getText(), "Preset Name");

    data().getPreset (3)->setName ("A 2");
    details.setSelectedPresets ({ 2, 3 });
    EXPECT_EQ (details.getNameEditor().getText(), "A 2");   // named alike: the name

    details.setSelectedPresets ({ 1, 2 });
    EXPECT_EQ (details.getNameEditor().getText(), "<multiple selected>");
    EXPECT_TRUE (details.getNameEditor().showingMultiple);

    details.setSelectedPresets ({});
    EXPECT_FALSE (details.getNameEditor().isEnabled());
}

TEST_F (PresetDetails, LeavingTheEditorWithoutTypingRenamesNothing)
{
    details.setSelectedPresets ({ 1, 2 });
    const auto before = md5s (node);

    // Focus emptied the multiple-names text; leaving it so must not name them "".
    details.getNameEditor().focusGained (juce::Component::focusChangedDirectly);
    EXPECT_EQ (details.getNameEditor().getText(), "");
    leaveEditor();
    EXPECT_EQ (md5s (node), before);
    EXPECT_FALSE (page.undoManager.canUndo());

    details.setSelectedPresets ({ 1 });
    leaveEditor();
    EXPECT_FALSE (page.undoManager.canUndo());
}

TEST_F (PresetDetails, TypedNameRenamesEverySelectedPresetAsOneStep)
{
    details.setSelectedPresets ({ 1, 2, 4 });
    const auto before = md5s (node);
    type ("Verse");
    EXPECT_EQ (data().getPresetNames ({ 1, 2, 4 }), juce::StringArray ({ "Verse", "Verse", "Verse" }));
    EXPECT_EQ (details.getNameEditor().getText(), "Verse");   // the page's notice refreshed the editor
    const auto after = md5s (node);

    page.undo();
    EXPECT_EQ (md5s (node), before);
    page.redo();
    EXPECT_EQ (md5s (node), after);

    // The same name again on one preset: nothing.
    details.setSelectedPresets ({ 1 });
    page.undoManager.clearUndoHistory();
    type ("Verse");
    EXPECT_FALSE (page.undoManager.canUndo());

    // Escape brings the stored name back.
    details.getNameEditor().setText ("Other", true);
    details.textEditorEscapeKeyPressed (details.getNameEditor());
    EXPECT_EQ (details.getNameEditor().getText(), "Verse");
}

TEST_F (PresetDetails, UpperCaseProductsTakeTypedLowerCaseAsUpperCase)
{
    auto caps = makeCaps (12);
    caps.presetNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    setCaps (caps);
    details.setSelectedPresets ({ 3 });
    details.getNameEditor().setText ({}, false);
    details.getNameEditor().insertTextAtCaret ("chorus 2");
    leaveEditor();
    EXPECT_EQ (data().getPreset (3)->getName(), "CHORUS 2");
}

TEST_F (PresetDetails, StepsAndTagsFollowTheCapabilities)
{
    EXPECT_TRUE (details.getStepsLabel().isVisible());
    EXPECT_EQ (details.getStepButtons().size(), 5);
    EXPECT_EQ (details.getTagButtons().size(), 4);

    auto caps = makeCaps (12, true, 1);
    caps.presetTagCount = 0;
    setCaps (caps);
    EXPECT_FALSE (details.getStepsLabel().isVisible());
    EXPECT_FALSE (details.getTagsLabel().isVisible());
    EXPECT_TRUE (details.getStepButtons().isEmpty());

    // A document naming 40 tags: a preset's mask has 32 bits.
    caps.presetTagCount = 40;
    for (int i = 0; i < 40; ++i)
        caps.presetTagLabels.add ("Tag " + juce::String (i));
    setCaps (caps);
    EXPECT_EQ (details.getTagButtons().size(), PresetDetailsContainer::maxTags);
    details.setSelectedPresets ({ 1 });
    details.layoutContent (600, 200);
    EXPECT_GT (details.getHeight(), details.getTagButtons().getLast()->getY());
}

TEST_F (PresetDetails, TagsShowSomeAndAllAndAClickSetsAll)
{
    // makePreset tags each preset with its slot number: 1 = bit 0, 3 = bits 0 and 1.
    details.setSelectedPresets ({ 1, 3 });
    auto& tags = details.getTagButtons();
    EXPECT_TRUE (tags[0]->getToggleState());
    EXPECT_EQ (tags[0]->findColour (juce::ToggleButton::textColourId), Palette::textColour.darker (0.5f));
    EXPECT_TRUE (tags[1]->getToggleState());
    EXPECT_EQ (tags[1]->findColour (juce::ToggleButton::textColourId), Palette::textColour.brighter (0.4f));
    EXPECT_FALSE (tags[2]->getToggleState());

    const auto before = md5s (node);
    tags[1]->setToggleState (true, juce::dontSendNotification);
    details.buttonClicked (tags[1]);
    EXPECT_NE (data().getPreset (1)->getTags() & 2, 0);
    EXPECT_EQ (tags[1]->findColour (juce::ToggleButton::textColourId), Palette::textColour.darker (0.5f));
    page.undo();
    EXPECT_EQ (md5s (node), before);
}

TEST_F (PresetDetails, DeleteRemovesToggledStepsOnly)
{
    details.setSelectedPresets ({ 2 });
    auto& steps = details.getStepButtons();
    EXPECT_TRUE (steps[2]->isEnabled());
    EXPECT_FALSE (steps[3]->isEnabled());   // the preset has three

    EXPECT_FALSE (details.keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));   // nothing toggled

    const auto before = md5s (node);
    steps[1]->setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (details.keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));
    EXPECT_EQ (data().getPreset (2)->getNumSteps(), 2);
    EXPECT_FALSE (steps[1]->getToggleState());
    EXPECT_FALSE (steps[2]->isEnabled());
    const auto after = md5s (node);
    page.undo();
    EXPECT_EQ (md5s (node), before);
    page.redo();
    EXPECT_EQ (md5s (node), after);
}

TEST_F (PresetDetails, DroppedStepsAreInsertedAtTheTarget)
{
    details.setSelectedPresets ({ 2 });
    auto& steps = details.getStepButtons();
    steps[0]->setToggleState (true, juce::dontSendNotification);

    juce::DragAndDropTarget::SourceDetails drop ("Step", steps[0], steps[2]->getBounds().getCentre());
    EXPECT_TRUE (details.isInterestedInDragSource (drop));
    EXPECT_FALSE (details.isInterestedInDragSource ({ "Other", steps[0], {} }));

    const auto before = md5s (node);
    details.itemDropped (drop);
    EXPECT_EQ (data().getPreset (2)->getNumSteps(), 4);
    page.undo();
    EXPECT_EQ (md5s (node), before);

    details.itemDropped ({ "Step", steps[0], steps[0]->getBounds().getCentre() });   // onto itself
    EXPECT_FALSE (page.undoManager.canUndo());
}

TEST_F (PresetDetails, ReadOnlyItemsConsumeNoKeyAndDisableEditing)
{
    auto cloud = SourceTree::createCloudCategory();
    root.appendChild (cloud, nullptr);
    auto pack = makeSource ("P", 12, { 1, 2 }, 3);
    cloud.appendChild (pack, nullptr);
    details.setItem (pack);
    details.setSelectedPresets ({ 1 });
    details.getStepButtons()[0]->setToggleState (true, juce::dontSendNotification);
    EXPECT_FALSE (details.keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));
    EXPECT_FALSE (details.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_FALSE (details.getStepButtons()[0]->isEnabled());
    EXPECT_FALSE (details.getTagButtons()[0]->isEnabled());
    EXPECT_TRUE (details.getNameEditor().isReadOnly());
}

TEST_F (PresetDetails, SelectedPresetThatVanishesClearsTheSelection)
{
    details.setSelectedPresets ({ 2, 3 });
    page.deletePresets (node, { 3 }, true, true);
    EXPECT_TRUE (details.getSelectedPresets().isEmpty());
    EXPECT_FALSE (details.getNameEditor().isEnabled());
}
