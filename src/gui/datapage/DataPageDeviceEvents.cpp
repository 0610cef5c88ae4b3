#include "gui/datapage/DataPage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "archive/CloudArchiveManager.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/datapage/DataPageImportRun.h"
#include "gui/datapage/DataPageParts.h"
#include "gui/datapage/DataPagePanels.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/dialogs/BackupConversionDialog.h"
#include "gui/widgets/Alerts.h"
#include "model/DeviceData.h"
#include "model/SaveFailure.h"
#include "model/SourceTree.h"
#include "platform/Clock.h"
#include "platform/WriteQueue.h"

using namespace SourceTreeIds;

namespace
{
    AppState appState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::idle;
    }

    bool isRead (int command)
    {
        return command == DeviceCommandMessage::readAll || command == DeviceCommandMessage::readPresets
            || command == DeviceCommandMessage::readSetup;
    }

    /** Emptied for a read of the unit: nothing the user made is in it, so there is no edit to send. */
    void emptyForRead (DeviceData& work)
    {
        work.deleteAllPresets();
        work.clearSetup();
        work.clearModified (false);
    }

    juce::String errorTitle (DeviceError code)
    {
        switch (code)
        {
            case DeviceError::internal:         return "Internal Error";
            case DeviceError::noMemory:         return "Memory Full";
            case DeviceError::versionConflict:  return "Incompatible Data";
            default:                            return "Device Error";
        }
    }
}

void DataPage::changeNotify (const ChangeInfo& info)
{
    if (info.kind == ChangeInfo::appStateChanged)
    {
        if (info.newAppState == static_cast<int> (AppState::firmwareUpdate) && deviceDataSet != nullptr)
        {
            // Kept until the update ends: one that never reached the unit gives it back.
            // One not synced holds nothing (a stored one not converted yet stays on disk).
            if (const auto* work = deviceDataSet->getWorkingData(); work != nullptr && ! needSync)
                workspaceBeforeUpdate = work->clone (false);

            deleteDeviceWorkingFiles();
            closeSources (false, false);
        }

        return;
    }

    if (info.kind == ChangeInfo::commandInvoked)
    {
        if (info.commandId == CommandIDs::downloadDeviceData && deviceDataSet != nullptr)
        {
            readingUnitOnly = unitReadRequested;

            if (readingUnitOnly)
                return;

            if (auto* work = deviceDataSet->getWorkingData())
                emptyForRead (*work);

            needSync = busy = true;
            refreshWorkspaceLabel();
            updateSyncButtonText (false);
            ensureSelection (false);
            sourceSelectionChanged();
        }

        return;
    }

    const auto& m = info.message;

    switch (m.code)
    {
        case DeviceInfoMessage::connectedDeviceChanged:  deviceConnectionChanged (m.value1 != 0, m.value2 != 0); break;
        case DeviceInfoMessage::aboutToQuit:             closeSources (true, false, true); break;
        case DeviceInfoMessage::backupConversionDone:
            // The manager takes the conversion's end first: then its tree is the current one.
            if (archiveManager != nullptr)
                archiveManager->isConverting();

            buildSourceTree (archiveCategory);
            break;

        // A unit is usable before its product's pictures and packs come: what
        // was shown without them is read again as the download goes on.
        case DeviceInfoMessage::downloadStatus:
        case DeviceInfoMessage::downloadFinished:
        case DeviceInfoMessage::downloadFailed:
            refreshUnitPicture();

            if (cloudManager != nullptr && ! cloudManager->isLoading() && cloudManager->getTree().getNumChildren() == 0)
                cloudManager->loadPacksFolder();
            break;

        // A server slow to answer at the start brings the packs when it does.
        case DeviceInfoMessage::descriptorRead:
            if (deviceDataSet != nullptr && cloudManager == nullptr)
            {
                openCloud();
                buildSourceTree (cloudCategory);
            }
            break;

        case DeviceInfoMessage::presetRead:
        case DeviceInfoMessage::presetSlotEmpty:         storeDownloadedPreset (m.value1, true, m.preset); break;
        case DeviceInfoMessage::presetWritten:           storeDownloadedPreset (m.value1, false); break;
        case DeviceInfoMessage::presetDeleteSent:        deleteDownloadedPreset (m.value1); break;

        case DeviceInfoMessage::commandDone:
            if (m.command.command == DeviceCommandMessage::loadSyncFile)
                commandDone (m.command);
            else if (deviceDataSet != nullptr)
            {
                commandDone (m.command);
                refreshToolbarState (true);
            }
            break;

        case DeviceInfoMessage::commandFailed:
        case DeviceInfoMessage::commandAborted:
            downloadedSlots.clear();

            if (m.code == DeviceInfoMessage::commandAborted && m.command.command == DeviceCommandMessage::readAll)
                readingUnitOnly = false;

            if (m.code == DeviceInfoMessage::commandFailed)
                commandFailed (m.command);
            break;

        default:
            break;
    }
}

void DataPage::deviceConnectionChanged (bool connected, bool updateStarting)
{
    // The close still saves what it holds; what came meanwhile waits until it ends.
    if (closingSources)
    {
        connectWaiting = connected && ! updateStarting;
        return;
    }

    if (! connected)
        return closeSources (true, false);

    const auto state = appState();

    if ((state != AppState::idle && state != AppState::scanning) || updateStarting)
        return;

    auto* devices = Nexus::getDeviceManager();
    const auto unitCaps = devices != nullptr ? devices->getActiveDeviceCaps() : nullptr;

    if (unitCaps == nullptr || ! unitCaps->isBuildValid || unitCaps->caps.numPresets <= 0)
        return updateSyncButtonText (needSync);

    needSync = true;

    // "previous": the stored workspace comes back once the unit has loaded its sync file.
    if (Belvora::getDataSyncMethod() == 2 && devices->loadActiveDeviceSyncFile())
    {
        awaitingSyncFile = true;
        return;
    }

    openSources (nullptr);

    if (Belvora::getDataSyncMethod() == 0)
        juce::MessageManager::callAsync ([] { MainAppWindow::getApplicationCommandManager()->invokeDirectly (CommandIDs::downloadDeviceData, true); });

    updateSyncButtonText (needSync);
}

void DataPage::firmwareUpdateEnded (bool unitUntouched)
{
    auto kept = std::move (workspaceBeforeUpdate);
    auto* devices = Nexus::getDeviceManager();

    if (! unitUntouched || devices == nullptr || devices->getActiveIndex() < 0 || deviceDataSet != nullptr)
        return;

    // Nothing to give back: the sources open as when the unit came.
    if (kept == nullptr)
        return deviceConnectionChanged (true, false);

    needSync = false;
    openSources (std::move (kept));
    updateSyncButtonText (needSync);

    // The update's start removed the stored files: they come back with the workspace.
    autosave->workspaceChanged();
}

void DataPage::storeDownloadedPreset (int index, bool copyFromUnit, std::shared_ptr<const Preset> arrived)
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

    if (work == nullptr || ! juce::isPositiveAndBelow (index, work->getNumSlots()) || (copyFromUnit && readingUnitOnly))
        return;

    if (copyFromUnit)
    {
        // The grid fills as the presets arrive; the unit's snapshot at the
        // command's end is taken over slot by slot once more then.
        if (arrived != nullptr)
            work->setPreset (index, std::make_unique<Preset> (*arrived));
        else
            work->deletePreset (index);

        downloadedSlots.add (index);
    }

    work->setPresetModified (index, false);
    notifyPresetDataChanged (getDeviceNode(), index);
}

void DataPage::takeDownloadedPresets()
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;
    const auto& live = deviceDataSet != nullptr ? deviceDataSet->getLiveData() : nullptr;

    if (work == nullptr || live == nullptr || downloadedSlots.isEmpty())
        return downloadedSlots.clear();

    juce::Array<int> slots;

    for (auto index : downloadedSlots)
    {
        if (live->isPresetSlotUsed (index))
            work->copyPreset (index, *live);
        else
            work->deletePreset (index);

        work->setPresetModified (index, false);
        slots.add (index);
    }

    downloadedSlots.clear();
    notifyPresetDataChanged (getDeviceNode(), slots);
}

void DataPage::deleteDownloadedPreset (int index)
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

    if (work == nullptr)
        return;

    // The unit no longer has it either.
    if (const auto& live = deviceDataSet->getLiveData(); live != nullptr && live->isPresetSlotUsed (index))
    {
        auto unit = live->clone (false);
        unit->deletePreset (index);
        deviceDataSet->setLiveData (std::shared_ptr<const DeviceData> (std::move (unit)));
    }

    work->deletePreset (index);
    notifyPresetDataChanged (getDeviceNode(), index);
}

void DataPage::storeDownloadedDeviceData()
{
    auto* devices = Nexus::getDeviceManager();
    const auto live = devices != nullptr ? devices->getActiveDeviceData() : nullptr;

    downloadedSlots.clear();
    const bool underWorkspace = std::exchange (readingUnitOnly, false);

    if (live == nullptr)
        return;

    deviceDataSet->setLiveData (live);

    // The page takes the data once it is on disk, and stays busy until then;
    // the write waits behind the saves handed over before it, not the page.
    if (live->checkSavable() != DeviceData::presetIncomplete)
    {
        liveBeingWritten = live;

        autosave->writes.post ([live, folder = juce::File (deviceFolder), underWorkspace, page = juce::Component::SafePointer<DataPage> (this)]
        {
            int error = 0;
            const bool onDisk = writeUnitFile (live.get(), folder, false, error);

            juce::MessageManager::callAsync ([page, live, onDisk, error, underWorkspace]
            {
                if (page != nullptr)
                    page->downloadedDataWritten (live, onDisk, error, underWorkspace);
            });
        });

        return;
    }

    busy = false;
    Alerts::showWarning (this, "Data Integrity Failure",
                         "Belvora has detected data corruption in the data downloaded from your device. This could be caused by a MIDI "
                         "transmission error. Please try downloading again. If the error persists, please contact Marrowell Support.");

    if (! underWorkspace)
    {
        removeSourceNode (deviceCategory);
        needSync = true;
    }

    showDownloadedData();
}

juce::String DataPage::getDeviceDataNotSavedText (int error)
{
    return SaveFailure::describeFailure ("Belvora was unable to save the device's data to disk", { error }, "Please make sure the drive is not full.");
}

void DataPage::downloadedDataWritten (const std::shared_ptr<const DeviceData>& live, bool onDisk, int error, bool underWorkspace)
{
    // The sources closed meanwhile, or a later download is being written.
    if (closingSources || live != liveBeingWritten)
        return;

    liveBeingWritten = nullptr;
    busy = false;
    unitDataUnread = false;

    if (! onDisk)
    {
        Alerts::showWarning (this, "File Error", getDeviceDataNotSavedText (error));
        showDownloadedData();
        return;
    }

    if (auto* work = underWorkspace ? nullptr : deviceDataSet->getWorkingData())
    {
        work->copyPresetsFrom (*live);
        work->setSetup (live->getSetup(), false);
        work->setModified (true);
        work->clearModified (false);
    }

    savedLiveData = live;
    needSync = false;
    buildSourceTree (deviceCategory);
    autosave->workspaceChanged();
    showDownloadedData();
}

void DataPage::showDownloadedData()
{
    refreshWorkspaceLabel();
    updateSyncButtonText (needSync);
    sourceSelectionChanged();
    notifyPresetDataChanged (getDeviceNode(), juce::Array<int>());   // every slot may have changed
}

void DataPage::commandDone (const DeviceCommandMessage& command)
{
    auto* devices = Nexus::getDeviceManager();

    if (command.command == DeviceCommandMessage::loadSyncFile)
    {
        if (awaitingSyncFile)
            loadStoredWorkspace (true);
        return;
    }

    if (command.command == DeviceCommandMessage::readAll)
        return storeDownloadedDeviceData();

    // The unit's data as a read left it; a write's data is taken from what was sent.
    if (devices != nullptr && isRead (command.command))
        if (auto live = devices->getActiveDeviceData())
            deviceDataSet->setLiveData (live);

    takeDownloadedPresets();

    switch (command.command)
    {
        case DeviceCommandMessage::readPresets:
        case DeviceCommandMessage::writeChangedPresets:
            if (auto* work = deviceDataSet->getWorkingData())
                work->clearModified (true);
            break;

        case DeviceCommandMessage::writeGivenPresets:
        case DeviceCommandMessage::writeAllOfData:
        case DeviceCommandMessage::writeSetup:
        case DeviceCommandMessage::writeGivenSetup:
            takeSentData (command);
            break;

        default:
            break;
    }

    autosave->workspaceChanged();
    refreshWorkspaceLabel();
}

// What went to the unit is now the unit's data, and the workspace's too.
void DataPage::takeSentData (const DeviceCommandMessage& command)
{
    auto* work = deviceDataSet->getWorkingData();
    const auto& sent = command.data;

    if (sent == nullptr || work == nullptr || deviceDataSet->getLiveData() == nullptr)
        return;

    auto unit = deviceDataSet->getLiveData()->clone (false);
    const auto indices = command.command == DeviceCommandMessage::writeAllOfData ? sent->getUsedPresetIndices() : command.arguments;

    for (auto index : indices)
    {
        unit->copyPreset (index, *sent);
        work->copyPreset (index, *sent);
        work->setPresetModified (index, false);
    }

    if (command.command != DeviceCommandMessage::writeGivenPresets && sent->getSetup().isComplete())
    {
        unit->setSetup (sent->getSetup(), false);
        work->setSetup (sent->getSetup(), false);
    }

    deviceDataSet->setLiveData (std::shared_ptr<const DeviceData> (std::move (unit)));
    work->clearModified (true);
    pendingSendData.reset();
    notifyPresetDataChanged (getDeviceNode(), indices);
}

void DataPage::commandFailed (const DeviceCommandMessage& command)
{
    pendingSendData.reset();

    if (command.command == DeviceCommandMessage::loadSyncFile)
    {
        if (awaitingSyncFile)
            loadStoredWorkspace (false);
        return;
    }

    // A failed connection check is a lost unit, which the device manager reports next with its own box.
    if (command.command == DeviceCommandMessage::checkConnection)
        return;

    auto* devices = Nexus::getDeviceManager();
    const bool underWorkspace = command.command == DeviceCommandMessage::readAll && std::exchange (readingUnitOnly, false);

    if (devices == nullptr || devices->getActiveIndex() < 0 || deviceDataSet == nullptr)
        return;

    const auto unit = devices->getDevice (-1);
    const auto code = unit != nullptr && unit->getErrorCode() != DeviceError::none ? unit->getErrorCode() : DeviceError::internal;

    if (underWorkspace)
    {
        busy = false;
    }
    else if (isRead (command.command))
    {
        if (auto* work = deviceDataSet->getWorkingData())
            emptyForRead (*work);

        deviceDataSet->setLiveData (nullptr);
        needSync = true;
        busy = false;
        buildSourceTree (deviceCategory);
        updateSyncButtonText (needSync);
    }

    Alerts::showWarning (this, errorTitle (code), DeviceManager::getErrorText ((int) code, deviceName));
}
