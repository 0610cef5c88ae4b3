#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_events/juce_events.h>

#include <cstdint>
#include <memory>

class DeviceData;

/** A command for the device layer, posted to the device manager. */
class DeviceCommandMessage : public juce::Message
{
public:
    using MidiList = juce::OwnedArray<juce::MidiMessage>;

    enum Code
    {
        scan                 = 0x100000,
        checkConnection      = 0x100001,
        readAll              = 0x100010,
        nothing1             = 0x100020,
        nothing2             = 0x100030,
        readPresets          = 0x100040,
        readSetup            = 0x100050,
        deletePresets        = 0x100060,
        writeChangedPresets  = 0x100100,
        writeGivenPresets    = 0x100101,
        writeSetup           = 0x100110,
        writeGivenSetup      = 0x100111,
        writeAllOfData       = 0x100120,
        sendFirmware         = 0x100300,

        /** Loads the sync file of the active unit's data folder into the unit's
            data, between its commands; ends in a completion or, when the file
            does not load, a failure that leaves no error on the unit. */
        loadSyncFile         = 0x100400
    };

    DeviceCommandMessage() = default;
    explicit DeviceCommandMessage (int command);
    DeviceCommandMessage (int command, const juce::Array<int>& arguments);

    /** Commands that send presets or a setup of given data. The command keeps the
        data alive until its last copy is gone, so the caller may drop or change its
        own copy while the command waits in a queue. */
    DeviceCommandMessage (int command, std::shared_ptr<const DeviceData> data, const juce::Array<int>& arguments);

    /** The firmware form: takes over the list of the image's messages. */
    DeviceCommandMessage (std::unique_ptr<MidiList> midiMessages, const juce::Array<int>& arguments);

    DeviceCommandMessage (const DeviceCommandMessage& other);
    DeviceCommandMessage& operator= (const DeviceCommandMessage& other);

    void copyFrom (const DeviceCommandMessage& other);

    int command = 0;
    juce::Array<int> arguments;

    /** Shared by every copy; fixed once attached. */
    std::shared_ptr<const MidiList> midiMessages;

    /** The data a 0x100101, 0x100111 or 0x100120 command sends; empty otherwise. */
    std::shared_ptr<const DeviceData> data;

    /** How often the active unit's queue had been reset when the command was
        posted: one posted before a reset goes with the queue it was meant for. */
    uint32_t queueResets = 0;
};
