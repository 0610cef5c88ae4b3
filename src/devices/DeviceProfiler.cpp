#include "devices/DeviceProfiler.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "model/FactoryBank.h"

namespace
{
    constexpr int maxFactoryPresets = 16384;

    std::shared_ptr<const juce::XmlElement> capsDocumentOf (int productId)
    {
        auto* content = Nexus::getContentManager();
        return content != nullptr ? content->getCapsXml (productId) : nullptr;
    }

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

    int leadingValue (const juce::String& text)
    {
        return text.trimStart().getIntValue();
    }
}

std::unique_ptr<DeviceCaps> DeviceProfiler::createCaps (int productId, int build)
{
    return createCapsFrom (capsDocumentOf (productId).get(), productId, build);
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

std::unique_ptr<DeviceCaps> DeviceProfiler::createCapsForDataVersions (int productId, int kind, int version)
{
    return createCapsForDataVersionsFrom (capsDocumentOf (productId).get(), productId, kind, version);
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

juce::String DeviceProfiler::getProductDisplayName (int productId, uint32_t serial)
{
    auto* content = Nexus::getContentManager();
    const auto name = content != nullptr ? content->getProductName (productId) : juce::String();
    const auto variant = getVariantName (capsDocumentOf (productId).get(), serial);
    return variant.isNotEmpty() ? variant : name;
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

std::unique_ptr<FactoryBank> DeviceProfiler::createFactoryBank (int productId, int build)
{
    return createFactoryBankFrom (capsDocumentOf (productId).get(), productId, build);
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

FirmwareVersion DeviceProfiler::parseVersionText (const juce::String& text)
{
    auto rest = text.trim().toLowerCase();
    int kind = 0;

    if (rest.startsWith ("a"))
    {
        kind = 2;
        rest = rest.substring (1).trim();
    }
    else if (rest.startsWith ("b"))
    {
        kind = 1;
        rest = rest.substring (1).trim();
    }
    else if (rest.startsWith ("demo"))
    {
        kind = 3;
        rest = rest.substring (4).trim();
    }

    const auto major = leadingValue (rest.upToFirstOccurrenceOf (".", false, false));
    rest = rest.fromFirstOccurrenceOf (".", false, false);

    const auto minor = leadingValue (rest.upToFirstOccurrenceOf (".", false, false));
    rest = rest.fromFirstOccurrenceOf (".", false, false);

    const auto end = rest.indexOfAnyOf (" .b");
    const auto revision = end >= 0 ? leadingValue (rest.substring (0, end)) : 0;

    const auto buildAt = rest.indexOf ("build");
    const auto build = leadingValue (rest.substring (buildAt >= 0 ? buildAt + 5 : 5));

    return FirmwareVersion (kind, major, minor, revision, build);
}

DeviceProfiler::Date DeviceProfiler::parseManufactureDate (const juce::String& text)
{
    return { text.substring (0, 4).getIntValue(), text.substring (5, 7).getIntValue(), text.substring (8, 10).getIntValue() };
}
