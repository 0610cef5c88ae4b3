#include "gui/datapage/DataPage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "archive/CloudArchiveManager.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/PresetPackToolRunner.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPageImportRun.h"
#include "gui/datapage/DataPagePanels.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/dialogs/BackupConversionDialog.h"
#include "gui/dialogs/SearchDialog.h"
#include "gui/widgets/Alerts.h"
#include "model/DeviceData.h"
#include "model/SafeSave.h"
#include "model/SourceTree.h"
#include "platform/Clock.h"
#include "platform/WriteQueue.h"
#include "resources/BinaryResources.h"

#include <cmath>

using namespace SourceTreeIds;

namespace
{
    AppState appState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::idle;
    }

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

    /** The category a node lies in, itself included; empty outside the tree's categories. */
    juce::String categoryOf (juce::ValueTree node)
    {
        for (; node.isValid(); node = node.getParent())
            if (node.hasType (SourceTreeIds::category))
                return node[SourceTreeIds::category].toString();

        return {};
    }

    bool isRead (int command)
    {
        return command == DeviceCommandMessage::readAll || command == DeviceCommandMessage::readPresets
            || command == DeviceCommandMessage::readSetup;
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

    /** Calls every listener from the last to the first; stops when the page goes, and
        takes the list as it is after a call that changed it. */
    template <typename Listener, typename Call>
    void callListeners (juce::Component& page, juce::Array<Listener*>& listeners, Call&& call)
    {
        const juce::Component::BailOutChecker checker (&page);

        for (int i = listeners.size(); --i >= 0;)
        {
            call (*listeners.getUnchecked (i));

            if (checker.shouldBailOut())
                return;

            i = juce::jmin (i, listeners.size());
        }
    }
}

//==============================================================================
/** The panel area: the workspace over the details (the grid's, containers' and panels' own code). */
class DataPage::Panels : public DataPagePanels
{
public:
    using DataPagePanels::DataPagePanels;

    PresetButtonContainer& grid()               { return getDataView().getPresetContainer(); }
    PresetDetailsContainer& presetDetails()     { return getDetails().getPresetDetails(); }

    /** Kept on the node, for when the grid next shows it. */
    static void storeSelection (juce::ValueTree item, const juce::Array<int>& indices)
    {
        juce::Array<juce::var> list;

        for (auto i : indices)
            list.add (i);

        item.setProperty (selectionList, list, nullptr);
    }
};

//==============================================================================
/** Writes what the user changes soon after the change: the backups (index and
    changed backup files) once the message that changed them has ended, so
    that a move (a removal and an insertion) is written once; the workspace a
    little later, once for a run of edits. */
class DataPage::Autosave : private juce::ValueTree::Listener,
                           private juce::AsyncUpdater,
                           private juce::Timer
{
public:
    explicit Autosave (DataPage& p) : page (p)      { page.rootTree.addListener (this); }
    ~Autosave() override                             { page.rootTree.removeListener (this); }

    void backupsChanged()                            { triggerAsyncUpdate(); }

    void workspaceChanged()
    {
        if (! isTimerRunning())
            startTimer (platform::Clock::scaled (workspaceSaveDelayMs));
    }

    void nodeChanged (const juce::ValueTree& node)
    {
        const auto category = categoryOf (node);

        if (category == archiveCategory)
            backupsChanged();
        else if (category == deviceCategory)
            workspaceChanged();
    }

    /** Whatever is pending is written by the caller now, after what was handed over. */
    void cancel()
    {
        cancelPendingUpdate();
        stopTimer();
        writes.waitUntilIdle();
    }

    platform::WriteQueue writes;    // the workspace's files, in the order of the saves

private:
    void handleAsyncUpdate() override                { page.saveBackups(); }

    void timerCallback() override
    {
        stopTimer();
        page.saveWorkspace();
    }

    // Only changes inside the backups' category: the category itself comes and goes with the sources.
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree&) override              { changedIn (parent); }
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree&, int) override       { changedIn (parent); }
    void valueTreeChildOrderChanged (juce::ValueTree& parent, int, int) override               { changedIn (parent); }

    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override
    {
        if (property == label)
            changedIn (node);
    }

    void changedIn (const juce::ValueTree& node)
    {
        if (categoryOf (node) == archiveCategory)
            backupsChanged();
    }

    DataPage& page;
};

//==============================================================================
DataPage::DataPage()
    : toolbarFactory (std::make_unique<DataToolbarItemFactory>()),
      panels (std::make_unique<Panels> (*this))
{
    toolbar.setStyle (juce::Toolbar::iconsWithText);
    toolbar.addDefaultItems (*toolbarFactory);

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() >= syncItem && item->getItemId() <= uploadToAccount)
        {
            item->addListener (this);

            if (item->getItemId() == toggleView && Belvora::getPresetButtonViewType() != 0)
                item->setToggleState (true, juce::dontSendNotification);
        }

    addAndMakeVisible (toolbar);

    addAndMakeVisible (browser);
    browser.addListener (this);

    addAndMakeVisible (*panels);
    panels->getDataView().addChangeListener (this);

    for (auto* panel : { static_cast<PresetDataChangeListener*> (&panels->getDataView()), static_cast<PresetDataChangeListener*> (&panels->getDetails()) })
        addPresetDataChangeListener (panel);

    addArchiveChangeListener (&panels->getDataView());
    addArchiveChangeListener (&panels->getDetails());

    const auto b = getStoredBrowserSize();
    layout.setItemLayout (0, -0.001, -0.8, b);
    layout.setItemLayout (1, 8, 8, 8);
    layout.setItemLayout (2, 150, -1.0, -0.99 - b);
    resizerBar = std::make_unique<juce::StretchableLayoutResizerBar> (&layout, 1, true);
    addAndMakeVisible (*resizerBar);

    const auto arrow = juce::Drawable::createFromImageData (BinaryResources::sync_arrow_svg, (size_t) BinaryResources::sync_arrow_svgSize);
    juce::DrawableImage over;
    BVLookAndFeel::renderDrawableImage (over, arrow.get(), juce::Colours::black.withAlpha (0.2f));
    syncButton.setImages (arrow.get(), &over);
    syncButton.setSize (250, 250);
    syncButton.setColour (juce::DrawableButton::textColourId, Palette::textColour.withAlpha (Palette::opacity (0.7f)));
    syncButton.setCommandToTrigger (MainAppWindow::getApplicationCommandManager(), CommandIDs::downloadDeviceData, true);
    addChildComponent (syncButton);

    undoManager.addChangeListener (this);
    autosave = std::make_unique<Autosave> (*this);
    updateSyncButtonText (true);
    showSource ({}, {}, viewEmpty, {}, detailsEmpty);
}

DataPage::~DataPage()
{
    panels->getDataView().removeChangeListener (this);
    panels.reset();   // its containers leave the listener lists while those still exist
    importRun.reset();
    mwdRun.reset();
    packRunner.reset();
    undoManager.removeChangeListener (this);
    browser.removeListener (this);
    browser.setSourceTree (nullptr, {});

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i))
            item->removeListener (this);
}

double DataPage::getStoredBrowserSize()
{
    constexpr double standard = -0.3;
    const auto stored = Belvora::getUserSettings().getDoubleValue ("browserWindowSize", standard);

    // Only a share of the width is ever stored; anything else would hide the browser or the panels.
    if (! std::isfinite (stored) || stored >= 0.0)
        return standard;

    return juce::jlimit (-0.8, -0.001, stored);
}

//==============================================================================
void DataPage::addPresetDataChangeListener (PresetDataChangeListener* listener)
{
    if (listener != nullptr)
        presetDataListeners.addIfNotAlreadyThere (listener);
}

void DataPage::removePresetDataChangeListener (PresetDataChangeListener* listener)
{
    presetDataListeners.removeFirstMatchingValue (listener);
}

void DataPage::addArchiveChangeListener (ArchiveChangeListener* listener)
{
    if (listener != nullptr)
        archiveListeners.addIfNotAlreadyThere (listener);
}

void DataPage::removeArchiveChangeListener (ArchiveChangeListener* listener)
{
    archiveListeners.removeFirstMatchingValue (listener);
}

void DataPage::notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices)
{
    autosave->nodeChanged (source);
    callListeners (*this, presetDataListeners, [&] (PresetDataChangeListener& l) { l.presetDataChanged (source, indices); });
}

void DataPage::notifyPresetDataChanged (const juce::ValueTree& source, int index)
{
    notifyPresetDataChanged (source, juce::Array<int> { index });
}

void DataPage::notifyArchiveChanged (const juce::ValueTree& item)
{
    autosave->nodeChanged (item);
    if (item == getViewItem() && getViewKind() != viewSyncPrompt)
        panels->show (titleOf (item), getViewItem(), getViewKind(), getDetailsItem(), getDetailsKind());

    callListeners (*this, archiveListeners, [&] (ArchiveChangeListener& l) { l.archiveItemChanged (item, label); });
}

//==============================================================================
int DataPage::getViewKind() const noexcept             { return panels->getViewKind(); }
int DataPage::getDetailsKind() const noexcept          { return panels->getDetailsKind(); }
juce::ValueTree DataPage::getViewItem() const          { return panels->getViewItem(); }
juce::ValueTree DataPage::getDetailsItem() const       { return panels->getDetailsItem(); }
juce::String DataPage::getViewTitle() const            { return panels->getTitle(); }
DataViewPanel& DataPage::getDataViewPanel() noexcept   { return panels->getDataView(); }
DetailsPanel& DataPage::getDetailsPanel() noexcept     { return panels->getDetails(); }

juce::ValueTree DataPage::getSelectedSource() const
{
    return getViewKind() == viewPresetGrid ? getViewItem() : juce::ValueTree();
}

juce::ValueTree DataPage::getSelectedNode() const
{
    const auto selected = browser.getSelectedTrees();
    return selected.isEmpty() ? juce::ValueTree() : selected.getFirst();
}

DeviceData* DataPage::getSelectedDataSet() const
{
    return SourceTree::getDeviceData (getSelectedNode());
}

juce::Array<int> DataPage::getSelectedPresetIndices() const
{
    const auto* selected = getSelectedDataSet();

    if (selected == nullptr || selected != SourceTree::getDeviceData (getSelectedSource()))
        return {};

    return panels->getSelection();
}

void DataPage::setSelection (const juce::ValueTree& source, const juce::Array<int>& indices)
{
    if (source.isValid() && source == getSelectedSource())
    {
        panels->grid().setSelectedPresets (indices);
        refreshToolbarState (false);
    }
    else if (source.isValid())
    {
        Panels::storeSelection (source, indices);
    }
}

juce::ValueTree DataPage::getDeviceNode() const
{
    return findCategoryNode (deviceCategory);
}

juce::String DataPage::titleOf (const juce::ValueTree& item) const
{
    const auto where = SourceTree::getCategoryOf (item).category.toString();

    // Backups and packs named alike are told apart as the lists tell them apart.
    return where == deviceCategory ? juce::String ("Workspace") : SourceTree::makeUniqueLabel (findCategoryNode (where), item);
}

juce::ValueTree DataPage::findCategoryNode (const juce::String& category) const
{
    return rootTree.isValid() ? SourceTree::findChildWithCategory (rootTree, category) : juce::ValueTree();
}

juce::ValueTree DataPage::getDraggedTreeNode (juce::Component* sourceComponent)
{
    if (sourceComponent != &browser.getTreeView())
        return {};

    return browser.getTreeView().getNumSelectedSources() > 0 ? browser.getTreeView().getSelectedSourceNode (0)
                                                              : getSelectedNode();
}

juce::String DataPage::getWorkspaceLabel() const
{
    const auto* data = deviceDataSet != nullptr ? deviceDataSet->getDeviceData() : nullptr;
    const bool presets = data != nullptr && data->getNumPresets() > 0;
    const bool setup = data != nullptr && data->getSetup().isComplete();

    if (busy)               return "<busy>";
    if (presets && setup)   return "Presets and Setup";
    if (presets)            return "Presets";
    if (setup)              return "Setup";
    if (needSync)           return "<need to sync>";
    return "<no data>";
}

//==============================================================================
void DataPage::setToolbarItemEnabled (int itemId, bool enabled)
{
    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == itemId)
            return item->setEnabled (enabled);
}

bool DataPage::isToolbarItemEnabled (int itemId) const
{
    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == itemId)
            return item->isEnabled();

    return false;
}

void DataPage::refreshToolbarState (bool force)
{
    if (! toolbar.isEnabled() && ! force)
        return;

    const auto source = getSelectedSource();
    const auto* s = SourceTree::getDeviceData (source);
    const auto* d = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;
    const bool selected = s != nullptr && ! panels->getSelection().isEmpty();

    setToolbarItemEnabled (applyChanges, deviceDataSet != nullptr && deviceDataSet->isModified());
    setToolbarItemEnabled (sendSetup, s != nullptr && s->getSetup().isComplete());
    setToolbarItemEnabled (sendSelected, selected);
    setToolbarItemEnabled (backupAll, d != nullptr);
    setToolbarItemEnabled (backupUser, d != nullptr && d->getNumDifferentPresets() > 0);
    setToolbarItemEnabled (backupSelected, d != nullptr && d == s && selected);
    setToolbarItemEnabled (optimizeSpace, s != nullptr && s->hasGaps() && ! SourceTree::isUserNode (source));
    setToolbarItemEnabled (toggleView, s != nullptr);
    setToolbarItemEnabled (exportItem, s != nullptr);
    setToolbarItemEnabled (importItem, s != nullptr);
    setToolbarItemEnabled (selectUser, s != nullptr && ! PresetButtonContainer::getUserPresetSlots (*s).isEmpty());
    setToolbarItemEnabled (undoItem, undoManager.canUndo());
    setToolbarItemEnabled (redoItem, undoManager.canRedo());
}

void DataPage::buttonClicked (juce::Button* button)
{
    if (auto* item = dynamic_cast<juce::ToolbarItemComponent*> (button))
        handleToolbarItem (item->getItemId());
}

void DataPage::handleToolbarItem (int itemId)
{
    const bool gridShown = getViewKind() == viewPresetGrid;
    const auto source = getSelectedSource();

    switch (itemId)
    {
        case getData:               syncWithDevice(); break;
        case applyChanges:          perform (CommandIDs::applyChanges); break;
        case sendSetup:             perform (CommandIDs::restoreSetup); break;
        case sendSelected:          perform (CommandIDs::sendDirectToDevice); break;
        case deleteBackup:          browser.deleteSelected(); break;
        case backupAll:             browser.backupDeviceData (true, true, true); break;
        case backupUser:            browser.backupDeviceData (false, false, true); break;
        case backupSelected:        browser.backupDeviceData (false, true, false); break;
        case newGroup:              browser.createEmptyGroup(); break;
        case groupSelected:         browser.createGroupFromSelected(); break;
        case duplicateSelectedItem: browser.duplicateSelected(); break;
        case findPreset:            showFindDialog(); break;
        case undoItem:              undo(); break;
        case redoItem:              redo(); break;
        case exportItem:            exportData(); break;
        case importItem:            importData(); break;

        case optimizeSpace:
            if (gridShown && ! SourceTree::isUserNode (source))
                defragData (source, true, true);
            break;

        case toggleView:
            for (int i = 0; i < toolbar.getNumItems(); ++i)
                if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == toggleView)
                {
                    item->setToggleState (! item->getToggleState(), juce::dontSendNotification);
                    panels->grid().setIconView (item->getToggleState() ? 1 : 0);
                }
            break;

        case selectUser:
            if (gridShown)
            {
                panels->grid().selectPresets (true);
                refreshToolbarState (false);
            }
            break;

        case deletePresetsItem:
            if (gridShown)
                panels->grid().deleteSelectedPresets();
            break;

        case cutItem:
        case copyItem:
        case pasteItem:
            if (gridShown)
                panels->grid().performMenuCommand (itemId == cutItem ? 102 : itemId == copyItem ? 103 : 105, nullptr);
            break;

        case deleteSetup:
        case downloadFromAccount:
        case uploadToAccount:
            Alerts::showWarning (this, "Feature", "Not Implemented Yet!");
            break;

        default:
            break;
    }
}

bool DataPage::keyPressed (const juce::KeyPress& key)
{
    const auto ctrl = juce::ModifierKeys::ctrlModifier;

    if (key == juce::KeyPress ('z', ctrl, 0))       undo();
    else if (key == juce::KeyPress ('y', ctrl, 0))  redo();
    else if (key == juce::KeyPress ('f', ctrl, 0))  showFindDialog();
    else                                            return false;

    return true;
}

void DataPage::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == &undoManager)
        refreshToolbarState (false);

    if (source == &panels->getDataView())
    {
        // A new grid selection or tile: the details follow it.
        if (getDetailsKind() != detailsPreset)
            sourceSelectionChanged();

        panels->followGridSelection();
        refreshToolbarState (false);
    }
}

void DataPage::undo()
{
    if (! undoManager.canUndo())
        return Alerts::showInfo (this, "Undo", "Nothing to undo");

    undoManager.undo();
    showBackupsIfShownSourceWent();
    refreshToolbarState (false);
}

void DataPage::redo()
{
    if (! undoManager.canRedo())
        return Alerts::showInfo (this, "Redo", "Nothing to redo");

    undoManager.redo();
    showBackupsIfShownSourceWent();
    refreshToolbarState (false);
}

// An undo or redo may take away the entry the panels show (a new group undone): the
// backups are shown then, as after a delete, and the panels' header says so.
void DataPage::showBackupsIfShownSourceWent()
{
    const auto root = browser.getRootNode();
    const auto gone = [&root] (const juce::ValueTree& node) { return node.isValid() && node != root && ! node.isAChildOf (root); };

    if (! gone (getViewItem()) && ! gone (getDetailsItem()))
        return;

    browser.selectItemFor (browser.getBackupsNode());

    if (gone (getViewItem()) || gone (getDetailsItem()))
        sourceSelectionChanged();
}

void DataPage::scrollToPreset (int index)
{
    panels->getDataView().scrollToPreset (index);
}

void DataPage::editPresetName()
{
    if (getDetailsKind() == detailsPreset)
        panels->presetDetails().editName();
}

void DataPage::showFindDialog()
{
    if (! rootTree.isValid() || caps == nullptr)
        return;

    juce::Array<juce::ValueTree> backups, packs;
    SourceTree::collectNodes (findCategoryNode (archiveCategory), backups);
    SourceTree::collectNodes (findCategoryNode (cloudCategory), packs);

    SearchDialog dialog (*this, { getDeviceNode() }, backups, packs, *caps);
    dialog.runModal();
}

//==============================================================================
void DataPage::perform (int commandId)
{
    // The page's command target is its nearest parent that is one (the content component);
    // a page out of its tab goes to the manager's first target.
    for (auto* c = getParentComponent(); c != nullptr; c = c->getParentComponent())
        if (auto* target = dynamic_cast<juce::ApplicationCommandTarget*> (c))
        {
            target->invokeDirectly (commandId, false);
            return;
        }

    if (auto* target = MainAppWindow::getApplicationCommandManager()->getFirstCommandTarget (commandId))
        target->invokeDirectly (commandId, false);
}

void DataPage::syncWithDevice()
{
    if (deviceDataSet != nullptr && deviceDataSet->isModified()
        && ! Alerts::showOkCancel (juce::MessageBoxIconType::WarningIcon, this, "Changes Will Be Lost",
                                   "Your preset edits have not been transferred to " + deviceName + " yet. If you synchronize now, "
                                   "these changes will be discarded. To avoid losing your changes use the 'Apply' or 'Backup' functions on the toolbar.",
                                   false, "Continue", "Cancel"))
        return;

    perform (CommandIDs::downloadDeviceData);
}

void DataPage::sendDataToDevice (std::unique_ptr<DeviceData> data, bool asImage)
{
    pendingSendData = std::move (data);

    if (pendingSendData != nullptr && deviceDataSet != nullptr)
        perform (asImage ? CommandIDs::restoreToDevice : CommandIDs::sendDirectToDevice);

    // The command carries its own copy: whether it went out or not, nothing is left
    // that a later "Send Selected" could write to this or another unit.
    pendingSendData.reset();
}

//==============================================================================
void DataPage::changeNotify (const ChangeInfo& info)
{
    if (info.kind == ChangeInfo::appStateChanged)
    {
        if (info.newAppState == static_cast<int> (AppState::firmwareUpdate) && deviceDataSet != nullptr)
        {
            // Kept until the update ends: one that never reached the unit gives it back.
            if (const auto* work = deviceDataSet->getWorkingData())
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
            if (auto* work = deviceDataSet->getWorkingData())
            {
                work->deleteAllPresets();
                work->clearSetup();
            }

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
        case DeviceInfoMessage::aboutToQuit:             closeSources (true, false); break;
        case DeviceInfoMessage::backupConversionDone:
            // The manager takes the conversion's end first: then its tree is the current one.
            if (archiveManager != nullptr)
                archiveManager->isConverting();

            buildSourceTree (archiveCategory);
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

            if (m.code == DeviceInfoMessage::commandFailed)
                commandFailed (m.command);
            break;

        default:
            break;
    }
}

void DataPage::deviceConnectionChanged (bool connected, bool updateStarting)
{
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
    if (node.isValid())
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
            if (auto* backup = SourceTree::getArchive (entry))
                backup->deleteFiles();
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

//==============================================================================
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

void DataPage::firmwareUpdateEnded (bool unitUntouched)
{
    auto kept = std::move (workspaceBeforeUpdate);
    auto* devices = Nexus::getDeviceManager();

    if (! unitUntouched || kept == nullptr || devices == nullptr || devices->getActiveIndex() < 0 || deviceDataSet != nullptr)
        return;

    needSync = false;
    openSources (std::move (kept));
    updateSyncButtonText (needSync);

    // The update's start removed the stored files: they come back with the workspace.
    autosave->workspaceChanged();
}

void DataPage::tellIfDamaged (DataSet& set)
{
    // Reading the working copy reads the backup's body, which tells whether it is whole.
    const auto* backup = set.getWorkingData() == nullptr ? set.getArchive() : nullptr;

    if (backup == nullptr || ! backup->isDamaged() || damagedBackupsTold.contains (backup->getUuid()))
        return;

    damagedBackupsTold.add (backup->getUuid());
    browser.getTreeView().repaint();
    Alerts::showWarning (this, "Damaged Backup",
                         "The backup \"" + backup->getTitle() + "\" cannot be opened: its data file \""
                         + backup->getDataFile().getFullPathName() + "\" is damaged. The file has been left as it is.");
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

//==============================================================================
void DataPage::storeDownloadedPreset (int index, bool copyFromUnit, std::shared_ptr<const Preset> arrived)
{
    auto* work = deviceDataSet != nullptr ? deviceDataSet->getWorkingData() : nullptr;

    if (work == nullptr || ! juce::isPositiveAndBelow (index, work->getNumSlots()))
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

    if (live == nullptr)
        return;

    busy = false;
    deviceDataSet->setLiveData (live);

    switch (live->saveWorkingFile (juce::File (deviceFolder), false))
    {
        case DeviceData::saved:
            if (auto* work = deviceDataSet->getWorkingData())
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
            break;

        case DeviceData::writeFailed:
            Alerts::showWarning (this, "File Error", "Belvora was unable to save the device's data to disk. Please make sure the drive is not full.");
            break;

        default:
            Alerts::showWarning (this, "Data Integrity Failure",
                                 "Belvora has detected data corruption in the data downloaded from your device. This could be caused by a MIDI "
                                 "transmission error. Please try downloading again. If the error persists, please contact Marrowell Support.");
            removeSourceNode (deviceCategory);
            needSync = true;
            break;
    }

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

    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr || devices->getActiveIndex() < 0 || deviceDataSet == nullptr)
        return;

    const auto unit = devices->getDevice (-1);
    const auto code = unit != nullptr && unit->getErrorCode() != DeviceError::none ? unit->getErrorCode() : DeviceError::internal;

    if (isRead (command.command))
    {
        if (auto* work = deviceDataSet->getWorkingData())
        {
            work->deleteAllPresets();
            work->clearSetup();
        }

        deviceDataSet->setLiveData (nullptr);
        needSync = true;
        busy = false;
        buildSourceTree (deviceCategory);
        updateSyncButtonText (needSync);
    }

    Alerts::showWarning (this, errorTitle (code), DeviceManager::getErrorText ((int) code, deviceName));
}

//==============================================================================
void DataPage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    g.setColour (Palette::outlineColour);
    g.drawHorizontalLine (toolbar.getBottom(), 0.0f, (float) getWidth());
}

void DataPage::resized()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto thickness = laf != nullptr ? (int) laf->getToolbarThickness() : BVLookAndFeel::Defaults::toolbarThickness;

    auto area = getLocalBounds();
    toolbar.setBounds (area.removeFromTop (thickness));
    area.removeFromTop (1);

    juce::Component* parts[] = { &browser, resizerBar.get(), panels.get() };
    layout.layOutComponents (parts, 3, area.getX(), area.getY(), area.getWidth(), area.getHeight(), false, true);

    syncButton.setCentrePosition (getLocalBounds().getCentre());
}

void DataPage::visibilityChanged()
{
    if (isVisible() && panels->grid().isVisible())
        panels->grid().grabKeyboardFocus();
}

void DataPage::dragOperationStarted (const juce::DragAndDropTarget::SourceDetails&)
{
    browser.getTreeView().updateSelectedItems();
}

void DataPage::dragOperationEnded (const juce::DragAndDropTarget::SourceDetails& details)
{
    browser.getTreeView().clearSelectedItems();

    // The framework's drag image takes the keyboard focus (for Escape) and leaves
    // nothing focused when it goes: the focus returns to where the drag began, so
    // the page's keys (Ctrl+Z and the rest) work again right after a drop.
    juce::Component::SafePointer<juce::Component> source (details.sourceComponent.get());
    juce::Component::SafePointer<DataPage> page (this);

    juce::MessageManager::callAsync ([page, source]
    {
        if (page == nullptr || ! page->isShowing() || juce::Component::getCurrentlyFocusedComponent() != nullptr)
            return;

        if (source != nullptr && source->isShowing() && page->isParentOf (source))
            source->grabKeyboardFocus();
        else
            page->grabKeyboardFocus();
    });
}
