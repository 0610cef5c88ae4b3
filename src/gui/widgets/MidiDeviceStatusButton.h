#pragma once

#include "base/AppState.h"
#include "model/FirmwareVersion.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>
#include <memory>

class ContentManager;
class DeviceObject;

/** The device page's tile for one unit: product picture, name and a state icon
    on a card. A present tile follows the unit it was made for by itself: it
    listens to that unit and holds it weakly, so a unit that a rescan replaced
    or freed leaves the tile showing no unit, never another one. An offline
    tile shows a unit the known-device list remembers and never changes.

    Right-click offers the unit's information, the product manual and, offline,
    forgetting the unit; a double-click on a connected unit asks for the
    presets page. */
class MidiDeviceStatusButton : public juce::Button,
                               public juce::ChangeListener,
                               private juce::Timer
{
public:
    /** What the tile reads and tells beyond its unit. */
    struct Services
    {
        const ContentManager* content = nullptr;          // pictures, names, updates, manuals
        juce::MessageListener* hub = nullptr;             // gets the tile's notifications
        std::function<void (const juce::URL&)> openUrl;   // the default browser when empty
    };

    /** A unit of the known-device list. */
    struct RememberedUnit
    {
        int productId = 255;
        juce::String name;
        FirmwareVersion firmwareVersion;
        ManufactureDate manufactureDate;
        int serialNumber = 0;
        bool updateAvailable = false;
    };

    enum class StateIcon { connected, idle, unavailable, error, busy, question, connectionLost };

    enum MenuItem { showDeviceInfo = 1, showProductManual = 2, forgetDevice = 3 };

    /** A tile for a present unit (the device manager's getDevice); a null unit shows no unit. */
    MidiDeviceStatusButton (std::shared_ptr<DeviceObject> unit, Services services);

    /** A tile for a remembered unit that is not connected. */
    MidiDeviceStatusButton (const RememberedUnit& remembered, Services services);

    ~MidiDeviceStatusButton() override;

    /** Offline tiles always; present ones once the unit named or identified its product. */
    bool isKnownProduct() const;

    /** Reads the unit again and redraws. */
    void updateFromDevice();

    /** The icon a state calls for; the first rule that applies wins. */
    static StateIcon chooseStateIcon (uint32_t flags, bool offline, bool contentPending, AppState appState);

    /** The context menu as it would open now; handleMenuResult does what an item asks. */
    juce::PopupMenu createMenu() const;
    void handleMenuResult (int itemId);
    void showMenu();

    bool isOffline() const noexcept                     { return offline; }
    uint32_t getDeviceFlags() const noexcept            { return deviceFlags; }
    const juce::String& getDeviceName() const noexcept  { return deviceName; }
    int getProductId() const noexcept                   { return productId; }
    int getSerialNumber() const noexcept                { return serialNumber; }
    bool isUpdateAvailable() const noexcept             { return updateAvailable; }
    StateIcon getStateIcon() const noexcept             { return stateIconKind; }
    float getScale() const noexcept                     { return scale; }

    /** Layout, for the page and the tests. */
    juce::Rectangle<float> getFaceRect() const noexcept    { return faceRect; }
    juce::Rectangle<float> getIconFrame() const noexcept   { return iconFrame; }
    juce::Rectangle<float> getBadgeRect() const noexcept   { return badgeRect; }
    juce::Rectangle<int> getPictureBounds() const          { return { imageX, imageY, productImage.getWidth(), productImage.getHeight() }; }

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseDoubleClick (const juce::MouseEvent& e) override;
    /** Shift+F10 or the Menu key opens the tile's menu, beside it. */
    bool keyPressed (const juce::KeyPress& key) override;
    void resized() override;
    void paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;

protected:
    /** What the tile reads of its unit: everything empty once the unit is gone. */
    struct UnitState
    {
        juce::String name;   // the unit's port name
        uint32_t flags = 0;
        int productId = 0;
        int serial = 0;
        FirmwareVersion version;
        ManufactureDate date;
    };

    virtual UnitState readUnit() const;

    /** The product's picture as the catalogue has it (none without a catalogue). */
    virtual juce::Image getProductPicture() const;

private:
    MidiDeviceStatusButton (Services services, bool isOffline);

    void timerCallback() override;
    void loadImages();
    void updateImages();
    juce::Image choosePicture() const;
    void post (int code, int value1, int value2);

    const Services services;
    const bool offline;
    std::weak_ptr<DeviceObject> unit;   // the one it listens to; never looked up again by position

    FirmwareVersion firmwareVersion;
    ManufactureDate manufactureDate;
    int serialNumber = 0;
    int productId = 255;
    juce::String deviceName;
    juce::Font nameFont;
    uint32_t deviceFlags = 0;
    bool updateAvailable = false;
    bool contentPending = false;

    std::array<juce::Image, 7> stateIcons;
    std::unique_ptr<juce::Drawable> updateBadge;
    juce::Image genericPicture, productImage, stateIcon;
    StateIcon stateIconKind = StateIcon::connected;

    juce::Rectangle<float> shadowRect, bodyRect, faceRect, iconFrame, badgeRect;
    int imageX = 0, imageY = 0;
    float scale = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiDeviceStatusButton)
};
