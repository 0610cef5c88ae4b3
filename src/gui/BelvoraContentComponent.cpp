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
#include "model/DataSet.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

namespace
{
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

    AppState currentAppState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::starting;
    }

    DeviceManager* devices()    { return Nexus::getDeviceManager(); }

    bool hasActiveDevice()
    {
        auto* d = devices();
        return d != nullptr && d->getActiveIndex() >= 0;
    }

    juce::String activeDeviceName()
    {
        auto* d = devices();
        return d != nullptr ? d->getActiveDeviceDisplayName() : juce::String();
    }

    juce::PropertiesFile& settings()   { return Belvora::getUserSettings(); }

    /** A snapshot of data for a write command: the device layer reads it on its
        own thread while the page goes on editing its copy. */
    std::shared_ptr<const DeviceData> snapshotOf (const DeviceData& data)
    {
        return std::shared_ptr<const DeviceData> (data.clone (false));
    }

    EventUpdate::Unit activeUnit (const juce::String& name)
    {
        auto* d = devices();

        if (d == nullptr)
            return {};

        return { (uint8_t) d->getDeviceProductId (-1), d->getDeviceSerial (-1), d->getDeviceVersion (-1), name };
    }

    void queueUsageEvent (TrackableEvent* event)
    {
        if (auto* tracker = Nexus::getEventTracker())
            tracker->addEvent (event, -1, false);
        else
            delete event;
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
                connectToDevice (-1);
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
    getMenuForIndex (index, {}).showMenu (juce::PopupMenu::Options().withMousePosition());
}

//==============================================================================
void BelvoraContentComponent::setPagesEnabled (bool enabled)
{
    dataPage->setEnabled (enabled);
    devicePage->setEnabled (enabled);
}

void BelvoraContentComponent::setPresetsTabEnabled (bool enabled)
{
    if (auto* button = tabs.getTabbedButtonBar().getTabButton (presetsTabIndex))
        button->setEnabled (enabled);
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
        Alerts::showWarning (this, "Apply Changes", "There are no changes to apply.");
        work->clearModified (false);
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

    if (data == nullptr || data->getSetup().getNumMidiMessages() == 0)
        return;

    const auto node = dataPage->getSelectedNode();
    const auto sourceName = node.hasProperty (SourceTreeIds::label) ? node[SourceTreeIds::label].toString() : juce::String ("backup");
    const bool fromOtherSource = node != dataPage->getDeviceNode();

    if (! confirmSendSetup (fromOtherSource, sourceName))
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
        if (! askBeforeOverwritingEdits (*pending, pending->getUsedPresetIndices(), pending->getSetup().isComplete()))
            return;

        startStatus (pending->getNumPresets() + (pending->getSetup().getNumMidiMessages() > 0 ? 1 : 0));
        setPagesEnabled (false);
        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, snapshotOf (*pending), {}));
        return;
    }

    auto* data = dataPage->getSelectedDataSet();
    const auto indices = dataPage->getSelectedPresetIndices();

    if (data == nullptr || indices.isEmpty() || ! askBeforeOverwritingEdits (*data, indices, false))
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

    auto toDelete = work->getDifferentPresetIndices();
    toDelete.removeValuesIn (image->getUsedPresetIndicesInRange (1, image->getNumSlots() - 1));

    startStatus (image->getNumPresets() + (image->getSetup().getNumMidiMessages() > 0 ? 1 : 0) + 2 * toDelete.size());
    setPagesEnabled (false);
    postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::writeAllOfData, snapshotOf (*image), {}));

    if (! toDelete.isEmpty())
    {
        deletePending = true;
        postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::deletePresets, toDelete));
    }
}

void BelvoraContentComponent::showFirmwareChooser (bool showCustom)
{
    auto* d = devices();

    if (d == nullptr)
        return;

    const auto choice = openers.firmwareChooser (this, d->getDeviceProductId (-1), showCustom);

    if (! choice.startRequested)
        return;

    descriptionReadDeviceNames.addIfNotAlreadyThere (activeDeviceName());

    if (confirmFirmwareUpdate (choice.element, false))
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
        live->saveFactoryBank (chosen.getFirst());
}

//==============================================================================
void BelvoraContentComponent::handleMessage (const juce::Message& message)
{
    auto* info = dynamic_cast<const DeviceInfoMessage*> (&message);

    if (info == nullptr)
        return;

    // The state before this message decides how it is handled.
    const auto state = currentAppState();

    broadcastChange (ChangeInfo (*info));
    handleDeviceMessage (*info, state);
}

void BelvoraContentComponent::handleDeviceMessage (const DeviceInfoMessage& m, AppState state)
{
    using Info = DeviceInfoMessage;
    auto& bar = *statusBar;

    const auto statusText = [&bar] (const juce::String& text, bool error) { bar.setStatusText (text, error); };

    switch (m.code)
    {
        case Info::startupFinished:        startupFinished(); break;
        case Info::askConvertBackups:      askToConvertBackups (m.text); break;

        case Info::showPresets:
            if (dataPage->isEnabled())
                tabs.setCurrentTabIndex (presetsTabIndex);
            break;

        case Info::downloadStatus:
            bar.setProgress (1.0);
            statusText (m.text, false);
            break;

        case 0x70001:
            if (! downloading)
                bar.hideProgress();
            break;

        case Info::downloadStarted:
            downloading = true;
            bar.setStatus (true, "Downloading", m.text, 1.0);
            break;

        case Info::downloadFinished:
            downloading = false;
            bar.hideProgress();
            break;

        case Info::downloadFailed:         downloadIncomplete (m.text); break;
        case Info::devicesMade:            bar.resetCounters(); break;
        case Info::scanFinished:           scanEnded (m.value1, state); break;
        case Info::activeDeviceLost:       connectionLost (state); break;
        case Info::portsChanged:           portsChanged (state); break;

        case Info::presetRead:
        case Info::presetWritten:
            statusText (juce::String::formatted ("%d: ", m.value1) + m.text, false);
            bar.advanceProgress();
            break;

        case Info::presetSlotEmpty:
            statusText (juce::String::formatted ("%d: <empty>", m.value1), false);
            bar.advanceProgress();
            break;

        case Info::presetDeleteSent:
            statusText (juce::String::formatted ("Deleting: %d", m.value1), false);
            bar.advanceProgress();
            break;

        case Info::presetReadTryFailed:
        case Info::presetWriteTryFailed:
            statusText (juce::String::formatted ("MIDI transmission error on preset %d  (retry %d)", m.value1, m.value2), true);
            break;

        case Info::setupPacketSent:
            if (m.value1 == m.value2)
                bar.advanceProgress();
            break;

        case Info::setupReadTryFailed:
        case Info::setupWriteTryFailed:
            statusText (juce::String::formatted ("MIDI transmission error on setup data  (retry %d)", m.value2), true);
            break;

        case Info::bankSwapWait:
            bar.setProgress (1.0);
            statusText ("Optimizing device storage. Please wait...", false);
            break;

        case Info::commandDone:            commandDone (m.command); break;
        case Info::commandFailed:          commandFailed (m.command); break;
        case Info::firmwareUpdateEnded:    firmwareUpdateEnded (m.text); break;
        case Info::backupConversionDone:   backupConversionEnded (m); break;
        default:                           break;
    }
}

void BelvoraContentComponent::startupFinished()
{
    auto* content = Nexus::getContentManager();

    if (content == nullptr || ! content->isOnline())
    {
        signInButton.setEnabled (false);
        Alerts::showWarning (this, "No Internet Connection",
                             "Belvora is unable to establish an internet connection with the Marrowell server. Product updates, "
                             "account details, online presets, and manuals will not be available. This may also disrupt connectivity "
                             "with your Marrowell product(s). An internet connection must be available the first time you connect a "
                             "new product to your system.");
    }
    else
    {
        signInButton.setCommandToTrigger (MainAppWindow::getApplicationCommandManager(), CommandIDs::signIn, false);

        const auto updateUrl = content->getUpdateUrlPc();

        if (updateUrl.isNotEmpty()
            && Alerts::askYesNo (this, "Belvora Update!", "A new version of Belvora is available. \n\n" + content->getLatestBuildInfo()
                                                           + "\n\nWould you like to quit Belvora and download the new update?"))
        {
            openUrl (updateUrl);

            if (auto* app = juce::JUCEApplication::getInstance())
                app->systemRequestedQuit();
        }
    }

    statusBar->startTimer (100);
}

void BelvoraContentComponent::askToConvertBackups (const juce::String& question)
{
    mismatchQuestionOpen = true;

    if (Alerts::askYesNo (this, "Mismatched Backup Data Found", question))
        if (auto* d = devices())
            dataPage->convertBackups (d->getDeviceVersion (-1));

    mismatchQuestionOpen = false;
}

void BelvoraContentComponent::downloadIncomplete (const juce::String& productName)
{
    downloading = false;
    statusBar->hideProgress();

    if (downloadFailedBoxOpen)
        return;

    downloadFailedBoxOpen = true;
    Alerts::showWarning (this, "Download Failed", "Belvora was unable to synchronize content for " + productName
                                                  + ". Please restart Belvora. If the error persists, please contact Marrowell Support.");
    downloadFailedBoxOpen = false;
}

void BelvoraContentComponent::scanEnded (int scanResult, AppState state)
{
    if (! downloading)
        statusBar->hideProgress();

    // A firmware update runs its own rescan.
    if (updateThread != nullptr)
        return;

    auto* d = devices();
    const int identified = d != nullptr ? d->getNumIdentifiedDevices() : 0;

    if (identified > 0 && d->getActiveIndex() < 0 && settings().getBoolValue ("autoConnectAtStartup", true))
    {
        auto index = d->indexOfDeviceWithSerial (settings().getIntValue ("lastConnectedDevice", 0));

        if (index < 0 || ! d->isDeviceUsable (index))
        {
            index = -1;

            for (int i = 0; i < d->getNumDevices() && index < 0; ++i)
                if (d->isDeviceUsable (i))
                    index = i;
        }

        if (index >= 0)
            connectToDevice (index);
    }

    if (scanResult == 0)
        Alerts::showWarning (this, "Device Scan Failed",
                             "One or more MIDI devices have stopped responding. Please restart both Belvora and your MIDI devices.");
    else if (identified == 0 && state != AppState::starting && ! isCurrentlyBlockedByAnotherModalComponent())
        showDeviceScanResult();

    if (state == AppState::starting || state == AppState::scanning)
        setAppState (AppState::idle);
}

void BelvoraContentComponent::connectionLost (AppState state)
{
    if (state == AppState::scanning || state == AppState::firmwareUpdate)
        return;

    activeUnitLost = true;
    showDevicesOnly();
    setAppState (AppState::rescanNeeded);

    if (isCurrentlyBlockedByAnotherModalComponent())
        return (void) invokeDirectly (CommandIDs::disconnectDevice, true);

    const bool scanNow = Alerts::showOkCancel (juce::MessageBoxIconType::WarningIcon, this, "USB Device Connection Lost",
                                               "The MIDI connection to your device has been lost.\nPlease rescan MIDI devices.",
                                               false, "Scan Now", "Later");

    invokeDirectly (scanNow ? CommandIDs::scanForDevices : CommandIDs::disconnectDevice, true);
}

void BelvoraContentComponent::portsChanged (AppState state)
{
    if (state == AppState::scanning || state == AppState::firmwareUpdate)
        return;

    setAppState (AppState::rescanNeeded);

    if (isCurrentlyBlockedByAnotherModalComponent())
        return;

    if (hasActiveDevice())
    {
        Alerts::showInfo (this, "USB Device Change",
                          "A MIDI device change has been detected.\nThe connection to " + activeDeviceName()
                          + " is still open, but you must rescan before switching to a different device.");
    }
    else if (Alerts::showOkCancel (juce::MessageBoxIconType::QuestionIcon, this, "USB Device Change",
                                   "A MIDI device change has been detected.\nPlease rescan MIDI devices.", false, "Scan Now", "Later"))
    {
        invokeDirectly (CommandIDs::scanForDevices, true);
    }
}

void BelvoraContentComponent::commandDone (const DeviceCommandMessage& command)
{
    if (! deletePending)
        setPagesEnabled (true);

    switch (command.command)
    {
        case DeviceCommandMessage::readAll:
            statusBar->hideProgress();
            break;

        case DeviceCommandMessage::deletePresets:
            deletePending = false;

            // The unit reads back what is left in the deleted slots.
            if (! command.arguments.isEmpty())
            {
                setPagesEnabled (false);
                postDeviceCommand (new DeviceCommandMessage (DeviceCommandMessage::readPresets, command.arguments));
            }
            break;

        default:
            break;
    }
}

void BelvoraContentComponent::commandFailed (const DeviceCommandMessage& command)
{
    setPagesEnabled (true);

    // A failed unit runs nothing more until its queue is reset, and a delete
    // queued behind the failed command is gone with it.
    deletePending = false;

    // A sync file that did not load leaves the unit working, its queue intact.
    if (command.command == DeviceCommandMessage::loadSyncFile)
        return;

    statusBar->hideProgress();

    if (auto* d = devices())
        d->resetActiveDeviceQueue();
}

void BelvoraContentComponent::backupConversionEnded (const DeviceInfoMessage& m)
{
    if (m.value1 != 0)
        Alerts::showInfo (this, "Conversion Complete", "Backup conversion completed successfully.");
    else if (m.value2 == 0)
        Alerts::showWarning (this, "Backup Conversion Interrupted",
                             "Not all backups have been converted." + (m.text.isNotEmpty() ? "\n\nInfo: " + m.text : juce::String()));
    else
        Alerts::showWarning (this, "Backup Conversion Error",
                             "An error occurred during backup conversion. Please restart Belvora and try again. If the error persists, "
                             "please contact Marrowell support." + (m.text.isNotEmpty() ? "\n\nError Info: " + m.text : juce::String()));
}

void BelvoraContentComponent::firmwareUpdateEnded (const juce::String& name)
{
    if (updateThread == nullptr)
        return;

    const auto code = updateThread->getExitCode();

    // Until the image went out the unit is as it was and still connected: an
    // update stopped before then has nothing to power cycle or find again, and
    // the workspace comes back as it was, where a rescan would replace it.
    const bool unitUntouched = ! updateThread->wasImageSent() && hasActiveDevice();
    const auto kept = updateThread->getKeptDataFile();
    const auto keptNote = kept == juce::File() ? juce::String()
                                               : "\n\nYour converted presets and setup are saved in \"" + kept.getFullPathName() + "\".";

    switch (code)
    {
        case FirmwareUpdateThread::completed:
            Alerts::showInfo (this, "Firmware Update Complete", name + " updated successfully.");
            updatedDeviceNames.addIfNotAlreadyThere (name);
            break;

        case FirmwareUpdateThread::notFinished:
        case FirmwareUpdateThread::interrupted:
            if (! unitUntouched)
                Alerts::showInfo (this, "Firmware Update Interrupted", "You should power cycle " + name
                              + " and you may have to restart Belvora before trying the update again." + keptNote);
            break;

        case FirmwareUpdateThread::error:
            Alerts::showWarning (this, "Firmware Update Error", updateThread->getErrorText() + keptNote);
            break;

        default:
            break;
    }

    const EventUpdate::Unit unit { (uint8_t) updateThread->getProductId(), updateThread->getSerial(), updateThread->getStartVersion(), name };
    queueUsageEvent (new EventUpdate (unit, updateThread->getStartVersion(), updateThread->getTargetVersion(),
                                      descriptionReadDeviceNames.contains (name), code));

    removeChangeListener (updateThread.get());
    updateThread.reset();
    updateWindow.reset();

    setAppState (AppState::idle);
    dataPage->firmwareUpdateEnded (unitUntouched);

    if (! unitUntouched)
        invokeDirectly (CommandIDs::scanForDevices, true);
}

//==============================================================================
void BelvoraContentComponent::addChangeListener (BelvoraChangeListener* listener)
{
    if (listener != nullptr)
        changeListeners.addIfNotAlreadyThere (listener);
}

void BelvoraContentComponent::removeChangeListener (BelvoraChangeListener* listener)
{
    changeListeners.removeFirstMatchingValue (listener);
}

void BelvoraContentComponent::broadcastChange (const ChangeInfo& info)
{
    const juce::Component::SafePointer<BelvoraContentComponent> alive (this);

    for (int i = changeListeners.size(); --i >= 0;)
    {
        if (alive == nullptr)
            return;

        i = juce::jmin (i, changeListeners.size() - 1);

        if (i < 0)
            return;

        changeListeners.getUnchecked (i)->changeNotify (info);
    }
}

void BelvoraContentComponent::setAppState (AppState state)
{
    auto* app = Belvora::getInstance();
    const auto old = app != nullptr ? app->getAppState() : AppState::starting;

    if (state == old)
        return;

    if (app != nullptr)
        app->setAppState (state);

    broadcastChange (ChangeInfo::forAppState (static_cast<int> (state), static_cast<int> (old)));

    if (state == AppState::idle && ! downloading)
        statusBar->hideProgress();
}

bool BelvoraContentComponent::requestQuit (bool forced)
{
    if (! forced && ! askDiscardChanges (CommandDialogs::Discard::quit))
        return false;

    broadcastChange (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::aboutToQuit, forced ? 1 : 0, 0, {})));
    return true;
}

void BelvoraContentComponent::showDevicesOnly()
{
    setPresetsTabEnabled (false);
    dataPage->setEnabled (false);
    tabs.setCurrentTabIndex (devicesTabIndex);
    broadcastChange (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 0, 0, {})));
}

bool BelvoraContentComponent::connectToDevice (int index)
{
    auto* d = devices();

    if (d == nullptr)
        return false;

    activeUnitLost = false;

    // A delete that was waiting for its turn never comes once the unit is released.
    if (index < 0 || d->getActiveIndex() >= 0)
    {
        d->releaseActiveDevice();
        deletePending = false;
        showDevicesOnly();

        if (index < 0)
            return true;
    }

    if (! d->setActiveDevice (index))
    {
        showDevicesOnly();
        return false;
    }

    const auto name = d->getActiveDeviceDisplayName();
    const auto caps = d->getActiveDeviceCaps();
    const bool buildValid = caps != nullptr && caps->isBuildValid;
    const bool hasPresets = caps != nullptr && caps->caps.numPresets > 0;

    settings().setValue ("lastConnectedDevice", d->getDeviceSerial (-1));

    statusBar->changeNotify (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 1, 0, {})));
    setPresetsTabEnabled (buildValid && hasPresets);

    if (! buildValid)
        Alerts::showWarning (this, "Firmware Version", "The firmware currently running on " + name
                                                       + " must be updated. Please do so as soon as possible."
                                                       + (hasPresets ? " Preset management is not available." : ""));

    const bool updateNow = askInstallNewFirmware();

    if (! hasPresets && tabs.getCurrentTabIndex() == presetsTabIndex)
        tabs.setCurrentTabIndex (devicesTabIndex);

    broadcastChange (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 1, updateNow ? 1 : 0, {})));
    dataPage->setEnabled (buildValid && hasPresets);

    if (updateNow)
        invokeDirectly (CommandIDs::updateFirmwareNow, true);

    return true;
}

bool BelvoraContentComponent::startFirmwareUpdate (const FirmwareUpdateElement& element)
{
    auto* d = devices();
    auto* content = Nexus::getContentManager();

    if (d == nullptr || content == nullptr || d->getActiveIndex() < 0 || ! element.isInstallable() || updateThread != nullptr)
        return false;

    setAppState (AppState::firmwareUpdate);
    updateWindow = std::make_unique<UpdateProgressWindow> (this, this, this);
    updateThread = std::make_unique<FirmwareUpdateThread> (*updateWindow, *d, *content, element);

    // A failed check ends through the same report as any other ending.
    if (! updateThread->prepare())
    {
        postMessage (new DeviceInfoMessage (DeviceInfoMessage::firmwareUpdateEnded, 0, 0, {}));
        return true;
    }

    updateThread->start();
    updateWindow->setVisible (true);
    updateWindow->enterModalState (true);
    addChangeListener (updateThread.get());
    return true;
}

//==============================================================================
bool BelvoraContentComponent::askDiscardChanges (CommandDialogs::Discard reason)
{
    using Discard = CommandDialogs::Discard;

    if (! hasActiveDevice())
        return true;

    auto* dataSet = dataPage->getDeviceDataSet();
    // A download empties the workspace before it refills it: that is no edit.
    const bool modified = dataSet != nullptr && dataSet->isModified() && ! dataPage->isBusy();

    // With "previous" the workspace is stored and comes back with the unit; an
    // update or a restore replaces it whatever the method.
    const bool workspaceKept = reason != Discard::firmwareUpdate && reason != Discard::restore
                            && Belvora::getDataSyncMethod() == 2;

    if (! modified || workspaceKept)
        return true;

    return CommandDialogs::askDiscardChanges (this, activeDeviceName(), reason);
}

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

bool BelvoraContentComponent::confirmSendSetup (bool fromOtherSource, const juce::String& sourceName)
{
    return CommandDialogs::confirmSendSetup (this, activeDeviceName(), fromOtherSource, sourceName);
}

bool BelvoraContentComponent::askInstallNewFirmware()
{
    auto* d = devices();
    auto* content = Nexus::getContentManager();

    if (d == nullptr || content == nullptr)
        return false;

    const auto product = d->getDeviceProductId (-1);
    const auto build = (int) d->getDeviceVersion (-1).build;
    const bool available = content->isFirmwareUpdateAvailable (product, build);
    updateElement = content->getLatestFirmwareUpdate (product);

    auto* archives = dataPage->getArchiveManager();

    if (! available || ! updateElement.isInstallable() || d->getActiveIndex() < 0 || mismatchQuestionOpen || downloadFailedBoxOpen
        || (archives != nullptr && archives->isConverting()) || updateThread != nullptr)
        return false;

    const auto name = activeDeviceName();

    if (updatedDeviceNames.contains (name))
        return false;

    updatedDeviceNames.add (name);

    switch (CommandDialogs::askInstallNewFirmware (this, name))
    {
        case CommandDialogs::yes:
            return true;

        case CommandDialogs::showDetails:
        {
            const auto choice = openers.firmwareChooser (this, product, true);
            descriptionReadDeviceNames.addIfNotAlreadyThere (name);

            if (choice.startRequested)
            {
                updateElement = choice.element;
                return true;
            }

            queueUsageEvent (new EventUpdate (activeUnit (name), updateElement.version, true));
            return false;
        }

        case CommandDialogs::no:
        default:
            queueUsageEvent (new EventUpdate (activeUnit (name), updateElement.version, false));
            return false;
    }
}

bool BelvoraContentComponent::confirmFirmwareUpdate (const FirmwareUpdateElement& element, bool offerDetails)
{
    if (! element.isInstallable() || ! askDiscardChanges (CommandDialogs::Discard::firmwareUpdate))
        return false;

    auto* d = devices();
    const auto name = activeDeviceName();

    if (d != nullptr && d->getDeviceVersion (-1).build == element.version.build && element.status != FirmwareUpdateElement::statusCustom)
        return CommandDialogs::confirmReinstallFirmware (this, name);

    switch (CommandDialogs::confirmFirmwareUpdate (this, name, offerDetails))
    {
        case CommandDialogs::yes:
            return true;

        case CommandDialogs::showDetails:
            invokeDirectly (CommandIDs::showFirmwareBuilds, true);
            return false;

        case CommandDialogs::no:
        default:
            return false;
    }
}

void BelvoraContentComponent::showDeviceScanResult()
{
    auto* d = devices();

    if (d == nullptr)
        return;

    CommandDialogs::ScanFacts facts;
    facts.ports = d->getNumDevices();

    for (int i = 0; i < facts.ports; ++i)
        if ((d->getDeviceFlags (i) & DeviceFlags::portFailure) != 0)
            ++facts.busy;

    d->getConnectedDeviceNames (facts.inUse);

    if (CommandDialogs::showDeviceScanResult (this, facts))
        if (auto* content = Nexus::getContentManager())
            openUrl (content->getLinkConnectionFAQ());
}

void BelvoraContentComponent::showOptionsDialog()
{
    const auto outcome = openers.options (this);

    if (outcome.result == 0)
        return;

    // The hub hands these back to this component, which tells the pages.
    auto* app = Belvora::getInstance();
    juce::MessageListener* hub = app != nullptr && app->getNexus() != nullptr ? (juce::MessageListener*) app->getNexus() : this;

    if (outcome.historyCleared)
        hub->postMessage (new DeviceInfoMessage (DeviceInfoMessage::forgetKnownDevice, 255, -1, {}));

    if (outcome.defaultsRestored)
    {
        settings().setValue ("presetCellButtonScale", 1.0);
        settings().setValue ("presetIconButtonScale", 1.0);
        Belvora::setPresetButtonViewType (1);
    }

    hub->postMessage (new DeviceInfoMessage (DeviceInfoMessage::optionsChanged, 0, 0, {}));

    if (outcome.scaleChanged)
        Alerts::showInfo (this, "Restart Belvora", "Please restart Belvora to have the changes take effect.");
}
