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
#include "model/DataSet.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

using namespace ContentComponentSupport;

void BelvoraContentComponent::handleMessage (const juce::Message& message)
{
    auto* info = dynamic_cast<const DeviceInfoMessage*> (&message);

    if (info == nullptr)
        return;

    // The state before this message decides how it is handled.
    const auto state = currentAppState();
    const auto unitActive = hasActiveDevice();

    broadcastChange (ChangeInfo (*info));
    handleDeviceMessage (*info, state);

    if (hasActiveDevice() != unitActive)
        commandStatesChanged();
}

// Buttons bound to a command (the sync button, the toolbars) follow the
// command's state only when told: otherwise not before the next focus change.
void BelvoraContentComponent::commandStatesChanged()
{
    if (auto* manager = MainAppWindow::getApplicationCommandManager())
        manager->commandStatusChanged();
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
            if (! downloading && ! connecting)
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

        case Info::downloadFailed:         downloadIncomplete (m.text, m.value2 != 0); break;
        case Info::descriptorRead:         descriptorRead(); break;
        case Info::devicesMade:            bar.resetCounters(); break;
        case Info::scanFinished:           scanEnded (m.value1, m.value2 != 0, state); break;
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
    statusBar->startTimer (100);

    // Looked at before the fatal error, which a read that fails records before it ends.
    auto* content = Nexus::getContentManager();
    const auto stillConnecting = content != nullptr && content->isConnecting();

    // A start that cannot go on (no master descriptor from anywhere) has only its fatal
    // box to show, which its quit brings: "offline" would be told first and answered for nothing.
    if (const auto* belvora = Belvora::getInstance(); belvora != nullptr && belvora->getFatalErrorCode() != 0)
        return;

    // A server that is slow to answer is no offline one: its answer tells.
    if (stillConnecting)
    {
        connecting = true;
        signInButton.setEnabled (false);
        statusBar->setStatus (true, "Connecting", "Marrowell server", 1.0);
        return;
    }

    tellNetworkState();
}

void BelvoraContentComponent::descriptorRead()
{
    if (! std::exchange (connecting, false))
        return;

    if (! downloading)
        statusBar->hideProgress();

    if (const auto* belvora = Belvora::getInstance(); belvora == nullptr || belvora->getFatalErrorCode() == 0)
        tellNetworkState();
}

void BelvoraContentComponent::tellNetworkState()
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
}

void BelvoraContentComponent::askToConvertBackups (const juce::String& question)
{
    mismatchQuestionOpen = true;

    if (Alerts::askYesNo (this, "Mismatched Backup Data Found", question))
        if (auto* d = devices())
            dataPage->convertBackups (d->getDeviceVersion (-1));

    mismatchQuestionOpen = false;
}

void BelvoraContentComponent::downloadIncomplete (const juce::String& productName, bool nothingToTell)
{
    downloading = false;
    statusBar->hideProgress();

    // The download tries again by itself: a failure is told once, when its retries have not mended it soon.
    if (downloadFailedBoxOpen || nothingToTell)
        return;

    downloadFailedBoxOpen = true;
    Alerts::showWarning (this, "Download Failed", "Belvora was unable to synchronize content for " + productName
                                                  + " and keeps trying by itself. With " + productName + " connected, Scan for Devices "
                                                  "tries again at once. If the error persists, please contact Marrowell Support.");
    downloadFailedBoxOpen = false;
}

void BelvoraContentComponent::scanEnded (int scanResult, bool afterScan, AppState state)
{
    if (! downloading && ! connecting)
        statusBar->hideProgress();

    // A firmware update runs its own rescan.
    if (updateThread != nullptr)
        return;

    auto* d = devices();
    const int identified = d != nullptr ? d->getNumIdentifiedDevices() : 0;

    // Units identified after the scan connect as at start only while the user has not disconnected one.
    const auto mayConnect = ! (afterScan && disconnectedSinceStart);

    if (identified > 0 && mayConnect && d->getActiveIndex() < 0 && settings().getBoolValue ("autoConnectAtStartup", true))
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

    // Its workspace is closed and stored with the edits; the scan that finds the unit again would replace them.
    if (hasUnsentEdits())
        lostUnitWithEdits = activeDeviceName();

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
    commandStatesChanged();
    doHeldWindowKeysLater();

    if (state == AppState::idle && ! downloading && ! connecting)
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
