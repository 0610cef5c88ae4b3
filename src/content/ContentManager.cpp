#include "content/ContentManager.h"

#include "app/Belvora.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentReader.h"

namespace
{
    const char* const makerSite = "https://www.marrowell.com";
    const char* const rootTag = "CONTROL_DESCRIPTOR";
    const char* const packStampName = ".presetsKey";

    juce::String join (const juce::String& folder, const juce::String& name)
    {
        return folder + juce::File::getSeparatorString() + name;
    }

    bool isDeveloperMode()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr && app->isDeveloperMode();
    }

    void reportFatalError (int code)
    {
        if (auto* app = Belvora::getInstance())
            app->reportFatalError (code);
    }

    juce::String developerDescriptorLocation()
    {
        auto* settings = Belvora::getAppProperties().getUserSettings();
        return settings != nullptr ? settings->getValue ("developerControlDescriptorUri") : juce::String();
    }

    bool hasTag (const juce::XmlElement* e, const juce::String& tag)
    {
        return e != nullptr && e->hasTagName (tag);
    }

    bool isTrueText (const juce::String& text)
    {
        const auto first = text.trimStart()[0];
        return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
    }

    bool isNonEmptyFile (const juce::String& path)
    {
        return juce::File::isAbsolutePath (path) && juce::File (path).getSize() > 0;
    }

    // A small card for products without a picture of their own.
    juce::Image makeDefaultPicture()
    {
        juce::Image image (juce::Image::ARGB, 64, 48, true);
        juce::Graphics g (image);
        g.setColour (juce::Colour (0xff97abbc));
        g.fillRoundedRectangle (4.0f, 4.0f, 56.0f, 40.0f, 6.0f);
        g.setColour (juce::Colour (0xff42545e));
        g.fillEllipse (24.0f, 16.0f, 16.0f, 16.0f);
        return image;
    }

    juce::Image loadPicture (const juce::String& path)
    {
        if (! juce::File::isAbsolutePath (path))
            return {};

        juce::MemoryBlock data;
        if (! juce::File (path).loadFileAsData (data) || ! ContentReader::isPictureSizeSane (data))
            return {};

        return juce::ImageFileFormat::loadFrom (data.getData(), data.getSize());
    }
}

struct ContentManager::ProductRecord
{
    bool ready = false;
    juce::int64 lastCheckTime = 0;
    juce::int64 pubDate = 0;
    juce::String name;
    uint8_t productId = 255;
    bool allVersSupportGenSyxID = false;
    juce::String capsUrl, firmwareUpdateUrl, conversionRulesUrl, onlinePresetsUrl, manualUrl;
    juce::String stamps[6];   // the descriptor's version stamp of each kind
    Document capsXml, firmwareXml, rulesXml;
    juce::Array<FirmwareUpdateElement> firmwareUpdates;
    juce::Array<ConversionRule> conversionRules;
    juce::Array<juce::Image> pictures;
    juce::StringArray pictureUrls;
    juce::StringPairArray variantPictureIndex { true };

    Document* slotFor (int kind)
    {
        switch (kind)
        {
            case ContentManager::capsDocument:    return &capsXml;
            case ContentManager::firmwareList:    return &firmwareXml;
            case ContentManager::conversionRules: return &rulesXml;
            default:                              return nullptr;
        }
    }
};

//==============================================================================
ContentManager::ContentManager()
{
    resetDescriptor();
    defaultPicture = makeDefaultPicture();

    const auto parsed = parseMasterDescriptor();

    if (! parsed)
        reportFatalError (1);

    if (parsed && online.load())
    {
        downloadThread = std::make_unique<ContentDownloadThread> (*this);
        downloadThread->startThread();
    }
}

ContentManager::~ContentManager()
{
    resetDescriptor();
}

void ContentManager::resetDescriptor()
{
    if (downloadThread != nullptr)
    {
        downloadThread->stopThread (5000);
        downloadThread.reset();
    }

    const juce::ScopedLock sl (lock);
    online = false;
    descriptor.reset();
    latestBuildInfo = {};
    updateUrlPc = {};
    linkUserAccount = juce::String (makerSite) + "/account?agent=belvora";
    linkAppSupport = juce::String (makerSite) + "/products/belvora/support/";
    linkGeneralSupport = juce::String (makerSite) + "/support";
    linkAppManual = juce::String (makerSite) + "/support/manuals/";
    linkManualDefault = linkAppManual;
    linkConnectionFAQ = linkGeneralSupport;
    products.clear();
    productNames.clear();
}

bool ContentManager::loadMasterDescriptor()
{
    resetDescriptor();

    std::unique_ptr<juce::XmlElement> fresh (readXml (Belvora::getMasterDescriptorUrl(), &bytesReceived, true));
    std::unique_ptr<juce::XmlElement> stored (readXmlFromFile (Belvora::getMasterDescriptorFile(), nullptr));

    if (! hasTag (stored.get(), rootTag))
        stored.reset();

    if (! hasTag (fresh.get(), rootTag))
        fresh.reset();

    online = fresh != nullptr;
    bool save = fresh != nullptr;
    std::unique_ptr<juce::XmlElement> chosen;

    if (isDeveloperMode())
    {
        std::unique_ptr<juce::XmlElement> overrideDoc (readXml (developerDescriptorLocation(), nullptr, false));

        if (hasTag (overrideDoc.get(), rootTag))
        {
            chosen = std::move (overrideDoc);
            save = false;
        }
    }

    if (chosen == nullptr)
        chosen = std::move (fresh);

    if (chosen == nullptr)
    {
        chosen = std::move (stored);
        save = false;
    }

    if (chosen == nullptr)
    {
        reportFatalError (2);
        return false;
    }

    if (save)
        ContentReader::saveXml (*chosen, Belvora::getMasterDescriptorFile());

    const juce::ScopedLock sl (lock);
    descriptor = std::move (chosen);
    return true;
}

bool ContentManager::parseMasterDescriptor()
{
    if (! loadMasterDescriptor())
        return false;

    const juce::ScopedLock sl (lock);

    if (auto* settings = descriptor->getChildByName ("belvora"))
        readGeneralSettings (*settings);

    if (auto* devices = descriptor->getChildByName ("devices"))
    {
        for (auto* product : devices->getChildWithTagNameIterator ("product"))
        {
            if (auto record = makeRecord (*product))
            {
                productNames.add (record->name);
                products.add (record.release());
            }
        }
    }

    return true;
}

void ContentManager::readGeneralSettings (const juce::XmlElement& settings)
{
    auto text = [&settings] (const char* name, const juce::String& fallback)
    {
        return settings.getChildByName (name) != nullptr ? settings.getChildElementAllSubText (name, {}) : fallback;
    };

    if (text ("latestBuildNo", "0").getIntValue() > getApplicationVersionRecord().build)
    {
        latestBuildInfo = text ("latestBuildInfo", {});
        updateUrlPc = text ("updateUrlPc", {});
    }

    const auto defaultAccount = linkUserAccount.upToLastOccurrenceOf ("?", false, false);
    linkUserAccount = text ("linkUserAccount", defaultAccount) + "?agent=belvora";
    linkAppSupport = text ("linkAppSupport", linkAppSupport);
    linkGeneralSupport = text ("linkGeneralSupport", linkGeneralSupport);
    linkAppManual = text ("linkAppManual", linkAppManual);
    linkManualDefault = text ("linkManualDefault", linkManualDefault);
    linkConnectionFAQ = text ("linkConnectionFAQ", linkConnectionFAQ);
}

std::unique_ptr<ContentManager::ProductRecord> ContentManager::makeRecord (const juce::XmlElement& product) const
{
    auto record = std::make_unique<ProductRecord>();
    record->name = product.getStringAttribute ("name");

    // One byte: a longer text such as "11A" must not alias to another product.
    const auto idText = product.getStringAttribute ("sysexId").trim();
    const auto id = idText.getHexValue64();

    if (record->name.isEmpty() || id < 0 || id > 0xFE || idText.length() > 8)
        return nullptr;

    // The name becomes a folder that is later emptied and refilled.
    if (! Belvora::isSafeFolderName (record->name))
        return nullptr;

    auto text = [&product] (const char* name) { return product.getChildElementAllSubText (name, {}); };

    record->productId = (uint8_t) id;
    record->allVersSupportGenSyxID = isTrueText (product.getStringAttribute ("allVersSupportGenSyxID"));
    record->pubDate = parseIsoDate (text ("pubDate"));
    record->capsUrl = text ("caps");
    record->firmwareUpdateUrl = text ("firmwareUpdate");
    record->conversionRulesUrl = text ("conversionRules");
    record->onlinePresetsUrl = text ("onlinePresets");
    record->manualUrl = product.getChildByName ("manual") != nullptr ? text ("manual") : linkManualDefault;
    record->stamps[capsDocument] = text ("capsKey");
    record->stamps[firmwareList] = text ("firmwareKey");
    record->stamps[conversionRules] = text ("rulesKey");
    record->stamps[presetPack] = text ("presetsKey");
    return record;
}

//==============================================================================
ContentManager::ProductRecord* ContentManager::findRecord (int productId) const
{
    for (auto* record : products)
        if (record->productId == productId)
            return record;

    return nullptr;
}

juce::Array<uint8_t> ContentManager::getProductIds() const
{
    const juce::ScopedLock sl (lock);
    juce::Array<uint8_t> ids;

    for (auto* record : products)
        ids.add (record->productId);

    return ids;
}

juce::StringArray ContentManager::getProductNames() const
{
    const juce::ScopedLock sl (lock);
    return productNames;
}

int ContentManager::indexOfProduct (int productId) const
{
    const juce::ScopedLock sl (lock);
    return products.indexOf (findRecord (productId));
}

uint8_t ContentManager::getProductIdForName (const juce::String& name) const
{
    const juce::ScopedLock sl (lock);

    for (auto* record : products)
        if (record->name == name)
            return record->productId;

    return 255;
}

juce::String ContentManager::getProductName (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? record->name : juce::String();
}

bool ContentManager::answersGenericIdentity (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr && record->allVersSupportGenSyxID;
}

juce::int64 ContentManager::getPubDate (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? record->pubDate : 0;
}

bool ContentManager::isProductReady (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr && record->ready;
}

juce::int64 ContentManager::getLastCheckTime (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? record->lastCheckTime : 0;
}

juce::String ContentManager::getManualUrl (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? record->manualUrl : linkManualDefault;
}

juce::Image ContentManager::getProductImage (int productId, const juce::String& displayName) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);

    if (record == nullptr || record->pictures.isEmpty())
        return defaultPicture;

    auto index = record->variantPictureIndex[displayName].getIntValue();

    if (index < 0 || index >= record->pictures.size())
        index = 0;

    const auto picture = record->pictures[index];
    return picture.isValid() ? picture : defaultPicture;
}

ContentManager::Document ContentManager::getCapsXml (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? record->capsXml : nullptr;
}

juce::Array<ConversionRule> ContentManager::getConversionRules (int productId, int kind) const
{
    juce::Array<ConversionRule> rules;

    {
        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            rules = record->conversionRules;
    }

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
    juce::Array<FirmwareUpdateElement> updates;

    {
        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            updates = record->firmwareUpdates;
    }

    const auto developer = isDeveloperMode();

    updates.removeIf ([developer] (const FirmwareUpdateElement& e)
    {
        const auto prerelease = e.status == FirmwareUpdateElement::statusBeta || e.status == FirmwareUpdateElement::statusAlpha;
        return ! e.isInstallable() || (prerelease && ! developer);
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

juce::String ContentManager::getLinkUserAccount() const     { const juce::ScopedLock sl (lock); return linkUserAccount; }
juce::String ContentManager::getLinkAppSupport() const      { const juce::ScopedLock sl (lock); return linkAppSupport; }
juce::String ContentManager::getLinkGeneralSupport() const  { const juce::ScopedLock sl (lock); return linkGeneralSupport; }
juce::String ContentManager::getLinkAppManual() const       { const juce::ScopedLock sl (lock); return linkAppManual; }
juce::String ContentManager::getLinkManualDefault() const   { const juce::ScopedLock sl (lock); return linkManualDefault; }
juce::String ContentManager::getLinkConnectionFAQ() const   { const juce::ScopedLock sl (lock); return linkConnectionFAQ; }
juce::String ContentManager::getLatestBuildInfo() const     { const juce::ScopedLock sl (lock); return latestBuildInfo; }
juce::String ContentManager::getUpdateUrlPc() const         { const juce::ScopedLock sl (lock); return updateUrlPc; }

//==============================================================================
juce::String ContentManager::getDocumentTag (int kind)
{
    switch (kind)
    {
        case masterDescriptor: return rootTag;
        case capsDocument:     return "CAPS";
        case firmwareList:     return "FIRMWARE";
        case conversionRules:  return "CONVERSION_RULES";
        default:               return {};
    }
}

juce::String ContentManager::getVersionKey (int kind)
{
    switch (kind)
    {
        case capsDocument:    return "capsKey";
        case firmwareList:    return "firmwareKey";
        case conversionRules: return "rulesKey";
        case presetPack:      return "presetsKey";
        default:              return {};
    }
}

juce::String ContentManager::getContentUrl (int productId, int kind, int index) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);

    if (record == nullptr)
        return {};

    switch (kind)
    {
        case variantPicture:  return record->pictureUrls[index];
        case capsDocument:    return record->capsUrl;
        case firmwareList:    return record->firmwareUpdateUrl;
        case conversionRules: return record->conversionRulesUrl;
        case presetPack:      return record->onlinePresetsUrl;
        default:              return {};
    }
}

juce::String ContentManager::productFolderOf (const ProductRecord& record) const
{
    return join (Belvora::getUserDataFolder(), record.name);
}

juce::String ContentManager::getProductFolder (int productId) const
{
    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    return record != nullptr ? productFolderOf (*record) : juce::String();
}

juce::String ContentManager::getFirmwareFolder (int productId) const
{
    const auto folder = getProductFolder (productId);
    return folder.isNotEmpty() ? join (folder, "firmware") : juce::String();
}

juce::String ContentManager::getScriptFolder (int productId) const
{
    const auto folder = getProductFolder (productId);
    return folder.isNotEmpty() ? join (folder, "js") : juce::String();
}

juce::String ContentManager::getPacksFolder (int productId) const
{
    const auto folder = getProductFolder (productId);
    return folder.isNotEmpty() ? join (folder, "packs") : juce::String();
}

// An address without a usable last part has no cache path: the name is never
// glued to the folder's own name, so nothing lands beside the product folder.
juce::String ContentManager::getLocalContentFile (int productId, int kind, int index, bool createFolder) const
{
    if (kind < variantPicture || kind > presetPack)
        return {};

    const auto name = getFileNameOfAddress (getContentUrl (productId, kind, index));
    const auto folder = kind == presetPack ? getPacksFolder (productId) : getProductFolder (productId);

    if (name.isEmpty() || folder.isEmpty())
        return {};

    const auto path = join (folder, name);

    if (createFolder)
        juce::File (path).getParentDirectory().createDirectory();

    return path;
}

ContentManager::Document ContentManager::loadCachedDocument (int productId, int kind, bool reload)
{
    {
        const juce::ScopedLock sl (lock);
        auto* record = findRecord (productId);
        auto* slot = record != nullptr ? record->slotFor (kind) : nullptr;

        if (slot == nullptr)
            return nullptr;

        if (! reload && *slot != nullptr)
            return *slot;
    }

    std::shared_ptr<const juce::XmlElement> parsed (readXmlFromFile (getLocalContentFile (productId, kind, 0, false), nullptr));

    const juce::ScopedLock sl (lock);
    auto* record = findRecord (productId);
    auto* slot = record != nullptr ? record->slotFor (kind) : nullptr;

    if (slot == nullptr || ! hasTag (parsed.get(), getDocumentTag (kind)))
        return nullptr;

    *slot = parsed;
    return parsed;
}

bool ContentManager::isContentCurrent (int productId, int kind)
{
    juce::String wanted;

    {
        const juce::ScopedLock sl (lock);
        auto* record = findRecord (productId);
        if (record == nullptr || record->slotFor (kind) == nullptr)
            return false;

        wanted = record->stamps[kind];
    }

    const auto doc = loadCachedDocument (productId, kind, false);
    return doc != nullptr && wanted.isNotEmpty() && doc->getChildElementAllSubText (getVersionKey (kind), {}) == wanted;
}

// The pack keeps the stamp it was unpacked with, so a pack whose download or
// unpacking was interrupted is fetched again at the next start.
bool ContentManager::isPresetPackCurrent (int productId) const
{
    juce::String wanted;

    {
        const juce::ScopedLock sl (lock);
        auto* record = findRecord (productId);
        if (record == nullptr)
            return false;

        wanted = record->stamps[presetPack];
    }

    const auto packs = getPacksFolder (productId);
    const juce::File stamp (join (packs, packStampName));
    return wanted.isNotEmpty() && stamp.existsAsFile() && stamp.loadFileAsString() == wanted;
}

bool ContentManager::isContentComplete (int productId, int kind) const
{
    juce::StringArray files;

    {
        const juce::ScopedLock sl (lock);
        auto* record = findRecord (productId);
        if (record == nullptr)
            return false;

        if (kind == firmwareList)
            for (const auto& update : record->firmwareUpdates)
                if (update.status != FirmwareUpdateElement::statusExpired && update.status != FirmwareUpdateElement::statusRevoked)
                    files.add (update.file);

        if (kind == conversionRules)
            for (const auto& rule : record->conversionRules)
                files.add (rule.scriptFile);
    }

    if (kind == presetPack)
    {
        const auto path = getLocalContentFile (productId, presetPack, 0, false);
        return isNonEmptyFile (path) && juce::ZipFile (juce::File (path)).getNumEntries() > 0;
    }

    if (kind != firmwareList && kind != conversionRules)
        return false;

    for (const auto& file : files)
        if (! isNonEmptyFile (file) || (kind == firmwareList && ! Belvora::isSysExFile (file)))
            return false;

    return true;
}

bool ContentManager::parseContent (int productId, int kind)
{
    const auto doc = loadCachedDocument (productId, kind, false);

    if (! hasTag (doc.get(), getDocumentTag (kind)))
        return false;

    if (kind == capsDocument)
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

        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
        {
            record->pictureUrls = urls;
            record->variantPictureIndex = index;
        }

        return true;
    }

    if (kind == firmwareList)
    {
        const auto folder = getFirmwareFolder (productId);
        juce::Array<FirmwareUpdateElement> updates;
        bool ok = true;

        for (auto* item : doc->getChildWithTagNameIterator ("firmwareUpdate"))
        {
            auto update = FirmwareUpdateElement::parse (folder, *item);

            if (update.status == FirmwareUpdateElement::statusNone)
                ok = false;
            else
                updates.add (update);
        }

        FirmwareUpdateElement::sortByBuild (updates);

        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            record->firmwareUpdates = updates;

        return ok;
    }

    if (kind == conversionRules)
    {
        const auto folder = getScriptFolder (productId);
        juce::Array<ConversionRule> rules;
        bool ok = true;

        for (auto* child : doc->getChildIterator())
        {
            if (! child->hasAttribute ("script"))
                continue;

            const auto rule = ConversionRule::parse ((uint8_t) productId, *child, folder, this);

            if (rule.kind == ConversionRule::otherData)
                ok = false;
            else
                rules.add (rule);
        }

        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            record->conversionRules = rules;

        return ok;
    }

    return false;
}

//==============================================================================
bool ContentManager::threadShouldStop (juce::Thread* thread)
{
    if (thread == nullptr)
        thread = juce::Thread::getCurrentThread();

    return thread != nullptr && thread->threadShouldExit();
}

bool ContentManager::loadPictures (int productId, bool download, bool refetch)
{
    juce::StringArray urls;

    {
        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            urls = record->pictureUrls;
    }

    juce::Array<juce::Image> pictures;
    bool ok = true;

    for (int i = 0; i < urls.size(); ++i)
    {
        const auto path = getLocalContentFile (productId, variantPicture, i, download);
        const auto missing = ! juce::File::isAbsolutePath (path) || ! juce::File (path).existsAsFile();

        if (download && (missing || refetch))
            ok &= writeUrlToFile (urls[i], path, true, &bytesReceived, nullptr, maxPictureBytes);

        const auto picture = loadPicture (path);
        pictures.add (picture.isValid() ? picture : defaultPicture);
    }

    const juce::ScopedLock sl (lock);
    if (auto* record = findRecord (productId))
        record->pictures = pictures;

    return ok;
}

bool ContentManager::prepareProductContent (int productId)
{
    {
        const juce::ScopedLock sl (lock);
        if (findRecord (productId) == nullptr || descriptor == nullptr || ! online.load())
            return false;
    }

    const juce::File folder (getProductFolder (productId));

    if (! folder.createDirectory())
        return false;

    const auto capsCurrent = isContentCurrent (productId, capsDocument);
    bool ok = true;

    if (! capsCurrent)
    {
        ok = writeUrlToFile (getContentUrl (productId, capsDocument, 0), getLocalContentFile (productId, capsDocument, 0, true),
                             true, &bytesReceived, nullptr, maxDocumentBytes);
        if (ok)
            loadCachedDocument (productId, capsDocument, true);
    }

    ok &= parseContent (productId, capsDocument);
    ok &= loadPictures (productId, true, ! capsCurrent);
    return ok;
}

bool ContentManager::requestProductContent (int productId)
{
    const juce::ScopedLock serialised (requestLock);

    if (! isOnline())
        return loadCachedProductContent (productId);

    if (isProductReady (productId))
        return false;

    if (! prepareProductContent (productId) || indexOfProduct (productId) < 0 || ! isOnline())
        return false;

    auto* downloader = getDownloadThread();

    if (downloader == nullptr)
        return false;

    downloader->requestDownload (productId);
    return true;
}

void ContentManager::requestProductContentAsync (int productId)
{
    // Not yet off the caller's thread.
    requestProductContent (productId);
}

bool ContentManager::downloadKind (int productId, int kind, juce::Thread* thread, bool& stopped)
{
    const auto current = isContentCurrent (productId, kind);
    bool ok = true;

    if (! current)
    {
        ok = writeUrlToFile (getContentUrl (productId, kind, 0), getLocalContentFile (productId, kind, 0, true),
                             true, &bytesReceived, thread, maxDocumentBytes);
        loadCachedDocument (productId, kind, true);
    }

    // Stopped while the list came in: the whole download ends here, before
    // anything of the next kind is announced.
    stopped = threadShouldStop (thread);
    if (stopped)
        return false;

    ok &= parseContent (productId, kind);

    if (! current || ! isContentComplete (productId, kind))
        ok &= kind == firmwareList ? downloadFirmwareImages (productId, thread)
                                   : downloadConversionScripts (productId, thread);

    return ok;
}

bool ContentManager::downloadProductContent (int productId, juce::Thread* thread)
{
    juce::String name, packUrl;

    {
        const juce::ScopedLock sl (lock);
        auto* record = findRecord (productId);

        if (record == nullptr || descriptor == nullptr || thread == nullptr)
            return false;

        record->ready = false;
        name = record->name;
        packUrl = record->onlinePresetsUrl;
    }

    if (! online.load())
        return false;

    bool stopped = false;
    ContentDownloadThread::postStatus (name + ": firmware update files");
    bool ok = downloadKind (productId, firmwareList, thread, stopped);

    if (stopped)
        return false;

    ContentDownloadThread::postStatus (name + ": conversion rules");
    if (threadShouldStop (thread))
        return false;

    ok &= downloadKind (productId, conversionRules, thread, stopped);

    if (stopped)
        return false;

    if (packUrl.isNotEmpty())
    {
        ContentDownloadThread::postStatus (name + ": preset packs");
        if (threadShouldStop (thread))
            return false;

        if (! isPresetPackCurrent (productId) || ! isContentComplete (productId, presetPack))
            ok &= downloadPresetPack (productId, thread);
    }

    const juce::ScopedLock sl (lock);
    if (auto* record = findRecord (productId))
    {
        record->ready = ok;
        record->lastCheckTime = juce::Time::currentTimeMillis();
    }

    return ok;
}

bool ContentManager::downloadFirmwareImages (int productId, juce::Thread* thread)
{
    juce::Array<FirmwareUpdateElement> updates;

    {
        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            updates = record->firmwareUpdates;
    }

    juce::File (getFirmwareFolder (productId)).createDirectory();
    const auto developer = isDeveloperMode();
    juce::StringArray failedLinks;
    bool ok = true;

    for (const auto& update : updates)
    {
        if (threadShouldStop (thread))
            return false;

        const auto status = update.status;

        if (status == FirmwareUpdateElement::statusRevoked)
        {
            if (juce::File::isAbsolutePath (update.file))
                juce::File (update.file).deleteFile();
            continue;
        }

        const auto prerelease = status == FirmwareUpdateElement::statusBeta || status == FirmwareUpdateElement::statusAlpha;

        if (status == FirmwareUpdateElement::statusExpired || (prerelease && ! developer))
            continue;

        if (! writeUrlToFile (update.link, update.file, false, &bytesReceived, thread, maxFirmwareBytes))
        {
            failedLinks.add (update.file);
            ok = false;
        }
    }

    // A failed image hides its update from every list.
    const juce::ScopedLock sl (lock);
    if (auto* record = findRecord (productId))
        for (auto& update : record->firmwareUpdates)
            if (failedLinks.contains (update.file))
                update.status = FirmwareUpdateElement::statusNone;

    return ok;
}

bool ContentManager::downloadConversionScripts (int productId, juce::Thread* thread)
{
    const auto doc = loadCachedDocument (productId, conversionRules, false);
    const auto folder = getScriptFolder (productId);

    if (doc == nullptr || folder.isEmpty())
        return doc == nullptr;

    juce::File (folder).createDirectory();
    bool ok = true;

    for (auto* child : doc->getChildIterator())
    {
        if (threadShouldStop (thread))
            break;

        if (! child->hasAttribute ("script"))
            continue;

        const auto address = child->getStringAttribute ("script");
        const auto name = getFileNameOfAddress (address);
        ok &= name.isNotEmpty() && writeUrlToFile (address, join (folder, name), true, &bytesReceived, thread, maxScriptBytes);
    }

    return ok;
}

// The new pack is fetched and unpacked beside the old one and swapped in only
// when complete; the old one stays in use until then.
bool ContentManager::downloadPresetPack (int productId, juce::Thread* thread)
{
    const auto address = getContentUrl (productId, presetPack, 0);
    const auto zipName = getFileNameOfAddress (address);
    const juce::String productFolder (getProductFolder (productId));
    juce::String stamp;

    {
        const juce::ScopedLock sl (lock);
        if (auto* record = findRecord (productId))
            stamp = record->stamps[presetPack];
    }

    if (zipName.isEmpty() || productFolder.isEmpty() || zipName == packStampName)
        return false;

    const juce::File packs (join (productFolder, "packs"));
    const juce::File staging (join (productFolder, "packs.download"));
    const juce::File previous (join (productFolder, "packs.previous"));

    staging.deleteRecursively();

    if (! staging.createDirectory())
        return false;

    const auto zip = staging.getChildFile (zipName);
    auto ok = writeUrlToFile (address, zip.getFullPathName(), true, &bytesReceived, thread, maxPackBytes)
              && unpackZip (zip, staging, maxUnpackedPackBytes, maxPackEntries, thread)
              && (stamp.isEmpty() || staging.getChildFile (packStampName).replaceWithText (stamp, false, false, nullptr));

    if (ok)
    {
        previous.deleteRecursively();
        ok = (! packs.exists() || packs.moveFileTo (previous)) && staging.moveFileTo (packs);

        if (! ok && ! packs.exists())
            previous.moveFileTo (packs);
    }

    staging.deleteRecursively();
    previous.deleteRecursively();
    return ok;
}

bool ContentManager::loadCachedProductContent (int productId)
{
    {
        const juce::ScopedLock sl (lock);
        if (findRecord (productId) == nullptr || descriptor == nullptr)
            return false;
    }

    if (! juce::File (getProductFolder (productId)).isDirectory())
        return false;

    auto ok = parseContent (productId, capsDocument);
    ok &= parseContent (productId, firmwareList);
    ok &= parseContent (productId, conversionRules);

    loadPictures (productId, false, false);
    return ok;
}

//==============================================================================
bool ContentManager::writeUrlToFile (const juce::String& address, const juce::String& path, bool overwrite,
                                     std::atomic<juce::int64>* counter, juce::Thread* thread, juce::int64 maxBytes)
{
    return ContentReader::writeUrlToFile (address, path, overwrite, counter, thread, maxBytes);
}

std::unique_ptr<juce::XmlElement> ContentManager::readXml (const juce::String& location, std::atomic<juce::int64>* counter, bool addressFirst)
{
    const auto trimmed = location.trim();

    if (trimmed.isEmpty())
        return nullptr;

    if (addressFirst)
    {
        if (auto doc = readXmlFromUrl (trimmed, counter))
            return doc;

        return readXmlFromFile (trimmed, counter);
    }

    if (auto doc = readXmlFromFile (trimmed, counter))
        return doc;

    return readXmlFromUrl (trimmed, counter);
}

std::unique_ptr<juce::XmlElement> ContentManager::readXmlFromUrl (const juce::String& address, std::atomic<juce::int64>* counter)
{
    return ContentReader::readXmlFromUrl (address, counter, maxDocumentBytes);
}

std::unique_ptr<juce::XmlElement> ContentManager::readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter)
{
    return ContentReader::readXmlFromFile (path, counter, maxDocumentBytes);
}

std::unique_ptr<juce::InputStream> ContentManager::openContentStream (const juce::String& location)
{
    return ContentReader::openStream (location, ContentReader::connectionTimeoutMs);
}

bool ContentManager::readLocationIntoMemory (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                             juce::Thread* thread, juce::int64 maxBytes)
{
    return ContentReader::readIntoMemory (location, into, counter, thread, maxBytes);
}

bool ContentManager::unpackZip (const juce::File& zip, const juce::File& folder, juce::int64 maxBytes, int maxEntries, juce::Thread* thread)
{
    return ContentReader::unpackZip (zip, folder, maxBytes, maxEntries, thread);
}

juce::int64 ContentManager::parseIsoDate (const juce::String& text)
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
        return juce::Time::currentTimeMillis();

    // Out-of-range parts roll over like the calendar does; the limits only
    // keep the arithmetic in range.
    auto part = [&values] (int i) { return juce::jlimit (0, 100000, values[i]); };
    return juce::Time (year, part (1) - 1, part (2), part (3), part (4), part (5), 0, false).toMilliseconds();
}

juce::String ContentManager::getFileNameOfAddress (const juce::String& address)
{
    const auto name = address.fromLastOccurrenceOf ("/", false, false).fromLastOccurrenceOf ("\\", false, false);
    return name == "." || name == ".." ? juce::String() : name;
}
