#include "content/MasterDescriptor.h"

#include "base/BelvoraPaths.h"
#include "base/BelvoraSettings.h"
#include "content/ContentReader.h"
#include "content/ProductDocumentCache.h"

namespace
{
    const char* const makerSite = "https://www.marrowell.com";
    const char* const agentSuffix = "?agent=belvora";

    std::unique_ptr<juce::XmlElement> descriptorOnly (std::unique_ptr<juce::XmlElement> doc)
    {
        const auto tag = ProductDocumentCache::getDocumentTag (ContentKind::masterDescriptor);
        return doc != nullptr && doc->hasTagName (tag) ? std::move (doc) : nullptr;
    }

    // Read on a worker: a slow server or name lookup only delays it, for as long as bytes keep coming.
    std::unique_ptr<juce::XmlElement> readDescriptor (const juce::String& location, std::atomic<juce::int64>* counter, bool addressFirst)
    {
        return descriptorOnly (ContentReader::readXml (location, counter, addressFirst, platform::DownloadPolicy::maxDocumentBytes));
    }

    std::unique_ptr<juce::XmlElement> readDescriptorFile (const juce::String& path)
    {
        return descriptorOnly (ContentReader::readXmlFromFile (path.trim(), nullptr, platform::DownloadPolicy::maxDocumentBytes));
    }
}

MasterDescriptor::MasterDescriptor()
{
    linkUserAccount = juce::String (makerSite) + "/account" + agentSuffix;
    linkAppSupport = juce::String (makerSite) + "/products/belvora/support/";
    linkGeneralSupport = juce::String (makerSite) + "/support";
    linkAppManual = juce::String (makerSite) + "/support/manuals/";
    linkManualDefault = linkAppManual;
    linkConnectionFAQ = linkGeneralSupport;
}

MasterDescriptor MasterDescriptor::load (bool developerMode, std::atomic<juce::int64>* bytesReceived, bool askServer)
{
    MasterDescriptor result;
    auto fresh = askServer ? readDescriptor (BelvoraPaths::getMasterDescriptorUrl(), bytesReceived, true) : nullptr;
    result.online = fresh != nullptr;

    std::unique_ptr<juce::XmlElement> chosen;

    if (developerMode)
    {
        if (auto* settings = BelvoraSettings::getAppProperties().getUserSettings())
        {
            const auto location = settings->getValue ("developerControlDescriptorUri");
            chosen = askServer ? readDescriptor (location, nullptr, false) : readDescriptorFile (location);
            result.overridden = chosen != nullptr;
        }
    }

    if (chosen == nullptr && fresh != nullptr)
    {
        result.fresh = true;
        chosen = std::move (fresh);
    }

    if (chosen == nullptr)
        chosen = readDescriptorFile (BelvoraPaths::getMasterDescriptorFile());

    if (chosen == nullptr)
        return result;

    if (auto* settings = chosen->getChildByName ("belvora"))
        result.readGeneralSettings (*settings);

    result.document = std::move (chosen);
    return result;
}

void MasterDescriptor::keepLocalCopy (platform::WriteQueue& writes) const
{
    if (! fresh || document == nullptr)
        return;

    // The data folder is there already (it holds the start's lock): made here
    // only when missing, as the writes made beside it at once by others expect it.
    const juce::File file (BelvoraPaths::getMasterDescriptorFile());
    file.getParentDirectory().createDirectory();
    writes.post ([copy = document, file] { ContentReader::saveXml (*copy, file.getFullPathName()); });
}

void MasterDescriptor::readGeneralSettings (const juce::XmlElement& settings)
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
    linkUserAccount = text ("linkUserAccount", defaultAccount) + agentSuffix;
    linkAppSupport = text ("linkAppSupport", linkAppSupport);
    linkGeneralSupport = text ("linkGeneralSupport", linkGeneralSupport);
    linkAppManual = text ("linkAppManual", linkAppManual);
    linkManualDefault = text ("linkManualDefault", linkManualDefault);
    linkConnectionFAQ = text ("linkConnectionFAQ", linkConnectionFAQ);
}

juce::OwnedArray<ProductRecord> MasterDescriptor::makeRecords() const
{
    juce::OwnedArray<ProductRecord> records;

    if (document == nullptr)
        return records;

    if (auto* devices = document->getChildByName ("devices"))
        for (auto* product : devices->getChildWithTagNameIterator ("product"))
            if (auto record = ProductRecord::fromElement (*product, linkManualDefault))
                records.add (record.release());

    return records;
}
