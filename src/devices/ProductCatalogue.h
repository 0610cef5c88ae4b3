#pragma once

#include "devices/DeviceCaps.h"
#include "model/FactoryBank.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

/** What the device layer asks of the content catalogue and the capability
    documents: the products, their names and identity habits, their content
    and their capabilities. The program's answers come from its content
    catalogue (ContentProductCatalogue); tests and simulations give their own. */
class ProductCatalogue
{
public:
    virtual ~ProductCatalogue() = default;

    virtual juce::Array<int> getProductIds() const = 0;
    virtual juce::String getProductName (int productId) const = 0;

    /** The product variant's name for a serial number, else the product's name. */
    virtual juce::String getDisplayName (int productId, uint32_t serial) const = 0;
    virtual bool answersGenericIdentity (int productId) const = 0;

    virtual bool isOnline() const = 0;

    /** The catalogue is still reading the server's copy of its product list:
        meanwhile it answers from the one kept by an earlier start. */
    virtual bool isConnecting() const   { return false; }

    /** Waits on the calling worker until that read ended, or giveUp says so;
        true when it ended. */
    virtual bool waitUntilConnected (const std::function<bool()>& /*giveUp*/)   { return true; }

    virtual bool isProductReady (int productId) const = 0;

    /** Prepares a product's content on the calling worker (it may wait on the
        server); true when a download was queued. */
    virtual bool requestProductContent (int productId) = 0;

    /** The same request, run elsewhere: the caller does not wait. */
    virtual void requestProductContentAsync (int productId) = 0;
    virtual bool isDownloadQueued (int productId) const = 0;
    virtual bool hasQueuedDownloads() const = 0;

    /** True when the product's capability document can be read from the cache. */
    virtual bool hasCapsDocument (int productId) const = 0;

    /** True when the cached capability document is the one the product list in use names. */
    virtual bool hasCurrentCaps (int productId) const   { return hasCapsDocument (productId); }

    /** The product's capabilities at one firmware build; null when there are none. */
    virtual std::unique_ptr<DeviceCaps> createCaps (int productId, int build) const = 0;

    /** The md5s of the product's factory presets at one firmware build; null when none are known. */
    virtual std::unique_ptr<FactoryBank> createFactoryBank (int /*productId*/, int /*build*/) const   { return {}; }

    bool isKnown (int productId) const { return getProductIds().contains (productId); }

    /** The product a port name names: the name itself when it equals a product
        name (or is empty), else the first product whose name, lower-cased and
        without spaces, is part of it; empty when none. */
    juce::String getProductNameOfPortName (const juce::String& portName) const;

    /** That product's id, -1 when the name names none. */
    int getProductIdOfPortName (const juce::String& portName) const;
};
