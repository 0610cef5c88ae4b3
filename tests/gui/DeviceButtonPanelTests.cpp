// The scrolling panel of device tiles: rows that wrap, hidden tiles, known
// products in front, and the width it lays out in when a scrollbar comes.

#include "devices/DeviceFlags.h"
#include "gui/devicepage/DeviceButtonPanel.h"
#include "gui/ShownTile.h"
#include "gui/WidgetTestSupport.h"

using namespace WidgetTests;

namespace
{
    /** A tile of that size, of a known product (identified) or of a device that never answered. */
    std::unique_ptr<ShownTile> tile (bool known, int w = 100, int h = 50)
    {
        auto t = std::make_unique<ShownTile> (ShownTile::unitWith (known ? DeviceFlags::identified : DeviceFlags::noAnswer));
        t->setSize (w, h);
        return t;
    }

    ShownTile* add (DeviceButtonPanel& panel, bool known, int w = 100, int h = 50)
    {
        auto t = tile (known, w, h);
        auto* raw = t.get();
        panel.addButton (std::move (t));
        return raw;
    }

    juce::Point<int> at (juce::Component* c)   { return c->getPosition(); }
}

//==============================================================================
TEST (DeviceButtonPanel, TilesFlowIntoRowsThatWrapBeforeTheEdge)
{
    ScopedLookAndFeel look (1.0f);
    DeviceButtonPanel panel ("MIDI Devices");
    EXPECT_EQ (panel.getName(), "MIDI Devices");
    panel.setSize (250, 400);
    EXPECT_EQ (panel.getContainer().getHeight(), 0) << "nothing to show";

    auto* a = add (panel, false);
    auto* b = add (panel, false);
    auto* c = add (panel, false);
    EXPECT_EQ (at (a), juce::Point<int> (10, 10));
    EXPECT_EQ (at (b), juce::Point<int> (120, 10));
    EXPECT_EQ (at (c), juce::Point<int> (10, 70));
    EXPECT_EQ (panel.getContainer().getBounds(), juce::Rectangle<int> (0, 0, 250, 130));

    // A tile that wraps steps down by its own height; one wider than the panel gets a row alone.
    c->setSize (100, 80);
    auto* wide = add (panel, false, 400, 30);
    panel.relayout();
    EXPECT_EQ (at (c), juce::Point<int> (10, 100));
    EXPECT_EQ (at (wide), juce::Point<int> (10, 140));
    EXPECT_EQ (panel.getContainer().getHeight(), 30 + 140 + 10);

    // Hidden tiles take no place, but a panel of hidden tiles still keeps its gaps.
    b->setVisible (false);
    panel.relayout();
    EXPECT_EQ (at (c), juce::Point<int> (120, 10));

    for (int i = 0; i < panel.getNumButtons(); ++i)
        panel.getButton (i)->setVisible (false);

    panel.relayout();
    EXPECT_EQ (panel.getContainer().getHeight(), 20);

    panel.clearButtons();
    EXPECT_EQ (panel.getNumButtons(), 0);
    EXPECT_EQ (panel.getContainer().getNumChildComponents(), 0);
    EXPECT_EQ (panel.getContainer().getHeight(), 0);
}

TEST (DeviceButtonPanel, KnownProductsComeFirstInTheirOwnOrderAndTheFilterHidesTheOthers)
{
    ScopedLookAndFeel look (1.0f);
    DeviceButtonPanel panel ("MIDI Devices");
    panel.setSize (600, 400);

    auto* unknown1 = add (panel, false);
    auto* unknown2 = add (panel, false);
    auto* known1 = add (panel, true);
    EXPECT_EQ (panel.getButton (0), known1) << "a known product's tile goes in front when added";
    EXPECT_EQ (at (known1), juce::Point<int> (10, 10));

    // Units that identified before their tiles were made keep the ports' order.
    auto* known2 = add (panel, true);
    EXPECT_EQ (panel.getButton (1), known2);
    EXPECT_EQ (panel.getButton (2), unknown1);

    // Units identify after their tiles were made: sorting brings them forward, in order.
    unknown2->show (DeviceFlags::identified);
    unknown1->show (DeviceFlags::identified);
    panel.sortKnownFirst();
    EXPECT_EQ (panel.getButton (2), unknown1);
    EXPECT_EQ (panel.getButton (3), unknown2);

    auto* foreign = add (panel, false);
    unknown1->show (DeviceFlags::noAnswer);
    panel.sortKnownFirst();
    EXPECT_EQ (panel.getButton (0), known1);
    EXPECT_EQ (panel.getButton (1), known2);
    EXPECT_EQ (panel.getButton (2), unknown2);
    EXPECT_EQ (panel.getButton (3), unknown1);
    EXPECT_EQ (panel.getButton (4), foreign);

    panel.filterButtons (true);
    EXPECT_FALSE (unknown1->isVisible());
    EXPECT_FALSE (foreign->isVisible());
    EXPECT_TRUE (known1->isVisible());
    EXPECT_TRUE (unknown2->isVisible());
    EXPECT_EQ (panel.getContainer().getHeight(), 70) << "one row of the three known tiles";

    panel.filterButtons (false);
    EXPECT_TRUE (unknown1->isVisible());
}

TEST (DeviceButtonPanel, ScrollbarNarrowsTheRowsInsteadOfAddingAHorizontalOne)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        DeviceButtonPanel panel ("My Offline Marrowell Devices");
        const auto s = [scale] (int v) { return juce::roundToInt ((float) v * scale); };
        panel.setSize (s (460), s (200));

        // Tiles of the widget's own size: two fit a row while no scrollbar shows.
        for (int i = 0; i < 2; ++i)
            panel.addButton (std::make_unique<ShownTile> (ShownTile::unitWith (DeviceFlags::identified)));

        const auto tileW = panel.getButton (0)->getWidth();
        EXPECT_EQ (tileW, (int) (220.0f * scale));
        EXPECT_EQ (at (panel.getButton (1)).y, s (10)) << "gaps scale with the look-and-feel";
        EXPECT_FALSE (panel.getViewport().getVerticalScrollBar().isVisible());

        // A third tile overflows the height: the scrollbar takes width, so the second tile wraps.
        panel.addButton (std::make_unique<ShownTile> (ShownTile::unitWith (DeviceFlags::identified)));
        auto& viewport = panel.getViewport();
        EXPECT_TRUE (viewport.getVerticalScrollBar().isVisible());
        EXPECT_FALSE (viewport.getHorizontalScrollBar().isVisible());
        EXPECT_EQ (panel.getContainer().getWidth(), viewport.getMaximumVisibleWidth());

        for (int i = 0; i < panel.getNumButtons(); ++i)
            EXPECT_LE (panel.getButton (i)->getRight(), viewport.getMaximumVisibleWidth());

        // Without tiles the scrollbar goes and the rows get the whole width back.
        panel.clearButtons();
        EXPECT_FALSE (viewport.getVerticalScrollBar().isVisible());
        EXPECT_EQ (panel.getContainer().getWidth(), s (460));
    }
}
