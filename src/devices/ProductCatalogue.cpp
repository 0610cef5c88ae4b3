#include "devices/ProductCatalogue.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "devices/DeviceProfiler.h"

namespace
{
    juce::String squeezed (const juce::String& text)
    {
        return text.toLowerCase().removeCharacters (" ");
    }
}

juce::Array<int> ProductCatalogue::getProductIds() const
{
    juce::Array<int> ids;

    if (auto* content = Nexus::getContentManager())
        for (auto id : content->getProductIds())
            ids.add (id);

    return ids;
}

juce::String ProductCatalogue::getProductName (int productId) const
{
    auto* content = Nexus::getContentManager();
    return content != nullptr ? content->getProductName (productId) : juce::String();
}

bool ProductCatalogue::answersGenericIdentity (int productId) const
{
    auto* content = Nexus::getContentManager();
    return content != nullptr && content->answersGenericIdentity (productId);
}

bool ProductCatalogue::isOnline() const
{
    auto* content = Nexus::getContentManager();
    return content != nullptr && content->isOnline();
}

bool ProductCatalogue::isProductReady (int productId) const
{
    auto* content = Nexus::getContentManager();
    return content != nullptr && content->isProductReady (productId);
}

bool ProductCatalogue::requestProductContent (int productId)
{
    auto* app = Belvora::getInstance();
    auto* hub = app != nullptr ? app->getNexus() : nullptr;
    return hub != nullptr && hub->requestProductContent (productId);
}

bool ProductCatalogue::isDownloadQueued (int productId) const
{
    auto* content = Nexus::getContentManager();
    auto* downloader = content != nullptr ? content->getDownloadThread() : nullptr;
    return downloader != nullptr && downloader->isQueued (productId);
}

bool ProductCatalogue::hasQueuedDownloads() const
{
    for (auto id : getProductIds())
        if (isDownloadQueued (id))
            return true;

    return false;
}

bool ProductCatalogue::hasCapsDocument (int productId) const
{
    auto* content = Nexus::getContentManager();
    return content != nullptr && content->getCapsXml (productId) != nullptr;
}

std::unique_ptr<DeviceCaps> ProductCatalogue::createCaps (int productId, int build) const
{
    return DeviceProfiler::createCaps (productId, build);
}

juce::String ProductCatalogue::getProductNameOfPortName (const juce::String& portName) const
{
    if (portName.isEmpty())
        return portName;

    const auto ids = getProductIds();

    for (auto id : ids)
        if (getProductName (id) == portName)
            return portName;

    const auto port = squeezed (portName);

    for (auto id : ids)
    {
        const auto product = getProductName (id);

        if (product.isNotEmpty() && port.contains (squeezed (product)))
            return product;
    }

    return {};
}

int ProductCatalogue::getProductIdOfPortName (const juce::String& portName) const
{
    const auto product = getProductNameOfPortName (portName);

    if (product.isEmpty())
        return -1;

    for (auto id : getProductIds())
        if (getProductName (id) == product)
            return id;

    return -1;
}
