#pragma once

#include "base/DeviceCommandMessage.h"
#include "base/MessageTarget.h"
#include "devices/CommandQueue.h"
#include "model/FirmwareVersion.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class DeviceObject;
class DeviceCaps;
class DeviceData;
class DeviceProfiler;
class EventTracker;
class MidiPortBackend;
class ProductCatalogue;

/** Owns the units: pairs MIDI ports, makes one DeviceObject per pair, waits for
    their identification, runs scans and connection checks, watches the port
    lists and forwards every other command to the active unit. Notifications go
    to the listener given at construction (the hub, or a test's collector).

    Every call the user interface makes returns without waiting for a unit:
    queries hand out copies and immutable snapshots, actions post or hand over
    to the units' threads. */
class DeviceManager : public juce::Thread,
                      public MessageTarget
{
public:
    /** One MIDI input port and the output paired with it. */
    struct DeviceEntry
    {
        juce::String name, inputName, outputName;
        int inputIndex = -1, outputIndex = -1;
        std::shared_ptr<DeviceObject> device;
    };

    struct Options
    {
        /** Identification asks every product by its own request. */
        bool scanAll = false;

        /** True while a firmware update runs: the port watch then leaves the ports alone. */
        std::function<bool()> isFirmwareUpdateRunning;
    };

    /** Without a backend the manager uses simulated units when BELVORA_SIMULATED_UNITS
        is set, else the machine's MIDI ports. The profiler (optional) hears of every
        finished scan and asks the manager which units are connected; the tracker
        (optional) gets a usage event for every unit made active. */
    DeviceManager (juce::MessageListener& listener, std::shared_ptr<MidiPortBackend> backend,
                   std::shared_ptr<ProductCatalogue> catalogue, DeviceProfiler* profiler,
                   EventTracker* tracker, Options options);
    ~DeviceManager() override;

    void run() override;
    void handleMessage (const juce::Message& message) override;

    /** Pairs input and output names into entries (without units); duplicates numbered. */
    static std::vector<DeviceEntry> pairPorts (const juce::StringArray& inputNames, const juce::StringArray& outputNames);

    static juce::String getErrorText (int code, const juce::String& deviceName);

    /** How many of its cycles a scan waits for the units: the usual count, or
        while product content is still coming, the download time-out's worth
        (rounded up) when that is longer. */
    static int getScanCycleLimit (bool downloadsQueued);

    // Queries. Index -1 stands for the active unit.
    int getActiveIndex() const { return activeIndex.load(); }
    int getNumDevices() const;
    int getNumIdentifiedDevices() const;
    int getConnectedDeviceNames (juce::StringArray& names) const;

    /** The units that answered but whose product's capabilities could not be had. */
    int getNamesOfDevicesWithoutProductInfo (juce::StringArray& names) const;
    bool isDeviceUsable (int index) const;
    bool isDeviceConnected (int productId, int serial) const;
    int getDeviceProductId (int index) const;
    juce::String getDeviceEntryName (int index) const;
    juce::String getActiveDeviceDisplayName() const;
    int getDeviceFlags (int index) const;
    int getDeviceSerial (int index) const;
    FirmwareVersion getDeviceVersion (int index) const;
    juce::String getActiveDeviceDataFolder() const;

    /** Snapshots that stay valid and unchanged for as long as they are held. */
    std::shared_ptr<const DeviceCaps> getActiveDeviceCaps() const;
    std::shared_ptr<const DeviceData> getActiveDeviceData() const;

    /** The unit stays allocated while held; after a rescan it is a stopped unit of no list. */
    std::shared_ptr<DeviceObject> getDevice (int index) const;
    void getDeviceTable (juce::StringArray& names, juce::StringArray& inputNames, juce::StringArray& outputNames,
                         juce::Array<int>& flags, juce::Array<int>& serials, juce::Array<FirmwareVersion>& versions) const;
    int indexOfDeviceWithSerial (int serial) const;
    int findDevice (int productId, int serial) const;
    void getMidiByteCounts (int64_t& sent, int64_t& received) const;

    bool isScanComplete() const     { return scanComplete.load(); }
    bool isRescanNeeded() const     { return rescanNeeded.load(); }
    CommandQueue::State getQueueState() const { return queue.getState(); }

    // Actions
    bool setActiveDevice (int index);

    /** The unit stops being active at once; a running transaction is aborted and
        its ports close once the unit's thread has finished with it. */
    void releaseActiveDevice();
    void abortActiveDeviceOperation();
    void resetActiveDeviceQueue();

    /** Posts the command that loads the active unit's sync file into its data; its
        completion (or failure) tells the outcome. False when no unit is active. */
    bool loadActiveDeviceSyncFile();

    /** The ports the manager watches (the simulated units' set when they stand in for them). */
    MidiPortBackend& getBackend() const noexcept    { return *backend; }

private:
    using EntryList = std::vector<std::unique_ptr<DeviceEntry>>;

    std::shared_ptr<EntryList> currentEntries() const;
    DeviceEntry* entryAt (const EntryList& list, int index) const;
    DeviceObject* deviceAt (const EntryList& list, int index) const;

    void handleCommand (const DeviceCommandMessage& command);
    void closeDevices();
    void rebuild();
    bool scan();
    bool waitForIdentification (const std::vector<DeviceObject*>& units);
    void identifyUnitsWhoseContentCame();
    bool checkActiveConnection();
    void runConnectionCheckCommand();
    void watchPorts();
    bool portListsChanged();
    void post (int code, int value1 = 0, int value2 = 0);
    void rememberIdentifiedUnits();

    juce::MessageListener& listener;
    std::shared_ptr<MidiPortBackend> backend;
    std::shared_ptr<ProductCatalogue> catalogue;
    DeviceProfiler* const profiler;
    EventTracker* const tracker;
    const Options options;

    std::atomic<bool> scanComplete { false };
    std::atomic<bool> rescanNeeded { true };
    CommandQueue queue;
    juce::StringArray cachedOutputNames, cachedInputNames;

    // Readers take the list under entriesLock and keep it alive while they use
    // it; the rebuild swaps it out and stops the old units, which live on for
    // as long as someone holds them.
    mutable std::mutex entriesLock;
    std::shared_ptr<EntryList> entries;

    // A command on its way to the active unit when that unit's queue is reset
    // (a failed command clears what was queued behind it) never reaches it.
    std::mutex forwardLock;
    uint32_t activeQueueResets = 0;

    // Serialises changes of the active unit with the rebuild.
    std::recursive_mutex activeLock;
    std::atomic<int> activeIndex { -1 };

    juce::AudioDeviceManager audioDeviceManager;
    juce::String audioInitialiseError;

    JUCE_DECLARE_NON_COPYABLE (DeviceManager)
};
