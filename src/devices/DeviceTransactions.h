#pragma once

#include "base/DeviceCommandMessage.h"
#include "devices/DeviceCaps.h"

#include <juce_events/juce_events.h>

#include <memory>

class CommandQueue;
class DeviceData;
class DeviceExchange;
class DevicePorts;
class Preset;
class SetupData;

/** Runs a unit's commands, one transaction at a time on the unit's thread,
    on the unit's working data: a private copy that nobody else sees. What a
    transaction changed goes out as a new snapshot (takeSnapshot). */
class DeviceTransactions
{
public:
    struct Parts
    {
        juce::Thread& worker;
        DevicePorts& ports;
        DeviceExchange& exchange;
        CommandQueue& queue;
        juce::MessageListener& owner;
    };

    explicit DeviceTransactions (const Parts& parts);
    ~DeviceTransactions();

    /** The capabilities and the data that identification made. */
    void adopt (std::shared_ptr<const DeviceCaps> caps, std::unique_ptr<DeviceData> data);

    /** Runs the transaction of a command. */
    void run (const DeviceCommandMessage& command);

    /** Replaces the working data by the folder's sync file when the file fits the
        unit; false when it does not (which is no fault of the unit). */
    bool loadSyncFile (const juce::String& dataFolder);

    /** Resumes the unit when asked; without an error the unit is idle again. */
    void finish (bool resume);

    /** A snapshot of the working data when it changed since the last call (digests
        computed, so readers never write to it); null otherwise. */
    std::shared_ptr<const DeviceData> takeSnapshot();

private:
    bool canTalk() const;

    /** Data of another format than the unit's: told at once, never tried again. */
    bool isVersionConflict() const;

    void readAll();
    bool readPreset (int number);
    void readPresets (const juce::Array<int>& numbers);
    void readSetup();
    void deletePresets (const juce::Array<int>& numbers);
    bool writePreset (const Preset& preset, int number);
    void writePresets (const DeviceData& source, const juce::Array<int>& numbers);
    void writeSetup (const SetupData& setup);
    void writeEverything (const DeviceData& source);
    void sendFirmware (const juce::OwnedArray<juce::MidiMessage>& messages);
    void suspend();
    void resumeOnStop (bool suspended);
    void post (int code, int value1, int value2, const juce::String& text = {});
    uint8_t product() const;

    Parts parts;
    std::shared_ptr<const DeviceCaps> caps;
    std::unique_ptr<DeviceData> working;
    bool changed = false;

    JUCE_DECLARE_NON_COPYABLE (DeviceTransactions)
};
