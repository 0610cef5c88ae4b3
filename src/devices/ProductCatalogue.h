#pragma once

#include "devices/DeviceCaps.h"

#include <juce_core/juce_core.h>

#include <memory>

/** What the device layer asks of the content catalogue and the capability
    documents: the products, their names and identity habits, their content
    and their capabilities. The default answers come from the program's
    catalogue; tests and simulations hand the device manager their own. */
class ProductCatalogue
{
public:
    virtual ~ProductCatalogue() = default;

    virtual juce::Array<int> getProductIds() const;
    virtual juce::String getProductName (int productId) const;
    virtual bool answersGenericIdentity (int productId) const;

    virtual bool isOnline() const;
    virtual bool isProductReady (int productId) const;
    /** Asks the hub to prepare a product's content; true when a download was queued. */
    virtual bool requestProductContent (int productId);
    virtual bool isDownloadQueued (int productId) const;
    virtual bool hasQueuedDownloads() const;
    /** True when the product's capability document can be read from the cache. */
    virtual bool hasCapsDocument (int productId) const;

    virtual std::unique_ptr<DeviceCaps> createCaps (int productId, int build) const;

    bool isKnown (int productId) const { return getProductIds().contains (productId); }

    /** The product a port name names: the name itself when it equals a product
        name (or is empty), else the first product whose name, lower-cased and
        without spaces, is part of it; empty when none. */
    juce::String getProductNameOfPortName (const juce::String& portName) const;

    /** That product's id, -1 when the name names none. */
    int getProductIdOfPortName (const juce::String& portName) const;
};
