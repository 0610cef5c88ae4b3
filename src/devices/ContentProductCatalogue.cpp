#include "devices/ContentProductCatalogue.h"

#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "devices/DeviceProfiler.h"

ContentProductCatalogue::ContentProductCatalogue (ContentManager& contentManager) : content (contentManager)
{
}

juce::Array<int> ContentProductCatalogue::getProductIds() const
{
    juce::Array<int> ids;

    for (auto id : content.getProductIds())
        ids.add (id);

    return ids;
}

juce::String ContentProductCatalogue::getProductName (int productId) const
{
    return content.getProductName (productId);
}

juce::String ContentProductCatalogue::getDisplayName (int productId, uint32_t serial) const
{
    return DeviceProfiler::getProductDisplayName (content, productId, serial);
}

bool ContentProductCatalogue::answersGenericIdentity (int productId) const
{
    return content.answersGenericIdentity (productId);
}

bool ContentProductCatalogue::isOnline() const
{
    return content.isOnline();
}

bool ContentProductCatalogue::isConnecting() const
{
    return content.isConnecting();
}

bool ContentProductCatalogue::waitUntilConnected (const std::function<bool()>& giveUp)
{
    return content.waitUntilConnected (giveUp);
}

bool ContentProductCatalogue::isProductReady (int productId) const
{
    return content.isProductReady (productId);
}

bool ContentProductCatalogue::requestProductContent (int productId)
{
    return content.requestProductContent (productId);
}

void ContentProductCatalogue::requestProductContentAsync (int productId)
{
    content.requestProductContentAsync (productId);
}

bool ContentProductCatalogue::isDownloadQueued (int productId) const
{
    auto* downloader = content.getDownloadThread();
    return downloader != nullptr && downloader->isQueued (productId);
}

bool ContentProductCatalogue::hasQueuedDownloads() const
{
    // Units wait for the server's product list as they wait for their content.
    if (content.isConnecting())
        return true;

    for (auto id : content.getProductIds())
        if (isDownloadQueued (id))
            return true;

    return false;
}

bool ContentProductCatalogue::hasCapsDocument (int productId) const
{
    return content.getCapsXml (productId) != nullptr;
}

bool ContentProductCatalogue::hasCurrentCaps (int productId) const
{
    // Without a stamp they are fetched at every start: a finished download brought them.
    return content.isContentCurrent (productId, ContentManager::capsDocument) || content.isProductReady (productId);
}

std::unique_ptr<DeviceCaps> ContentProductCatalogue::createCaps (int productId, int build) const
{
    return DeviceProfiler::createCaps (content, productId, build);
}

std::unique_ptr<FactoryBank> ContentProductCatalogue::createFactoryBank (int productId, int build) const
{
    return DeviceProfiler::createFactoryBank (content, productId, build);
}
