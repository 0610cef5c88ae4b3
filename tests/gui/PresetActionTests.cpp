// Undoable preset edits: every edit, its undo and its redo compared by the
// presets' md5s, a move as one step, a source that went away, and a title.

#include "gui/GridTestPage.h"

#include <gtest/gtest.h>

using namespace GridTests;

namespace
{
    struct PresetActions : ::testing::Test
    {
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree node = addBackup (root, makeSource ("A", 12, { 1, 2, 3, 5, 8 }, 2));
        juce::ValueTree other = addBackup (root, makeSource ("B", 12, { 1, 2, 4 }, 3));

        DeviceData& data()   { return *SourceTree::getDeviceData (node); }

        /** Fresh sources, so each edit below starts from the same presets. */
        void reset()
        {
            root.removeChild (node, nullptr);
            root.removeChild (other, nullptr);
            node = addBackup (root, makeSource ("A", 12, { 1, 2, 3, 5, 8 }, 2));
            other = addBackup (root, makeSource ("B", 12, { 1, 2, 4 }, 3));
            page.undoManager.clearUndoHistory();
        }

        /** Runs the edit as one undoable step and checks the state after it, after its undo and after its redo. */
        void check (const std::function<void()>& edit, const std::function<void()>& expectAfter = {})
        {
            reset();
            const auto before = md5s (node), otherBefore = md5s (other);
            edit();
            const auto after = md5s (node), otherAfter = md5s (other);
            EXPECT_NE (after, before) << "the edit changed nothing";

            if (expectAfter)
                expectAfter();

            for (int cycle = 0; cycle < 2; ++cycle)
            {
                ASSERT_TRUE (page.undoManager.canUndo());
                page.undo();
                EXPECT_EQ (md5s (node), before);
                EXPECT_EQ (md5s (other), otherBefore);

                ASSERT_TRUE (page.undoManager.canRedo());
                page.redo();
                EXPECT_EQ (md5s (node), after);
                EXPECT_EQ (md5s (other), otherAfter);
            }
        }
    };
}

TEST_F (PresetActions, EachEditIsUndoneAndRedoneExactly)
{
    check ([&] { page.deletePresets (node, { 2, 5 }, true, true); },
           [&] { EXPECT_FALSE (data().isPresetSlotUsed (2)); EXPECT_TRUE (data().isPresetSlotUsed (3)); });

    check ([&] { page.copyPresets (node, { 6, 7 }, other, { 1, 4 }, true, true); },
           [&] { EXPECT_EQ (data().getPreset (7)->getName(), "B 4"); });

    std::unique_ptr<DeviceData> clip;
    check ([&] { clip = SourceTree::getDeviceData (other)->createCopy ({ 1, 2 }, false, false);
                 page.pastePresets (node, { 3, 4, 5, 6 }, *clip, true, true); },
           [&] { EXPECT_EQ (data().getPreset (3)->getName(), "B 1"); EXPECT_EQ (data().getPreset (5)->getName(), "B 1");
                 EXPECT_EQ (data().getPreset (6)->getName(), "B 2"); });

    check ([&] { page.insertPresets (node, 2, *SourceTree::getDeviceData (other), { 1, 4 }, true, true); },
           [&] { EXPECT_EQ (data().getPresetNames ({ 2, 3, 4, 5, 6 }), juce::StringArray ({ "B 1", "B 4", "A 2", "A 3", "A 5" })); });

    check ([&] { page.swapPresets (node, 1, 8, true, true); },
           [&] { EXPECT_EQ (data().getPreset (1)->getName(), "A 8"); });

    check ([&] { page.addPresetSteps (node, 1, { 3 }, true, true); },
           [&] { EXPECT_EQ (data().getPreset (1)->getNumSteps(), 4); });   // two and two

    juce::SparseSet<int> steps;
    steps.addRange ({ 0, 1 });
    check ([&] { const Preset source (*SourceTree::getDeviceData (other)->getPreset (4));
                 page.insertPresetStep (node, 3, 1, source, steps, true, true); },
           [&] { EXPECT_EQ (data().getPreset (3)->getNumSteps(), 3); });

    check ([&] { page.renamePresets (node, { 1, 2, 3 }, "Same", true, true); },
           [&] { EXPECT_EQ (data().getPreset (2)->getName(), "Same"); EXPECT_EQ (data().getPreset (3)->getName(), "Same"); });

    check ([&] { page.setPresetTag (node, { 1, 3 }, 33, true, true, true); },   // tag 33 is bit 1
           [&] { EXPECT_NE (data().getPreset (3)->getTags() & 2, 0); });

    check ([&] { page.defragData (node, true, true); },
           [&] { EXPECT_EQ (data().getUsedPresetIndices(), juce::Array<int> ({ 1, 2, 3, 4, 5 })); });

    check ([&] { page.mergeData (node, *SourceTree::getDeviceData (other), true, true); });
}

TEST_F (PresetActions, RenameOfSeveralRestoresEachFormerName)
{
    page.renamePresets (node, { 1, 2, 3 }, "X", true, true);
    page.undo();
    EXPECT_EQ (data().getPresetNames ({ 1, 2, 3 }), juce::StringArray ({ "A 1", "A 2", "A 3" }));
}

TEST_F (PresetActions, AMoveIsOneStepThatRestoresSourceAndDestination)
{
    const auto before = md5s (node);
    page.copyPresets (node, { 4, 5, 6 }, node, { 3, 4, 5 }, true, true);
    page.deletePresets (node, { 3 }, true, false);
    const auto after = md5s (node);
    EXPECT_FALSE (data().isPresetSlotUsed (3));
    EXPECT_EQ (data().getPreset (4)->getName(), "A 3");   // overlapping copy reads the originals
    EXPECT_EQ (data().getPreset (6)->getName(), "A 5");

    page.undo();
    EXPECT_EQ (md5s (node), before);
    EXPECT_FALSE (page.undoManager.canUndo());
    page.redo();
    EXPECT_EQ (md5s (node), after);
}

TEST_F (PresetActions, PasteKeepsItsOwnClipboardAndFailsWithoutData)
{
    auto clip = SourceTree::getDeviceData (other)->createCopy ({ 2 }, false, false);
    page.pastePresets (node, { 10 }, *clip, true, true);
    const auto after = md5s (node);
    clip->deleteAllPresets();   // a later cut or copy replaces the grid's clipboard
    page.undo();
    page.redo();
    EXPECT_EQ (md5s (node), after);

    // A node without data: perform fails, so nothing is recorded.
    const auto group = SourceTree::createNode (SourceTreeIds::group, "G");
    page.undoManager.beginNewTransaction();
    EXPECT_FALSE (page.undoManager.perform (new DeletePresetAction (page, group, { 1 })));
    page.undoManager.clearUndoHistory();
    page.deletePresets (group, { 1 }, true, true);
    EXPECT_FALSE (page.undoManager.canUndo());
}

TEST_F (PresetActions, UndoAfterTheSourceWentAwaySucceedsWithoutEffect)
{
    page.deletePresets (node, { 1 }, true, true);
    node.removeProperty (SourceTreeIds::data, nullptr);   // a deleted backup
    EXPECT_TRUE (page.undoManager.undo());
    EXPECT_EQ (page.notifications, 1);
}

TEST_F (PresetActions, UndoTellsTheListenersAndRefreshesModifiedMarks)
{
    struct Log : PresetDataChangeListener
    {
        juce::Array<int> last;
        void presetDataChanged (const juce::ValueTree&, const juce::Array<int>& slots) override   { last = slots; }
    } log;

    page.presetListeners.add (&log);
    page.renamePresets (node, { 5 }, "Changed", true, true);
    EXPECT_EQ (log.last, juce::Array<int> ({ 5 }));
    log.last.clear();
    page.undo();
    EXPECT_EQ (log.last, juce::Array<int> ({ 5 }));
    EXPECT_FALSE (data().isPresetModified (5));   // back to the backup's own preset
}

TEST_F (PresetActions, BackupTitleIsUndoneAndSameTitleRecordsNothing)
{
    page.setArchiveItemTitle (node, "A", true, true);
    EXPECT_FALSE (page.undoManager.canUndo());

    page.setArchiveItemTitle (node, "Renamed", true, true);
    EXPECT_EQ (SourceTree::getArchive (node)->getTitle(), "Renamed");
    page.undo();
    EXPECT_EQ (node.getProperty (SourceTreeIds::label).toString(), "A");
    EXPECT_EQ (SourceTree::getArchive (node)->getTitle(), "A");
    page.redo();
    EXPECT_EQ (node.getProperty (SourceTreeIds::label).toString(), "Renamed");
}
