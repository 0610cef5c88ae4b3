// The data page's pop-up menus as the user meets them: the running program
// brought into a state, photographed, and the menu it would open drawn over
// the photo where the click or the drop happened.

#include "gallery/AppPhotos.h"
#include "gui/CommandIDs.h"
#include "gui/RunningAppFixture.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPanels.h"
#include "gui/datapage/PresetButtonContainer.h"
#include "gui/datapage/SourceTreeItem.h"
#include "model/SourceTree.h"

namespace
{
    struct OpenMenu
    {
        juce::PopupMenu menu;
        juce::Point<int> at;   // in the window's coordinates
    };

    using MenuScene = std::function<OpenMenu (RunningApp&)>;

    /** The menu's top-level items as the popup lays them out, drawn with the look-and-feel. */
    void drawMenu (juce::Image& photo, const OpenMenu& open, juce::LookAndFeel& laf)
    {
        struct Row { juce::PopupMenu::Item item; int height; };
        std::vector<Row> rows;
        int width = 0, height = 0;

        for (juce::PopupMenu::MenuItemIterator it (open.menu); it.next();)
        {
            int w = 0, h = 0;
            laf.getIdealPopupMenuItemSize (it.getItem().text, it.getItem().isSeparator, 0, w, h);
            rows.push_back ({ it.getItem(), h });
            width = juce::jmax (width, w);
            height += h;
        }

        const auto border = laf.getPopupMenuBorderSize();
        // Kept on the screen as the popup keeps itself.
        const auto frame = juce::Rectangle<int> (open.at.x, open.at.y, width + 2 * border, height + 2 * border)
                               .constrainedWithin (photo.getBounds());

        juce::Graphics g (photo);
        g.setColour (juce::Colours::black.withAlpha (0.25f));
        g.fillRect (frame.translated (3, 3));
        g.setOrigin (frame.getPosition());
        g.reduceClipRegion (frame.withZeroOrigin());   // the background fills all it may
        laf.drawPopupMenuBackground (g, frame.getWidth(), frame.getHeight());

        int y = border;

        for (auto& row : rows)
        {
            const juce::Rectangle<int> area (border, y, width, row.height);
            laf.drawPopupMenuItem (g, area, row.item.isSeparator, row.item.isEnabled, false, row.item.isTicked,
                                   row.item.subMenu != nullptr, row.item.text, row.item.shortcutKeyDescription, nullptr, nullptr);
            y += row.height;
        }
    }

    /** The scene's menu drawn over the photo of the state it left. */
    Gallery::Maker photographWithMenu (MenuScene scene)
    {
        auto open = std::make_shared<OpenMenu>();

        return AppPhotos::photograph ("0x12",
                                      [scene, open] (RunningApp& running) { *open = scene (running); running.drain(); },
                                      [open] (RunningApp&, juce::Image& photo, BVLookAndFeel& laf) { drawMenu (photo, *open, laf); });
    }

    DataPage& pageOf (RunningApp& running)   { return running.content().getDataPage(); }

    void download (RunningApp& running)
    {
        running.perform (CommandIDs::downloadDeviceData);
        running.waitFor ([&] { return ! pageOf (running).isSyncNeeded() && ! pageOf (running).isBusy(); });
        running.content().getTabs().setCurrentTabIndex (running.content().getPresetsTabIndex());
        running.drain();
    }

    juce::ValueTree category (RunningApp& running, const char* name)
    {
        return SourceTree::findChildWithCategory (pageOf (running).getRootTree(), name);
    }

    /** The node's row selected; where a right click on it would be, in the window. */
    juce::Point<int> selectRow (RunningApp& running, const juce::ValueTree& node)
    {
        auto& browser = pageOf (running).getBrowser();
        browser.selectItemFor (node);
        running.drain();

        auto* row = browser.findItemFor (browser.getRootItem(), node);

        if (row == nullptr)
            return { 40, 140 };

        const auto area = row->getItemPosition (true);
        return running.window().getLocalPoint (&browser.getTreeView(), area.getPosition().translated (area.getWidth() / 3, area.getHeight() / 2));
    }

    juce::ValueTree firstBackup (RunningApp& running)
    {
        auto& browser = pageOf (running).getBrowser();
        browser.backupDeviceData (true, true, true);
        running.drain();
        return category (running, SourceTreeIds::archiveCategory).getChild (0);
    }

    OpenMenu workspaceMenu (RunningApp& running)
    {
        download (running);
        const auto at = selectRow (running, category (running, SourceTreeIds::deviceCategory));
        return { pageOf (running).getBrowser().createTreeMenu(), at };
    }

    OpenMenu backupMenu (RunningApp& running)
    {
        download (running);
        const auto at = selectRow (running, firstBackup (running));
        return { pageOf (running).getBrowser().createTreeMenu(), at };
    }

    OpenMenu packEntryMenu (RunningApp& running)
    {
        download (running);
        const auto cloud = category (running, SourceTreeIds::cloudCategory);
        juce::ValueTree entry;

        running.waitFor ([&]
        {
            for (const auto& child : cloud)
                if (SourceTree::getDataSet (child) != nullptr)
                    entry = child;

            return entry.isValid();
        });

        const auto at = selectRow (running, entry);
        return { pageOf (running).getBrowser().createTreeMenu(), at };
    }

    OpenMenu presetsDroppedOnABackup (RunningApp& running)
    {
        download (running);
        const auto backup = firstBackup (running);
        const auto device = category (running, SourceTreeIds::deviceCategory);
        const auto at = selectRow (running, backup);
        selectRow (running, device);
        return { pageOf (running).getBrowser().createPresetDropMenu (backup, device, { 2, 3, 4 }, false, false), at };
    }

    OpenMenu gridMenu (RunningApp& running)
    {
        download (running);
        auto& grid = pageOf (running).getDataViewPanel().getPresetContainer();
        grid.setSelectedPresets ({ 2, 3 });
        running.drain();

        juce::Point<int> at (500, 200);

        if (auto* button = grid.getButton (3))
            at = running.window().getLocalPoint (button, button->getLocalBounds().getCentre());

        return { grid.createMenu(), at };
    }
}

BELVORA_SCREEN ("Data page/Menu of the workspace", photographWithMenu (workspaceMenu));
BELVORA_SCREEN ("Data page/Menu of a backup", photographWithMenu (backupMenu));
BELVORA_SCREEN ("Data page/Menu of a preset pack entry", photographWithMenu (packEntryMenu));
BELVORA_SCREEN ("Data page/Presets dropped on a backup", photographWithMenu (presetsDroppedOnABackup));
BELVORA_SCREEN ("Data page/Menu of the preset grid", photographWithMenu (gridMenu));
