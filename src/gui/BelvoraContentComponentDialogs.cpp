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

bool BelvoraContentComponent::hasUnsentEdits() const
{
    auto* dataSet = dataPage->getDeviceDataSet();
    // A download empties the workspace before it refills it: that is no edit.
    return hasActiveDevice() && dataSet != nullptr && dataSet->isModified() && ! dataPage->isBusy();
}

bool BelvoraContentComponent::askDiscardChanges (CommandDialogs::Discard reason)
{
    using Discard = CommandDialogs::Discard;

    const bool open = hasUnsentEdits();

    // With "previous" the workspace is stored and comes back with the unit; an
    // update or a restore replaces it whatever the method.
    const bool workspaceKept = reason != Discard::firmwareUpdate && reason != Discard::restore
                            && Belvora::getDataSyncMethod() == 2;

    // A unit lost with unsent edits left them in its stored workspace, which its next read replaces as well.
    if ((! open && lostUnitWithEdits.isEmpty()) || workspaceKept)
        return true;

    return CommandDialogs::askDiscardChanges (this, open ? activeDeviceName() : lostUnitWithEdits, reason);
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
        {
            // The user has been asked about the update and the edits: "Start Update"
            // in the chooser is the answer, not a reason to ask the same again.
            const juce::Component::SafePointer<BelvoraContentComponent> self (this);
            juce::MessageManager::callAsync ([self]
            {
                if (self != nullptr && hasActiveDevice())
                    self->showFirmwareChooser (true, true);
            });
            return false;
        }

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
    d->getNamesOfDevicesWithoutProductInfo (facts.withoutProductInfo);

    // The download keeps trying: a unit whose information came makes the box old news.
    facts.overtaken = [] { auto* now = devices(); return now == nullptr || now->getNumIdentifiedDevices() > 0; };

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
