#include "gui/CommandDialogs.h"

#include "gui/widgets/Alerts.h"

namespace CommandDialogs
{

namespace
{
    const juce::String moreInfo ("\n\nFor more information on diagnosing connection problems click the 'More Info' button.");

    using Choice = Alerts::Choice;

    Choice detailsButton()          { return { "Show Details...", showDetails, {} }; }
    Choice button (const char* text, int result, int key) { return { text, result, juce::KeyPress (key) }; }

    FirmwareAnswer toAnswer (int result)
    {
        return result == yes ? yes : result == showDetails ? showDetails : no;
    }
}

juce::String updateWarning (const juce::String& name)
{
    return "\n\rWARNING:  Do not stop the update once it starts. Halting the transfer or turning off " + name
         + " before it completes could result in data loss or an inoperative device. " + name
         + " will restart on its own after the update is complete.";
}

bool askDiscardChanges (juce::Component* parent, const juce::String& name, Discard reason)
{
    struct Wording { const char* verb; const char* goAhead; };

    const auto wording = [reason]() -> Wording
    {
        switch (reason)
        {
            case Discard::firmwareUpdate:  return { "update your firmware", "Update Anyway" };
            case Discard::disconnect:      return { "disconnect", "Disconnect Anyway" };
            case Discard::switchUnit:      return { "switch to another device", "Switch Anyway" };
            case Discard::restore:         return { "restore", "Restore Anyway" };
            case Discard::send:            return { "send", "Send Anyway" };
            case Discard::scan:            return { "scan", "Scan Anyway" };
            case Discard::quit:
            default:                       return { "quit", "Quit Anyway" };
        }
    }();

    const auto message = "Your preset edits have not been transferred to " + name + " yet. If you " + juce::String (wording.verb)
                       + " now, these changes will be discarded. To avoid losing your changes use the 'Apply' or 'Backup' functions on the toolbar.";

    return Alerts::askBeforeDiscarding (juce::MessageBoxIconType::WarningIcon, parent, "Changes Will Be Lost", message,
                                        wording.goAhead, "Cancel");
}

bool confirmSendSetup (juce::Component* parent, const juce::String& name, bool fromOtherSource, const juce::String& sourceName)
{
    const auto message = ! fromOtherSource
        ? "Are you sure you want to send\nsetup data to " + name + "?"
        : "Are you sure you want to send setup data to " + name + "?"
          + "\n\nNote: the setup data from '" + sourceName + "' will be sent to " + name
          + " and replace your workspace data. To retain the current workspace setup, choose \"No\" and make a new backup first.";

    return Alerts::askYesNo (parent, "Confirm Send Setup", message);
}

FirmwareAnswer askInstallNewFirmware (juce::Component* parent, const juce::String& name)
{
    const auto message = "There is a new version of firmware available for " + name + ". Do you want to update now?"
                       + updateWarning (name);

    // "Yes" starts the update at once: the box opens on "No", which Return, Escape and closing it answer.
    return toAnswer (Alerts::showChoices (juce::MessageBoxIconType::QuestionIcon, parent, "New Firmware Available", message,
                                          { detailsButton(), Choice { "Yes", yes }, Choice { "No", no, juce::KeyPress (juce::KeyPress::returnKey), true } }));
}

bool confirmReinstallFirmware (juce::Component* parent, const juce::String& name)
{
    return Alerts::showOkCancel (juce::MessageBoxIconType::QuestionIcon, parent, "Firmware Update!",
                                 "Your firmware is already up to date. Do you want to reapply the update anyway?" + updateWarning (name),
                                 false, "Start Update", "Cancel");
}

FirmwareAnswer confirmFirmwareUpdate (juce::Component* parent, const juce::String& name, bool offerDetails)
{
    juce::Array<Choice> choices;

    if (offerDetails)
        choices.add (detailsButton());

    choices.add (button ("Start Update", yes, juce::KeyPress::returnKey));
    choices.add (button ("Cancel", no, juce::KeyPress::escapeKey));

    return toAnswer (Alerts::showChoices (juce::MessageBoxIconType::QuestionIcon, parent, "Firmware Update!",
                                          "Are you sure you would like to update your firmware?" + updateWarning (name), choices));
}

bool showDeviceScanResult (juce::Component* parent, const ScanFacts& facts)
{
    juce::String title ("Device Scan"), message;

    if (facts.ports == 0)
    {
        message = "There are no MIDI capable devices available to Belvora. Make sure your device is turned on and properly connected." + moreInfo;
    }
    else if (! facts.withoutProductInfo.isEmpty())
    {
        title = "Product Information Unavailable";
        const auto& name = facts.withoutProductInfo[0];
        message = "The product information for " + name + " is unavailable: Belvora could not download it from the Marrowell server. "
                  "Belvora keeps trying by itself, and " + name + " can be used as soon as it comes; Scan for Devices tries again "
                  "at once. If this persists, make sure your internet connection works." + moreInfo;
    }
    else if (! facts.inUse.isEmpty())
    {
        title = "Device In Use";
        message = facts.inUse[0] + " is being used by another application.\n\nNote: some applications (such as Google Chrome) "
                  "automatically open MIDI devices. Belvora will not be able to gain access until you close the application using your device."
                + moreInfo;
    }
    else if (facts.busy > 0)
    {
        message = juce::String ("No Marrowell devices were found.\n\nNote: MIDI device(s) have been detected on your system but they "
                                "are not available to Belvora. The most likely cause is that a different application is using the device.")
                + moreInfo;
    }
    else
    {
        message = juce::String ("No Marrowell devices were found.\n\nIf your device is properly connected and functioning normally "
                                "try repeating the scan and/or restarting your device.")
                + moreInfo;
    }

    // "More Info..." opens a web page: Escape and closing the box answer "Ok".
    enum { ok = 1, moreInfo };
    return Alerts::showChoices (juce::MessageBoxIconType::WarningIcon, parent, title, message,
                                { Choice { "Ok", ok, juce::KeyPress (juce::KeyPress::returnKey), true }, Choice { "More Info...", moreInfo } },
                                facts.withoutProductInfo.isEmpty() ? nullptr : facts.overtaken)
        == moreInfo;
}

}
