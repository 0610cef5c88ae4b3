#pragma once

#include <juce_core/juce_core.h>

#include <memory>

class ContentDownloadThread;

/** The content catalogue: products, their documents and the download queue.
    (Stand-in until the catalogue is built: knows no product and is offline.) */
class ContentManager
{
public:
    ContentManager();
    ~ContentManager();

    juce::Array<uint8_t> getProductIds() const { return {}; }
    bool answersGenericIdentity (int) const { return false; }
    std::shared_ptr<const juce::XmlElement> getCapsXml (int) const { return {}; }
    bool isFirmwareUpdateAvailable (int, int) const { return false; }
    juce::String getProductName (int productId) const;
    uint8_t getProductIdForName (const juce::String& name) const;

    /** The last part of an address (after its last "/" or "\\"), usable as one file
        name in a cache folder; empty when there is none or it is "." or "..". */
    static juce::String getFileNameOfAddress (const juce::String& address);
    int indexOfProduct (int productId) const;

    bool isOnline() const;
    bool isProductReady (int productId) const;
    bool prepareProductContent (int productId);
    bool loadCachedProductContent (int productId);

    ContentDownloadThread* getDownloadThread() const;

private:
    JUCE_DECLARE_NON_COPYABLE (ContentManager)
};
