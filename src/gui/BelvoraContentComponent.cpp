#include "gui/BelvoraContentComponent.h"

#include "app/Belvora.h"
#include "app/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "content/EventTracker.h"
#include "content/EventUpdate.h"
#include "content/FirmwareUpdateThread.h"
#include "devices/DeviceManager.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/dialogs/UpdateProgressWindow.h"
#include "gui/widgets/Alerts.h"

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

    AppState currentAppState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::starting;
    }
}

BelvoraContentComponent::BelvoraContentComponent()
{
    auto* manager = MainAppWindow::getApplicationCommandManager();

    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);

    for (int i = juce::Desktop::getInstance().getNumComponents(); --i >= 0;)
        if (auto* c = juce::Desktop::getInstance().getComponent (i))
            c->sendLookAndFeelChange();

    manager->setFirstCommandTarget (this);
}

BelvoraContentComponent::~BelvoraContentComponent()
{
    if (auto* manager = MainAppWindow::getApplicationCommandManager())
        manager->setFirstCommandTarget (nullptr);

    changeListeners.clear();
    updateThread.reset();
    updateWindow.reset();

    if (&juce::LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void BelvoraContentComponent::resized()
{
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
        case Enabled::idleOrLostWithUnit:  result.setActive (unitActive && (state == AppState::idle || state == AppState::rescanNeeded)); break;
    }
}

bool BelvoraContentComponent::perform (const InvocationInfo& info)
{
    if (findCommand (info.commandID) == nullptr)
        return false;

    broadcastChange (ChangeInfo::forCommand (info.commandID));

    switch (info.commandID)
    {
        case CommandIDs::scanForDevices:
            if (currentAppState() != AppState::firmwareUpdate)
                setAppState (AppState::scanning);

            postDeviceCommand (DeviceCommandMessage::scan);
            break;

        case CommandIDs::connectSelectedDevice:
            if (updateThread != nullptr)
                connectUpdatedDevice();
            break;

        case CommandIDs::downloadDeviceData:
            if (hasActiveDevice())
                postDeviceCommand (DeviceCommandMessage::readAll);
            break;

        default:
            break;
    }

    return true;
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

    switch (info->code)
    {
        case DeviceInfoMessage::scanFinished:
            if (state == AppState::starting || state == AppState::scanning)
                setAppState (AppState::idle);
            break;

        case DeviceInfoMessage::activeDeviceLost:
        case DeviceInfoMessage::portsChanged:
            if (state != AppState::scanning && state != AppState::firmwareUpdate)
                setAppState (AppState::rescanNeeded);
            break;

        case DeviceInfoMessage::firmwareUpdateEnded:
            reportFirmwareUpdateEnd (info->text);
            break;

        default:
            break;
    }
}

void BelvoraContentComponent::addChangeListener (BelvoraChangeListener* listener)
{
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

        if (i < changeListeners.size())
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
}

bool BelvoraContentComponent::requestQuit (bool forced)
{
    // Unsent preset edits are asked about once the data page exists.
    broadcastChange (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::aboutToQuit, forced ? 1 : 0, 0, {})));
    return true;
}

//==============================================================================
bool BelvoraContentComponent::startFirmwareUpdate (const FirmwareUpdateElement& element)
{
    auto* devices = Nexus::getDeviceManager();
    auto* content = Nexus::getContentManager();

    if (devices == nullptr || content == nullptr || ! hasActiveDevice() || ! element.isInstallable() || updateThread != nullptr)
        return false;

    setAppState (AppState::firmwareUpdate);
    updateWindow = std::make_unique<UpdateProgressWindow> (this, this, this);
    updateThread = std::make_unique<FirmwareUpdateThread> (*updateWindow, *devices, *content, element);

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

// While an update runs, "Connect selected device" connects the unit it updates.
void BelvoraContentComponent::connectUpdatedDevice()
{
    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr)
        return;

    const auto index = devices->findDevice (updateThread->getProductId(), updateThread->getSerial());

    if (index < 0 || index == devices->getActiveIndex() || ! devices->isDeviceUsable (index))
        return;

    if (devices->setActiveDevice (index))
        broadcastChange (ChangeInfo (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 1, 0, {})));
}

void BelvoraContentComponent::reportFirmwareUpdateEnd (const juce::String& name)
{
    if (updateThread == nullptr)
        return;

    const auto code = updateThread->getExitCode();
    const auto kept = updateThread->getKeptDataFile();
    const auto keptNote = kept == juce::File() ? juce::String()
                                               : "\n\nYour converted presets and setup are saved in \"" + kept.getFullPathName() + "\".";

    switch (code)
    {
        case FirmwareUpdateThread::completed:
            Alerts::showInfo (this, "Firmware Update Complete", name + " updated successfully.");
            break;

        case FirmwareUpdateThread::notFinished:
        case FirmwareUpdateThread::interrupted:
            Alerts::showInfo (this, "Firmware Update Interrupted", "You should power cycle " + name
                              + " and you may have to restart Belvora before trying the update again." + keptNote);
            break;

        case FirmwareUpdateThread::error:
            Alerts::showWarning (this, "Firmware Update Error", updateThread->getErrorText() + keptNote);
            break;

        default:
            break;
    }

    if (auto* tracker = Nexus::getEventTracker())
    {
        const EventUpdate::Unit unit { (uint8_t) updateThread->getProductId(), updateThread->getSerial(),
                                       updateThread->getStartVersion(), name };
        tracker->addEvent (new EventUpdate (unit, updateThread->getStartVersion(), updateThread->getTargetVersion(), false, code), -1, false);
    }

    removeChangeListener (updateThread.get());
    updateThread.reset();
    updateWindow.reset();

    setAppState (AppState::idle);
    invokeDirectly (CommandIDs::scanForDevices, true);
}

//==============================================================================
bool BelvoraContentComponent::hasActiveDevice() const
{
    auto* devices = Nexus::getDeviceManager();
    return devices != nullptr && devices->getActiveIndex() >= 0;
}

void BelvoraContentComponent::postDeviceCommand (int command)
{
    if (auto* devices = Nexus::getDeviceManager())
        devices->postMessage (new DeviceCommandMessage (command));
}
