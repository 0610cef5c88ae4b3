// Presets dragged in a window under the display (Xvfb in CI): mouse events go
// through the window's peer as the system's would, so the drag starts, follows
// the pointer, ends over the grid and the drop menu acts on it.

#include "gui/GridTestHost.h"

#include <gtest/gtest.h>

using namespace GridTests;
using Mods = juce::ModifierKeys;

namespace
{
    struct OnScreen : ::testing::Test
    {
        GridSettings settings;
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree node = addBackup (root, makeSource ("A", 40, { 1, 2, 3, 4, 5, 20 }));
        std::unique_ptr<Host> host;
        juce::StringArray menus;
        int choice = 0;
        std::unique_ptr<GridMenus::ScopedResponder> responder;

        void SetUp() override
        {
            // Not the Desktop's displays: without DISPLAY, JUCE tries ":0", which may be another test's server.
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            host = std::make_unique<Host> (page, makeCaps (40), 400, 240);
            page.presetListeners.add (&host->grid);
            host->show (node);
            host->addToDesktop (juce::ComponentPeer::windowIsTemporary);
            host->setTopLeftPosition (50, 50);
            host->setVisible (true);
            ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([this] { return host->getPeer() != nullptr && host->isShowing(); }));
            ASSERT_TRUE (TestEnvironment::drainMessages());

            responder = std::make_unique<GridMenus::ScopedResponder> ([this] (const juce::PopupMenu& menu)
            {
                menus.add (describe (menu).joinIntoString (","));
                return choice;
            });
        }

        void TearDown() override
        {
            juce::ModifierKeys::currentModifiers = {};

            if (host != nullptr)
                host->removeFromDesktop();
        }

        /** One mouse event through the window, with these buttons and keys held. */
        void send (juce::Point<int> inHost, int mods)
        {
            juce::ModifierKeys::currentModifiers = juce::ModifierKeys (mods);
            host->getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, inHost.toFloat(),
                                               juce::ModifierKeys (mods), juce::MouseInputSource::defaultPressure,
                                               juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
            TestEnvironment::drainMessages();
        }

        /** The drag image fades out after the drop; true when it never went. */
        bool dragStillShown()
        {
            return ! TestEnvironment::runMessageLoopUntil ([this] { return ! host->isDragAndDropActive(); });
        }

        juce::Point<int> centreOf (int slot)
        {
            auto* button = host->grid.getButton (slot);
            return host->getLocalPoint (button, button->getLocalBounds().getCentre());
        }

        void clickOn (int slot, int keys = 0)
        {
            send (centreOf (slot), keys);
            send (centreOf (slot), keys | Mods::leftButtonModifier);
            send (centreOf (slot), keys);
        }

        /** Presses on one slot, moves over `via` (when given) to the other and releases. */
        void dragFrom (int from, int to, int via = 0)
        {
            const auto start = centreOf (from), end = centreOf (to);
            send (start, 0);
            send (start, Mods::leftButtonModifier);
            auto at = start;

            for (auto stop : { via > 0 ? centreOf (via) : start, end })
            {
                for (int i = 1; i <= 10; ++i)
                    send (at + (stop - at) * i / 10, Mods::leftButtonModifier);

                at = stop;
            }

            send (end, 0);
        }
    };
}

TEST_F (OnScreen, ClicksSelectAndADragMovesTheSelectionAsOneStep)
{
    clickOn (2);
    clickOn (4, Mods::shiftModifier);
    EXPECT_EQ (host->grid.getSelectedPresets(), juce::Array<int> ({ 2, 3, 4 }));

    const auto before = md5s (node);
    choice = 200;
    dragFrom (3, 10);   // grabbed inside the selection: all three go

    ASSERT_EQ (menus.size(), 1);
    EXPECT_EQ (menus[0], "200:Move,201:Paste,202:Insert,204:Merge as Steps");
    EXPECT_EQ (host->grid.getDragSource().presetIndices, juce::Array<int> ({ 2, 3, 4 }));
    auto& data = *SourceTree::getDeviceData (node);
    EXPECT_EQ (data.getPresetNames ({ 10, 11, 12 }), juce::StringArray ({ "A 2", "A 3", "A 4" }));
    EXPECT_FALSE (data.isPresetSlotUsed (2));
    EXPECT_FALSE (dragStillShown());

    const auto after = md5s (node);
    page.undo();
    EXPECT_EQ (md5s (node), before);
    page.redo();
    EXPECT_EQ (md5s (node), after);
}

TEST_F (OnScreen, APlainClickInsideTheSelectionSelectsOnlyThatOneOnRelease)
{
    host->grid.setSelectedPresets ({ 1, 2, 3 });
    send (centreOf (2), 0);
    send (centreOf (2), Mods::leftButtonModifier);
    EXPECT_EQ (host->grid.getSelectedPresets().size(), 3);
    send (centreOf (2), 0);
    EXPECT_EQ (host->grid.getSelectedPresets(), juce::Array<int> ({ 2 }));
}

TEST_F (OnScreen, ADropOntoItsOwnSlotOffersNothing)
{
    clickOn (5);
    dragFrom (5, 5, 15);
    EXPECT_TRUE (menus.isEmpty());
    EXPECT_FALSE (dragStillShown());
}

TEST_F (OnScreen, RightClickOnAnEmptySlotPastesThere)
{
    clickOn (1);
    ASSERT_TRUE (host->grid.copySelected());
    choice = 105;   // "Paste"
    send (centreOf (10), 0);
    send (centreOf (10), Mods::rightButtonModifier);
    send (centreOf (10), 0);

    ASSERT_EQ (menus.size(), 1);
    EXPECT_TRUE (menus[0].contains ("105:Paste,"));
    EXPECT_EQ (SourceTree::getDeviceData (node)->getPresetNames ({ 10 }), juce::StringArray ({ "A 1" }));
    EXPECT_EQ (host->grid.getSelectedPresets(), juce::Array<int> ({ 10 }));
}

TEST_F (OnScreen, TheWheelOverAPresetScrollsTheGridAndCtrlWheelOverFreeSpaceZooms)
{
    const auto wheel = [&] (juce::Point<int> at, float deltaY, int mods)
    {
        juce::ModifierKeys::currentModifiers = juce::ModifierKeys (mods);
        juce::MouseWheelDetails details { 0.0f, deltaY, false, false, false };
        host->getPeer()->handleMouseWheel (juce::MouseInputSource::InputSourceType::mouse, at.toFloat(), juce::Time::currentTimeMillis(), details);
        TestEnvironment::drainMessages();
    };

    ASSERT_GT (host->grid.getHeight(), host->viewport.getMaximumVisibleHeight()) << "the grid must be taller than its view";
    const auto scale = host->grid.getCellScale();
    send (centreOf (2), 0);
    wheel (centreOf (2), -0.5f, 0);
    EXPECT_GT (host->viewport.getViewPositionY(), 0) << "over a preset, the wheel scrolls";
    EXPECT_EQ (host->grid.getCellScale(), scale);

    // Over the grid's free space, Ctrl and the wheel zoom.
    host->grid.setCellScale (0.5, true);
    const auto freeSpace = host->getLocalPoint (&host->grid, juce::Point<int> (host->grid.getWidth() - 3, host->grid.getHeight() - 3));
    ASSERT_EQ (host->grid.getButtonAt (host->grid.getLocalPoint (host.get(), freeSpace)), nullptr);
    wheel (freeSpace, 0.5f, Mods::ctrlModifier);
    EXPECT_NEAR (host->grid.getCellScale(), 0.55, 1e-9);
}
