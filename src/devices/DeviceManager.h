#pragma once

#include "app/DeviceCommandMessage.h"
#include "devices/CommandQueue.h"
#include "model/FirmwareVersion.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class DeviceObject;
class DeviceCaps;
class DeviceData;
class MidiPortBackend;
class ProductCatalogue;

/** Owns the units: pairs MIDI ports, makes one DeviceObject per pair, waits for
    their identification, runs scans and connection checks, watches the port
    lists and forwards every other command to the active unit. Notifications go
    to the listener given at construction (the content component, or a test's
    collector). */
class DeviceManager : public juce::Thread,
                      public juce::MessageListener
{
public:
    enum Notification
    {
        devicesMade   = 0x80000,
        scanFinished  = 0x80001,
        deviceLost    = 0x80002,
        portsChanged  = 0x80003
    };

    /** One MIDI input port and the output paired with it. */
    struct DeviceEntry
    {
        juce::String name, inputName, outputName;
        int inputIndex = -1, outputIndex = -1;
        std::unique_ptr<DeviceObject> device;
    };

    /** Without a backend the manager uses simulated units when
        BELVORA_SIMULATED_UNITS is set, else the machine's MIDI ports. */
    explicit DeviceManager (juce::MessageListener* listener, std::shared_ptr<MidiPortBackend> backend = {},
                            std::shared_ptr<ProductCatalogue> catalogue = {});
    ~DeviceManager() override;

    void run() override;
    void handleMessage (const juce::Message& message) override;

    /** Pairs input and output names into entries (without units); duplicates numbered. */
    static std::vector<DeviceEntry> pairPorts (const juce::StringArray& inputNames, const juce::StringArray& outputNames);

    static juce::String getErrorText (int code, const juce::String& deviceName);

    // Queries. Index -1 stands for the active unit.
    int getActiveIndex() const { return activeIndex.load(); }
    int getNumDevices() const;
    int getNumIdentifiedDevices() const;
    int getConnectedDeviceNames (juce::StringArray& names) const;
    bool isDeviceUsable (int index) const;
    bool isDeviceConnected (int productId, int serial) const;
    int getDeviceProductId (int index) const;
    juce::String getDeviceEntryName (int index) const;
    juce::String getActiveDeviceDisplayName() const;
    int getDeviceFlags (int index) const;
    int getDeviceSerial (int index) const;
    FirmwareVersion getDeviceVersion (int index) const;
    juce::String getActiveDeviceDataFolder() const;
    DeviceCaps* getActiveDeviceCaps() const;
    DeviceData* getActiveDeviceData() const;
    DeviceObject* getDevice (int index) const;
    void getDeviceTable (juce::StringArray& names, juce::StringArray& inputNames, juce::StringArray& outputNames,
                         juce::Array<int>& flags, juce::Array<int>& serials, juce::Array<FirmwareVersion>& versions) const;
    int indexOfDeviceWithSerial (int serial) const;
    int findDevice (int productId, int serial) const;
    void getMidiByteCounts (int64_t& sent, int64_t& received) const;

    bool isScanComplete() const     { return scanComplete.load(); }
    bool isRescanNeeded() const     { return rescanNeeded.load(); }
    int getQueueState() const       { return queue.getState(); }

    // Actions
    bool setActiveDevice (int index);
    void releaseActiveDevice();
    void abortActiveDeviceOperation();
    void resetActiveDeviceQueue();
    bool loadActiveDeviceSyncFile();

    MidiPortBackend& getBackend() const { return *backend; }

private:
    using EntryList = std::vector<std::unique_ptr<DeviceEntry>>;

    std::shared_ptr<EntryList> snapshot() const;
    DeviceEntry* entryAt (const EntryList& list, int index) const;
    DeviceObject* deviceAt (const EntryList& list, int index) const;

    void handleCommand (const DeviceCommandMessage& command);
    void closeDevices();
    void rebuild();
    bool scan();
    bool checkActiveConnection();
    void runConnectionCheckCommand();
    void watchPorts();
    bool portListsChanged();
    void post (int code, int value1 = 0);
    void queueConnectionEvent (const DeviceObject& device);

    juce::MessageListener* const listener;
    std::shared_ptr<MidiPortBackend> backend;
    std::shared_ptr<ProductCatalogue> catalogue;

    std::atomic<bool> scanComplete { false };
    std::atomic<bool> rescanNeeded { true };
    CommandQueue queue;
    juce::StringArray cachedOutputNames, cachedInputNames;

    // Readers take a snapshot under entriesLock and keep the list alive while
    // they use it; the rebuild swaps the list out and waits for those readers
    // before it deletes the old units.
    mutable std::mutex entriesLock;
    std::shared_ptr<EntryList> entries;

    // Serialises changes of the active unit with the rebuild.
    std::recursive_mutex activeLock;
    std::atomic<int> activeIndex { -1 };

    juce::AudioDeviceManager audioDeviceManager;
    juce::String audioInitialiseError;

    JUCE_DECLARE_NON_COPYABLE (DeviceManager)
};
