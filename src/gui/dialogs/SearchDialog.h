#pragma once

#include "base/MessageTarget.h"
#include "devices/DeviceCaps.h"
#include "gui/SearchDialogLaf.h"
#include "gui/dialogs/BelvoraDialog.h"
#include "gui/dialogs/SearchTarget.h"
#include "search/SearchThread.h"
#include "gui/dialogs/TableResultsComponent.h"
#include "gui/widgets/TextOnlyButton.h"

/** The search field: a magnifier and the prompt "Search" while it is empty
    and unfocused. The query is capped in length: every typed character
    costs a pass over each candidate's letter pairs. */
class SearchBar : public juce::TextEditor,
                  private juce::TextEditor::Listener
{
public:
    static constexpr int maxQueryLength = 64;

    explicit SearchBar (const juce::String& name);
    ~SearchBar() override;

    /** Whether the magnifier and the prompt show. */
    bool isPromptShown() const;

    void paintOverChildren (juce::Graphics&) override;
    void resized() override;
    void focusGained (FocusChangeType) override;
    void focusLost (FocusChangeType) override;
    bool keyPressed (const juce::KeyPress&) override;

    /** Down in the field: true when it went on to the hits. */
    std::function<bool()> onDown;

private:
    void textEditorTextChanged (juce::TextEditor&) override;
    void updatePrompt();

    juce::DrawableImage icon;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SearchBar)
};

//==============================================================================
/** "Find Preset"'s content: the search field, the tag and location filters
    and the results table. Every change of the query or of a filter starts a
    new background search over a snapshot of the given nodes; selecting a hit
    shows it on the target. Remembers its filters in the user settings. */
class SearchContent : public juce::Component,
                      public juce::Button::Listener,
                      public juce::TextEditor::Listener,
                      public MessageTarget,
                      public TableResultsComponent::Owner
{
public:
    SearchContent (SearchTarget& page, const juce::Array<juce::ValueTree>& deviceNodes,
                   const juce::Array<juce::ValueTree>& backupNodes, const juce::Array<juce::ValueTree>& cloudNodes,
                   const DeviceCaps& caps);
    ~SearchContent() override;

    /** Stops the current search, clears the list and starts a search with the field and the filters. */
    void startSearch();

    /** Shows a list of hits: many are pruned to the best, sorted best first, nothing selected. */
    void setResults (const PresetSearch::Results& newResults);

    /** Stops the search without waiting and closes the dialog it is in. */
    void closeSearch() override;

    void selectResult (PresetSearch::Result result) override;
    void sortResults (int columnId, int direction) override;

    juce::String getSearchText() const;
    juce::StringArray getSelectedLocationNames() const;
    static uint64_t getToggleMask (const juce::OwnedArray<juce::ToggleButton>& toggles);

    /** The filters as they are stored ("presetSearchSelectedTags", "presetSearchSelectedLocations"). */
    void storeFilterSettings() const;

    /** Between the start of a search and the arrival of its hits. */
    bool isSearching() const noexcept                  { return searching; }

    void showBusyCursor();
    void showNormalCursor();

    void focusOnSearchField();

    /** The keys go on from the field to the hits, the best selected (and shown); false without hits. */
    bool focusOnBestMatch();

    SearchBar& getSearchField() noexcept                                   { return searchField; }
    TableResultsComponent& getTable() noexcept                             { return table; }
    const PresetSearch::Results& getResults() const noexcept               { return results; }
    juce::Label& getNoResultsLabel() noexcept                              { return noResults; }
    juce::DrawableButton& getTagButton() noexcept                          { return tagButton; }
    juce::DrawableButton& getLocationButton() noexcept                     { return locationButton; }
    TextOnlyButton& getSelectAllButton() noexcept                          { return selectAllButton; }
    juce::OwnedArray<juce::ToggleButton>& getTagToggles() noexcept         { return tagToggles; }
    juce::OwnedArray<juce::ToggleButton>& getLocationToggles() noexcept    { return locationToggles; }
    juce::PopupMenu& getTagMenu() noexcept                                 { return tagMenu; }
    juce::PopupMenu& getLocationMenu() noexcept                            { return locationMenu; }
    SearchDialogLaf& getMenuLookAndFeel() noexcept                         { return laf; }

    void buttonClicked (juce::Button*) override;
    void textEditorTextChanged (juce::TextEditor&) override;
    void handleMessage (const juce::Message&) override;
    void resized() override;

    /** A character typed where it would be lost (a filter button, the hits) goes on the query. */
    bool keyPressed (const juce::KeyPress& key) override;

private:
    void readTagSetting (int numTags);
    void showCursor (const juce::MouseCursor& shown);
    void retireSearch();
    void reapRetiredSearches();

    SearchDialogLaf laf;   // of the menus, at the scale of the program's look-and-feel
    SearchBar searchField { "searchField" };
    juce::DrawableButton tagButton { "btnTags", juce::DrawableButton::ImageFitted };
    juce::DrawableButton locationButton { "btnLocation", juce::DrawableButton::ImageFitted };
    juce::Label noResults { "lblNoResults", "No Results" };
    juce::PopupMenu tagMenu;
    TextOnlyButton selectAllButton { "Select All", {}, juce::Justification::centredRight };
    juce::PopupMenu locationMenu;
    juce::OwnedArray<juce::ToggleButton> tagToggles, locationToggles;
    const juce::Array<juce::ValueTree> deviceNodes, backupNodes, cloudNodes;
    PresetSearch::Results results;
    TableResultsComponent table { results, *this };

    std::unique_ptr<SearchThread> searchThread;
    std::vector<std::unique_ptr<SearchThread>> retired;   // asked to stop, not yet ended
    juce::Array<juce::ValueTree> searchedNodes;            // the current search's data sets, by index
    int searchCount = 0;
    bool searching = false;

    SearchTarget& page;
    const uint8_t productId;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SearchContent)
};

//==============================================================================
/** "Find Preset": a small window at its remembered position with the search
    content; a double-click on a hit or Return closes it. The data page runs
    it modally and destroys it when it has closed. */
class SearchDialog : public BelvoraDialog
{
public:
    SearchDialog (SearchTarget& page, const juce::Array<juce::ValueTree>& deviceNodes,
                  const juce::Array<juce::ValueTree>& backupNodes, const juce::Array<juce::ValueTree>& cloudNodes,
                  const DeviceCaps& caps);

    SearchContent& getSearchContent() const;

    void focusGained (FocusChangeType) override;

    /** Stores the position and the filters, hides the window and ends the
        modal run. The content lives on until the dialog is destroyed, so a
        table callback that closes the search returns into live objects. */
    void closeButtonPressed() override;

    /** Escape closes as the close button does, so the position is kept too. */
    bool escapeKeyPressed() override;
};
