#include "devices/DeviceProfiler.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "content/EventDeviceActivation.h"
#include "content/EventLogUserDevice.h"
#include "content/EventTracker.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"

namespace
{
    const juce::Identifier rootTag ("DEVICE_MANAGER");
    const juce::Identifier deviceTag ("device");
    const juce::Identifier nameAttribute ("name");
    const juce::Identifier idAttribute ("id");
    const juce::Identifier activatedAttribute ("activated");
    const juce::Identifier detectionAttribute ("detection");
    const juce::Identifier versionAttribute ("version");
    const juce::Identifier serialAttribute ("serial");
    const juce::Identifier manufactureAttribute ("manufacture");

    constexpr int noProduct = 255;
    constexpr int identifiedFlag = 0x8;

    int productIdOf (const juce::XmlElement& e)   { return e.getIntAttribute (idAttribute, noProduct); }
    int serialOf (const juce::XmlElement& e)      { return e.getIntAttribute (serialAttribute, 0); }
    bool isActivated (const juce::XmlElement& e)  { return e.getBoolAttribute (activatedAttribute, false); }

    FirmwareVersion versionOf (const juce::XmlElement& e)
    {
        return FirmwareVersion::fromString (e.getStringAttribute (versionAttribute));
    }

    juce::int64 detectionOf (const juce::XmlElement& e)
    {
        return e.getStringAttribute (detectionAttribute).getLargeIntValue();
    }

    std::unique_ptr<juce::XmlElement> readListFile()
    {
        auto xml = juce::parseXML (juce::File (Belvora::getDeviceListFile()));

        if (xml == nullptr || ! xml->hasTagName (rootTag.toString()))
            return {};

        return xml;
    }

    void requestContent (int productId)
    {
        if (auto* app = Belvora::getInstance())
            if (auto* nexus = app->getNexus())
                nexus->requestProductContent (productId);
    }

    // What a look-up needs of one entry, copied so no request runs under the lock.
    struct PendingUnit
    {
        int productId = noProduct;
        int serial = 0;
        juce::String name;
        juce::int64 detection = 0;
    };

    bool isKnownToTheMaker (const PendingUnit& unit)
    {
        EventParameterSet lookup (TrackingNames::findDeviceScript);
        lookup.add (TrackingNames::serial, unit.serial);
        const auto answer = lookup.postAndReadResponse();

        if (answer == "Yes")
            return true;

        if (answer != "No")
            return false;

        const EventDeviceActivation activation (unit.serial, unit.name, juce::Time (unit.detection));
        return EventParameterSet::post (activation.getUrl()) == "Success";
    }
}

//==============================================================================
/** Runs the device look-ups away from the scan; one round at a time, again when
    more were asked for meanwhile. */
class DeviceProfiler::LookupThread : public juce::Thread
{
public:
    explicit LookupThread (DeviceProfiler& p) : juce::Thread ("Device Lookup"), profiler (p) {}

    ~LookupThread() override
    {
        // Requests give up after their own time-out and the loop stops between
        // them, so the thread always ends by itself.
        signalThreadShouldExit();
        notify();
        const auto seconds = (EventParameterSet::getRequestTimeoutMs() + 999) / 1000;
        waitForThreadToExit (4 * (seconds + 1) * 1000);
        stopThread (1000);
    }

    void request()
    {
        pending = true;

        if (! isThreadRunning())
            startThread (juce::Thread::Priority::low);

        notify();
    }

    bool isBusy() const noexcept { return pending.load() || running.load(); }

    void run() override
    {
        while (! threadShouldExit())
        {
            if (! pending.exchange (false))
            {
                wait (-1);
                continue;
            }

            running = true;
            profiler.lookUpActivations();
            running = false;
        }
    }

private:
    DeviceProfiler& profiler;
    std::atomic<bool> pending { false };
    std::atomic<bool> running { false };
};

//==============================================================================
DeviceProfiler::Setup DeviceProfiler::Setup::fromApplication()
{
    Setup s;

    if (auto* app = Belvora::getInstance())
    {
        s.newInstallation = app->isNewInstallation();
        s.developerMode = app->isDeveloperMode();
        s.syncAll = app->isSyncAll();
    }

    return s;
}

DeviceProfiler::DeviceProfiler()
    : DeviceProfiler (Setup::fromApplication())
{
}

DeviceProfiler::DeviceProfiler (const Setup& s)
    : setup (s), lookupThread (std::make_unique<LookupThread> (*this))
{
}

DeviceProfiler::~DeviceProfiler()
{
    lookupThread.reset();
}

void DeviceProfiler::initialise()
{
    juce::Array<uint8_t> ids;

    {
        const platform::ScopedLock scoped (lock);
        list = readListFile();
        knownProductIds.clear();

        if (list != nullptr)
            for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
                if (productIdOf (*e) >= 0 && productIdOf (*e) < noProduct)
                    knownProductIds.addIfNotAlreadyThere ((uint8_t) productIdOf (*e));

        ids = knownProductIds;
    }

    // Content requests may download: never while holding the list.
    for (auto id : ids)
        requestContent (id);

    if (setup.developerMode && setup.syncAll)
        if (auto* content = Nexus::getContentManager())
            for (auto id : content->getProductIds())
                requestContent (id);
}

//==============================================================================
bool DeviceProfiler::isConnected (int productId, int serial)
{
    auto* devices = Nexus::getDeviceManager();
    return devices != nullptr && devices->isDeviceConnected (productId, serial);
}

juce::XmlElement* DeviceProfiler::findDevice (int productId, int serial) const
{
    if (list == nullptr || productId == noProduct)
        return nullptr;

    for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
        if (productIdOf (*e) == productId && serialOf (*e) == serial)
            return e;

    return nullptr;
}

bool DeviceProfiler::save() const
{
    const juce::File file (Belvora::getDeviceListFile());

    if (list == nullptr || ! file.getParentDirectory().createDirectory())
        return false;

    // Written beside the old list and swapped in, so a failed write keeps it.
    return list->writeTo (file);
}

void DeviceProfiler::readDeviceList (juce::Array<uint8_t>& ids, juce::Array<FirmwareVersion>& versions,
                                     juce::Array<int>& serials, juce::Array<SysEx::Date>& manufactureDates,
                                     juce::Array<juce::int64>& detectionTimes, bool excludeConnected,
                                     juce::StringArray* names) const
{
    ids.clear();
    versions.clear();
    serials.clear();
    manufactureDates.clear();
    detectionTimes.clear();

    if (names != nullptr)
        names->clear();

    const platform::ScopedLock scoped (lock);

    if (list == nullptr)
        return;

    for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
    {
        const auto id = productIdOf (*e);

        if (id < 0 || id >= noProduct || e->getStringAttribute (nameAttribute).isEmpty())
            continue;

        if (excludeConnected && isConnected (id, serialOf (*e)))
            continue;

        ids.add ((uint8_t) id);
        versions.add (versionOf (*e));
        serials.add (serialOf (*e));
        manufactureDates.add (parseManufactureDate (e->getStringAttribute (manufactureAttribute)));
        detectionTimes.add (detectionOf (*e));

        if (names != nullptr)
            names->add (e->getStringAttribute (nameAttribute));
    }
}

void DeviceProfiler::writeDeviceList()
{
    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr)
        return;

    juce::OwnedArray<juce::XmlElement> units;

    for (int i = 0; i < devices->getNumDevices(); ++i)
        if ((devices->getDeviceFlags (i) & identifiedFlag) != 0)
            if (auto* device = devices->getDevice (i))
                units.add (device->createDeviceListEntry());

    writeDeviceList (units);
}

void DeviceProfiler::writeDeviceList (const juce::OwnedArray<juce::XmlElement>& identifiedUnits)
{
    bool added = false;

    {
        const platform::ScopedLock scoped (lock);
        bool changed = false;

        if (list == nullptr)
            list = std::make_unique<juce::XmlElement> (rootTag);

        for (auto* unit : identifiedUnits)
        {
            // A unit without a product could never be found again and would be added at every scan.
            if (unit == nullptr || productIdOf (*unit) == noProduct)
                continue;

            auto* known = findDevice (productIdOf (*unit), serialOf (*unit));

            if (known == nullptr)
            {
                list->addChildElement (new juce::XmlElement (*unit));
                changed = added = true;
            }
            else if (versionOf (*known).build != versionOf (*unit).build)
            {
                known->setAttribute (versionAttribute, unit->getStringAttribute (versionAttribute));
                changed = true;
            }
        }

        if (changed)
            save();
    }

    if (added || (setup.newInstallation && ! eventsSent.load()))
        sendConnectionEvents();
}

void DeviceProfiler::sendConnectionEvents()
{
    juce::Array<uint8_t> ids;
    juce::Array<FirmwareVersion> versions;
    juce::Array<int> serials;
    juce::Array<SysEx::Date> dates;
    juce::Array<juce::int64> detections;
    readDeviceList (ids, versions, serials, dates, detections, false);

    if (auto* tracker = Nexus::getEventTracker())
    {
        for (int i = 0; i < ids.size(); ++i)
            tracker->addEvent (new EventLogUserDevice (serials[i], ids[i], versions[i].build, juce::Time (detections[i])), -1, true);

        if (! ids.isEmpty())
            tracker->notify();
    }

    eventsSent = true;
}

//==============================================================================
void DeviceProfiler::updateActivations()
{
    lookupThread->request();
}

int DeviceProfiler::lookUpActivations()
{
    juce::Array<PendingUnit> pending;

    {
        const platform::ScopedLock scoped (lock);

        if (list == nullptr)
            return 0;

        for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
            if (! isActivated (*e))
                pending.add ({ productIdOf (*e), serialOf (*e), e->getStringAttribute (nameAttribute), detectionOf (*e) });
    }

    juce::Array<PendingUnit> confirmed;

    for (const auto& unit : pending)
    {
        if (juce::Thread::currentThreadShouldExit())
            break;

        if (isKnownToTheMaker (unit))
            confirmed.add (unit);
    }

    const platform::ScopedLock scoped (lock);
    int activated = 0;

    // The list may have changed while the server answered: mark what is still there.
    for (const auto& unit : confirmed)
    {
        if (list == nullptr)
            break;

        for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
        {
            if (productIdOf (*e) == unit.productId && serialOf (*e) == unit.serial && ! isActivated (*e))
            {
                e->setAttribute (activatedAttribute, 1);
                ++activated;
                break;
            }
        }
    }

    if (activated > 0)
        save();

    return activated;
}

//==============================================================================
bool DeviceProfiler::removeDevice (int productId, int serial)
{
    const platform::ScopedLock scoped (lock);
    auto* e = findDevice (productId, serial);

    if (e == nullptr || isConnected (productId, serial))
        return false;

    list->removeChildElement (e, true);
    save();
    return true;
}

bool DeviceProfiler::removeDisconnectedDevices()
{
    const platform::ScopedLock scoped (lock);

    if (list == nullptr)
        return false;

    juce::Array<juce::XmlElement*> gone;

    for (auto* e : list->getChildWithTagNameIterator (deviceTag.toString()))
        if (! isConnected (productIdOf (*e), serialOf (*e)))
            gone.add (e);

    for (auto* e : gone)
        list->removeChildElement (e, true);

    if (! gone.isEmpty())
        save();

    return ! gone.isEmpty();
}

bool DeviceProfiler::hasFirmwareUpdate (int productId, int serial) const
{
    int build = 0;

    {
        const platform::ScopedLock scoped (lock);
        auto* e = findDevice (productId, serial);

        if (e == nullptr || e->getStringAttribute (nameAttribute).isEmpty())
            return false;

        build = versionOf (*e).build;
    }

    auto* content = Nexus::getContentManager();
    return content != nullptr && content->isFirmwareUpdateAvailable (productId, build);
}
