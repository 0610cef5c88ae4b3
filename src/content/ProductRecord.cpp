#include "content/ProductRecord.h"

#include "base/BelvoraPaths.h"
#include "content/ContentManager.h"

namespace
{
    bool isTrueText (const juce::String& text)
    {
        const auto first = text.trimStart()[0];
        return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
    }
}

std::unique_ptr<ProductRecord> ProductRecord::fromElement (const juce::XmlElement& product, const juce::String& defaultManualUrl)
{
    auto record = std::make_unique<ProductRecord>();
    record->name = product.getStringAttribute ("name");

    // One byte: a longer text such as "11A" must not alias to another product.
    const auto idText = product.getStringAttribute ("sysexId").trim();
    const auto id = idText.getHexValue64();

    if (record->name.isEmpty() || id < 0 || id > 0xFE || idText.length() > 8)
        return nullptr;

    // The name becomes a folder that is later emptied and refilled.
    if (! BelvoraPaths::isSafeFolderName (record->name))
        return nullptr;

    auto text = [&product] (const char* name) { return product.getChildElementAllSubText (name, {}); };

    record->productId = (uint8_t) id;
    record->allVersSupportGenSyxID = isTrueText (product.getStringAttribute ("allVersSupportGenSyxID"));
    record->pubDate = ContentManager::parseIsoDate (text ("pubDate"));
    record->capsUrl = text ("caps");
    record->firmwareUpdateUrl = text ("firmwareUpdate");
    record->conversionRulesUrl = text ("conversionRules");
    record->onlinePresetsUrl = text ("onlinePresets");
    record->manualUrl = product.getChildByName ("manual") != nullptr ? text ("manual") : defaultManualUrl;
    record->capsKey = text ("capsKey");
    record->firmwareKey = text ("firmwareKey");
    record->rulesKey = text ("rulesKey");
    record->presetsKey = text ("presetsKey");
    return record;
}

ProductRecord::Document* ProductRecord::slotFor (ContentKind kind)
{
    switch (kind)
    {
        case ContentKind::capsDocument:    return &capsXml;
        case ContentKind::firmwareList:    return &firmwareXml;
        case ContentKind::conversionRules: return &rulesXml;
        case ContentKind::masterDescriptor:
        case ContentKind::variantPicture:
        case ContentKind::presetPack:
        default:                           return nullptr;
    }
}

juce::String ProductRecord::addressOf (ContentKind kind, int index) const
{
    switch (kind)
    {
        case ContentKind::variantPicture:  return pictureUrls[index];
        case ContentKind::capsDocument:    return capsUrl;
        case ContentKind::firmwareList:    return firmwareUpdateUrl;
        case ContentKind::conversionRules: return conversionRulesUrl;
        case ContentKind::presetPack:      return onlinePresetsUrl;
        case ContentKind::masterDescriptor:
        default:                           return {};
    }
}

const juce::String& ProductRecord::stampOf (ContentKind kind) const
{
    static const juce::String none;

    switch (kind)
    {
        case ContentKind::capsDocument:    return capsKey;
        case ContentKind::firmwareList:    return firmwareKey;
        case ContentKind::conversionRules: return rulesKey;
        case ContentKind::presetPack:      return presetsKey;
        case ContentKind::masterDescriptor:
        case ContentKind::variantPicture:
        default:                           return none;
    }
}
