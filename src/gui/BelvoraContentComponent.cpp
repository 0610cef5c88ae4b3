#include "gui/BelvoraContentComponent.h"

#include "app/Belvora.h"
#include "base/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "tracking/EventTracker.h"
#include "tracking/EventUpdate.h"
#include "firmware/FirmwareUpdateThread.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "gui/CommandDialogs.h"
#include "gui/CommandIDs.h"
#include "gui/ContentComponentSupport.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "gui/StatusBar.h"
#include "gui/datapage/DataPage.h"
#include "gui/devicepage/DevicePage.h"
#include "gui/dialogs/AboutBox.h"
#include "gui/dialogs/FirmwareChooserDialog.h"
#include "gui/dialogs/MidiDevicesDialog.h"
#include "gui/dialogs/OptionsDialog.h"
#include "gui/dialogs/UpdateProgressWindow.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/widgets/NavigationKeys.h"
#include "model/DataSet.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

using namespace ContentComponentSupport;

namespace
{
    bool isFindKey (const juce::KeyPress& key)   { return key == juce::KeyPress ('f', juce::ModifierKeys::ctrlModifier, 0); }

    enum class Enabled { always, unitActive, idleOrFirmware, idleOrLostWithUnit };

    struct CommandEntry
    {
        int id;
        const char* shortName;
        const char* description;
        const char* category;
        Enabled enabled;
    };

    // In the order getAllCommands lists them.
    const CommandEntry commandTable[] =
    {
        { CommandIDs::showToolsMenu, "Show Tools", "Access application functions", "Tools", Enabled::always },
        { CommandIDs::showHelpMenu, "Help", "Show help menu", "Help", Enabled::always },
        { CommandIDs::signIn, "Sign In", "Sign in to your account", "Account", Enabled::always },
        { CommandIDs::showDeveloperMenu, "Developer", "Show developer menu", "Developer", Enabled::always },
        { CommandIDs::showOptions, "Options...", "Show user options", "Tools", Enabled::always },
        { CommandIDs::showFirmwareUpdates, "Firmware Updates...", "Show available firmware updates", "Tools", Enabled::unitActive },
        { CommandIDs::showFirmwareBuilds, "Firmware Updates...", "Show available firmware updates", "Tools", Enabled::unitActive },
        { CommandIDs::openManual, "Read the Manual", "Show the Belvora manual", "Help", Enabled::always },
        { CommandIDs::openOnlineManual, "Read the Manual", "Show the Belvora manual", "Help", Enabled::always },
        { CommandIDs::openHelpPage, "Belvora Help", "Visit Belvora @ Marrowell, launched in an external browser", "Help", Enabled::always },
        { CommandIDs::openRegistrationPage, "Register Your Product", "Go to the online registration page", "Help", Enabled::always },
        { CommandIDs::openSupportPage, "Marrowell Support", "Visit Marrowells's product support site, launched in an external browser", "Help", Enabled::always },
        { CommandIDs::showAbout, "About Belvora", "Show information about Belvora", "Help", Enabled::always },
        { CommandIDs::showMidiDevicesHelp, "Show MIDI Devices...", "Show all known MIDI devices", "Manage", Enabled::always },
        { CommandIDs::scanForDevices, "Scan for Devices", "Search for Marrowell products that Belvora can manage", "Manage", Enabled::always },
        { CommandIDs::connectSelectedDevice, "Connect selected device", "Connecting to the device will allow you to manage the product", "Manage", Enabled::idleOrFirmware },
        { CommandIDs::disconnectDevice, "Disconnect", "Belvora will close and relinquish control over the device", "Manage", Enabled::idleOrLostWithUnit },
        { CommandIDs::showMidiDevices, "Show MIDI Devices...", "Show all known MIDI devices", "Manage", Enabled::always },
        { CommandIDs::updateFirmware, "Update firmware", "Start firmware update process", "Manage", Enabled::unitActive },
        { CommandIDs::updateFirmwareNow, "Update firmware", "Start firmware update process", "Manage", Enabled::unitActive },
        { CommandIDs::downloadDeviceData, "Download Device Data", "Synchronize with preset and setup data", "Internal", Enabled::unitActive },
        { CommandIDs::applyChanges, "Apply Changes", "Send cached data to attached device", "Internal", Enabled::unitActive },
        { CommandIDs::restoreSetup, "Restore Setup", "Send the setup (configuration) data to your device", "Internal", Enabled::unitActive },
        { CommandIDs::sendDirectToDevice, "Send Direct To Device", "Send files to import directly to device", "Internal", Enabled::unitActive },
        { CommandIDs::restoreToDevice, "Restore To Device", "Restore data image to device", "Internal", Enabled::unitActive },
        { CommandIDs::useCustomDeviceProfile, "Use Custom Device Profile...", "Don't download device information from web, use a custom version", "Developer", Enabled::always },
        { CommandIDs::generatePresetChecksums, "Generate Preset MD5 Checksums...", "Create a 'factory bank' MD5 checksum profile for the current product", "Developer", Enabled::unitActive },
        { CommandIDs::firmwareUploadStressTest, "Firmware Upload Stress Test", "Starts a stress test that will continually upload firmware to the active device", "Developer", Enabled::unitActive },
    };

    const CommandEntry* findCommand (int id)
    {
        for (auto& entry : commandTable)
            if (entry.id == id)
                return &entry;

        return nullptr;
    }

    enum MenuIndex { accountMenu = 0, toolsMenu = 1, helpMenu = 2, developerMenu = 3 };

    /** A snapshot of data for a write command: the device layer reads it on its
        own thread while the page goes on editing its copy. */
    std::shared_ptr<const DeviceData> snapshotOf (const DeviceData& data)
    {
        return std::shared_ptr<const DeviceData> (data.clone (false));
    }

    void fillDefaults (BelvoraContentComponent::Openers& o)
    {
        using Self = BelvoraContentComponent;

        if (o.options == nullptr)
            o.options = [] (juce::Component* parent)
            {
                OptionsDialog dialog (parent);
                const auto result = dialog.runModal();
                return Self::OptionsOutcome { result, dialog.isHistoryCleared(), dialog.wasRestoreDefaultsPressed(), dialog.isScaleChanged() };
            };

        if (o.firmwareChooser == nullptr)
            o.firmwareChooser = [] (juce::Component* parent, int productId, bool showCustom)
            {
                FirmwareChooserDialog dialog (parent, (uint8_t) productId, showCustom);
                dialog.runModal();
                return Self::FirmwareChoice { dialog.isStartRequested(), dialog.getSelectedUpdate() };
            };

        if (o.midiDevices == nullptr)       o.midiDevices = [] (juce::Component*) { MidiDevicesDialog().runModal(); };
        if (o.about == nullptr)             o.about = [] (juce::Component* parent) { AboutBox (parent).runModal(); };
        if (o.openUrl == nullptr)           o.openUrl = [] (const juce::URL& url) { Alerts::openWebAddress (nullptr, url); };
        if (o.openDocument == nullptr)      o.openDocument = [] (const juce::File& file) { file.startAsProcess(); };
    }
}

//==============================================================================
BelvoraContentComponent::BelvoraContentComponent()
{
    fillDefaults (openers);
    auto* commands = MainAppWindow::getApplicationCommandManager();

    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);

    for (int i = juce::Desktop::getInstance().getNumComponents(); --i >= 0;)
        if (auto* c = juce::Desktop::getInstance().getComponent (i))
            c->sendLookAndFeelChange();

    statusBar = std::make_unique<StatusBar>();
    devicePage = std::make_unique<DevicePage>();
    dataPage = std::make_unique<DataPage>();

    tabs.addTab ("Devices", Palette::tabTopColour, devicePage.get(), false);
    tabs.addTab ("Presets", Palette::tabTopColour, dataPage.get(), false);
    devicesTabIndex = 0;
    presetsTabIndex = 1;

    addAndMakeVisible (tabs);
    tabs.setTabBarDepth ((int) lookAndFeel.getTabBarDepth());

    using namespace BinaryResources;
    setUpIconButton (developerButton, developer_svg, developer_svgSize, CommandIDs::showDeveloperMenu);
    setUpIconButton (optionsButton, options_svg, options_svgSize, CommandIDs::showOptions);
    setUpIconButton (helpButton, help_svg, help_svgSize, CommandIDs::showHelpMenu);

    auto* app = Belvora::getInstance();

    if (app != nullptr && app->isDeveloperMode())
        addAndMakeVisible (developerButton);

    addAndMakeVisible (optionsButton);
    addAndMakeVisible (helpButton);

    signInButton.setFont (BVLookAndFeel::makeFont (lookAndFeel.getFontSize(), juce::Font::underlined), false);

    addAndMakeVisible (*statusBar);

    for (BelvoraChangeListener* listener : { (BelvoraChangeListener*) devicePage.get(), (BelvoraChangeListener*) dataPage.get(),
                                             (BelvoraChangeListener*) statusBar.get() })
        addChangeListener (listener);

    commands->setFirstCommandTarget (this);
}

BelvoraContentComponent::~BelvoraContentComponent()
{
    if (updateThread != nullptr)
    {
        // The update's own stop ends its conversion and its waits, and joins it.
        removeChangeListener (updateThread.get());
        updateThread.reset();
    }

    updateWindow.reset();

    MainAppWindow::getApplicationCommandManager()->setFirstCommandTarget (nullptr);

    changeListeners.clear();
    tabs.clearTabs();
    dataPage.reset();
    devicePage.reset();
    statusBar.reset();

    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void BelvoraContentComponent::setOpeners (Openers newOpeners)
{
    openers = std::move (newOpeners);
    fillDefaults (openers);
}

void BelvoraContentComponent::setUpIconButton (juce::DrawableButton& button, const char* svg, int svgSize, int commandId)
{
    const auto drawing = juce::Drawable::createFromImageData (svg, (size_t) svgSize);

    juce::DrawableImage over, down;
    BVLookAndFeel::renderDrawableImage (over, drawing.get(), juce::Colours::white.withAlpha (0.3f));
    BVLookAndFeel::renderDrawableImage (down, drawing.get(), juce::Colours::white.withAlpha (0.1f));

    button.setImages (drawing.get(), &over, &down);
    button.setEdgeIndent (0);
    button.setCommandToTrigger (MainAppWindow::getApplicationCommandManager(), commandId, true);
}

//==============================================================================
void BelvoraContentComponent::resized()
{
    const auto gap = juce::roundToInt (lookAndFeel.getScale() * 10.0f);
    const auto iconSize = juce::roundToInt (lookAndFeel.getLargeFontSize());
    const auto stripHeight = (int) lookAndFeel.getTabBarDepth();
    const auto statusHeight = (int) lookAndFeel.getStatusBarHeight();

    auto bounds = getLocalBounds();
    const auto top = (stripHeight - iconSize) / 2;

    helpButton.setBounds (bounds.getRight() - iconSize - gap, top, iconSize, iconSize);
    optionsButton.setBounds (helpButton.getX() - iconSize - gap, top, iconSize, iconSize);
    developerButton.setBounds (optionsButton.getX() - iconSize - gap, top, iconSize, iconSize);

    statusBar->setBounds (bounds.removeFromBottom (statusHeight));
    tabs.setBounds (bounds);
}

// The page's own keys reach it from its controls; from the window's others, Find only.
bool BelvoraContentComponent::keyPressed (const juce::KeyPress& key)
{
    if (! isFindKey (key) || ! canDoWindowKey (key))
        return false;

    dataPage->showFindDialog();
    return true;
}

bool BelvoraContentComponent::windowKeyPressed (const juce::KeyPress& key)
{
    const auto pageKey = NavigationKeys::isPageKey (key);

    if (! pageKey && ! isFindKey (key))
        return false;

    if (heldWindowKeys.isEmpty() && canDoWindowKey (key))
    {
        doWindowKey (key);
        return true;
    }

    // Behind those held, in their order.
    if (! isScanning() && heldWindowKeys.isEmpty())
        return pageKey;   // consumed even where there is no other page: left alone, Ctrl+Tab would move on as Tab does

    heldWindowKeys.add (key);
    return true;
}

bool BelvoraContentComponent::isScanning() const
{
    auto* app = Belvora::getInstance();
    return app != nullptr && (app->getAppState() == AppState::starting || app->getAppState() == AppState::scanning);
}

bool BelvoraContentComponent::canDoWindowKey (const juce::KeyPress& key)
{
    if (isFindKey (key))
        return tabs.getCurrentContentComponent() == dataPage.get() && dataPage->isShowing() && dataPage->isEnabled();

    return NavigationKeys::hasPageToTurnTo (tabs);
}

void BelvoraContentComponent::doWindowKey (const juce::KeyPress& key)
{
    if (isFindKey (key))
        dataPage->showFindDialog();
    else
        NavigationKeys::turnPage (tabs, key);
}

// After the state or a page changed: the held keys that can act now, in order. Those still
// waiting once the scan is over, and the unit it connected is read, are dropped; so are all
// when a box comes up meanwhile.
void BelvoraContentComponent::doHeldWindowKeysLater()
{
    if (heldWindowKeys.isEmpty())
        return;

    juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<BelvoraContentComponent> (this)]
    {
        // Find runs its box here: the window may be gone once it closes.
        while (safe != nullptr && ! safe->heldWindowKeys.isEmpty() && ! safe->isCurrentlyBlockedByAnotherModalComponent()
               && safe->canDoWindowKey (safe->heldWindowKeys.getFirst()))
            safe->doWindowKey (safe->heldWindowKeys.removeAndReturn (0));

        if (safe != nullptr && (safe->isCurrentlyBlockedByAnotherModalComponent() || (! safe->isScanning() && safe->devicePage->isEnabled())))
            safe->heldWindowKeys.clear();
    });
}

//==============================================================================
juce::ApplicationCommandTarget* BelvoraContentComponent::getNextCommandTarget()
{
    return findFirstTargetParentComponent();
}

void BelvoraContentComponent::getAllCommands (juce::Array<juce::CommandID>& commands)
{
    for (auto& entry : commandTable)
        commands.add (entry.id);
}

void BelvoraContentComponent::getCommandInfo (juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    auto* entry = findCommand (commandID);

    if (entry == nullptr)
        return;

    result.setInfo (entry->shortName, entry->description, entry->category, 0);

    const auto state = currentAppState();
    const auto unitActive = hasActiveDevice();

    switch (entry->enabled)
    {
        case Enabled::always:              break;
        case Enabled::unitActive:          result.setActive (unitActive); break;
        case Enabled::idleOrFirmware:      result.setActive (state == AppState::idle || state == AppState::firmwareUpdate); break;
        case Enabled::idleOrLostWithUnit:  result.setActive (state == AppState::idle || (state == AppState::rescanNeeded && unitActive)); break;
    }

    if (commandID == CommandIDs::downloadDeviceData && dataPage != nullptr && dataPage->isConvertingWorkspace())
        result.setActive (false);

    if (commandID == CommandIDs::disconnectDevice)
    {
        const auto name = activeDeviceName();

        if (name.isEmpty())
            result.setActive (false);
        else
            result.shortName = "Disconnect " + name;
    }

    if (commandID == CommandIDs::useCustomDeviceProfile && settings().getValue ("developerControlDescriptorUri").isNotEmpty())
    {
        result.shortName = "Disable Custom Device Profile";
        result.description = "Unlink the custom profile you're using and use the official descriptor";
        result.setTicked (true);
    }
}

bool BelvoraContentComponent::perform (const InvocationInfo& info)
{
    // A sync would replace a stored workspace that is not converted yet: it comes once the converted one is shown.
    if (info.commandID == CommandIDs::downloadDeviceData && dataPage != nullptr && dataPage->convertBeforeSync())
        return true;

    broadcastChange (ChangeInfo::forCommand (info.commandID));

    if (findCommand (info.commandID) == nullptr)
        return false;

    auto* content = Nexus::getContentManager();

    switch (info.commandID)
    {
        case CommandIDs::showToolsMenu:          popUpMenu (toolsMenu); break;
        case CommandIDs::showHelpMenu:           popUpMenu (helpMenu); break;
        case CommandIDs::showDeveloperMenu:      popUpMenu (developerMenu); break;
        case CommandIDs::showOptions:            showOptionsDialog(); break;
        case CommandIDs::showFirmwareUpdates:    showFirmwareChooser (false); break;
        case CommandIDs::showFirmwareBuilds:     showFirmwareChooser (true); break;

        case CommandIDs::openManual:
        {
            const juce::File guide (Belvora::getUserGuideFile());

            if (guide.existsAsFile())
                openers.openDocument (guide);
            break;
        }

        case CommandIDs::openOnlineManual:       if (content != nullptr) openUrl (content->getLinkAppManual()); break;
        case CommandIDs::openHelpPage:           if (content != nullptr) openUrl (content->getLinkAppSupport()); break;
        case CommandIDs::openRegistrationPage:   if (content != nullptr) openUrl (content->getLinkUserAccount()); break;
        case CommandIDs::openSupportPage:        if (content != nullptr) openUrl (content->getLinkGeneralSupport()); break;
        case CommandIDs::showAbout:              openers.about (this); break;

        case CommandIDs::showMidiDevicesHelp:
        case CommandIDs::showMidiDevices:        openers.midiDevices (this); break;

        case CommandIDs::scanForDevices:         scanForDevices(); break;
        case CommandIDs::connectSelectedDevice:  connectSelectedDevice(); break;
        case CommandIDs::disconnectDevice:
            // Once the unit is gone there is nothing left to ask about.
            if (activeUnitLost || askDiscardChanges (CommandDialogs::Discard::disconnect))
            {
                disconnectedSinceStart = true;
                connectToDevice (-1);
            }
            break;

        case CommandIDs::updateFirmware:
            if (confirmFirmwareUpdate (updateElement, true))
                startFirmwareUpdate (updateElement);
            break;

        case CommandIDs::updateFirmwareNow:      startFirmwareUpdate (updateElement); break;
        case CommandIDs::downloadDeviceData:     downloadDeviceData(); break;
        case CommandIDs::applyChanges:           applyChanges(); break;
        case CommandIDs::restoreSetup:           restoreSetup(); break;
        case CommandIDs::sendDirectToDevice:     sendDirectToDevice(); break;
        case CommandIDs::restoreToDevice:        restoreToDevice(); break;
        case CommandIDs::useCustomDeviceProfile: useCustomDeviceProfile(); break;
        case CommandIDs::generatePresetChecksums: generatePresetChecksums(); break;

        case CommandIDs::signIn:
        case CommandIDs::firmwareUploadStressTest:
        default:
            break;
    }

    return true;
}

//==============================================================================
juce::StringArray BelvoraContentComponent::getMenuBarNames()
{
    return { "Account", "Tools", "Help", "Developer" };
}

juce::PopupMenu BelvoraContentComponent::getMenuForIndex (int topLevelMenuIndex, const juce::String&)
{
    auto* commands = MainAppWindow::getApplicationCommandManager();
    juce::PopupMenu menu;

    switch (topLevelMenuIndex)
    {
        case accountMenu:
            menu.addCommandItem (commands, CommandIDs::signIn);
            menu.addSeparator();
            menu.addCommandItem (commands, juce::StandardApplicationCommandIDs::quit);
            break;

        case toolsMenu:
            menu.addCommandItem (commands, CommandIDs::showOptions);
            break;

        case helpMenu:
            menu.addCommandItem (commands, CommandIDs::openHelpPage);
            menu.addCommandItem (commands, CommandIDs::openSupportPage);
            menu.addSeparator();
            menu.addCommandItem (commands, CommandIDs::showMidiDevicesHelp);
            menu.addSeparator();
            menu.addCommandItem (commands, CommandIDs::showAbout);
            break;

        case developerMenu:
            menu.addCommandItem (commands, CommandIDs::useCustomDeviceProfile);
            menu.addCommandItem (commands, CommandIDs::generatePresetChecksums);
            break;

        default:
            break;
    }

    return menu;
}

void BelvoraContentComponent::menuItemSelected (int, int)
{
    // The items are command items: the command manager performs what was chosen.
}

void BelvoraContentComponent::popUpMenu (int index)
{
    auto options = juce::PopupMenu::Options().withMousePosition();
    auto* button = index == helpMenu ? &helpButton : index == developerMenu ? &developerButton : nullptr;

    // Pressed by keys, the pointer may be anywhere on the screen: the menu opens beside its button.
    if (button != nullptr && button->isShowing() && ! button->isMouseOver (true))
        options = NavigationKeys::besideArea (*button, button->getLocalBounds());

    getMenuForIndex (index, {}).showMenu (options);
}

//==============================================================================
void BelvoraContentComponent::setPagesEnabled (bool enabled)
{
    // Disabled pages drop the keyboard focus: the window's focus keeping parks it
    // meanwhile and brings it back with them.
    dataPage->setEnabled (enabled);
    devicePage->setEnabled (enabled);
    doHeldWindowKeysLater();
}

void BelvoraContentComponent::setPresetsTabEnabled (bool enabled)
{
    if (auto* button = tabs.getTabbedButtonBar().getTabButton (presetsTabIndex))
        button->setEnabled (enabled);

    doHeldWindowKeysLater();
}

bool BelvoraContentComponent::isPresetsTabEnabled() const
{
    auto* button = tabs.getTabbedButtonBar().getTabButton (presetsTabIndex);
    return button != nullptr && button->isEnabled();
}

void BelvoraContentComponent::startStatus (int totalSteps)
{
    // A running firmware update shows its own progress.
    if (updateThread == nullptr)
        statusBar->setStatus (true, {}, {}, 0.0);

    statusBar->totalSteps = totalSteps;
    statusBar->doneSteps = 0;
}

void BelvoraContentComponent::postDeviceCommand (DeviceCommandMessage* command)
{
    std::unique_ptr<DeviceCommandMessage> owned (command);

    if (auto* d = devices())
        d->postMessage (owned.release());
}

void BelvoraContentComponent::openUrl (const juce::String& address)
{
    if (address.isNotEmpty())
        openers.openUrl (juce::URL (address));
}

//==============================================================================
void BelvoraContentComponent::scanForDevices()
{
    // The unit is read again once found. An update's own rescans ask nothing: it kept the data itself.
    if (updateThread == nullptr && ! askDiscardChanges (CommandDialogs::Discard::scan))
    {
        // Declined in the box of a lost connection: the unit is let go as "Later" does, a rescan still due.
        if (activeUnitLost && hasActiveDevice())
            invokeDirectly (CommandIDs::disconnectDevice, true);
        return;
    }

    lostUnitWithEdits.clear();
    showDevicesOnly();

    if (updateThread == nullptr)
        setAppState (AppState::scanning);

    statusBar->setStatus (true, "Scanning", {}, 1.0);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::scan));
}

void BelvoraContentComponent::connectSelectedDevice()
{
    auto* d = devices();

    if (d == nullptr)
        return;

    const auto index = updateThread != nullptr ? d->findDevice (updateThread->getProductId(), updateThread->getSerial())
                                               : devicePage->getSelectedDeviceIndex();

    if (index < 0 || index == d->getActiveIndex() || ! d->isDeviceUsable (index))
        return;

    // The tile clicked shows itself chosen: on "Cancel" the tiles show the active unit again.
    if (updateThread == nullptr && d->getActiveIndex() >= 0 && ! askDiscardChanges (CommandDialogs::Discard::switchUnit))
        return devicePage->getDevicePanel().refreshButtons();

    connectToDevice (index);
}

void BelvoraContentComponent::downloadDeviceData()
{
    auto* d = devices();

    if (d == nullptr || d->getActiveIndex() < 0)
        return;

    const auto steps = statusBar->totalSteps;

    if (auto live = d->getActiveDeviceData())
        startStatus (live->getNumSlots());
    else
        startStatus (steps);

    setPagesEnabled (false);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::readAll));
}

void BelvoraContentComponent::applyChanges()
{
    auto* d = devices();
    auto* dataSet = dataPage->getDeviceDataSet();

    if (d == nullptr || d->getActiveIndex() < 0 || dataSet == nullptr)
        return;

    auto* work = dataSet->getWorkingData();
    const auto live = d->getActiveDeviceData();

    if (work == nullptr || live == nullptr)
        return;

    juce::Array<int> removed, modified;
    work->getChangedPresetIndices (*live, removed, modified);

    const auto count = modified.size() + 2 * removed.size();

    if (count == 0)
    {
        // Before the box: a unit lost while it is open takes the workspace with it.
        work->clearModified (false);
        Alerts::showWarning (this, "Apply Changes", "There are no changes to apply.");
        return;
    }

    startStatus (count);
    setPagesEnabled (false);

    // The unit's data is a snapshot: the changed presets go out in a copy of it.
    if (! modified.isEmpty())
    {
        auto changed = live->clone (false);

        for (auto index : modified)
            changed->copyPreset (index, *work);

        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeGivenPresets,
                                                     std::shared_ptr<const DeviceData> (std::move (changed)), modified));
    }

    if (! removed.isEmpty())
    {
        deletePending = true;
        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::deletePresets, removed));
    }
}

void BelvoraContentComponent::restoreSetup()
{
    auto* d = devices();

    if (d == nullptr || d->getActiveIndex() < 0)
        return;

    std::shared_ptr<const DeviceData> data;

    if (auto* selected = dataPage->getSelectedDataSet())
        data = snapshotOf (*selected);
    else
        data = d->getActiveDeviceData();

    // An incomplete setup is never sent: its progress would never end.
    if (data == nullptr || ! data->getSetup().isComplete())
        return;

    const auto node = dataPage->getSelectedNode();
    const auto sourceName = node.hasProperty (SourceTreeIds::label) ? node[SourceTreeIds::label].toString() : juce::String ("backup");
    const bool fromOtherSource = node != dataPage->getDeviceNode();

    // A unit lost while the question was open would never report the send: the pages stayed off.
    if (! confirmSendSetup (fromOtherSource, sourceName) || ! hasActiveDevice())
        return;

    // One step: the setup's last packet reports it done.
    startStatus (1);
    setPagesEnabled (false);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeGivenSetup, data, {}));
}

void BelvoraContentComponent::sendDirectToDevice()
{
    if (! hasActiveDevice())
        return;

    if (auto* pending = dataPage->getPendingSendData())
    {
        // A unit lost while the question was open closed the sources, the image with them.
        if (! askBeforeOverwritingEdits (*pending, pending->getUsedPresetIndices(), pending->getSetup().isComplete())
            || ! hasActiveDevice() || dataPage->getPendingSendData() != pending)
            return;

        // The unit is sent a setup only when it is complete.
        startStatus (pending->getNumPresets() + (pending->getSetup().isComplete() ? 1 : 0));
        setPagesEnabled (false);
        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, snapshotOf (*pending), {}));
        return;
    }

    auto* data = dataPage->getSelectedDataSet();
    const auto indices = dataPage->getSelectedPresetIndices();

    if (data == nullptr || indices.isEmpty() || ! askBeforeOverwritingEdits (*data, indices, false))
        return;

    // Only the presets the question was about, and only while their source is still open.
    if (! hasActiveDevice() || dataPage->getSelectedDataSet() != data || dataPage->getSelectedPresetIndices() != indices)
        return;

    startStatus (indices.size());
    setPagesEnabled (false);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeGivenPresets, snapshotOf (*data), indices));
}

void BelvoraContentComponent::restoreToDevice()
{
    auto* dataSet = dataPage->getDeviceDataSet();
    auto* image = dataPage->getPendingSendData();
    auto* work = dataSet != nullptr ? dataSet->getWorkingData() : nullptr;

    if (work == nullptr || image == nullptr || ! hasActiveDevice() || ! askDiscardChanges (CommandDialogs::Discard::restore))
        return;

    // A unit lost while the question was open closed the sources, the workspace and the image with them.
    if (! hasActiveDevice() || dataPage->getDeviceDataSet() != dataSet || dataPage->getPendingSendData() != image)
        return;

    auto toDelete = work->getDifferentPresetIndices();
    toDelete.removeValuesIn (image->getUsedPresetIndicesInRange (1, image->getNumSlots() - 1));

    startStatus (image->getNumPresets() + (image->getSetup().isComplete() ? 1 : 0) + 2 * toDelete.size());
    setPagesEnabled (false);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, snapshotOf (*image), {}));

    if (! toDelete.isEmpty())
    {
        deletePending = true;
        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::deletePresets, toDelete));
    }
}

void BelvoraContentComponent::showFirmwareChooser (bool showCustom, bool questionsAnswered)
{
    auto* d = devices();

    if (d == nullptr)
        return;

    const auto choice = openers.firmwareChooser (this, d->getDeviceProductId (-1), showCustom);

    if (! choice.startRequested)
        return;

    descriptionReadDeviceNames.addIfNotAlreadyThere (activeDeviceName());

    if (questionsAnswered || confirmFirmwareUpdate (choice.element, false))
        startFirmwareUpdate (choice.element);
}

void BelvoraContentComponent::useCustomDeviceProfile()
{
    auto& s = settings();

    if (s.getValue ("developerControlDescriptorUri").isNotEmpty())
    {
        s.setValue ("developerControlDescriptorUri", juce::String());
    }
    else
    {
        FileChoosers::Request request;
        request.mode = FileChoosers::Mode::openFile;
        request.title = "Custom Device Data";
        request.start = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
        request.patterns = "*.xml";

        const auto chosen = FileChoosers::choose (request);

        if (chosen.isEmpty())
            return;

        s.setValue ("developerControlDescriptorUri", chosen.getFirst().getFullPathName());
    }

    Alerts::showInfo (this, "Notice", "You must restart Belvora for this change to take effect.");
}

void BelvoraContentComponent::generatePresetChecksums()
{
    FileChoosers::Request request;
    request.mode = FileChoosers::Mode::saveFile;
    request.title = "Export Preset Signatures";
    request.start = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    request.patterns = "*.xml";
    request.warnAboutOverwriting = true;

    const auto chosen = FileChoosers::choose (request);
    auto* d = devices();

    if (chosen.isEmpty() || d == nullptr)
        return;

    if (auto live = d->getActiveDeviceData())
        dataPage->writeExport ({ { chosen.getFirst(), [live] (const juce::File& file) { return live->saveFactoryBank (file); } } },
                               [this] (int result, const juce::Array<int>& errors)
                               {
                                   if (result == DataPage::writeFailed)
                                       DataPage::reportExport (this, result, errors);
                               });
}

//==============================================================================
bool BelvoraContentComponent::askBeforeOverwritingEdits (const DeviceData& source, const juce::Array<int>& indices, bool withSetup)
{
    // What goes out also replaces those slots of the workspace: an unsent edit
    // there would be gone. Sending the workspace itself loses nothing.
    auto* dataSet = dataPage->getDeviceDataSet();
    auto* work = dataSet != nullptr ? dataSet->getWorkingData() : nullptr;

    if (work == nullptr || work == &source)
        return true;

    const auto* unit = dataSet->getDeviceData();

    const auto edited = [&] (int index)
    {
        return work->isPresetModified (index)
            || (unit != nullptr && unit->isPresetSlotUsed (index) && ! work->isPresetSlotUsed (index));
    };

    const bool loses = std::any_of (indices.begin(), indices.end(), edited)
                    || (withSetup && work->getSetup().isComplete() && work->getSetup().isModified());

    return ! loses || CommandDialogs::askDiscardChanges (this, activeDeviceName(), CommandDialogs::Discard::send);
}
