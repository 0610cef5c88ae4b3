#include "devices/DeviceProfiler.h"

#include "base/BelvoraPaths.h"
#include "content/ContentManager.h"
#include "tracking/EventDeviceActivation.h"
#include "tracking/EventLogUserDevice.h"
#include "tracking/EventTracker.h"
#include "devices/DeviceCaps.h"
#include "model/FactoryBank.h"
#include "model/SafeSave.h"

#include <mutex>

namespace
{
    constexpr int maxFactoryPresets = 16384;

    const juce::XmlElement* featuresOf (const juce::XmlElement* parent)
    {
        return parent != nullptr ? parent->getChildByName ("features") : nullptr;
    }

    const juce::XmlElement* baseFeaturesOf (const juce::XmlElement* doc)
    {
        return doc != nullptr ? featuresOf (doc->getChildByName ("baseDefinition")) : nullptr;
    }

    // A build range; an end of -1 is open.
    bool rangeHolds (const juce::XmlElement& range, int build)
    {
        const auto start = range.getIntAttribute ("start");
        const auto end = range.getIntAttribute ("end");
        return start <= build && (end == -1 || build <= end);
    }

    // Serial ranges compare as unsigned 32-bit numbers, so -1 is the largest serial.
    uint32_t serialAttribute (const juce::XmlElement& e, const char* name)
    {
        return (uint32_t) e.getStringAttribute (name).getLargeIntValue();
    }
}

std::unique_ptr<DeviceCaps> DeviceProfiler::createCaps (const ContentManager& content, int productId, int build)
{
    return createCapsFrom (content.getCapsXml (productId).get(), productId, build);
}

std::unique_ptr<DeviceCaps> DeviceProfiler::createCapsFrom (const juce::XmlElement* doc, int productId, int build)
{
    const auto* base = baseFeaturesOf (doc);
    const juce::XmlElement* profile = nullptr;
    int start = 0, end = build;

    if (doc != nullptr)
    {
        for (auto* candidate : doc->getChildWithTagNameIterator ("buildProfile"))
        {
            auto* range = candidate->getChildByName ("range");
            if (range == nullptr)
                continue;

            start = range->getIntAttribute ("start");
            end = range->getIntAttribute ("end");
            if (end == -1)
                end = build;

            if (start <= build && build <= end)
            {
                profile = featuresOf (candidate);
                break;
            }
        }
    }

    return std::make_unique<DeviceCaps> (base, profile, (uint8_t) productId, start, end);
}

std::unique_ptr<DeviceCaps> DeviceProfiler::createCapsForDataVersions (const ContentManager& content, int productId, int kind, int version)
{
    return createCapsForDataVersionsFrom (content.getCapsXml (productId).get(), productId, kind, version);
}

std::unique_ptr<DeviceCaps> DeviceProfiler::createCapsForDataVersionsFrom (const juce::XmlElement* doc, int productId, int kind, int version)
{
    if (kind != 1 && kind != 2)
        return nullptr;

    const juce::String key (kind == 1 ? "presetVersion" : "setupVersion");
    const auto* base = baseFeaturesOf (doc);
    const auto baseValue = base != nullptr ? base->getIntAttribute (key) : 0;

    if (doc != nullptr)
    {
        for (auto* candidate : doc->getChildWithTagNameIterator ("buildProfile"))
        {
            auto* range = candidate->getChildByName ("range");
            if (range == nullptr)
                continue;

            const auto* features = featuresOf (candidate);
            const auto value = features != nullptr ? features->getIntAttribute (key) : 0;

            if (value == version || (value == 0 && baseValue == version))
            {
                const auto start = range->getIntAttribute ("start");
                const auto end = range->getIntAttribute ("end");
                return std::make_unique<DeviceCaps> (base, features, (uint8_t) productId, start, end == -1 ? start : end);
            }
        }
    }

    return std::make_unique<DeviceCaps> (base, nullptr, (uint8_t) productId, 0, 0);
}

juce::String DeviceProfiler::getProductDisplayName (const ContentManager& content, int productId, uint32_t serial)
{
    const auto variant = getVariantName (content.getCapsXml (productId).get(), serial);
    return variant.isNotEmpty() ? variant : content.getProductName (productId);
}

juce::String DeviceProfiler::getVariantName (const juce::XmlElement* doc, uint32_t serial)
{
    auto* variants = doc != nullptr ? doc->getChildByName ("productVariants") : nullptr;

    if (variants == nullptr)
        return {};

    for (auto* range : variants->getChildWithTagNameIterator ("range"))
        if (serialAttribute (*range, "start") <= serial && serial <= serialAttribute (*range, "end"))
            return range->getStringAttribute ("displayName");

    return {};
}

std::unique_ptr<FactoryBank> DeviceProfiler::createFactoryBank (const ContentManager& content, int productId, int build)
{
    return createFactoryBankFrom (content.getCapsXml (productId).get(), productId, build);
}

std::unique_ptr<FactoryBank> DeviceProfiler::createFactoryBankFrom (const juce::XmlElement* doc, int productId, int build)
{
    const juce::XmlElement* chosen = nullptr;

    if (doc != nullptr)
    {
        for (auto* bank : doc->getChildWithTagNameIterator ("factoryBank"))
        {
            auto* range = bank->getChildByName ("range");
            if (range != nullptr && rangeHolds (*range, build))
            {
                chosen = bank;
                break;
            }
        }
    }

    // Preset numbers travel as 14-bit values: a larger count in a document is
    // not a bank to allocate.
    const auto numPresets = juce::jlimit (0, maxFactoryPresets, createCapsFrom (doc, productId, build)->caps.numPresets);
    auto bank = std::make_unique<FactoryBank> (numPresets);

    if (chosen == nullptr)
        return bank;

    for (auto* preset : chosen->getChildWithTagNameIterator ("preset"))
    {
        const auto md5 = preset->getStringAttribute ("md5");

        if (md5.length() == 32)
            bank->setEntry (preset->getIntAttribute ("number"), md5);
    }

    return bank;
}

//==============================================================================
// The known-device list.

namespace
{
    const juce::Identifier listRootTag ("DEVICE_MANAGER");
    const juce::Identifier listDeviceTag ("device");
    const juce::Identifier listNameAttribute ("name");
    const juce::Identifier listIdAttribute ("id");
    const juce::Identifier listActivatedAttribute ("activated");
    const juce::Identifier listDetectionAttribute ("detection");
    const juce::Identifier listVersionAttribute ("version");
    const juce::Identifier listSerialAttribute ("serial");
    const juce::Identifier listManufactureAttribute ("manufacture");

    constexpr int noProduct = 255;

    int productIdOf (const juce::XmlElement& e)   { return e.getIntAttribute (listIdAttribute, noProduct); }
    int serialOf (const juce::XmlElement& e)      { return e.getIntAttribute (listSerialAttribute, 0); }
    bool isActivated (const juce::XmlElement& e)  { return e.getBoolAttribute (listActivatedAttribute, false); }

    FirmwareVersion versionOf (const juce::XmlElement& e)
    {
        return FirmwareVersion::fromString (e.getStringAttribute (listVersionAttribute));
    }

    juce::int64 detectionOf (const juce::XmlElement& e)
    {
        return e.getStringAttribute (listDetectionAttribute).getLargeIntValue();
    }

    std::unique_ptr<juce::XmlElement> readListFile()
    {
        auto xml = ContentManager::readXmlFromFile (BelvoraPaths::getDeviceListFile(), nullptr);

        if (xml == nullptr || ! xml->hasTagName (listRootTag.toString()))
            return {};

        return xml;
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
        // A request in flight ends at the stop request and the loop stops
        // between requests, so the thread ends by itself.
        stopThread (-1);
    }

    void request()
    {
        const std::lock_guard guard (startLock);
        pending = true;

        if (stopping)
            return;

        if (! isThreadRunning())
            startThread (juce::Thread::Priority::low);

        notify();
    }

    /** No look-up starts after this; one under way ends. */
    void askToStop()
    {
        const std::lock_guard guard (startLock);
        stopping = true;
        signalThreadShouldExit();
        notify();
    }

    void run() override
    {
        while (! threadShouldExit())
        {
            if (! pending.exchange (false))
            {
                wait (-1);
                continue;
            }

            profiler.lookUpActivations();
        }
    }

private:
    DeviceProfiler& profiler;
    std::atomic<bool> pending { false };
    std::mutex startLock;
    bool stopping = false;   // under startLock
};

//==============================================================================
DeviceProfiler::DeviceProfiler (ContentManager& contentManager, EventTracker& eventTracker, const Setup& s)
    : content (contentManager), tracker (eventTracker), setup (s), lookupThread (std::make_unique<LookupThread> (*this))
{
}

DeviceProfiler::~DeviceProfiler()
{
    lookupThread.reset();
}

void DeviceProfiler::askToStop()
{
    lookupThread->askToStop();
}

void DeviceProfiler::initialise()
{
    juce::Array<uint8_t> ids;

    {
        const platform::ScopedLock scoped (lock);
        list = readListFile();
        knownProductIds.clear();

        if (list != nullptr)
            for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
                if (productIdOf (*e) >= 0 && productIdOf (*e) < noProduct)
                    knownProductIds.addIfNotAlreadyThere ((uint8_t) productIdOf (*e));

        ids = knownProductIds;
    }

    // Runs at start-up on the message thread: the requests run on a worker.
    for (auto id : ids)
        content.requestProductContentAsync (id);

    if (setup.developerMode && setup.syncAll)
        content.requestEveryProductAsync();
}

//==============================================================================
void DeviceProfiler::setConnectionQuery (ConnectionQuery query)
{
    const platform::ScopedLock scoped (lock);
    connected = std::move (query);
}

bool DeviceProfiler::isConnected (int productId, int serial) const
{
    const platform::ScopedLock scoped (lock);
    return connected != nullptr && connected (productId, serial);
}

juce::XmlElement* DeviceProfiler::findDevice (int productId, int serial) const
{
    if (list == nullptr || productId == noProduct)
        return nullptr;

    for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
        if (productIdOf (*e) == productId && serialOf (*e) == serial)
            return e;

    return nullptr;
}

bool DeviceProfiler::save()
{
    const juce::File file (BelvoraPaths::getDeviceListFile());

    // Written beside the old list and swapped in, so a failed write keeps it;
    // the next scan tries again, or the change would be lost at the next start.
    unsaved = list == nullptr || ! file.getParentDirectory().createDirectory()
           || ! SafeSave::replaceFile (file, [this] (juce::OutputStream& out) { list->writeTo (out); return true; });
    return ! unsaved;
}

void DeviceProfiler::readDeviceList (juce::Array<uint8_t>& ids, juce::Array<FirmwareVersion>& versions,
                                     juce::Array<int>& serials, juce::Array<ManufactureDate>& manufactureDates,
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

    for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
    {
        const auto id = productIdOf (*e);

        if (id < 0 || id >= noProduct || e->getStringAttribute (listNameAttribute).isEmpty())
            continue;

        if (excludeConnected && isConnected (id, serialOf (*e)))
            continue;

        ids.add ((uint8_t) id);
        versions.add (versionOf (*e));
        serials.add (serialOf (*e));
        manufactureDates.add (ManufactureDate::fromString (e->getStringAttribute (listManufactureAttribute)));
        detectionTimes.add (detectionOf (*e));

        if (names != nullptr)
            names->add (e->getStringAttribute (listNameAttribute));
    }
}

void DeviceProfiler::writeDeviceList (const juce::OwnedArray<juce::XmlElement>& identifiedUnits)
{
    bool added = false;

    {
        const platform::ScopedLock scoped (lock);
        bool changed = false;

        if (list == nullptr)
            list = std::make_unique<juce::XmlElement> (listRootTag);

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
                known->setAttribute (listVersionAttribute, unit->getStringAttribute (listVersionAttribute));
                changed = true;
            }
        }

        if (changed || unsaved)
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
    juce::Array<ManufactureDate> dates;
    juce::Array<juce::int64> detections;
    readDeviceList (ids, versions, serials, dates, detections, false);

    for (int i = 0; i < ids.size(); ++i)
        tracker.addEvent (new EventLogUserDevice (serials[i], ids[i], versions[i].build, juce::Time (detections[i])), -1, true);

    if (! ids.isEmpty())
        tracker.notify();

    eventsSent = true;
}

//==============================================================================
void DeviceProfiler::updateActivations()
{
    lookupThread->request();
}

int DeviceProfiler::lookUpActivations()
{
    // An activation is a usage report too: none while the user has turned usage
    // data off. The units stay unactivated and are looked up once it is on.
    if (! EventTracker::isOptedIn())
        return 0;

    juce::Array<PendingUnit> pending;

    {
        const platform::ScopedLock scoped (lock);

        if (list == nullptr)
            return 0;

        for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
            if (! isActivated (*e))
                pending.add ({ productIdOf (*e), serialOf (*e), e->getStringAttribute (listNameAttribute), detectionOf (*e) });
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

        for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
        {
            if (productIdOf (*e) == unit.productId && serialOf (*e) == unit.serial && ! isActivated (*e))
            {
                e->setAttribute (listActivatedAttribute, 1);
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

    for (auto* e : list->getChildWithTagNameIterator (listDeviceTag.toString()))
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

        if (e == nullptr || e->getStringAttribute (listNameAttribute).isEmpty())
            return false;

        build = versionOf (*e).build;
    }

    return content.isFirmwareUpdateAvailable (productId, build);
}