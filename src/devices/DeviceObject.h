#pragma once

#include "devices/CommandQueue.h"
#include "devices/DeviceExchange.h"
#include "devices/DeviceFlags.h"
#include "devices/DeviceIdentification.h"
#include "devices/DevicePorts.h"
#include "devices/DeviceTransactions.h"
#include "devices/MidiPortBackend.h"
#include "devices/ProductCatalogue.h"
#include "platform/Event.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>
#include <mutex>

class DeviceCaps;
class DeviceData;

/** One MIDI port pair and the unit behind it: identifies the unit, then runs
    its queued commands one at a time on its own thread.

    The unit's capabilities and data are published as immutable snapshots: the
    unit's thread works on a private copy and swaps in a new snapshot before
    it posts a command's completion, so whatever another thread holds is never
    written or freed under it. */
class DeviceObject : public juce::Thread,
                     public juce::ChangeBroadcaster
{
public:
    struct Options
    {
        /** Identification asks every product by its own request, also those that answer the generic one. */
        bool scanAll = false;
    };

    DeviceObject (juce::MessageListener& owner, std::shared_ptr<MidiPortBackend> backend,
                  std::shared_ptr<ProductCatalogue> catalogue,
                  const juce::String& name, int inputIndex, int outputIndex, Options options);
    ~DeviceObject() override;

    const juce::String& getName() const noexcept   { return name; }
    bool isUsable() const;

    /** No command queued and none running. */
    bool isIdle() const;

    bool openPorts();
    void closePorts();

    /** Ends the unit's part as the active unit without waiting for it: a running
        transaction is asked to abort, and the ports close once the unit's thread
        has finished with it (at once when the unit is idle). */
    void release();

    /** The folder of this unit's stored data: the product's backup folder and the serial. */
    juce::String getDataFolder() const;

    /** A "device" element of the known-device list describing this unit. */
    std::unique_ptr<juce::XmlElement> createDeviceListEntry() const;

    FirmwareVersion getVersion() const              { return exchange.getVersion(); }
    ManufactureDate getManufactureDate() const      { return exchange.getManufactureDate(); }
    int getSerial() const noexcept                  { return exchange.getSerial(); }
    int getProductId() const noexcept               { return exchange.getProductId(); }
    uint32_t getFlags() const noexcept              { return flags.get(); }
    DeviceError getErrorCode() const noexcept       { return exchange.getError(); }
    int64_t getBytesSent() const noexcept           { return ports.getBytesSent(); }
    int64_t getBytesReceived() const noexcept       { return ports.getBytesReceived(); }
    CommandQueue& getQueue() noexcept               { return queue; }

    /** The latest snapshots; null before identification made them (or when it could not). */
    std::shared_ptr<const DeviceCaps> getCaps() const;
    std::shared_ptr<const DeviceData> getData() const;

    /** Asks the running transaction to end (queue state abort) unless it failed. */
    void requestAbort();

    /** Clears the queue and every transaction field, so a failed unit runs commands again. */
    void resetQueue();

    /** How many connection checks the unit passed: a check's own outcome, which
        a later reset of the queue (the failure's handling) does not hide. */
    uint32_t getConnectionChecksPassed() const noexcept   { return connectionChecksPassed.load(); }

    /** Asks an idle unit to identify itself again (its product's capabilities
        came since); busy from now until that ends. False when it is not idle. */
    bool identifyAgain();

    /** Its identification found no product while the catalogue still read the server's product list. */
    bool awaitsProductList() const noexcept   { return askAgainWithList.load(); }

    /** Its identification waits for the capabilities of the server's product list (the kept ones did not list its build). */
    bool awaitsServersCaps() const noexcept   { return askAgainWithCaps.load(); }

    /** Waits on the calling worker until `done` holds, looking again whenever the unit
        finishes a command; false when `giveUp` holds first or after limitMs (scaled).
        Never for the message thread. */
    bool waitForState (const std::function<bool()>& done, const std::function<bool()>& giveUp, int limitMs);

    void run() override;

private:
    void runIdentification();
    bool handleCommand();
    bool runCommand (const DeviceCommandMessage& command);
    void runCheckConnection();
    void publish();

    juce::MessageListener& owner;
    std::shared_ptr<ProductCatalogue> catalogue;
    const juce::String name;

    DeviceFlags flags;
    CommandQueue queue;
    DevicePorts ports;
    DeviceExchange exchange;
    DeviceIdentification identification;
    DeviceTransactions transactions;

    mutable std::mutex snapshotLock;      // guards the two snapshots
    std::shared_ptr<const DeviceCaps> caps;
    std::shared_ptr<const DeviceData> data;

    platform::Event stateChanged;         // a command or the identification ended, or an abort came
    std::atomic<bool> identificationAsked { false };
    std::atomic<bool> askAgainWithList { false };
    std::atomic<bool> askAgainWithCaps { false };
    std::atomic<uint32_t> connectionChecksPassed { 0 };

    JUCE_DECLARE_NON_COPYABLE (DeviceObject)
};
