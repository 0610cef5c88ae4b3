// The source browser, its rows and its operations on a tree of backups, and
// the data page's edits, on a page without a unit.

#include "app/Belvora.h"
#include "gui/BVLookAndFeel.h"
#include "devices/SimulatedUnit.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/GridMenus.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/widgets/Alerts.h"
#include "model/SourceTree.h"
#include "support/SmallCaps.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>

using namespace SourceTreeIds;

namespace
{
    std::unique_ptr<DeviceData> makeData (const juce::Array<int>& slots, const juce::String& prefix = "P")
    {
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 0, 0, 100), smallTestCaps(), nullptr);

        for (auto slot : slots)
            data->setPreset (slot, SimulatedUnit::makePreset (smallTestCaps(), slot, 1, prefix + juce::String (slot)));

        return data;
    }

    juce::StringArray labelsOf (const juce::ValueTree& parent)
    {
        juce::StringArray labels;

        for (const auto& child : parent)
            labels.add (child[label].toString());

        return labels;
    }

    class BrowserTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            Belvora::releaseAppProperties();
            TestEnvironment::clearHome();
            Belvora::configureAppProperties();

            page = std::make_unique<DataPage>();
            page->setSize (1000, 700);
            root = SourceTree::createRoot ("Unit", false);
            backups = SourceTree::findNode (root, archiveCategory);
            browser().setSourceTree (page.get(), root);
            browser().setSize (300, 600);
        }

        void TearDown() override
        {
            page.reset();
            Belvora::releaseAppProperties();
        }

        SourceDataBrowser& browser()   { return page->getBrowser(); }

        juce::ValueTree addBackup (juce::ValueTree parent, const juce::String& title, const juce::Array<int>& slots = { 1, 2 })
        {
            auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*makeData (slots), title, juce::String()));
            parent.appendChild (node, nullptr);
            return node;
        }

        juce::ValueTree addGroup (juce::ValueTree parent, const juce::String& name)
        {
            auto group = SourceTree::createNode (SourceTreeIds::group, name);
            parent.appendChild (group, nullptr);
            return group;
        }

        void select (const juce::Array<juce::ValueTree>& nodes)
        {
            browser().getTreeView().clearSelectedItems();

            for (int i = 0; i < nodes.size(); ++i)
            {
                ASSERT_TRUE (browser().findItemFor (browser().getRootItem(), nodes[i]) != nullptr);
                browser().findItemFor (browser().getRootItem(), nodes[i])->setSelected (true, i == 0, juce::sendNotification);
            }
        }

        /** The page in a window of the display, as with a unit's data; false without a display. */
        bool showOnScreen()
        {
            // Not the Desktop's displays: without DISPLAY, JUCE tries ":0", which may be another test's server.
            if (! TestEnvironment::hasDisplay())
                return false;

            page->updateSyncButtonText (false);
            page->addToDesktop (juce::ComponentPeer::windowIsTemporary);
            page->setTopLeftPosition (50, 50);
            page->setVisible (true);
            return TestEnvironment::runMessageLoopUntil ([this] { return page->getPeer() != nullptr && page->isShowing(); })
                   && TestEnvironment::drainMessages();
        }

        /** A point of the page on the row of node, `down` of the way from its top. */
        juce::Point<int> rowPoint (const juce::ValueTree& node, float down = 0.5f)
        {
            auto& view = browser().getTreeView();
            const auto area = browser().findItemFor (browser().getRootItem(), node)->getItemPosition (true);
            return page->getLocalPoint (&view, juce::Point<int> (area.getCentreX(), area.getY() + juce::roundToInt ((float) area.getHeight() * down)));
        }

        /** One mouse event through the page's window, with these buttons and keys held. */
        void sendMouse (juce::Point<int> at, int mods)
        {
            juce::ModifierKeys::currentModifiers = juce::ModifierKeys (mods);
            page->getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at.toFloat(), juce::ModifierKeys (mods),
                                               juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                               juce::Time::currentTimeMillis());
            TestEnvironment::drainMessages();
        }

        std::unique_ptr<DataPage> page;
        juce::ValueTree root, backups;
    };
}

//==============================================================================
TEST_F (BrowserTest, UniqueTitlesCountTheCopiesBesideThem)
{
    auto group = addGroup (backups, "G");
    addBackup (group, "X");
    addBackup (group, "X copy (1)");

    EXPECT_EQ (SourceTreeItem::makeUniqueTitle (group, "X", " copy"), "X copy (2)");
    EXPECT_EQ (SourceTreeItem::makeUniqueTitle (group, "Y", " copy"), "Y") << "no sibling bears the label";
    EXPECT_EQ (SourceTreeItem::makeUniqueTitle (group, {}, " copy"), " copy");
    EXPECT_EQ (SourceTreeItem::makeUniqueTitle (backups, "G", " copy"), "G copy (1)");
}

TEST_F (BrowserTest, CopiesLandAtTheDropPositionAndMovesCloseTheGap)
{
    auto a = addBackup (backups, "A");
    auto b = addBackup (backups, "B");
    auto c = addBackup (backups, "C");
    auto& undo = page->getUndoManager();

    // A copy leaves the original in place: the position is the one dropped on.
    browser().copyNodesInto (2, undo, { a }, backups);
    EXPECT_EQ (labelsOf (backups), (juce::StringArray { "A", "B", "A copy (1)", "C" }));
    EXPECT_NE (backups.getChild (2)[id], a[id]);
    EXPECT_NE (SourceTree::getDataSet (backups.getChild (2)), SourceTree::getDataSet (a)) << "the copy has data of its own";

    // Moving two entries of a group above themselves keeps them together and in order.
    undo.beginNewTransaction();
    browser().moveNodesInto (0, undo, { b, c }, backups);
    EXPECT_EQ (labelsOf (backups), (juce::StringArray { "B", "C", "A", "A copy (1)" }));

    undo.beginNewTransaction();
    browser().moveNodesInto (4, undo, { b, c }, backups);
    EXPECT_EQ (labelsOf (backups), (juce::StringArray { "A", "A copy (1)", "B", "C" }));

    undo.undo();
    undo.undo();
    EXPECT_EQ (labelsOf (backups), (juce::StringArray { "A", "B", "A copy (1)", "C" }));
}

TEST_F (BrowserTest, GroupsAreNamedInTurnAndFilledInSelectionOrder)
{
    auto a = addBackup (backups, "A");
    auto b = addBackup (backups, "B");
    addBackup (backups, "C");

    select ({ a });
    browser().createEmptyGroup();
    EXPECT_EQ (labelsOf (backups), (juce::StringArray { "A", "New Group", "B", "C" }));
    EXPECT_TRUE (browser().getRenameEditor().isVisible());
    EXPECT_EQ (browser().getRenameEditor().getHighlightedText(), "New Group");

    select ({ b, a });
    browser().createGroupFromSelected();
    const auto made = backups.getChildWithProperty (label, "New Group 1");
    ASSERT_TRUE (made.isValid());
    EXPECT_EQ (labelsOf (made), (juce::StringArray { "A", "B" }));

    EXPECT_EQ (browser().nextGroupName(), "New Group 2");
}

TEST_F (BrowserTest, DeletingNothingLeavesTheEditBeforeItOneStep)
{
    auto a = addBackup (backups, "A");
    page->setArchiveItemTitle (a, "A1", true, true);

    // The unit's row is selected: nothing of the backups is.
    select ({ SourceTree::findNode (root, deviceCategory) });
    browser().deleteSelected();

    page->setArchiveItemTitle (a, "A2", true, false);
    page->getUndoManager().undo();
    EXPECT_EQ (a[label].toString(), "A") << "both renames were one transaction";
}

TEST_F (BrowserTest, TheMenusDeleteAndAnUndoneNewGroupAreStepsOfTheirOwn)
{
    auto a = addBackup (backups, "A");
    addBackup (backups, "B");
    page->setArchiveItemTitle (a, "A1", true, true);

    select ({ a });
    browser().performTreeMenuItem (9);   // "Delete Selected"
    EXPECT_EQ (labelsOf (backups), juce::StringArray ({ "B" }));
    page->undo();
    EXPECT_EQ (labelsOf (backups), juce::StringArray ({ "A1", "B" })) << "the delete alone was undone, not the rename before it";

    // A second new group undone: the panels leave it for the backups.
    select ({ backups });
    browser().createEmptyGroup();
    browser().createEmptyGroup();
    EXPECT_EQ (page->getViewTitle(), "New Group 1");
    page->undo();
    EXPECT_EQ (labelsOf (backups), juce::StringArray ({ "New Group", "A1", "B" }));
    EXPECT_EQ (page->getViewItem(), backups);
    EXPECT_EQ (page->getViewTitle(), backups[label].toString());
    EXPECT_EQ (page->getSelectedNode(), backups);
}

TEST_F (BrowserTest, RowsAreFoundAgainAfterTheirParentRebuilds)
{
    auto group = addGroup (backups, "G");
    auto inner = addGroup (group, "H");
    auto deep = addBackup (inner, "Deep");

    // Nested in closed groups: opened on the way.
    EXPECT_FALSE (page->getBrowser().selectItemFor (deep));
    ASSERT_NE (browser().getTreeView().findRow (deep), nullptr);
    EXPECT_TRUE (browser().getTreeView().findRow (deep)->isSelected());

    // A drag's remembered rows and the rename target are nodes: a rebuild of
    // every row of the group (a new child) leaves them usable.
    browser().getTreeView().updateSelectedItems();
    browser().showRenameEditor (deep, true);
    addBackup (inner, "Sibling");
    addBackup (inner, "Another");

    EXPECT_EQ (browser().getTreeView().getSelectedSourceNode (0), deep);
    browser().getRenameEditor().setText ("Renamed");
    browser().getRenameEditor().keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return deep[label].toString() == "Renamed"; }, 5000));
    EXPECT_EQ (SourceTree::getArchive (deep)->getTitle(), "Renamed");

    // Escape changes nothing.
    browser().showRenameEditor (deep, false);
    browser().getRenameEditor().setText ("Other");
    browser().getRenameEditor().keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! browser().getRenameTarget().isValid(); }, 5000));
    EXPECT_EQ (deep[label].toString(), "Renamed");
}

TEST_F (BrowserTest, TheBrowsersDeleteKeyIsNotPassedOn)
{
    auto a = addBackup (backups, "A");
    select ({ a });

    EXPECT_TRUE (browser().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey))) << "consumed, so the grid does not delete too";
    EXPECT_FALSE (a.getParent().isValid());
    EXPECT_FALSE (browser().keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));

    page->getUndoManager().undo();
    EXPECT_EQ (a.getParent(), backups);
}

TEST_F (BrowserTest, RowsHaveTheirHeightsAndOnlyMovableRowsDrag)
{
    auto a = addBackup (backups, "A");
    auto group = addGroup (backups, "G");
    auto upload = SourceTree::createNode (SourceTreeIds::subCategory, "Upload");
    upload.setProperty (subCategoryProp, uploadFolder, nullptr);
    group.appendChild (upload, nullptr);
    browser().selectItemFor (upload);

    auto* device = browser().getTreeView().findRow (SourceTree::findNode (root, deviceCategory));
    auto* row = browser().getTreeView().findRow (a);
    ASSERT_NE (device, nullptr);
    ASSERT_NE (row, nullptr);

    EXPECT_EQ (device->getDragSourceDescription(), juce::var()) << "the unit's row without data stays put";
    EXPECT_EQ (row->getDragSourceDescription(), juce::var ("node"));
    EXPECT_EQ (browser().getTreeView().findRow (group)->getDragSourceDescription(), juce::var ("group"));
    EXPECT_EQ (browser().getTreeView().findRow (upload)->getDragSourceDescription(), juce::var()) << "a sub-category stays put";

    EXPECT_EQ (row->getItemHeight(), juce::roundToInt (row->getFont().getHeight() * 1.8f));
    EXPECT_GE (device->getItemHeight(), 70);
    EXPECT_LE (device->getItemHeight(), 120);
    EXPECT_EQ (row->getPresetCountText(), "Presets: n/a");
}

TEST_F (BrowserTest, AtScaleTwoEveryRowIsTwiceAsHighAsAtScaleOne)
{
    auto group = addGroup (backups, "G");
    auto a = addBackup (group, "A");
    const auto device = SourceTree::findNode (root, deviceCategory);
    std::map<float, std::vector<int>> heights;

    for (auto scale : { 1.0f, 2.0f })
    {
        BVLookAndFeel laf (scale);
        page->setLookAndFeel (&laf);
        browser().setSourceTree (page.get(), root);
        browser().selectItemFor (a);

        for (const auto& node : { backups, group, a, device })
        {
            auto* row = browser().getTreeView().findRow (node);
            ASSERT_NE (row, nullptr) << node[label].toString();
            heights[scale].push_back (row->getItemHeight());
        }

        browser().setSourceTree (page.get(), {});
        page->setLookAndFeel (nullptr);
    }

    const char* names[] = { "category", "group", "backup", "unit" };

    for (size_t i = 0; i < heights[1.0f].size(); ++i)
        EXPECT_NEAR (heights[2.0f][i], 2 * heights[1.0f][i], 1) << names[i];
}

TEST_F (BrowserTest, DropMenuOffersTheSlotsTheTargetHasFree)
{
    auto target = addBackup (backups, "Target", { 1, 2, 3, 6, 7 });
    auto source = addBackup (backups, "Source", { 1, 2, 3, 4, 5 });

    // Empty slots of the target: 4 and 5; no run of three.
    auto menu = browser().createPresetDropMenu (target, source, { 1, 2, 3 }, false, false);
    juce::StringArray texts;
    juce::Array<bool> enabled;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        if (! it.getItem().isSeparator)
        {
            texts.add (it.getItem().text);
            enabled.add (it.getItem().isEnabled);
        }

    EXPECT_EQ (texts, (juce::StringArray { "Replace Presets", "Paste Presets to Empty Slots", "Paste Presets to Empty Range", "Cancel" }));
    EXPECT_FALSE (enabled[1]);
    EXPECT_FALSE (enabled[2]);

    auto wide = addBackup (backups, "Wide", { 1, 2, 3, 6, 7 });
    SourceTree::getDeviceData (wide)->deletePresets ({ 6, 7 });

    // Empty 4, 5, 6, 7: the range starts at 4; the empty slots are filled in order.
    const auto dropMenu = browser().createPresetDropMenu (wide, source, { 1, 2, 3 }, false, false);
    bool rangeShown = false;

    for (juce::PopupMenu::MenuItemIterator it (dropMenu); it.next();)
        rangeShown = rangeShown || (it.getItem().text == "Paste Presets to Empty Range [4-6]" && it.getItem().isEnabled);

    EXPECT_TRUE (rangeShown);

    browser().performPresetDropItem (2, wide, source, { 1, 2, 3 });
    const auto* filled = SourceTree::getDeviceData (wide);
    EXPECT_EQ (filled->getPreset (4)->getName(), "P1");
    EXPECT_EQ (filled->getPreset (6)->getName(), "P3");
    EXPECT_FALSE (filled->isPresetSlotUsed (7));

    // Onto itself there is nothing to replace.
    const auto self = browser().createPresetDropMenu (source, source, { 1 }, false, false);
    for (juce::PopupMenu::MenuItemIterator it (self); it.next();)
        EXPECT_FALSE (it.getItem().text.startsWith ("Replace"));
}

//==============================================================================
TEST_F (BrowserTest, CopyingFewerSourcesThanTargetsLeavesTheRestAlone)
{
    auto target = addBackup (backups, "T", { 4 });
    auto source = addBackup (backups, "S", { 0, 1 });

    page->copyPresets (target, { 2, 3, 4 }, source, { 1 }, false, false);
    const auto* data = SourceTree::getDeviceData (target);
    EXPECT_EQ (data->getPreset (2)->getName(), "P1");
    EXPECT_FALSE (data->isPresetSlotUsed (3)) << "the hidden slot 0 is never copied into a user slot";
    EXPECT_EQ (data->getPreset (4)->getName(), "P4");
}

TEST_F (BrowserTest, EditsChangeTheDataAndUndoRestoresIt)
{
    auto node = addBackup (backups, "B", { 1, 2, 4 });
    auto* data = SourceTree::getDeviceData (node);
    const auto before = data->getPreset (1)->getMD5();

    // Overlapping copy within one set reads the presets as they were.
    page->copyPresets (node, { 2, 3 }, node, { 1, 2 }, true, true);
    EXPECT_EQ (data->getPreset (2)->getName(), "P1");
    EXPECT_EQ (data->getPreset (3)->getName(), "P2");

    page->pastePresets (node, { 1, 2, 3, 5, 6 }, *makeData ({ 1, 2 }, "C"), true, true);
    EXPECT_EQ (data->getPreset (3)->getName(), "C1") << "a short clipboard repeats";
    EXPECT_EQ (data->getPreset (5)->getName(), "C2");
    EXPECT_EQ (data->getPreset (6)->getName(), "C1");

    page->setPresetTag (node, { 1 }, 33, true, true, true);
    EXPECT_EQ (data->getPreset (1)->getTags() & 2, 2);

    page->renamePresets (node, { 1, 7 }, "Named", true, true);
    EXPECT_FALSE (data->isPresetSlotUsed (7)) << "renaming skips empty slots";

    page->defragData (node, true, true);
    EXPECT_FALSE (data->isPresetSlotUsed (7));

    for (int i = 0; i < 5; ++i)
        page->undo();

    EXPECT_EQ (data->getPreset (1)->getMD5(), before);
    EXPECT_EQ (data->getUsedPresetIndices(), (juce::Array<int> { 1, 2, 4 }));

    page->redo();
    EXPECT_EQ (data->getPreset (3)->getName(), "P2");

    // Renaming a backup to its title records nothing (a new step would end the redo history).
    ASSERT_TRUE (page->getUndoManager().canRedo());
    page->setArchiveItemTitle (node, "B", true, true);
    EXPECT_TRUE (page->getUndoManager().canRedo());
}

TEST_F (BrowserTest, UndoWithoutHistorySaysSo)
{
    std::vector<Alerts::Box> boxes;
    Alerts::ScopedChoiceResponder responder ([&] (const Alerts::Box& box) { boxes.push_back (box); return 0; });

    page->getUndoManager().clearUndoHistory();
    page->undo();
    page->redo();

    ASSERT_EQ (boxes.size(), 2u);
    EXPECT_EQ (boxes[0].title, "Undo");
    EXPECT_EQ (boxes[0].message, "Nothing to undo");
    EXPECT_EQ (boxes[1].message, "Nothing to redo");
}

TEST_F (BrowserTest, StoredBrowserWidthIsKeptToAShareOfThePage)
{
    auto& settings = Belvora::getUserSettings();

    settings.setValue ("browserWindowSize", -0.25);
    EXPECT_DOUBLE_EQ (DataPage::getStoredBrowserSize(), -0.25);

    settings.setValue ("browserWindowSize", 300.0);
    EXPECT_DOUBLE_EQ (DataPage::getStoredBrowserSize(), -0.3) << "a width in pixels is not what is stored";

    settings.setValue ("browserWindowSize", -5.0);
    EXPECT_DOUBLE_EQ (DataPage::getStoredBrowserSize(), -0.8);

    settings.removeValue ("browserWindowSize");
    EXPECT_DOUBLE_EQ (DataPage::getStoredBrowserSize(), -0.3);
}

TEST_F (BrowserTest, TreeMenuOffersWhatTheSelectedRowsAllow)
{
    const auto textsOf = [] (const juce::PopupMenu& menu)
    {
        juce::StringArray texts;

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            if (! it.getItem().isSeparator)
                texts.add (it.getItem().text + (it.getItem().isEnabled ? "" : " -"));

        return texts;
    };

    auto a = addBackup (backups, "A");
    auto b = addBackup (backups, "B");
    select ({ a, b });
    const auto backupMenu = textsOf (browser().createTreeMenu());
    EXPECT_EQ (backupMenu[0], "Create An Empty Group");
    EXPECT_TRUE (backupMenu.contains ("Rename -")) << "one row only";
    EXPECT_TRUE (backupMenu.contains ("Restore All Selected To  -"));
    EXPECT_TRUE (backupMenu.contains ("Copy All Selected To Workspace -"));

    select ({ backups });
    EXPECT_EQ (textsOf (browser().createTreeMenu()), juce::StringArray ("Create An Empty Group"));

    // Merged data: the first selected in full, the presets of the others over it.
    SourceTree::getDeviceData (b)->setPreset (5, SimulatedUnit::makePreset (smallTestCaps(), 5, 1, "B5"));
    select ({ a, b });
    const auto merged = browser().mergeSelectedDeviceData();
    ASSERT_NE (merged, nullptr);
    EXPECT_EQ (merged->getUsedPresetIndices(), (juce::Array<int> { 1, 2, 5 }));
}

TEST_F (BrowserTest, ListenersAreToldLastFirstAndOneLeavingStopsNoOther)
{
    struct Listener : PresetDataChangeListener
    {
        std::function<void()> onCall;
        int calls = 0;
        void presetDataChanged (const juce::ValueTree&, const juce::Array<int>&) override   { ++calls; if (onCall) onCall(); }
    };

    Listener first, second, third;
    std::vector<Listener*> order;
    first.onCall = [&] { order.push_back (&first); };
    second.onCall = [&] { order.push_back (&second); page->removePresetDataChangeListener (&second); };
    third.onCall = [&] { order.push_back (&third); };

    page->addPresetDataChangeListener (&first);
    page->addPresetDataChangeListener (&second);
    page->addPresetDataChangeListener (&third);
    page->addPresetDataChangeListener (&third);
    page->addPresetDataChangeListener (nullptr);

    page->notifyPresetDataChanged (backups, 1);
    EXPECT_EQ (order, (std::vector<Listener*> { &third, &second, &first }));

    page->notifyPresetDataChanged (backups, 1);
    EXPECT_EQ (second.calls, 1);
    EXPECT_EQ (first.calls, 2);

    // The page deleted during a call: no one after is called.
    third.onCall = [&] { page.reset(); };
    order.clear();
    page->notifyPresetDataChanged (backups, 1);
    EXPECT_TRUE (order.empty());
    EXPECT_EQ (page, nullptr);
}

TEST_F (BrowserTest, ADragRestingOnARowSelectsIt)
{
    auto a = addBackup (backups, "A");
    auto b = addBackup (backups, "B");
    select ({ a });
    auto& view = browser().getTreeView();

    // The first row a drag enters is selected at once; the next one after the pointer rests.
    view.setDragHoverItem (b);
    EXPECT_TRUE (view.findRow (b)->isSelected());
    EXPECT_FALSE (view.findRow (a)->isSelected());

    view.setDragHoverItem (a);
    EXPECT_FALSE (view.findRow (a)->isSelected());
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return view.findRow (a)->isSelected(); }, 5000));

    view.setDragHoverItem ({});
    EXPECT_FALSE (view.getDragHoverItem().isValid());
}

TEST_F (BrowserTest, KeysReachThePageRightAfterARowWasDraggedWithTheMouse)
{
    auto a = addBackup (backups, "A");
    auto b = addBackup (backups, "B");
    select ({ a });

    if (! showOnScreen())
        GTEST_SKIP() << "needs a display";

    auto* peer = page->getPeer();
    const auto send = [&] (juce::Point<int> at, int mods) { sendMouse (at, mods); };

    // "A" pressed, dragged onto the lower half of "B" and let go: it moves below "B".
    const auto from = rowPoint (a, 0.5f), to = rowPoint (b, 0.8f);
    const auto held = juce::ModifierKeys::leftButtonModifier;
    send (from, 0);
    send (from, held);

    for (int i = 1; i <= 12; ++i)
        send (from + (to - from) * i / 12, held);

    send (to, 0);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! page->isDragAndDropActive(); }));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return labelsOf (backups) == juce::StringArray ({ "B", "A" }); }))
        << labelsOf (backups).joinIntoString (",");

    // Ctrl+Z, typed at once, reaches the page.
    EXPECT_NE (juce::Component::getCurrentlyFocusedComponent(), nullptr);
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys::ctrlModifier;
    peer->handleKeyPress (juce::KeyPress ('z', juce::ModifierKeys::ctrlModifier, 0));
    juce::ModifierKeys::currentModifiers = {};
    EXPECT_EQ (labelsOf (backups), juce::StringArray ({ "A", "B" }));

    page->removeFromDesktop();
}

TEST_F (BrowserTest, TheTreeMenuOpensOnTheReleaseAndItsRenameTakesTheKeys)
{
    auto a = addBackup (backups, "A");
    addBackup (backups, "B");

    if (! showOnScreen())
        GTEST_SKIP() << "needs a display";

    int shown = 0, choice = 0;
    const GridMenus::ScopedResponder answer ([&] (const juce::PopupMenu&) { ++shown; return choice; });
    const auto at = rowPoint (a);

    // The press selects the row and opens nothing: its release is no choice of an item.
    sendMouse (at, 0);
    sendMouse (at, juce::ModifierKeys::rightButtonModifier);
    EXPECT_EQ (shown, 0);
    EXPECT_EQ (page->getSelectedNode(), a);
    sendMouse (at, 0);
    EXPECT_EQ (shown, 1);
    EXPECT_EQ (labelsOf (backups), juce::StringArray ({ "A", "B" }));

    // "Rename" chosen: what is typed next goes into the editor, over the old name,
    // which is selected. (The click lands a little aside from the first, or the two
    // would make a double-click.)
    choice = 10;
    const auto aside = at.translated (40, 0);
    sendMouse (aside, 0);
    sendMouse (aside, juce::ModifierKeys::rightButtonModifier);
    sendMouse (aside, 0);
    auto& editor = browser().getRenameEditor();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return editor.isVisible() && editor.hasKeyboardFocus (false); }));
    EXPECT_TRUE (editor.hasKeyboardFocus (false));
    EXPECT_EQ (editor.getHighlightedText(), "A");

    page->getPeer()->handleKeyPress (juce::KeyPress ('Z', {}, 'Z'));
    page->getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::returnKey));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return a[label].toString() == "Z"; }, 5000)) << a[label].toString();

    page->removeFromDesktop();
}
