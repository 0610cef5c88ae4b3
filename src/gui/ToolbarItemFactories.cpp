#include "gui/ToolbarItemFactories.h"

#include "gui/widgets/ToolbarButtonEx.h"
#include "resources/BinaryResources.h"

namespace
{
    struct Svg
    {
        const char* data = nullptr;
        int size = 0;
    };

    struct ItemText
    {
        int id;
        const char* label;
        const char* tooltip;
        Svg icon, toggledIcon;
    };

    #define BV_SVG(name) Svg { BinaryResources::name##_svg, BinaryResources::name##_svgSize }

    std::unique_ptr<juce::Drawable> parse (const Svg& svg)
    {
        return svg.data != nullptr ? juce::Drawable::createFromImageData (svg.data, (size_t) svg.size) : nullptr;
    }

    template <size_t n>
    juce::ToolbarItemComponent* makeItem (const ItemText (&items)[n], int itemId)
    {
        for (auto& item : items)
        {
            if (item.id != itemId)
                continue;

            auto icon = parse (item.icon);

            if (icon == nullptr)
                return nullptr;

            auto* button = new ToolbarButtonEx (itemId, juce::String::fromUTF8 (item.label), std::move (icon), parse (item.toggledIcon));
            button->setTooltip (juce::String::fromUTF8 (item.tooltip));
            return button;
        }

        return nullptr;
    }

    void addIds (juce::Array<int>& ids, std::initializer_list<int> list)
    {
        for (auto id : list)
            ids.add (id);
    }

    using Tb = juce::ToolbarItemFactory;

    const ItemText deviceItems[] =
    {
        { DeviceToolbarItemFactory::scan,       "Scan",       "Identify MIDI devices",          BV_SVG (toolbar_scan), {} },
        { DeviceToolbarItemFactory::disconnect, "Disconnect", "Disconnect device",              BV_SVG (toolbar_disconnect), {} },
        { DeviceToolbarItemFactory::info,       "Info",       "Show device information",        BV_SVG (toolbar_info), {} },
        { DeviceToolbarItemFactory::update,     "Update",     "Upgrade to latest firmware",     BV_SVG (toolbar_update), {} },
        { DeviceToolbarItemFactory::custom,     "Custom",     "Show available firmware builds", BV_SVG (toolbar_custom_firmware), {} },
    };

    using D = DataToolbarItemFactory;

    const ItemText dataItems[] =
    {
        { D::sync,                "Sync",                     "Synchronize with your device",                        BV_SVG (toolbar_sync), {} },
        { D::getData,             "Get\nData",                "Get presets and setup data from your device",         BV_SVG (toolbar_get_data), {} },
        { D::applyChanges,        "Apply\nChanges",           "Send preset changes to your device",                  BV_SVG (toolbar_apply_changes), {} },
        { D::sendSetup,           "Send\nSetup",              "Send the setup (configuration) data to your device",  BV_SVG (toolbar_send_setup), {} },
        { D::sendSelected,        "Send\nSelected",           "Send selected items directly to your device",         BV_SVG (toolbar_send_selected), {} },
        { D::deleteBackup,        "Delete\nBackup",           "Delete the selected backup(s)",                       BV_SVG (toolbar_delete_backup), {} },
        { D::backupAll,           "Backup\nAll",              "Backup all your device's data",                       BV_SVG (toolbar_backup_all), {} },
        { D::backupUser,          "Backup\nUser",             "Backup user presets from your device",                BV_SVG (toolbar_backup_user), {} },
        { D::backupSelected,      "Backup\nSelected",         "Copy selected items to a new backup",                 BV_SVG (toolbar_backup_selected), {} },
        { D::optimizeSpace,       "Optimize\nSpace",          "Remove empty slots between presets",                  BV_SVG (toolbar_optimize_space), {} },
        { D::findPreset,          "Find\nPreset",             "Find a preset",                                       BV_SVG (toolbar_find_preset), {} },
        { D::toggleView,          "Toggle\nView",             "Toggle preset display between cell and icon views",   BV_SVG (toolbar_view_cells), BV_SVG (toolbar_view_icons) },
        { D::deleteSetup,         "Delete\nSetup",            "Delete the setup data",                               BV_SVG (toolbar_delete_setup), {} },
        { D::newGroup,            "New\nGroup",               "Create an empty backup group",                        BV_SVG (toolbar_new_group), {} },
        { D::groupSelected,       "Group\nSelected",          "Create a new backup group from the selected item(s)", BV_SVG (toolbar_group_selected), {} },
        { D::duplicateSelected,   "Duplicate\nSelected",      "Duplicate selected backup(s)",                        BV_SVG (toolbar_duplicate_selected), {} },
        { D::selectUser,          "Select\nUser",             "Select user presets",                                 BV_SVG (toolbar_select_user), {} },
        { D::deletePresets,       "Delete\nPresets",          "Delete selected presets",                             BV_SVG (toolbar_delete_presets), {} },
        { D::cut,                 "Cut",                      "Cut to clipboard",                                    BV_SVG (toolbar_cut), {} },
        { D::copy,                "Copy",                     "Copy to clipboard",                                   BV_SVG (toolbar_copy), {} },
        { D::paste,               "Paste",                    "Paste from clipboard",                                BV_SVG (toolbar_paste), {} },
        { D::undo,                "Undo",                     "Undo last edit",                                      BV_SVG (toolbar_undo), {} },
        { D::redo,                "Redo",                     "Redo last edit",                                      BV_SVG (toolbar_redo), {} },
        { D::exportData,          "Export",                   "Export data",                                         BV_SVG (toolbar_export), {} },
        { D::importData,          "Import",                   "Import data",                                         BV_SVG (toolbar_import), {} },
        { D::downloadFromAccount, "Download From My Account", "Download data from your cloud account",               BV_SVG (toolbar_account_download), {} },
        { D::uploadToAccount,     "Upload To My Account",     "Upload data to your cloud account",                   BV_SVG (toolbar_account_upload), {} },
    };

    #undef BV_SVG
}

//==============================================================================
void DeviceToolbarItemFactory::getAllToolbarItemIds (juce::Array<int>& ids)
{
    addIds (ids, { scan, disconnect, info, update, custom, Tb::separatorBarId, Tb::spacerId, Tb::flexibleSpacerId });
}

void DeviceToolbarItemFactory::getDefaultItemSet (juce::Array<int>& ids)
{
    addIds (ids, { scan, disconnect, update });
}

juce::ToolbarItemComponent* DeviceToolbarItemFactory::createItem (int itemId)
{
    return makeItem (deviceItems, itemId);
}

//==============================================================================
void DataToolbarItemFactory::getAllToolbarItemIds (juce::Array<int>& ids)
{
    addIds (ids, { sync, getData, applyChanges, sendSetup, sendSelected, deleteSetup, deleteBackup, backupAll, backupUser,
                   backupSelected, optimizeSpace, findPreset, toggleView, newGroup, groupSelected, duplicateSelected, selectUser,
                   deletePresets, cut, copy, paste, undo, redo, exportData, importData, downloadFromAccount, uploadToAccount,
                   Tb::separatorBarId, Tb::spacerId, Tb::flexibleSpacerId });
}

void DataToolbarItemFactory::getDefaultItemSet (juce::Array<int>& ids)
{
    constexpr int bar = Tb::separatorBarId;
    addIds (ids, { getData, applyChanges, bar, sendSelected, sendSetup, bar, backupUser, backupSelected, backupAll, bar,
                   selectUser, optimizeSpace, toggleView, findPreset, bar, undo, redo, bar, importData, exportData });
}

juce::ToolbarItemComponent* DataToolbarItemFactory::createItem (int itemId)
{
    return makeItem (dataItems, itemId);
}
