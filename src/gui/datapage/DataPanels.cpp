#include "gui/datapage/DataPanels.h"

#include "model/SourceTreeIds.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPageEdits.h"

namespace
{
    /** Lays the container out for the visible area, again when a scroll bar came or went meanwhile. */
    void layoutIn (juce::Viewport& viewport, PanelContainerBase* container, int widthReduction)
    {
        const auto w = viewport.getMaximumVisibleWidth(), h = viewport.getMaximumVisibleHeight();

        if (container == nullptr || w == 0)
            return;

        container->layoutContent (w - widthReduction, h);

        if (viewport.getMaximumVisibleWidth() != w)
            container->layoutContent (viewport.getMaximumVisibleWidth(), viewport.getMaximumVisibleHeight());
    }

    PanelContainerBase* shownIn (const juce::Viewport& viewport)
    {
        return dynamic_cast<PanelContainerBase*> (viewport.getViewedComponent());
    }

    /** A container joins the page's lists while shown (and the page's key listeners, in the workspace). */
    void attach (DataPageEdits& owner, PanelContainerBase& c, bool keys)
    {
        owner.addPresetDataChangeListener (&c);
        owner.addArchiveChangeListener (&c);

        if (auto* page = owner.getPageComponent(); page != nullptr && keys)
            page->addKeyListener (&c);
    }

    void detach (DataPageEdits& owner, PanelContainerBase& c, bool keys)
    {
        owner.removePresetDataChangeListener (&c);
        owner.removeArchiveChangeListener (&c);

        if (auto* page = owner.getPageComponent(); page != nullptr && keys)
            page->removeKeyListener (&c);
    }

    /** Puts the container with its node into the viewport, after `leaving` (the one shown) let go of its own. */
    void show (DataPageEdits& owner, juce::Viewport& viewport, PanelContainerBase& c, const juce::ValueTree& item,
               bool keys, const std::function<void (PanelContainerBase&)>& leaving)
    {
        if (auto* old = shownIn (viewport))
        {
            detach (owner, *old, keys);
            leaving (*old);
        }

        attach (owner, c, keys);
        c.setItem (item);
        viewport.setViewedComponent (&c, false);
        viewport.setFocusContainerType (juce::Component::FocusContainerType::focusContainer);

        // The workspace is one stop, its viewport, which keeps the focus while
        // the pages it shows come and go; the details' stops are their controls.
        viewport.setWantsKeyboardFocus (keys);
        c.setWantsKeyboardFocus (false);
    }
}

//==============================================================================
DataViewPanel::DataViewPanel (DataPageEdits& pageToUse)
    : juce::Component ("Workspace"),
      owner (pageToUse),
      emptyContainer(),
      presetContainer (pageToUse, &viewport),
      groupContainer (pageToUse)
{
    addAndMakeVisible (viewport);
    presetContainer.addChangeListener (this);
    groupContainer.addChangeListener (this);
    presetContainer.addMouseListener (this, true);
    groupContainer.addMouseListener (this, true);
}

DataViewPanel::~DataViewPanel()
{
    if (auto* shown = getCurrentContainer())
        detach (owner, *shown, true);

    presetContainer.removeChangeListener (this);
    groupContainer.removeChangeListener (this);
    presetContainer.removeMouseListener (this);
    groupContainer.removeMouseListener (this);
    viewport.setViewedComponent (nullptr, false);
}

PanelContainerBase* DataViewPanel::getContainerFor (int viewKind)
{
    switch (viewKind)
    {
        case presetsKind:  return &presetContainer;
        case groupKind:    return &groupContainer;
        default:           return &emptyContainer;
    }
}

PanelContainerBase* DataViewPanel::getCurrentContainer() const
{
    return shownIn (viewport);
}

void DataViewPanel::showContainer (int viewKind, const juce::ValueTree& item)
{
    auto* c = getContainerFor (viewKind);

    if (viewKind == emptyKind || viewKind == syncKind)
        emptyContainer.setMode (viewKind == emptyKind ? 0 : 4);

    auto* old = getCurrentContainer();

    if (old == c && old->getItem() == item && c->isBuiltFromCurrentData())
        return;

    show (owner, viewport, *c, item, true, [this] (PanelContainerBase& leaving)
    {
        saveViewportOffset();
        leaving.clearItem();
    });

    currentKind = viewKind;

    resized();
    restoreViewportOffset();
}

void DataViewPanel::saveViewportOffset()
{
    if (auto* shown = getCurrentContainer(); shown != nullptr && shown->getItem().isValid())
        shown->getItem().setProperty (SourceTreeIds::viewportOffset, viewport.getViewPositionY(), nullptr);
}

void DataViewPanel::restoreViewportOffset()
{
    if (auto* shown = getCurrentContainer(); shown != nullptr && shown->getItem().isValid())
        viewport.setViewPosition (0, (int) shown->getItem().getProperty (SourceTreeIds::viewportOffset, 0));
}

juce::ValueTree DataViewPanel::getSelectedGroupItem() const
{
    return groupContainer.getFirstSelectedItem();
}

void DataViewPanel::scrollToPreset (int index)
{
    if (! juce::isPositiveAndBelow (index, presetContainer.getNumButtons()))
        return;

    presetContainer.setFocusedSlot (index, false);   // the keys go on from the hit shown
    const auto y = presetContainer.getButton (index)->getY();
    const auto top = viewport.getViewPositionY();

    if (y > top && y < top + viewport.getHeight())
        return;

    viewport.setViewPosition (0, y);
}

void DataViewPanel::changeListenerCallback (juce::ChangeBroadcaster* source)
{
    if (source == &presetContainer || source == &groupContainer)
        sendChangeMessage();
}

void DataViewPanel::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
}

void DataViewPanel::resized()
{
    viewport.setBounds (getLocalBounds());
    layoutCurrentContainer();
}

void DataViewPanel::layoutCurrentContainer()
{
    layoutIn (viewport, getCurrentContainer(), 0);
}

void DataViewPanel::mouseDrag (const juce::MouseEvent& e)
{
    auto* dragContainer = juce::DragAndDropContainer::findParentDragContainerFor (this);

    if (dragContainer == nullptr || ! dragContainer->isDragAndDropActive())
        return;

    const auto position = viewport.getLocalPoint (nullptr, e.getScreenPosition());
    viewport.autoScroll (position.x, position.y, 20, 40);
}

//==============================================================================
DetailsPanel::DetailsPanel (DataPageEdits& pageToUse)
    : juce::Component ("Details"),
      owner (pageToUse),
      dataSetContainer (pageToUse),
      presetDetails (pageToUse)
{
    addAndMakeVisible (viewport);
}

DetailsPanel::~DetailsPanel()
{
    if (auto* shown = getCurrentContainer())
        detach (owner, *shown, false);

    viewport.setViewedComponent (nullptr, false);
}

PanelContainerBase* DetailsPanel::getContainerFor (int detailsKind)
{
    switch (detailsKind)
    {
        case deviceKind:   return &deviceContainer;
        case groupKind:    return &groupContainer;
        case dataSetKind:  return &dataSetContainer;
        case presetKind:   return &presetDetails;
        default:           return &emptyContainer;
    }
}

PanelContainerBase* DetailsPanel::getCurrentContainer() const
{
    return shownIn (viewport);
}

void DetailsPanel::showDetails (int detailsKind, const juce::ValueTree& item)
{
    auto* c = getContainerFor (detailsKind);

    if (detailsKind == emptyKind)
        emptyContainer.setMode (0);

    auto* old = getCurrentContainer();

    if (old == c && old->getItem() == item)
        return;

    show (owner, viewport, *c, item, false, [] (PanelContainerBase& leaving) { leaving.clearItem(); });
    currentKind = detailsKind;
    resized();
}

int DetailsPanel::getCurrentContainerHeight() const
{
    auto* shown = getCurrentContainer();
    return shown != nullptr ? shown->getContentHeight() : 0;
}

void DetailsPanel::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
}

void DetailsPanel::resized()
{
    viewport.setBounds (getLocalBounds());
    layoutCurrentContainer();
}

void DetailsPanel::layoutCurrentContainer()
{
    // Laid out as if the scroll bar were there, so the page keeps its width when it comes.
    const auto reduction = viewport.getVerticalScrollBar().isVisible() ? 0 : viewport.getScrollBarThickness();
    layoutIn (viewport, getCurrentContainer(), reduction);
}
