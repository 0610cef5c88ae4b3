#pragma once

#include "gui/datapage/DataPageEdits.h"
#include "model/DeviceData.h"

#include <functional>
#include <memory>
#include <optional>

/** One undoable edit of the presets of a source-tree node. perform copies the
    presets at `slots` (the snapshot), then runs the data page's edit directly;
    undo empties those slots and puts the copies back. So no edit needs an
    inverse of its own, and a redo (a new perform) snapshots afresh. */
class UndoablePresetAction : public juce::UndoableAction
{
public:
    UndoablePresetAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& slots);
    ~UndoablePresetAction() override;

    bool perform() override = 0;
    bool undo() override;
    int getSizeInUnits() override                  { return 40; }

    const juce::Array<int>& getSlots() const noexcept   { return slots; }

protected:
    /** Copies the presets at the slots; false (and nothing may change) when the node has no data. */
    bool takeSnapshot();

    /** The snapshot, then the edit; false (nothing done) without data. */
    bool snapshotAndRun (const std::function<void()>& edit);

    DataPageEdits& owner;
    juce::ValueTree item;
    juce::Array<int> slots;
    std::unique_ptr<DeviceData> snapshot;

private:
    JUCE_DECLARE_NON_COPYABLE (UndoablePresetAction)
};

class DeletePresetAction : public UndoablePresetAction
{
public:
    using UndoablePresetAction::UndoablePresetAction;
    bool perform() override;
};

class CopyPresetAction : public UndoablePresetAction
{
public:
    CopyPresetAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& targetSlots,
                      const juce::ValueTree& source, const juce::Array<int>& sourceSlots);
    bool perform() override;

private:
    juce::ValueTree source;
    juce::Array<int> sourceSlots;
};

class PastePresetAction : public UndoablePresetAction
{
public:
    /** Keeps a full copy of the clipboard, so a later copy or cut does not change what a redo pastes. */
    PastePresetAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& targetSlots,
                       const DeviceData& clipboard);
    bool perform() override;

private:
    std::unique_ptr<DeviceData> clipboard;
};

class InsertPresetAction : public UndoablePresetAction
{
public:
    /** `slots` are those the insert touches (DeviceData::getInsertIndices); keeps a copy of the source presets. */
    InsertPresetAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& slots,
                        int targetSlot, const DeviceData& source, const juce::Array<int>& sourceSlots);
    bool perform() override;

private:
    int targetSlot;
    std::unique_ptr<DeviceData> source;
    juce::Array<int> sourceSlots;
};

class SwapPresetAction : public UndoablePresetAction
{
public:
    SwapPresetAction (DataPageEdits& owner, const juce::ValueTree& item, int a, int b);
    bool perform() override;

private:
    int a, b;
};

class AddPresetStepAction : public UndoablePresetAction
{
public:
    AddPresetStepAction (DataPageEdits& owner, const juce::ValueTree& item, int targetSlot, const juce::Array<int>& sourceSlots);
    bool perform() override;

private:
    int targetSlot;
    juce::Array<int> sourceSlots;
};

class InsertPresetStepAction : public UndoablePresetAction
{
public:
    InsertPresetStepAction (DataPageEdits& owner, const juce::ValueTree& item, int slot, int position,
                            const Preset& stepSource, const juce::SparseSet<int>& steps);
    bool perform() override;

private:
    int slot, position;
    Preset stepSource;
    juce::SparseSet<int> steps;
};

class RenamePresetAction : public UndoablePresetAction
{
public:
    RenamePresetAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& slots, const juce::String& name);
    bool perform() override;

private:
    juce::String name;
};

class SetPresetTagAction : public UndoablePresetAction
{
public:
    SetPresetTagAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::Array<int>& slots, int tag, bool state);
    bool perform() override;

private:
    int tag;
    bool state;
};

class DefragDataAction : public UndoablePresetAction
{
public:
    using UndoablePresetAction::UndoablePresetAction;
    bool perform() override;
};

class MergeDataAction : public UndoablePresetAction
{
public:
    /** The slots are the source's used ones; keeps a full copy of the source. */
    MergeDataAction (DataPageEdits& owner, const juce::ValueTree& item, const DeviceData& source);
    bool perform() override;

    /** A merge also takes the source's complete setup: undo puts the former one back. */
    bool undo() override;

private:
    std::unique_ptr<DeviceData> merged;
    std::optional<SetupData> replacedSetup;
};

/** Renaming a backup item: remembers the title it replaces. */
class SetArchiveItemTitleAction : public juce::UndoableAction
{
public:
    SetArchiveItemTitleAction (DataPageEdits& owner, const juce::ValueTree& item, const juce::String& oldTitle,
                               const juce::String& newTitle);

    bool perform() override;
    bool undo() override;
    int getSizeInUnits() override                  { return 32; }

private:
    DataPageEdits& owner;
    juce::ValueTree item;
    juce::String oldTitle, newTitle;
};
