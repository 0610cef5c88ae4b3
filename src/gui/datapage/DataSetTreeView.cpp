#include "gui/datapage/DataSetTreeView.h"

#include "gui/datapage/SourceDataBrowser.h"
#include "gui/datapage/SourceTreeItem.h"

DataSetTreeView::DataSetTreeView()
{
    // One Tab stop, the tree, which takes the arrows: its viewport would be a second one under the same ring.
    getViewport()->setWantsKeyboardFocus (false);
}

DataSetTreeView::~DataSetTreeView()
{
    stopTimer();
}

void DataSetTreeView::updateSelectedItems()
{
    selectedNodes.clear();

    for (int i = 0; i < getNumSelectedItems(); ++i)
        if (auto* row = dynamic_cast<SourceTreeItem*> (getSelectedItem (i)))
            selectedNodes.add (row->getNode());
}

SourceTreeItem* DataSetTreeView::findRow (const juce::ValueTree& node) const
{
    if (! node.isValid())
        return nullptr;

    std::function<SourceTreeItem* (juce::TreeViewItem*)> search = [&] (juce::TreeViewItem* item) -> SourceTreeItem*
    {
        auto* row = dynamic_cast<SourceTreeItem*> (item);

        if (row == nullptr)
            return nullptr;

        if (row->getNode() == node)
            return row;

        if (! node.isAChildOf (row->getNode()))
            return nullptr;

        for (int i = 0; i < row->getNumSubItems(); ++i)
            if (auto* found = search (row->getSubItem (i)))
                return found;

        return nullptr;
    };

    return search (getRootItem());
}

void DataSetTreeView::rememberPointer()
{
    lastHoverCheck = juce::Time::getMillisecondCounterHiRes();
    lastMousePosition = getMouseXYRelative();
}

void DataSetTreeView::setDragHoverItem (const juce::ValueTree& node)
{
    if (! node.isValid())
    {
        hoverNode = {};
        stopTimer();
        return;
    }

    const bool hadHover = hoverNode.isValid();
    hoverNode = node;

    if (! hadHover)
    {
        if (auto* row = findRow (node))
            row->setSelected (true, true, juce::sendNotification);

        rememberPointer();
        return;
    }

    if (! isTimerRunning())
    {
        startTimer (hoverDelayMs);
        rememberPointer();
        return;
    }

    const auto now = juce::Time::getMillisecondCounterHiRes();
    const auto elapsed = now - lastHoverCheck;

    if (elapsed < hoverCheckMs)
        return;

    // A pointer still on its way pushes the selection back.
    const auto position = getMouseXYRelative();
    const auto speed = lastMousePosition.getDistanceFrom (position) / (elapsed / 1000.0);
    lastHoverCheck = now;
    lastMousePosition = position;

    if (speed > 20.0)
        startTimer (hoverDelayMs);
}

void DataSetTreeView::timerCallback()
{
    stopTimer();

    if (auto* row = findRow (hoverNode); row != nullptr && ! row->isSelected())
        row->setSelected (true, true, juce::sendNotification);
}

void DataSetTreeView::setPendingDrop (const juce::ValueTree& target, int insertIndex)
{
    pendingDropNode = target;
    pendingDropIndex = insertIndex;
}

void DataSetTreeView::itemDragEnter (const SourceDetails& details)
{
    hoverNode = {};
    stopTimer();
    juce::TreeView::itemDragMove (details);
}

void DataSetTreeView::itemDragExit (const SourceDetails& details)
{
    hoverNode = {};
    stopTimer();
    juce::TreeView::itemDragExit (details);
}

void DataSetTreeView::itemDropped (const SourceDetails& details)
{
    juce::TreeView::itemDropped (details);

    if (! pendingDropNode.isValid())
        return;

    const auto target = pendingDropNode;
    pendingDropNode = {};

    auto* root = dynamic_cast<SourceTreeItem*> (getRootItem());
    auto* browser = findParentComponentOfClass<SourceDataBrowser>();

    if (root == nullptr || browser == nullptr)
        return;

    auto& undoManager = root->getUndoManager();
    undoManager.beginNewTransaction();
    browser->moveNodesInto (pendingDropIndex, undoManager, getSelectedTrees(), target);
}
