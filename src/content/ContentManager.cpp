#include "content/ContentManager.h"

#include "base/BelvoraSettings.h"
#include "base/DeviceInfoMessage.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentReader.h"
#include "platform/Clock.h"

#include <algorithm>
#include <optional>

namespace
{
    bool isNonEmptyFile (const juce::String& path)
    {
        return juce::File::isAbsolutePath (path) && juce::File (path).getSize() > 0;
    }

    bool isPrerelease (int status)
    {
        return status == FirmwareUpdateElement::statusBeta || status == FirmwareUpdateElement::statusAlpha;
    }
}

//==============================================================================
/** Asks the server for its master descriptor while the window is up. */
class ContentManager::DescriptorReader : public juce::Thread
{
public:
    explicit DescriptorReader (ContentManager& owner) : juce::Thread ("Content Connection"), catalogue (owner) {}
    void run() override   { catalogue.connect (*this); }

private:
    ContentManager& catalogue;
};

ContentManager::ContentManager (const Setup& s, juce::MessageListener& target, FatalErrorHandler fatalErrorHandler)
    : setup (s), notifications (target), onFatalError (std::move (fatalErrorHandler))
{
    adopt (MasterDescriptor::load (setup.developerMode, nullptr, false));

    // A reader that cannot start is a read that failed: the run goes on offline.
    descriptorReader = std::make_unique<DescriptorReader> (*this);

    if (! descriptorReader->startThread())
        settle (MasterDescriptor(), false);
}

ContentManager::~ContentManager()
{
    stopWorkers();
}

void ContentManager::connect (juce::Thread& reader)
{
    const auto fresh = MasterDescriptor::load (setup.developerMode, &bytesReceived, true);
    settle (fresh, reader.threadShouldExit());
}

void ContentManager::settle (const MasterDescriptor& fresh, bool stopped)
{
    // What the start took stays unless the read brought better: the server's
    // copy, or the developer's override that only a worker reads from an address.
    const auto before = inUse();
    const auto better = fresh.isOnline() || (fresh.isLoaded() && ! before.isLoaded()) || (fresh.isOverride() && ! before.isOverride());
    auto askedMeanwhile = ! stopped && better ? adopt (fresh) : juce::Array<int>();

    // A read cut short by the quit tells nothing: the program is going.
    if (! stopped && ! inUse().isLoaded() && onFatalError != nullptr)
        onFatalError (2);

    connecting = false;
    connected.set();

    if (stopped)
        return;

    notifications.postMessage (new DeviceInfoMessage (DeviceInfoMessage::descriptorRead, online.load() ? 1 : 0, 0, {}));

    // Read after the swap, as requestEveryProductAsync reads the products after
    // setting it: one of the two sees the server's products.
    bool askEveryProduct = false;

    {
        const juce::ScopedLock sl (masterLock);
        askEveryProduct = everyProduct && better;
    }

    if (askEveryProduct)
        for (auto id : getProductIds())
            askedMeanwhile.addIfNotAlreadyThere (id);

    for (auto id : askedMeanwhile)
        requestProductContentAsync (id);
}

void ContentManager::requestEveryProductAsync()
{
    {
        const juce::ScopedLock sl (masterLock);
        everyProduct = true;
    }

    for (auto id : getProductIds())
        requestProductContentAsync (id);
}

// Requests wait for the swap, so none sees half of it; those answered from
// the cache before it are returned, to be asked again.
juce::Array<int> ContentManager::adopt (const MasterDescriptor& descriptor)
{
    const std::lock_guard<std::recursive_mutex> serialised (requestLock);

    {
        const juce::ScopedLock sl (masterLock);
        master = descriptor;
    }

    descriptor.keepLocalCopy (descriptorWrites);
    auto records = descriptor.makeRecords();
    products.reset (records);

    juce::Array<int> asked;

    for (juce::HashMap<int, bool>::Iterator i (requested); i.next();)
        asked.add (i.getKey());

    requested.clear();

    if (descriptor.isOnline() && downloader.load() == nullptr)
    {
        downloadThread = std::make_unique<ContentDownloadThread> (*this, notifications);
        downloadThread->startThread();
        downloader = downloadThread.get();
        online = true;
    }

    return asked;
}

MasterDescriptor ContentManager::inUse() const
{
    const juce::ScopedLock sl (masterLock);
    return master;
}

bool ContentManager::waitUntilConnected (const std::function<bool()>& giveUp) const
{
    while (connecting.load())
    {
        if (giveUp != nullptr && giveUp())
            return false;

        connected.wait (platform::Clock::scaled (100));
    }

    return true;
}

void ContentManager::stopWorkers()
{
    // The read ends on its thread's stop, in whatever phase it is.
    if (descriptorReader != nullptr)
        descriptorReader->stopThread (-1);

    std::unique_ptr<juce::ThreadPool> worker;

    {
        const juce::ScopedLock sl (workerLock);
        worker = std::move (offlineWorker);
    }

    // An offline request only parses what the cache holds: it ends by itself.
    if (worker != nullptr)
        worker->removeAllJobs (true, -1);

    if (downloadThread != nullptr)
        downloadThread->stopThread (-1);
}

void ContentManager::askWorkersToStop()
{
    if (descriptorReader != nullptr)
        descriptorReader->signalThreadShouldExit();

    if (auto* thread = downloader.load())
        thread->signalThreadShouldExit();
}

void ContentManager::postStatus (const juce::String& text)
{
    notifications.postMessage (new DeviceInfoMessage (DeviceInfoMessage::downloadStatus, 0, 0, text));
}

//==============================================================================
juce::Array<uint8_t> ContentManager::getProductIds() const
{
    juce::Array<uint8_t> ids;
    products.forEach ([&ids] (const ProductRecord& r) { ids.add (r.productId); });
    return ids;
}

juce::StringArray ContentManager::getProductNames() const
{
    juce::StringArray names;
    products.forEach ([&names] (const ProductRecord& r) { names.add (r.name); });
    return names;
}

int ContentManager::indexOfProduct (int productId) const
{
    return products.indexOf (productId);
}

uint8_t ContentManager::getProductIdForName (const juce::String& name) const
{
    uint8_t id = 255;

    products.forEach ([&] (const ProductRecord& r)
    {
        if (id == 255 && r.name == name)
            id = r.productId;
    });

    return id;
}

juce::String ContentManager::getProductName (int productId) const
{
    return products.getName (productId);
}

bool ContentManager::answersGenericIdentity (int productId) const
{
    return products.with (productId, [] (const ProductRecord* r) { return r != nullptr && r->allVersSupportGenSyxID; });
}

juce::Time ContentManager::getPubDate (int productId) const
{
    return products.with (productId, [] (const ProductRecord* r) { return r != nullptr ? r->pubDate : juce::Time(); });
}

bool ContentManager::isProductReady (int productId) const
{
    return products.with (productId, [] (const ProductRecord* r) { return r != nullptr && r->ready; });
}

juce::Time ContentManager::getLastCheckTime (int productId) const
{
    return products.with (productId, [] (const ProductRecord* r) { return r != nullptr ? r->lastCheckTime : juce::Time(); });
}

juce::String ContentManager::getManualUrl (int productId) const
{
    const auto url = products.with (productId, [] (const ProductRecord* r) { return r != nullptr ? std::optional (r->manualUrl) : std::nullopt; });
    return url.has_value() ? *url : getLinkManualDefault();
}

juce::Image ContentManager::getProductImage (int productId, const juce::String& displayName) const
{
    return pictures.get (productId, displayName);
}

ContentManager::Document ContentManager::getCapsXml (int productId) const
{
    return products.with (productId, [] (const ProductRecord* r) { return r != nullptr ? r->capsXml : nullptr; });
}

juce::Array<ConversionRule> ContentManager::getConversionRules (int productId, int kind) const
{
    auto rules = products.with (productId, [] (const ProductRecord* r)
    {
        return r != nullptr ? r->conversionRules : juce::Array<ConversionRule>();
    });

    rules.removeIf ([kind] (const ConversionRule& rule)
    {
        return rule.kind != kind || rule.kind == ConversionRule::otherData
            || rule.sourceVersion < 0 || rule.targetVersion < 0 || rule.targetProductId == 255
            || ! isNonEmptyFile (rule.scriptFile);
    });

    return rules;
}

juce::Array<FirmwareUpdateElement> ContentManager::getFirmwareUpdates (int productId) const
{
    auto updates = products.with (productId, [] (const ProductRecord* r)
    {
        return r != nullptr ? r->firmwareUpdates : juce::Array<FirmwareUpdateElement>();
    });

    const auto developer = setup.developerMode;

    updates.removeIf ([developer] (const FirmwareUpdateElement& e)
    {
        return ! e.isInstallable() || (isPrerelease (e.status) && ! developer);
    });

    return updates;
}

bool ContentManager::isFirmwareUpdateAvailable (int productId, int build) const
{
    for (const auto& update : getFirmwareUpdates (productId))
        if (update.version.build > build)
            return true;

    return false;
}

FirmwareUpdateElement ContentManager::getLatestFirmwareUpdate (int productId) const
{
    FirmwareUpdateElement latest;
    bool found = false;

    for (const auto& update : getFirmwareUpdates (productId))
    {
        if (! found || update.version.build > latest.version.build)
        {
            latest = update;
            found = true;
        }
    }

    return latest;
}

//==============================================================================
juce::String ContentManager::getContentUrl (int productId, ContentKind kind, int index) const
{
    return products.getAddress (productId, kind, index);
}

juce::String ContentManager::getLocalContentFile (int productId, ContentKind kind, int index, bool createFolder) const
{
    return products.getLocalFile (productId, kind, index, createFolder);
}

ContentManager::Document ContentManager::loadCachedDocument (int productId, ContentKind kind, bool reload)
{
    return documents.loadCached (productId, kind, reload);
}

bool ContentManager::isContentCurrent (int productId, ContentKind kind)
{
    return documents.isCurrent (productId, kind);
}

bool ContentManager::isPresetPackCurrent (int productId) const
{
    return packs.isCurrent (productId);
}

bool ContentManager::isContentComplete (int productId, ContentKind kind) const
{
    return kind == presetPack ? packs.isComplete (productId) : documents.isComplete (productId, kind);
}

bool ContentManager::parseContent (int productId, ContentKind kind)
{
    return documents.parse (productId, kind);
}

bool ContentManager::downloadFirmwareImages (int productId, juce::Thread* thread)
{
    return documents.downloadFirmwareImages (productId, thread);
}

bool ContentManager::downloadConversionScripts (int productId, juce::Thread* thread)
{
    return documents.downloadConversionScripts (productId, thread);
}

bool ContentManager::downloadPresetPack (int productId, juce::Thread* thread)
{
    return packs.download (productId, thread);
}

//==============================================================================
bool ContentManager::canPrepare (int productId)
{
    return isKnown (productId) && online.load() && juce::File (getProductFolder (productId)).createDirectory();
}

// The pictures shown are those of the cache until fetchPictures brings the rest.
bool ContentManager::prepareCaps (int productId, ContentReader::Turn& turn)
{
    const auto capsCurrent = isContentCurrent (productId, capsDocument);
    auto ok = capsCurrent || documents.fetch (productId, capsDocument, nullptr, &turn);

    if (! capsCurrent)
        products.with (productId, [] (ProductRecord* r) { if (r != nullptr) r->picturesStale = true; });

    // A unit's request and the download that follows it both come here: the
    // document they find is parsed, and its pictures read, only once.
    const auto doc = loadCachedDocument (productId, capsDocument, false);

    if (doc != nullptr && products.with (productId, [&doc] (const ProductRecord* r) { return r != nullptr && r->capsParsed == doc; }))
        return ok;

    ok &= parseContent (productId, capsDocument);
    pictures.load (productId, false, false);
    return ok;
}

bool ContentManager::fetchPictures (int productId, ContentReader::Turn& turn)
{
    const auto stale = products.with (productId, [] (const ProductRecord* r) { return r != nullptr && r->picturesStale; });
    const auto ok = pictures.load (productId, true, stale, &turn);

    if (ok)
        products.with (productId, [] (ProductRecord* r) { if (r != nullptr) r->picturesStale = false; });

    return ok;
}

bool ContentManager::requestProductContent (int productId)
{
    return request (productId, true);
}

// Without mayFetch (the offline worker's requests) a request that finds the
// catalogue online hands itself to the download thread instead.
bool ContentManager::request (int productId, bool mayFetch)
{
    // Tried rather than waited for: a worker asked to stop must not sit
    // behind another's transfer until that one ends.
    std::unique_lock<std::recursive_mutex> serialised (requestLock, std::try_to_lock);

    while (! serialised.owns_lock())
    {
        if (ContentReader::isStopRequested (nullptr))
            return false;

        juce::Thread::sleep (10);
        serialised.try_lock();
    }

    auto* downloads = downloader.load();

    if (! mayFetch && downloads != nullptr)
    {
        downloads->requestPreparation (productId);
        return false;
    }

    if (online.load() && isProductReady (productId))
        return false;

    if (requested.contains (productId))
    {
        if (! online.load())
            return requested[productId];

        // A preparation still waiting for the download thread brings nothing
        // yet: the request that comes first does its work.
        if (downloads == nullptr || downloads->isDownloading (productId))
            return downloads != nullptr;

        // Capabilities the server did not give are asked for here again, by
        // a later scan rather than by every unit of this one; the rest of
        // what failed, by the download, at once.
        const auto sinceLastTry = (juce::Time::getCurrentTime() - getLastCheckTime (productId)).inSeconds();

        if (getCapsXml (productId) != nullptr || sinceLastTry <= downloads->minimumCheckInterval.load())
            return downloads->retryNow (productId);
    }

    bool queued = false;

    if (! online.load())
    {
        queued = loadCachedProductContent (productId);
    }
    else if (canPrepare (productId))
    {
        // What did not come in time is the download's to fetch, with all the
        // patience of the settings; the unit does not wait for it.
        ContentReader::Turn turn { platform::DownloadPolicy::preparationLimitMs(), false, &keptParts };
        prepareCaps (productId, turn);

        if (downloads != nullptr)
        {
            downloads->requestDownload (productId);
            queued = true;
        }
    }

    requested.set (productId, queued);
    return queued;
}

void ContentManager::requestProductContentAsync (int productId)
{
    if (auto* downloads = downloader.load())
    {
        downloads->requestPreparation (productId);
        return;
    }

    const juce::ScopedLock sl (workerLock);

    if (offlineWorker == nullptr)
        offlineWorker = std::make_unique<juce::ThreadPool> (1);

    offlineWorker->addJob ([this, productId] { request (productId, false); });
}

bool ContentManager::downloadKind (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn& turn)
{
    const auto current = isContentCurrent (productId, kind);
    auto ok = current || documents.fetch (productId, kind, thread, &turn);

    // Stopped, or given way, while the list came in: nothing of it is looked at now.
    if (ContentReader::isStopRequested (thread) || turn.gaveWay)
        return false;

    ok &= parseContent (productId, kind);

    if (! current || ! isContentComplete (productId, kind))
        ok &= kind == firmwareList ? documents.downloadFirmwareImages (productId, thread, &turn)
                                   : documents.downloadConversionScripts (productId, thread, &turn);

    return ok;
}

bool ContentManager::downloadStep (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn& turn)
{
    const auto name = getProductName (productId);

    switch (kind)
    {
        case capsDocument:
            return prepareCaps (productId, turn);

        case firmwareList:
            postStatus (name + ": firmware update files");
            return downloadKind (productId, kind, thread, turn);

        case conversionRules:
            postStatus (name + ": conversion rules");
            return ! ContentReader::isStopRequested (thread) && downloadKind (productId, kind, thread, turn);

        case variantPicture:
            return fetchPictures (productId, turn);

        case presetPack:
            postStatus (name + ": preset packs");

            if (ContentReader::isStopRequested (thread))
                return false;

            return (isPresetPackCurrent (productId) && isContentComplete (productId, presetPack)) || packs.download (productId, thread, &turn);

        case masterDescriptor:
        default:
            return false;
    }
}

bool ContentManager::downloadProductContent (int productId, juce::Thread* thread, ProductDownload* download)
{
    ProductDownload own;
    auto& d = download != nullptr ? *download : own;
    d.yielded = false;

    if (thread == nullptr)
        return false;

    const auto known = products.with (productId, [] (ProductRecord* r)
    {
        if (r != nullptr)
            r->ready = false;

        return r != nullptr;
    });

    if (! known || ! online.load())
        return false;

    auto& pending = d.pending;
    using Failure = platform::DownloadPolicy::Failure;

    // What work needs comes first: the capabilities (a unit's identification),
    // the firmware list with its images and the rules with their scripts (the
    // updates and conversions); then what is shown or offered: pictures, packs.
    if (pending.isEmpty())
    {
        pending = { capsDocument, firmwareList, conversionRules, variantPicture };

        if (getContentUrl (productId, presetPack, 0).isNotEmpty())
            pending.add (presetPack);

        d.turnMs = platform::DownloadPolicy::preparationLimitMs();
        d.ok = true;
        d.picturesMissing = false;
        d.failed.clearQuick();
        d.failure = {};
        d.lastProgressAt = platform::Clock::now();
    }

    // Pictures are named by the capabilities: they wait for them.
    auto canRun = [&pending] (ContentKind kind) { return kind != variantPicture || ! pending.contains (capsDocument); };
    auto othersQueued = [&d] { return d.othersWaiting != nullptr && d.othersWaiting(); };
    const auto patience = BelvoraSettings::getDownloadTimeoutMs();
    const auto longestTurn = juce::jmax (d.turnMs, platform::Clock::scaled (platform::DownloadPolicy::longestTurnMs));
    auto nextTurn = [&d, longestTurn] { d.turnMs = juce::jmin (d.turnMs * 2, longestTurn); };

    // A file that does not come within its turn gives way to the others and is
    // tried again after them with twice the turn, up to the longest: so
    // whatever one file does, the others come when served, and a slow file
    // goes on from what it brought at each turn. Other products waiting count
    // as others: a file that gives way lets them go first.
    for (; ! pending.isEmpty(); nextTurn())
    {
        for (const auto kind : juce::Array<ContentKind> (pending))
        {
            if (! canRun (kind))
                continue;

            const auto othersWaiting = othersQueued() || std::any_of (pending.begin(), pending.end(), [&] (ContentKind k) { return k != kind && canRun (k); });
            ContentReader::Turn turn { othersWaiting ? d.turnMs : 0, false, &keptParts };

            if (! othersWaiting && d.arrivals != nullptr)
                turn.giveWay = [&d, before = d.arrivals()] { return d.arrivals() != before; };

            const auto done = downloadStep (productId, kind, thread, turn);

            if (ContentReader::isStopRequested (thread))
                return false;

            // The time-out counts from the last byte, not from the end of the transfer that brought it.
            if (turn.lastByteAt != 0 && (int) (turn.lastByteAt - d.lastProgressAt) > 0)
                d.lastProgressAt = turn.lastByteAt;

            if (turn.gaveWay && (int) (platform::Clock::now() - d.lastProgressAt) < patience)
            {
                if (othersQueued())
                {
                    nextTurn();
                    d.yielded = true;
                    return false;
                }

                continue;
            }

            // A picture that does not come leaves the stand-in and fails nothing else.
            if (kind == variantPicture)
                d.picturesMissing = ! done;
            else if (! done)
                d.failed.addIfNotAlreadyThere (kind);

            // What failed without a word of why (silence past the time-out, a document that
            // does not parse) is asked again as a failing server is.
            if (! done)
                d.failure = platform::DownloadPolicy::sooner (d.failure, turn.failure != Failure::none ? turn.failure : Failure::server);

            d.ok &= done || kind == variantPicture;
            pending.removeFirstMatchingValue (kind);
        }
    }

    products.with (productId, [ok = d.ok] (ProductRecord* r)
    {
        if (r != nullptr)
        {
            r->ready = ok;
            r->lastCheckTime = juce::Time::getCurrentTime();
        }
    });

    return d.ok;
}

bool ContentManager::loadCachedProductContent (int productId)
{
    if (! isKnown (productId))
        return false;

    if (! juce::File (getProductFolder (productId)).isDirectory())
        return false;

    auto ok = parseContent (productId, capsDocument);
    ok &= parseContent (productId, firmwareList);
    ok &= parseContent (productId, conversionRules);

    // Offline nothing can be fetched in place of a stored file its check refuses: it goes.
    // One the check could not decide on stays in use.
    documents.dropFailingFiles (productId, firmwareList);
    documents.dropFailingFiles (productId, conversionRules);

    pictures.load (productId, false, false);
    return ok;
}

//==============================================================================
std::unique_ptr<juce::XmlElement> ContentManager::readXml (const juce::String& location, std::atomic<juce::int64>* counter, bool addressFirst)
{
    return ContentReader::readXml (location, counter, addressFirst, platform::DownloadPolicy::maxDocumentBytes);
}

std::unique_ptr<juce::XmlElement> ContentManager::readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter)
{
    return ContentReader::readXmlFromFile (path, counter, platform::DownloadPolicy::maxDocumentBytes);
}

juce::Time ContentManager::parseIsoDate (const juce::String& text)
{
    int values[6] = {};
    int token = 0;
    juce::String current;

    for (auto p = text.getCharPointer(); ! p.isEmpty() && token < 6; ++p)
    {
        const auto c = *p;

        if (c == '-' || c == 'T' || c == ':' || c == 'Z')
        {
            values[token++] = current.getIntValue();
            current.clear();
            continue;
        }

        current += c;
    }

    if (token < 6)
        values[token] = current.getIntValue();

    const auto year = values[0];

    if (year < 2000 || year > 3000)
        return juce::Time::getCurrentTime();

    // Out-of-range parts roll over like the calendar does; the limits only
    // keep the arithmetic in range.
    auto part = [&values] (int i) { return juce::jlimit (0, 100000, values[i]); };
    return juce::Time (year, part (1) - 1, part (2), part (3), part (4), part (5), 0, false);
}
