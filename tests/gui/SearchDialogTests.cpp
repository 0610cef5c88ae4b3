// The preset search dialog: its filters and their settings, searching as the
// user types, what a list of hits looks like, and showing a hit on the page.

#include "gui/DialogTestSupport.h"
#include "gui/Palette.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/SearchDialog.h"
#include "search/SearchFixtures.h"

using namespace DialogTests;
using namespace SearchFixtures;
using PresetSearch::Result;

namespace
{
    /** The data page as the search sees it: records what it is asked to show. */
    struct FakePage : SearchTarget
    {
        explicit FakePage (const juce::ValueTree& r) : root (r) {}

        bool selectItemFor (const juce::ValueTree& node) override
        {
            calls.add ("item " + node[SourceTreeIds::label].toString());
            return node.isAChildOf (root);
        }
        void setSelectedPresets (const juce::Array<int>& indices) override
        {
            juce::StringArray numbers;

            for (auto i : indices)
                numbers.add (juce::String (i));

            calls.add ("select " + numbers.joinIntoString (","));
        }
        void scrollToPreset (int index) override                         { calls.add ("scroll " + juce::String (index)); }
        juce::Image getUnitPicture() const override                      { return unitPicture; }

        juce::ValueTree root;
        juce::StringArray calls;
        juce::Image unitPicture;
    };

    DeviceCaps capsWithTags (int numTags)
    {
        DeviceCaps caps;
        caps.caps = capsWith (40);
        caps.presetTagCount = numTags;
        caps.presetTagLabels = { "Lead", "Harmony", "FX" };
        return caps;
    }

    juce::StringArray names (const PresetSearch::Results& results)
    {
        juce::StringArray list;

        for (const auto& r : results)
            list.add (r.name);

        return list;
    }

    juce::Array<bool> states (const juce::OwnedArray<juce::ToggleButton>& toggles)
    {
        juce::Array<bool> on;

        for (auto* t : toggles)
            on.add (t->getToggleState());

        return on;
    }

    /** Types the query as the user would and waits for its hits. */
    void type (SearchContent& content, const juce::String& query)
    {
        content.getSearchField().setText (query, true);
        deliverPosted();
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content.isSearching(); }));
    }

    struct SearchTest : SettingsFixture
    {
        std::unique_ptr<SearchContent> makeContent (int numTags = 3)
        {
            return std::make_unique<SearchContent> (page, tree.devices(), tree.backups(), tree.clouds(), capsWithTags (numTags));
        }

        static Result hit (float rank, const juce::String& name = "Hit")
        {
            Result r;
            r.rank = rank;
            r.presetNumber = 1;
            r.name = name;
            return r;
        }

        WidgetTests::ScopedLookAndFeel look { 1.0f };
        Tree tree;
        FakePage page { tree.root };
    };
}

//==============================================================================
TEST_F (SearchTest, TagFiltersStartFromTheStoredMaskOfTheSameProductOnly)
{
    const std::pair<const char*, juce::Array<bool>> cases[] = {
        { "",          { true, true, true } },     // nothing stored: all tags
        { "33 5",      { true, false, true } },    // this product (0x21)
        { "289 2",     { false, true, false } },   // 289 is 0x121: compared in its low 8 bits
        { "34 5",      { true, true, true } },     // another product
        { "33",        { true, true, true } },     // no mask
        { "33,,5",     { true, true, true } },     // empty mask token
        { " 33,+4 ",   { false, false, true } },
        { "33 -1",     { true, true, true } },
        { "33 x",      { false, false, false } },    // no digits: no tags
        { "33 -9223372036854775808", { false, false, false } },
        { "33 99999999999999999999999999", { true, true, true } },   // 0x...FFFF: wraps, never overruns
        { "x 5",       { true, true, true } }
    };

    for (const auto& [stored, expected] : cases)
    {
        SCOPED_TRACE (stored);
        settings().setValue ("presetSearchSelectedTags", stored);
        auto content = makeContent();
        EXPECT_EQ (states (content->getTagToggles()), expected);
        EXPECT_EQ (content->getSelectAllButton().getButtonText(), expected.contains (false) ? "Select All" : "Select None");
    }
}

TEST_F (SearchTest, FiltersAreStoredAndRestored)
{
    settings().setValue ("presetSearchSelectedLocations", 5);
    {
        auto content = makeContent();
        EXPECT_EQ (states (content->getLocationToggles()), juce::Array<bool> ({ true, false, true }));
        EXPECT_EQ (content->getSelectedLocationNames(), juce::StringArray ({ "Device", "Cloud" }));

        content->getTagToggles()[1]->setToggleState (false, juce::dontSendNotification);
        content->getLocationToggles()[0]->setToggleState (false, juce::dontSendNotification);
    }

    EXPECT_EQ (settings().getValue ("presetSearchSelectedTags"), "33 5");
    EXPECT_EQ (settings().getIntValue ("presetSearchSelectedLocations"), 4);

    auto again = makeContent();
    EXPECT_EQ (states (again->getTagToggles()), juce::Array<bool> ({ true, false, true }));
    EXPECT_EQ (states (again->getLocationToggles()), juce::Array<bool> ({ false, false, true }));
}

TEST_F (SearchTest, TagsBeyondThe32ndAreKept)
{
    settings().setValue ("presetSearchSelectedTags", "33 6442450944");   // tags 31 and 32
    {
        auto content = makeContent (33);
        auto& toggles = content->getTagToggles();
        ASSERT_EQ (toggles.size(), 33);
        EXPECT_TRUE (toggles[31]->getToggleState());
        EXPECT_TRUE (toggles[32]->getToggleState());
        EXPECT_FALSE (toggles[0]->getToggleState());
        EXPECT_EQ (SearchContent::getToggleMask (toggles), ((uint64_t) 1 << 32) | (1u << 31));
        toggles[0]->setToggleState (true, juce::dontSendNotification);
    }

    EXPECT_EQ (settings().getValue ("presetSearchSelectedTags"), "33 6442450945");
}

TEST_F (SearchTest, WithoutAUnitTheLocationMenuShowsTheBuiltInDeviceIcon)
{
    SearchContent content (page, {}, tree.backups(), tree.clouds(), capsWithTags (3));
    int icons = 0, items = 0;

    for (juce::PopupMenu::MenuItemIterator it (content.getLocationMenu()); it.next();)
    {
        ++items;

        if (auto* item = it.getItem().customComponent.get())
            for (auto* child : item->getChildren())
                icons += dynamic_cast<juce::Drawable*> (child) != nullptr ? 1 : 0;
    }

    EXPECT_EQ (items, 1);
    EXPECT_EQ (icons, 3);
}

TEST_F (SearchTest, TheDeviceLocationShowsTheConnectedUnitsPicture)
{
    page.unitPicture = juce::Image (juce::Image::ARGB, 8, 8, true);
    auto content = makeContent();
    juce::Image shown;

    for (juce::PopupMenu::MenuItemIterator it (content->getLocationMenu()); it.next();)
        if (auto* item = it.getItem().customComponent.get())
            for (auto* child : item->getChildren())
                if (auto* picture = dynamic_cast<juce::DrawableImage*> (child); picture != nullptr && ! shown.isValid())
                    shown = picture->getImage();

    EXPECT_EQ (shown, page.unitPicture);
}

TEST_F (SearchTest, WithoutTagsThereIsNoTagButtonAndNoTagFilter)
{
    auto content = makeContent (0);
    EXPECT_FALSE (content->getTagButton().isVisible());
    EXPECT_TRUE (content->getLocationButton().isVisible());
    EXPECT_TRUE (content->getTagToggles().isEmpty());

    content->startSearch();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
    EXPECT_EQ (content->getResults().size(), 9);
}

TEST_F (SearchTest, SelectAllNamesTheOppositeActionAndSearchesAgain)
{
    settings().setValue ("presetSearchSelectedTags", "33 1");
    auto content = makeContent();
    auto& selectAll = content->getSelectAllButton();

    selectAll.triggerClick();
    deliverPosted();
    EXPECT_EQ (states (content->getTagToggles()), juce::Array<bool> ({ true, true, true }));
    EXPECT_EQ (selectAll.getButtonText(), "Select None");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
    EXPECT_EQ (content->getResults().size(), 9);

    selectAll.triggerClick();
    deliverPosted();
    EXPECT_EQ (states (content->getTagToggles()), juce::Array<bool> ({ false, false, false }));
    EXPECT_EQ (selectAll.getButtonText(), "Select All");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
    EXPECT_EQ (names (content->getResults()), juce::StringArray ({ "Big Reverb", "Vox" }));   // untagged only

    content->getTagToggles()[0]->triggerClick();
    deliverPosted();
    EXPECT_EQ (selectAll.getButtonText(), "Select All");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
}

//==============================================================================
TEST_F (SearchTest, TypingSearchesAndShowsTheBestFirstWithNothingSelected)
{
    auto content = makeContent();
    content->setTopLeftPosition (4, 30);
    EXPECT_EQ (content->getBounds(), juce::Rectangle<int> (4, 30, 350, 45));
    EXPECT_TRUE (content->getNoResultsLabel().isVisible());   // only the search row shows at first

    type (*content, "big reverb");
    EXPECT_EQ (content->getBounds(), juce::Rectangle<int> (4, 30, 525, 400));
    EXPECT_EQ (names (content->getResults()),
               juce::StringArray ({ "Big Reverb", "Big Reverb", "Big Reverb", "Reverb Set", "Plate Verb" }));
    EXPECT_EQ (content->getResults()[0].location, "Vesper - Vesper");   // equal ranks: the unit first
    EXPECT_EQ (content->getResults()[0].dataSet, tree.device);
    EXPECT_EQ (content->getResults()[2].dataSet, tree.pack);
    EXPECT_FALSE (content->getNoResultsLabel().isVisible());
    EXPECT_EQ (content->getTable().getListBox().getNumSelectedRows(), 0);
    EXPECT_TRUE (page.calls.isEmpty());

    // Later queries keep the size.
    type (*content, "nothing like it");
    EXPECT_EQ (content->getBounds(), juce::Rectangle<int> (4, 30, 525, 400));
    EXPECT_TRUE (content->getResults().isEmpty());
    EXPECT_TRUE (content->getNoResultsLabel().isVisible());

    // The query is capped in length.
    content->getSearchField().insertTextAtCaret (juce::String::repeatedString ("ab", 100));
    EXPECT_EQ (content->getSearchText().length(), SearchBar::maxQueryLength);
    deliverPosted();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
}

TEST_F (SearchTest, OnlyTheNewestSearchesHitsAreShown)
{
    auto content = makeContent();

    // Two queries before any hits arrive: the first one's hits, if posted, are dropped.
    content->getSearchField().setText ("vox", false);
    content->startSearch();
    content->getSearchField().setText ("plate", false);
    content->startSearch();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content->isSearching(); }));
    deliverPosted();
    EXPECT_EQ (names (content->getResults()), juce::StringArray ({ "Plate Verb" }));

    // A late message of an earlier search changes nothing.
    PresetSearch::Results stale;
    stale.add (hit (0.9f, "Stale"));
    content->handleMessage (PresetSearch::ResultsMessage (1, stale));
    EXPECT_EQ (names (content->getResults()), juce::StringArray ({ "Plate Verb" }));
}

TEST_F (SearchTest, ManyHitsArePrunedToTheBestWhenThereAreEnoughOfThem)
{
    auto content = makeContent();
    const auto listOf = [] (int total, int good)
    {
        PresetSearch::Results list;

        for (int i = 0; i < total; ++i)
            list.add (hit (i < good ? (i % 2 == 0 ? 0.7f : 0.95f) : 0.69f, "Hit " + juce::String (i)));

        return list;
    };

    content->setResults (listOf (40, 20));
    EXPECT_EQ (content->getResults().size(), 20);
    content->setResults (listOf (40, 16));
    EXPECT_EQ (content->getResults().size(), 16);
    content->setResults (listOf (40, 15));
    EXPECT_EQ (content->getResults().size(), 40);
    content->setResults (listOf (29, 29));
    EXPECT_EQ (content->getResults().size(), 29);
    EXPECT_EQ (content->getResults()[0].rank, 0.95f);
}

TEST_F (SearchTest, AHitIsShownOnThePage)
{
    auto content = makeContent();
    content->selectResult (Result (PresetSearch::dataSetHit, "Reverb Set", tree.secondBackup, 0.8f));
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Reverb Set" }));

    page.calls.clear();
    content->selectResult (Result (5, "Clean Double", tree.device, 0.8f));
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Vesper", "select 5", "scroll 5" }));

    page.calls.clear();
    content->selectResult (Result (0, "Zero", tree.device, 0.8f));   // slot 0 is a preset like any other
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Vesper", "select 0", "scroll 0" }));

    // A hit whose backup was deleted while the search was open: the page selects nothing, not that slot of what it shows.
    tree.secondBackup.getParent().removeChild (tree.secondBackup, nullptr);
    page.calls.clear();
    content->selectResult (Result (2, "Plate Verb", tree.secondBackup, 0.8f));
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Reverb Set", "select " }));

    page.calls.clear();
    content->selectResult (Result (5, "Clean Double", tree.device, 0.8f));
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Vesper", "select 5", "scroll 5" }));
}

//==============================================================================
TEST_F (SearchTest, TableShowsSelectsAndSortsHits)
{
    auto content = makeContent();
    content->setSize (600, 400);
    type (*content, "vox");
    auto& table = content->getTable();
    auto& list = table.getListBox();
    ASSERT_GE (content->getResults().size(), 2);

    // Focus on the table shows the first hit at once.
    table.focusGained (juce::Component::focusChangedByTabKey);
    EXPECT_EQ (list.getSelectedRow(), 0);
    EXPECT_EQ (page.calls.size(), 3);

    // Clearing the selection, or a row without a hit, hands the page the empty record: no hit stays marked.
    page.calls.clear();
    list.deselectAllRows();
    EXPECT_EQ (page.calls, juce::StringArray ({ "item ", "select " }));
    page.calls.clear();
    table.selectedRowsChanged (content->getResults().size());
    EXPECT_EQ (page.calls, juce::StringArray ({ "item ", "select " }));

    // Cells of a preset and of a data set.
    const auto first = content->getResults()[0];
    EXPECT_EQ (TableResultsComponent::cellText (first, 2), juce::String (first.presetNumber));
    EXPECT_EQ (TableResultsComponent::cellText (Result (PresetSearch::dataSetHit, "Live Vox 2.0", tree.pack, 1.0f), 2), "[Pack]");
    EXPECT_EQ (TableResultsComponent::cellText (Result (PresetSearch::dataSetHit, "Live Vox 2.0", tree.pack, 1.0f), 4), "Cloud");
    EXPECT_EQ (TableResultsComponent::cellText (first, 1), "");

    // The hidden rank column, and the location column taking the rest.
    auto& header = list.getHeader();
    EXPECT_FALSE (header.isColumnVisible (1));
    EXPECT_EQ (header.getSortColumnId(), 1);
    EXPECT_TRUE (header.isSortedForwards());
    EXPECT_EQ (header.getColumnWidth (4), table.getWidth() - header.getColumnWidth (2) - header.getColumnWidth (3) - 22);

    // A click on "Name" sorts by name; the marked row moves with its hit, which the page still shows.
    list.selectRow (0);
    const auto marked = content->getResults()[0];
    page.calls.clear();
    header.setSortColumnId (3, true);
    deliverPosted();
    juce::StringArray sorted = names (content->getResults());
    sorted.sort (false);
    EXPECT_EQ (names (content->getResults()), sorted);
    ASSERT_NE (sorted[0], marked.name);
    const auto row = list.getSelectedRow();
    ASSERT_GE (row, 0);
    EXPECT_EQ (content->getResults()[row].name, marked.name);
    EXPECT_EQ (content->getResults()[row].presetNumber, marked.presetNumber);
    EXPECT_TRUE (page.calls.isEmpty()) << page.calls.joinIntoString ("; ");
}

TEST_F (SearchTest, RowsAreTintedOddAndSelected)
{
    auto content = makeContent();
    content->setSize (600, 400);
    type (*content, "");
    auto& table = content->getTable();

    const auto colourOf = [&] (int row, bool selected)
    {
        juce::Image image (juce::Image::ARGB, 20, 18, true);
        juce::Graphics g (image);
        table.paintRowBackground (g, row, 20, 18, selected);
        return image.getPixelAt (10, 9);
    };

    EXPECT_EQ (colourOf (1, false), Palette::resultsOddRowColour);
    EXPECT_EQ (colourOf (2, false).getAlpha(), 0);
    EXPECT_EQ (colourOf (2, true), Palette::selectionColour);
    EXPECT_EQ (colourOf (3, true), Palette::selectionColour);
}

//==============================================================================
class SearchDialogTest : public DisplayTest
{
protected:
    WidgetTests::ScopedLookAndFeel look { 1.0f };
    Tree tree;
    FakePage page { tree.root };

    std::unique_ptr<SearchDialog> makeDialog()
    {
        return std::make_unique<SearchDialog> (page, tree.devices(), tree.backups(), tree.clouds(), capsWithTags (3));
    }
};

TEST_F (SearchDialogTest, OpensAtTheStoredPlaceAndStoresItOnEscape)
{
    {
        auto dialog = makeDialog();
        EXPECT_EQ (dialog->getName(), "Find Preset");
        EXPECT_EQ (dialog->getBackgroundColour(), Palette::searchBackgroundColour);
        EXPECT_EQ (dialog->getPosition(), juce::Point<int> (20, 120));
        EXPECT_FALSE (dialog->isResizable());

        runModally (*dialog, [] (BelvoraDialog& d)
        {
            auto& field = dynamic_cast<SearchDialog&> (d).getSearchContent().getSearchField();
            field.grabKeyboardFocus();
            d.setTopLeftPosition (60, 70);
            EXPECT_FALSE (field.keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));   // passed on to the window
            d.getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::escapeKey));
        });

        EXPECT_FALSE (dialog->isVisible());
    }

    EXPECT_EQ (settings().getIntValue ("presetSearchWindowPositionX"), 60);
    EXPECT_EQ (settings().getIntValue ("presetSearchWindowPositionY"), 70);
    EXPECT_EQ (settings().getValue ("presetSearchSelectedTags"), "33 7");
    EXPECT_EQ (settings().getIntValue ("presetSearchSelectedLocations", -1), 7);

    auto again = makeDialog();
    EXPECT_EQ (again->getPosition(), juce::Point<int> (60, 70));
    again.reset();

    // A place on a screen that is gone (or a damaged setting) would hide the modal window: it comes back on screen.
    for (auto place : { juce::Point<int> (5000, 4000), juce::Point<int> (-3000, -200) })
    {
        settings().setValue ("presetSearchWindowPositionX", place.x);
        settings().setValue ("presetSearchWindowPositionY", place.y);
        auto moved = makeDialog();
        const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (moved->getBounds());
        ASSERT_NE (display, nullptr);
        EXPECT_TRUE (display->userArea.contains (moved->getBounds())) << moved->getBounds().toString();
    }
}

TEST_F (SearchDialogTest, DoubleClickOnAHitSelectsItsPresetAndCloses)
{
    auto dialog = makeDialog();

    runModally (*dialog, [&] (BelvoraDialog& d)
    {
        auto& content = dynamic_cast<SearchDialog&> (d).getSearchContent();
        type (content, "clean double");
        EXPECT_TRUE (d.isResizable());

        auto& list = content.getTable().getListBox();
        ASSERT_EQ (content.getResults()[0].name, "Clean Double");
        auto* row = list.getComponentForRowNumber (0);
        ASSERT_NE (row, nullptr);

        const auto now = juce::Time::getCurrentTime();
        const juce::Point<float> at (40.0f, 5.0f);
        const juce::MouseEvent click (juce::Desktop::getInstance().getMainMouseSource(), at, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                      row, row, now, at, now, 1, false);
        row->mouseDown (click);
        row->mouseUp (click);
        row->mouseDoubleClick (click.withNewPosition (at));
    });

    EXPECT_FALSE (dialog->isVisible());
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Vesper", "select 5", "scroll 5",     // the click
                                                "item Vesper", "select 5", "scroll 5" })); // the double-click, then closed
}

TEST_F (SearchDialogTest, TabGoesAlongTheSearchRowToTheTableWhichShowsTheFocusAndReturnThereCloses)
{
    auto dialog = makeDialog();
    int ringBefore = -1, ringAfter = -1, ringFull = 0;
    juce::StringArray order;

    runModally (*dialog, [&] (BelvoraDialog& d)
    {
        auto& content = dynamic_cast<SearchDialog&> (d).getSearchContent();
        type (content, "plate");

        // Tab goes on from the search field to the table, which then wears the focus ring.
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.getPeer()->isFocused() && d.isParentOf (juce::Component::getCurrentlyFocusedComponent()); }));
        auto& table = content.getTable();
        auto& list = table.getListBox();
        const auto ringPixels = [&]
        {
            table.repaint();
            const auto edge = juce::Rectangle<int> (list.getX(), list.getY() + list.getHeight() / 4, 2, list.getHeight() / 2);
            return WidgetTests::countPixels (WidgetTests::snapshot (table), edge, WidgetTests::hue (Palette::focusRingColour, 8));
        };

        content.getSearchField().grabKeyboardFocus();
        ringBefore = ringPixels();

        // The search row left to right first, then the hits.
        for (int i = 0; i < 6 && ! list.hasKeyboardFocus (true); ++i)
        {
            ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
            order.add (juce::Component::getCurrentlyFocusedComponent()->getName());
        }

        ASSERT_TRUE (list.hasKeyboardFocus (true));
        ringAfter = ringPixels();
        ringFull = 2 * (list.getHeight() / 2);

        // Back in the field, the first Down goes to the hits and lands on the best of them.
        content.getSearchField().grabKeyboardFocus();
        list.deselectAllRows();
        page.calls.clear();
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::downKey)));
        EXPECT_TRUE (list.hasKeyboardFocus (false));
        EXPECT_TRUE (list.getNumSelectedRows() == 1 && list.isRowSelected (0));
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
    });

    EXPECT_FALSE (dialog->isVisible());
    EXPECT_EQ (order.joinIntoString (", "), "btnTags, btnLocation, " + dialog->getSearchContent().getTable().getListBox().getName());
    EXPECT_EQ (ringBefore, 0);
    EXPECT_EQ (ringAfter, ringFull);
    EXPECT_EQ (page.calls, juce::StringArray ({ "item Reverb Set", "select 2", "scroll 2" }));
}

TEST_F (SearchDialogTest, WithNothingTypedTabSkipsTheHitsAndLettersTypedAnywhereGoOnTheQuery)
{
    auto dialog = makeDialog();
    juce::StringArray order, queries;
    bool tableHadFocus = false;

    runModally (*dialog, [&] (BelvoraDialog& d)
    {
        auto& content = dynamic_cast<SearchDialog&> (d).getSearchContent();
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return d.getPeer()->isFocused() && d.isParentOf (juce::Component::getCurrentlyFocusedComponent()); }));
        content.getSearchField().grabKeyboardFocus();

        // Round the window once: the table, with no room yet, is no stop.
        do
        {
            if (! pressKey (juce::KeyPress (juce::KeyPress::tabKey)) || order.size() == 8)
                break;

            order.add (juce::Component::getCurrentlyFocusedComponent()->getName());
            tableHadFocus = tableHadFocus || content.getTable().hasKeyboardFocus (true);
        }
        while (! content.getSearchField().hasKeyboardFocus (false));

        // On a filter button, then in the hits, letters go on the query.
        content.getLocationButton().grabKeyboardFocus();
        typeText ("pl");
        queries.add (content.getSearchText());
        TestEnvironment::runMessageLoopUntil ([&] { return ! content.isSearching(); });

        if (content.focusOnBestMatch() && typeText ("a"))
            queries.add (content.getSearchText());

        d.closeButtonPressed();
    });

    EXPECT_FALSE (tableHadFocus) << order.joinIntoString (", ");
    EXPECT_EQ (queries, juce::StringArray ({ "pl", "pla" }));
}

TEST_F (SearchDialogTest, AMenuLeftOpenOutlivesTheDialog)
{
    {
        auto dialog = makeDialog();
        dialog->setVisible (true);
        dialog->getSearchContent().getLocationButton().triggerClick();
        deliverPosted();
    }

    // The menu's item still holds the toggles' places; closing it touches nothing that went.
    EXPECT_TRUE (juce::PopupMenu::dismissAllActiveMenus());
    deliverPosted();
}
