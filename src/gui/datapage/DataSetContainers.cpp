#include "gui/datapage/DataSetContainers.h"

#include "model/SourceTreeIds.h"
#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/SourceTreeIcons.h"
#include "gui/datapage/DataPageEdits.h"
#include "model/SourceTree.h"
#include "resources/BinaryResources.h"

namespace
{
    juce::Font detailsFont (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return BVLookAndFeel::makeFont (laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize);
    }
}

//==============================================================================
DataSetDetailsContainer::DataSetDetailsContainer (DataPageEdits& pageToUse)
    : owner (pageToUse)
{
    const auto font = detailsFont (*this);

    for (auto* label : { &nameLabel, &authorLabel, &dateLabel, &authorValue, &dateValue })
    {
        label->setColour (juce::Label::textColourId, Palette::textColour);
        label->setBorderSize ({});
        label->setFont (font);
        addAndMakeVisible (label);
    }

    for (auto* label : { &nameLabel, &authorLabel, &dateLabel })
        label->setJustificationType (juce::Justification::centredRight);

    // A bold letter such as "J" reaches left of where it starts: a little room keeps it whole.
    for (auto* label : { &authorValue, &dateValue })
    {
        label->setJustificationType (juce::Justification::centredLeft);
        label->setFont (font.boldened());
        label->setBorderSize ({ 0, juce::roundToInt (font.getHeight() * 0.15f), 0, 0 });
    }

    descriptionEditor.setMultiLine (true, true);
    descriptionEditor.setReturnKeyStartsNewLine (true);
    descriptionEditor.setTextToShowWhenEmpty ("<Add a description here>", Palette::textColour.withAlpha (0.3f));
    titleEditor.setMultiLine (false, true);

    for (auto* editor : { &titleEditor, &descriptionEditor })
    {
        editor->setFont (font);
        editor->addListener (this);
        addAndMakeVisible (editor);
    }
}

DataSetDetailsContainer::~DataSetDetailsContainer() = default;

void DataSetDetailsContainer::refresh()
{
    const auto* archive = SourceTree::getArchive (item);
    const auto where = SourceTree::getCategoryOf (item);
    const auto editable = where.category == juce::var (SourceTreeIds::archiveCategory)
                       || where.subCategory == juce::var (SourceTreeIds::uploadFolder);

    titleEditor.setText (item.getProperty (SourceTreeIds::label, "Unknown").toString(), false);
    titleEditor.setInputRestrictions (128);
    titleEditor.setReadOnly (! editable);

    descriptionEditor.setText (archive != nullptr ? archive->getDescription() : juce::String(), false);
    descriptionEditor.setReadOnly (! editable);

    authorValue.setText (archive != nullptr ? archive->getAuthorName() : juce::String(), juce::dontSendNotification);
    dateValue.setText (archive != nullptr ? archive->getPubDateString() : juce::String(), juce::dontSendNotification);

    if (image != nullptr)
        removeChildComponent (image.get());

    image = archive != nullptr ? SourceTreeIcons::createDrawable (archive->getImage()) : nullptr;

    if (image == nullptr)
        image = juce::Drawable::createFromImageData (BinaryResources::archive_default_svg, (size_t) BinaryResources::archive_default_svgSize);

    if (image != nullptr)
    {
        // A drawing's own size is its view box when it has one, not the extent of what it draws.
        auto bounds = image->getDrawableBounds();

        if (auto* composite = dynamic_cast<juce::DrawableComposite*> (image.get()); composite != nullptr && ! composite->getContentArea().isEmpty())
            bounds = composite->getContentArea();

        imageAspect = bounds.getHeight() > 0.0f ? bounds.getWidth() / bounds.getHeight() : 1.0f;
        addAndMakeVisible (image.get());
    }
}

void DataSetDetailsContainer::commitEdit (juce::TextEditor& editor)
{
    auto* archive = SourceTree::getArchive (item);

    if (archive == nullptr || editor.isReadOnly())
        return;

    if (&editor == &titleEditor)
    {
        owner.setArchiveItemTitle (item, titleEditor.getText(), true, true);
    }
    else if (&editor == &descriptionEditor && descriptionEditor.getText() != archive->getDescription())
    {
        archive->setDescription (descriptionEditor.getText());   // marks it modified and drops its md5
        owner.notifyArchiveChanged (item);                        // which the page writes as it does a rename
    }
}

void DataSetDetailsContainer::textEditorReturnKeyPressed (juce::TextEditor& editor)   { commitEdit (editor); }
void DataSetDetailsContainer::textEditorFocusLost (juce::TextEditor& editor)          { commitEdit (editor); }

void DataSetDetailsContainer::clearItem()
{
    if (item.isValid())
    {
        commitEdit (titleEditor);
        commitEdit (descriptionEditor);
    }

    PanelContainerBase::clearItem();
}

void DataSetDetailsContainer::archiveItemChanged (const juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != item || property != SourceTreeIds::label)
        return;

    if (const auto* archive = SourceTree::getArchive (item))
        titleEditor.setText (item.getProperty (SourceTreeIds::label, archive->getTitle()).toString(), false);
}

void DataSetDetailsContainer::layoutContent (int width, int height)
{
    const auto s = (double) getUiScale();
    const auto m = (int) std::nearbyint (15.0 * s), r3 = (int) std::nearbyint (3.0 * s), r8 = (int) std::nearbyint (8.0 * s);
    const auto e = (int) std::ceil (titleEditor.getFont().getHeight() + 6.0 * s);

    auto labelW = 0;

    for (auto* label : { &nameLabel, &authorLabel, &dateLabel })
        labelW = juce::jmax (labelW, juce::roundToInt (label->getFont().getStringWidthFloat (label->getText())));

    labelW += 2;

    const auto imageHeight = 100.0 * s, imageWidth = imageAspect * imageHeight;
    const juce::Rectangle<float> imageBox ((float) (m + 5), (float) m, (float) imageWidth, (float) imageHeight);

    if (image != nullptr)
        image->setTransformToFit (imageBox, juce::RectanglePlacement::centred);   // fitted by what it draws, centred in the box

    const auto visible = 4 * labelW + imageWidth <= width;

    for (auto* c : std::initializer_list<juce::Component*> { &nameLabel, &authorLabel, &dateLabel, &authorValue, &dateValue, &titleEditor })
        c->setVisible (visible);

    const auto y1 = juce::jmax (0, (int) (m + 50.0 * s) - (3 * e + 2 * r8) / 2);
    const auto x1 = (int) (m + 5 + imageWidth) + m;
    nameLabel.setBounds (x1, y1, labelW, e);
    titleEditor.setBounds (nameLabel.getRight() + r3, y1, width - nameLabel.getRight() - r3 - 15, e);

    authorLabel.setBounds (nameLabel.getBounds().translated (0, e + r8));
    authorValue.setBounds (titleEditor.getBounds().translated (0, e + r8));
    dateLabel.setBounds (authorLabel.getBounds().translated (0, e + r8));
    dateValue.setBounds (authorValue.getBounds().translated (0, e + r8));

    const auto descriptionY = juce::jmax (dateLabel.getBottom(), (int) (m + 100.0 * s)) + r8 + 2;
    descriptionEditor.setBounds (m, descriptionY, width - 2 * m, (int) std::nearbyint (120.0 * s));

    setLayoutHeight (height);
    setSize (width, descriptionEditor.getBottom() + m);
}

//==============================================================================
DataSetGroupViewContainer::DataSetGroupViewContainer (DataPageEdits& pageToUse)
    : owner (pageToUse)
{
    dragSnapShot.dragKind = DataSetDragSnapShot::backups;
    setWantsKeyboardFocus (true);
}

DataSetGroupViewContainer::~DataSetGroupViewContainer()
{
    item.removeListener (this);
}

void DataSetGroupViewContainer::setItem (const juce::ValueTree& newItem)
{
    item.removeListener (this);
    PanelContainerBase::setItem (newItem);

    if (item.isValid())
        item.addListener (this);

    rebuildTiles();
}

void DataSetGroupViewContainer::rebuildTiles()
{
    removeAllChildren();
    tiles.clear();

    for (const auto& child : item)
    {
        auto* tile = tiles.add (new ArchiveButton (child, SourceTreeIcons::createNodeIcon (child)));
        tile->setClickingTogglesState (true);
        tile->setRadioGroupId (200);
        tile->addListener (this);
        tile->addMouseListener (this, false);
        addAndMakeVisible (tile);
    }
}

void DataSetGroupViewContainer::layoutContent (int width, int height)
{
    int tw = 0, th = 0;

    for (auto* tile : tiles)
    {
        tw = juce::jmax (tw, tile->getWidth());
        th = juce::jmax (th, tile->getHeight());
    }

    if (tiles.isEmpty() || tw == 0 || th == 0)
        return;

    const auto gap = juce::roundToInt (10.0f * getUiScale());   // as the tiles, at the UI scale
    int x = gap, y = gap;

    for (auto* tile : tiles)
    {
        tile->setTopLeftPosition (x, y);
        x += tw + gap;

        if (x + tw > width)
        {
            y += th + gap;
            x = gap;
        }
    }

    setLayoutHeight (height);
    setSize (width, y + gap + th);
}

juce::ValueTree DataSetGroupViewContainer::getFirstSelectedItem() const
{
    for (auto* tile : tiles)
        if (tile->getToggleState())
            return tile->getNode();

    return {};
}

void DataSetGroupViewContainer::buttonClicked (juce::Button*)
{
    sendChangeMessage();
}

void DataSetGroupViewContainer::mouseDoubleClick (const juce::MouseEvent& e)
{
    // Two quick right clicks are two menus, not a double click.
    if (e.mods.isPopupMenu())
        return;

    if (auto* tile = dynamic_cast<ArchiveButton*> (e.eventComponent))
        owner.selectItemFor (tile->getNode());
}

bool DataSetGroupViewContainer::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress::deleteKey || key == juce::KeyPress::backspaceKey)
    {
        const auto node = getFirstSelectedItem();

        // Through the browser's own delete, which keeps the files until the removal can no longer be undone.
        if (node.isValid() && ! SourceTree::isUserNode (node))
            owner.deleteSourceNode (node);
    }

    return false;
}

void DataSetGroupViewContainer::mouseDrag (const juce::MouseEvent& e)
{
    auto* dragContainer = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (dragContainer == nullptr || dragContainer->isDragAndDropActive() || e.eventComponent == this
        || ! isEnabled() || ! e.mods.isLeftButtonDown())
        return;

    auto* tile = dynamic_cast<ArchiveButton*> (e.eventComponent);

    if (tile == nullptr || ! tile->getNode().hasType (SourceTreeIds::node))
        return;

    const auto* data = SourceTree::getDeviceData (tile->getNode());

    if (data == nullptr)
        return;

    dragSnapShot.source = tile->getNode();
    dragSnapShot.presetIndices = data->getUsedPresetIndices();

    auto image = tile->createComponentSnapshot (tile->getLocalBounds(), true, 1.0f).convertedToFormat (juce::Image::ARGB);
    image.multiplyAllAlphas (0.6f);

    dragContainer->startDragging (tile->getButtonText(), &dragSnapShot, juce::ScaledImage (image), false, nullptr, &e.source);
    juce::Component::beginDragAutoRepeat (40);
}

void DataSetGroupViewContainer::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property)
{
    if (property != SourceTreeIds::label)
        return;

    for (auto* tile : tiles)
        if (tile->getNode() == tree)
            tile->setButtonText (tree.getProperty (SourceTreeIds::label).toString());
}

void DataSetGroupViewContainer::rebuildAndLayout()
{
    rebuildTiles();
    layoutContent (getWidth(), getLayoutHeight());
}

// The listener hears the whole subtree; only the group's own children are tiles.
void DataSetGroupViewContainer::valueTreeChildAdded (juce::ValueTree& parent, juce::ValueTree&)          { if (parent == item) rebuildAndLayout(); }
void DataSetGroupViewContainer::valueTreeChildRemoved (juce::ValueTree& parent, juce::ValueTree&, int)   { if (parent == item) rebuildAndLayout(); }
void DataSetGroupViewContainer::valueTreeChildOrderChanged (juce::ValueTree& parent, int, int)           { if (parent == item) rebuildAndLayout(); }
