#pragma once

#include "model/FirmwareVersion.h"
#include "platform/CriticalSection.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

class DeviceCaps;
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

        static Setup fromApplication();
    };

    DeviceProfiler();
    explicit DeviceProfiler (const Setup& setup);
    virtual ~DeviceProfiler();

    /** Reads the list and asks for the content of every product in it. */
    void initialise();

    /** The remembered units with an id and a name, in list order; with
        excludeConnected, the units connected now are left out. */
    void readDeviceList (juce::Array<uint8_t>& ids, juce::Array<FirmwareVersion>& versions, juce::Array<int>& serials,
                         juce::Array<ManufactureDate>& manufactureDates, juce::Array<juce::int64>& detectionTimes,
                         bool excludeConnected, juce::StringArray* names = nullptr) const;

    /** After a scan: remembers the identified units of the device manager. */
    void writeDeviceList();

    /** Remembers units given as known-device entries (as a unit describes itself):
        new ones are appended, a changed build is updated; the file is written
        only when something changed. */
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
    static std::unique_ptr<DeviceCaps> createCaps (int productId, int build);

    /** kind 1: the build profile whose "presetVersion" is version, kind 2 "setupVersion";
        null for any other kind. */
    static std::unique_ptr<DeviceCaps> createCapsForDataVersions (int productId, int kind, int version);

    /** The product variant's name for a serial number, else the product's name. */
    static juce::String getProductDisplayName (int productId, uint32_t serial);

    static std::unique_ptr<FactoryBank> createFactoryBank (int productId, int build);

    // The same lookups in a given capability document (null: no document).
    static std::unique_ptr<DeviceCaps> createCapsFrom (const juce::XmlElement* capsDocument, int productId, int build);
    static std::unique_ptr<DeviceCaps> createCapsForDataVersionsFrom (const juce::XmlElement* capsDocument, int productId, int kind, int version);
    static juce::String getVariantName (const juce::XmlElement* capsDocument, uint32_t serial);
    static std::unique_ptr<FactoryBank> createFactoryBankFrom (const juce::XmlElement* capsDocument, int productId, int build);

private:
    class LookupThread;

    juce::XmlElement* findDevice (int productId, int serial) const;
    bool save();
    static bool isConnected (int productId, int serial);

    platform::CriticalSection lock;
    std::unique_ptr<juce::XmlElement> list;
    juce::Array<uint8_t> knownProductIds;
    std::atomic<bool> eventsSent { false };
    bool unsaved = false;   // the last write failed: the file lags behind the list

    const Setup setup;
    std::unique_ptr<LookupThread> lookupThread;

    JUCE_DECLARE_NON_COPYABLE (DeviceProfiler)
};
