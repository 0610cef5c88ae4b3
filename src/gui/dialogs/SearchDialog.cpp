#include "gui/dialogs/SearchDialog.h"

#include "base/BelvoraSettings.h"
#include "gui/Palette.h"
#include "gui/SourceTreeIcons.h"
#include "gui/widgets/WidgetMetrics.h"

namespace
{
    const char* const tagsKey = "presetSearchSelectedTags";
    const char* const locationsKey = "presetSearchSelectedLocations";
    const char* const positionXKey = "presetSearchWindowPositionX";
    const char* const positionYKey = "presetSearchWindowPositionY";

    juce::PropertiesFile& settings()   { return BelvoraSettings::getUserSettings(); }

    int px (float v)                   { return juce::roundToInt (v); }

    /** The drawing rendered into a square image of that size. */
    juce::Image renderSquare (const juce::Drawable* drawing, int size)
    {
        juce::Image image (juce::Image::ARGB, juce::jmax (1, size), juce::jmax (1, size), true);

        if (drawing != nullptr)
        {
            juce::Graphics g (image);
            drawing->drawWithin (g, image.getBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
        }

        return image;
    }

    /** A filter button: the icon, and under the mouse the icon rendered at hoverSize and darkened. */
    void setFilterImages (juce::DrawableButton& button, const char* resource, int hoverSize, const juce::String& tooltip)
    {
        auto normal = SourceTreeIcons::createResourceDrawable (resource);
        juce::DrawableImage over;
        over.setImage (renderSquare (normal.get(), hoverSize));
        over.setOverlayColour (juce::Colours::black.withAlpha (0.2f));
        button.setImages (normal.get(), &over);
        button.setTooltip (tooltip);
    }

    //==============================================================================
    // The menus' items hold the toggles; clicking them never triggers the menu.
    // A menu may still be open when the content and its toggles go, hence the
    // safe pointers.
    using SafeButton = juce::Component::SafePointer<juce::Button>;
    struct SelectAllButton : juce::PopupMenu::CustomComponent
    {
        explicit SelectAllButton (TextOnlyButton& b) : juce::PopupMenu::CustomComponent (false), button (&b)
        {
            addAndMakeVisible (b);
        }

        void getIdealSize (int& w, int& h) override
        {
            const auto m = WidgetMetrics::sizes (*this);
            const auto small = WidgetMetrics::smallFontSize (*this);
            w = px (30.0f * m.scale + BVLookAndFeel::makeFont (small).getStringWidthFloat ("Select None"));
            h = px (1.4f * small + (float) m.gap);
        }

        void resized() override
        {
            const auto gap = WidgetMetrics::gap (*this);

            if (button != nullptr)
                button->setBounds (0, gap / 2, getWidth() - gap, px (1.4f * WidgetMetrics::smallFontSize (*this)));
        }

        SafeButton button;
    };

    struct TagMenuButton : juce::PopupMenu::CustomComponent
    {
        explicit TagMenuButton (juce::ToggleButton& t)
            : juce::PopupMenu::CustomComponent (false), toggle (&t), text (t.getButtonText())
        {
            addAndMakeVisible (t);
        }

        void getIdealSize (int& w, int& h) override
        {
            const auto small = WidgetMetrics::smallFontSize (*this);
            const auto font = BVLookAndFeel::makeFont (small, juce::Font::bold);
            w = px (font.getStringWidthFloat (text) + 50.0f * WidgetMetrics::scale (*this));
            h = px (1.4f * small + (float) (WidgetMetrics::gap (*this) / 2));
        }

        void resized() override
        {
            if (toggle != nullptr)
                toggle->setBounds (WidgetMetrics::gap (*this), 0, getWidth(), px (1.4f * WidgetMetrics::smallFontSize (*this)));
        }

        SafeButton toggle;
        const juce::String text;
    };

    struct LocationsMenuItem : juce::PopupMenu::CustomComponent
    {
        LocationsMenuItem (juce::OwnedArray<juce::ToggleButton>& locationToggles, const juce::ValueTree& firstDeviceNode,
                           const juce::Image& unitPicture)
            : juce::PopupMenu::CustomComponent (false)
        {
            const auto mask = settings().getIntValue (locationsKey, 7);

            // Without a unit there is no device node: the built-in device picture stands in.
            auto deviceIcon = firstDeviceNode.isValid() ? SourceTreeIcons::createNodeIcon (firstDeviceNode, unitPicture) : nullptr;

            if (deviceIcon == nullptr)
                deviceIcon = SourceTreeIcons::createResourceDrawable ("tree_device_svg");

            icons.add (std::move (deviceIcon));
            icons.add (SourceTreeIcons::createResourceDrawable ("backups_svg"));
            icons.add (SourceTreeIcons::createResourceDrawable ("cloud_svg"));

            for (int i = 0; i < locationToggles.size(); ++i)
            {
                auto* toggle = locationToggles[i];
                toggles.add (toggle);
                toggle->setToggleState ((mask >> i & 1) != 0, juce::dontSendNotification);
                toggle->setColour (juce::ToggleButton::textColourId, Palette::labelTextColour);
                addAndMakeVisible (toggle);

                if (auto* icon = icons[i])
                    addAndMakeVisible (icon);
            }
        }

        void getIdealSize (int& w, int& h) override
        {
            const auto small = WidgetMetrics::smallFontSize (*this);
            w = px (BVLookAndFeel::makeFont (small).getStringWidthFloat ("Backups")) + px (70.0f * WidgetMetrics::scale (*this));
            h = px ((float) toggles.size() * 2.0f * small + (float) WidgetMetrics::gap (*this));
        }

        void resized() override
        {
            const auto small = WidgetMetrics::smallFontSize (*this);
            const auto gap = WidgetMetrics::gap (*this);
            const auto iconSize = px (20.0f * WidgetMetrics::scale (*this));

            for (int i = 0; i < toggles.size(); ++i)
            {
                const auto y = gap + i * px (2.0f * small);

                if (auto* toggle = toggles[i].getComponent())
                    toggle->setBounds (gap, y, getWidth() - 2 * gap, px (1.4f * small));

                if (auto* icon = icons[i])
                    icon->setTransformToFit (juce::Rectangle<int> (getRight() - gap - iconSize, y, iconSize, iconSize).toFloat(),
                                             juce::RectanglePlacement::centred);
            }
        }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (Palette::dialogBackgroundColour);
        }

        juce::Array<SafeButton> toggles;
        juce::OwnedArray<juce::Drawable> icons;
    };

    /** The leading integer of a stored token: blanks, a sign, digits; 0 when
        there are none. Bits beyond 64 are dropped, whatever the file holds. */
    uint64_t leadingInteger (const juce::String& token)
    {
        auto p = token.getCharPointer().findEndOfWhitespace();
        const auto negative = *p == '-';

        if (negative || *p == '+')
            ++p;

        uint64_t value = 0;

        for (; *p >= '0' && *p <= '9'; ++p)
            value = value * 10 + (uint64_t) (*p - '0');

        return negative ? 0 - value : value;
    }
}

//==============================================================================
SearchBar::SearchBar (const juce::String& name) : juce::TextEditor (name)
{
    const auto s = WidgetMetrics::scale (*this);
    auto magnifier = SourceTreeIcons::createResourceDrawable ("search_magnifier_svg");
    icon.setImage (renderSquare (magnifier.get(), px (14.0f * s)));
    icon.setInterceptsMouseClicks (false, false);
    addChildComponent (icon);
    addListener (this);
    updatePrompt();
}

SearchBar::~SearchBar()
{
    removeListener (this);
}

bool SearchBar::isPromptShown() const
{
    return isEmpty() && ! hasKeyboardFocus (false);
}

void SearchBar::updatePrompt()
{
    icon.setVisible (isPromptShown());
    repaint();
}

void SearchBar::paintOverChildren (juce::Graphics& g)
{
    if (isPromptShown())
    {
        const auto s = WidgetMetrics::scale (*this);
        g.setColour (Palette::searchBarColour);
        g.setFont (BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this)));
        g.drawText ("Search", px (22.0f * s), 0, getWidth() - 2 * getLeftIndent(), getHeight(),
                    juce::Justification::centredLeft, true);
    }

    getLookAndFeel().drawTextEditorOutline (g, getWidth(), getHeight(), *this);
}

void SearchBar::resized()
{
    juce::TextEditor::resized();
    const auto size = icon.getImage().getWidth();
    icon.setTransformToFit (juce::Rectangle<int> (3, (getHeight() - size) / 2, size, size).toFloat(),
                            juce::RectanglePlacement::centred);
}

void SearchBar::focusGained (FocusChangeType cause)
{
    juce::TextEditor::focusGained (cause);
    updatePrompt();
}

void SearchBar::focusLost (FocusChangeType cause)
{
    juce::TextEditor::focusLost (cause);
    updatePrompt();
}

bool SearchBar::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress::downKey && onDown != nullptr && onDown())
        return true;

    return juce::TextEditor::keyPressed (key);
}

void SearchBar::textEditorTextChanged (juce::TextEditor&)
{
    updatePrompt();
}

//==============================================================================
SearchContent::SearchContent (SearchTarget& target, const juce::Array<juce::ValueTree>& devices,
                              const juce::Array<juce::ValueTree>& backups, const juce::Array<juce::ValueTree>& clouds,
                              const DeviceCaps& caps)
    : laf (WidgetMetrics::surroundingScale()),
      deviceNodes (devices), backupNodes (backups), cloudNodes (clouds), page (target), productId (caps.caps.productId)
{
    const auto m = WidgetMetrics::sizes (*this);

    searchField.setMultiLine (false);
    searchField.setFont (BVLookAndFeel::makeFont (m.font));
    searchField.setColour (juce::TextEditor::backgroundColourId, Palette::searchWhite);
    searchField.setColour (juce::TextEditor::textColourId, Palette::searchTextColour);
    searchField.setBorder (juce::BorderSize<int> (1));
    searchField.setWantsKeyboardFocus (true);
    searchField.setEscapeAndReturnKeysConsumed (false);   // Escape typed in the field closes the dialog
    searchField.setInputRestrictions (SearchBar::maxQueryLength);
    searchField.addListener (this);
    searchField.onDown = [this] { return focusOnBestMatch(); };
    addAndMakeVisible (searchField);

    setFilterImages (tagButton, "search_tag_svg", 150, "Filter results by tags");
    tagButton.addListener (this);
    addChildComponent (tagButton);
    tagButton.setVisible (caps.presetTagCount != 0);

    setFilterImages (locationButton, "search_location_svg", 250, "Filter results by where they are located");
    locationButton.addListener (this);
    addAndMakeVisible (locationButton);

    for (int i = 0; i < PresetSearch::numLocations; ++i)
        locationToggles.add (new juce::ToggleButton (PresetSearch::getLocationName (i)))->addListener (this);

    for (int i = 0; i < juce::jmax (0, caps.presetTagCount); ++i)
    {
        auto* toggle = tagToggles.add (new juce::ToggleButton (caps.presetTagLabels[i]));
        toggle->addListener (this);
        toggle->setColour (juce::ToggleButton::textColourId, Palette::labelTextColour);
    }

    readTagSetting (caps.presetTagCount);

    locationMenu.addCustomItem (1, std::make_unique<LocationsMenuItem> (locationToggles, deviceNodes.isEmpty() ? juce::ValueTree()
                                                                                                               : deviceNodes.getFirst(),
                                                                        page.getUnitPicture()));

    selectAllButton.setColour (juce::HyperlinkButton::textColourId, Palette::searchTextColour);
    selectAllButton.addListener (this);
    tagMenu.addCustomItem (1, std::make_unique<SelectAllButton> (selectAllButton));

    for (int i = 0; i < tagToggles.size(); ++i)
        tagMenu.addCustomItem (i + 2, std::make_unique<TagMenuButton> (*tagToggles[i]));

    if (! tagToggles.isEmpty() && std::all_of (tagToggles.begin(), tagToggles.end(), [] (auto* t) { return t->getToggleState(); }))
        selectAllButton.setButtonText ("Select None");

    tagMenu.setLookAndFeel (&laf);
    locationMenu.setLookAndFeel (&laf);

    addAndMakeVisible (table);
    noResults.setJustificationType (juce::Justification::centred);
    noResults.setAlwaysOnTop (true);
    addAndMakeVisible (noResults);
    table.setWantsKeyboardFocus (true);
    // As read: the search row left to right, then the hits below it.
    juce::Component* focusOrder[] = { &searchField, &tagButton, &locationButton, &table };

    for (int i = 0; i < (int) std::size (focusOrder); ++i)
        focusOrder[i]->setExplicitFocusOrder (i + 1);

    setSize (px (350.0f * m.scale), px (45.0f * m.scale));
}

SearchContent::~SearchContent()
{
    storeFilterSettings();

    if (searchThread != nullptr)
        searchThread->signalThreadShouldExit();

    for (auto& old : retired)
        old->signalThreadShouldExit();

    // Asked to stop at the latest at close; each checks before every preset of its snapshot.
    searchThread.reset();
    retired.clear();
}

void SearchContent::readTagSetting (int numTags)
{
    const auto allTags = SearchThread::allTagsOf (numTags);
    juce::StringArray tokens;
    tokens.addTokens (settings().getValue (tagsKey).trim(), ", ", "");

    auto mask = allTags;

    if (tokens.size() > 1 && tokens[1].isNotEmpty() && (leadingInteger (tokens[0]) & 0xff) == productId)
        mask = leadingInteger (tokens[1]);

    for (int i = 0; i < tagToggles.size(); ++i)
        tagToggles[i]->setToggleState (i < 64 && (mask >> i & 1) != 0, juce::dontSendNotification);
}

void SearchContent::storeFilterSettings() const
{
    settings().setValue (tagsKey, juce::String ((int) productId) + " " + juce::String (getToggleMask (tagToggles)));
    settings().setValue (locationsKey, (int) getToggleMask (locationToggles));
}

//==============================================================================
juce::String SearchContent::getSearchText() const
{
    return searchField.getText();
}

juce::StringArray SearchContent::getSelectedLocationNames() const
{
    juce::StringArray names;

    for (auto* toggle : locationToggles)
        if (toggle->getToggleState())
            names.add (toggle->getButtonText());

    return names;
}

uint64_t SearchContent::getToggleMask (const juce::OwnedArray<juce::ToggleButton>& toggles)
{
    uint64_t mask = 0;

    for (int i = 0; i < juce::jmin (64, toggles.size()); ++i)
        if (toggles[i]->getToggleState())
            mask |= (uint64_t) 1 << i;

    return mask;
}

//==============================================================================
void SearchContent::retireSearch()
{
    if (searchThread == nullptr)
        return;

    // Never waited for here: it stops at its next check and is reaped once it has ended.
    searchThread->signalThreadShouldExit();
    retired.push_back (std::move (searchThread));
}

void SearchContent::reapRetiredSearches()
{
    retired.erase (std::remove_if (retired.begin(), retired.end(), [] (const auto& t) { return ! t->isThreadRunning(); }),
                   retired.end());
}

void SearchContent::startSearch()
{
    retireSearch();
    reapRetiredSearches();
    setResults ({});

    SearchThread::Filter filter { getToggleMask (tagToggles), tagToggles.size(), getSelectedLocationNames() };
    searchedNodes.clearQuick();
    auto snapshot = PresetSearch::Snapshot::take (deviceNodes, backupNodes, cloudNodes, &searchedNodes);

    searchThread = std::make_unique<SearchThread> (*this, std::move (snapshot), std::move (filter), getSearchText(), ++searchCount);
    searching = true;
    searchThread->startThread();
    showBusyCursor();
}

void SearchContent::handleMessage (const juce::Message& message)
{
    reapRetiredSearches();
    const auto* found = dynamic_cast<const PresetSearch::ResultsMessage*> (&message);

    // Hits of a search that was replaced meanwhile are not this query's.
    if (found == nullptr || found->search != searchCount)
        return;

    auto hits = found->results;

    for (auto& hit : hits)
        hit.dataSet = searchedNodes[hit.dataSetIndex];

    searching = false;
    setResults (hits);
}

void SearchContent::setResults (const PresetSearch::Results& newResults)
{
    results = newResults;

    if (results.size() >= 30)
    {
        PresetSearch::Results best;

        for (const auto& r : results)
            if (r.rank >= 0.7f)
                best.add (r);

        if (best.size() > 15)
            results = std::move (best);
    }

    auto& listBox = table.getListBox();
    listBox.setSelectedRows ({}, juce::dontSendNotification);
    sortResults (TableResultsComponent::rankColumn, 1);
    listBox.getHeader().setSortColumnId (TableResultsComponent::rankColumn, true);
    listBox.updateContent();
    listBox.repaint();

    showNormalCursor();
    resized();

    if (auto* dialog = findParentComponentOfClass<SearchDialog>(); dialog != nullptr && ! dialog->isResizable())
        dialog->setResizable (true, true);
}

void SearchContent::sortResults (int columnId, int direction)
{
    PresetSearch::sort (results, columnId, direction);
}

void SearchContent::selectResult (PresetSearch::Result result)
{
    // No hit chosen, or one whose data set left the tree meanwhile: no preset stays marked as one.
    if (! page.selectItemFor (result.dataSet))
        page.setSelectedPresets ({});
    else if (! result.isDataSetHit())
    {
        page.setSelectedPresets ({ result.presetNumber });
        page.scrollToPreset (result.presetNumber);
    }
}

void SearchContent::closeSearch()
{
    if (searchThread != nullptr)
        searchThread->signalThreadShouldExit();

    if (auto* dialog = findParentComponentOfClass<SearchDialog>())
        dialog->closeButtonPressed();
}

//==============================================================================
void SearchContent::buttonClicked (juce::Button* button)
{
    if (button == &tagButton)
    {
        tagMenu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (&tagButton).withItemThatMustBeVisible (1));
        return;
    }

    if (button == &locationButton)
    {
        locationMenu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (&locationButton));
        return;
    }

    if (button == &selectAllButton)
    {
        // The button always names the opposite of what it just did.
        const auto selectAll = selectAllButton.getButtonText() == "Select All";

        for (auto* toggle : tagToggles)
            toggle->setToggleState (selectAll, juce::dontSendNotification);

        selectAllButton.setButtonText (selectAll ? "Select None" : "Select All");
    }

    startSearch();
}

void SearchContent::textEditorTextChanged (juce::TextEditor&)
{
    startSearch();

    // The first letters open the results below the field.
    if (const auto s = WidgetMetrics::scale (*this); (float) getHeight() < 100.0f * s)
        setBounds (getX(), getY(), (int) (getWidth() * 1.5), px (400.0f * s));
    else
        resized();
}

void SearchContent::focusOnSearchField()
{
    searchField.grabKeyboardFocus();
}

// Straight to the list, not to the table, whose own focus would select the first row once more.
bool SearchContent::focusOnBestMatch()
{
    if (results.isEmpty())
        return false;

    auto& list = table.getListBox();
    list.grabKeyboardFocus();
    list.selectRow (0);
    return true;
}

//==============================================================================
void SearchContent::resized()
{
    const auto m = WidgetMetrics::sizes (*this);
    const auto w = getWidth();
    const auto right = getX() + w, bottom = getY() + getHeight();   // as the dialog sees them
    const auto rowHeight = px (1.75f * m.font);

    searchField.setBounds (m.gap, m.gap, w - px (80.0f * m.scale), rowHeight);
    const auto fieldRight = searchField.getRight(), fieldBottom = searchField.getBottom();

    const auto b = (right - fieldRight - 3 * m.gap) / 2;
    tagButton.setBounds (fieldRight + px (1.25f * (float) m.gap), m.gap, b, rowHeight);
    locationButton.setBounds (right - m.gap - b, m.gap, b, rowHeight);

    table.setBounds (m.gap, fieldBottom + m.gap, w - 2 * m.gap, bottom - fieldBottom - 5 * m.gap);

    // Below the search row only once there is room (the first character typed makes it):
    // a table with no area would be a Tab stop that shows nothing.
    table.setVisible (! table.getBounds().isEmpty());

    if (results.isEmpty() && ! searching)
    {
        noResults.setFont (BVLookAndFeel::makeFont (m.font, juce::Font::bold));
        noResults.setSize (px (100.0f * m.scale), px (1.4f * m.font));
        noResults.setCentrePosition ((table.getX() + table.getWidth()) / 2, table.getY() + table.getHeight() / 2 + m.gap);
        noResults.setVisible (true);
    }
    else
    {
        noResults.setVisible (false);
    }
}

bool SearchContent::keyPressed (const juce::KeyPress& key)
{
    const auto character = key.getTextCharacter();

    if (character <= ' ' || key.getModifiers().isCommandDown() || key.getModifiers().isAltDown() || searchField.hasKeyboardFocus (false))
        return false;

    searchField.grabKeyboardFocus();
    searchField.moveCaretToEnd();
    searchField.insertTextAtCaret (juce::String::charToString (character));
    return true;
}

//==============================================================================
void SearchContent::showCursor (const juce::MouseCursor& shown)
{
    for (auto* c : std::initializer_list<juce::Component*> { this, &searchField, &tagButton, &locationButton })
        c->setMouseCursor (shown);

    if (auto* dialog = findParentComponentOfClass<SearchDialog>())
        dialog->setMouseCursor (shown);
}

void SearchContent::showBusyCursor()
{
    showCursor (juce::MouseCursor::WaitCursor);
    table.showBusyCursor();
}

void SearchContent::showNormalCursor()
{
    showCursor (juce::MouseCursor::NormalCursor);
    table.showNormalCursor();
}

//==============================================================================
SearchDialog::SearchDialog (SearchTarget& page, const juce::Array<juce::ValueTree>& deviceNodes,
                            const juce::Array<juce::ValueTree>& backupNodes, const juce::Array<juce::ValueTree>& cloudNodes,
                            const DeviceCaps& caps)
    : BelvoraDialog ("Find Preset", Palette::searchBackgroundColour,
                     std::make_unique<SearchContent> (page, deviceNodes, backupNodes, cloudNodes, caps), nullptr)
{
    setTopLeftPosition (settings().getIntValue (positionXKey, 20), settings().getIntValue (positionYKey, 120));

    // A place on a screen that is no longer there would hide the modal window.
    if (const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (getBounds()))
        setBounds (getBounds().constrainedWithin (display->userArea));

    setResizable (false, false);

    const auto s = WidgetMetrics::scale (*this);
    setResizeLimits (px (200.0f * s), px (70.0f * s), 3000, 3000);
}

SearchContent& SearchDialog::getSearchContent() const
{
    return *dynamic_cast<SearchContent*> (getContentComponent());
}

void SearchDialog::focusGained (FocusChangeType cause)
{
    if (cause == focusChangedDirectly)
        getSearchContent().focusOnSearchField();
}

void SearchDialog::closeButtonPressed()
{
    settings().setValue (positionXKey, getX());
    settings().setValue (positionYKey, getY());
    getSearchContent().storeFilterSettings();
    closeWith (0);
}

bool SearchDialog::escapeKeyPressed()
{
    closeButtonPressed();
    return true;
}
