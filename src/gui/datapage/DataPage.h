#pragma once

#include "app/BelvoraChangeListener.h"
#include "model/DataSet.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class DeviceCaps;
class DeviceData;
class LocalArchiveManager;

/** The "Presets" tab: the workspace of the connected unit (a working copy of
    its data, kept in the unit's data folder between runs), the large button
    that asks for the unit's data while the workspace is empty, and the
    toolbar of the transfers. It follows the broadcast: a connection opens the
    workspace (and, with the "auto" sync method, downloads), a download fills
    it, a completed write updates it, a failure shows the unit's error, and a
    disconnection or quit saves and closes it. */
class DataPage : public juce::Component,
                 public BelvoraChangeListener,
                 public juce::Button::Listener
{
public:
    /** The toolbar's items, by their ids. */
    enum ToolbarItem { getData = 2, applyChanges = 3, sendSetup = 4, sendSelected = 5 };

    DataPage();
    ~DataPage() override;

    /** The connected unit's data set: its data and the working copy; null while no unit is open. */
    DataSet* getDeviceDataSet() const noexcept                 { return deviceDataSet.get(); }

    /** Data that "Restore To Device" or "Send Direct To Device" is about to write; null when none. */
    const DeviceData* getPendingSendData() const noexcept      { return pendingSendData.get(); }

    /** Hands over the data to write and performs "Restore To Device" (asImage) or "Send Direct To Device". */
    void sendDataToDevice (std::unique_ptr<DeviceData> data, bool asImage);

    /** The working copy of the selected source; null when none is selected. */
    DeviceData* getSelectedDataSet() const;

    /** The source shown, the selected node and the unit's node of the source tree (invalid when none). */
    juce::ValueTree getSelectedSource() const;
    juce::ValueTree getSelectedNode() const;
    juce::ValueTree getDeviceNode() const;

    /** The selected presets of the source shown. */
    juce::Array<int> getSelectedPresetIndices() const;

    LocalArchiveManager* getArchiveManager() const noexcept    { return archiveManager.get(); }

    bool isSyncNeeded() const noexcept                         { return needSync; }
    bool isBusy() const noexcept                               { return busy; }
    juce::String getWorkspaceLabel() const;
    juce::Button& getSyncButton() noexcept                     { return syncButton; }
    juce::Toolbar& getToolbar() noexcept                       { return toolbar; }

    /** Performs "Download Device Data", after asking when the workspace holds unsent edits. */
    void syncWithDevice();

    void changeNotify (const ChangeInfo& info) override;
    void buttonClicked (juce::Button* button) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    class ToolbarItems;

    void deviceConnectionChanged (bool connected, bool updateStarting);
    void openSources (std::unique_ptr<DeviceData> working);
    void closeSources (bool saveDeviceData);
    void loadStoredWorkspace (bool syncFileLoaded);
    void deleteDeviceWorkingFiles();
    void updateSyncButton (bool showSyncButton);
    void storeDownloadedDeviceData();
    void commandDone (const DeviceCommandMessage& command);
    void commandFailed (const DeviceCommandMessage& command);
    void takeSentData (const DeviceCommandMessage& command);
    void perform (int commandId);

    juce::ValueTree rootTree;
    std::shared_ptr<const DeviceCaps> caps;
    DataSet::Ptr deviceDataSet;
    std::unique_ptr<DeviceData> pendingSendData;
    std::unique_ptr<LocalArchiveManager> archiveManager;
    juce::String deviceName;
    juce::String deviceFolder;
    bool needSync = true;
    bool busy = false;
    bool awaitingSyncFile = false;

    std::unique_ptr<ToolbarItems> toolbarFactory;
    juce::Toolbar toolbar;
    juce::DrawableButton syncButton { "Click To Sync", juce::DrawableButton::ImageAboveTextLabel };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataPage)
};
