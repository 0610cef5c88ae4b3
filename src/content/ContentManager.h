#pragma once

#include "content/FirmwareUpdateElement.h"
#include "conversion/ConversionRule.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

class ContentDownloadThread;

/** The content catalogue: the products of the master descriptor and their
    downloaded documents (capabilities, firmware list, conversion rules,
    preset pack, pictures), cached in each product's folder.

    Device threads, the download thread and the message thread use it at once:
    every record is read and changed under one lock, and documents are handed
    out as shared pointers, so a document that is replaced stays alive for as
    long as a reader still holds it. Transfers run outside the lock. */
class ContentManager
{
public:
    enum ContentKind
    {
        masterDescriptor = 0,
        variantPicture   = 1,
        capsDocument     = 2,
        firmwareList     = 3,
        conversionRules  = 4,
        presetPack       = 5
    };

    using Document = std::shared_ptr<const juce::XmlElement>;

    // Largest accepted transfer per kind of content, in bytes.
    static constexpr juce::int64 maxDocumentBytes = 8 * 1024 * 1024;
    static constexpr juce::int64 maxPictureBytes = 8 * 1024 * 1024;
    static constexpr juce::int64 maxScriptBytes = 4 * 1024 * 1024;
    static constexpr juce::int64 maxFirmwareBytes = 64 * 1024 * 1024;
    static constexpr juce::int64 maxPackBytes = 256 * 1024 * 1024;

    // Limits of an unpacked preset pack.
    static constexpr juce::int64 maxUnpackedPackBytes = 1024 * 1024 * 1024;
    static constexpr int maxPackEntries = 10000;

    /** Loads and parses the master descriptor and, when it came from the
        server, starts the download thread. */
    ContentManager();
    ~ContentManager();

    // Catalogue queries (any thread).
    juce::Array<uint8_t> getProductIds() const;
    juce::StringArray getProductNames() const;
    int indexOfProduct (int productId) const;
    uint8_t getProductIdForName (const juce::String& name) const;
    juce::String getProductName (int productId) const;
    bool answersGenericIdentity (int productId) const;
    juce::int64 getPubDate (int productId) const;
    bool isProductReady (int productId) const;
    juce::int64 getLastCheckTime (int productId) const;
    juce::String getManualUrl (int productId) const;
    juce::Image getProductImage (int productId, const juce::String& displayName) const;
    Document getCapsXml (int productId) const;
    juce::Array<ConversionRule> getConversionRules (int productId, int kind) const;
    juce::Array<FirmwareUpdateElement> getFirmwareUpdates (int productId) const;
    bool isFirmwareUpdateAvailable (int productId, int build) const;
    FirmwareUpdateElement getLatestFirmwareUpdate (int productId) const;

    juce::String getLinkUserAccount() const;
    juce::String getLinkAppSupport() const;
    juce::String getLinkGeneralSupport() const;
    juce::String getLinkAppManual() const;
    juce::String getLinkManualDefault() const;
    juce::String getLinkConnectionFAQ() const;
    juce::String getLatestBuildInfo() const;
    juce::String getUpdateUrlPc() const;
    bool isOnline() const                       { return online.load(); }
    juce::int64 getBytesSent() const            { return bytesSent.load(); }
    juce::int64 getBytesReceived() const        { return bytesReceived.load(); }
    ContentDownloadThread* getDownloadThread() const { return downloadThread.get(); }

    // Product documents.
    static juce::String getDocumentTag (int kind);
    static juce::String getVersionKey (int kind);
    juce::String getContentUrl (int productId, int kind, int index) const;
    juce::String getLocalContentFile (int productId, int kind, int index, bool createFolder) const;
    Document loadCachedDocument (int productId, int kind, bool reload);
    bool isContentCurrent (int productId, int kind);
    bool isPresetPackCurrent (int productId) const;
    bool isContentComplete (int productId, int kind) const;
    bool parseContent (int productId, int kind);

    /** The capability document and the pictures, fetched on the caller's thread. */
    bool prepareProductContent (int productId);

    /** Prepares a product's content on the caller's thread, one request at a
        time: offline, parses the cache; online, fetches the capability document
        and the pictures unless the product is ready, then queues the rest with
        the download thread. True when the rest was queued (or, offline, when the
        cache held the product). Worker threads only: it may wait on the server. */
    bool requestProductContent (int productId);

    /** The same request for callers that must not wait (the message thread):
        it runs later on a worker and returns at once. */
    void requestProductContentAsync (int productId);

    /** Firmware list and images, rules and scripts, preset pack; on the download thread. */
    bool downloadProductContent (int productId, juce::Thread* thread);

    /** Parses what the cache holds, without any transfer. */
    bool loadCachedProductContent (int productId);

    bool downloadFirmwareImages (int productId, juce::Thread* thread);
    bool downloadConversionScripts (int productId, juce::Thread* thread);
    bool downloadPresetPack (int productId, juce::Thread* thread);

    // Product folders; empty when the product is unknown.
    juce::String getProductFolder (int productId) const;
    juce::String getFirmwareFolder (int productId) const;
    juce::String getScriptFolder (int productId) const;
    juce::String getPacksFolder (int productId) const;

    // Transfers and readers for addresses and local files alike.

    /** Fetches an address into a file. The file is replaced only by a complete
        body of at most maxBytes; an existing non-empty file is kept unless
        overwrite is set. */
    static bool writeUrlToFile (const juce::String& address, const juce::String& path, bool overwrite,
                                std::atomic<juce::int64>* counter, juce::Thread* thread, juce::int64 maxBytes);

    static std::unique_ptr<juce::XmlElement> readXml (const juce::String& location, std::atomic<juce::int64>* counter, bool addressFirst);
    static std::unique_ptr<juce::XmlElement> readXmlFromUrl (const juce::String& address, std::atomic<juce::int64>* counter);
    static std::unique_ptr<juce::XmlElement> readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter);

    /** A web address (HTTP GET) or a local file path; null when neither opens
        or the server answers with an error status. */
    static std::unique_ptr<juce::InputStream> openContentStream (const juce::String& location);

    /** Reads the whole location; false unless it was read to its end, within
        maxBytes, without the thread being asked to stop. */
    static bool readLocationIntoMemory (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                        juce::Thread* thread, juce::int64 maxBytes);

    /** Unpacks a zip into a folder. Refuses the whole pack when an entry is
        absolute, leads out of the folder, is a link, or when the pack has more
        than maxEntries entries or more than maxBytes unpacked. */
    static bool unpackZip (const juce::File& zip, const juce::File& folder, juce::int64 maxBytes, int maxEntries, juce::Thread* thread);

    /** YYYY-MM-DDTHH:MM:SSZ in UTC, in ms since 1970; the current time for years outside 2000..3000. */
    static juce::int64 parseIsoDate (const juce::String& text);

    /** The last part of an address (after its last "/" or "\\"), usable as one file
        name in a cache folder; empty when there is none or it is "." or "..". */
    static juce::String getFileNameOfAddress (const juce::String& address);

    /** The picture shown for a product without one. */
    juce::Image getDefaultPicture() const { return defaultPicture; }

private:
    struct ProductRecord;

    void resetDescriptor();
    bool loadMasterDescriptor();
    bool parseMasterDescriptor();
    void readGeneralSettings (const juce::XmlElement& settings);
    std::unique_ptr<ProductRecord> makeRecord (const juce::XmlElement& product) const;

    ProductRecord* findRecord (int productId) const;
    juce::String productFolderOf (const ProductRecord& record) const;
    bool downloadKind (int productId, int kind, juce::Thread* thread, bool& stopped);
    bool loadPictures (int productId, bool download, bool refetch);
    static bool threadShouldStop (juce::Thread* thread);

    mutable juce::CriticalSection lock;
    juce::CriticalSection requestLock;   // one content request at a time

    std::unique_ptr<ContentDownloadThread> downloadThread;
    std::atomic<juce::int64> bytesSent { 0 };
    std::atomic<juce::int64> bytesReceived { 0 };
    std::atomic<bool> online { false };
    Document descriptor;
    juce::String latestBuildInfo, updateUrlPc;
    juce::String linkUserAccount, linkAppSupport, linkGeneralSupport, linkAppManual, linkManualDefault, linkConnectionFAQ;
    juce::OwnedArray<ProductRecord> products;
    juce::StringArray productNames;
    juce::Image defaultPicture;

    JUCE_DECLARE_NON_COPYABLE (ContentManager)
};
