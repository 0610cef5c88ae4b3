#pragma once

#include "gui/widgets/ListFocusRing.h"
#include "search/PresetSearch.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The preset search's hits as a sortable table: "Preset #", "Name" and
    "Location", with a hidden "Rank" column that gives the first order (best
    match first). Selecting a row shows the hit; a double-click or Return
    closes the search. The table reads its owner's result array and changes
    it only by sorting. */
class TableResultsComponent : public juce::Component,
                              public juce::TableListBoxModel,
                              public juce::TableHeaderComponent::Listener
{
public:
    enum ColumnIds { rankColumn = 1, numberColumn, nameColumn, locationColumn };

    /** What the table asks of the search it belongs to. */
    struct Owner
    {
        virtual ~Owner() = default;
        virtual void sortResults (int columnId, int direction) = 0;
        virtual void selectResult (PresetSearch::Result result) = 0;
        virtual void closeSearch() = 0;
    };

    TableResultsComponent (PresetSearch::Results& results, Owner& owner);
    ~TableResultsComponent() override;

    juce::TableListBox& getListBox() noexcept   { return listBox; }

    /** The wait cursor (or the normal one) on the list, its header, viewport and rows. */
    void showBusyCursor();
    void showNormalCursor();

    //==============================================================================
    int getNumRows() override;
    void paintRowBackground (juce::Graphics&, int row, int width, int height, bool selected) override;
    void paintCell (juce::Graphics&, int row, int columnId, int width, int height, bool selected) override;
    void cellDoubleClicked (int row, int columnId, const juce::MouseEvent&) override;
    void sortOrderChanged (int columnId, bool forwards) override;
    int getColumnAutoSizeWidth (int columnId) override;
    void selectedRowsChanged (int lastSelectedRow) override;
    void returnKeyPressed (int lastSelectedRow) override;

    void resized() override;
    void focusGained (FocusChangeType) override;

    void tableColumnsChanged (juce::TableHeaderComponent*) override {}
    void tableColumnsResized (juce::TableHeaderComponent*) override;
    void tableSortOrderChanged (juce::TableHeaderComponent*) override {}

    /** What a cell of a hit reads. */
    static juce::String cellText (const PresetSearch::Result& result, int columnId);

private:
    void setCursorEverywhere (const juce::MouseCursor& shown);

    PresetSearch::Results& results;
    Owner& owner;
    juce::TableListBox listBox;
    ListFocusRing listRing { listBox };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TableResultsComponent)
};
