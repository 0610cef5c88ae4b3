#pragma once

#include "devices/DeviceCaps.h"
#include "gui/datapage/DataSetDragSnapShot.h"
#include "gui/datapage/GridMenus.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/PresetGridKeys.h"
#include "gui/widgets/PresetButton.h"
#include "model/DeviceData.h"

#include <memory>

class DataPageEdits;

/** The preset grid of the data page: one button per slot of the product in
    the cell or the icon view, the selection of slots, the right-click menu and
    keys, a private clipboard, and presets dragged out and dropped in. Every
    change of data goes through the page's undoable edits. */
class PresetButtonContainer : public PanelContainerBase,
                              public juce::LassoSource<PresetButton*>,
                              public juce::Button::Listener,
                              public juce::Slider::Listener,
                              public juce::DragAndDropTarget,
                              public juce::ChangeBroadcaster
{
public:
    PresetButtonContainer (DataPageEdits& owner, juce::Viewport* viewport);
    ~PresetButtonContainer() override;

    /** A copy of the product's capabilities; the clipboard goes when it holds another product's or format's presets. */
    void setCaps (const DeviceCaps& newCaps);
    const DeviceCaps& getCaps() const noexcept                  { return caps; }

    void setItem (const juce::ValueTree& newItem) override;
    void clearItem() override;
    bool isBuiltFromCurrentData() const override    { return dataHandle.get() == getWorkingData(); }
    void layoutContent (int width, int height) override;

    void rebuildButtons();
    void setSelectedPresets (const juce::Array<int>& slots);
    const juce::Array<int>& getSelectedPresets() const noexcept { return selectedSlots; }
    void selectPresets (bool userOnly);

    /** The slot the keys act on, ringed while the workspace has the keyboard focus: moved by the
        arrows, Home, End and the page keys, and by a click; 0 until the user placed it. */
    int getFocusedSlot() const noexcept                         { return keys.getFocusedSlot(); }

    /** Moves the focused slot there (brought into view when asked); nothing for a slot without a shown button. */
    void setFocusedSlot (int slot, bool bringIntoView = true)   { keys.setFocusedSlot (slot, bringIntoView); }

    /** The user's presets of the data: used slots whose preset is not the factory's or was edited. */
    static juce::Array<int> getUserPresetSlots (const DeviceData& data);
    bool deleteSelectedPresets();

    void setIconView (int mode);
    int getViewMode() const noexcept                            { return viewMode; }

    /** A grid command (100 .. 119); e is the click that opened the menu, null from the toolbar. */
    void performMenuCommand (int id, const juce::MouseEvent* e);

    /** The right-click menu as it would be shown now; without a slot to paste at, Insert and Paste are off. */
    juce::PopupMenu createMenu (bool hasPasteSlot = true);

    //==============================================================================
    bool copySelected();
    bool cutSelected();
    bool insertClipboardAt (int slot);
    bool pasteClipboardTo (juce::Array<int> slots);
    const DeviceData* getClipboard() const noexcept             { return clipboard.get(); }
    void clearClipboard()                                       { clipboard.reset(); }

    /** Consecutive slots from `first` (1 when it is no slot), one per clipboard preset, never past the last slot. */
    juce::Array<int> getPasteSlotsFrom (int first) const;

    //==============================================================================
    void setCellScale (double scale, bool relayout);
    void setIconScale (double scale, bool relayout);
    void setButtonScale (double scale);
    void zoomButtons (double factor);
    double getCellScale() const noexcept                        { return cellScale; }
    double getIconScale() const noexcept                        { return iconScale; }
    juce::Point<int> getButtonSize() const;

    void refreshButtons();
    bool updateButton (int slot);

    int getNumButtons() const noexcept                          { return buttons.size(); }
    PresetButton* getButton (int slot) const noexcept           { return buttons[slot]; }
    const juce::OwnedArray<PresetButton>& getButtons() const noexcept   { return buttons; }

    /** The visible preset button at a point of the grid; null when none. */
    PresetButton* getButtonAt (juce::Point<int> position) const;

    bool isShowingActiveDevice() const noexcept                 { return showsActiveDevice; }
    bool isShowingEmptySlots() const noexcept                   { return showEmptySlots; }

    /** The drag's image for these selected buttons, grabbed by `grabbed`. */
    juce::Image createDragImage (PresetButton& grabbed);
    const DataSetDragSnapShot& getDragSource() const noexcept   { return dragSource; }

    //==============================================================================
    void presetDataChanged (const juce::ValueTree& source, const juce::Array<int>& slots) override;
    bool keyPressed (const juce::KeyPress& key) override                        { return keys.keyPressed (key); }
    bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override   { return keys.keyPressed (key, origin); }
    void buttonClicked (juce::Button* button) override;
    void sliderValueChanged (juce::Slider* slider) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseDoubleClick (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;

    void findLassoItemsInArea (juce::Array<PresetButton*>& results, const juce::Rectangle<int>& area) override;
    juce::SelectedItemSet<PresetButton*>& getLassoSelection() override     { return lassoSelection; }

    bool isInterestedInDragSource (const SourceDetails& details) override;
    void itemDropped (const SourceDetails& details) override;
    void itemDragEnter (const SourceDetails&) override {}
    void itemDragMove (const SourceDetails&) override {}
    void itemDragExit (const SourceDetails&) override {}

    /** The drop as the grid acts on it: the menu's choice for a drop of `sourceSlots` of `sourceNode`
        at a point of the grid (`details` of itemDropped, split out for the tree and the tests). */
    void dropPresets (const juce::ValueTree& sourceNode, const juce::Array<int>& sourceSlots, juce::Point<int> position);

private:
    class SizeSlider;
    friend class PresetGridKeys;

    void showMenu (const juce::MouseEvent& e);
    void showMenu (int slot, const juce::PopupMenu::Options& where);
    bool deleteSlots (juce::Array<int> slots);
    bool isCutStillTheLastEdit() const;
    void selectOnly (PresetButton* button);
    void storeSelection();
    void restoreSelection();
    void dropVanishedFromSelection();
    void updateForItem();
    void layoutCells (int width, int height);
    void layoutIcons (int width, int height);
    void relayout();
    void applyScale (double& stored, double scale, const char* key, juce::Point<int> designSize,
                     int& width, int& height, bool relayoutNow);
    void startDrag (const juce::MouseEvent& e, PresetButton& grabbed);
    void performDrop (int choice, const juce::ValueTree& sourceNode, juce::Array<int> sourceSlots,
                      const juce::Array<int>& destination, PresetButton* target);
    int slotOfEvent (const juce::MouseEvent* e) const;
    float baseFontHeight();
    bool isReadOnly() const;
    bool canEdit() const;
    bool canPaste() const;
    const DeviceData* shownUnitData() const;

    DataPageEdits& owner;
    juce::Viewport* viewport;
    DeviceCaps caps;
    std::shared_ptr<const DeviceData> dataHandle;   // the working copy, for the buttons; the item keeps it alive
    juce::OwnedArray<PresetButton> buttons;
    double cellScale = 1.0, iconScale = 1.0;
    DataSetDragSnapShot dragSource;
    juce::LassoComponent<PresetButton*> lasso;
    juce::SelectedItemSet<PresetButton*> lassoSelection;
    bool showEmptySlots = true;
    int viewMode = 0;
    int cellWidth = 125, cellHeight = 25, iconWidth = 152, iconHeight = 95;
    bool showsActiveDevice = false;
    juce::Array<int> selectedSlots;
    bool pendingSelectOnly = false;
    std::unique_ptr<DeviceData> clipboard;
    PresetGridKeys keys { *this, viewport };

    // The cut whose presets the clipboard holds, until they are pasted: that paste joins
    // its undo step, so that a cut and a paste undo as the one move they are.
    const juce::UndoableAction* cutAction = nullptr;
    juce::ValueTree cutItem;
    juce::Array<int> cutSlots;

    JUCE_DECLARE_WEAK_REFERENCEABLE (PresetButtonContainer)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetButtonContainer)
};
