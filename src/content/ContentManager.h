#pragma once

#include "content/ContentReader.h"
#include "content/MasterDescriptor.h"
#include "content/PresetPacks.h"
#include "content/ProductDocumentCache.h"
#include "content/ProductPictures.h"
#include "content/ProductTable.h"
#include "platform/Event.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class ContentDownloadThread;

/** The content catalogue: the products of the master descriptor and their
    downloaded documents (capabilities, firmware list, conversion rules,
    preset pack, pictures), cached in each product's folder.

    Device threads, the download thread and the message thread use it at once:
    the records live in one locked table, and documents are handed out as
    shared pointers, so a document that is replaced stays alive for as long as
    a reader still holds it. Transfers run outside the lock. */
class ContentManager
{
public:
    using enum ContentKind;
    using Document = ProductRecord::Document;

    /** What the catalogue takes from the application. */
    struct Setup
    {
        bool developerMode = false;   // lists beta and alpha firmware; honours the descriptor override
        ProductDocumentCache::ScriptCompiler scriptCompiles;   // a conversion script the engine refuses is not kept
    };

    /** Told fatal error 2 when no master descriptor could be had from any source. */
    using FatalErrorHandler = std::function<void (int code)>;

    /** Takes the products of the stored master descriptor (or the override's
        file) at once and asks the server for its copy on a worker: until it
        answers the catalogue works from the stored one, offline. When the
        server's copy comes, it takes its products, starts the download thread
        and asks again for every product asked for meanwhile; when the read
        fails and no descriptor could be had from any source, onFatalError is
        told 2 (on the worker). Either way descriptorRead is posted to
        notifications (the hub), which also hear of the downloads. */
    ContentManager (const Setup& setup, juce::MessageListener& notifications, FatalErrorHandler onFatalError);
    ~ContentManager();

    // Catalogue queries (any thread).
    juce::Array<uint8_t> getProductIds() const;
    juce::StringArray getProductNames() const;
    int indexOfProduct (int productId) const;
    uint8_t getProductIdForName (const juce::String& name) const;
    juce::String getProductName (int productId) const;
    bool answersGenericIdentity (int productId) const;
    juce::Time getPubDate (int productId) const;
    bool isProductReady (int productId) const;
    juce::Time getLastCheckTime (int productId) const;
    juce::String getManualUrl (int productId) const;
    juce::Image getProductImage (int productId, const juce::String& displayName) const;
    Document getCapsXml (int productId) const;
    juce::Array<ConversionRule> getConversionRules (int productId, int kind) const;
    juce::Array<FirmwareUpdateElement> getFirmwareUpdates (int productId) const;
    bool isFirmwareUpdateAvailable (int productId, int build) const;
    FirmwareUpdateElement getLatestFirmwareUpdate (int productId) const;

    juce::String getLinkUserAccount() const      { return inUse().linkUserAccount; }
    juce::String getLinkAppSupport() const       { return inUse().linkAppSupport; }
    juce::String getLinkGeneralSupport() const   { return inUse().linkGeneralSupport; }
    juce::String getLinkAppManual() const        { return inUse().linkAppManual; }
    juce::String getLinkManualDefault() const    { return inUse().linkManualDefault; }
    juce::String getLinkConnectionFAQ() const    { return inUse().linkConnectionFAQ; }
    juce::String getLatestBuildInfo() const      { return inUse().latestBuildInfo; }
    juce::String getUpdateUrlPc() const          { return inUse().updateUrlPc; }
    bool isOnline() const                        { return online.load(); }
    juce::int64 getBytesSent() const             { return bytesSent.load(); }
    juce::int64 getBytesReceived() const         { return bytesReceived.load(); }
    ContentDownloadThread* getDownloadThread() const { return downloader.load(); }

    /** The start's read of the server's master descriptor has not ended yet. */
    bool isConnecting() const                    { return connecting.load(); }

    /** Waits until that read has ended, or giveUp says so (asked a few times a
        second); true when it has ended. Worker threads only. */
    bool waitUntilConnected (const std::function<bool()>& giveUp) const;

    // Product documents.
    static juce::String getDocumentTag (ContentKind kind)   { return ProductDocumentCache::getDocumentTag (kind); }
    static juce::String getVersionKey (ContentKind kind)    { return ProductDocumentCache::getVersionKey (kind); }
    juce::String getContentUrl (int productId, ContentKind kind, int index) const;
    juce::String getLocalContentFile (int productId, ContentKind kind, int index, bool createFolder) const;
    Document loadCachedDocument (int productId, ContentKind kind, bool reload);
    bool isContentCurrent (int productId, ContentKind kind);
    bool isPresetPackCurrent (int productId) const;
    bool isContentComplete (int productId, ContentKind kind) const;
    bool parseContent (int productId, ContentKind kind);

    /** Prepares a product's content on the caller's thread, one request at a
        time: offline, parses the cache; online, fetches the capability document
        unless the product is ready, waiting for it at most
        the download policy's preparation limit, then queues the rest with the download thread. A product is fetched once per start: a later request
        only tells whether it is still queued (online) or what the cache held
        (offline), and asks at once for what failed; capabilities that could
        not be had it fetches again itself, once the download thread's
        minimumCheckInterval passed. A request answered from the cache while
        the server's copy of the master descriptor was on its way is asked
        again once it came. True
        when the rest is queued (or, offline, when the cache held the
        product). Worker threads only: it may wait on the server that long. */
    bool requestProductContent (int productId);


    /** The same request for callers that must not wait (the message thread):
        it returns at once and runs on the download thread, or offline on the
        catalogue's own worker, in the order asked. */
    void requestProductContentAsync (int productId);

    /** requestProductContentAsync for every product, and again for every product
        of the server's list when it comes after the start. */
    void requestEveryProductAsync();

    /** Asks the workers to stop without waiting for them: a transfer of theirs
        ends, and so does a content request waiting for its turn. */
    void askWorkersToStop();

    /** Where a product's download stands between the calls that fetch it. */
    struct ProductDownload
    {
        std::function<bool()> othersWaiting;   // another product waits for the download thread
        std::function<int()> arrivals;         // how many products were queued so far
        juce::Array<ContentKind> pending;      // what is still to come; empty: everything, from the start
        juce::Array<ContentKind> failed;       // what failed in this download
        platform::DownloadPolicy::Failure failure {};   // how, the most hopeful kept: it sets the pause before the next try
        juce::uint32 lastProgressAt = 0;       // when a byte last came, on the workers' clock
        int turnMs = 0;                        // the next round's turn
        bool ok = true;
        bool picturesMissing = false;          // a picture did not come: the stand-in shows
        bool yielded = false;                  // the call ended to let the others go first
    };

    /** Capabilities that are not current yet, firmware list and images, rules
        and scripts, pictures, preset pack, in that order. A file that does not
        come within its turn, or whose server falls silent, is tried again
        after the others, from the bytes it brought (cut by its turn with none
        kept: whole, past the turn, so it cannot start over for ever); alone,
        it keeps its transfer until another product is queued. A file that has not come
        when no byte came for the settings' download time-out fails.
        With a download whose othersWaiting says so, a file that gave way ends
        the call instead: it returns false with yielded set, and a later call
        with the same download goes on where it stopped. On the download thread. */
    bool downloadProductContent (int productId, juce::Thread* thread, ProductDownload* download = nullptr);

    /** Parses what the cache holds, without any transfer. */
    bool loadCachedProductContent (int productId);

    bool downloadFirmwareImages (int productId, juce::Thread* thread);
    bool downloadConversionScripts (int productId, juce::Thread* thread);
    bool downloadPresetPack (int productId, juce::Thread* thread);

    /** Held while a worker reads or rewrites an unpacked preset pack; the
        download swaps a new pack in only while no one holds it. Waits until
        giveUp says so, and then does not own the lock. Worker threads only. */
    std::unique_lock<std::mutex> lockPacksFolder (const std::function<bool()>& giveUp) const   { return packs.lockFolder (giveUp); }

    /** The product's preset pack is fetched again at the next download. */
    void markPresetPackStale (int productId) const   { packs.markStale (productId); }

    // Product folders; empty when the product is unknown.
    juce::String getProductFolder (int productId) const   { return products.getProductFolder (productId); }
    juce::String getFirmwareFolder (int productId) const  { return products.getFirmwareFolder (productId); }
    juce::String getScriptFolder (int productId) const    { return products.getScriptFolder (productId); }
    juce::String getPacksFolder (int productId) const     { return products.getPacksFolder (productId); }

    // Transfers and readers for addresses and local files alike.

    static std::unique_ptr<juce::XmlElement> readXml (const juce::String& location, std::atomic<juce::int64>* counter, bool addressFirst);
    static std::unique_ptr<juce::XmlElement> readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter);

    /** YYYY-MM-DDTHH:MM:SSZ in UTC; the current time for years outside 2000..3000. */
    static juce::Time parseIsoDate (const juce::String& text);

    /** The last part of an address (after its last "/" or "\\"), usable as one file
        name in a cache folder; empty when there is none or it is "." or "..". */
    static juce::String getFileNameOfAddress (const juce::String& address)   { return ProductTable::getFileNameOfAddress (address); }

    /** The picture shown for a product without one. */
    juce::Image getDefaultPicture() const   { return pictures.getDefault(); }

private:
    class DescriptorReader;

    void connect (juce::Thread& reader);
    void settle (const MasterDescriptor& fresh, bool stopped);
    juce::Array<int> adopt (const MasterDescriptor& descriptor);
    MasterDescriptor inUse() const;
    bool request (int productId, bool mayFetch);
    void stopWorkers();
    bool canPrepare (int productId);
    bool prepareCaps (int productId, ContentReader::Turn& turn);
    bool fetchPictures (int productId, ContentReader::Turn& turn);
    bool downloadKind (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn& turn);
    bool downloadStep (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn& turn);
    void postStatus (const juce::String& text);
    bool isKnown (int productId) const   { return products.indexOf (productId) >= 0; }

    const Setup setup;
    juce::MessageListener& notifications;
    const FatalErrorHandler onFatalError;

    std::atomic<juce::int64> bytesSent { 0 };
    std::atomic<juce::int64> bytesReceived { 0 };
    std::atomic<bool> online { false };
    std::atomic<bool> connecting { true };
    mutable platform::Event connected { true };   // set once the read ended
    mutable juce::CriticalSection masterLock;
    MasterDescriptor master;                   // replaced once, when the server's copy comes; under masterLock
    bool everyProduct = false;                 // every product was asked for; under masterLock
    platform::WriteQueue descriptorWrites;     // the master descriptor's local copy

    ProductTable products;
    ProductDocumentCache documents { products, *this, bytesReceived, setup.developerMode, setup.scriptCompiles };
    ProductPictures pictures { products, bytesReceived };
    PresetPacks packs { products, bytesReceived };

    std::recursive_mutex requestLock;                  // one content request at a time
    juce::HashMap<int, bool> requested;                // this start's requests and their result, under requestLock

    ContentReader::KeptParts keptParts;                // what transfers that gave way brought

    juce::CriticalSection workerLock;
    std::unique_ptr<juce::ThreadPool> offlineWorker;   // made by the first request that must not wait, offline only
    std::unique_ptr<DescriptorReader> descriptorReader;
    std::unique_ptr<ContentDownloadThread> downloadThread;   // made once, by the reader; read through downloader
    std::atomic<ContentDownloadThread*> downloader { nullptr };

    JUCE_DECLARE_NON_COPYABLE (ContentManager)
};
