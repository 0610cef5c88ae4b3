#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class ArchiveChangeListener;
class DeviceData;
class Preset;
class PresetDataChangeListener;


/** The edit operations of the data page, and what the panels, their
    containers and the undoable actions ask of it: its one undo manager and
    the few browser and panel services they reach. Each edit takes `undoable`
    and `newTransaction`: undoable hands an action to the undo manager (in a
    new transaction when asked), whose perform calls the same edit again with
    both false, which changes the node's working copy and tells the page's
    listeners. A source without data makes an edit do nothing. */
class DataPageEdits
{
public:
    virtual ~DataPageEdits() = default;

    virtual juce::UndoManager& getUndoManager() = 0;

    void deletePresets (const juce::ValueTree& source, const juce::Array<int>& indices,
                        bool undoable, bool newTransaction);
    void copyPresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices,
                      const juce::ValueTree& source, const juce::Array<int>& sourceIndices,
                      bool undoable, bool newTransaction);
    void pastePresets (const juce::ValueTree& target, const juce::Array<int>& targetIndices,
                       const DeviceData& clipboard, bool undoable, bool newTransaction);
    void insertPresets (const juce::ValueTree& target, int position, const DeviceData& source,
                        const juce::Array<int>& sourceIndices, bool undoable, bool newTransaction);
    void swapPresets (const juce::ValueTree& source, int a, int b, bool undoable, bool newTransaction);
    void addPresetSteps (const juce::ValueTree& source, int targetSlot, const juce::Array<int>& sourceIndices,
                         bool undoable, bool newTransaction);
    void insertPresetStep (const juce::ValueTree& source, int slot, int position, const Preset& stepSource,
                           const juce::SparseSet<int>& steps, bool undoable, bool newTransaction);
    void renamePresets (const juce::ValueTree& source, const juce::Array<int>& indices, const juce::String& name,
                        bool undoable, bool newTransaction);
    void setPresetTag (const juce::ValueTree& source, const juce::Array<int>& indices, int tag, bool set,
                       bool undoable, bool newTransaction);
    void defragData (const juce::ValueTree& source, bool undoable, bool newTransaction);
    void mergeData (const juce::ValueTree& target, const DeviceData& source, bool undoable, bool newTransaction);
    void setArchiveItemTitle (const juce::ValueTree& item, const juce::String& title,
                              bool undoable, bool newTransaction);

    virtual void undo() = 0;
    virtual void redo() = 0;

    virtual void notifyPresetDataChanged (const juce::ValueTree& source, const juce::Array<int>& indices) = 0;
    virtual void notifyArchiveChanged (const juce::ValueTree& item) = 0;

    /** The page's listener lists, which a panel joins its shown container to, and the page itself,
        whose key listeners the shown workspace container joins. */
    virtual void addPresetDataChangeListener (PresetDataChangeListener* listener) = 0;
    virtual void removePresetDataChangeListener (PresetDataChangeListener* listener) = 0;
    virtual void addArchiveChangeListener (ArchiveChangeListener* listener) = 0;
    virtual void removeArchiveChangeListener (ArchiveChangeListener* listener) = 0;
    virtual juce::Component* getPageComponent()         { return dynamic_cast<juce::Component*> (this); }

    /** The browser selects the node's row (a tile double-clicked in a group view); false when it has none. */
    virtual bool selectItemFor (const juce::ValueTree& node) = 0;

    /** The browser deletes the node, undoably, the way its own Delete does. */
    virtual void deleteSourceNode (const juce::ValueTree& node) = 0;

    /** When the component is the browser's tree view: the node of its first selected row; else invalid. */
    virtual juce::ValueTree getDraggedTreeNode (juce::Component* sourceComponent) = 0;

    /** The preset details, when the details panel shows them, put the focus in their name editor. */
    virtual void editPresetName() = 0;

private:
    void record (bool newTransaction, juce::UndoableAction* action);
};
