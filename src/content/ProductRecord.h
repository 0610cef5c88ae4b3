#pragma once

#include "content/ContentKind.h"
#include "content/FirmwareUpdateElement.h"
#include "content/ConversionRule.h"

#include <juce_graphics/juce_graphics.h>

#include <memory>

/** One product of the master descriptor: where its documents are published
    and what of them was fetched and parsed. Plain data; the catalogue's
    product table guards it. */
struct ProductRecord
{
    using Document = std::shared_ptr<const juce::XmlElement>;

    /** The record of one "product" element; null when the element has no
        usable name (one that can be a folder name) or no one-byte id. */
    static std::unique_ptr<ProductRecord> fromElement (const juce::XmlElement& product, const juce::String& defaultManualUrl);

    /** The record's slot for a cached document; null for kinds without one. */
    Document* slotFor (ContentKind kind);

    /** The download address of a kind; for pictures, the one at index. */
    juce::String addressOf (ContentKind kind, int index) const;

    /** The version stamp the master descriptor gives a kind. */
    const juce::String& stampOf (ContentKind kind) const;

    bool ready = false;
    bool picturesStale = false;   // the capabilities changed: their pictures are fetched again
    juce::Time lastCheckTime;
    juce::Time pubDate;
    juce::String name;
    uint8_t productId = 255;
    bool allVersSupportGenSyxID = false;
    juce::String capsUrl, firmwareUpdateUrl, conversionRulesUrl, onlinePresetsUrl, manualUrl;
    juce::String capsKey, firmwareKey, rulesKey, presetsKey;
    Document capsXml, firmwareXml, rulesXml;
    Document capsParsed;   // the capability document the picture list was taken from
    juce::Array<FirmwareUpdateElement> firmwareUpdates;
    juce::Array<ConversionRule> conversionRules;
    juce::Array<juce::Image> pictures;
    juce::StringArray pictureUrls;
    juce::StringPairArray variantPictureIndex { true };
};
