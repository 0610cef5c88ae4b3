#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class SourceDataBrowser;

/** One row of the source tree view, bound to one node of the source tree:
    how tall it is, what it draws, what it may be selected with, what a drag
    out of it carries and what a drop on it does. Rows are rebuilt whenever
    their node's children change, so nothing outside keeps a pointer to one:
    it keeps the node and looks the row up again. */
class SourceTreeItem : public juce::TreeViewItem,
                       private juce::ValueTree::Listener
{
public:
    SourceTreeItem (SourceDataBrowser& browser, juce::ValueTree node, juce::UndoManager& undoManager);
    ~SourceTreeItem() override;

    const juce::ValueTree& getNode() const noexcept     { return node; }
    juce::UndoManager& getUndoManager() const noexcept  { return undoManager; }
    const juce::Font& getFont() const noexcept          { return font; }

    /** Clears and rebuilds the rows of the node's children, keeping which were open. */
    void refreshSubItems();

    /** A device row: the unit's category node or its child. */
    bool isDeviceRow() const;

    /** The device rows below this one draw the browser's unit picture as it is now. */
    void refreshDeviceIcons();

    //==============================================================================
    bool mightContainSubItems() override;
    juce::String getUniqueName() const override;
    void itemOpennessChanged (bool isNowOpen) override;
    int getItemWidth() const override                   { return -1; }
    int getItemHeight() const override;
    bool canBeSelected() const override;
    std::unique_ptr<juce::Component> createItemComponent() override   { return nullptr; }
    void paintItem (juce::Graphics& g, int width, int height) override;

    /** The node's label, marked when its backup's data file is damaged. */
    juce::String getShownLabel() const;
    void itemDoubleClicked (const juce::MouseEvent& e) override;
    void itemSelectionChanged (bool isNowSelected) override;
    void itemClicked (const juce::MouseEvent& e) override;
    juce::var getDragSourceDescription() override;
    bool isInterestedInFileDrag (const juce::StringArray&) override    { return false; }
    void filesDropped (const juce::StringArray&, int) override         {}
    bool isInterestedInDragSource (const juce::DragAndDropTarget::SourceDetails& details) override;
    void itemDropped (const juce::DragAndDropTarget::SourceDetails& details, int insertIndex) override;

    //==============================================================================
    /** base, or base + suffix + " (K)" with K one past the copies of base among the parent's children. */
    static juce::String makeUniqueTitle (const juce::ValueTree& parent, const juce::String& base, const juce::String& suffix);

    /** The second line of a device row. */
    juce::String getPresetCountText() const;

private:
    void valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&) override;
    void valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree&) override     { treeChildrenChanged (parent); }
    void valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree&, int) override   { treeChildrenChanged (parent); }
    void valueTreeChildOrderChanged (juce::ValueTree& parent, int, int) override      { treeChildrenChanged (parent); }
    void valueTreeParentChanged (juce::ValueTree&) override {}
    void valueTreeRedirected (juce::ValueTree&) override {}

    void treeChildrenChanged (const juce::ValueTree& parent);
    bool rootIsSourceTreeItem() const;
    void makeBackupOfUnit (const juce::ValueTree& dragged, int insertIndex);

    SourceDataBrowser& browser;
    juce::ValueTree node;
    juce::UndoManager& undoManager;
    std::unique_ptr<juce::Drawable> icon;
    juce::Font font;
    float scale = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SourceTreeItem)
};
