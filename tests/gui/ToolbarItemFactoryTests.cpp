// The two toolbars' item factories: which ids they offer, which they put on a
// fresh toolbar and in what order, and that every item comes with its icon,
// label and tooltip.

#include "gui/ToolbarItemFactories.h"
#include "gui/widgets/ToolbarButtonEx.h"
#include "gui/WidgetTestSupport.h"

#include <memory>

using namespace WidgetTests;

namespace
{
    std::unique_ptr<ToolbarButtonEx> itemOf (juce::ToolbarItemFactory& factory, int id)
    {
        std::unique_ptr<juce::ToolbarItemComponent> item (factory.createItem (id));
        auto* button = dynamic_cast<ToolbarButtonEx*> (item.get());

        if (button == nullptr)
            return {};

        item.release();
        return std::unique_ptr<ToolbarButtonEx> (button);
    }

    /** A fresh toolbar of the factory's default items: their labels left to right, "|" for a bar. */
    juce::StringArray defaultToolbar (juce::ToolbarItemFactory& factory)
    {
        juce::Toolbar toolbar;
        toolbar.setBounds (0, 0, 2000, 63);
        toolbar.addDefaultItems (factory);
        juce::StringArray shown;

        for (int i = 0; i < toolbar.getNumItems(); ++i)
        {
            const auto id = toolbar.getItemId (i);
            shown.add (id == juce::ToolbarItemFactory::separatorBarId ? juce::String ("|")
                                                                       : toolbar.getItemComponent (i)->getButtonText().replace ("\n", " "));
        }

        return shown;
    }

    /** Every listed item is a toolbar button with that id, an icon that shows, a label and a tooltip. */
    void expectCompleteItems (juce::ToolbarItemFactory& factory)
    {
        juce::Array<int> ids;
        factory.getAllToolbarItemIds (ids);

        for (auto id : ids)
        {
            SCOPED_TRACE (id);

            if (id < 0)
            {
                EXPECT_EQ (factory.createItem (id), nullptr) << "the toolbar makes its own separators and spacers";
                continue;
            }

            auto item = itemOf (factory, id);
            ASSERT_NE (item, nullptr);
            EXPECT_EQ (item->getItemId(), id);
            EXPECT_TRUE (item->getButtonText().isNotEmpty());
            EXPECT_TRUE (item->getTooltip().isNotEmpty());

            item->setBounds (0, 0, 63, 63);
            ASSERT_NE (item->getCurrentImage(), nullptr);
            EXPECT_FALSE (item->getCurrentImage()->getDrawableBounds().isEmpty()) << "the icon has something to draw";
        }
    }
}

//==============================================================================
TEST (DeviceToolbarItemFactory, OffersFiveItemsAndShowsScanDisconnectUpdate)
{
    DeviceToolbarItemFactory factory;

    juce::Array<int> all;
    factory.getAllToolbarItemIds (all);
    EXPECT_EQ (all, juce::Array<int> ({ 1, 2, 3, 4, 5, -1, -2, -3 }));

    EXPECT_EQ (defaultToolbar (factory), juce::StringArray ({ "Scan", "Disconnect", "Update" }));

    expectCompleteItems (factory);

    EXPECT_EQ (factory.createItem (0), nullptr);
    EXPECT_EQ (factory.createItem (6), nullptr);

    auto custom = itemOf (factory, DeviceToolbarItemFactory::custom);
    EXPECT_EQ (custom->getButtonText(), "Custom");
    EXPECT_EQ (custom->getTooltip(), "Show available firmware builds");
}

TEST (DataToolbarItemFactory, DefaultToolbarReadsInGroupsLeftToRight)
{
    DataToolbarItemFactory factory;

    juce::Array<int> all;
    factory.getAllToolbarItemIds (all);
    EXPECT_EQ (all, juce::Array<int> ({ 1, 2, 3, 4, 5, 13, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19, 20,
                                        21, 22, 23, 24, 25, 26, 27, -1, -2, -3 }));

    EXPECT_EQ (defaultToolbar (factory),
               juce::StringArray ({ "Get Data", "Apply Changes", "|", "Send Selected", "Send Setup", "|",
                                    "Backup User", "Backup Selected", "Backup All", "|",
                                    "Select User", "Optimize Space", "Toggle View", "Find Preset", "|",
                                    "Undo", "Redo", "|", "Import", "Export" }));

    expectCompleteItems (factory);

    EXPECT_EQ (factory.createItem (0), nullptr);
    EXPECT_EQ (factory.createItem (28), nullptr);
}

TEST (DataToolbarItemFactory, OnlyToggleViewChangesItsIconWhenToggled)
{
    DataToolbarItemFactory factory;

    for (auto id : { (int) DataToolbarItemFactory::toggleView, (int) DataToolbarItemFactory::undo })
    {
        auto item = itemOf (factory, id);
        item->setBounds (0, 0, 63, 63);
        const auto* normal = item->getCurrentImage();
        item->setToggleState (true, juce::dontSendNotification);
        item->buttonStateChanged();
        EXPECT_EQ (item->getCurrentImage() != normal, id == DataToolbarItemFactory::toggleView) << id;
    }
}
