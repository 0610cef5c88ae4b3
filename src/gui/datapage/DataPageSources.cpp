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
#include "model/SafeSave.h"
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
}

void DataPage::loadStoredWorkspace (bool syncFileLoaded)
{
    awaitingSyncFile = false;
    std::unique_ptr<DeviceData> working;
    juce::Array<juce::File> damaged;

    // The working file holds the user's edits: whatever became of the sync
    // file, it is offered as the workspace when it fits the unit, and is
    // otherwise moved aside, never deleted.
    if (auto* devices = Nexus::getDeviceManager(); devices != nullptr && devices->getActiveDeviceDataFolder().isNotEmpty())
    {
        const auto folder = devices->getActiveDeviceDataFolder();
        const auto live = devices->getActiveDeviceData();
        const juce::File workingFile (Belvora::getWorkingFile (folder, false));
        const juce::File syncFile (Belvora::getSyncFile (folder, false));

        if (workingFile.existsAsFile() && live != nullptr && live->matchesFileHeader (workingFile))
            working = DeviceData::loadFromFile (workingFile, live->getFactoryBank());

        for (const auto& unread : { working == nullptr ? workingFile : juce::File(), syncFileLoaded ? juce::File() : syncFile })
            if (const auto aside = SafeSave::moveAside (unread); aside != juce::File())
                damaged.add (aside);

        needSync = ! syncFileLoaded || working == nullptr;
    }

    openSources (std::move (working), damaged);
    updateSyncButtonText (needSync);
}

void DataPage::showDamagedFiles (const juce::Array<juce::File>& files)
{
    if (files.isEmpty())
        return;

    juce::StringArray names;

    for (const auto& file : files)
        names.add (file.getFullPathName());

    Alerts::showWarning (this, "File Error", "Belvora could not read the following files. They were moved aside as they are, "
                                             "and nothing was written over them:\n\n" + names.joinIntoString ("\n"));
}

void DataPage::openSources (std::unique_ptr<DeviceData> working, juce::Array<juce::File> damaged)
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
    downloadedSlots.clear();

    LocalArchiveManager::close (std::move (archiveManager));

    if (content != nullptr && caps != nullptr && hub() != nullptr)
    {
        archiveManager = std::make_unique<LocalArchiveManager> (*content, caps->caps, deviceName, *hub(), &reportFatalError);
        archiveManager->reloadTree();
        damaged.addArray (archiveManager->takeDamagedFiles());

        juce::String question;

        if (archiveManager->checkBackupFormats (question))
            hub()->postMessage (new DeviceInfoMessage (DeviceInfoMessage::askConvertBackups, 0, 0, question));

        browser.setUnitPicture (content->getProductImage (caps->caps.productId, deviceName));
    }

    cloudManager.reset();

    // Packs come from the server: offline there is no cloud to show.
    if (const auto& live = deviceDataSet->getLiveData(); content != nullptr && content->isOnline() && caps != nullptr && live != nullptr)
        cloudManager = std::make_unique<CloudArchiveManager> (*content, caps->caps, live->getFirmwareVersion());

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
    showDamagedFiles (damaged);
}

void DataPage::closeSources (bool saveDeviceData, bool skipBackupIndex)
{
    // A title still being typed is kept like any other edit (a quit leaves it no focus loss).
    browser.commitRename();
    autosave->cancel();
    bool indexSaved = false;

    if (! skipBackupIndex && archiveManager != nullptr)
        indexSaved = archiveManager->saveBackupIndex();

    if (saveDeviceData && deviceDataSet != nullptr && deviceFolder.isNotEmpty() && ! needSync)
    {
        const juce::File folder (deviceFolder);
        bool saved = true;

        if (auto* work = deviceDataSet->getWorkingData())
            saved = work->saveWorkingFile (folder, true) == DeviceData::saved;

        if (auto live = deviceDataSet->getLiveData())
            saved = live->saveWorkingFile (folder, false) == DeviceData::saved && saved;

        if (! saved)
            Alerts::showWarning (this, "File Error", "Belvora was unable to save the device's data to disk. Please make sure the drive is not full.");
    }

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
    caps.reset();
    needSync = true;
    busy = awaitingSyncFile = false;
    updateSyncButtonText (true);
}

bool DataPage::convertBackups (const FirmwareVersion& unitVersion)
{
    if (archiveManager == nullptr || ! archiveManager->startConversion (unitVersion))
        return false;

    buildSourceTree (archiveCategory);
    BackupConversionDialog::launch (archiveManager->getConversionProgress(), this);
    return true;
}

void DataPage::saveBackups()
{
    // Deleted backups keep their files here: an undo may still want them.
    if (archiveManager != nullptr)
        archiveManager->saveBackupIndexInBackground();
}

void DataPage::saveWorkspace()
{
    // A download in progress leaves the copy half filled: its end saves it.
    if (deviceDataSet == nullptr || deviceFolder.isEmpty() || needSync || busy)
        return;

    const juce::File folder (deviceFolder);
    std::shared_ptr<const DeviceData> work;

    if (auto* data = deviceDataSet->getWorkingData())
        work = data->clone (false);

    // The unit's data is a snapshot nobody changes: only a new one is written.
    auto live = deviceDataSet->getLiveData();

    if (live == savedLiveData)
        live = nullptr;
    else
        savedLiveData = live;

    autosave->writes.post ([folder, work, live]
    {
        if (work != nullptr)
            work->saveWorkingFile (folder, true);

        if (live != nullptr)
            live->saveWorkingFile (folder, false);
    });
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
    autosave->cancel();   // a save still on its way would bring them back
    auto* devices = Nexus::getDeviceManager();
    const auto folder = devices != nullptr ? devices->getActiveDeviceDataFolder() : juce::String();

    if (folder.isEmpty())
        return;

    juce::File (Belvora::getSyncFile (folder, false)).deleteFile();
    juce::File (Belvora::getWorkingFile (folder, false)).deleteFile();
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
    Alerts::showWarning (this, "Backup Data Missing",
                         "The backup \"" + backup.getTitle() + "\" cannot be opened now: its data file \""
                         + backup.getDataFile().getFullPathName() + "\" is missing or cannot be read. "
                         "The backup stays in the list as it is and opens once the file is back.");
}

void DataPage::showSource (const juce::String& title, const juce::ValueTree& viewItem, int viewKind,
                           const juce::ValueTree& detailsItem, int detailsKind)
{
    panels->show (title, viewItem, viewKind, detailsItem, detailsKind);
    refreshToolbarState (true);
}

void DataPage::updateSyncButtonText (bool showSyncButton)
{
    resizerBar->setVisible (! showSyncButton);
    panels->setVisible (! showSyncButton);
    browser.setVisible (! showSyncButton);
    toolbar.setEnabled (! showSyncButton);

    syncButton.setButtonText ("Click To Sync With " + deviceName);
    syncButton.setVisible (showSyncButton);
    repaint();
}

void DataPage::saveBrowserLayout()
{
    const auto total = browser.getWidth() + (resizerBar != nullptr ? resizerBar->getWidth() : 0) + panels->getWidth();

    // Before the first layout there is nothing to remember.
    if (total <= 0 || browser.getWidth() <= 0)
        return;

    Belvora::getUserSettings().setValue ("browserWindowSize", -((double) browser.getWidth() / (double) total));
}
