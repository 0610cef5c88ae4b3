#pragma once

#include <juce_core/juce_core.h>

class ContentManager;

/** One conversion rule of a product's rule document: converts one kind of data
    from a (product, format version) pair to another with one script. Also used
    as one step of a conversion chain. */
struct ConversionRule
{
    enum Kind
    {
        presetData = 1,
        setupData  = 2,
        otherData  = 3
    };

    int32_t kind = otherData;
    uint8_t sourceProductId = 255;
    int32_t sourceVersion = 0;
    uint8_t targetProductId = 255;
    int32_t targetVersion = 0;
    int32_t cost = 0;
    juce::String script;       // the document's address of the script
    juce::String scriptFile;   // full path of the local copy

    /** Reads one child element of a "CONVERSION_RULES" document of the given product;
        the script's local copy lies in scriptFolderPath. Target product names are
        looked up in the given catalogue; without one they name no product (255). */
    static ConversionRule parse (uint8_t productId, const juce::XmlElement& element, const juce::String& scriptFolderPath,
                                 const ContentManager* catalogue = nullptr);

    /** Costs are small and never negative: a negative one would let the path
        search run round a cycle, a huge one overflow a sum of costs. */
    static constexpr int32_t maxCost = 1000000;
    static bool isUsableCost (int cost) noexcept    { return cost >= 0 && cost <= maxCost; }

    bool operator== (const ConversionRule&) const = default;
};
