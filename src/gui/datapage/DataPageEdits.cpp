// The data page's edit operations. Each has two paths: undoable hands the
// matching action to the page's undo manager, whose perform comes back here
// with both flags false; direct changes the node's working copy and tells the
// page's listeners.

#include "gui/datapage/DataPageEdits.h"

#include "model/SourceTreeIds.h"
#include "gui/datapage/UndoablePresetAction.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"

void DataPageEdits::record (bool newTransaction, juce::UndoableAction* action)
{
    if (newTransaction)
        getUndoManager().beginNewTransaction();

    getUndoManager().perform (action);
}

void DataPageEdits::deletePresets (const juce::ValueTree& source, const juce::Array<int>& indices, bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new DeletePresetAction (*this, source, indices));

    if (auto* data = SourceTree::getDeviceData (source))
    {
        data->deletePresets (indices);
        notifyPresetDataChanged (source, indices);
    }
}

void DataPageEdits::copyPresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices,
                            const juce::ValueTree& source, const juce::Array<int>& sourceIndices,
                            bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new CopyPresetAction (*this, target, targetIndices, source, sourceIndices));

    auto* t = SourceTree::getDeviceData (target);
    const DeviceData* s = SourceTree::getDeviceData (source);

    if (t == nullptr || s == nullptr)
        return;

    // Copies within one data set read the presets as they were before the call.
    std::unique_ptr<DeviceData> before;

    if (s == t)
    {
        before = t->createCopy (sourceIndices, false, false);
        s = before.get();
    }

    // Only as many as there are sources: the hidden slot 0 never fills the rest.
    const auto count = juce::jmin (targetIndices.size(), sourceIndices.size());

    for (int i = 0; i < count; ++i)
        t->copyPresetTo (targetIndices[i], sourceIndices[i], *s);

    notifyPresetDataChanged (target, targetIndices);
}

void DataPageEdits::pastePresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices,
                             const DeviceData& clipboard, bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new PastePresetAction (*this, target, targetIndices, clipboard));

    auto* t = SourceTree::getDeviceData (target);
    const auto used = clipboard.getUsedPresetIndices();

    if (t == nullptr || used.isEmpty())
        return;

    // A short clipboard repeats.
    for (int i = 0; i < targetIndices.size(); ++i)
        t->copyPresetTo (targetIndices[i], used[i % used.size()], clipboard);

    notifyPresetDataChanged (target, targetIndices);
}

void DataPageEdits::insertPresets (const juce::ValueTree& target, int position, const DeviceData& source,
                              const juce::Array<int>& sourceIndices, bool undoable, bool newTransaction)
{
    auto* t = SourceTree::getDeviceData (target);

    if (t == nullptr || sourceIndices.isEmpty())
        return;

    const auto affected = t->getInsertIndices (position, sourceIndices.size());

    if (undoable)
        return record (newTransaction, new InsertPresetAction (*this, target, affected, position, source, sourceIndices));

    t->insertPresets (position, sourceIndices, source);
    notifyPresetDataChanged (target, affected);
}

void DataPageEdits::swapPresets (const juce::ValueTree& source, int a, int b, bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new SwapPresetAction (*this, source, a, b));

    if (auto* data = SourceTree::getDeviceData (source))
    {
        data->swapPresets (a, b, *data);
        notifyPresetDataChanged (source, { a, b });
    }
}

void DataPageEdits::addPresetSteps (const juce::ValueTree& source, int targetSlot, const juce::Array<int>& sourceIndices,
                               bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new AddPresetStepAction (*this, source, targetSlot, sourceIndices));

    auto* data = SourceTree::getDeviceData (source);

    if (data == nullptr)
        return;

    for (auto s : sourceIndices)
    {
        if (! data->isPresetSlotUsed (targetSlot))
        {
            data->copyPresetTo (targetSlot, s, *data);
        }
        else
        {
            data->appendPresetSteps (targetSlot, s, *data);
            data->setModified (true);
        }
    }

    notifyPresetDataChanged (source, targetSlot);
}

void DataPageEdits::insertPresetStep (const juce::ValueTree& source, int slot, int position, const Preset& stepSource,
                                 const juce::SparseSet<int>& steps, bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new InsertPresetStepAction (*this, source, slot, position, stepSource, steps));

    auto* data = SourceTree::getDeviceData (source);
    auto* preset = data != nullptr ? data->getPreset (slot) : nullptr;

    if (preset == nullptr)
        return;

    data->setModified (true);
    preset->insertSteps (stepSource, position, steps);
    notifyPresetDataChanged (source, slot);
}

void DataPageEdits::renamePresets (const juce::ValueTree& source, const juce::Array<int>& indices, const juce::String& name,
                              bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new RenamePresetAction (*this, source, indices, name));

    auto* data = SourceTree::getDeviceData (source);

    if (data == nullptr)
        return;

    for (auto index : indices)
        if (auto* preset = data->getPreset (index))
        {
            data->setModified (true);
            preset->setName (name);
        }

    notifyPresetDataChanged (source, indices);
}

void DataPageEdits::setPresetTag (const juce::ValueTree& source, const juce::Array<int>& indices, int tag, bool set,
                             bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new SetPresetTagAction (*this, source, indices, tag, set));

    auto* data = SourceTree::getDeviceData (source);

    if (data == nullptr)
        return;

    const auto bit = (int32_t) (1u << (((tag % 32) + 32) % 32));

    for (auto index : indices)
        if (auto* preset = data->getPreset (index))
        {
            auto header = preset->getNameBlock();
            header.tags = set ? (header.tags | bit) : (header.tags & ~bit);
            preset->setNameBytes (header);
            preset->setModified (true);
        }

    notifyPresetDataChanged (source, indices);
}

void DataPageEdits::defragData (const juce::ValueTree& source, bool undoable, bool newTransaction)
{
    auto* data = SourceTree::getDeviceData (source);

    if (data == nullptr)
        return;

    juce::Array<int> indices;

    for (int i = 1; i < data->getNumSlots(); ++i)
        indices.add (i);

    if (undoable)
        return record (newTransaction, new DefragDataAction (*this, source, indices));

    data->defragment (data->getNumSlots() - 1);
    notifyPresetDataChanged (source, indices);
}

void DataPageEdits::mergeData (const juce::ValueTree& target, const DeviceData& source, bool undoable, bool newTransaction)
{
    if (undoable)
        return record (newTransaction, new MergeDataAction (*this, target, source));

    if (auto* data = SourceTree::getDeviceData (target))
    {
        data->copyPresetsFrom (source);
        notifyPresetDataChanged (target, source.getUsedPresetIndices());
    }
}

void DataPageEdits::setArchiveItemTitle (const juce::ValueTree& item, const juce::String& title, bool undoable, bool newTransaction)
{
    const auto current = item[SourceTreeIds::label].toString();

    if (current == title)
        return;

    if (undoable)
        return record (newTransaction, new SetArchiveItemTitleAction (*this, item, current, title));

    if (auto* backup = SourceTree::getArchive (item))
        backup->setTitle (title);

    juce::ValueTree (item).setProperty (SourceTreeIds::label, title, nullptr);
    notifyArchiveChanged (item);
}
