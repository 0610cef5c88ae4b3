#include "gui/datapage/DataPagePanels.h"

#include "gui/BVLookAndFeel.h"
#include "gui/datapage/DataPageEdits.h"

DataPagePanels::DataPagePanels (DataPageEdits& owner)
    : dataView (owner), details (owner)
{
    addAndMakeVisible (concertina);
    concertina.addPanel (-1, &dataView, false);
    concertina.addPanel (-1, &details, false);

    setHeaderSizes();
    concertina.setPanelSize (&dataView, concertina.getHeight(), true);
}

void DataPagePanels::setHeaderSizes()
{
    for (auto* panel : { static_cast<juce::Component*> (&dataView), static_cast<juce::Component*> (&details) })
        concertina.setPanelHeaderSize (panel, headerHeight());
}

DataPagePanels::~DataPagePanels()
{
    concertina.removePanel (&details);
    concertina.removePanel (&dataView);
}

int DataPagePanels::headerHeight()
{
    auto* laf = BVLookAndFeel::of (*this);
    return (int) ((laf != nullptr ? laf->getScale() : 1.0f) * 20.0f);
}

juce::ValueTree DataPagePanels::getViewItem() const
{
    auto* shown = dataView.getCurrentContainer();
    return shown != nullptr ? shown->getItem() : juce::ValueTree();
}

juce::ValueTree DataPagePanels::getDetailsItem() const
{
    auto* shown = details.getCurrentContainer();
    return shown != nullptr ? shown->getItem() : juce::ValueTree();
}

juce::Array<int> DataPagePanels::getSelection() const
{
    if (getViewKind() != DataViewPanel::presetsKind)
        return {};

    return const_cast<DataViewPanel&> (dataView).getPresetContainer().getSelectedPresets();
}

void DataPagePanels::followGridSelection()
{
    if (getDetailsKind() == DetailsPanel::presetKind)
        details.getPresetDetails().setSelectedPresets (getSelection());
}

int DataPagePanels::getDetailsHeight() const
{
    const auto wanted = details.getCurrentContainerHeight();

    // A tall details page scrolls rather than push the workspace out of sight.
    return getHeight() > 0 ? juce::jmin (wanted, getHeight() * 3 / 5) : wanted;
}

void DataPagePanels::show (const juce::String& title, const juce::ValueTree& viewItem, int viewKind,
                           const juce::ValueTree& detailsItem, int detailsKind)
{
    const auto kindsBefore = std::pair (getViewKind(), getDetailsKind());

    dataView.setName (title);
    dataView.showContainer (viewKind, viewItem);
    details.showDetails (detailsKind, detailsItem);
    followGridSelection();

    const auto wanted = getDetailsHeight();
    concertina.setMaximumPanelSize (&details, wanted);

    if (kindsBefore != std::pair (getViewKind(), getDetailsKind()))
        concertina.setPanelSize (&details, wanted, true);

    preferredDetailsHeight = wanted;
    concertina.repaint();
}

void DataPagePanels::resized()
{
    // The details as they were: a panel as high as its page wanted follows
    // what the page wants now (a new scale, a new width); one the user sized
    // keeps its height unless there is no room.
    const auto h0 = details.getHeight();
    const auto p0 = preferredDetailsHeight;

    setHeaderSizes();
    concertina.setBounds (getLocalBounds());

    const auto p1 = getDetailsHeight();
    concertina.setMaximumPanelSize (&details, p1);

    if (details.getCurrentContainer() != nullptr && getHeight() > 0)
    {
        if (p1 != p0 && h0 == p0)
            concertina.setPanelSize (&details, p1, false);
        else if (details.getHeight() < h0)
            concertina.setPanelSize (&details, h0, false);
    }

    preferredDetailsHeight = p1;
}
