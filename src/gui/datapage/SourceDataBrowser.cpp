#include "gui/datapage/SourceDataBrowser.h"

#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/widgets/NavigationKeys.h"
#include "model/SourceTree.h"

SourceDataBrowser::SourceDataBrowser()
{
    setName ("Browser");

    addAndMakeVisible (treeView);
    treeView.setRootItem (nullptr);
    treeView.setRootItemVisible (false);
    treeView.addMouseListener (this, true);
    treeView.setColour (juce::TreeView::backgroundColourId, Palette::backgroundColour);
    treeView.setColour (juce::TreeView::selectedItemBackgroundColourId, Palette::browserSelectionColour);
    treeView.setColour (juce::TreeView::dragAndDropIndicatorColourId, Palette::dropIndicatorColour);

    addChildComponent (renameEditor);
    renameEditor.setMultiLine (false);
    renameEditor.setInputRestrictions (128);
    renameEditor.addListener (this);

    for (auto colourId : { juce::TextEditor::backgroundColourId, juce::TextEditor::outlineColourId, juce::TextEditor::focusedOutlineColourId })
        renameEditor.setColour (colourId, Palette::browserSelectionColour);

    renameEditor.setColour (juce::TextEditor::textColourId, Palette::textColour);
    renameEditor.setColour (juce::TextEditor::highlightedTextColourId, Palette::textColour.contrasting (1.0f));
}

SourceDataBrowser::~SourceDataBrowser()
{
    treeView.removeMouseListener (this);
    treeView.setRootItem (nullptr);
    listeners.clear();
    rootItem.reset();
}

void SourceDataBrowser::setSourceTree (DataPage* page, juce::ValueTree root)
{
    renameEditor.setVisible (false);
    renameTarget = {};
    treeView.clearSelectedItems();
    treeView.setRootItem (nullptr);
    rootItem.reset();
    dataPage = page;

    if (page == nullptr)
        return;

    rootItem = std::make_unique<SourceTreeItem> (*this, root, page->getUndoManager());
    treeView.setRootItem (rootItem.get());
    rootItem->setOpen (true);
    resized();
}

//==============================================================================
void SourceDataBrowser::addListener (SourceBrowserListener* listener)
{
    if (listener != nullptr)
        listeners.addIfNotAlreadyThere (listener);
}

void SourceDataBrowser::removeListener (SourceBrowserListener* listener)
{
    listeners.removeFirstMatchingValue (listener);
}

void SourceDataBrowser::notifySelectionChanged()
{
    const juce::Component::BailOutChecker checker (this);

    for (int i = listeners.size(); --i >= 0;)
    {
        listeners.getUnchecked (juce::jmin (i, listeners.size() - 1))->sourceSelectionChanged();

        if (checker.shouldBailOut())
            return;

        i = juce::jmin (i, listeners.size());
    }
}

//==============================================================================
SourceTreeItem* SourceDataBrowser::findItemFor (SourceTreeItem* item, const juce::ValueTree& tree)
{
    if (item == nullptr)
        return nullptr;

    const auto& node = item->getNode();

    if (node == tree)
        return item;

    if (! tree.isAChildOf (node))
        return nullptr;

    if (item->getNumSubItems() != node.getNumChildren())
    {
        if (item->isOpen())
            item->refreshSubItems();
        else
            item->setOpen (true);
    }

    for (int i = 0; i < item->getNumSubItems(); ++i)
        if (auto* found = findItemFor (dynamic_cast<SourceTreeItem*> (item->getSubItem (i)), tree))
        {
            item->setOpen (true);
            return found;
        }

    return nullptr;
}

bool SourceDataBrowser::selectItemFor (const juce::ValueTree& tree)
{
    if (rootItem == nullptr || ! tree.isValid())
        return false;

    auto* row = findItemFor (rootItem.get(), tree);

    if (row == nullptr)
        return false;

    const bool wasSelected = row->isSelected();
    row->setSelected (true, true, juce::sendNotification);
    treeView.scrollToKeepItemVisible (row);
    return wasSelected;
}

juce::Array<juce::ValueTree> SourceDataBrowser::collectSelectedTrees (const juce::TreeView& view)
{
    juce::Array<juce::ValueTree> trees;

    for (int i = 0; i < view.getNumSelectedItems(); ++i)
        if (auto* row = dynamic_cast<SourceTreeItem*> (view.getSelectedItem (i)))
            trees.add (row->getNode());

    return trees;
}

juce::ValueTree SourceDataBrowser::getRootNode() const
{
    return rootItem != nullptr ? rootItem->getNode() : juce::ValueTree();
}

juce::ValueTree SourceDataBrowser::getDeviceNode() const    { return SourceTree::findNode (getRootNode(), SourceTreeIds::deviceCategory); }
juce::ValueTree SourceDataBrowser::getBackupsNode() const   { return SourceTree::findNode (getRootNode(), SourceTreeIds::archiveCategory); }
juce::ValueTree SourceDataBrowser::getUploadFolder() const  { return SourceTree::findNode (getRootNode(), SourceTreeIds::cloudCategory, SourceTreeIds::uploadFolder); }

//==============================================================================
void SourceDataBrowser::showRenameEditor (const juce::ValueTree& node, bool selectAll)
{
    auto* row = treeView.findRow (node);

    if (row == nullptr)
        return;

    renameEditor.setVisible (true);
    renameEditor.setFont (row->getFont());
    renameEditor.setText (node[SourceTreeIds::label].toString(), true);

    if (selectAll)
        renameEditor.selectAll();

    renameTarget = node;
    placeRenameEditor();
    renameEditor.grabKeyboardFocus();

    // A row just added gets its place when the tree lays itself out, which it does later.
    juce::Component::SafePointer<SourceDataBrowser> self (this);
    juce::MessageManager::callAsync ([self] { if (self != nullptr) self->placeRenameEditor(); });
}

void SourceDataBrowser::placeRenameEditor()
{
    if (auto* row = treeView.findRow (renameTarget); row != nullptr && renameEditor.isVisible())
        renameEditor.setBounds (row->getItemPosition (true).translated (treeView.getX(), treeView.getY()).withHeight (row->getItemHeight()));
}

void SourceDataBrowser::commitRename()
{
    // Hiding the editor takes its focus, which commits again: the target is taken first.
    const auto target = renameTarget;
    renameTarget = {};
    renameEditor.setVisible (false);

    // The entry may have gone meanwhile (deleted, or its sources closed).
    if (target.isValid() && dataPage != nullptr && target.isAChildOf (getRootNode()))
        dataPage->setArchiveItemTitle (target, renameEditor.getText(), true, true);
}

void SourceDataBrowser::textEditorEscapeKeyPressed (juce::TextEditor&)
{
    renameTarget = {};
    renameEditor.setVisible (false);
}

juce::String SourceDataBrowser::nextGroupName()
{
    const auto counter = groupCounter++;
    return counter == 0 ? juce::String ("New Group") : "New Group " + juce::String (counter);
}

//==============================================================================
// The menu opens on the release: opened on the press, under the pointer, the
// release of that same press could choose its first item.
void SourceDataBrowser::mouseUp (const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        showTreeMenu (e);
}

// A picture that comes after the rows were made (pictures come late) is drawn in them too.
void SourceDataBrowser::setUnitPicture (const juce::Image& picture)
{
    unitPicture = picture;

    if (rootItem != nullptr)
        rootItem->refreshDeviceIcons();
}

bool SourceDataBrowser::keyPressed (const juce::KeyPress& key)
{
    if (rootItem == nullptr || key == juce::KeyPress::escapeKey)
        return false;

    if (key == juce::KeyPress::deleteKey || key == juce::KeyPress::backspaceKey)
    {
        // The browser's Delete is the browser's alone: passed on, it would delete the grid's presets as well.
        deleteSelected();
        return true;
    }

    if (NavigationKeys::opensContextMenu (key))
        return showTreeMenuByKeys();

    return key == juce::KeyPress::F2Key && renameByKeys();
}

void SourceDataBrowser::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
    BVLookAndFeel::drawPanelBackground (g, getLocalBounds().removeFromTop (headerHeight), getName(), false, true);
}

void SourceDataBrowser::resized()
{
    auto* laf = BVLookAndFeel::of (*this);
    const auto scale = laf != nullptr ? laf->getScale() : 1.0f;
    const auto m = (int) (4.0f * scale);
    headerHeight = (int) (20.0f * scale);

    treeView.setBounds (m, headerHeight + m, getWidth() - 2 * m, getHeight() - 2 * m - headerHeight);
}
