#pragma once

#include "gui/widgets/PresetButtonHelper.h"

#include <memory>

class DeviceData;

/** One slot of the preset grid: number, name and step count in the cell view
    or the icon view. The grid owns the buttons (one per slot, a hidden button
    0 included), sets each one's slot, data, text and flags, and reads the
    toggle state as the selection. */
class PresetButton : public juce::ImageButton
{
public:
    enum ViewMode { cellView = 0, iconView = 1 };

    explicit PresetButton (int slotNumber);
    ~PresetButton() override;

    virtual int getSlotNumber() const                { return slotNumber; }
    virtual void setSlotNumber (int slot)            { slotNumber = slot; }
    virtual bool isUnselectable() const              { return unselectable; }

    /** The data that holds the slot (held weakly: data that goes away draws as no data)
        and whether the highlight look applies to it. */
    virtual void setPresetData (std::weak_ptr<const DeviceData> data, bool flag);
    virtual void setUnselectable (bool shouldBeUnselectable)   { unselectable = shouldBeUnselectable; }
    virtual void setHighlighted (bool shouldBeHighlighted)     { highlighted = shouldBeHighlighted; }

    bool isHighlighted() const noexcept              { return highlighted; }

    /** The ring of the slot the keys act on, drawn while the grid has the keyboard focus. */
    void setFocusRing (bool shouldShow);
    bool hasFocusRing() const noexcept               { return focusRing; }
    int getViewMode() const noexcept                 { return viewMode; }

    /** The background this button draws now (one of PresetButtonHelper::Image). */
    int chooseImage() const;

    /** The preset's step count; 0 without data or for an empty slot. */
    int getNumSteps() const;

    /** The painters the grid sizes for its buttons. */
    CellButtonHelper& getCellPainter() const noexcept   { return *cellHelper; }
    IconButtonHelper& getIconPainter() const noexcept   { return *iconHelper; }

    /** Icon-view geometry, from the last layout. */
    juce::Point<int> getIconPosition() const noexcept          { return iconPosition; }
    juce::Rectangle<float> getNameBox() const noexcept         { return nameBox; }
    juce::Rectangle<float> getNumberBox() const noexcept       { return numberBox; }
    juce::Font getFont() const                                 { return font; }

    /** Sets the view of every button and repaints them. */
    static void setAllViewModes (const juce::OwnedArray<PresetButton>& buttons, int mode);

    /** The button a drop or lasso at that point means: the last one beyond the end of
        the grid, else the visible button (never button 0) whose centre is nearest. */
    static PresetButton* findNearest (const juce::OwnedArray<PresetButton>& buttons, juce::Point<int> point);

    void paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;
    void resized() override;

private:
    void paintCell (juce::Graphics& g);
    void paintIcon (juce::Graphics& g, bool isMouseOver, bool isButtonDown);
    void layoutIconView();
    void paintFocusRing (juce::Graphics& g);

    const std::shared_ptr<CellButtonHelper> cellHelper;
    const std::shared_ptr<IconButtonHelper> iconHelper;
    std::weak_ptr<const DeviceData> deviceData;
    bool dataFlag = false;
    bool unselectable = true;
    bool highlighted = false;
    bool focusRing = false;
    int slotNumber;
    int viewMode = cellView;
    juce::Font font;

    juce::Rectangle<float> shadowBox, bodyBox, faceBox, nameBox, numberBox;
    juce::Point<int> iconPosition;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PresetButton)
};
