#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class SourceTreeItem;

/** The tree view of the source browser. It remembers what was selected when a
    drag started (drop handlers need it after the selection moved), selects the
    row under a drag that rests there, and carries out a move of backups that a
    drop asked for once the framework has finished the drop. Rows are kept as
    their nodes, since any change of the tree may rebuild them. */
class DataSetTreeView : public juce::TreeView,
                        private juce::Timer
{
public:
    DataSetTreeView();
    ~DataSetTreeView() override;

    /** Remembers the nodes of the selected rows, in order; called when a drag starts. */
    void updateSelectedItems();
    void clearSelectedItems()                                  { selectedNodes.clear(); }

    /** The remembered node at index; invalid when out of range. */
    juce::ValueTree getSelectedSourceNode (int index) const    { return selectedNodes[index]; }
    int getNumSelectedSources() const noexcept                 { return selectedNodes.size(); }
    juce::Array<juce::ValueTree> getSelectedTrees() const      { return selectedNodes; }

    /** The row that shows the node, among the rows that exist; null when none does. */
    SourceTreeItem* findRow (const juce::ValueTree& node) const;

    /** The row under a drag: selected at once when it is the first, else once the pointer rests. */
    void setDragHoverItem (const juce::ValueTree& node);
    const juce::ValueTree& getDragHoverItem() const noexcept   { return hoverNode; }

    /** Where a move of the dragged backups lands once the drop is over. */
    void setPendingDrop (const juce::ValueTree& target, int insertIndex);

    void itemDragEnter (const SourceDetails& details) override;
    void itemDragExit (const SourceDetails& details) override;
    void itemDropped (const SourceDetails& details) override;

    /** How long the pointer must rest on a row, and how often its speed is measured. */
    static constexpr int hoverDelayMs = 250;
    static constexpr int hoverCheckMs = 75;

private:
    void timerCallback() override;
    void rememberPointer();

    juce::Array<juce::ValueTree> selectedNodes;
    juce::ValueTree pendingDropNode;
    int pendingDropIndex = -1;
    juce::ValueTree hoverNode;
    juce::Point<int> lastMousePosition;
    double lastHoverCheck = 0.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataSetTreeView)
};
