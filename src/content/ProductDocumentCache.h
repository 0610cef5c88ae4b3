#pragma once

#include "content/ContentReader.h"
#include "content/ProductTable.h"
#include "model/SysEx.h"

#include <atomic>

class ContentManager;

/** A product's capability document, firmware update list and conversion-rule
    document in its cache folder: fetching them, telling whether the cached
    copy is current and whether every file it names is there, and parsing them
    into the product's record.

    A download replaces the cached copy only once it parsed, with the kind's
    root, as this product's and within the size limit: a bad answer of the
    server never costs the copy that works, so the next start without the
    server still has it. */
class ProductDocumentCache
{
public:
    static_assert (platform::DownloadPolicy::maxFirmwareBytes == SysEx::maxFileBytes, "an image is read as a SysEx file");

    /** What a check of a file tells: it is what its kind must be, it definitely is not (a
        stored one is dropped, a received one not kept), or the check could not tell (a stored
        one stays, and the product is tried again later). */
    enum class Verdict { passes, refused, undecided };

    /** Whether the script engine reads a script's text; none: only the text is looked at. */
    using ScriptCompiler = std::function<Verdict (const juce::String& script)>;

    /** catalogue: for the product names conversion rules refer to. */
    ProductDocumentCache (ProductTable& products, const ContentManager& catalogue, std::atomic<juce::int64>& bytesReceived,
                          bool developerMode, ScriptCompiler compiles = nullptr);

    static juce::String getDocumentTag (ContentKind kind);
    static juce::String getVersionKey (ContentKind kind);

    /** The record's copy of a document (kinds 2 to 4), read from the cache when
        reload is set or there is none yet; a cached file with the wrong root,
        or another product's, leaves the copy as it was. */
    ProductRecord::Document loadCached (int productId, ContentKind kind, bool reload);

    /** The cached copy carries the stamp the master descriptor asks for. */
    bool isCurrent (int productId, ContentKind kind);

    /** Every firmware image (kind 3) or script (kind 4) the parsed list names
        is there and passes its kind's check. */
    bool isComplete (int productId, ContentKind kind) const;

    /** Deletes each stored file of the kind that its check refuses, so that nothing uses it. */
    void dropFailingFiles (int productId, ContentKind kind) const;

    /** A firmware image is whole SysEx messages from its first byte to its last. */
    static bool isFirmwareImage (const juce::MemoryBlock& body);

    /** A conversion script is text the script engine can read: never a page of the web,
        by its content type or by its first character. */
    Verdict checkScript (const juce::MemoryBlock& body, const juce::String& contentType) const;

    /** Parses the cached document of a kind into the record's lists. */
    bool parse (int productId, ContentKind kind);

    /** Downloads a kind's document into the cache and loads it; a turn bounds
        the transfer whole (none: only the download time-out). */
    bool fetch (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn* turn = nullptr);

    /** An image or script that gives way at the end of its turn is left for
        the next try; it fails nothing. */
    bool downloadFirmwareImages (int productId, juce::Thread* thread, ContentReader::Turn* turn = nullptr);
    bool downloadConversionScripts (int productId, juce::Thread* thread, ContentReader::Turn* turn = nullptr);

private:
    /** A document (kinds 2 to 4) names no product: one whose stamp is
        another product's and not this one's describes that other product. */
    bool isAnotherProducts (int productId, ContentKind kind, const juce::XmlElement& doc) const;

    bool parseCaps (int productId, const ProductRecord::Document& doc);
    bool parseFirmwareList (int productId, const juce::XmlElement& doc);
    bool parseRules (int productId, const juce::XmlElement& doc);

    /** The files a parsed firmware list (the images not expired or revoked) or rule document names. */
    bool listFiles (int productId, ContentKind kind, juce::StringArray& files) const;

    /** The stored file of a firmware image or script against its kind's check; one that is
        there and refused is deleted (when drop is set), so that nothing uses it. A stored image
        must also match the record of what was received; one kept by an older build, without a
        record, is undecided: used as it is, and fetched again while the server can be asked. */
    Verdict check (ContentKind kind, const juce::String& path, bool drop = false) const;

    ProductTable& products;
    const ContentManager& catalogue;
    std::atomic<juce::int64>& bytesReceived;
    const bool developerMode;
    const ScriptCompiler compiles;
};
