#include "gui/datapage/UndoablePresetAction.h"

#include "model/SourceTreeIds.h"
#include "model/SourceTree.h"

UndoablePresetAction::UndoablePresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& slotsToChange)
    : owner (pageToUse), item (node), slots (slotsToChange)
{
}

UndoablePresetAction::~UndoablePresetAction() = default;

bool UndoablePresetAction::takeSnapshot()
{
    const auto* data = SourceTree::getDeviceData (item);

    if (data == nullptr)
        return false;

    snapshot = data->createCopy (slots, false, false);
    return snapshot != nullptr;
}

bool UndoablePresetAction::undo()
{
    if (snapshot == nullptr)
        return false;

    auto* data = SourceTree::getDeviceData (item);

    if (data == nullptr)
        return true;   // the source has gone (a closed unit, a deleted backup): nothing left to restore

    data->deletePresets (slots);
    data->copyPresetsFrom (*snapshot);
    SourceTree::refreshNode (item, slots);
    owner.notifyPresetDataChanged (item, slots);
    return true;
}

bool UndoablePresetAction::snapshotAndRun (const std::function<void()>& edit)
{
    if (! takeSnapshot())
        return false;

    edit();
    return true;
}

//==============================================================================
bool DeletePresetAction::perform()
{
    return snapshotAndRun ([this] { owner.deletePresets (item, slots, false, false); });
}

//==============================================================================
CopyPresetAction::CopyPresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& targetSlots,
                                    const juce::ValueTree& sourceNode, const juce::Array<int>& sourceSlotsToCopy)
    : UndoablePresetAction (pageToUse, node, targetSlots), source (sourceNode), sourceSlots (sourceSlotsToCopy)
{
}

bool CopyPresetAction::perform()
{
    return snapshotAndRun ([this] { owner.copyPresets (item, slots, source, sourceSlots, false, false); });
}

//==============================================================================
PastePresetAction::PastePresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& targetSlots,
                                      const DeviceData& clipboardData)
    : UndoablePresetAction (pageToUse, node, targetSlots), clipboard (clipboardData.clone (false))
{
}

bool PastePresetAction::perform()
{
    return clipboard != nullptr && snapshotAndRun ([this] { owner.pastePresets (item, slots, *clipboard, false, false); });
}

//==============================================================================
InsertPresetAction::InsertPresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& touched,
                                        int target, const DeviceData& sourceData, const juce::Array<int>& sourceSlotsToInsert)
    : UndoablePresetAction (pageToUse, node, touched),
      targetSlot (target),
      source (sourceData.createCopy (sourceSlotsToInsert, false, false)),
      sourceSlots (sourceSlotsToInsert)
{
}

bool InsertPresetAction::perform()
{
    return source != nullptr && snapshotAndRun ([this] { owner.insertPresets (item, targetSlot, *source, sourceSlots, false, false); });
}

//==============================================================================
SwapPresetAction::SwapPresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, int first, int second)
    : UndoablePresetAction (pageToUse, node, { first, second }), a (first), b (second)
{
}

bool SwapPresetAction::perform()
{
    return snapshotAndRun ([this] { owner.swapPresets (item, a, b, false, false); });
}

//==============================================================================
AddPresetStepAction::AddPresetStepAction (DataPageEdits& pageToUse, const juce::ValueTree& node, int target,
                                          const juce::Array<int>& sourceSlotsToAdd)
    : UndoablePresetAction (pageToUse, node, { target }), targetSlot (target), sourceSlots (sourceSlotsToAdd)
{
}

bool AddPresetStepAction::perform()
{
    return snapshotAndRun ([this] { owner.addPresetSteps (item, targetSlot, sourceSlots, false, false); });
}

//==============================================================================
InsertPresetStepAction::InsertPresetStepAction (DataPageEdits& pageToUse, const juce::ValueTree& node, int presetSlot, int stepPosition,
                                                const Preset& source, const juce::SparseSet<int>& stepsToInsert)
    : UndoablePresetAction (pageToUse, node, { presetSlot }),
      slot (presetSlot), position (stepPosition), stepSource (source), steps (stepsToInsert)
{
}

bool InsertPresetStepAction::perform()
{
    return snapshotAndRun ([this] { owner.insertPresetStep (item, slot, position, stepSource, steps, false, false); });
}

//==============================================================================
RenamePresetAction::RenamePresetAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& slotsToRename,
                                        const juce::String& newName)
    : UndoablePresetAction (pageToUse, node, slotsToRename), name (newName)
{
}

bool RenamePresetAction::perform()
{
    return snapshotAndRun ([this] { owner.renamePresets (item, slots, name, false, false); });
}

//==============================================================================
SetPresetTagAction::SetPresetTagAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const juce::Array<int>& slotsToTag,
                                        int tagBit, bool newState)
    : UndoablePresetAction (pageToUse, node, slotsToTag), tag (tagBit), state (newState)
{
}

bool SetPresetTagAction::perform()
{
    return snapshotAndRun ([this] { owner.setPresetTag (item, slots, tag, state, false, false); });
}

//==============================================================================
bool DefragDataAction::perform()
{
    return snapshotAndRun ([this] { owner.defragData (item, false, false); });
}

//==============================================================================
MergeDataAction::MergeDataAction (DataPageEdits& pageToUse, const juce::ValueTree& node, const DeviceData& source)
    : UndoablePresetAction (pageToUse, node, source.getUsedPresetIndices()), merged (source.clone (false))
{
}

bool MergeDataAction::perform()
{
    if (merged == nullptr)
        return false;

    replacedSetup.reset();

    if (const auto* data = SourceTree::getDeviceData (item); data != nullptr && merged->getSetup().isComplete())
        replacedSetup = data->getSetup();

    return snapshotAndRun ([this] { owner.mergeData (item, *merged, false, false); });
}

bool MergeDataAction::undo()
{
    if (replacedSetup.has_value())
        if (auto* data = SourceTree::getDeviceData (item))
            data->getSetup() = *replacedSetup;

    return UndoablePresetAction::undo();
}

//==============================================================================
SetArchiveItemTitleAction::SetArchiveItemTitleAction (DataPageEdits& pageToUse, const juce::ValueTree& node,
                                                      const juce::String& previous, const juce::String& next)
    : owner (pageToUse), item (node), oldTitle (previous), newTitle (next)
{
}

bool SetArchiveItemTitleAction::perform()
{
    oldTitle = item.getProperty (SourceTreeIds::label).toString();
    owner.setArchiveItemTitle (item, newTitle, false, false);
    return true;
}

bool SetArchiveItemTitleAction::undo()
{
    owner.setArchiveItemTitle (item, oldTitle, false, false);
    return true;
}
