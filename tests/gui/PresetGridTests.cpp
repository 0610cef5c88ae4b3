// The preset grid: selection by click and keys, the clipboard and its paste
// variants compared by md5 through undo and redo, the right-click menu, the
// layouts and scales, and the drop menu with its moves.

#include "gui/GridTestHost.h"
#include "gui/WidgetTestSupport.h"

#include <gtest/gtest.h>

using namespace GridTests;
using Mods = juce::ModifierKeys;

namespace
{
    struct PresetGrid : ::testing::Test
    {
        GridSettings settings;
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree node = addBackup (root, makeSource ("A", 12, { 1, 2, 3, 4, 5, 8 }));
        juce::ValueTree other = addBackup (root, makeSource ("B", 12, { 1, 2, 3, 6 }));
        std::unique_ptr<Host> host;

        void SetUp() override
        {
            host = std::make_unique<Host> (page, makeCaps (12));
            page.presetListeners.add (&host->grid);
            host->show (node);
        }

        PresetButtonContainer& grid()   { return host->grid; }

        /** A grid command as chosen from the menu opened over the slot's button. */
        void commandAt (int id, int slot)
        {
            const auto e = eventOn (*grid().getButton (slot));
            grid().performMenuCommand (id, &e);
        }
        DeviceData& data()              { return *SourceTree::getDeviceData (node); }

        /** A read-only pack of the cloud category, shown in the grid. */
        juce::ValueTree showCloudPack()
        {
            auto cloud = SourceTree::createCloudCategory();
            root.appendChild (cloud, nullptr);
            auto pack = makeSource ("P", 12, { 1, 2 });
            cloud.appendChild (pack, nullptr);
            grid().clearItem();
            grid().setItem (pack);
            return pack;
        }

        /** Runs a grid gesture and checks that it is one undo step, undone and redone exactly. */
        void expectOneStep (const std::function<void()>& gesture)
        {
            page.undoManager.clearUndoHistory();
            const auto before = md5s (node);
            gesture();
            const auto after = md5s (node);
            EXPECT_NE (after, before);
            page.undo();
            EXPECT_EQ (md5s (node), before);
            EXPECT_FALSE (page.undoManager.canUndo());
            page.redo();
            EXPECT_EQ (md5s (node), after);
        }
    };
}

//==============================================================================
TEST_F (PresetGrid, ButtonsShowSlotsAndEmptySlotsReadTheirNumber)
{
    ASSERT_EQ (grid().getNumButtons(), 12);
    EXPECT_FALSE (grid().getButton (0)->isVisible());
    EXPECT_EQ (grid().getButton (3)->getButtonText(), "3: A 3");
    EXPECT_EQ (grid().getButton (6)->getButtonText(), "<6>");
    EXPECT_TRUE (grid().getButton (6)->isUnselectable());
    EXPECT_FALSE (grid().getButton (6)->isEnabled());

    grid().setIconView (1);
    EXPECT_EQ (grid().getButton (3)->getButtonText(), "A 3");
    EXPECT_EQ (grid().getButton (6)->getButtonText(), "<empty>");
    EXPECT_EQ (BelvoraSettings::getPresetButtonViewType(), 1);
}

TEST_F (PresetGrid, ANoticeNamingNoSlotsRefreshesEveryButton)
{
    data().setPreset (7, SimulatedUnit::makePreset (smallTestCaps(), 7, 1, "New"));
    data().deletePreset (2);
    page.notifyPresetDataChanged (other, {});   // another node: nothing
    EXPECT_EQ (grid().getButton (7)->getButtonText(), "<7>");

    page.notifyPresetDataChanged (node, {});
    EXPECT_EQ (grid().getButton (7)->getButtonText(), "7: New");
    EXPECT_TRUE (grid().getButton (2)->isUnselectable());
}

TEST_F (PresetGrid, ClicksSelectWithCtrlAndShift)
{
    click (grid(), 3);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 3 }));

    click (grid(), 5, Mods::ctrlModifier);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 3, 5 }));
    click (grid(), 3, Mods::ctrlModifier);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 5 }));

    click (grid(), 2, Mods::shiftModifier);   // from the last selected back to 2
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 5, 2, 3, 4 }));
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 2, 3, 4, 5 }));

    click (grid(), 8);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 8 }));
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 8 }));
}

TEST_F (PresetGrid, ShiftClickOnASelectedSlotKeepsItsButtonOn)
{
    click (grid(), 2);
    click (grid(), 4, Mods::ctrlModifier);
    click (grid(), 2, Mods::shiftModifier);   // the clicked button was on; the click inverted it first

    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 2, 3, 4 }));
    EXPECT_TRUE (grid().getSelectedPresets().contains (2));
}

TEST_F (PresetGrid, ShiftClickWithNothingSelectedStartsAtSlotOne)
{
    click (grid(), 4, Mods::shiftModifier);
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 1, 2, 3, 4 }));
}

TEST_F (PresetGrid, PlainClickOnASelectedButtonWaitsForMouseUp)
{
    grid().setSelectedPresets ({ 2, 3, 4 });
    click (grid(), 3);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 2, 3, 4 }));   // a drag would carry all three

    grid().mouseUp (eventOn (*grid().getButton (3)));
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 3 }));
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 3 }));
}

TEST_F (PresetGrid, SelectionIsKeptWithTheNode)
{
    grid().setSelectedPresets ({ 2, 5, 6 });   // 6 is empty: not selectable
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 2, 5 }));
    grid().clearItem();
    grid().setItem (other);
    EXPECT_TRUE (grid().getSelectedPresets().isEmpty());
    grid().clearItem();
    EXPECT_FALSE (other.hasProperty (SourceTreeIds::selectionList));

    grid().setItem (node);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 2, 5 }));
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 2, 5 }));
}

//==============================================================================
TEST_F (PresetGrid, KeysSelectDeleteAndZoom)
{
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('a', Mods::ctrlModifier, 0)));
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 1, 2, 3, 4, 5, 8 }));

    EXPECT_TRUE (grid().keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_TRUE (grid().getSelectedPresets().isEmpty());
    EXPECT_FALSE (grid().keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));

    data().setPresetModified (4, true);   // without a factory bank every used slot differs anyway
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('a', Mods::ctrlModifier | Mods::shiftModifier, 0)));
    EXPECT_EQ (grid().getSelectedPresets().size(), 6);

    grid().setSelectedPresets ({ 2 });
    expectOneStep ([&] { EXPECT_TRUE (grid().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey))); });

    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('=', Mods::ctrlModifier, 0)));
    EXPECT_NEAR (grid().getCellScale(), 1.1, 1e-9);
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('-', Mods::ctrlModifier, 0)));
    EXPECT_NEAR (grid().getCellScale(), 0.99, 1e-9);
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('0', Mods::ctrlModifier, 0)));
    EXPECT_EQ (grid().getCellScale(), 1.0);
}

TEST_F (PresetGrid, DeleteFromAnotherPartOfThePageDeletesNoPresets)
{
    juce::Component browser;
    page.pageComponent.addAndMakeVisible (browser);
    grid().setSelectedPresets ({ 3 });

    EXPECT_FALSE (grid().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey), &browser));
    EXPECT_TRUE (data().isPresetSlotUsed (3));
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('a', Mods::ctrlModifier, 0), &browser));   // other keys still reach it

    grid().setSelectedPresets ({ 3 });
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey), grid().getButton (3)));
    EXPECT_FALSE (data().isPresetSlotUsed (3));
}

TEST_F (PresetGrid, DeleteNeedsAWritableNodeAndOnTheUnitPresetDelete)
{
    // A backup's grid deletes even when the product cannot delete on the unit.
    host->grid.setCaps (makeCaps (12, false));
    grid().setSelectedPresets ({ 3 });
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress (juce::KeyPress::backspaceKey)));
    EXPECT_FALSE (data().isPresetSlotUsed (3));

    // A pack of the cloud category is read-only: the key is not consumed.
    const auto pack = showCloudPack();
    grid().setSelectedPresets ({ 1 });
    EXPECT_FALSE (grid().keyPressed (juce::KeyPress (juce::KeyPress::deleteKey)));
    EXPECT_TRUE (SourceTree::getDeviceData (pack)->isPresetSlotUsed (1));
}

TEST_F (PresetGrid, CutAndPasteKeysFollowTheRulesOfTheirMenuItems)
{
    grid().setSelectedPresets ({ 8 });
    ASSERT_TRUE (grid().copySelected());
    const auto namesOf = [] (const juce::ValueTree& n) { return SourceTree::getDeviceData (n)->getPresetNames ({ 1, 2, 3 }).joinIntoString (","); };

    // A read-only pack of the cloud category: neither key changes it.
    const auto pack = showCloudPack();
    const auto packBefore = namesOf (pack);
    EXPECT_FALSE (grid().keyPressed (juce::KeyPress ('v', Mods::ctrlModifier, 0)));
    grid().setSelectedPresets ({ 1 });
    EXPECT_FALSE (grid().keyPressed (juce::KeyPress ('x', Mods::ctrlModifier, 0)));
    EXPECT_EQ (namesOf (pack), packBefore);
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('c', Mods::ctrlModifier, 0))) << "copying out of a pack is allowed";

    // A product that may not delete: Cut is refused as its menu item is, the paste goes on.
    grid().clearItem();
    grid().setItem (node);
    host->grid.setCaps (makeCaps (12, false));
    grid().setSelectedPresets ({ 3 });
    EXPECT_FALSE (grid().keyPressed (juce::KeyPress ('x', Mods::ctrlModifier, 0)));
    EXPECT_TRUE (data().isPresetSlotUsed (3));
    grid().setFocusedSlot (1);   // the paste goes to the focused slot before the selected one
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('v', Mods::ctrlModifier, 0)));
    EXPECT_EQ (data().getPresetNames ({ 1 }), juce::StringArray ({ "P 1" })) << "the pack's preset copied last";
}

TEST_F (PresetGrid, APasteWithNoSlotChosenOverwritesNothingAndACutTakesTheFocusedSlot)
{
    grid().setSelectedPresets ({ 1 });
    ASSERT_TRUE (grid().copySelected());
    grid().setSelectedPresets ({});
    const auto before = md5s (node);

    // Not slot 1 for the toolbar, nor in a menu opened by keys (the pointer: in the data page's test).
    grid().performMenuCommand (105, nullptr);
    EXPECT_EQ (md5s (node), before);
    const auto byKeys = describe (grid().createMenu (false));
    EXPECT_TRUE (byKeys.contains ("104:Insert-") && byKeys.contains ("105:Paste-"));

    grid().setFocusedSlot (2);
    EXPECT_TRUE (grid().keyPressed (juce::KeyPress ('x', Mods::ctrlModifier, 0)));
    EXPECT_FALSE (data().isPresetSlotUsed (2));
}

TEST_F (PresetGrid, ArrowsMoveTheFocusedSlotThatSpaceSelectsAndShiftExtends)
{
    const auto key = [&] (int code, int mods = 0) { return grid().keyPressed (juce::KeyPress (code, mods, 0), &host->viewport); };
    using K = juce::KeyPress;

    // Three cells a row: 1-3, 4-6, 7-9, 10-11. The first key shows the focus on the first slot in view.
    EXPECT_FALSE (grid().keyPressed (K (K::downKey), &page.pageComponent)) << "arrows of other parts are theirs";
    EXPECT_TRUE (key (K::downKey));
    EXPECT_EQ (grid().getFocusedSlot(), 1);

    juce::Array<int> visited;
    for (auto code : { K::rightKey, K::downKey, K::downKey, K::downKey, K::downKey, K::homeKey, K::endKey, K::leftKey, K::upKey })
        visited.add (key (code) ? grid().getFocusedSlot() : -1);
    EXPECT_EQ (visited, juce::Array<int> ({ 2, 5, 8, 11, 11, 1, 11, 10, 7 }));
    EXPECT_TRUE (grid().getSelectedPresets().isEmpty()) << "moving selects nothing";

    EXPECT_TRUE (key (K::spaceKey) && grid().getSelectedPresets().isEmpty()) << "an empty slot: nothing to select";
    key (K::upKey);
    EXPECT_TRUE (key (K::returnKey));
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 4 }));
    key (K::rightKey, Mods::shiftModifier);
    key (K::downKey, Mods::shiftModifier);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 4, 5, 8 })) << "the empty 6 and 7 left out";
    key (K::upKey, Mods::shiftModifier);
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 4, 5 }));
    key (K::homeKey);
    key (K::spaceKey, Mods::ctrlModifier);
    EXPECT_EQ (toggled (grid()), juce::Array<int> ({ 1, 4, 5 }));

    // A click moves the focus too; the page keys keep the focused slot in view.
    click (grid(), 3);
    EXPECT_EQ (grid().getFocusedSlot(), 3);
    host->setSize (400, 40);
    key (K::pageDownKey);
    key (K::pageDownKey);
    EXPECT_GT (grid().getFocusedSlot(), 6);
    EXPECT_TRUE (host->viewport.getViewArea().contains (grid().getButton (grid().getFocusedSlot())->getBounds()));
}

TEST_F (PresetGrid, ScalesAreClampedBeforeUseAndStore)
{
    BelvoraSettings::getUserSettings().setValue ("presetCellButtonScale", 9.0);
    BelvoraSettings::getUserSettings().setValue ("presetIconButtonScale", 0.1);
    PresetButtonContainer fresh (page, nullptr);
    EXPECT_EQ (fresh.getCellScale(), 4.0);
    EXPECT_EQ (fresh.getIconScale(), 0.5);

    grid().setCellScale (12.0, true);
    EXPECT_EQ (BelvoraSettings::getUserSettings().getDoubleValue ("presetCellButtonScale"), 4.0);
    EXPECT_EQ (grid().getButtonSize(), juce::Point<int> (500, 100));
    grid().zoomButtons (0.01);
    EXPECT_EQ (grid().getCellScale(), 0.5);

    const auto wheel = juce::MouseWheelDetails { 0.0f, -0.5f, false, false, false };
    grid().setCellScale (1.0, true);
    grid().mouseWheelMove (eventOn (grid(), Mods::ctrlModifier), wheel);
    EXPECT_NEAR (grid().getCellScale(), 0.9, 1e-9);
    grid().mouseWheelMove (eventOn (*grid().getButton (1), Mods::ctrlModifier), wheel);   // over a button: no zoom
    EXPECT_NEAR (grid().getCellScale(), 0.9, 1e-9);
}

//==============================================================================
TEST_F (PresetGrid, CellLayoutSharesEdgesAndWidensTheLastOfARow)
{
    host->setSize (400, 100);
    const auto w = grid().getWidth();   // the viewport's width less its scroll bar
    const auto cols = w / 125, bw = w / cols;
    EXPECT_EQ (grid().getButton (1)->getBounds(), juce::Rectangle<int> (0, 0, bw, 25));
    EXPECT_EQ (grid().getButton (2)->getX(), bw - 1);
    EXPECT_EQ (grid().getButton (cols)->getRight(), w);
    EXPECT_EQ (grid().getButton (cols + 1)->getBounds().getTopLeft(), juce::Point<int> (0, 24));
    EXPECT_GE (grid().getHeight(), grid().getButton (11)->getBottom());

    grid().layoutContent (40, 10);   // narrower than one button: one column
    EXPECT_EQ (grid().getButton (2)->getBounds(), juce::Rectangle<int> (0, 24, 40, 25));
}

TEST_F (PresetGrid, IconViewOfAPackWithoutGapsHidesEmptySlots)
{
    auto cloud = SourceTree::createCloudCategory();
    root.appendChild (cloud, nullptr);
    auto pack = makeSource ("P", 12, { 1, 2, 3 });
    cloud.appendChild (pack, nullptr);

    grid().setIconView (1);
    grid().clearItem();
    host->show (pack);
    EXPECT_FALSE (grid().isShowingEmptySlots());
    EXPECT_FALSE (grid().getButton (4)->isVisible());
    EXPECT_EQ (grid().getButton (1)->getBounds(), juce::Rectangle<int> (5, 5, 152, 95));
    EXPECT_EQ (grid().getButton (2)->getX(), 5 + 152 + 4);

    grid().clearItem();
    host->show (node);   // a backup with gaps shows them
    EXPECT_TRUE (grid().getButton (6)->isVisible());
}

//==============================================================================
TEST_F (PresetGrid, CopyCutAndEveryPasteAreOneUndoStep)
{
    grid().setSelectedPresets ({ 1, 2 });
    ASSERT_TRUE (grid().copySelected());
    EXPECT_EQ (grid().getClipboard()->getUsedPresetIndices(), juce::Array<int> ({ 1, 2 }));

    expectOneStep ([&]
    {
        commandAt (105, 10);
        EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 10, 11 }));
    });
    EXPECT_EQ (data().getPreset (10)->getName(), "A 1");
    EXPECT_EQ (data().getPreset (11)->getName(), "A 2");   // the second stops at the last slot

    grid().setSelectedPresets ({ 4 });   // the toolbar's Paste: from the first selected slot
    expectOneStep ([&] { grid().performMenuCommand (105, nullptr); });
    EXPECT_EQ (data().getPresetNames ({ 4, 5 }), juce::StringArray ({ "A 1", "A 2" }));

    grid().setSelectedPresets ({ 3, 4, 5, 8 });
    expectOneStep ([&] { grid().performMenuCommand (106, nullptr); });
    EXPECT_EQ (data().getPresetNames ({ 3, 4, 5, 8 }), juce::StringArray ({ "A 1", "A 2", "A 1", "A 2" }));

    expectOneStep ([&] { grid().performMenuCommand (109, nullptr); });   // the first two empty slots
    EXPECT_EQ (data().getPresetNames ({ 6, 7 }), juce::StringArray ({ "A 1", "A 2" }));

    expectOneStep ([&] { commandAt (104, 2); });
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 2, 3 }));

    grid().setSelectedPresets ({ 4 });
    expectOneStep ([&] { EXPECT_TRUE (grid().cutSelected()); });
    EXPECT_FALSE (data().isPresetSlotUsed (4));
    EXPECT_EQ (grid().getClipboard()->getUsedPresetIndices(), juce::Array<int> ({ 4 }));
}

TEST_F (PresetGrid, PasteToEmptyLocationsPastesIntoThoseThereAre)
{
    grid().setSelectedPresets ({ 1, 2, 3, 4, 5 });
    grid().copySelected();
    SourceTree::getDeviceData (other)->deleteAllPresets();
    for (int s = 1; s < 10; ++s)
        data().setPreset (s, SimulatedUnit::makePreset (smallTestCaps(), s, 1, "F"));
    grid().refreshButtons();

    expectOneStep ([&] { grid().performMenuCommand (109, nullptr); });
    EXPECT_EQ (data().getPresetNames ({ 10, 11 }), juce::StringArray ({ "A 1", "A 2" }));
}

TEST_F (PresetGrid, ClipboardOfAnotherProductGoesAndOutOfRangeSlotsAreDropped)
{
    grid().setSelectedPresets ({ 8 });
    grid().copySelected();

    // The same product with fewer slots: "Paste to Original Location" cannot reach slot 8.
    auto small = addBackup (root, makeSource ("S", 6, { 1 }));
    grid().clearItem();
    host->grid.setCaps (makeCaps (6));
    host->grid.rebuildButtons();
    host->show (small);
    ASSERT_NE (grid().getClipboard(), nullptr);
    const auto before = md5s (small);
    grid().performMenuCommand (108, nullptr);
    EXPECT_EQ (md5s (small), before);
    EXPECT_FALSE (page.undoManager.canUndo());
    EXPECT_FALSE (grid().pasteClipboardTo ({ 0, 6, 7 }));

    auto otherProduct = makeCaps (6);
    otherProduct.caps.productId = 0x22;
    host->grid.setCaps (otherProduct);
    EXPECT_EQ (grid().getClipboard(), nullptr);
}

//==============================================================================
TEST_F (PresetGrid, MenuEnablesWhatTheSelectionAndClipboardAllow)
{
    auto items = describe (grid().createMenu());
    EXPECT_TRUE (items.contains ("102:Cut-"));
    EXPECT_TRUE (items.contains ("105:Paste-"));
    EXPECT_TRUE (items.contains ("111:Undo-"));
    EXPECT_TRUE (items.contains ("113:"));
    EXPECT_TRUE (items.contains ("118:Selected Preset-"));
    EXPECT_FALSE (items.joinIntoString (",").contains ("117:"));   // only on the unit's own data

    grid().setSelectedPresets ({ 1, 2 });
    grid().copySelected();
    items = describe (grid().createMenu());
    EXPECT_TRUE (items.contains ("102:Cut"));
    EXPECT_TRUE (items.contains ("108:Paste to Original Locations"));
    EXPECT_TRUE (items.contains ("110:Delete Selected Presets"));
    EXPECT_TRUE (items.contains ("118:Selected Presets"));

    host->grid.setCaps (makeCaps (12, false));
    EXPECT_TRUE (describe (grid().createMenu()).contains ("102:Cut-"));

    // Through the menu as the user opens it: a right-click over slot 9, "Paste" chosen. The menu
    // opens on the release only, so the release of its own press cannot choose an item.
    int shown = 0;
    const GridMenus::ScopedResponder choose ([&] (const juce::PopupMenu& menu) { ++shown; return GridMenus::findItem (menu, 105) ? 105 : 0; });
    grid().mouseDown (eventOn (*grid().getButton (9), Mods::rightButtonModifier));
    EXPECT_EQ (shown, 0);
    grid().mouseUp (eventOn (*grid().getButton (9), Mods::rightButtonModifier));
    EXPECT_EQ (shown, 1);
    EXPECT_EQ (data().getPresetNames ({ 9, 10 }), juce::StringArray ({ "A 1", "A 2" }));

    // Every slot used: no empty one to paste to is offered.
    bool toEmpty = false;
    const GridMenus::ScopedResponder look ([&] (const juce::PopupMenu& menu) { GridMenus::findItem (menu, 109, nullptr, &toEmpty); return 0; });
    grid().mouseUp (eventOn (*grid().getButton (9), Mods::rightButtonModifier));
    EXPECT_TRUE (toEmpty);
    grid().pasteClipboardTo ({ 6, 7, 11 });
    grid().mouseUp (eventOn (*grid().getButton (9), Mods::rightButtonModifier));
    EXPECT_FALSE (toEmpty);
}

//==============================================================================
namespace
{
    struct DropMenu
    {
        juce::StringArray items;
        int choice = 0;
        GridMenus::ScopedResponder responder { [this] (const juce::PopupMenu& menu)
        {
            items = describe (menu);
            return choice;
        } };
    };
}

TEST_F (PresetGrid, DropOntoAnotherSlotOffersEveryChoice)
{
    DropMenu menu;
    const auto at = grid().getButton (5)->getBounds().getCentre();
    grid().dropPresets (node, { 2 }, at);
    EXPECT_EQ (menu.items, juce::StringArray ({ "200:Move", "201:Paste", "202:Insert", "203:Swap", "204:Add as Step" }));

    menu.items.clear();
    grid().dropPresets (node, { 2 }, grid().getButton (2)->getBounds().getCentre());   // onto itself
    EXPECT_TRUE (menu.items.isEmpty());

    menu.choice = 203;
    expectOneStep ([&] { grid().dropPresets (node, { 2 }, at); });
    EXPECT_EQ (data().getPreset (5)->getName(), "A 2");

    menu.choice = 204;
    expectOneStep ([&] { grid().dropPresets (node, { 1, 3 }, at); });
    EXPECT_EQ (menu.items.joinIntoString (","), "200:Move,201:Paste,202:Insert,204:Merge as Steps");
}

TEST_F (PresetGrid, PartialPastePastesWhatFits)
{
    DropMenu menu;
    menu.choice = 201;
    grid().setSelectedPresets ({ 1 });
    expectOneStep ([&]
    {
        grid().dropPresets (other, { 1, 2, 3 }, grid().getButton (10)->getBounds().getCentre());
        EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 10, 11 }));
    });
    EXPECT_EQ (menu.items.joinIntoString (","), "201:Paste (partial),202:Insert (partial)");
    EXPECT_EQ (data().getPresetNames ({ 10, 11 }), juce::StringArray ({ "B 1", "B 2" }));
}

TEST_F (PresetGrid, AMoveOntoOverlappingSlotsDeletesOnlyTheUncoveredSource)
{
    DropMenu menu;
    menu.choice = 200;
    grid().setSelectedPresets ({ 3, 4, 5 });
    expectOneStep ([&] { grid().dropPresets (node, { 3, 4, 5 }, grid().getButton (4)->getBounds().getCentre()); });
    EXPECT_FALSE (data().isPresetSlotUsed (3));
    EXPECT_EQ (data().getPresetNames ({ 4, 5, 6 }), juce::StringArray ({ "A 3", "A 4", "A 5" }));
    EXPECT_EQ (grid().getSelectedPresets(), juce::Array<int> ({ 4, 5 }));
}

TEST_F (PresetGrid, APartialMoveDeletesOnlyThePresetsItMoved)
{
    DropMenu menu;
    menu.choice = 200;
    expectOneStep ([&] { grid().dropPresets (node, { 1, 2, 3 }, grid().getButton (10)->getBounds().getCentre()); });
    EXPECT_EQ (menu.items[0], "200:Move (partial)");
    EXPECT_EQ (data().getPresetNames ({ 10, 11 }), juce::StringArray ({ "A 1", "A 2" }));
    EXPECT_FALSE (data().isPresetSlotUsed (1));
    EXPECT_FALSE (data().isPresetSlotUsed (2));
    EXPECT_TRUE (data().isPresetSlotUsed (3));   // never moved, so kept
}

TEST_F (PresetGrid, ADataSetDroppedOnFreeSpaceFillsTheFirstEmptySlots)
{
    DropMenu menu;
    menu.choice = 201;
    juce::Component tree;
    page.treeView = &tree;
    page.treeSelection = other;

    juce::DragAndDropTarget::SourceDetails details ({}, &tree, { 5, 5 });
    EXPECT_TRUE (grid().isInterestedInDragSource (details));
    details.localPosition = { 5, grid().getButton (11)->getBottom() + 40 };
    host->setSize (400, 2000);
    details.localPosition = { 5, grid().getHeight() - 2 };
    expectOneStep ([&] { grid().itemDropped (details); });
    EXPECT_EQ (menu.items.joinIntoString (","), "201:Paste");   // four presets, five empty slots
    EXPECT_EQ (data().getPresetNames ({ 6, 7, 9, 10 }), juce::StringArray ({ "B 1", "B 2", "B 3", "B 6" }));

    // The tree dragging the node the grid shows, or onto a read-only pack: refused.
    page.treeSelection = node;
    EXPECT_FALSE (grid().isInterestedInDragSource (details));
}

TEST_F (PresetGrid, DragImageStacksFiveButtonsAndCountsAll)
{
    const WidgetTests::ScopedLookAndFeel laf (1.0f);
    grid().setSelectedPresets ({ 1, 2, 3, 4, 5, 8 });
    auto& grabbed = *grid().getButton (1);
    const auto image = grid().createDragImage (grabbed);
    const auto badge = juce::jmax (0.4f * 25.0f, 0.0f);
    EXPECT_GE (image.getWidth(), 7 * 5 + grabbed.getWidth());
    EXPECT_GE (image.getHeight(), 5 * 3 + 10 + grabbed.getHeight());
    EXPECT_GT (badge, 0.0f);

    // The badge's blue circle sits at the top-left, the stacked buttons are translucent.
    EXPECT_GT (WidgetTests::countPixels (image, { 10, 10, 18, 18 }, WidgetTests::hue (juce::Colour (0xff6a9ad4), 30)), 60);
    const auto last = image.getPixelAt (image.getWidth() - 3, image.getHeight() - 3);
    EXPECT_LE (last.getAlpha(), 160);
}
