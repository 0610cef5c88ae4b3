#include "gui/datapage/SourceTreeItem.h"

#include "devices/DeviceCaps.h"
#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/SourceTreeIcons.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataSetDragSnapShot.h"
#include "gui/datapage/DataSetTreeView.h"
#include "gui/datapage/SourceDataBrowser.h"
#include "model/SourceTree.h"

using namespace SourceTreeIds;

namespace
{
    const juce::var device (deviceCategory), archive (archiveCategory), cloud (cloudCategory), upload (uploadFolder);

    DataSetTreeView* treeViewOf (const juce::TreeViewItem& item)
    {
        return dynamic_cast<DataSetTreeView*> (item.getOwnerView());
    }

    bool hasUsableData (const juce::ValueTree& node)
    {
        const auto* data = SourceTree::getDeviceData (node);
        return data != nullptr && (data->getUsedPresetIndicesInRange (1, data->getNumSlots() - 1).size() > 0
                                   || data->getSetup().isComplete());
    }
}

//==============================================================================
SourceTreeItem::SourceTreeItem (SourceDataBrowser& b, juce::ValueTree n, juce::UndoManager& um)
    : browser (b), node (std::move (n)), undoManager (um)
{
    node.addListener (this);
    icon = SourceTreeIcons::createNodeIcon (node, browser.getUnitPicture());

    if (auto* laf = BVLookAndFeel::of (browser))
    {
        scale = laf->getScale();

        if (node.hasType (category))
            font = BVLookAndFeel::makeFont (laf->getFontSize(), juce::Font::bold);
        else if (node.hasType (group))
            font = BVLookAndFeel::makeFont (laf->getSmallFontSize(), juce::Font::bold
                                            | (node[subCategoryProp] == upload ? juce::Font::italic : 0));
        else
            font = BVLookAndFeel::makeFont (laf->getSmallFontSize());
    }
}

SourceTreeItem::~SourceTreeItem()
{
    node.removeListener (this);
}

void SourceTreeItem::refreshDeviceIcons()
{
    for (int i = 0; i < getNumSubItems(); ++i)
    {
        if (auto* row = dynamic_cast<SourceTreeItem*> (getSubItem (i)); row != nullptr && row->isDeviceRow())
        {
            row->icon = SourceTreeIcons::createNodeIcon (row->node, browser.getUnitPicture());
            row->refreshDeviceIcons();
            row->repaintItem();
        }
    }
}

bool SourceTreeItem::isDeviceRow() const
{
    return node[categoryProp] == device || node.getParent()[categoryProp] == device;
}

bool SourceTreeItem::rootIsSourceTreeItem() const
{
    auto* view = getOwnerView();
    return view != nullptr && dynamic_cast<SourceTreeItem*> (view->getRootItem()) != nullptr;
}

//==============================================================================
void SourceTreeItem::refreshSubItems()
{
    const auto state = getOpennessState();
    clearSubItems();

    for (const auto& child : node)
        addSubItem (new SourceTreeItem (browser, child, undoManager));

    if (state != nullptr)
        restoreOpennessState (*state);
}

void SourceTreeItem::treeChildrenChanged (const juce::ValueTree& parent)
{
    if (parent != node)
        return;

    refreshSubItems();

    if (auto* view = getOwnerView())
        view->resized();

    setOpen (true);
}

void SourceTreeItem::valueTreePropertyChanged (juce::ValueTree&, const juce::Identifier&)
{
    if (getOwnerView() != nullptr)
        repaintItem();
}

bool SourceTreeItem::mightContainSubItems()
{
    return node.getNumChildren() > 0;
}

juce::String SourceTreeItem::getUniqueName() const
{
    return node[id].toString();
}

void SourceTreeItem::itemOpennessChanged (bool isNowOpen)
{
    if (isNowOpen)
        refreshSubItems();
    else
        clearSubItems();
}

//==============================================================================
int SourceTreeItem::getItemHeight() const
{
    const auto h = font.getHeight();
    float value;

    if (node.hasType (category) && node[categoryProp] == device)
    {
        value = 120.0f;

        if (icon != nullptr)
        {
            const auto bounds = icon->getDrawableBounds();
            const auto r = bounds.getHeight() > 0.0f ? bounds.getWidth() / bounds.getHeight() : 0.0f;

            if (r > 2.5f)
                value = juce::jmax (70.0f, 200.0f / r);
        }
    }
    else if (node.hasType (category))
        return juce::roundToInt (h * 2.1f);   // the font's height carries the scale already
    else if (node.hasType (group))
        return juce::roundToInt (h * 1.92f);
    else if (node.getParent()[categoryProp] == device)
        value = 100.0f;
    else
        return juce::roundToInt (h * 1.8f);

    return juce::roundToInt (value * scale);
}

bool SourceTreeItem::canBeSelected() const
{
    auto* view = getOwnerView();
    const auto mods = juce::ModifierKeys::getCurrentModifiers();

    if (view == nullptr || ! (mods.isShiftDown() || mods.isCtrlDown()) || ! rootIsSourceTreeItem())
        return true;

    auto* first = dynamic_cast<SourceTreeItem*> (view->getSelectedItem (0));

    if (first == nullptr)
        return true;

    return SourceTree::getCategoryOf (node).category == SourceTree::getCategoryOf (first->getNode()).category
        && (node.hasType (SourceTreeIds::node) || node.hasType (group));
}

//==============================================================================
juce::String SourceTreeItem::getPresetCountText() const
{
    auto* page = browser.getDataPage();
    const auto* set = page != nullptr ? page->getDeviceDataSet() : nullptr;
    const auto caps = page != nullptr ? page->getCaps() : nullptr;
    const auto& live = set != nullptr ? set->getLiveData() : nullptr;

    if (live == nullptr || caps == nullptr)
        return "Presets: n/a";

    // A product that declares no slots has no user slots either.
    return juce::String::formatted ("Presets: %d/%d", live->getUsedPresetIndicesInRange (1, live->getNumSlots() - 1).size(),
                                    juce::jmax (0, caps->caps.numPresets - 1));
}

juce::String SourceTreeItem::getShownLabel() const
{
    const auto label = node[SourceTreeIds::label].toString();
    const auto* backup = SourceTree::getArchive (node);
    if (backup != nullptr && backup->isDamaged())
        return label + " (damaged)";

    return backup != nullptr && backup->isDataMissing() ? label + " (data missing)" : label;
}

void SourceTreeItem::paintItem (juce::Graphics& g, int width, int height)
{
    auto* view = getOwnerView();
    g.setColour (Palette::textColour.withAlpha (view == nullptr || view->isEnabled() ? 1.0f : 0.4f));
    g.setFont (font);

    const auto m = juce::roundToInt (8.0f * scale);
    const auto p = juce::roundToInt (3.0f * scale);
    const auto label = getShownLabel();
    const auto bounds = icon != nullptr ? icon->getDrawableBounds() : juce::Rectangle<float>();

    // A node without a picture draws its label alone.
    if (icon == nullptr || bounds.getHeight() <= 0.0f)
    {
        g.drawText (label, m, 0, juce::jmax (0, width - m), height, juce::Justification::centredLeft, true);
        return;
    }

    if (! isDeviceRow())
    {
        const auto k = (float) (height - 2 * p) / bounds.getHeight();
        const juce::Rectangle<float> box ((float) m, (float) p, bounds.getWidth() * k, bounds.getHeight() * k);
        icon->drawWithin (g, box, juce::RectanglePlacement::centred, 1.0f);

        const auto x = m + juce::roundToInt (box.getWidth()) + m;
        g.drawText (label, x, 0, juce::jmax (0, width - x), height, juce::Justification::centredLeft, true);
        return;
    }

    const auto margin = juce::roundToInt (20.0f * scale);
    const auto ratio = bounds.getWidth() / bounds.getHeight();
    auto iconHeight = (float) juce::jmax (1, height - 2 * margin);

    if (ratio > 2.5f)
        iconHeight = juce::jmin (iconHeight, (float) height * 2.5f / bounds.getWidth() * bounds.getHeight());

    // The picture leaves at least half of a narrow row to the unit's texts.
    iconHeight = juce::jmin (iconHeight, juce::jmax (1.0f, (float) (width - 3 * margin) * 0.5f / ratio));

    const juce::Rectangle<float> box ((float) margin, ((float) height - iconHeight) * 0.5f, iconHeight * ratio, iconHeight);
    icon->drawWithin (g, box, juce::RectanglePlacement::centred, 1.0f);

    const auto x = margin + juce::roundToInt (box.getWidth()) + margin;
    const auto fontHeight = font.getHeight();
    const auto top = juce::roundToInt (box.getCentreY() - fontHeight - 1.0f);
    g.setFont (font.boldened());
    g.drawText (label, x, top, juce::jmax (0, width - x), juce::roundToInt (fontHeight) + 1, juce::Justification::topLeft, true);

    g.setFont (font.withHeight (fontHeight * 0.86f).withStyle (juce::Font::plain));
    const auto indent = juce::roundToInt (10.0f * scale);
    g.drawText (getPresetCountText(), x + indent, juce::roundToInt ((float) top + fontHeight + 5.0f * scale),
                juce::jmax (0, width - x - indent), juce::roundToInt (fontHeight) + 1, juce::Justification::topLeft, true);
}

//==============================================================================
void SourceTreeItem::itemDoubleClicked (const juce::MouseEvent& e)
{
    // Two quick right clicks are two menus: counted as a double click, they opened the rename editor.
    if (e.mods.isPopupMenu())
        return;

    if (SourceTree::getCategoryOf (node).category == archive && ! node.hasType (category))
        browser.showRenameEditor (node, true);
    else
        juce::TreeViewItem::itemDoubleClicked (e);
}

void SourceTreeItem::itemSelectionChanged (bool isNowSelected)
{
    if (isNowSelected)
        browser.notifySelectionChanged();
}

void SourceTreeItem::itemClicked (const juce::MouseEvent& e)
{
    // A click on the backup already shown changes no selection; one whose data
    // file was missing is looked at again, as the file may be back.
    const auto* backup = SourceTree::getArchive (node);
    auto* view = getOwnerView();

    if (backup != nullptr && backup->isDataMissing() && ! e.mods.isPopupMenu() && isSelected()
        && view != nullptr && view->getNumSelectedItems() == 1)
        browser.notifySelectionChanged();
}

juce::var SourceTreeItem::getDragSourceDescription()
{
    const bool draggableType = node.hasType (SourceTreeIds::node) || node.hasType (group) || node[categoryProp] == device;

    if (! draggableType || node.hasProperty (subCategoryProp))
        return {};

    if (SourceTree::getCategoryOf (node).category == device && ! hasUsableData (node))
        return {};

    return node.getType().toString();
}

//==============================================================================
bool SourceTreeItem::isInterestedInDragSource (const juce::DragAndDropTarget::SourceDetails& details)
{
    auto* view = treeViewOf (*this);

    if (view == nullptr)
        return false;

    const auto where = SourceTree::getCategoryOf (node);
    const auto own = node[categoryProp];
    const bool onDevice = where.category == device || own == device;

    if (details.sourceComponent.get() == view)
    {
        const auto dragged = view->getSelectedSourceNode (0);

        if (! dragged.isValid() || dragged == node)
            return false;

        const auto draggedCategory = SourceTree::getCategoryOf (dragged).category;

        if (draggedCategory == device && draggedCategory == where.category)
            return false;

        if (onDevice)
        {
            if (view->getNumSelectedSources() != 1)
                return false;

            if (! isSelected())
                view->setDragHoverItem (node);

            return true;
        }

        if (node.hasType (SourceTreeIds::node) || node.hasType (root))
            return false;

        if (where.category == archive || own == archive)
            return true;

        return (draggedCategory == device || draggedCategory == archive) && where.subCategory == upload;
    }

    auto* snapshot = dynamic_cast<DataSetDragSnapShot*> (details.sourceComponent.get());

    if (snapshot == nullptr)
        return false;

    if (onDevice)
    {
        if ((node.hasType (SourceTreeIds::node) && ! isSelected()) || own == device)
            view->setDragHoverItem (node);

        return true;
    }

    if (where.category == archive)
    {
        if (node.hasType (SourceTreeIds::node))
        {
            if (snapshot->dragKind != DataSetDragSnapShot::backups)
                return false;

            view->setDragHoverItem (node);
            return true;
        }

        return snapshot->dragKind == DataSetDragSnapShot::backups && snapshot->source.getParent() != node;
    }

    if (where.category == cloud && where.subCategory == upload)
    {
        if (node.hasType (SourceTreeIds::node) && ! isSelected())
            view->setDragHoverItem (node);

        return true;
    }

    return false;
}

void SourceTreeItem::itemDropped (const juce::DragAndDropTarget::SourceDetails& details, int insertIndex)
{
    auto* view = treeViewOf (*this);

    if (view == nullptr || ! rootIsSourceTreeItem())
        return;

    const auto where = SourceTree::getCategoryOf (node);
    const bool onDevice = where.category == device || node[categoryProp] == device;

    if (auto* snapshot = dynamic_cast<DataSetDragSnapShot*> (details.sourceComponent.get()))
    {
        if (onDevice)
        {
            browser.showPresetDropMenu (node, snapshot->source, snapshot->presetIndices, false, false);
            return;
        }

        if (snapshot->dragKind != DataSetDragSnapShot::backups || where.category != archive)
            return;

        const auto backups = browser.getBackupsNode();
        juce::ValueTree target = node;
        int position = 0;

        if (node.hasType (SourceTreeIds::node))
        {
            const auto parent = snapshot->source.getParent();
            target = parent.isValid() && (parent == backups || parent.isAChildOf (backups)) ? parent : backups;
            position = target.indexOf (node) + 1;
        }

        browser.copyNodesInto (position, undoManager, { snapshot->source }, target);
        return;
    }

    if (details.sourceComponent.get() != view)
        return;

    const auto dragged = view->getSelectedSourceNode (0);

    if (! dragged.isValid())
        return;

    const auto draggedCategory = SourceTree::getCategoryOf (dragged).category;

    if (onDevice)
    {
        if (const auto* data = SourceTree::getDeviceData (dragged))
            browser.showPresetDropMenu (node, dragged, data->getUsedPresetIndicesInRange (1, data->getNumSlots() - 1),
                                        true, draggedCategory == archive);
        return;
    }

    if (node.hasType (SourceTreeIds::node) || node.hasType (root))
        return;

    if (draggedCategory == archive && where.category == archive)
        view->setPendingDrop (node, insertIndex);
    else if (draggedCategory == device)
        makeBackupOfUnit (dragged, insertIndex);
    else if (where.category == archive || where.subCategory == upload)
        browser.copyNodesInto (insertIndex, undoManager, view->getSelectedTrees(), node);
}

void SourceTreeItem::makeBackupOfUnit (const juce::ValueTree& dragged, int insertIndex)
{
    const auto* data = SourceTree::getDeviceData (dragged);

    if (data == nullptr)
        return;

    auto backup = std::make_unique<DeviceDataArchive> (*data, "Backup", juce::String());
    backup->setTitle (makeUniqueTitle (node, backup->getPubDateString() + " (All)", {}));

    undoManager.beginNewTransaction();
    node.addChild (SourceTree::addArchiveNode (std::move (backup)), insertIndex, &undoManager);
}

//==============================================================================
juce::String SourceTreeItem::makeUniqueTitle (const juce::ValueTree& parent, const juce::String& base, const juce::String& suffix)
{
    if (base.isEmpty())
        return suffix;

    const auto prefix = base + suffix + " (";
    int count = 0, next = 0;

    for (const auto& child : parent)
    {
        const auto label = child[SourceTreeIds::label].toString();

        if (label == base)
            ++count;

        if (label.startsWith (prefix))
        {
            ++count;
            next = juce::jmax (next, label.substring (prefix.length()).getIntValue() + 1);
        }
    }

    const auto k = juce::jmax (count, next);
    return k == 0 ? base : base + suffix + " (" + juce::String (k) + ")";
}
