#pragma once

#include "devices/DeviceCaps.h"
#include "model/FirmwareVersion.h"
#include "model/SysEx.h"
#include "platform/CriticalSection.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

/** Remembers every unit ever identified on this computer in "deviceList.xml",
    reports them to the usage tracking and records whether each one is known to
    the maker's device database. */
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
                         juce::Array<SysEx::Date>& manufactureDates, juce::Array<juce::int64>& detectionTimes,
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

    // Least stand-ins of the capability look-ups and version texts until the
    // content catalogue brings them.
    static std::unique_ptr<DeviceCaps> createCaps (int productId, int)
    {
        auto c = std::make_unique<DeviceCaps>();
        c->caps = { static_cast<uint8_t> (productId), 1, 100, 15, 1, 100, 15, 15, 15, 1 };
        return c;
    }

    static juce::String getProductDisplayName (int, uint32_t) { return {}; }

    static SysEx::Date parseManufactureDate (const juce::String& text)
    {
        return { text.substring (0, 4).getIntValue(), text.substring (5, 7).getIntValue(), text.substring (8, 10).getIntValue() };
    }

private:
    class LookupThread;

    juce::XmlElement* findDevice (int productId, int serial) const;
    bool save() const;
    static bool isConnected (int productId, int serial);

    platform::CriticalSection lock;
    std::unique_ptr<juce::XmlElement> list;
    juce::Array<uint8_t> knownProductIds;
    std::atomic<bool> eventsSent { false };

    const Setup setup;
    std::unique_ptr<LookupThread> lookupThread;

    JUCE_DECLARE_NON_COPYABLE (DeviceProfiler)
};
