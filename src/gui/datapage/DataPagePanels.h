#pragma once

#include "gui/datapage/DataPanels.h"

/** The data page's panel area: the workspace panel above the details panel in
    a concertina, each with a header. The page shows a source in it by kinds
    (the workspace's 1 .. 4, the details' 1 .. 5) and reads back what is shown. */
class DataPagePanels : public juce::Component
{
public:
    explicit DataPagePanels (DataPageEdits& owner);
    ~DataPagePanels() override;

    /** The workspace takes the title as its header and shows viewItem; the details show detailsItem.
        The details panel is sized to its page whenever a kind changes. */
    void show (const juce::String& title, const juce::ValueTree& viewItem, int viewKind,
               const juce::ValueTree& detailsItem, int detailsKind);

    DataViewPanel& getDataView() noexcept                { return dataView; }
    DetailsPanel& getDetails() noexcept                  { return details; }
    int getViewKind() const noexcept                     { return dataView.getCurrentKind(); }
    int getDetailsKind() const noexcept                  { return details.getCurrentKind(); }
    juce::String getTitle() const                        { return dataView.getName(); }
    juce::ValueTree getViewItem() const;
    juce::ValueTree getDetailsItem() const;

    /** The grid's selected slots while it is shown; empty otherwise. */
    juce::Array<int> getSelection() const;

    /** The preset details, when shown, take the grid's selection (after it changed). */
    void followGridSelection();

    /** The height the details panel wants below its header: its page's, at most 3/5 of the area. */
    int getDetailsHeight() const;

    /** Headers as high as the scale asks, then the details sized as they were or as their page now wants. */
    void resized() override;

private:
    int headerHeight();
    void setHeaderSizes();

    int preferredDetailsHeight = 0;

    DataViewPanel dataView;
    DetailsPanel details;
    juce::ConcertinaPanel concertina;   // after the panels: it goes first

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataPagePanels)
};
