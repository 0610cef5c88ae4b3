#include "gui/dialogs/TableResultsComponent.h"

#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"

TableResultsComponent::TableResultsComponent (PresetSearch::Results& resultArray, Owner& searchOwner)
    : juce::Component ("SearchTable"), results (resultArray), owner (searchOwner)
{
    listBox.setModel (this);
    addAndMakeVisible (listBox);
    listBox.setWantsKeyboardFocus (true);
    const auto px = WidgetMetrics::pixels (*this);
    listBox.setOutlineThickness (px (1.0f));
    listBox.setColour (juce::ListBox::outlineColourId, Palette::searchTextColour);

    using Flags = juce::TableHeaderComponent::ColumnPropertyFlags;
    auto& header = listBox.getHeader();
    header.addColumn ("Rank", rankColumn, 5, 2, 10, 0);
    header.addColumn ("Preset #", numberColumn, px (60.0f), px (30.0f), -1, Flags::visible | Flags::resizable | Flags::sortable);
    header.addColumn ("Name", nameColumn, px (140.0f), px (30.0f), -1, Flags::visible | Flags::resizable | Flags::sortable);
    header.addColumn ("Location", locationColumn, px (160.0f), px (30.0f), -1, Flags::visible | Flags::sortable);
    header.setSortColumnId (rankColumn, false);
    header.setColumnVisible (rankColumn, false);
    header.addListener (this);

    listBox.setRowHeight (px (18.0f));
    listBox.setHeaderHeight (px (25.0f));

    resized();
    listBox.autoSizeColumn (numberColumn);
    listBox.autoSizeColumn (locationColumn);
}

TableResultsComponent::~TableResultsComponent()
{
    listBox.getHeader().removeListener (this);
}

//==============================================================================
int TableResultsComponent::getNumRows()
{
    return results.size();
}

void TableResultsComponent::paintRowBackground (juce::Graphics& g, int row, int, int, bool selected)
{
    if (selected)
        g.fillAll (Palette::selectionColour);
    else if (row % 2 == 1)
        g.fillAll (Palette::resultsOddRowColour);
}

juce::String TableResultsComponent::cellText (const PresetSearch::Result& result, int columnId)
{
    switch (columnId)
    {
        case numberColumn:    return result.isDataSetHit() ? juce::String ("[Pack]") : juce::String (result.presetNumber);
        case nameColumn:      return result.name;
        case locationColumn:  return result.location;
        default:              break;
    }

    return {};
}

void TableResultsComponent::paintCell (juce::Graphics& g, int row, int columnId, int width, int height, bool)
{
    if (row < 0 || row >= results.size() || columnId == rankColumn)
        return;

    g.setColour (Palette::searchTextColour);
    g.setFont (BVLookAndFeel::makeFont (WidgetMetrics::smallFontSize (*this)));
    g.drawText (cellText (results.getReference (row), columnId), 2, 0, width - 5, height,
                juce::Justification::centredLeft, true);

    g.setColour (juce::Colours::black.withAlpha (0.2f));
    g.fillRect (width - 1, 0, 1, height);
}

void TableResultsComponent::cellDoubleClicked (int row, int, const juce::MouseEvent&)
{
    selectedRowsChanged (row);
    owner.closeSearch();
}

void TableResultsComponent::sortOrderChanged (int columnId, bool forwards)
{
    // The marked row follows its hit, which the page goes on showing.
    const auto row = listBox.getSelectedRow();
    const auto marked = juce::isPositiveAndBelow (row, results.size()) ? results[row] : PresetSearch::Result();

    owner.sortResults (columnId, forwards ? 1 : -1);

    if (! juce::isPositiveAndBelow (row, results.size()))
        return;

    for (int i = 0; i < results.size(); ++i)
    {
        const auto& r = results.getReference (i);

        if (r.dataSet == marked.dataSet && r.presetNumber == marked.presetNumber && r.name == marked.name)
        {
            juce::SparseSet<int> rows;
            rows.addRange ({ i, i + 1 });
            listBox.setSelectedRows (rows, juce::dontSendNotification);
            listBox.scrollToEnsureRowIsOnscreen (i);
            return;
        }
    }
}

int TableResultsComponent::getColumnAutoSizeWidth (int columnId)
{
    const auto h = WidgetMetrics::smallFontSize (*this);
    const auto s = WidgetMetrics::scale (*this);
    auto& header = listBox.getHeader();

    switch (columnId)
    {
        case numberColumn:
            return juce::roundToInt (BVLookAndFeel::makeFont (h, juce::Font::bold).getStringWidthFloat ("Preset #  "));

        case nameColumn:
        {
            const auto font = BVLookAndFeel::makeFont (h);
            int widest = 1;

            for (const auto& result : results)
                widest = juce::jmax (widest, juce::roundToInt (font.getStringWidthFloat (result.name)));

            return juce::roundToInt (10.0f * s + (float) widest);
        }

        case locationColumn:
        {
            const auto rest = getWidth() - header.getColumnWidth (numberColumn) - header.getColumnWidth (nameColumn) - juce::roundToInt (22.0f * s);
            return 30.0f * s > (float) rest ? juce::roundToInt (30.0f * s) : rest;
        }

        default:
            break;
    }

    return 0;
}

void TableResultsComponent::selectedRowsChanged (int lastSelectedRow)
{
    // No row, or a row that holds no hit, hands over the empty record.
    owner.selectResult (juce::isPositiveAndBelow (lastSelectedRow, results.size()) ? results[lastSelectedRow] : PresetSearch::Result());
}

void TableResultsComponent::returnKeyPressed (int)
{
    owner.closeSearch();
}

//==============================================================================
void TableResultsComponent::resized()
{
    listBox.setBounds (getLocalBounds().reduced (1));
    listBox.autoSizeColumn (locationColumn);
}

void TableResultsComponent::focusGained (FocusChangeType)
{
    listBox.grabKeyboardFocus();

    if (! results.isEmpty())
        listBox.selectRow (0);
}

void TableResultsComponent::tableColumnsResized (juce::TableHeaderComponent*)
{
    listBox.autoSizeColumn (locationColumn);
}

//==============================================================================
void TableResultsComponent::setCursorEverywhere (const juce::MouseCursor& shown)
{
    listBox.setMouseCursor (shown);
    listBox.getHeader().setMouseCursor (shown);

    if (auto* viewport = listBox.getViewport())
    {
        viewport->setMouseCursor (shown);

        if (auto* rows = viewport->getViewedComponent())
        {
            rows->setMouseCursor (shown);

            for (auto* row : rows->getChildren())
                row->setMouseCursor (shown);
        }
    }
}

void TableResultsComponent::showBusyCursor()
{
    setCursorEverywhere (juce::MouseCursor::WaitCursor);
}

void TableResultsComponent::showNormalCursor()
{
    setCursorEverywhere (juce::MouseCursor::NormalCursor);
}
