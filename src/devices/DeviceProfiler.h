#pragma once

#include "model/FirmwareVersion.h"
#include "platform/CriticalSection.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <memory>

class ContentManager;
class DeviceCaps;
class EventTracker;
class FactoryBank;

/** Remembers every unit ever identified on this computer in "deviceList.xml",
    reports them to the usage tracking and records whether each one is known to
    the maker's device database. Also holds the lookups into the products'
    capability documents. */
class DeviceProfiler
{
public:
    /** What the profiler takes from the application. */
    struct Setup
    {
        bool newInstallation = false;
        bool developerMode = false;
        bool syncAll = false;
    };

    /** Whether a unit (product id, serial) is connected now. */
    using ConnectionQuery = std::function<bool (int productId, int serial)>;

    DeviceProfiler (ContentManager& content, EventTracker& tracker, const Setup& setup);
    virtual ~DeviceProfiler();

    /** Tells the profiler which units are connected (the device manager, which is
        made after the profiler, sets it); without one no unit counts as connected. */
    void setConnectionQuery (ConnectionQuery query);

    /** Reads the list and asks for the content of every product in it, without
        waiting for it (the message thread calls this at start-up). */
    void initialise();

    /** Asks the look-ups to stop without waiting: a request in flight ends. */
    void askToStop();

    /** The remembered units with an id and a name, in list order; with
        excludeConnected, the units connected now are left out. */
    void readDeviceList (juce::Array<uint8_t>& ids, juce::Array<FirmwareVersion>& versions, juce::Array<int>& serials,
                         juce::Array<ManufactureDate>& manufactureDates, juce::Array<juce::int64>& detectionTimes,
                         bool excludeConnected, juce::StringArray* names = nullptr) const;

    /** After a scan: remembers the identified units, given as known-device entries (as a
        unit describes itself): new ones are appended, a changed build is updated; the
        file is written only when something changed. */
    void writeDeviceList (const juce::OwnedArray<juce::XmlElement>& identifiedUnits);

    /** Starts the device look-ups on the profiler's own thread and returns at once. */
    void updateActivations();

    /** Looks up every unit not yet activated on the calling thread, without holding
        the list while the server answers; stops between requests when the calling
        thread is asked to stop. Returns how many units became activated. */
    int lookUpActivations();

    /** Queues one device report per remembered unit with the event tracker. */
    void sendConnectionEvents();

    /** Forgets a unit unless it is connected now; true when the list changed. */
    bool removeDevice (int productId, int serial);

    /** Forgets every unit that is not connected now; true when the list changed. */
    bool removeDisconnectedDevices();

    /** True when a newer firmware than the remembered one is listed for that unit. */
    bool hasFirmwareUpdate (int productId, int serial) const;

    /** The capabilities of a product at one firmware build; defaults for an unknown product. */
    static std::unique_ptr<DeviceCaps> createCaps (const ContentManager& content, int productId, int build);

    /** kind 1: the build profile whose "presetVersion" is version, kind 2 "setupVersion";
        null for any other kind. */
    static std::unique_ptr<DeviceCaps> createCapsForDataVersions (const ContentManager& content, int productId, int kind, int version);

    /** The product variant's name for a serial number, else the product's name. */
    static juce::String getProductDisplayName (const ContentManager& content, int productId, uint32_t serial);

    static std::unique_ptr<FactoryBank> createFactoryBank (const ContentManager& content, int productId, int build);

    // The same lookups in a given capability document (null: no document).
    static std::unique_ptr<DeviceCaps> createCapsFrom (const juce::XmlElement* capsDocument, int productId, int build);
    static std::unique_ptr<DeviceCaps> createCapsForDataVersionsFrom (const juce::XmlElement* capsDocument, int productId, int kind, int version);
    static juce::String getVariantName (const juce::XmlElement* capsDocument, uint32_t serial);
    static std::unique_ptr<FactoryBank> createFactoryBankFrom (const juce::XmlElement* capsDocument, int productId, int build);

private:
    class LookupThread;

    juce::XmlElement* findDevice (int productId, int serial) const;
    bool save();
    bool isConnected (int productId, int serial) const;

    ContentManager& content;
    EventTracker& tracker;

    platform::CriticalSection lock;       // guards the list and the connection query
    ConnectionQuery connected;
    std::unique_ptr<juce::XmlElement> list;
    juce::Array<uint8_t> knownProductIds;
    std::atomic<bool> eventsSent { false };
    bool unsaved = false;   // the last write failed: the file lags behind the list

    const Setup setup;
    std::unique_ptr<LookupThread> lookupThread;

    JUCE_DECLARE_NON_COPYABLE (DeviceProfiler)
};
