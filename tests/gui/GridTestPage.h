#pragma once

// A stand-in data page for the grid, panel and action tests: the page's own
// edit operations on its one undo manager, its listener lists, and a record
// of the browser and panel services asked for.

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

        void undo() override   { undoManager.undo(); }
        void redo() override   { undoManager.redo(); }

        void notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices) override
        {
            ++notifications;

            for (int i = presetListeners.size(); --i >= 0;)
                presetListeners.getUnchecked (i)->presetDataChanged (source, indices);
        }

        void notifyArchiveChanged (const juce::ValueTree& item) override
        {
            for (int i = archiveListeners.size(); --i >= 0;)
                archiveListeners.getUnchecked (i)->archiveItemChanged (item, SourceTreeIds::label);
        }

        bool selectItemFor (const juce::ValueTree& node) override      { selectedItems.add (node); return true; }
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
