#include "content/ProductDocumentCache.h"

#include "content/ContentReader.h"
#include "content/FirmwareImageRecord.h"
#include "model/FileBytes.h"
#include "model/Utf8.h"

#include <cstring>

namespace
{
    bool hasTag (const juce::XmlElement* e, const juce::String& tag)
    {
        return e != nullptr && e->hasTagName (tag);
    }

    // In UTF-8 any zero byte; after a UTF-16 byte order mark, a zero unit.
    bool hasZeroCharacter (const juce::MemoryBlock& body)
    {
        const auto* b = static_cast<const juce::uint8*> (body.getData());
        const auto n = body.getSize();

        if (n < 2 || ! ((b[0] == 0xfe && b[1] == 0xff) || (b[0] == 0xff && b[1] == 0xfe)))
            return std::memchr (b, 0, n) != nullptr;

        for (size_t i = 2; i + 1 < n; i += 2)
            if (b[i] == 0 && b[i + 1] == 0)
                return true;

        return false;
    }

    bool isPrerelease (int status)
    {
        return status == FirmwareUpdateElement::statusBeta || status == FirmwareUpdateElement::statusAlpha;
    }

    using Verdict = ProductDocumentCache::Verdict;

    Verdict checkImage (const juce::File& file, const juce::MemoryBlock& body)
    {
        if (! ProductDocumentCache::isFirmwareImage (body))
            return Verdict::refused;

        switch (FirmwareImageRecord::check (file, body))
        {
            case FirmwareImageRecord::Match::matches:    return Verdict::passes;
            case FirmwareImageRecord::Match::unrecorded: return Verdict::undecided;
            case FirmwareImageRecord::Match::differs:
            default:                                     return Verdict::refused;
        }
    }
}

ProductDocumentCache::ProductDocumentCache (ProductTable& table, const ContentManager& owner, std::atomic<juce::int64>& counter, bool developer,
                                            ScriptCompiler compiler)
    : products (table), catalogue (owner), bytesReceived (counter), developerMode (developer), compiles (std::move (compiler))
{
}

bool ProductDocumentCache::isFirmwareImage (const juce::MemoryBlock& body)
{
    return SysEx::isFirmwareImage (body.getData(), body.getSize());
}

// A captive portal or a proxy answers with its own page, and status 200. A zero byte is
// no text: the engine would read the script only up to it, and run what comes before.
ProductDocumentCache::Verdict ProductDocumentCache::checkScript (const juce::MemoryBlock& body, const juce::String& contentType) const
{
    const auto type = contentType.upToFirstOccurrenceOf (";", false, false).trim();
    juce::String text;

    if (type.equalsIgnoreCase ("text/html") || type.equalsIgnoreCase ("application/xhtml+xml")
        || ! Utf8::readText (body.getData(), body.getSize(), text) || hasZeroCharacter (body))
        return Verdict::refused;

    const auto start = text.trimStart();

    if (start.isEmpty() || start.startsWithChar ('<'))
        return Verdict::refused;

    return compiles != nullptr ? compiles (text) : Verdict::passes;
}

ProductDocumentCache::Verdict ProductDocumentCache::check (ContentKind kind, const juce::String& path, bool drop) const
{
    const auto firmware = kind == ContentKind::firmwareList;
    const juce::File file (juce::File::isAbsolutePath (path) ? path : juce::String());
    juce::MemoryBlock body;

    if (file == juce::File() || ! file.exists())
        return Verdict::refused;

    auto verdict = Verdict::refused;

    if (FileBytes::readWhole (file, body, firmware ? platform::DownloadPolicy::maxFirmwareBytes : platform::DownloadPolicy::maxScriptBytes))
        verdict = firmware ? checkImage (file, body) : checkScript (body, {});

    if (drop && verdict == Verdict::refused && file.existsAsFile())
    {
        file.deleteFile();

        if (firmware)
            FirmwareImageRecord::removeFor (file);
    }

    return verdict;
}

juce::String ProductDocumentCache::getDocumentTag (ContentKind kind)
{
    switch (kind)
    {
        case ContentKind::masterDescriptor: return "CONTROL_DESCRIPTOR";
        case ContentKind::capsDocument:     return "CAPS";
        case ContentKind::firmwareList:     return "FIRMWARE";
        case ContentKind::conversionRules:  return "CONVERSION_RULES";
        case ContentKind::variantPicture:
        case ContentKind::presetPack:
        default:                            return {};
    }
}

juce::String ProductDocumentCache::getVersionKey (ContentKind kind)
{
    switch (kind)
    {
        case ContentKind::capsDocument:    return "capsKey";
        case ContentKind::firmwareList:    return "firmwareKey";
        case ContentKind::conversionRules: return "rulesKey";
        case ContentKind::presetPack:      return "presetsKey";
        case ContentKind::masterDescriptor:
        case ContentKind::variantPicture:
        default:                           return {};
    }
}

ProductRecord::Document ProductDocumentCache::loadCached (int productId, ContentKind kind, bool reload)
{
    const auto held = products.with (productId, [&] (ProductRecord* r) -> std::pair<bool, ProductRecord::Document>
    {
        auto* slot = r != nullptr ? r->slotFor (kind) : nullptr;
        return { slot != nullptr, slot != nullptr ? *slot : nullptr };
    });

    if (! held.first)
        return nullptr;

    if (! reload && held.second != nullptr)
        return held.second;

    const auto path = products.getLocalFile (productId, kind, 0, false);
    ProductRecord::Document parsed (ContentReader::readXmlFromFile (path, nullptr, platform::DownloadPolicy::maxDocumentBytes));

    if (! hasTag (parsed.get(), getDocumentTag (kind)) || isAnotherProducts (productId, kind, *parsed))
        return nullptr;

    return products.with (productId, [&] (ProductRecord* r) -> ProductRecord::Document
    {
        auto* slot = r != nullptr ? r->slotFor (kind) : nullptr;

        if (slot == nullptr)
            return nullptr;

        *slot = parsed;
        return parsed;
    });
}

bool ProductDocumentCache::isCurrent (int productId, ContentKind kind)
{
    const auto wanted = products.with (productId, [kind] (ProductRecord* r)
    {
        return r != nullptr && r->slotFor (kind) != nullptr ? r->stampOf (kind) : juce::String();
    });

    if (wanted.isEmpty())
        return false;

    const auto doc = loadCached (productId, kind, false);
    return doc != nullptr && doc->getChildElementAllSubText (getVersionKey (kind), {}) == wanted;
}

bool ProductDocumentCache::isComplete (int productId, ContentKind kind) const
{
    juce::StringArray files;
    return listFiles (productId, kind, files)
        && std::all_of (files.begin(), files.end(), [&] (const juce::String& file) { return check (kind, file) == Verdict::passes; });
}

void ProductDocumentCache::dropFailingFiles (int productId, ContentKind kind) const
{
    juce::StringArray files;
    listFiles (productId, kind, files);

    for (const auto& file : files)
        check (kind, file, true);
}

bool ProductDocumentCache::listFiles (int productId, ContentKind kind, juce::StringArray& files) const
{
    if (kind != ContentKind::firmwareList && kind != ContentKind::conversionRules)
        return false;

    return products.with (productId, [&] (const ProductRecord* r)
    {
        if (r == nullptr)
            return false;

        if (kind == ContentKind::firmwareList)
        {
            for (const auto& update : r->firmwareUpdates)
                if (update.status != FirmwareUpdateElement::statusExpired && update.status != FirmwareUpdateElement::statusRevoked)
                    files.add (update.file);
        }
        else
        {
            for (const auto& rule : r->conversionRules)
                files.add (rule.scriptFile);
        }

        return true;
    });
}

bool ProductDocumentCache::isAnotherProducts (int productId, ContentKind kind, const juce::XmlElement& doc) const
{
    const auto stamp = doc.getChildElementAllSubText (getVersionKey (kind), {});
    bool ours = false, theirs = false;

    if (stamp.isNotEmpty())
        products.forEach ([&] (const ProductRecord& r)
        {
            if (r.stampOf (kind) == stamp)
                (r.productId == productId ? ours : theirs) = true;
        });

    return theirs && ! ours;
}

bool ProductDocumentCache::parse (int productId, ContentKind kind)
{
    const auto doc = loadCached (productId, kind, false);

    if (! hasTag (doc.get(), getDocumentTag (kind)))
        return false;

    switch (kind)
    {
        case ContentKind::capsDocument:    return parseCaps (productId, doc);
        case ContentKind::firmwareList:    return parseFirmwareList (productId, *doc);
        case ContentKind::conversionRules: return parseRules (productId, *doc);
        case ContentKind::masterDescriptor:
        case ContentKind::variantPicture:
        case ContentKind::presetPack:
        default:                           return false;
    }
}

bool ProductDocumentCache::parseCaps (int productId, const ProductRecord::Document& doc)
{
    juce::StringArray urls;
    juce::StringPairArray index (true);

    if (auto* variants = doc->getChildByName ("productVariants"))
    {
        for (auto* range : variants->getChildWithTagNameIterator ("range"))
        {
            index.set (range->getStringAttribute ("displayName"), juce::String (urls.size()));
            urls.add (range->getStringAttribute ("iconUrl"));
        }
    }

    products.with (productId, [&] (ProductRecord* r)
    {
        if (r != nullptr)
        {
            r->pictureUrls = urls;
            r->variantPictureIndex = index;
            r->capsParsed = doc;
        }
    });

    return true;
}

bool ProductDocumentCache::parseFirmwareList (int productId, const juce::XmlElement& doc)
{
    const auto folder = products.getFirmwareFolder (productId);
    juce::Array<FirmwareUpdateElement> updates;
    bool ok = true;

    for (auto* item : doc.getChildWithTagNameIterator ("firmwareUpdate"))
    {
        auto update = FirmwareUpdateElement::parse (folder, *item);

        if (update.status == FirmwareUpdateElement::statusNone)
            ok = false;
        else
            updates.add (update);
    }

    FirmwareUpdateElement::sortByBuild (updates);

    products.with (productId, [&] (ProductRecord* r)
    {
        if (r != nullptr)
            r->firmwareUpdates = updates;
    });

    return ok;
}

bool ProductDocumentCache::parseRules (int productId, const juce::XmlElement& doc)
{
    const auto folder = products.getScriptFolder (productId);
    juce::Array<ConversionRule> rules;
    bool ok = true;

    for (auto* child : doc.getChildIterator())
    {
        if (! child->hasAttribute ("script"))
            continue;

        const auto rule = ConversionRule::parse ((uint8_t) productId, *child, folder, &catalogue);

        if (rule.kind == ConversionRule::otherData)
            ok = false;
        else
            rules.add (rule);
    }

    products.with (productId, [&] (ProductRecord* r)
    {
        if (r != nullptr)
            r->conversionRules = rules;
    });

    return ok;
}

bool ProductDocumentCache::fetch (int productId, ContentKind kind, juce::Thread* thread, ContentReader::Turn* turn)
{
    const auto tag = getDocumentTag (kind);

    // Another product's document at this one's address is refused as a bad answer is.
    auto isOwnDocument = [&] (const juce::MemoryBlock& body, const juce::String&)
    {
        const auto doc = ContentReader::parseXmlData (body);
        return hasTag (doc.get(), tag) && ! isAnotherProducts (productId, kind, *doc);
    };

    const auto ok = ContentReader::writeUrlToFile (products.getAddress (productId, kind, 0), products.getLocalFile (productId, kind, 0, true),
                                                   true, &bytesReceived, thread, platform::DownloadPolicy::maxDocumentBytes, isOwnDocument, turn);

    if (ok)
        loadCached (productId, kind, true);

    return ok;
}

bool ProductDocumentCache::downloadFirmwareImages (int productId, juce::Thread* thread, ContentReader::Turn* turn)
{
    const auto updates = products.with (productId, [] (const ProductRecord* r)
    {
        return r != nullptr ? r->firmwareUpdates : juce::Array<FirmwareUpdateElement>();
    });

    juce::File (products.getFirmwareFolder (productId)).createDirectory();
    juce::StringArray failedFiles;
    bool ok = true;

    for (const auto& update : updates)
    {
        if (ContentReader::isStopRequested (thread))
            return false;

        const auto status = update.status;

        if (status == FirmwareUpdateElement::statusRevoked)
        {
            if (juce::File::isAbsolutePath (update.file))
            {
                juce::File (update.file).deleteFile();
                FirmwareImageRecord::removeFor (update.file);
            }
            continue;
        }

        if (status == FirmwareUpdateElement::statusExpired || (isPrerelease (status) && ! developerMode))
            continue;

        auto tried = turn != nullptr ? turn->another() : ContentReader::Turn();
        const auto stored = check (ContentKind::firmwareList, update.file, true);
        FirmwareImageRecord received;

        // An error page answered with 200 is no image, and a cached file that is none is
        // fetched again; what is kept is recorded as it came.
        auto isImage = [&received] (const juce::MemoryBlock& body, const juce::String&)
        {
            if (! isFirmwareImage (body))
                return false;

            received = FirmwareImageRecord::of (body);
            return true;
        };

        if (ContentReader::writeUrlToFile (update.link, update.file, stored != Verdict::passes, &bytesReceived,
                                           thread, platform::DownloadPolicy::maxFirmwareBytes, isImage, &tried))
        {
            if (received.length >= 0 && ! received.writeFor (juce::File (update.file)))
                ok = false;
        }
        else
        {
            // One kept by an older build, without a record, stays offered until a recorded one comes.
            if (! tried.gaveWay && stored != Verdict::undecided)
                failedFiles.add (update.file);

            ok = false;
        }

        if (turn != nullptr)
            turn->takeFrom (tried);
    }

    // A failed image hides its update from every list.
    products.with (productId, [&] (ProductRecord* r)
    {
        if (r != nullptr)
            for (auto& update : r->firmwareUpdates)
                if (failedFiles.contains (update.file))
                    update.status = FirmwareUpdateElement::statusNone;
    });

    return ok;
}

bool ProductDocumentCache::downloadConversionScripts (int productId, juce::Thread* thread, ContentReader::Turn* turn)
{
    const auto doc = loadCached (productId, ContentKind::conversionRules, false);
    const auto folder = products.getScriptFolder (productId);

    if (doc == nullptr || folder.isEmpty())
        return doc == nullptr;

    juce::File (folder).createDirectory();
    bool ok = true;

    // A check that could not tell keeps what is stored, and is asked again soon, as a failing server is.
    auto isOwnScript = [this, turn] (const juce::MemoryBlock& body, const juce::String& type)
    {
        const auto verdict = checkScript (body, type);

        if (verdict == Verdict::undecided && turn != nullptr)
            turn->failed (ContentReader::Turn::Failure::server);

        return verdict == Verdict::passes;
    };

    for (auto* child : doc->getChildIterator())
    {
        if (ContentReader::isStopRequested (thread))
            break;

        if (! child->hasAttribute ("script"))
            continue;

        const auto address = child->getStringAttribute ("script");
        const auto name = ProductTable::getFileNameOfAddress (address);

        if (name.isEmpty())
        {
            ok = false;
            continue;
        }

        // One stored that its check refuses goes first: if no other comes, nothing uses it.
        const auto path = folder + juce::File::getSeparatorString() + name;
        check (ContentKind::conversionRules, path, true);
        ok &= ContentReader::writeUrlToFile (address, path, true, &bytesReceived, thread, platform::DownloadPolicy::maxScriptBytes, isOwnScript, turn);
    }

    return ok;
}
