#include "gui/devicepage/DevicePage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceProfiler.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "gui/widgets/MidiDeviceStatusButton.h"

namespace
{
    const juce::Identifier deviceIndexProperty ("deviceIndex");
    const char* const onlyShowKey = "onlyShowMwdDevices";

    constexpr int presentRadioGroup = 100;
    constexpr int offlineRadioGroup = 101;

    AppState currentAppState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::idle;
    }

    bool onlyShowMakersDevices()
    {
        return Belvora::getUserSettings().getBoolValue (onlyShowKey, true);
    }

    bool isUnitActive()
    {
        auto* devices = Nexus::getDeviceManager();
        return devices != nullptr && devices->getActiveIndex() >= 0;
    }

    MidiDeviceStatusButton::Services tileServices()
    {
        auto* app = Belvora::getInstance();
        return { Nexus::getContentManager(), app != nullptr ? app->getNexus() : nullptr, {} };
    }

    /** Hands the page the events of all its children, but not its own a second time. */
    struct ChildMouseForwarder : juce::MouseListener
    {
        explicit ChildMouseForwarder (juce::Component& c) : page (c) {}

        void mouseDown (const juce::MouseEvent& e) override
        {
            if (e.eventComponent != &page)
                page.mouseDown (e);
        }

        void mouseUp (const juce::MouseEvent& e) override
        {
            if (e.eventComponent != &page)
                page.mouseUp (e);
        }

        juce::Component& page;
    };
}

//==============================================================================
DevicePage::DevicePage()
{
    setOpaque (true);

    toolbar.setStyle (juce::Toolbar::iconsWithText);
    toolbar.addDefaultItems (factory);

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() >= 1 && item->getItemId() <= 5)
            item->addListener (this);

    addAndMakeVisible (toolbar);

    concertina.addPanel (-1, &devicePanel, false);
    concertina.addPanel (-1, &offlinePanel, false);
    addAndMakeVisible (concertina);

    childMouse = std::make_unique<ChildMouseForwarder> (*this);
    addMouseListener (childMouse.get(), true);

    updateToolbar (currentAppState());
}

DevicePage::~DevicePage()
{
    removeMouseListener (childMouse.get());

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i))
            item->removeListener (this);

    devicePanel.clearButtons();
    offlinePanel.clearButtons();
    concertina.removePanel (&offlinePanel);
    concertina.removePanel (&devicePanel);
}

//==============================================================================
int DevicePage::getDeviceIndex (const MidiDeviceStatusButton& tile)
{
    return tile.getProperties().getWithDefault (deviceIndexProperty, -1);
}

void DevicePage::rebuildDeviceList()
{
    devicePanel.clearButtons();

    if (auto* devices = Nexus::getDeviceManager())
    {
        const auto services = tileServices();

        for (int i = 0; i < devices->getNumDevices(); ++i)
        {
            // The tile holds its unit weakly: a later rescan frees the unit, not the tile's reading of it.
            auto tile = std::make_unique<MidiDeviceStatusButton> (devices->getDevice (i), services);
            tile->getProperties().set (deviceIndexProperty, i);
            tile->addListener (this);
            tile->setRadioGroupId (presentRadioGroup);
            tile->setClickingTogglesState (true);
            devicePanel.addButton (std::move (tile));
        }
    }

    updatePanelSizes();
    resized();
}

void DevicePage::rebuildOfflineDeviceList()
{
    auto* profiler = Nexus::getDeviceProfiler();
    auto* content = Nexus::getContentManager();

    juce::Array<uint8_t> ids;
    juce::Array<FirmwareVersion> versions;
    juce::Array<int> serials;
    juce::Array<ManufactureDate> dates;
    juce::Array<juce::int64> detectionTimes;
    juce::StringArray names;

    // Remembered units that are on the ports now are shown as present ones only.
    if (profiler != nullptr)
        profiler->readDeviceList (ids, versions, serials, dates, detectionTimes, true, &names);

    offlinePanel.clearButtons();
    const auto services = tileServices();

    for (int i = 0; i < ids.size(); ++i)
    {
        MidiDeviceStatusButton::RememberedUnit unit;
        unit.productId = ids[i];
        unit.name = content != nullptr ? DeviceProfiler::getProductDisplayName (*content, ids[i], (uint32_t) serials[i]) : juce::String();
        unit.firmwareVersion = versions[i];
        unit.manufactureDate = dates[i];
        unit.serialNumber = serials[i];
        unit.updateAvailable = profiler->hasFirmwareUpdate (ids[i], serials[i]);

        if (unit.name.isEmpty())
            unit.name = names[i];

        auto tile = std::make_unique<MidiDeviceStatusButton> (unit, services);
        tile->getProperties().set (deviceIndexProperty, -1);
        tile->addListener (this);
        tile->setRadioGroupId (offlineRadioGroup);
        offlinePanel.addButton (std::move (tile));
    }

    updatePanelSizes();
    resized();
}

int DevicePage::getSelectedDeviceIndex() const
{
    for (int i = 0; i < devicePanel.getNumButtons(); ++i)
        if (auto* tile = devicePanel.getButton (i); tile->getToggleState())
            return getDeviceIndex (*tile);

    return -1;
}

void DevicePage::updateToolbar (AppState appState)
{
    const auto active = isUnitActive();

    for (int i = 0; i < toolbar.getNumItems(); ++i)
    {
        auto* item = toolbar.getItemComponent (i);

        if (item == nullptr)
            continue;

        switch (item->getItemId())
        {
            case DeviceToolbarItemFactory::disconnect:
                item->setEnabled (active);
                break;

            case DeviceToolbarItemFactory::update:
            case DeviceToolbarItemFactory::custom:
                item->setEnabled (active && appState != AppState::rescanNeeded);
                break;

            default:
                break;
        }
    }

    giveTheFocusBackLater();
}

//==============================================================================
int DevicePage::headerSize()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto scale = laf != nullptr ? laf->getScale() : BVLookAndFeel::Defaults::scale;
    return (int) (scale * 20.0f);
}

void DevicePage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    g.setColour (Palette::outlineColour);
    g.fillRect (0, toolbar.getHeight(), getWidth(), 1);
}

void DevicePage::resized()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto thickness = laf != nullptr ? (int) laf->getToolbarThickness() : BVLookAndFeel::Defaults::toolbarThickness;

    // The offline panel keeps the height the user dragged it to, as long as its tiles fill it.
    const auto oldHeight = offlinePanel.getHeight();
    const auto header = headerSize();
    concertina.setPanelHeaderSize (&devicePanel, header);
    concertina.setPanelHeaderSize (&offlinePanel, header);

    auto area = getLocalBounds();
    toolbar.setBounds (area.removeFromTop (thickness));
    area.removeFromTop (1);
    concertina.setBounds (area);

    const auto contentHeight = offlinePanel.getContainer().getHeight();
    concertina.setMaximumPanelSize (&offlinePanel, contentHeight);
    const auto newHeight = offlinePanel.getHeight();

    if ((oldHeight > 0 || newHeight > 0) && oldHeight != newHeight && oldHeight <= contentHeight)
        concertina.setPanelSize (&offlinePanel, oldHeight, false);
}

void DevicePage::updatePanelSizes()
{
    const auto offlineHeight = offlinePanel.getContainer().getHeight();
    concertina.setMaximumPanelSize (&offlinePanel, offlineHeight);
    concertina.setPanelSize (&devicePanel, concertina.getHeight(), false);

    if (offlineHeight + 2 * headerSize() + devicePanel.getContainer().getHeight() < concertina.getHeight())
        concertina.setPanelSize (&offlinePanel, offlineHeight, false);
}

//==============================================================================
juce::PopupMenu DevicePage::createMenu() const
{
    auto* commands = MainAppWindow::getApplicationCommandManager();
    juce::PopupMenu menu;
    menu.addCommandItem (commands, CommandIDs::scanForDevices, "Refresh MIDI Devices");
    menu.addCommandItem (commands, CommandIDs::showMidiDevices, "Show MIDI Device Information");

    auto* devices = Nexus::getDeviceManager();
    const auto activeName = devices != nullptr ? devices->getActiveDeviceDisplayName() : juce::String();

    if (activeName.isNotEmpty())
    {
        menu.addSeparator();
        menu.addCommandItem (commands, CommandIDs::disconnectDevice, "Disconnect " + activeName);
    }

    menu.addSeparator();
    menu.addItem (onlyShowMakersDevicesItem, "Only Show Marrowell Devices", true, onlyShowMakersDevices());
    return menu;
}

void DevicePage::handleMenuResult (int result)
{
    if (result != onlyShowMakersDevicesItem)
        return;

    const auto onlyKnown = ! onlyShowMakersDevices();
    Belvora::getUserSettings().setValue (onlyShowKey, onlyKnown);
    devicePanel.filterButtons (onlyKnown);
}

void DevicePage::mouseDown (const juce::MouseEvent& e)
{
    if (auto* tile = dynamic_cast<MidiDeviceStatusButton*> (e.eventComponent))
    {
        // The tile has its own menu; its press is remembered for the click that may follow.
        pressedTile = tile;
        pressMods = e.mods;
    }
}

// The menu opens on the release: opened on the press, under the pointer, the
// release of that same press could choose its first item.
void DevicePage::mouseUp (const juce::MouseEvent& e)
{
    // Heard after the tile's own release, which reported its click if it made one.
    if (dynamic_cast<MidiDeviceStatusButton*> (e.eventComponent) != nullptr)
    {
        pressedTile = nullptr;
        return;
    }

    if (! isEnabled() || currentAppState() != AppState::idle || ! e.mods.isRightButtonDown())
        return;

    // The page may be rebuilt or gone by the time the menu closes.
    createMenu().showMenuAsync (juce::PopupMenu::Options().withMousePosition(),
                                [safe = juce::Component::SafePointer<DevicePage> (this)] (int result)
                                {
                                    if (safe != nullptr)
                                        safe->handleMenuResult (result);
                                });
}

//==============================================================================
void DevicePage::buttonClicked (juce::Button* button)
{
    focusReturnsTo = 0;

    if (auto* item = dynamic_cast<juce::ToolbarItemComponent*> (button))
    {
        const auto id = item->getItemId();

        if ((id == DeviceToolbarItemFactory::scan || id == DeviceToolbarItemFactory::update) && item->hasKeyboardFocus (false))
            focusReturnsTo = id;

        toolbarItemClicked (id);
    }
    else if (auto* tile = dynamic_cast<MidiDeviceStatusButton*> (button))
    {
        tileClicked (*tile);
    }
}

// The page greys out while a scan runs, and again while the unit it connects is read; an
// update greys it out, and its windows and boxes take the keys. Each time the focus leaves
// the item for the window. Once the page and the item are usable again, the item has the
// keys back, unless the user took them elsewhere meanwhile.
void DevicePage::enablementChanged()
{
    giveTheFocusBackLater();
}

void DevicePage::giveTheFocusBackLater()
{
    if (isEnabled() && focusReturnsTo != 0)
        juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<DevicePage> (this)]
                                         {
                                             if (safe != nullptr)
                                                 safe->giveTheFocusBack();
                                         });
}

void DevicePage::giveTheFocusBack()
{
    juce::ToolbarItemComponent* item = nullptr;

    for (int i = 0; i < toolbar.getNumItems() && item == nullptr; ++i)
        if (auto* c = toolbar.getItemComponent (i); c != nullptr && c->getItemId() == focusReturnsTo)
            item = c;

    auto* focused = juce::Component::getCurrentlyFocusedComponent();
    auto* peer = getPeer();

    if (item == nullptr || focused == item || ! isEnabled() || peer == nullptr || ! peer->isFocused())
        return;

    if (focused != nullptr && focused != getTopLevelComponent())
    {
        focusReturnsTo = 0;
        return;
    }

    if (item->isShowing() && item->isEnabled() && ! item->isCurrentlyBlockedByAnotherModalComponent())
        item->grabKeyboardFocus();
}

void DevicePage::toolbarItemClicked (int itemId)
{
    switch (itemId)
    {
        case DeviceToolbarItemFactory::scan:        invoke (CommandIDs::scanForDevices); break;
        case DeviceToolbarItemFactory::disconnect:  invoke (CommandIDs::disconnectDevice); break;
        case DeviceToolbarItemFactory::info:        invoke (CommandIDs::showMidiDevices); break;

        case DeviceToolbarItemFactory::update:
        {
            auto* devices = Nexus::getDeviceManager();

            if (devices == nullptr || devices->getActiveIndex() < 0)
                break;

            auto* content = Nexus::getContentManager();
            const auto newer = content != nullptr
                            && content->isFirmwareUpdateAvailable (devices->getDeviceProductId (-1), devices->getDeviceVersion (-1).build);
            invoke (newer ? CommandIDs::updateFirmware : CommandIDs::showFirmwareBuilds);
            break;
        }

        // The firmware builds with the custom file's choice, as its tooltip says.
        case DeviceToolbarItemFactory::custom:      invoke (CommandIDs::showFirmwareBuilds); break;

        default:
            break;
    }
}

void DevicePage::tileClicked (MidiDeviceStatusButton& tile)
{
    // The radio group turning the others off reports them as clicked too. A
    // click while no press is under way came from the keys (Space or Return on
    // the focused tile) and turned its own tile on.
    const auto byMouse = pressedTile != nullptr;

    if (byMouse ? pressedTile.getComponent() != &tile : ! tile.getToggleState())
        return;

    pressedTile = nullptr;

    // By the time a click is reported the left button counts as released: the
    // press tells which button made it.
    const auto leftClick = ! byMouse
                        || (pressMods.isLeftButtonDown() && ! pressMods.isRightButtonDown()
                            && ! juce::ModifierKeys::getCurrentModifiers().isRightButtonDown());
    const auto index = getDeviceIndex (tile);
    auto* devices = Nexus::getDeviceManager();

    if (index >= 0 && devices != nullptr && devices->isDeviceUsable (index) && leftClick)
    {
        tile.setToggleState (true, juce::dontSendNotification);
        invoke (CommandIDs::connectSelectedDevice);
        return;
    }

    // The click toggled the tile on and the others off: once the radio group is
    // done, the tiles show again which unit has its ports open.
    if (index >= 0)
        juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<DevicePage> (this)]
                                         {
                                             if (safe != nullptr)
                                                 safe->devicePanel.refreshButtons();
                                         });
}

void DevicePage::invoke (int commandId)
{
    juce::ApplicationCommandTarget::InvocationInfo info (commandId);
    info.invocationMethod = juce::ApplicationCommandTarget::InvocationInfo::direct;
    MainAppWindow::getApplicationCommandManager()->invoke (info, true);
}

//==============================================================================
void DevicePage::changeNotify (const ChangeInfo& info)
{
    if (info.kind == ChangeInfo::appStateChanged)
    {
        const auto oldState = static_cast<AppState> (info.oldAppState);

        switch (static_cast<AppState> (info.newAppState))
        {
            case AppState::idle:
                if (oldState == AppState::starting || oldState == AppState::scanning)
                {
                    rebuildOfflineDeviceList();
                }
                else if (oldState == AppState::firmwareUpdate)
                {
                    rebuildOfflineDeviceList();
                    rebuildDeviceList();
                }

                updateToolbar (AppState::idle);
                setEnabled (true);
                break;

            case AppState::scanning:
                devicePanel.clearButtons();
                offlinePanel.clearButtons();
                setEnabled (false);
                break;

            case AppState::rescanNeeded:
                updateToolbar (AppState::rescanNeeded);
                devicePanel.refreshButtons();
                break;

            case AppState::firmwareUpdate:
                devicePanel.clearButtons();
                setEnabled (false);
                break;

            case AppState::starting:
                break;
        }

        return;
    }

    if (info.kind != ChangeInfo::notification)
        return;

    const auto& m = info.message;

    switch (m.code)
    {
        case DeviceInfoMessage::connectedDeviceChanged:
            updateToolbar (currentAppState());
            break;

        case DeviceInfoMessage::forgetKnownDevice:
            if (auto* profiler = Nexus::getDeviceProfiler())
            {
                const auto productId = m.value1 & 0xff;
                const auto changed = productId == 0xff && m.value2 == -1 ? profiler->removeDisconnectedDevices()
                                                                          : profiler->removeDevice (productId, m.value2);
                if (changed)
                    rebuildOfflineDeviceList();
            }
            break;

        case DeviceInfoMessage::optionsChanged:
            devicePanel.filterButtons (onlyShowMakersDevices());
            break;

        case DeviceInfoMessage::devicesMade:
        {
            const auto state = currentAppState();

            if (state == AppState::idle || state == AppState::scanning)
                rebuildDeviceList();

            if (state != AppState::idle)
                setEnabled (false);
            break;
        }

        case DeviceInfoMessage::scanFinished:
            devicePanel.filterButtons (onlyShowMakersDevices());
            devicePanel.sortKnownFirst();
            devicePanel.relayout();
            break;

        case DeviceInfoMessage::downloadStarted:
        case DeviceInfoMessage::downloadStatus:   // the pictures may have come before it
        case DeviceInfoMessage::downloadFinished:
        case DeviceInfoMessage::downloadFailed:
            devicePanel.refreshButtons();
            break;

        default:
            break;
    }
}
