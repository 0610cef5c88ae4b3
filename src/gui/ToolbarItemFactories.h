#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The items of the device page's toolbar. Each is a ToolbarButtonEx with its
    icon, label and tooltip; what an item does is up to the page, which tells
    the items apart by these ids. */
class DeviceToolbarItemFactory : public juce::ToolbarItemFactory
{
public:
    enum ItemId
    {
        scan       = 1,
        disconnect = 2,
        info       = 3,
        update     = 4,
        custom     = 5
    };

    void getAllToolbarItemIds (juce::Array<int>& ids) override;
    void getDefaultItemSet (juce::Array<int>& ids) override;

    /** Null for an id not listed above, or when the item's icon does not load. */
    juce::ToolbarItemComponent* createItem (int itemId) override;
};

/** The items of the data page's toolbar, as the device factory's. */
class DataToolbarItemFactory : public juce::ToolbarItemFactory
{
public:
    enum ItemId
    {
        sync                = 1,
        getData             = 2,
        applyChanges        = 3,
        sendSetup           = 4,
        sendSelected        = 5,
        deleteBackup        = 6,
        backupAll           = 7,
        backupUser          = 8,
        backupSelected      = 9,
        optimizeSpace       = 10,
        findPreset          = 11,
        toggleView          = 12,   // shows the other view's icon while toggled on
        deleteSetup         = 13,
        newGroup            = 14,
        groupSelected       = 15,
        duplicateSelected   = 16,
        selectUser          = 17,
        deletePresets       = 18,
        cut                 = 19,
        copy                = 20,
        paste               = 21,
        undo                = 22,
        redo                = 23,
        exportData          = 24,
        importData          = 25,
        downloadFromAccount = 26,
        uploadToAccount     = 27
    };

    void getAllToolbarItemIds (juce::Array<int>& ids) override;
    void getDefaultItemSet (juce::Array<int>& ids) override;

    /** Null for an id not listed above, or when the item's icon does not load. */
    juce::ToolbarItemComponent* createItem (int itemId) override;
};
