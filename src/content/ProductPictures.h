#pragma once

#include "content/ContentReader.h"
#include "content/ProductTable.h"

#include <atomic>
#include <mutex>

/** The pictures of a product's variants, named by its capability document
    and cached in its folder, and the card shown for a product without one. */
class ProductPictures
{
public:
    ProductPictures (ProductTable& products, std::atomic<juce::int64>& bytesReceived);

    /** The picture shown for a product without one. */
    juce::Image getDefault() const   { return defaultPicture; }

    /** The picture of a variant by its display name; the first picture for an
        unknown name, the default for a product without pictures. */
    juce::Image get (int productId, const juce::String& displayName) const;

    /** Rebuilds the record's pictures from the cache, one per address of the
        capability document; a picture that does not load gives the default.
        With download, missing files are fetched first (all of them with
        refetch), each within the turn; a fetched picture that does not decode
        keeps the cached one. With download and nothing to fetch, the pictures
        read before stay. */
    bool load (int productId, bool download, bool refetch, ContentReader::Turn* turn = nullptr);

private:
    ProductTable& products;
    std::atomic<juce::int64>& bytesReceived;
    const juce::Image defaultPicture;
    std::mutex readLock;   // held from reading the files to storing what they held
};
