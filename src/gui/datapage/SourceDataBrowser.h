#pragma once

#include "gui/datapage/DataSetTreeView.h"
#include "gui/widgets/ListFocusRing.h"
#include "gui/datapage/SourceBrowserListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class DataPage;
class DeviceData;
class SourceTreeItem;

/** The "Browser" panel of the data page: a header, the source tree in a tree
    view, an inline editor that renames backups and groups, the tree's menu and
    the operations on backups and groups (backup, group, duplicate, delete)
    that the toolbar and the group view call too. Tells its listeners (the
    data page) when the selection changed. */
class SourceDataBrowser : public juce::Component,
                          private juce::TextEditor::Listener,
                          public juce::DragAndDropTarget
{
public:
    SourceDataBrowser();
    ~SourceDataBrowser() override;

    /** Shows the tree of the page (none with a null page). */
    void setSourceTree (DataPage* page, juce::ValueTree root);

    DataPage* getDataPage() const noexcept                 { return dataPage; }
    DataSetTreeView& getTreeView() noexcept                { return treeView; }
    SourceTreeItem* getRootItem() const noexcept           { return rootItem.get(); }
    juce::TextEditor& getRenameEditor() noexcept           { return renameEditor; }
    const juce::ValueTree& getRenameTarget() const noexcept   { return renameTarget; }

    /** The connected unit's product picture, shown by the unit's rows. */
    void setUnitPicture (const juce::Image& picture);
    const juce::Image& getUnitPicture() const noexcept     { return unitPicture; }

    void addListener (SourceBrowserListener* listener);
    void removeListener (SourceBrowserListener* listener);
    void notifySelectionChanged();

    /** The row of tree at or below item, opening rows on the way; null when there is none. */
    SourceTreeItem* findItemFor (SourceTreeItem* item, const juce::ValueTree& tree);

    /** Selects the row of tree alone; whether it was selected already. */
    bool selectItemFor (const juce::ValueTree& tree);

    /** The nodes of the selected rows. */
    juce::Array<juce::ValueTree> getSelectedTrees() const  { return collectSelectedTrees (treeView); }

    /** The inline editor over the row of node; Return or a click elsewhere renames it, Escape not. */
    void showRenameEditor (const juce::ValueTree& node, bool selectAll);

    /** Takes the title typed so far in an open rename editor and closes it. */
    void commitRename();

    /** "New Group", then "New Group 1", "New Group 2" ... */
    juce::String nextGroupName();

    //==============================================================================
    // What the tree offers: its menu, the drop menu of presets, backups and groups.

    /** The menu of a right click on the tree, opened on the button's release. */
    void showTreeMenu (const juce::MouseEvent& e);

    /** The menu of the selected rows by keys, beside the first of them; false when the tree has not the focus or the menu offers nothing. */
    bool showTreeMenuByKeys();

    /** The rename the menu offers for the selection, started by keys; false when it offers none. */
    bool renameByKeys();

    /** The tree menu for the selection as it is now; empty when it offers nothing. */
    juce::PopupMenu createTreeMenu();
    void performTreeMenuItem (int itemId);

    /** The menu shown when presets of source are dropped on target; it acts once closed. */
    void showPresetDropMenu (const juce::ValueTree& target, const juce::ValueTree& source,
                             const juce::Array<int>& indices, bool wholeDataSet, bool fromArchive);
    juce::PopupMenu createPresetDropMenu (const juce::ValueTree& target, const juce::ValueTree& source,
                                          const juce::Array<int>& indices, bool wholeDataSet, bool fromArchive);
    juce::PopupMenu createPresetDropMenu (const DeviceData& targetData, const DeviceData& sourceData, const juce::Array<int>& indices,
                                          bool sameSet, bool wholeDataSet, bool fromArchive);
    void performPresetDropItem (int itemId, const juce::ValueTree& target, const juce::ValueTree& source,
                                const juce::Array<int>& indices);

    /** "Copy ... To Workspace": the drop menu's choice of slots for these presets, beside the row. */
    void askWhereToCopy (const DeviceData& merged);

    void backupDeviceData (bool all, bool selected, bool user);
    void createEmptyGroup();
    void createGroupFromSelected();
    void duplicateSelected();
    void deleteSelected();
    void deleteArchiveEntry (const juce::ValueTree& node);

    /** A full copy of the first selected data with the presets of every further selected one; null when none has data. */
    std::unique_ptr<DeviceData> mergeSelectedDeviceData();

    /** Copies trees into target at insertIndex, each copy one undo transaction. */
    void copyNodesInto (int insertIndex, juce::UndoManager& undoManager, const juce::Array<juce::ValueTree>& trees, juce::ValueTree target);

    /** Moves trees into target at insertIndex through the undo manager. */
    void moveNodesInto (int insertIndex, juce::UndoManager& undoManager, const juce::Array<juce::ValueTree>& trees, juce::ValueTree target);

    /** Takes the trees out of the tree through the undo manager. Their backups'
        files go only once no undo can bring the entries back (the page sees to it). */
    void deleteNodes (const juce::Array<juce::ValueTree>& trees, juce::UndoManager& undoManager);

    static juce::Array<juce::ValueTree> collectSelectedTrees (const juce::TreeView& view);

    juce::ValueTree getRootNode() const;
    juce::ValueTree getDeviceNode() const;
    juce::ValueTree getBackupsNode() const;
    juce::ValueTree getUploadFolder() const;

    //==============================================================================
    void mouseUp (const juce::MouseEvent& e) override;
    bool keyPressed (const juce::KeyPress& key) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    bool isInterestedInDragSource (const SourceDetails&) override    { return false; }
    void itemDropped (const SourceDetails&) override                 {}

    int getHeaderHeight() const noexcept                   { return headerHeight; }

private:
    void textEditorReturnKeyPressed (juce::TextEditor&) override     { commitRename(); }
    void textEditorFocusLost (juce::TextEditor&) override            { commitRename(); }
    void textEditorEscapeKeyPressed (juce::TextEditor&) override;
    void placeRenameEditor();
    bool showTreeMenu (const juce::PopupMenu::Options& where);

    juce::ValueTree makeGroupNextTo (const juce::ValueTree& reference);
    juce::ValueTree firstSelectedInside (const juce::ValueTree& container) const;
    juce::String getSourceName() const;
    bool isInside (const juce::ValueTree& node, const juce::ValueTree& container) const;

    DataPage* dataPage = nullptr;
    int headerHeight = 20;
    DataSetTreeView treeView;
    ListFocusRing treeRing { treeView };
    std::unique_ptr<SourceTreeItem> rootItem;
    juce::TextEditor renameEditor;
    juce::ValueTree renameTarget;
    int groupCounter = 0;
    juce::Array<SourceBrowserListener*> listeners;
    juce::Image unitPicture;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SourceDataBrowser)
};
