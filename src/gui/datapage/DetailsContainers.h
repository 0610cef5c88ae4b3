#pragma once

#include "gui/datapage/PanelContainerBase.h"

#include <memory>

/** The placeholder of both panels: empty (mode 0), or while the connected
    unit's data has not been read (mode 4) a big button that downloads it. */
class EmptyContainer : public PanelContainerBase,
                       private juce::Button::Listener
{
public:
    EmptyContainer();
    ~EmptyContainer() override;

    void setMode (int m);
    int getMode() const noexcept                 { return mode; }
    juce::ImageButton& getSyncButton() noexcept  { return *syncButton; }

    void resized() override;
    void layoutContent (int width, int height) override;

private:
    void buttonClicked (juce::Button* button) override;

    juce::Label label { "label", "No Details Availalbe" };
    int mode = 0;
    std::unique_ptr<juce::ImageButton> syncButton;
};

/** The connected unit's details: its picture, how many presets it holds and how
    many differ from the factory's, and whether its setup can be restored. */
class DeviceDetailsContainer : public PanelContainerBase
{
public:
    DeviceDetailsContainer();
    ~DeviceDetailsContainer() override;

    void refresh() override;
    void layoutContent (int width, int height) override;
    void presetDataChanged (const juce::ValueTree& source, const juce::Array<int>& slots) override;
    void updateCounters();

    /** The unit shown; by default the active unit of the device manager. */
    struct Unit
    {
        std::shared_ptr<const DeviceData> data;
        int numPresets = 0;        // the product's slots, slot 0 included
        int productId = 0;
        bool known = false;        // caps exist for it
        juce::String name;
        juce::Image picture;
    };

    using UnitSource = std::function<Unit()>;
    void setUnitSource (UnitSource source)       { unitSource = std::move (source); }

    juce::Label& getTotalValue() noexcept        { return totalValue; }
    juce::Label& getUserLabel() noexcept         { return userLabel; }
    juce::Label& getUserValue() noexcept         { return userValue; }
    juce::Label& getSetupLabel() noexcept        { return setupLabel; }
    juce::Label& getSetupValue() noexcept        { return setupValue; }
    juce::ImageButton& getRestoreSetupButton() noexcept   { return restoreSetupButton; }
    juce::DrawableImage& getDeviceImage() noexcept        { return deviceImage; }

private:
    Unit currentUnit() const;

    juce::Label totalLabel { {}, "Total Presets: " }, totalValue { {}, "---" };
    juce::Label userLabel { {}, "User Presets: " }, userValue { {}, "---" };
    juce::Label setupLabel { {}, "Restore Setup: " }, setupValue { {}, "not available" };
    juce::ImageButton restoreSetupButton;
    juce::DrawableImage deviceImage;
    UnitSource unitSource;
};

/** A backup group's details: its icon and how many backups and sub-groups it holds. */
class GroupDetailsContainer : public PanelContainerBase,
                              private juce::ValueTree::Listener
{
public:
    GroupDetailsContainer();
    ~GroupDetailsContainer() override;

    void setItem (const juce::ValueTree& newItem) override;
    void clearItem() override;
    void refresh() override;
    void layoutContent (int width, int height) override;

    juce::Label& getItemsValue() noexcept        { return itemsValue; }
    juce::Label& getSubGroupsValue() noexcept    { return subGroupsValue; }
    juce::Drawable* getGroupIcon() const noexcept   { return groupIcon.get(); }

private:
    // Backups and groups moved in or out below the group (an undo, a drop) change its counts.
    void valueTreeChildAdded (juce::ValueTree&, juce::ValueTree&) override             { refresh(); }
    void valueTreeChildRemoved (juce::ValueTree&, juce::ValueTree&, int) override      { refresh(); }

    juce::Label itemsLabel { {}, "Items: " }, itemsValue { {}, "---" };
    juce::Label subGroupsLabel { {}, "Sub-Groups: " }, subGroupsValue { {}, "---" };
    std::unique_ptr<juce::Drawable> groupIcon;
};
