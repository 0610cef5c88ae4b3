#pragma once

#include "content/ContentReader.h"
#include "content/ProductTable.h"

#include <atomic>
#include <functional>
#include <mutex>

/** A product's online preset pack: the zip fetched into its "packs" folder
    and unpacked beside it, with the stamp it was unpacked with; what a pack
    may weigh, fetched and unpacked, is the download policy's. */
class PresetPacks
{
public:
    PresetPacks (ProductTable& products, std::atomic<juce::int64>& bytesReceived);

    /** The unpacked pack carries the stamp the master descriptor asks for. */
    bool isCurrent (int productId) const;

    /** The zip is there and opens with at least one entry. */
    bool isComplete (int productId) const;

    /** Fetches and unpacks the pack beside the one in use, and swaps it in
        only when complete; the pack in use stays until then. */
    bool download (int productId, juce::Thread* thread, ContentReader::Turn* turn = nullptr);

    /** Held by whoever reads or rewrites an unpacked pack, and by the download
        while it swaps a new one in, so that the two never overlap. Waits
        while another holds it, until giveUp says so: the lock returned then
        does not own it. Worker threads only. */
    std::unique_lock<std::mutex> lockFolder (const std::function<bool()>& giveUp) const;

    /** The unpacked pack is fetched again at the next download. */
    void markStale (int productId) const;

private:
    ProductTable& products;
    std::atomic<juce::int64>& bytesReceived;
    mutable std::mutex folderLock;
};
