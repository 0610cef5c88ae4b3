#include "gui/datapage/DataPage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/ToolbarButtonEx.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

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
}

//==============================================================================
/** The transfer items of the data toolbar. */
class DataPage::ToolbarItems : public juce::ToolbarItemFactory
{
public:
    void getAllToolbarItemIds (juce::Array<int>& ids) override       { getDefaultItemSet (ids); }

    void getDefaultItemSet (juce::Array<int>& ids) override
    {
        for (auto id : { (int) getData, (int) applyChanges, (int) separatorBarId, (int) sendSelected, (int) sendSetup })
            ids.add (id);
    }

    juce::ToolbarItemComponent* createItem (int itemId) override
    {
        using namespace BinaryResources;

        switch (itemId)
        {
            case getData:       return make (itemId, "Get\nData", "Get presets and setup data from your device", toolbar_get_data_svg, toolbar_get_data_svgSize);
            case applyChanges:  return make (itemId, "Apply\nChanges", "Send preset changes to your device", toolbar_apply_changes_svg, toolbar_apply_changes_svgSize);
            case sendSetup:     return make (itemId, "Send\nSetup", "Send the setup (configuration) data to your device", toolbar_send_setup_svg, toolbar_send_setup_svgSize);
            case sendSelected:  return make (itemId, "Send\nSelected", "Send selected items directly to your device", toolbar_send_selected_svg, toolbar_send_selected_svgSize);
            default:            return nullptr;
        }
    }

private:
    static juce::ToolbarItemComponent* make (int id, const char* label, const char* tip, const char* svg, int size)
    {
        auto icon = juce::Drawable::createFromImageData (svg, (size_t) size);

        if (icon == nullptr)
            return nullptr;

        auto* item = new ToolbarButtonEx (id, label, std::move (icon));
        item->setTooltip (tip);
        return item;
    }
};

//==============================================================================
DataPage::DataPage()
    : toolbarFactory (std::make_unique<ToolbarItems>())
{
    toolbar.setStyle (juce::Toolbar::iconsWithText);
    toolbar.addDefaultItems (*toolbarFactory);

    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i))
            item->addListener (this);

    addAndMakeVisible (toolbar);

    const auto arrow = juce::Drawable::createFromImageData (BinaryResources::sync_arrow_svg, (size_t) BinaryResources::sync_arrow_svgSize);
    juce::DrawableImage over;
    BVLookAndFeel::renderDrawableImage (over, arrow.get(), juce::Colours::black.withAlpha (0.2f));
    syncButton.setImages (arrow.get(), &over);
    syncButton.setSize (250, 250);
    syncButton.setColour (juce::DrawableButton::textColourId, Palette::textColour.withAlpha (Palette::opacity (0.7f)));
    syncButton.setCommandToTrigger (MainAppWindow::getApplicationCommandManager(), CommandIDs::downloadDeviceData, true);
    addChildComponent (syncButton);
    updateSyncButton (true);
}

DataPage::~DataPage()
{
    for (int i = 0; i < toolbar.getNumItems(); ++i)
        if (auto* item = toolbar.getItemComponent (i))
            item->removeListener (this);
}

//==============================================================================
DeviceData* DataPage::getSelectedDataSet() const
{
    return SourceTree::getDeviceData (getSelectedNode());
}

// The unit's workspace is the only source shown, selected while it exists.
juce::ValueTree DataPage::getSelectedSource() const     { return getDeviceNode(); }
juce::ValueTree DataPage::getSelectedNode() const       { return getDeviceNode(); }

juce::ValueTree DataPage::getDeviceNode() const
{
    return rootTree.isValid() ? SourceTree::getDeviceCategoryNode (rootTree) : juce::ValueTree();
}

juce::Array<int> DataPage::getSelectedPresetIndices() const
{
    return {};
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
void DataPage::changeNotify (const ChangeInfo& info)
{
    if (info.kind == ChangeInfo::appStateChanged)
    {
        if (info.newAppState == static_cast<int> (AppState::firmwareUpdate) && deviceDataSet != nullptr)
        {
            deleteDeviceWorkingFiles();
            closeSources (false);
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
            updateSyncButton (false);
            repaint();
        }

        return;
    }

    const auto& m = info.message;

    switch (m.code)
    {
        case DeviceInfoMessage::connectedDeviceChanged:  deviceConnectionChanged (m.value1 != 0, m.value2 != 0); break;
        case DeviceInfoMessage::aboutToQuit:             closeSources (true); break;
        case DeviceInfoMessage::commandDone:             if (deviceDataSet != nullptr) commandDone (m.command); break;
        case DeviceInfoMessage::commandFailed:           commandFailed (m.command); break;
        default:                                         break;
    }
}

void DataPage::deviceConnectionChanged (bool connected, bool updateStarting)
{
    if (! connected)
        return closeSources (true);

    const auto state = appState();

    if ((state != AppState::idle && state != AppState::scanning) || updateStarting)
        return;

    auto* devices = Nexus::getDeviceManager();
    const auto unitCaps = devices != nullptr ? devices->getActiveDeviceCaps() : nullptr;

    if (unitCaps == nullptr || ! unitCaps->isBuildValid || unitCaps->caps.numPresets <= 0)
        return updateSyncButton (needSync);

    needSync = true;

    // "previous": the stored workspace comes back once the unit has loaded its sync file.
    if (Belvora::getDataSyncMethod() == 2 && devices->loadActiveDeviceSyncFile())
    {
        awaitingSyncFile = true;
        return;
    }

    openSources (nullptr);

    if (Belvora::getDataSyncMethod() == 0)
        MainAppWindow::getApplicationCommandManager()->invokeDirectly (CommandIDs::downloadDeviceData, true);

    updateSyncButton (needSync);
}

void DataPage::loadStoredWorkspace (bool syncFileLoaded)
{
    awaitingSyncFile = false;
    std::unique_ptr<DeviceData> working;

    if (auto* devices = Nexus::getDeviceManager(); devices != nullptr && syncFileLoaded)
    {
        const auto folder = devices->getActiveDeviceDataFolder();
        const auto live = devices->getActiveDeviceData();
        working = DeviceData::loadFromFile (juce::File (Belvora::getWorkingFile (folder, false)),
                                            live != nullptr ? live->getFactoryBank() : nullptr);
        needSync = working == nullptr;
    }
    else
    {
        deleteDeviceWorkingFiles();
    }

    openSources (std::move (working));
    updateSyncButton (needSync);
}

void DataPage::openSources (std::unique_ptr<DeviceData> working)
{
    auto* devices = Nexus::getDeviceManager();
    auto* content = Nexus::getContentManager();

    if (devices == nullptr)
        return;

    caps = devices->getActiveDeviceCaps();
    deviceDataSet = new DataSet (devices->getActiveDeviceData(), std::move (working));
    deviceFolder = devices->getActiveDeviceDataFolder();
    deviceName = devices->getActiveDeviceDisplayName();

    archiveManager.reset();

    if (content != nullptr && caps != nullptr && hub() != nullptr)
    {
        archiveManager = std::make_unique<LocalArchiveManager> (*content, caps->caps, deviceName, *hub());
        archiveManager->reloadTree();

        juce::String question;

        if (archiveManager->checkBackupFormats (question))
            hub()->postMessage (new DeviceInfoMessage (DeviceInfoMessage::askConvertBackups, 0, 0, question));
    }

    rootTree = SourceTree::createRoot (deviceName, false);
    SourceTree::getDeviceCategoryNode (rootTree).setProperty (SourceTreeIds::data, deviceDataSet.get(), nullptr);
    repaint();
}

void DataPage::closeSources (bool saveDeviceData)
{
    if (archiveManager != nullptr)
        archiveManager->saveBackupIndex();

    if (saveDeviceData && deviceDataSet != nullptr && deviceFolder.isNotEmpty() && ! needSync)
    {
        const juce::File folder (deviceFolder);

        if (auto* work = deviceDataSet->getWorkingData())
            work->saveWorkingFile (folder, true);

        if (auto live = deviceDataSet->getLiveData())
            live->saveWorkingFile (folder, false);
    }

    deviceFolder.clear();
    deviceName.clear();
    deviceDataSet = nullptr;
    rootTree = {};
    pendingSendData.reset();
    archiveManager.reset();
    caps.reset();
    needSync = true;
    busy = awaitingSyncFile = false;
    updateSyncButton (true);
}

void DataPage::deleteDeviceWorkingFiles()
{
    auto* devices = Nexus::getDeviceManager();
    const auto folder = devices != nullptr ? devices->getActiveDeviceDataFolder() : juce::String();

    if (folder.isEmpty())
        return;

    juce::File (Belvora::getSyncFile (folder, false)).deleteFile();
    juce::File (Belvora::getWorkingFile (folder, false)).deleteFile();
}

void DataPage::updateSyncButton (bool showSyncButton)
{
    syncButton.setButtonText ("Click To Sync With " + deviceName);
    syncButton.setVisible (showSyncButton);
    toolbar.setEnabled (! showSyncButton);
    repaint();
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
}

void DataPage::perform (int commandId)
{
    // A page out of its tab has no parent: the commands go to the manager's first target.
    if (auto* target = MainAppWindow::getApplicationCommandManager()->getFirstCommandTarget (commandId))
        target->invokeDirectly (commandId, false);
}

//==============================================================================
void DataPage::storeDownloadedDeviceData()
{
    auto* devices = Nexus::getDeviceManager();
    const auto live = devices != nullptr ? devices->getActiveDeviceData() : nullptr;

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

            needSync = false;
            break;

        case DeviceData::writeFailed:
            Alerts::showWarning (this, "File Error", "Belvora was unable to save the device's data to disk. Please make sure the drive is not full.");
            break;

        default:
            Alerts::showWarning (this, "Data Integrity Failure",
                                 "Belvora has detected data corruption in the data downloaded from your device. This could be caused by a MIDI "
                                 "transmission error. Please try downloading again. If the error persists, please contact Marrowell Support.");
            needSync = true;
            break;
    }

    updateSyncButton (needSync);
}

void DataPage::commandDone (const DeviceCommandMessage& command)
{
    switch (command.command)
    {
        case DeviceCommandMessage::loadSyncFile:
            if (awaitingSyncFile)
                loadStoredWorkspace (true);
            break;

        case DeviceCommandMessage::readAll:
            storeDownloadedDeviceData();
            break;

        case DeviceCommandMessage::readPresets:
        case DeviceCommandMessage::writeChangedPresets:
            if (auto* devices = Nexus::getDeviceManager())
                deviceDataSet->setLiveData (devices->getActiveDeviceData());

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

    repaint();
}

// What went to the unit is now the unit's data, and the workspace's too.
void DataPage::takeSentData (const DeviceCommandMessage& command)
{
    auto* work = deviceDataSet->getWorkingData();
    const auto& live = deviceDataSet->getLiveData();
    const auto& sent = command.data;

    if (sent == nullptr || work == nullptr || live == nullptr)
        return;

    auto updated = live->clone (false);
    const auto indices = command.command == DeviceCommandMessage::writeAllOfData ? sent->getUsedPresetIndices() : command.arguments;

    for (auto index : indices)
    {
        updated->copyPreset (index, *sent);
        work->copyPreset (index, *sent);
        work->setPresetModified (index, false);
    }

    if (command.command != DeviceCommandMessage::writeGivenPresets && sent->getSetup().isComplete())
    {
        updated->setSetup (sent->getSetup(), false);
        work->setSetup (sent->getSetup(), false);
    }

    deviceDataSet->setLiveData (std::shared_ptr<const DeviceData> (std::move (updated)));
    work->clearModified (true);
    pendingSendData.reset();
}

void DataPage::commandFailed (const DeviceCommandMessage& command)
{
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
        updateSyncButton (needSync);
    }

    Alerts::showWarning (this, errorTitle (code), DeviceManager::getErrorText ((int) code, deviceName));
}

//==============================================================================
void DataPage::buttonClicked (juce::Button* button)
{
    auto* item = dynamic_cast<juce::ToolbarItemComponent*> (button);

    if (item == nullptr)
        return;

    switch (item->getItemId())
    {
        case getData:       syncWithDevice(); break;
        case applyChanges:  perform (CommandIDs::applyChanges); break;
        case sendSetup:     perform (CommandIDs::restoreSetup); break;
        case sendSelected:  perform (CommandIDs::sendDirectToDevice); break;
        default:            break;
    }
}

void DataPage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    g.setColour (Palette::outlineColour);
    g.drawHorizontalLine (toolbar.getBottom(), 0.0f, (float) getWidth());

    if (deviceDataSet == nullptr || syncButton.isVisible())
        return;

    const auto fontSize = BVLookAndFeel::of (*this) != nullptr ? BVLookAndFeel::of (*this)->getFontSize() : BVLookAndFeel::Defaults::fontSize;
    g.setColour (Palette::textColour);
    g.setFont (BVLookAndFeel::makeFont (fontSize));
    g.drawText ("Workspace: " + getWorkspaceLabel(), getLocalBounds().withTrimmedTop (toolbar.getBottom() + 1).reduced (10),
                juce::Justification::centredTop);
}

void DataPage::resized()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto thickness = laf != nullptr ? (int) laf->getToolbarThickness() : BVLookAndFeel::Defaults::toolbarThickness;

    toolbar.setBounds (getLocalBounds().removeFromTop (thickness));
    syncButton.setCentrePosition (getLocalBounds().getCentre());
}
