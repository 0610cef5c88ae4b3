#pragma once

#include "content/ProductRecord.h"

/** The catalogue's product records behind one lock, and the cache paths that
    follow from them.

    Device threads, the download thread, the catalogue's worker and the
    message thread use the records at once: every look or change happens
    inside with(), which holds the lock; transfers and disk work never do. */
class ProductTable
{
public:
    /** Replaces every record. A product that stays (the same id and name)
        keeps what was read of its cache, so nothing a reader found there goes
        missing until it is read again. */
    void reset (juce::OwnedArray<ProductRecord>& newRecords);

    /** Calls fn with the first record of the id (null when there is none) under the lock. */
    template <typename Fn>
    auto with (int productId, Fn&& fn) const
    {
        const juce::ScopedLock sl (lock);
        return fn (static_cast<const ProductRecord*> (find (productId)));
    }

    template <typename Fn>
    auto with (int productId, Fn&& fn)
    {
        const juce::ScopedLock sl (lock);
        return fn (find (productId));
    }

    /** Calls fn with every record in order, under the lock. */
    template <typename Fn>
    void forEach (Fn&& fn) const
    {
        const juce::ScopedLock sl (lock);
        for (const auto* record : records)
            fn (*record);
    }

    int indexOf (int productId) const;
    juce::String getName (int productId) const;

    /** The download address of a kind; empty for an unknown product. */
    juce::String getAddress (int productId, ContentKind kind, int index) const;

    // A product's folders; empty when the product is unknown.
    juce::String getProductFolder (int productId) const;
    juce::String getFirmwareFolder (int productId) const;
    juce::String getScriptFolder (int productId) const;
    juce::String getPacksFolder (int productId) const;

    /** Where a kind's download is cached: the product folder ("packs" for the
        pack) and the last part of its address. Empty when the address has no
        usable last part, so nothing lands beside the product folder. */
    juce::String getLocalFile (int productId, ContentKind kind, int index, bool createFolder) const;

    /** The last part of an address (after its last "/" or "\\"), usable as one file
        name in a cache folder; empty when there is none or it is "." or "..". */
    static juce::String getFileNameOfAddress (const juce::String& address);

private:
    ProductRecord* find (int productId) const;
    juce::String folderOf (int productId, juce::String (*pathOfName) (const juce::String&)) const;

    mutable juce::CriticalSection lock;
    juce::OwnedArray<ProductRecord> records;
};
