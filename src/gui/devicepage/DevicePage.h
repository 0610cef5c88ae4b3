#pragma once

#include "base/AppState.h"
#include "base/BelvoraChangeListener.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/devicepage/DeviceButtonPanel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class MidiDeviceStatusButton;

/** The "Devices" tab: under the device toolbar, a concertina of the units on
    the MIDI ports and the remembered units that are not connected now, one tile
    each. A left click on a usable unit's tile selects it and asks for
    "Connect selected device"; a right click on empty space offers the page's
    menu. The page follows the broadcast: its tiles go while a scan or a
    firmware update runs and come back when the device list is rebuilt.

    The page asks the device manager and the profiler only on the message
    thread; a tile holds its unit weakly, so no unit outlives the rescan that
    replaced it on the page's account. */
class DevicePage : public juce::Component,
                   public BelvoraChangeListener,
                   public juce::Button::Listener
{
public:
    /** The page menu's own item; the others are command items. */
    enum MenuItem { onlyShowMakersDevicesItem = 10 };

    DevicePage();
    ~DevicePage() override;

    /** One tile per device entry of the device manager, in its order. */
    void rebuildDeviceList();

    /** One tile per remembered unit that is not connected now, in list order. */
    void rebuildOfflineDeviceList();

    /** The device-manager index of the selected unit's tile; -1 when none is selected. */
    int getSelectedDeviceIndex() const;

    /** Enables the items that need a unit, and those that need the ports as scanned. */
    void updateToolbar (AppState appState);

    /** The right-click menu as it would open now; handleMenuResult does what its own item asks. */
    juce::PopupMenu createMenu() const;
    void handleMenuResult (int result);

    /** The device-manager index a tile stands for; -1 for a remembered unit's. */
    static int getDeviceIndex (const MidiDeviceStatusButton& tile);

    juce::Toolbar& getToolbar() noexcept                { return toolbar; }
    juce::ConcertinaPanel& getConcertina() noexcept     { return concertina; }
    DeviceButtonPanel& getDevicePanel() noexcept        { return devicePanel; }
    DeviceButtonPanel& getOfflinePanel() noexcept       { return offlinePanel; }

    void paint (juce::Graphics& g) override;
    void resized() override;
    void mouseDown (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void buttonClicked (juce::Button* button) override;
    void changeNotify (const ChangeInfo& info) override;

    void enablementChanged() override;

private:
    void giveTheFocusBack();
    void giveTheFocusBackLater();
    void updatePanelSizes();
    void invoke (int commandId);
    void toolbarItemClicked (int itemId);
    void tileClicked (MidiDeviceStatusButton& tile);
    int headerSize();

    juce::Toolbar toolbar;
    DeviceToolbarItemFactory factory;
    juce::ConcertinaPanel concertina;
    DeviceButtonPanel devicePanel { "MIDI Devices" };
    DeviceButtonPanel offlinePanel { "My Offline Marrowell Devices" };

    // The mouse press on a tile under way, and its buttons: a click connects
    // only when it came from a left press (or from the keys, with none).
    juce::Component::SafePointer<juce::Component> pressedTile;
    juce::ModifierKeys pressMods;
    std::unique_ptr<juce::MouseListener> childMouse;

    // The toolbar item (Scan, Update) that started a scan or an update from the keys' place:
    // it has them again once the page is usable. 0: none.
    int focusReturnsTo = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DevicePage)
};
