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
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "model/SourceTree.h"
#include "platform/Clock.h"
#include "platform/WriteQueue.h"

using namespace SourceTreeIds;

namespace
{
    juce::MessageListener* hub()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getNexus() : nullptr;
    }

    void reportFatalError (int code)
    {
        if (auto* app = Belvora::getInstance())
            app->reportFatalError (code);
    }

    juce::String storedWorkspaceFor (const juce::String& unitName, const juce::String& from, bool fromEarlier)
    {
        return "The workspace stored for " + unitName + " was made for " + (fromEarlier ? "its earlier firmware " : "firmware ") + from;
    }

    const juce::String keptWorkspacePrefix ("working for firmware build ");

    /** The newest copy a conversion kept in the unit's folder; none when there is none. */
    juce::File findKeptWorkspace (const juce::File& folder)
    {
        juce::File newest;

        for (const auto& kept : folder.findChildFiles (juce::File::findFiles, false, keptWorkspacePrefix + "*.mwd"))
            if (newest == juce::File() || kept.getLastModificationTime() > newest.getLastModificationTime())
                newest = kept;

        return newest;
    }
}

void DataPage::loadStoredWorkspace (bool syncFileLoaded)
{
    awaitingSyncFile = false;
    unitDataUnread = false;
    std::unique_ptr<DeviceData> working, otherFirmware;
    juce::File stored;
    juce::Array<juce::File> damaged, unreadable;

    // One that cannot move because its folder cannot be looked into is named by the folder.
    const auto setAside = [&damaged, &unreadable] (const juce::File& unread)
    {
        if (const auto aside = SafeSave::moveAside (unread); aside != juce::File())
            damaged.add (aside);
        else if (FileBytes::findUnreadableFolder (unread.getParentDirectory()) == juce::File())
            unreadable.add (unread);
    };

    // The working file holds the user's edits: whatever became of the sync
    // file, it is the workspace when it fits the unit; one of the unit's old
    // firmware is converted; only one that cannot be read is moved aside.
    if (auto* devices = Nexus::getDeviceManager(); devices != nullptr && devices->getActiveDeviceDataFolder().isNotEmpty())
    {
        const auto folder = devices->getActiveDeviceDataFolder();
        const auto live = devices->getActiveDeviceData();
        const juce::File workingFile (Belvora::getWorkingFile (folder));
        const juce::File syncFile (Belvora::getSyncFile (folder));
        DeviceData::FileInfo info;

        // A copy kept for a conversion without the file it was kept from (an
        // earlier version moved that file itself aside to convert it) is the
        // stored workspace. Not once a firmware update removed the unit's
        // files for a fresh start: then it is an earlier conversion's copy,
        // named when it was made.
        const auto storedFile = FileBytes::isMissing (workingFile) && ! FileBytes::isMissing (syncFile) ? findKeptWorkspace (folder)
                                                                                                          : workingFile;

        // Without the unit's data nothing tells whether the file fits: it stays
        // as it is. A folder or pipe in its place is no workspace either, nor
        // a path that cannot even be looked at (a link loop): that is no missing file.
        if (! FileBytes::isMissing (storedFile) && live != nullptr)
        {
            if (live->matchesFileHeader (storedFile))
                working = DeviceData::loadFromFile (storedFile, live->getFactoryBank());
            else if (DeviceData::readFileInfo (storedFile, info) && info.caps.productId == live->getCapsBlock().productId)
                otherFirmware = DeviceData::loadFromFile (storedFile);

            if (otherFirmware != nullptr)
                stored = storedFile;
            else if (working == nullptr && storedFile == workingFile)
                setAside (workingFile);
        }

        // The unit's data as another firmware left it is no damage: the next download replaces it.
        if (! syncFileLoaded && ! FileBytes::isMissing (syncFile)
            && (! DeviceData::readFileInfo (syncFile, info) || (live != nullptr && live->matchesFileHeader (syncFile))))
            setAside (syncFile);

        needSync = working == nullptr;
        unitDataUnread = working != nullptr && ! syncFileLoaded;
    }

    openSources (std::move (working), damaged, unreadable);
    updateSyncButtonText (needSync);

    if (unitDataUnread)
        readUnitDataUnderWorkspace();
    else if (otherFirmware != nullptr)
        keepStoredWorkspace (std::move (otherFirmware), stored);
}

// The stored file stays where a start finds it until its converted form
// replaces it: a stop at any moment leaves it to be converted again. A copy
// of it is kept first, out of the way of the workspace's saves, under a name
// that a second try takes over as it is. Without room for that copy it is
// not converted at all: moved aside instead, a stop before the end would
// leave no workspace where a start looks.
void DataPage::keepStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& file)
{
    const auto name = file.getSiblingFile (keptWorkspacePrefix + juce::String (stored->getFirmwareVersion().build) + ".mwd");
    auto data = std::make_shared<std::unique_ptr<DeviceData>> (std::move (stored));
    storedWorkspace = StoredWorkspace::converting;
    updateSyncButtonText (needSync);

    autosave->writes.post ([file, name, data, folder = deviceFolder, page = juce::Component::SafePointer<DataPage> (this)]
    {
        const auto kept = SafeSave::keepCopy (file, name, DeviceData::maxFileBytes);
        const auto error = SafeSave::lastError();

        juce::MessageManager::callAsync ([data, folder, file, kept, error, page]
        {
            if (page == nullptr || page->deviceDataSet == nullptr || page->deviceFolder != folder)
                return;

            if (kept != juce::File())
                page->convertStoredWorkspace (std::move (*data), kept);
            else
                page->leaveStoredWorkspace (std::move (*data), file, error);
        });
    });
}

// It stays the workspace's file as it is. A sync would write the unit's data
// over it: one asked for tries the conversion again first, and the unit's
// data is read beside the converted workspace once the copy can be made.
void DataPage::leaveStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& file, int error)
{
    const auto [from, fromEarlier] = describeFirmwareOf (*stored);
    unconvertedWorkspace = std::move (stored);
    unconvertedFile = file;
    storedWorkspace = StoredWorkspace::notConverted;
    updateSyncButtonText (needSync);
    Alerts::showWarning (this, "Workspace Not Converted", getWorkspaceNotConvertedText (deviceName, from, fromEarlier, file, error));
}

bool DataPage::convertBeforeSync()
{
    if (storedWorkspace == StoredWorkspace::converting)
        return true;

    if (storedWorkspace != StoredWorkspace::notConverted || unconvertedWorkspace == nullptr)
        return false;

    keepStoredWorkspace (std::move (unconvertedWorkspace), unconvertedFile);
    return true;
}

std::pair<juce::String, bool> DataPage::describeFirmwareOf (const DeviceData& stored) const
{
    const auto live = deviceDataSet != nullptr ? deviceDataSet->getLiveData() : nullptr;

    // A unit taken back to an earlier firmware finds a workspace of a later one.
    return { formatFirmwareVersion (stored.getFirmwareVersion(), false),
             live == nullptr || stored.getFirmwareVersion().build < live->getFirmwareVersion().build };
}

// The stored workspace stays as it is while the unit's own data is read
// fresh beside it: edits that never reached the unit are not replaced by it.
void DataPage::readUnitDataUnderWorkspace()
{
    juce::Component::SafePointer<DataPage> page (this);

    juce::MessageManager::callAsync ([page]
    {
        if (page == nullptr || ! page->unitDataUnread || page->busy)
            return;

        page->unitReadRequested = true;
        page->perform (CommandIDs::downloadDeviceData);
        page->unitReadRequested = false;
    });
}

void DataPage::convertStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& kept)
{
    const auto live = deviceDataSet != nullptr ? deviceDataSet->getLiveData() : nullptr;
    const auto [from, fromEarlier] = describeFirmwareOf (*stored);

    // Converted, it replaces the stored file: only once a copy of that is kept.
    const bool keptAside = kept != juce::File (Belvora::getWorkingFile (deviceFolder));

    if (live != nullptr && keptAside && startConversion (workspaceConversion, std::move (stored), *live,
                                            [kept, from = from, fromEarlier = fromEarlier] (DataPage& page, std::unique_ptr<DeviceData> converted)
                                            {
                                                page.takeConvertedWorkspace (std::move (converted), kept, from, fromEarlier);
                                            }))
        return;

    takeConvertedWorkspace (nullptr, kept, from, fromEarlier);
}

void DataPage::takeConvertedWorkspace (std::unique_ptr<DeviceData> converted, const juce::File& kept, const juce::String& from,
                                       bool fromEarlier)
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;
    const auto unitFirmware = deviceDataSet != nullptr && deviceDataSet->getLiveData() != nullptr
                                  ? formatFirmwareVersion (deviceDataSet->getLiveData()->getFirmwareVersion(), false) : juce::String();
    storedWorkspace = StoredWorkspace::none;

    // No conversion, or a download meanwhile filled the workspace with the unit's data (the user chose that).
    if (converted == nullptr || work == nullptr || ! work->isSameDeviceType (converted->getCapsBlock()) || ! needSync || busy)
    {
        updateSyncButtonText (needSync);
        dropStoredWorkspace (kept);
        Alerts::showWarning (this, "Workspace Kept", getWorkspaceKeptText (deviceName, from, fromEarlier, unitFirmware, kept));
        return;
    }

    work->deleteAllPresets();
    work->clearSetup();
    work->copyPresetsFrom (*converted);
    work->setSetup (converted->getSetup(), false);
    work->setModified (true);

    needSync = false;
    unitDataUnread = true;
    buildSourceTree (deviceCategory);
    updateSyncButtonText (needSync);
    sourceSelectionChanged();
    notifyPresetDataChanged (getDeviceNode(), juce::Array<int>());

    // Written at once: until then a start converts the stored file again.
    handOverWorkspace();

    Alerts::showInfo (this, "Workspace Converted", getWorkspaceConvertedText (deviceName, from, fromEarlier, unitFirmware, kept));
    readUnitDataUnderWorkspace();
}

// The stored file is kept aside whole: a start no longer finds it to convert.
// (What a save wrote there meanwhile stays.)
void DataPage::dropStoredWorkspace (const juce::File& kept)
{
    const juce::File stored (Belvora::getWorkingFile (deviceFolder));

    if (deviceFolder.isEmpty() || kept == stored)
        return;

    autosave->writes.post ([stored, kept]
    {
        if (FileBytes::haveSameContent (stored, kept, DeviceData::maxFileBytes))
            stored.deleteFile();
    });
}

juce::String DataPage::getWorkspaceConvertedText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                                  const juce::String& to, const juce::File& kept)
{
    return storedWorkspaceFor (unitName, from, fromEarlier) + " and has been converted to firmware "
         + to + ". The stored file is kept as it was in \"" + kept.getFullPathName() + "\".";
}

juce::String DataPage::getWorkspaceNotConvertedText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                                     const juce::File& stored, int error)
{
    const auto stays = "It stays as it was in \"" + stored.getFullPathName() + "\"";

    if (SaveFailure::isOutOfRoom (error))
        return storedWorkspaceFor (unitName, from, fromEarlier) + " and was not converted: the disk has no room for the conversion. "
             + stays + "; once there is room, a sync converts it first.";

    return storedWorkspaceFor (unitName, from, fromEarlier) + " and was not converted. " + stays + "; a sync tries to convert it first. "
         + SaveFailure::describeFailure ("The copy of it kept through the conversion could not be made", { error });
}

juce::String DataPage::getWorkspaceKeptText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                             const juce::String& to, const juce::File& kept)
{
    return storedWorkspaceFor (unitName, from, fromEarlier) + " and could not be taken over for "
         + (to.isNotEmpty() ? "firmware " + to : juce::String ("the firmware it runs now")) + ". It is kept as it was in \""
         + kept.getFullPathName() + "\".";
}

void DataPage::showDamagedFiles (const juce::Array<juce::File>& files, const juce::Array<juce::File>& unreadable)
{
    const auto namesOf = [] (const juce::Array<juce::File>& list)
    {
        juce::StringArray names;

        for (const auto& file : list)
            names.add (file.getFullPathName());

        return names.joinIntoString ("\n");
    };

    juce::StringArray parts;

    if (! files.isEmpty())
        parts.add ("Belvora could not read the following files. They were moved aside as they are, "
                   "and nothing was written over them:\n\n" + namesOf (files));

    if (! unreadable.isEmpty())
        parts.add ("Belvora cannot read the following (no permission, or the drive fails to read them). They are left as they are: "
                   "what they hold is not shown, and nothing can be saved there until they can be read:\n\n" + namesOf (unreadable));

    if (! parts.isEmpty())
        Alerts::showWarning (this, "File Error", parts.joinIntoString ("\n\n"));
}

void DataPage::refreshUnitPicture()
{
    auto* content = Nexus::getContentManager();

    if (content == nullptr || caps == nullptr)
        return;

    if (const auto picture = content->getProductImage (caps->caps.productId, deviceName); picture != browser.getUnitPicture())
        browser.setUnitPicture (picture);
}

// Packs come from the server: offline there is no cloud to show.
void DataPage::openCloud()
{
    auto* content = Nexus::getContentManager();
    cloudManager.reset();

    if (const auto& live = deviceDataSet->getLiveData(); content != nullptr && content->isOnline() && caps != nullptr && live != nullptr)
        cloudManager = std::make_unique<CloudArchiveManager> (*content, caps->caps, live->getFirmwareVersion());
}

void DataPage::openSources (std::unique_ptr<DeviceData> working, juce::Array<juce::File> damaged, juce::Array<juce::File> unreadable)
{
    auto* devices = Nexus::getDeviceManager();
    auto* content = Nexus::getContentManager();

    if (devices == nullptr)
        return;

    if (auto unitCaps = devices->getActiveDeviceCaps())
        caps = unitCaps;

    deviceDataSet = new DataSet (devices->getActiveDeviceData(), std::move (working));
    deviceFolder = devices->getActiveDeviceDataFolder();
    deviceName = devices->getActiveDeviceDisplayName();

    // Whatever the unit's folder holds is out of reach, and a sync could save nothing there: said, not offered in silence.
    if (const auto hidden = FileBytes::findUnreadableFolder (juce::File (deviceFolder)); hidden != juce::File())
        unreadable.addIfNotAlreadyThere (hidden);
    downloadedSlots.clear();
    unsaved.clear();

    LocalArchiveManager::close (std::move (archiveManager));

    if (content != nullptr && caps != nullptr && hub() != nullptr)
    {
        archiveManager = std::make_unique<LocalArchiveManager> (*content, caps->caps, deviceName, *hub(), &reportFatalError);
        archiveManager->setSaveListener ([page = juce::Component::SafePointer<DataPage> (this)]
        {
            if (page != nullptr)
                page->backupSaveEnded();
        });
        // Filled later when deleted backups are settled first: what it found is told then.
        archiveManager->setTreeListener ([page = juce::Component::SafePointer<DataPage> (this)]
        {
            if (page != nullptr && page->archiveManager != nullptr)
            {
                page->askAboutBackupFormats();
                page->showDamagedFiles (page->archiveManager->takeDamagedFiles(), page->archiveManager->takeUnreadableFiles());
            }
        });
        archiveManager->reloadTree();
        damaged.addArray (archiveManager->takeDamagedFiles());

        for (const auto& file : archiveManager->takeUnreadableFiles())
            unreadable.addIfNotAlreadyThere (file);

        askAboutBackupFormats();

        refreshUnitPicture();
    }

    openCloud();

    if (caps != nullptr)
    {
        panels->grid().clearClipboard();
        panels->grid().setCaps (*caps);
        panels->grid().rebuildButtons();
        panels->presetDetails().setCaps (*caps);
        panels->presetDetails().setSelectedPresets ({});
        panels->presetDetails().rebuildStepButtons();
        panels->resized();
    }

    undoManager.clearUndoHistory();
    purgeDeletedBackups();

    rootTree = SourceTree::createNode (SourceTreeIds::root, "Root Node");

    for (auto* category : { deviceCategory, archiveCategory, cloudCategory })
        buildSourceTree (category);

    browser.setSourceTree (this, rootTree);
    ensureSelection (true);
    resized();
    showDamagedFiles (damaged, unreadable);
}

namespace
{
    /** Runs the message loop until the writes handed over have told that they
        ended (each by a message, which comes after whatever its writes posted):
        the window draws and takes keys while the disk is slow, and without
        messages the loop wakes 25 times a second. A program already ending
        runs no loop and shows no window: then it waits. */
    void runLoopUntilTold (const std::shared_ptr<int>& untold, const std::function<void()>& waitInstead)
    {
        constexpr int sliceMs = 40;
        auto* messages = juce::MessageManager::getInstance();

        while (*untold > 0)
        {
            if (! messages->runDispatchLoopUntil (sliceMs))
            {
                waitInstead();
                return;
            }
        }
    }
}

struct DataPage::WritesBeforeClose
{
    bool index = true, work = true, live = true, settings = true;
    int error = 0;   // what the system said of the workspace's
};

DataPage::WritesBeforeClose DataPage::writeBeforeClose (bool saveDeviceData, bool skipBackupIndex, bool quitting)
{
    struct Results
    {
        bool work = true, live = true;   // written on the writes thread, read once it has told
        int error = 0;
    };

    auto results = std::make_shared<Results>();
    auto untold = std::make_shared<int> (0);   // message thread only
    const auto told = [untold] { --*untold; };
    WritesBeforeClose outcome;

    // Each written by its own lane of the writes thread, after what it was handed before.
    if (! skipBackupIndex && archiveManager != nullptr)
    {
        outcome.index = archiveManager->saveBackupIndexInBackground();
        ++*untold;
        archiveManager->afterBackgroundSaves ([] {}, told);
    }

    if (saveDeviceData && deviceDataSet != nullptr && deviceFolder.isNotEmpty() && ! needSync)
    {
        std::shared_ptr<const DeviceData> work, live;

        if (auto* data = deviceDataSet->getWorkingData())
            work = data->clone (false);

        // Until the unit's data is read, the live copy is not what the unit holds.
        live = unitDataUnread ? nullptr : deviceDataSet->getLiveData();

        ++*untold;
        autosave->writes.post ([results, work, live, folder = juce::File (deviceFolder)]
        {
            results->work = writeUnitFile (work.get(), folder, true, results->error);
            results->live = writeUnitFile (live.get(), folder, false, results->error);
        }, told);
    }

    // With nothing open, only a quit has the settings to answer for.
    const bool settingsAnswered = saveDeviceData && (deviceDataSet != nullptr || quitting);

    if (settingsAnswered)
    {
        ++*untold;
        BelvoraSettings::saveInBackground (told);
    }
    else if (saveDeviceData)
    {
        BelvoraSettings::saveInBackground();
    }

    runLoopUntilTold (untold, [this]
    {
        autosave->writes.waitUntilIdle();
        BelvoraSettings::waitForWrites();

        if (archiveManager != nullptr)
            archiveManager->waitForBackgroundSaves();
    });

    outcome.index = outcome.index && (archiveManager == nullptr || ! archiveManager->getUnsaved().index);
    outcome.work = results->work;
    outcome.live = results->live;
    outcome.error = results->error;
    outcome.settings = ! settingsAnswered || ! BelvoraSettings::hasUnsavedSettings();
    return outcome;
}

void DataPage::closeSources (bool saveDeviceData, bool skipBackupIndex, bool quitting)
{
    // Its question runs the message loop, which may bring another close.
    if (closingSources)
        return;

    const juce::ScopedValueSetter<bool> closing (closingSources, true);

    // A title still being typed is kept like any other edit (a quit leaves it no focus loss).
    browser.commitRename();
    autosave->cancel();
    bool indexSaved = false;

    for (;;)
    {
        const auto outcome = writeBeforeClose (saveDeviceData, skipBackupIndex, quitting);

        // An edit made while they were written is written too.
        if (autosave->isSaveDue())
        {
            autosave->cancel();
            continue;
        }

        if (! skipBackupIndex && archiveManager != nullptr)
        {
            indexSaved = outcome.index;
            unsaved.update (UnsavedWork::Part::backups, unsavedBackups(), archiveManager->getUnsaved().error);
        }

        if (saveDeviceData && deviceDataSet != nullptr && deviceFolder.isNotEmpty() && ! needSync)
            unsaved.update (UnsavedWork::Part::workspace, unsavedWorkspace (outcome.work, outcome.live), outcome.error);

        if (saveDeviceData)
            unsaved.update (UnsavedWork::Part::settings, outcome.settings ? juce::StringArray()
                                                                          : juce::StringArray (UnsavedWork::settingsItem()),
                            BelvoraSettings::getLastSaveError());

        if (unsaved.isEmpty() || ! saveDeviceData)
            break;

        // The user may free space and try again; what is left otherwise is named.
        // Only the button itself leaves it unsaved: Escape or a closed box tries again.
        enum { tryAgain = 1, closeAnyway };
        juce::Array<Alerts::Choice> choices;
        choices.add ({ "Try Again", tryAgain, juce::KeyPress (juce::KeyPress::returnKey), true });
        choices.add ({ UnsavedWork::closeAnywayText (quitting), closeAnyway });
        const auto answer = Alerts::showChoices (juce::MessageBoxIconType::WarningIcon, this, "File Error",
                                                 UnsavedWork::closingMessage (unsaved.getItems(), quitting, unsaved.getErrors()), choices);

        // A box that could not be shown (the program is ending) answers nothing:
        // what could be written has been.
        if (answer != tryAgain)
            break;
    }

    unsaved.clear();
    saveBrowserLayout();

    // The index no longer names the deleted backups: now their files may go.
    if (indexSaved)
        purgeDeletedBackups();

    deletedBackups.clear();
    deviceFolder.clear();
    deviceName.clear();
    deviceDataSet = nullptr;
    rootTree = {};
    undoManager.clearUndoHistory();
    browser.setSourceTree (nullptr, {});
    showSource ({}, {}, viewEmpty, {}, detailsEmpty);

    pendingSendData.reset();
    downloadedSlots.clear();
    importRun.reset();
    mwdRun.reset();
    LocalArchiveManager::close (std::move (archiveManager));
    cloudManager.reset();
    savedLiveData.reset();
    liveBeingWritten.reset();
    caps.reset();
    workspaceConversion.reset();
    storedWorkspace = StoredWorkspace::none;
    unconvertedWorkspace.reset();
    needSync = true;
    busy = awaitingSyncFile = unitDataUnread = readingUnitOnly = false;
    updateSyncButtonText (true);

    if (std::exchange (connectWaiting, false) && ! quitting)
        juce::MessageManager::callAsync ([page = juce::Component::SafePointer<DataPage> (this)]
        {
            auto* devices = Nexus::getDeviceManager();

            if (page != nullptr && devices != nullptr && devices->getActiveIndex() >= 0)
                page->deviceConnectionChanged (true, false);
        });
}

bool DataPage::convertBackups (const FirmwareVersion& unitVersion)
{
    if (archiveManager == nullptr || ! archiveManager->startConversion (unitVersion))
        return false;

    buildSourceTree (archiveCategory);
    BackupConversionDialog::launch (archiveManager->getConversionProgress(), this);
    return true;
}

void DataPage::save (UnsavedWork::Part part)
{
    // The disk may have room again: what an earlier save of either part
    // could not write goes with this one, whatever it was for.
    if (part == UnsavedWork::Part::backups || ! unsaved.isEmpty (UnsavedWork::Part::backups))
        handOverBackups();

    if (part == UnsavedWork::Part::workspace || ! unsaved.isEmpty (UnsavedWork::Part::workspace))
        handOverWorkspace();

    if (part != UnsavedWork::Part::settings && BelvoraSettings::hasUnsavedSettings())
        handOverSettings();
}

void DataPage::handOverSettings()
{
    BelvoraSettings::saveInBackground ([page = juce::Component::SafePointer<DataPage> (this)]
    {
        if (page != nullptr)
            page->settingsSaveEnded();
    });
}

// Read when the news arrives, not when the save ran: a later save may have
// mended (or failed) since.
void DataPage::settingsSaveEnded()
{
    if (closingSources)
        return;

    tellUnsaved (unsaved.update (UnsavedWork::Part::settings, ! BelvoraSettings::hasUnsavedSettings() ? juce::StringArray()
                                                                      : juce::StringArray (UnsavedWork::settingsItem()),
                                 BelvoraSettings::getLastSaveError()));
}

void DataPage::handOverBackups()
{
    if (archiveManager != nullptr)
        archiveManager->saveBackupIndexInBackground();
}

void DataPage::handOverWorkspace()
{
    // A download in progress leaves the copy half filled: its end saves it.
    if (deviceDataSet == nullptr || deviceFolder.isEmpty() || needSync || busy)
        return;

    const juce::File folder (deviceFolder);
    std::shared_ptr<const DeviceData> work;

    if (auto* data = deviceDataSet->getWorkingData())
        work = data->clone (false);

    // The unit's data is a snapshot nobody changes: only a new one is written.
    auto live = unitDataUnread ? nullptr : deviceDataSet->getLiveData();

    if (live == savedLiveData)
        live = nullptr;
    else
        savedLiveData = live;

    autosave->writes.post ([folder, work, live, page = juce::Component::SafePointer<DataPage> (this)]
    {
        int error = 0;
        const bool workWritten = writeUnitFile (work.get(), folder, true, error);
        const bool liveWritten = writeUnitFile (live.get(), folder, false, error);
        const bool liveTried = live != nullptr;

        juce::MessageManager::callAsync ([page, folder, workWritten, liveWritten, liveTried, error]
        {
            if (page != nullptr)
                page->workspaceSaveEnded (folder.getFullPathName(), workWritten, liveWritten, liveTried, error);
        });
    });
}

void DataPage::waitForWorkspaceSaves()
{
    autosave->writes.waitUntilIdle();
}

bool DataPage::isWorkspaceSaveDue() const
{
    return autosave->isWorkspaceSaveDue();
}

void DataPage::workspaceSaveEnded (const juce::String& folder, bool workWritten, bool liveWritten, bool liveTried, int error)
{
    // The sources it was for are closed: their close saved them.
    if (closingSources || folder != deviceFolder)
        return;

    // The unit's data is written again with the next save.
    if (! liveWritten)
        savedLiveData = nullptr;

    // A save handed over before an earlier one failed to write the unit's data left
    // that data alone: the failure stands until the data is written (by a later save,
    // or by a download, which writes it itself).
    if (! liveTried && savedLiveData == nullptr && unsaved.getItems().contains (UnsavedWork::unitDataItem (deviceName)))
        liveWritten = false;

    tellUnsaved (unsaved.update (UnsavedWork::Part::workspace, unsavedWorkspace (workWritten, liveWritten), error));
}

void DataPage::askAboutBackupFormats()
{
    juce::String question;

    if (archiveManager != nullptr && hub() != nullptr && archiveManager->checkBackupFormats (question))
        hub()->postMessage (new DeviceInfoMessage (DeviceInfoMessage::askConvertBackups, 0, 0, question));
}

void DataPage::backupSaveEnded()
{
    if (closingSources || archiveManager == nullptr)
        return;

    tellUnsaved (unsaved.update (UnsavedWork::Part::backups, unsavedBackups(), archiveManager->getUnsaved().error));
}

juce::StringArray DataPage::unsavedWorkspace (bool workWritten, bool liveWritten) const
{
    juce::StringArray items;

    if (! workWritten)
        items.add (UnsavedWork::workspaceItem (deviceName));

    if (! liveWritten)
        items.add (UnsavedWork::unitDataItem (deviceName));

    return items;
}

juce::StringArray DataPage::unsavedBackups() const
{
    juce::StringArray items;

    if (archiveManager == nullptr)
        return items;

    const auto backups = archiveManager->getUnsaved();

    for (const auto& title : backups.backups)
        items.add (UnsavedWork::backupItem (title));

    if (backups.index)
        items.add (UnsavedWork::indexItem());

    return items;
}

void DataPage::tellUnsaved (UnsavedWork::Change change)
{
    if (change == UnsavedWork::Change::started)
        Alerts::showWarning (this, "File Error", UnsavedWork::failedMessage (unsaved.getItems(), unsaved.getErrors()));
    else if (change == UnsavedWork::Change::ended)
        Alerts::showInfo (this, "Saved", UnsavedWork::savedMessage());
}

void DataPage::deleteBackupFilesLater (const juce::ValueTree& node)
{
    if (! node.isValid())
        return;

    // The unit's backups go aside at once: a kill must not bring them back.
    if (archiveManager != nullptr)
        archiveManager->backupsRemoved (node);

    deletedBackups.addIfNotAlreadyThere (node);
}

void DataPage::purgeDeletedBackups()
{
    for (const auto& removed : deletedBackups)
    {
        // An undo put it back: it stays.
        if (rootTree.isValid() && removed.isAChildOf (rootTree))
            continue;

        juce::Array<juce::ValueTree> entries;
        SourceTree::collectNodes (removed, entries);

        for (const auto& entry : entries)
        {
            auto* backup = SourceTree::getArchive (entry);
            const auto dataFile = backup != nullptr ? backup->getDataFile() : juce::File();

            // The backup manager's own went aside; files of another home are never deleted.
            if (dataFile == juce::File() || ! LocalArchiveManager::isInsideDataFolder (dataFile)
                || (archiveManager != nullptr && dataFile.getParentDirectory() == archiveManager->getBackupFolder()))
                continue;

            backup->deleteFiles();
        }
    }

    deletedBackups.clear();
}

void DataPage::deleteDeviceWorkingFiles()
{
    autosave->cancel();
    auto* devices = Nexus::getDeviceManager();
    const auto folder = devices != nullptr ? devices->getActiveDeviceDataFolder() : juce::String();

    if (folder.isEmpty())
        return;

    // After the saves still on their way, which would bring them back. A
    // stored workspace not converted yet stays, to be converted for the new firmware.
    autosave->writes.post ([folder, keepWorking = storedWorkspace != StoredWorkspace::none]
    {
        juce::File (Belvora::getSyncFile (folder)).deleteFile();

        if (! keepWorking)
            juce::File (Belvora::getWorkingFile (folder)).deleteFile();
    });
}

void DataPage::removeSourceNode (const juce::String& category)
{
    if (auto node = findCategoryNode (category); node.isValid())
        rootTree.removeChild (node, nullptr);
}

void DataPage::buildSourceTree (const juce::String& category)
{
    if (! rootTree.isValid())
        return;

    if (category == deviceCategory)
    {
        const bool hasData = deviceDataSet != nullptr && deviceDataSet->getWorkingData() != nullptr;

        // The unit's node stays the same node while the sources are open: edits and their undo refer to it.
        if (auto node = findCategoryNode (deviceCategory); node.isValid() && hasData)
        {
            node.setProperty (label, getWorkspaceLabel(), nullptr);
            node.setProperty (data, deviceDataSet.get(), nullptr);
        }
        else
        {
            removeSourceNode (category);

            if (! hasData)
                return;

            auto created = SourceTree::createDeviceCategory (getWorkspaceLabel());
            created.setProperty (data, deviceDataSet.get(), nullptr);
            rootTree.addChild (created, 0, nullptr);
        }
    }
    else if (category == archiveCategory)
    {
        removeSourceNode (category);

        if (archiveManager != nullptr)
            rootTree.addChild (archiveManager->getTree(), juce::jmin (1, rootTree.getNumChildren()), nullptr);
    }
    else if (category == cloudCategory)
    {
        removeSourceNode (category);

        if (cloudManager != nullptr)
            rootTree.addChild (cloudManager->getTree(), juce::jmin (2, rootTree.getNumChildren()), nullptr);
    }
    else
    {
        return;
    }

    ensureSelection (true);
}

void DataPage::refreshWorkspaceLabel()
{
    if (auto node = getDeviceNode(); node.isValid())
        node.setProperty (label, getWorkspaceLabel(), nullptr);
}

void DataPage::ensureSelection (bool keepCurrent)
{
    if (browser.getRootItem() == nullptr)
        return;

    if (browser.getTreeView().getNumSelectedItems() == 0 || ! keepCurrent)
        browser.selectItemFor (getDeviceNode());
}

void DataPage::sourceSelectionChanged()
{
    const auto item = getSelectedNode();

    if (! item.isValid())
        return;

    const bool focusInBrowser = browser.hasKeyboardFocus (true);
    const auto where = SourceTree::getCategoryOf (item);

    if (where.category.isVoid())
        return;

    if (where.category == juce::var (deviceCategory))
    {
        if ((needSync && ! busy) || deviceDataSet == nullptr)
            return showSource ("Workspace", item, viewSyncPrompt, item, detailsEmpty);

        const auto* set = SourceTree::getDataSet (item);
        const bool unitItem = item.hasType (SourceTreeIds::category) || set == deviceDataSet.get();
        return showSource ("Workspace", item, viewPresetGrid, item, unitItem ? detailsPreset : detailsEmpty);
    }

    const auto title = titleOf (item);

    if (auto* set = SourceTree::getDataSet (item))
    {
        tellIfDamaged (*set);

        const bool presetDetails = ! focusInBrowser && getViewItem() == item && ! panels->getSelection().isEmpty();
        return showSource (title, item, viewPresetGrid, item, presetDetails ? detailsPreset : detailsDataSet);
    }

    // A backup tile chosen in the group view shows its details.
    const auto tile = getViewItem() == item ? panels->getDataView().getSelectedGroupItem() : juce::ValueTree();

    if (! focusInBrowser && tile.hasType (SourceTreeIds::node))
        return showSource (title, item, viewGroupTiles, tile, detailsDataSet);

    showSource (title, item, viewGroupTiles, item, detailsGroup);
}

void DataPage::tellIfDamaged (DataSet& set)
{
    // A data file that was missing may be back.
    if (auto* archive = set.getArchive(); archive != nullptr && archive->retryMissingData())
        browser.getTreeView().repaint();

    // Reading the working copy reads the backup's body, which tells whether it is whole.
    const auto* backup = set.getWorkingData() == nullptr ? set.getArchive() : nullptr;

    if (backup != nullptr && backup->isDataMissing())
        return tellDataMissing (*backup);

    if (backup == nullptr || ! backup->isDamaged() || damagedBackupsTold.contains (backup->getUuid()))
        return;

    damagedBackupsTold.add (backup->getUuid());
    browser.getTreeView().repaint();
    Alerts::showWarning (this, "Damaged Backup",
                         "The backup \"" + backup->getTitle() + "\" cannot be opened: its data file \""
                         + backup->getDataFile().getFullPathName() + "\" is damaged. The file has been left as it is.");
}

void DataPage::tellDataMissing (const DeviceDataArchive& backup)
{
    if (missingBackupsTold.contains (backup.getUuid()))
        return;

    missingBackupsTold.add (backup.getUuid());
    Alerts::showWarning (this, "Backup Data Missing", getDataMissingText (backup.getTitle(), backup.getDataFile()));
}

juce::String DataPage::getDataMissingText (const juce::String& title, const juce::File& dataFile)
{
    return "The backup \"" + title + "\" cannot be opened now: its data file \"" + dataFile.getFullPathName()
         + "\" is missing or cannot be read. The backup stays in the list as it is and opens once the file is back.";
}

void DataPage::showSource (const juce::String& title, const juce::ValueTree& viewItem, int viewKind,
                           const juce::ValueTree& detailsItem, int detailsKind)
{
    panels->show (title, viewItem, viewKind, detailsItem, detailsKind);
    refreshToolbarState (true);
}

void DataPage::updateSyncButtonText (bool showSyncButton)
{
    // The sync button clicked goes, the workspace comes: the keys go with it (Ctrl+A selects its presets).
    const auto keysOnTheButton = syncButton.hasKeyboardFocus (false) && ! showSyncButton;

    resizerBar->setVisible (! showSyncButton);
    panels->setVisible (! showSyncButton);
    browser.setVisible (! showSyncButton);
    toolbar.setEnabled (! showSyncButton);

    syncButton.setButtonText ("Click To Sync With " + deviceName);
    syncButton.setVisible (showSyncButton && storedWorkspace != StoredWorkspace::converting);
    conversionNote.setText ("Converting The Workspace Stored For " + deviceName + "...", juce::dontSendNotification);
    conversionNote.setVisible (showSyncButton && storedWorkspace == StoredWorkspace::converting);
    repaint();

    if (keysOnTheButton)
        focusWorkspace();
}

void DataPage::focusWorkspace()
{
    if (auto& workspace = panels->getDataView().getViewport(); workspace.isShowing())
        workspace.grabKeyboardFocus();
}

void DataPage::saveBrowserLayout()
{
    const auto total = browser.getWidth() + (resizerBar != nullptr ? resizerBar->getWidth() : 0) + panels->getWidth();

    // Before the first layout there is nothing to remember.
    if (total <= 0 || browser.getWidth() <= 0)
        return;

    Belvora::getUserSettings().setValue ("browserWindowSize", -((double) browser.getWidth() / (double) total));
}
