#pragma once

#include "app/BelvoraChangeListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MidiDeviceStatusButton;

/** The "Devices" tab: one tile per unit the device manager found. A click on a
    usable unit's tile selects it and asks for "Connect selected device". The
    tiles follow the broadcast: emptied while a scan or a firmware update
    runs, rebuilt when the device list is. */
class DevicePage : public juce::Component,
                   public BelvoraChangeListener,
                   public juce::Button::Listener
{
public:
    DevicePage();
    ~DevicePage() override;

    /** The device-manager index of the selected tile's unit; -1 when none is selected. */
    int getSelectedDeviceIndex() const;

    /** One tile per device entry of the device manager, in its order. */
    void rebuildDeviceList();

    int getNumTiles() const noexcept                       { return tiles.size(); }
    MidiDeviceStatusButton* getTile (int index) const      { return tiles[index]; }

    void changeNotify (const ChangeInfo& info) override;
    void buttonClicked (juce::Button* button) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    void clearTiles();
    void filterTiles();
    void refreshTiles();

    juce::OwnedArray<MidiDeviceStatusButton> tiles;
    juce::Array<int> tileIndices;   // the device-manager index of each tile

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DevicePage)
};
