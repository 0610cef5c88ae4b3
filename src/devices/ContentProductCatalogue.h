#pragma once

#include "devices/ProductCatalogue.h"

class ContentManager;

/** The program's product catalogue: the answers of its content catalogue. */
class ContentProductCatalogue : public ProductCatalogue
{
public:
    explicit ContentProductCatalogue (ContentManager& content);

    juce::Array<int> getProductIds() const override;
    juce::String getProductName (int productId) const override;
    juce::String getDisplayName (int productId, uint32_t serial) const override;
    bool answersGenericIdentity (int productId) const override;
    bool isOnline() const override;
    bool isConnecting() const override;
    bool waitUntilConnected (const std::function<bool()>& giveUp) override;
    bool isProductReady (int productId) const override;
    bool requestProductContent (int productId) override;
    void requestProductContentAsync (int productId) override;
    bool isDownloadQueued (int productId) const override;
    bool hasQueuedDownloads() const override;
    bool hasCapsDocument (int productId) const override;
    bool hasCurrentCaps (int productId) const override;
    std::unique_ptr<DeviceCaps> createCaps (int productId, int build) const override;
    std::unique_ptr<FactoryBank> createFactoryBank (int productId, int build) const override;

private:
    ContentManager& content;
};
