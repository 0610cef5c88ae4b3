#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class MidiDeviceStatusButton;

/** A scrolling panel of device tiles that flow left to right and wrap into
    rows. It can hide the tiles of units that are not the maker's products and
    bring the known ones to the front. Its component name is its title. */
class DeviceButtonPanel : public juce::Component
{
public:
    /** The tiles, laid out in their order. */
    class DeviceButtonContainer : public juce::Component
    {
    public:
        DeviceButtonContainer (int hGap, int vGap);
        ~DeviceButtonContainer() override;

        /** Places the visible tiles in rows no wider than availableWidth and sizes itself around them. */
        void layoutButtons (int availableWidth);

        juce::OwnedArray<MidiDeviceStatusButton> buttons;
        const int hGap, vGap;   // design sizes, scaled with the look-and-feel

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceButtonContainer)
    };

    explicit DeviceButtonPanel (const juce::String& name);
    ~DeviceButtonPanel() override;

    void resized() override;

    /** Takes the tile; a known product's goes after the known ones before it and
        ahead of all others, any other last. */
    void addButton (std::unique_ptr<MidiDeviceStatusButton> button);
    void clearButtons();

    /** Shows every tile, or only the known products' ones. */
    void filterButtons (bool onlyKnown);

    /** Each tile reads its unit again. */
    void refreshButtons();

    /** Known products before the others, each group in its order. Does not lay out. */
    void sortKnownFirst();

    /** Lays the tiles out in the width the viewport shows, once more if a scrollbar came or went. */
    void relayout();

    int getNumButtons() const noexcept                          { return container->buttons.size(); }
    MidiDeviceStatusButton* getButton (int index) const noexcept { return container->buttons[index]; }
    DeviceButtonContainer& getContainer() const noexcept         { return *container; }
    juce::Viewport& getViewport() noexcept                       { return viewport; }

private:
    juce::Viewport viewport;
    DeviceButtonContainer* container;   // the viewport owns it

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceButtonPanel)
};
