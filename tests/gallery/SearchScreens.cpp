// "Find Preset" in its states: as it opens, with hits, with none, and with
// its tag or location menu open. The whole window with a display, its
// content without one; the menus as they lay out their items.

#include "base/BelvoraSettings.h"
#include "gallery/Gallery.h"
#include "gui/dialogs/SearchDialog.h"
#include "search/SearchFixtures.h"
#include "support/TestEnvironment.h"

namespace
{
    struct NoPage : SearchTarget
    {
        bool selectItemFor (const juce::ValueTree&) override { return true; }
        void setSelectedPresets (const juce::Array<int>&) override {}
        void scrollToPreset (int) override {}
    };

    DeviceCaps sampleCaps()
    {
        DeviceCaps caps;
        caps.caps = SearchFixtures::capsWith (40);
        caps.presetTagCount = 5;
        caps.presetTagLabels = { "Lead", "Harmony", "Doubling", "Effects", "Favourites" };
        return caps;
    }

    /** The window (or its content) with the tree the search runs on, kept alive with it. */
    struct SearchScreen : juce::Component
    {
        SearchScreen (const juce::String& query, const juce::String& tagSetting = {})
        {
            BelvoraSettings::configureAppProperties();
            BelvoraSettings::getUserSettings().setValue ("presetSearchSelectedTags", tagSetting);
            BelvoraSettings::getUserSettings().setValue ("presetSearchSelectedLocations", 7);

            if (TestEnvironment::hasDisplay())
            {
                auto dialog = std::make_unique<SearchDialog> (page, tree.devices(), tree.backups(), tree.clouds(), sampleCaps());
                content = &dialog->getSearchContent();
                window = std::move (dialog);
            }
            else
            {
                auto searchContent = std::make_unique<SearchContent> (page, tree.devices(), tree.backups(), tree.clouds(), sampleCaps());
                content = searchContent.get();
                window = std::move (searchContent);
            }

            if (query.isNotEmpty())
            {
                content->getSearchField().setText (query, false);
                content->textEditorTextChanged (content->getSearchField());
                TestEnvironment::runMessageLoopUntil ([this] { return ! content->isSearching(); });
            }

            window->setTopLeftPosition (0, 0);
            addAndMakeVisible (*window);
            setSize (window->getWidth(), window->getHeight());
        }

        /** Opens a menu under its button as the popup lays it out: items stacked at their ideal sizes. */
        void showMenu (juce::PopupMenu& menu, juce::Component& button)
        {
            menuView = std::make_unique<MenuView> (menu, content->getMenuLookAndFeel());
            const auto below = getLocalArea (&button, button.getLocalBounds()).getBottomLeft();
            auto& laf = dynamic_cast<BVLookAndFeel&> (getLookAndFeel());
            menuView->setTopLeftPosition (below.x, below.y + Gallery::px (laf, 2.0f));
            addAndMakeVisible (*menuView);
            setSize (juce::jmax (getWidth(), menuView->getRight() + Gallery::px (laf, 4.0f)), juce::jmax (getHeight(), menuView->getBottom() + Gallery::px (laf, 4.0f)));
        }

        struct MenuView : juce::Component
        {
            MenuView (juce::PopupMenu& menu, juce::LookAndFeel& laf)
            {
                setLookAndFeel (&laf);
                const auto border = laf.getPopupMenuBorderSize();
                int width = 0, y = border;

                for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
                {
                    if (auto* item = it.getItem().customComponent.get())
                    {
                        addAndMakeVisible (item);
                        int w = 0, h = 0;
                        item->getIdealSize (w, h);
                        item->setBounds (border, y, w, h);
                        width = juce::jmax (width, w);
                        y += h;
                    }
                }

                for (auto* item : getChildren())
                    item->setSize (width, item->getHeight());

                setSize (width + 2 * border, y + border);
            }

            ~MenuView() override
            {
                setLookAndFeel (nullptr);
            }

            void paint (juce::Graphics& g) override
            {
                getLookAndFeel().drawPopupMenuBackground (g, getWidth(), getHeight());
            }
        };

        NoPage page;
        SearchFixtures::Tree tree;
        std::unique_ptr<juce::Component> window;
        SearchContent* content = nullptr;
        std::unique_ptr<MenuView> menuView;
    };

    std::unique_ptr<juce::Component> searchScreen (const juce::String& query)
    {
        return std::make_unique<SearchScreen> (query);
    }

    std::unique_ptr<juce::Component> withMenu (bool tags)
    {
        auto screen = std::make_unique<SearchScreen> ("verb", "33 13");
        auto& content = *screen->content;

        if (tags)
            screen->showMenu (content.getTagMenu(), content.getTagButton());
        else
            screen->showMenu (content.getLocationMenu(), content.getLocationButton());

        return screen;
    }
}

BELVORA_SCREEN ("Search/Find Preset: opened", [] (BVLookAndFeel&) { return searchScreen ({}); });
BELVORA_SCREEN ("Search/Find Preset: results", [] (BVLookAndFeel&) { return searchScreen ("big reverb"); });
BELVORA_SCREEN ("Search/Find Preset: no results", [] (BVLookAndFeel&) { return searchScreen ("zzyzx"); });
BELVORA_SCREEN ("Search/Find Preset: tag menu", [] (BVLookAndFeel&) { return withMenu (true); });
BELVORA_SCREEN ("Search/Find Preset: location menu", [] (BVLookAndFeel&) { return withMenu (false); });
