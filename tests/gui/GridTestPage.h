#pragma once

// A stand-in data page for the grid, panel and action tests: the edit
// operations as the page performs them (direct paths on the node's working
// copy, undoable paths through the one undo manager), and a record of the
// browser and panel services asked for.

#include "devices/SimulatedUnit.h"
#include "gui/datapage/DataPageEdits.h"
#include "gui/datapage/PanelContainerBase.h"
#include "gui/datapage/UndoablePresetAction.h"
#include "model/DeviceData.h"
#include "model/SourceTree.h"
#include "support/SmallCaps.h"

#include <memory>

namespace GridTests
{
    struct TestPage : DataPageEdits
    {
        juce::UndoManager undoManager;
        juce::Array<PresetDataChangeListener*> presetListeners;
        juce::Array<ArchiveChangeListener*> archiveListeners;
        juce::Array<juce::ValueTree> selectedItems, deletedNodes;
        int nameEdits = 0, notifications = 0;

        juce::UndoManager& getUndoManager() override   { return undoManager; }

        template <typename Action, typename... Args>
        void record (bool newTransaction, Args&&... args)
        {
            if (newTransaction)
                undoManager.beginNewTransaction();

            undoManager.perform (new Action (*this, std::forward<Args> (args)...));
        }

        void deletePresets (const juce::ValueTree& source, const juce::Array<int>& indices, bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<DeletePresetAction> (newTransaction, source, indices);

            if (auto* data = SourceTree::getDeviceData (source))
            {
                data->deletePresets (indices);
                notifyPresetDataChanged (source, indices);
            }
        }

        void copyPresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices,
                          const juce::ValueTree& source, const juce::Array<int>& sourceIndices, bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<CopyPresetAction> (newTransaction, target, targetIndices, source, sourceIndices);

            auto* t = SourceTree::getDeviceData (target);
            const DeviceData* s = SourceTree::getDeviceData (source);

            if (t == nullptr || s == nullptr)
                return;

            std::unique_ptr<DeviceData> before;

            if (s == t)
            {
                before = t->createCopy (sourceIndices, false, false);
                s = before.get();
            }

            // Only as many as there are sources: the hidden slot 0 never fills the rest.
            for (int i = 0; i < juce::jmin (targetIndices.size(), sourceIndices.size()); ++i)
                t->copyPresetTo (targetIndices[i], sourceIndices[i], *s);

            notifyPresetDataChanged (target, targetIndices);
        }

        void pastePresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices, const DeviceData& clipboard,
                           bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<PastePresetAction> (newTransaction, target, targetIndices, clipboard);

            auto* t = SourceTree::getDeviceData (target);
            const auto used = clipboard.getUsedPresetIndices();

            if (t == nullptr || used.isEmpty())
                return;

            for (int i = 0; i < targetIndices.size(); ++i)
                t->copyPresetTo (targetIndices[i], used[i % used.size()], clipboard);

            notifyPresetDataChanged (target, targetIndices);
        }

        void insertPresets (const juce::ValueTree& target, int position, const DeviceData& source,
                            const juce::Array<int>& sourceIndices, bool undoable, bool newTransaction) override
        {
            auto* t = SourceTree::getDeviceData (target);

            if (t == nullptr || sourceIndices.isEmpty())
                return;

            const auto touched = t->getInsertIndices (position, sourceIndices.size());

            if (undoable)
                return record<InsertPresetAction> (newTransaction, target, touched, position, source, sourceIndices);

            t->insertPresets (position, sourceIndices, source);
            notifyPresetDataChanged (target, touched);
        }

        void swapPresets (const juce::ValueTree& source, int a, int b, bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<SwapPresetAction> (newTransaction, source, a, b);

            if (auto* data = SourceTree::getDeviceData (source))
            {
                data->swapPresets (a, b, *data);
                notifyPresetDataChanged (source, { a, b });
            }
        }

        void addPresetSteps (const juce::ValueTree& source, int targetSlot, const juce::Array<int>& sourceIndices,
                             bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<AddPresetStepAction> (newTransaction, source, targetSlot, sourceIndices);

            auto* data = SourceTree::getDeviceData (source);

            if (data == nullptr)
                return;

            for (auto s : sourceIndices)
            {
                if (! data->isPresetSlotUsed (targetSlot))
                    data->copyPresetTo (targetSlot, s, *data);
                else
                    data->appendPresetSteps (targetSlot, s, *data);
            }

            notifyPresetDataChanged (source, { targetSlot });
        }

        void insertPresetStep (const juce::ValueTree& source, int slot, int position, const Preset& stepSource,
                               const juce::SparseSet<int>& steps, bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<InsertPresetStepAction> (newTransaction, source, slot, position, stepSource, steps);

            auto* data = SourceTree::getDeviceData (source);

            if (data == nullptr || ! data->isPresetSlotUsed (slot))
                return;

            data->setModified (true);
            data->getPreset (slot)->insertSteps (stepSource, position, steps);
            notifyPresetDataChanged (source, { slot });
        }

        void renamePresets (const juce::ValueTree& source, const juce::Array<int>& indices, const juce::String& name,
                            bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<RenamePresetAction> (newTransaction, source, indices, name);

            auto* data = SourceTree::getDeviceData (source);

            if (data == nullptr)
                return;

            for (auto i : indices)
            {
                if (auto* preset = data->getPreset (i))
                {
                    data->setModified (true);
                    preset->setName (name);
                }
            }

            notifyPresetDataChanged (source, indices);
        }

        void setPresetTag (const juce::ValueTree& source, const juce::Array<int>& indices, int tag, bool set,
                           bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<SetPresetTagAction> (newTransaction, source, indices, tag, set);

            auto* data = SourceTree::getDeviceData (source);

            if (data == nullptr)
                return;

            const auto bit = (int) (1u << (tag % 32));

            for (auto i : indices)
            {
                if (auto* preset = data->getPreset (i))
                {
                    auto header = preset->getNameBlock();
                    header.tags = set ? (header.tags | bit) : (header.tags & ~bit);
                    preset->setNameBytes (header);
                    preset->setModified (true);
                }
            }

            notifyPresetDataChanged (source, indices);
        }

        static juce::Array<int> userSlots (const DeviceData& data)
        {
            juce::Array<int> slots;

            for (int i = 1; i < data.getNumSlots(); ++i)
                slots.add (i);

            return slots;
        }

        void defragData (const juce::ValueTree& source, bool undoable, bool newTransaction) override
        {
            auto* data = SourceTree::getDeviceData (source);

            if (data == nullptr)
                return;

            if (undoable)
                return record<DefragDataAction> (newTransaction, source, userSlots (*data));

            data->defragment (data->getNumSlots() - 1);
            notifyPresetDataChanged (source, userSlots (*data));
        }

        void mergeData (const juce::ValueTree& target, const DeviceData& source, bool undoable, bool newTransaction) override
        {
            if (undoable)
                return record<MergeDataAction> (newTransaction, target, source);

            if (auto* data = SourceTree::getDeviceData (target))
            {
                data->copyPresetsFrom (source);
                notifyPresetDataChanged (target, source.getUsedPresetIndices());
            }
        }

        void setArchiveItemTitle (const juce::ValueTree& item, const juce::String& title, bool undoable, bool newTransaction) override
        {
            const auto current = item.getProperty (SourceTreeIds::label).toString();

            if (current == title)
                return;

            if (undoable)
                return record<SetArchiveItemTitleAction> (newTransaction, item, current, title);

            if (auto* archive = SourceTree::getArchive (item))
                archive->setTitle (title);

            juce::ValueTree (item).setProperty (SourceTreeIds::label, title, nullptr);

            for (int i = archiveListeners.size(); --i >= 0;)
                archiveListeners.getUnchecked (i)->archiveItemChanged (item, SourceTreeIds::label);
        }

        void undo() override   { undoManager.undo(); }
        void redo() override   { undoManager.redo(); }

        void notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices) override
        {
            ++notifications;

            for (int i = presetListeners.size(); --i >= 0;)
                presetListeners.getUnchecked (i)->presetDataChanged (source, indices);
        }

        void selectItemFor (const juce::ValueTree& node) override      { selectedItems.add (node); }
        void deleteSourceNode (const juce::ValueTree& node) override   { deletedNodes.add (node); }
        void editPresetName() override                                 { ++nameEdits; }

        juce::Component pageComponent;

        void addPresetDataChangeListener (PresetDataChangeListener* l) override      { if (l != nullptr) presetListeners.addIfNotAlreadyThere (l); }
        void removePresetDataChangeListener (PresetDataChangeListener* l) override   { presetListeners.removeFirstMatchingValue (l); }
        void addArchiveChangeListener (ArchiveChangeListener* l) override            { if (l != nullptr) archiveListeners.addIfNotAlreadyThere (l); }
        void removeArchiveChangeListener (ArchiveChangeListener* l) override         { archiveListeners.removeFirstMatchingValue (l); }
        juce::Component* getPageComponent() override                                 { return &pageComponent; }

        juce::Component* treeView = nullptr;   // stands for the browser's tree
        juce::ValueTree treeSelection;

        juce::ValueTree getDraggedTreeNode (juce::Component* source) override
        {
            return source != nullptr && source == treeView ? treeSelection : juce::ValueTree();
        }
    };

    /** A unit-like data set of `slots` slots with presets at the given slots, held by a "node". */
    inline juce::ValueTree makeSource (const juce::String& label, int slots, std::initializer_list<int> used,
                                       int steps = 1, CapsBlock caps = smallTestCaps())
    {
        caps.numPresets = slots;
        auto data = std::make_unique<DeviceData> ("Small", FirmwareVersion(), caps, nullptr);

        for (auto s : used)
            data->setPreset (s, SimulatedUnit::makePreset (caps, s, steps, label + " " + juce::String (s)));

        auto archive = std::make_unique<DeviceDataArchive> (*data, label, "test data");
        return SourceTree::addArchiveNode (std::move (archive));
    }

    /** A source tree with the unit's and the backups' categories. */
    inline juce::ValueTree makeRoot()   { return SourceTree::createRoot ("Unit", false); }

    /** The node placed among the backups of the root (where it may be edited). */
    inline juce::ValueTree addBackup (juce::ValueTree root, juce::ValueTree node)
    {
        SourceTree::findNode (root, SourceTreeIds::archiveCategory).appendChild (node, nullptr);
        return node;
    }

    /** The md5 of every slot ("" for an empty one): what an edit, its undo and its redo are compared by. */
    inline juce::StringArray md5s (const juce::ValueTree& node)
    {
        juce::StringArray result;

        if (const auto* data = SourceTree::getDeviceData (node))
            for (int i = 0; i < data->getNumSlots(); ++i)
                result.add (data->isPresetSlotUsed (i) ? data->getPreset (i)->getMD5String() : juce::String());

        return result;
    }
}
