#include "archive/LocalArchiveManager.h"
#include "archive/LocalArchiveManagerParts.h"

#include "archive/ArchiveFiles.h"
#include "model/SafeSave.h"

// The saves of the backups and their index, written in the background.

namespace
{
    /** Takes the entry of an archive file out of an index document. */
    void forgetEntry (juce::XmlElement& element, const juce::File& entry)
    {
        for (auto* child = element.getFirstChildElement(); child != nullptr;)
        {
            auto* next = child->getNextElement();

            if (child->hasTagName ("archive"))
            {
                if (child->getAllSubText() == entry.getFullPathName())
                    element.removeChildElement (child, true);
            }
            else
            {
                forgetEntry (*child, entry);
            }

            child = next;
        }
    }
}

//==============================================================================
void LocalArchiveManager::storeShownBackups()
{
    const platform::ScopedLock hold (lock);
    const auto shown = getTree();

    if (index == nullptr || shown.getNumChildren() == 0)
        return;

    auto* set = findSetLocked (caps.presetVersion, caps.setupVersion);

    if (set == nullptr)
        set = createSetLocked (caps.presetVersion, caps.setupVersion);

    auto* group = set->getChildByName ("group");

    if (group == nullptr)
        group = set->createNewChildElement ("group");

    std::vector<PendingSave> pending;
    storeGroup (*group, shown, &pending);
    handOverLocked (std::move (pending));
}

bool LocalArchiveManager::saveBackupIndexInBackground()
{
    if (conversionBusy())
        return true;

    followRemovedBackups();

    // Those whose write has failed already go again with this one.
    failedSaves->markModified();

    const platform::ScopedLock hold (lock);
    const auto file = getIndexFile();

    if (index == nullptr && ! reopenIndexLocked())
    {
        failedSaves->recordNothingWritten (getTree());

        juce::MessageManager::callAsync ([failed = failedSaves]
        {
            if (failed->listener != nullptr)
                failed->listener();
        });
        return false;
    }

    if (! treeBuilt || file == juce::File())
        return true;

    std::vector<PendingSave> pending;
    replaceSetLocked (&pending);
    handOverLocked (std::move (pending));
    return true;
}

void LocalArchiveManager::handOverLocked (std::vector<PendingSave> saves)
{
    auto pending = std::make_shared<std::vector<PendingSave>> (std::move (saves));
    auto document = std::make_shared<juce::XmlElement> (*index);

    writes.post ([pending, document, file = getIndexFile(), failed = failedSaves]
    {
        // The backups first: the index names only files that are whole.
        for (auto& save : *pending)
        {
            const bool written = save.snapshot->save (save.entry);
            failed->record (save.snapshot->getUuid(), written);

            if (written)
                continue;

            {
                const std::lock_guard<std::mutex> guard (failed->lock);
                failed->archives.add (save.original);
            }

            if (! save.entry.existsAsFile())
                forgetEntry (*document, save.entry);
        }

        failed->recordIndex (ArchiveFiles::writeDocument (*document, file));

        juce::MessageManager::callAsync ([failed]
        {
            failed->markModified();

            if (failed->listener != nullptr)
                failed->listener();
        });
    });
}

LocalArchiveManager::Unsaved LocalArchiveManager::getUnsaved() const
{
    Unsaved result;
    juce::Array<juce::ValueTree> nodes;
    SourceTree::collectNodes (getTree(), nodes);
    SourceTree::collectNodes (treeBeforeConversion, nodes);

    const std::lock_guard<std::mutex> hold (failedSaves->lock);
    result.index = failedSaves->indexUnsaved;
    result.error = failedSaves->error;

    // Only what the tree still holds: a deleted backup needs no writing.
    for (const auto& node : nodes)
        if (const auto* archive = SourceTree::getArchive (node))
            if (failedSaves->unsaved.count (archive->getUuid().toString()) > 0)
                result.backups.add (archive->getTitle());

    return result;
}

void LocalArchiveManager::setSaveListener (std::function<void()> listener)
{
    failedSaves->listener = std::move (listener);
}

bool LocalArchiveManager::replaceSetLocked (std::vector<PendingSave>* deferred)
{
    if (auto* old = findSetLocked (caps.presetVersion, caps.setupVersion))
        index->removeChildElement (old, true);

    auto* set = createSetLocked (caps.presetVersion, caps.setupVersion);
    return storeGroup (*set->getChildByName ("group"), getTree(), deferred);
}

bool LocalArchiveManager::storeGroup (juce::XmlElement& group, const juce::ValueTree& node, std::vector<PendingSave>* deferred)
{
    bool ok = true;

    for (const auto& child : node)
    {
        if (child.hasType (SourceTreeIds::group))
        {
            auto* element = group.createNewChildElement ("group");
            element->setAttribute ("name", child.getProperty (SourceTreeIds::label).toString());
            ok = storeGroup (*element, child, deferred) && ok;
            continue;
        }

        auto* set = child.hasType (SourceTreeIds::node) ? SourceTree::getDataSet (child) : nullptr;
        auto* archive = set != nullptr ? set->getArchive() : nullptr;

        if (archive == nullptr)
            continue;

        if (archive->isModified())
            keepInsideDataFolder (*archive);

        if (archive->getLinkData().isEmpty())
        {
            const auto base = nextArchiveFileLocked();

            if (base.isEmpty())
            {
                ok = false;
                continue;
            }

            archive->setLinkData (base + ".mwd");
        }

        const auto dataFile = archive->getDataFile();

        if (dataFile == juce::File())
        {
            ok = false;
            continue;
        }

        const auto entry = dataFile.withFileExtension ("xml");

        if (set->isModified() && set->hasWorkingData())
            archive->replaceDeviceData (*set->getWorkingData());

        if (archive->isModified() && deferred != nullptr)
        {
            // Taken as written: a failed write marks it modified again.
            deferred->push_back ({ archive->createSnapshot(), entry, archive });
            archive->setModified (false);

            if (set->hasWorkingData())
                set->getWorkingData()->clearModified (false);
        }
        else if (archive->isModified())
        {
            const bool written = archive->save (entry);
            failedSaves->record (archive->getUuid(), written);

            // What the backup holds is what the copy shows now.
            if (written && set->hasWorkingData())
                set->getWorkingData()->clearModified (false);

            if (! written)
            {
                ok = false;

                // Never written: the index names it once its files are there.
                if (! entry.existsAsFile())
                    continue;
            }
        }

        group.createNewChildElement ("archive")->addTextElement (entry.getFullPathName());
    }

    return ok;
}

bool LocalArchiveManager::writeIndexLocked()
{
    const auto file = getIndexFile();
    return index != nullptr && file != juce::File() && ArchiveFiles::writeDocument (*index, file);
}

void LocalArchiveManager::keepInsideDataFolder (DeviceDataArchive& archive)
{
    const auto dataFile = archive.getDataFile();

    if (dataFile == juce::File() || isInsideDataFolder (dataFile))
        return;

    // Files of another home are never written: a changed backup from there
    // gets files of its own here; one without data stays as it is there.
    if (archive.getDeviceData() != nullptr)
        archive.setLinkData ({});
    else
        archive.setModified (false);
}
