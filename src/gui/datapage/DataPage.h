#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "base/BelvoraChangeListener.h"
#include "gui/datapage/DataPageEdits.h"
#include "gui/datapage/SourceBrowserListener.h"
#include "gui/datapage/SourceDataBrowser.h"
#include "gui/datapage/UnsavedWork.h"
#include "gui/dialogs/SearchTarget.h"
#include "model/DataSet.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ArchiveChangeListener;
class DataViewPanel;
class DetailsPanel;
class CloudArchiveManager;
class ConversionJob;
class DataToolbarItemFactory;
class DeviceCaps;
class DeviceData;
class DeviceDataArchive;
struct FirmwareVersion;
class LocalArchiveManager;
class PresetDataChangeListener;
class Preset;
class PresetPackToolRunner;

/** The "Presets" tab: the sources of the connected unit's data (its
    workspace, a working copy of the unit's data kept in the unit's folder
    between runs; the local backups; the preset packs) in the browser on the
    left, the selected source in the panels on the right, and the data
    toolbar. It owns the one undo history of every edit, runs the SysEx
    export and import, and follows the broadcast: a connection opens the
    sources, a download fills the workspace, a completed write updates it, a
    failure shows the unit's error, a disconnection or quit saves and closes.

    The unit's data is only ever read from the device layer's snapshots; the
    edits work on the page's own copies, and what goes to the unit is a copy. */
class DataPage : public juce::Component,
                 public juce::DragAndDropContainer,
                 public juce::ChangeListener,
                 public BelvoraChangeListener,
                 public juce::Button::Listener,
                 public SourceBrowserListener,
                 public DataPageEdits,
                 public SearchTarget
{
public:
    /** The data toolbar's items. */
    enum ToolbarItem
    {
        syncItem = 1, getData, applyChanges, sendSetup, sendSelected, deleteBackup, backupAll, backupUser,
        backupSelected, optimizeSpace, findPreset, toggleView, deleteSetup, newGroup, groupSelected,
        duplicateSelectedItem, selectUser, deletePresetsItem, cutItem, copyItem, pasteItem, undoItem, redoItem,
        exportItem, importItem, downloadFromAccount, uploadToAccount
    };

    /** What the data view panel shows, and what the details panel shows. */
    enum ViewKind { viewEmpty = 1, viewSyncPrompt, viewPresetGrid, viewGroupTiles };
    enum DetailsKind { detailsEmpty = 1, detailsDevice, detailsGroup, detailsDataSet, detailsPreset };

    DataPage();
    ~DataPage() override;

    //==============================================================================
    // Listeners of the edits
    void addPresetDataChangeListener (PresetDataChangeListener* listener) override;
    void removePresetDataChangeListener (PresetDataChangeListener* listener) override;
    void addArchiveChangeListener (ArchiveChangeListener* listener) override;
    void removeArchiveChangeListener (ArchiveChangeListener* listener) override;

    void notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices) override;
    void notifyPresetDataChanged (const juce::ValueTree& source, int index);
    void notifyArchiveChanged (const juce::ValueTree& item) override;

    //==============================================================================
    // Selection
    /** The node the preset grid shows; invalid unless the grid is shown. */
    juce::ValueTree getSelectedSource() const;

    /** The working copy of the first node selected in the browser; null when none holds data. */
    DeviceData* getSelectedDataSet() const;

    /** The grid's selected slots while the grid shows the selected browser node; else empty. */
    juce::Array<int> getSelectedPresetIndices() const;

    /** Selects the slots in the grid when it shows source, else keeps them on source for when it does. */
    void setSelection (const juce::ValueTree& source, const juce::Array<int>& indices);

    /** The first node selected in the browser; invalid when none. */
    juce::ValueTree getSelectedNode() const;

    juce::ValueTree getDeviceNode() const;
    const juce::ValueTree& getRootTree() const noexcept         { return rootTree; }

    //==============================================================================
    // Toolbar
    void setToolbarItemEnabled (int itemId, bool enabled);
    bool isToolbarItemEnabled (int itemId) const;
    void refreshToolbarState (bool force);

    /** What a click on the toolbar item does. */
    void handleToolbarItem (int itemId);

    //==============================================================================
    // Sources
    /** Opens the unit's sources; the files given were moved aside, or could be neither read nor
        moved, and are named to the user with those of the backups and the folders that cannot be looked into. */
    void openSources (std::unique_ptr<DeviceData> working, juce::Array<juce::File> damaged = {}, juce::Array<juce::File> unreadable = {});
    void showDamagedFiles (const juce::Array<juce::File>& files, const juce::Array<juce::File>& unreadable = {});
    /** The product's picture as the content has it now: pictures come after what work needs. */
    void refreshUnitPicture();
    /** The unit's cloud of preset packs, when the catalogue is online. */
    void openCloud();
    /** Saves and closes. When something cannot be written, a quit (or, with
        saveDeviceData, a disconnection) asks first: try again, or go on without it. */
    void closeSources (bool saveDeviceData, bool skipBackupIndex, bool quitting = false);
    void deviceConnectionChanged (bool connected, bool updateStarting);
    void buildSourceTree (const juce::String& category);
    void removeSourceNode (const juce::String& category);
    void ensureSelection (bool keepCurrent);
    void sourceSelectionChanged() override;
    /** Names a backup whose data file turned out damaged when it is first opened. */
    void tellIfDamaged (DataSet& set);
    void tellDataMissing (const DeviceDataArchive& backup);
    void showSource (const juce::String& title, const juce::ValueTree& viewItem, int viewKind,
                     const juce::ValueTree& detailsItem, int detailsKind);
    void updateSyncButtonText (bool showSyncButton);

    /** The workspace's page (the grid) takes the keys, when it shows. */
    void focusWorkspace();

    void saveBrowserLayout();

    /** Performs "Download Device Data", after asking when the workspace holds unsent edits. */
    void syncWithDevice();

    /** Hands over the data to write and performs "Restore To Device" (asImage) or "Send Direct To Device". */
    void sendDataToDevice (std::unique_ptr<DeviceData> data, bool asImage);

    /** A slot the unit's download reached: the workspace takes the preset as it
        arrived (none: the slot is empty), or, without copying, only clears its mark. */
    void storeDownloadedPreset (int index, bool copyFromUnit, std::shared_ptr<const Preset> arrived = {});
    void deleteDownloadedPreset (int index);
    void storeDownloadedDeviceData();
    void deleteDeviceWorkingFiles();

    /** Converts the stored backups to the unit's formats behind the modal
        "Converting Data" window; the "Backups" category is empty meanwhile.
        False when no conversion started. */
    bool convertBackups (const FirmwareVersion& unitVersion);

    /** Each change of the backups is written at once (after the change's
        message); the workspace a short while after its first unsaved edit.
        Either save, and each timed save of the settings, also writes again
        whatever an earlier save of any of them could not put on disk. */
    static constexpr int workspaceSaveDelayMs = 2000;
    void saveBackups()                                          { save (UnsavedWork::Part::backups); }
    void saveWorkspace()                                        { save (UnsavedWork::Part::workspace); }

    /** Returns once the workspace saves handed over so far are written (their results still to arrive). */
    void waitForWorkspaceSaves();

    /** Whether an edit's workspace save is still to be handed over. */
    bool isWorkspaceSaveDue() const;

    /** A delete in the backups: the unit's own backups go at once to the
        backup manager's folder of deleted backups, where an undo finds them;
        any other backup at or below the node keeps its files until the
        sources close with the node still out of the tree. */
    void deleteBackupFilesLater (const juce::ValueTree& node);

    //==============================================================================
    // Edits (each undoable through the page's one history)
    juce::UndoManager& getUndoManager() override                { return undoManager; }

    void undo() override;
    void redo() override;

    bool selectItemFor (const juce::ValueTree& node) override;

    // Where the preset search shows its hits: the grid of the source selected.
    void setSelectedPresets (const juce::Array<int>& indices) override   { setSelection (getSelectedSource(), indices); }
    void scrollToPreset (int index) override;
    juce::Image getUnitPicture() const override                 { return browser.getUnitPicture(); }
    void deleteSourceNode (const juce::ValueTree& node) override  { browser.deleteArchiveEntry (node); }
    juce::ValueTree getDraggedTreeNode (juce::Component* sourceComponent) override;
    void editPresetName() override;

    //==============================================================================
    // SysEx files
    /** Results of writing export files. */
    enum WriteResult { written = 0, sourceUnusable = 1, writeFailed = 2, nothingWritten = 3 };

    void exportData();

    /** One file of an export, and how it is written (on the writes thread, from what write owns). */
    struct ExportFile
    {
        juce::File file;
        std::function<bool (const juce::File&)> write;
    };

    /** What an export writes, settled with the user on the message thread (asked
        before each file that is there), or why it writes nothing (sourceUnusable,
        nothingWritten). */
    struct ExportPlan
    {
        int result = written;
        std::vector<ExportFile> files;
    };

    ExportPlan planExportFiles (std::shared_ptr<const DeviceData> source, const juce::File& folder, const juce::String& name,
                                bool singleFile, const juce::Array<int>& indices);
    ExportPlan planSetupFile (std::shared_ptr<const DeviceData> source, const juce::String& path);

    /** Hands the files over to the writes thread, one after another after those of earlier
        exports; whenWritten is told on the message thread once the last is written: written,
        writeFailed (with what the system said of those that failed) or nothingWritten. */
    using ExportWritten = std::function<void (int result, const juce::Array<int>& errors)>;
    void writeExport (std::vector<ExportFile> files, ExportWritten whenWritten);

    /** Tells the user how an export ended (nothing for nothingWritten); errors: what the system
        said of the writes that failed. */
    static void reportExport (juce::Component* parent, int result, const juce::Array<int>& errors = {});
    static juce::String getExportFailedText (const juce::Array<int>& errors);
    void importData();
    void importMwdBinaryFiles (const juce::ValueTree& targetGroup);
    void importPresetPack (const juce::ValueTree& targetGroup);
    void convertPresetPacks();

    /** True while an import waits for a conversion. */
    bool isImporting() const noexcept                            { return importRun != nullptr || mwdRun != nullptr; }

    /** What the export and import dialogs and the replace question were asked and answered. */
    struct ExportRequest
    {
        juce::String exportFolder;
        juce::StringArray sourceNames;
        juce::Array<uint8_t> sourceHasSetup;
        int selectedSource = 0;
        bool presetsSelected = false;
    };

    struct ExportChoice
    {
        bool accepted = false;
        juce::String folder, fileName, suffix;
        int sourceId = 1;
        bool setupData = false, allPresets = false, singleFile = false;
    };

    struct ImportRequest
    {
        const DeviceCaps* caps = nullptr;
        juce::String deviceName, lastImportFile;
        juce::Array<const DeviceData*> destinations;
        juce::StringArray destinationNames;
    };

    struct ImportChoice
    {
        bool accepted = false;
        juce::Array<juce::File> files;
        int destinationId = 0;
        int startId = 1;
    };

    /** The dialogs the page opens; an empty one opens the program's own. */
    struct Dialogs
    {
        std::function<ExportChoice (DataPage&, const ExportRequest&)> exportDialog;
        std::function<ImportChoice (DataPage&, const ImportRequest&)> importDialog;
        std::function<int (DataPage&, const juce::String& title, const juce::String& message, bool offerApplyToAll)> replaceFile;
    };

    void setDialogs (Dialogs newDialogs);

    //==============================================================================
    /** The preset search over the unit's workspace, the backups and the packs. */
    void showFindDialog();

    DataSet* getDeviceDataSet() const noexcept                  { return deviceDataSet.get(); }
    std::shared_ptr<const DeviceCaps> getCaps() const noexcept  { return caps; }
    const DeviceData* getPendingSendData() const noexcept       { return pendingSendData.get(); }
    LocalArchiveManager* getArchiveManager() const noexcept     { return archiveManager.get(); }
    CloudArchiveManager* getCloudManager() const noexcept       { return cloudManager.get(); }
    const juce::String& getDeviceName() const noexcept          { return deviceName; }
    bool isSyncNeeded() const noexcept                          { return needSync; }
    /** The end of a firmware update: one that left the unit as it was gives the
        workspace back as it was when the update started, unsent edits and all. */
    void firmwareUpdateEnded (bool unitUntouched);

    bool isBusy() const noexcept                                { return busy; }
    /** A stored workspace of another firmware is being converted: the page says
        so, and no sync replaces it meanwhile. */
    bool isConvertingWorkspace() const noexcept                 { return storedWorkspace == StoredWorkspace::converting; }

    /** A sync would replace a stored workspace not converted yet: true when
        the page takes it over. One whose copy could not be made is
        converted first (the sync comes once the converted workspace is
        shown); one being converted refuses it. */
    bool convertBeforeSync();
    const juce::Label& getConversionNote() const noexcept      { return conversionNote; }
    juce::String getWorkspaceLabel() const;

    SourceDataBrowser& getBrowser() noexcept                    { return browser; }
    juce::Button& getSyncButton() noexcept                      { return syncButton; }
    juce::Toolbar& getToolbar() noexcept                        { return toolbar; }
    juce::StretchableLayoutManager& getLayout() noexcept        { return layout; }

    /** What the panels show now. */
    int getViewKind() const noexcept;
    int getDetailsKind() const noexcept;
    juce::ValueTree getViewItem() const;
    juce::ValueTree getDetailsItem() const;
    juce::String getViewTitle() const;
    DataViewPanel& getDataViewPanel() noexcept;
    DetailsPanel& getDetailsPanel() noexcept;

    /** "browserWindowSize" as the layout takes it: a share of the width between 0.1 % and 80 %. */
    static double getStoredBrowserSize();

    /** What the user is told of a stored workspace of another firmware (fromEarlier: an
        earlier one than the unit's): converted to the unit's firmware, or kept, as it was,
        in a file of its own. */
    static juce::String getWorkspaceConvertedText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                                   const juce::String& to, const juce::File& kept);
    static juce::String getWorkspaceKeptText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                              const juce::String& to, const juce::File& kept);
    /** Not converted: the copy kept through the conversion could not be made, for the
        system's cause (error, an errno value). */
    static juce::String getWorkspaceNotConvertedText (const juce::String& unitName, const juce::String& from, bool fromEarlier,
                                                      const juce::File& stored, int error);

    /** What the user is told on opening a backup whose data file is not there. */
    static juce::String getDataMissingText (const juce::String& title, const juce::File& dataFile);

    //==============================================================================
    void changeNotify (const ChangeInfo& info) override;
    void buttonClicked (juce::Button* button) override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    bool keyPressed (const juce::KeyPress& key) override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void visibilityChanged() override;
    void dragOperationStarted (const juce::DragAndDropTarget::SourceDetails&) override;
    void dragOperationEnded (const juce::DragAndDropTarget::SourceDetails&) override;

private:
    class Panels;
    class Autosave;
    struct ImportRun;
    struct MwdImportRun;

    void loadStoredWorkspace (bool syncFileLoaded);
    void readUnitDataUnderWorkspace();
    void keepStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& file);
    void convertStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& kept);
    void leaveStoredWorkspace (std::unique_ptr<DeviceData> stored, const juce::File& file, int error);
    std::pair<juce::String, bool> describeFirmwareOf (const DeviceData& stored) const;
    void dropStoredWorkspace (const juce::File& kept);
    void takeConvertedWorkspace (std::unique_ptr<DeviceData> converted, const juce::File& kept, const juce::String& from, bool fromEarlier);
    void commandDone (const DeviceCommandMessage& command);
    void commandFailed (const DeviceCommandMessage& command);
    void takeSentData (const DeviceCommandMessage& command);
    void takeDownloadedPresets();
    void perform (int commandId);
    void purgeDeletedBackups();
    void save (UnsavedWork::Part part);
    void handOverBackups();
    void handOverWorkspace();
    void handOverSettings();
    void settingsSaveEnded();
    void workspaceSaveEnded (const juce::String& folder, bool workWritten, bool liveWritten, bool liveTried, int error);
    void downloadedDataWritten (const std::shared_ptr<const DeviceData>& live, bool onDisk, int error, bool underWorkspace);
    static juce::String getDeviceDataNotSavedText (int error);
    void showDownloadedData();
    struct WritesBeforeClose;
    WritesBeforeClose writeBeforeClose (bool saveDeviceData, bool skipBackupIndex, bool quitting);
    void backupSaveEnded();
    void askAboutBackupFormats();
    juce::StringArray unsavedWorkspace (bool workWritten, bool liveWritten) const;
    juce::StringArray unsavedBackups() const;
    void tellUnsaved (UnsavedWork::Change change);
    void refreshWorkspaceLabel();
    void showBackupsIfShownSourceWent();
    juce::ValueTree findCategoryNode (const juce::String& category) const;
    juce::String titleOf (const juce::ValueTree& item) const;

    // Export: the questions on the message thread, the writes on the writes thread.
    struct ExportRun;
    struct ExportQueue;
    int askToReplace (const juce::File& file, bool offerApplyToAll);
    bool isThereToReplace (const juce::File& file) const;
    void exportWritten (const std::shared_ptr<ExportRun>& run);

    // Import, file by file; a file that needs converting continues once its conversion is done.
    void continueImport();
    void finishImport();
    void addImportedData (const DeviceData& data);
    void continueMwdImport();
    void addMwdBackup (DeviceData& data, const juce::File& file);

    /** Converts data to the product and version of target on a job that holder
        keeps; whenDone gets the result (null when the conversion failed) on the
        message thread, unless the page or the job went meanwhile. False when no
        job could start. */
    using ConversionDone = std::function<void (DataPage&, std::unique_ptr<DeviceData>)>;
    bool startConversion (std::unique_ptr<ConversionJob>& holder, std::unique_ptr<DeviceData> data,
                          const DeviceData& target, ConversionDone whenDone);

    /** The member that still holds this job, or null. */
    std::unique_ptr<ConversionJob>* findConversion (const ConversionJob* job);

    /** Shows an import's warning. A box runs the message loop, which may close
        the sources or the page: false when the run it belongs to is gone. */
    bool warnDuringRun (const void* run, const juce::String& title, const juce::String& message);

    juce::ValueTree rootTree;
    juce::UndoManager undoManager;
    std::shared_ptr<const DeviceCaps> caps;
    DataSet::Ptr deviceDataSet;
    std::unique_ptr<DeviceData> pendingSendData;
    std::unique_ptr<LocalArchiveManager> archiveManager;
    std::unique_ptr<CloudArchiveManager> cloudManager;
    juce::String deviceName;
    juce::String deviceFolder;
    bool needSync = true;
    bool busy = false;
    bool awaitingSyncFile = false;
    bool unitDataUnread = false;       // the stored workspace came back without the unit's data
    bool unitReadRequested = false;    // the next download is that data's, under the workspace
    bool readingUnitOnly = false;      // the running download leaves the workspace as it is
    std::unique_ptr<ConversionJob> workspaceConversion;   // a stored workspace of the unit's old firmware
    enum class StoredWorkspace { none, converting, notConverted };
    StoredWorkspace storedWorkspace = StoredWorkspace::none;
    std::unique_ptr<DeviceData> unconvertedWorkspace;   // not converted for want of its copy, and its file
    juce::File unconvertedFile;
    std::shared_ptr<const DeviceData> savedLiveData;   // the unit's data last written as its sync file
    std::shared_ptr<const DeviceData> liveBeingWritten;   // a download's data, taken by the page once on disk

    std::unique_ptr<DataToolbarItemFactory> toolbarFactory;
    /** A new look-and-feel brings a new overflow button, which only a layout shows. */
    struct Toolbar : juce::Toolbar
    {
        void lookAndFeelChanged() override { juce::Toolbar::lookAndFeelChanged(); resized(); }
    };

    Toolbar toolbar;
    /** The picture leaves room for the label as high as the look-and-feel draws it at the scale. */
    struct SyncButton : juce::DrawableButton
    {
        using juce::DrawableButton::DrawableButton;
        juce::Rectangle<float> getImageBounds() const override;
    };

    SyncButton syncButton { "Click To Sync", juce::DrawableButton::ImageAboveTextLabel };
    juce::Label conversionNote;   // in the sync button's place while a stored workspace converts
    juce::StretchableLayoutManager layout;
    std::unique_ptr<juce::StretchableLayoutResizerBar> resizerBar;
    int resizerWidth = 8;   // at the UI scale
    std::unique_ptr<Panels> panels;
    SourceDataBrowser browser;

    juce::Array<PresetDataChangeListener*> presetDataListeners;
    juce::Array<ArchiveChangeListener*> archiveListeners;

    juce::SortedSet<int> downloadedSlots;          // read by the running command, taken at its end
    juce::Array<juce::Uuid> damagedBackupsTold;    // each damaged backup is named once
    juce::Array<juce::Uuid> missingBackupsTold;    // and each whose data file is missing
    std::unique_ptr<DeviceData> workspaceBeforeUpdate;   // the workspace while a firmware update runs
    juce::Array<juce::ValueTree> deletedBackups;   // out of the tree, files kept while undo may return them
    UnsavedWork unsaved;
    bool closingSources = false;                   // its question runs the message loop
    bool connectWaiting = false;                   // a unit came while they closed: opened once they are
    Dialogs dialogs;
    std::shared_ptr<ExportQueue> exportQueue;
    std::vector<std::pair<std::shared_ptr<ExportRun>, ExportWritten>> exportsBeingWritten;
    std::unique_ptr<ImportRun> importRun;
    std::unique_ptr<MwdImportRun> mwdRun;
    std::unique_ptr<PresetPackToolRunner> packRunner;
    std::unique_ptr<Autosave> autosave;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataPage)
};
