#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The questions and notices the main window asks before it quits, sends data
    or firmware to a unit, and after a scan: their texts, buttons and answers.
    What leads to each and what follows is the content component's. Every box
    is modal and centred over the given component. */
namespace CommandDialogs
{
    /** The warning that every firmware question ends with. */
    juce::String updateWarning (const juce::String& name);

    /** What would discard the unsent edits of the workspace. */
    enum class Discard { quit, firmwareUpdate, disconnect, switchUnit, restore, send, scan };

    /** "Changes Will Be Lost" before a step that discards unsent edits: true to go ahead. */
    bool askDiscardChanges (juce::Component* parent, const juce::String& name, Discard reason);

    /** "Confirm Send Setup": true for "Yes". */
    bool confirmSendSetup (juce::Component* parent, const juce::String& name, bool fromOtherSource,
                           const juce::String& sourceName);

    /** The answers of the firmware questions with three buttons. */
    enum FirmwareAnswer { no = 0, yes = 1, showDetails = 2 };

    /** "New Firmware Available", asked after a unit connects. */
    FirmwareAnswer askInstallNewFirmware (juce::Component* parent, const juce::String& name);

    /** "Firmware Update!" for a unit that has that build already: true for "Start Update". */
    bool confirmReinstallFirmware (juce::Component* parent, const juce::String& name);

    /** "Firmware Update!", with "Show Details..." only when offered. */
    FirmwareAnswer confirmFirmwareUpdate (juce::Component* parent, const juce::String& name, bool offerDetails);

    /** What a scan that identified no unit found. */
    struct ScanFacts
    {
        int ports = 0;              // device entries (MIDI port pairs)
        int busy = 0;               // of them busy or unavailable
        juce::StringArray inUse;    // names of units another program holds
        juce::StringArray withoutProductInfo;   // units that answered, whose product's information could not be downloaded
        std::function<bool()> overtaken;        // true once that information came: the box closes by itself
    };

    /** The box after a scan that identified no unit; true when the user asked for more information. */
    bool showDeviceScanResult (juce::Component* parent, const ScanFacts& facts);
}
