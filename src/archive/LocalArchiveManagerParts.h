#pragma once

#include "archive/LocalArchiveManager.h"
#include "model/SafeSave.h"

#include <algorithm>
#include <mutex>
#include <set>

// The manager's own parts, shared by its source files.

/** A changed backup as it was when the index was stored, written later on the manager's thread. */
struct LocalArchiveManager::PendingSave
{
    std::unique_ptr<DeviceDataArchive> snapshot;
    juce::File entry;
    juce::WeakReference<DeviceDataArchive> original;
};

/** The backups whose background write failed, until the message thread marks
    them modified again; what is not on disk after the last saves; who is told
    when a background save has ended. */
struct LocalArchiveManager::FailedSaves
{
    std::mutex lock;
    juce::Array<juce::WeakReference<DeviceDataArchive>> archives;
    std::set<juce::String> unsaved;      // the uuids of backups whose last write failed
    bool indexUnsaved = false;
    int error = 0;                       // what the system said of the last write that failed
    bool deletedListed = false;          // the index on disk may still name backups in the deleted folder
    bool keepDeleted = false;            // some named by the index could not come back from there at the start
    std::function<void()> listener;      // message thread only

    void record (const juce::Uuid& backup, bool written)
    {
        const std::lock_guard<std::mutex> hold (lock);
        noteError (written);

        if (written)
            unsaved.erase (backup.toString());
        else
            unsaved.insert (backup.toString());
    }

    // Every index is made from the tree after the files of its deleted
    // backups were handed over to go aside: one written names none of them.
    void recordIndex (bool written)
    {
        const std::lock_guard<std::mutex> hold (lock);
        noteError (written);
        indexUnsaved = ! written;
        deletedListed = deletedListed && ! written;
    }

    // Without an index nothing is written: what the tree holds is not on disk.
    void recordNothingWritten (const juce::ValueTree& shown)
    {
        juce::Array<juce::ValueTree> nodes;
        SourceTree::collectNodes (shown, nodes);
        const std::lock_guard<std::mutex> hold (lock);
        indexUnsaved = shown.getNumChildren() > 0;

        for (const auto& node : nodes)
            if (const auto* archive = SourceTree::getArchive (node))
                unsaved.insert (archive->getUuid().toString());
    }

    void recordMovedAside()
    {
        const std::lock_guard<std::mutex> hold (lock);
        deletedListed = true;
    }

    void keepDeletedFolder()
    {
        const std::lock_guard<std::mutex> hold (lock);
        keepDeleted = true;
    }

    bool mayDeleteAside()
    {
        const std::lock_guard<std::mutex> hold (lock);
        return ! deletedListed && ! keepDeleted;
    }

    /** Whether the index and these backups (their uuids) were written by their last saves. */
    bool allWritten (const std::set<juce::String>& backups)
    {
        const std::lock_guard<std::mutex> hold (lock);
        return ! indexUnsaved && std::none_of (backups.begin(), backups.end(), [this] (const auto& b) { return unsaved.count (b) > 0; });
    }

    int lastError()
    {
        const std::lock_guard<std::mutex> hold (lock);
        return error;
    }

    // On the thread that wrote, under the lock.
    void noteError (bool written)
    {
        if (! written)
            error = SafeSave::lastError();
    }

    void markModified()
    {
        juce::Array<juce::WeakReference<DeviceDataArchive>> taken;

        {
            const std::lock_guard<std::mutex> hold (lock);
            std::swap (taken, archives);
        }

        for (auto& archive : taken)
            if (auto* a = archive.get())
                a->setModified (true);
    }
};
