// The data page's panels and containers: the preset grid in both views, the
// drag image, the preset details, a backup's details, a group's tiles and
// details, the unit's details and the placeholder with its sync button.

#include "gallery/Gallery.h"
#include "gui/GridTestHost.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPanels.h"
#include "gui/Palette.h"
#include "resources/BinaryResources.h"
#include "support/TestEnvironment.h"

using namespace Gallery;
using namespace GridTests;

namespace
{
    /** The settings, a stand-in page and a tree of sources, alive as long as the screen. */
    struct Sources
    {
        GridSettings settings;
        TestPage page;
        juce::ValueTree root = makeRoot();
        juce::ValueTree backups = SourceTree::findNode (root, SourceTreeIds::archiveCategory);
        juce::ValueTree unit = addBackup (root, makeSource ("Live", 40, { 1, 2, 3, 4, 5, 6, 8, 9, 12, 13, 14, 20, 21, 22, 30 }, 2));

        Sources()
        {
            auto* data = SourceTree::getDeviceData (unit);
            const char* names[] = { "Warm Hall", "Tight Double", "Radio Voice", "Octave Down", "Stadium",
                                    "Slap Back", "Choir", "Whisper", "Lead Harmony", "Robot", "Tape Echo",
                                    "Thin Air", "Big Plate", "Dry", "Shimmer" };
            int i = 0;

            for (auto slot : data->getUsedPresetIndices())
                data->getPreset (slot)->setName (names[i++ % 15]);

            data->getPreset (4)->setStepValues (2, data->getPreset (4)->getStepValues (0));
            data->setPresetModified (5, true);
            data->setPresetModified (9, true);
        }
    };

    DeviceCaps screenCaps()
    {
        auto caps = makeCaps (40);
        caps.presetTagCount = 6;
        caps.presetTagLabels = { "Lead", "Harmony", "Doubling", "Reverb", "Delay", "Live" };
        return caps;
    }

    struct GridScreen : juce::Component
    {
        /** With a focused slot, the grid as the keys left it: the ring needs the keyboard focus, which needs the screen shown. */
        GridScreen (BVLookAndFeel& laf, int view, int focusedSlot = 0)
        {
            BelvoraSettings::setPresetButtonViewType (view);
            host = std::make_unique<Host> (sources.page, screenCaps(), px (laf, view == 0 ? 640.0f : 660.0f), px (laf, view == 0 ? 250.0f : 330.0f));
            host->show (sources.unit);
            host->grid.setSelectedPresets ({ 3, 4, 5 });
            addAndMakeVisible (*host);
            setSize (host->getWidth(), host->getHeight());

            if (focusedSlot > 0)
            {
                addToDesktop (juce::ComponentPeer::windowIsTemporary);
                setVisible (true);
                host->viewport.setWantsKeyboardFocus (true);
                host->viewport.grabKeyboardFocus();
                host->grid.setFocusedSlot (focusedSlot);
            }
        }

        Sources sources;
        std::unique_ptr<Host> host;
    };

    struct DragImageScreen : juce::Component
    {
        explicit DragImageScreen (BVLookAndFeel& laf)
            : grid (laf, 0)
        {
            grid.host->grid.setSelectedPresets ({ 1, 2, 3, 4, 5, 6, 8 });
            image = grid.host->grid.createDragImage (*grid.host->grid.getButton (1));
            setSize (image.getWidth() + px (laf, 20.0f), image.getHeight() + px (laf, 20.0f));
        }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (Palette::backgroundColour);
            g.drawImageAt (image, (getWidth() - image.getWidth()) / 2, (getHeight() - image.getHeight()) / 2);
        }

        GridScreen grid;
        juce::Image image;
    };

    struct DetailsScreen : juce::Component
    {
        DetailsScreen (BVLookAndFeel& laf, juce::Array<int> selection)
        {
            details.setCaps (screenCaps());
            details.rebuildStepButtons();
            details.setItem (sources.unit);
            details.setSelectedPresets (selection);

            if (selection.size() == 1)
                details.getStepButtons()[1]->setToggleState (true, juce::dontSendNotification);

            details.layoutContent (px (laf, 520.0f), px (laf, 100.0f));
            addAndMakeVisible (details);
            setSize (details.getWidth(), details.getHeight());
        }

        Sources sources;
        PresetDetailsContainer details { sources.page };
    };

    /** A container laid out at a width, shown at the height it asks for. */
    template <typename Container>
    struct ContainerScreen : juce::Component
    {
        template <typename... Args>
        explicit ContainerScreen (Args&&... args) : container (std::forward<Args> (args)...)
        {
            addAndMakeVisible (container);
        }

        void layout (int width, int minHeight)
        {
            container.layoutContent (width, minHeight);
            setSize (container.getWidth(), juce::jmax (container.getHeight(), minHeight));
        }

        void paint (juce::Graphics& g) override   { g.fillAll (Palette::backgroundColour); }

        Sources sources;
        Container container;
    };

    void fillBackups (Sources& sources)
    {
        for (auto* title : { "Summer Tour", "Studio Session", "Rehearsal 3" })
            sources.backups.appendChild (makeSource (title, 40, { 1, 2 }), nullptr);

        auto group = SourceTree::createNode (SourceTreeIds::group, "Old Sets");
        group.appendChild (makeSource ("2019", 40, { 1 }), nullptr);
        sources.backups.appendChild (group, nullptr);
    }
}

BELVORA_SCREEN ("Data page/Preset grid, cell view", [] (BVLookAndFeel& laf) { return std::make_unique<GridScreen> (laf, 0); });
BELVORA_SCREEN ("Data page/Preset grid, icon view", [] (BVLookAndFeel& laf) { return std::make_unique<GridScreen> (laf, 1); });
BELVORA_SCREEN ("Data page/Preset grid by keys, cell view", [] (BVLookAndFeel& laf) { return std::make_unique<GridScreen> (laf, 0, 8); });
BELVORA_SCREEN ("Data page/Preset grid by keys, icon view", [] (BVLookAndFeel& laf) { return std::make_unique<GridScreen> (laf, 1, 4); });
BELVORA_SCREEN ("Data page/Preset drag image", [] (BVLookAndFeel& laf) { return std::make_unique<DragImageScreen> (laf); });
BELVORA_SCREEN ("Data page/Preset details, one preset", [] (BVLookAndFeel& laf) { return std::make_unique<DetailsScreen> (laf, juce::Array<int> { 4 }); });
BELVORA_SCREEN ("Data page/Preset details, several presets", [] (BVLookAndFeel& laf) { return std::make_unique<DetailsScreen> (laf, juce::Array<int> { 1, 3 }); });

BELVORA_SCREEN ("Data page/Backup details", [] (BVLookAndFeel& laf)
{
    struct Screen : ContainerScreen<DataSetDetailsContainer>
    {
        explicit Screen (BVLookAndFeel& l) : ContainerScreen<DataSetDetailsContainer> (sources.page)
        {
            auto node = addBackup (sources.root, makeSource ("Summer Tour", 40, { 1, 2 }));
            SourceTree::getArchive (node)->setDescription ("Every preset of the summer shows, with the doubled leads.");
            container.setItem (node);
            layout (px (l, 560.0f), px (l, 100.0f));
        }
    };

    return std::make_unique<Screen> (laf);
});

BELVORA_SCREEN ("Data page/Backup group tiles", [] (BVLookAndFeel& laf)
{
    struct Screen : ContainerScreen<DataSetGroupViewContainer>
    {
        explicit Screen (BVLookAndFeel& l) : ContainerScreen<DataSetGroupViewContainer> (sources.page)
        {
            fillBackups (sources);
            container.setItem (sources.backups);
            container.getTiles()[1]->setToggleState (true, juce::dontSendNotification);
            layout (px (l, 700.0f), px (l, 100.0f));
        }
    };

    return std::make_unique<Screen> (laf);
});

BELVORA_SCREEN ("Data page/Group details", [] (BVLookAndFeel& laf)
{
    struct Screen : ContainerScreen<GroupDetailsContainer>
    {
        explicit Screen (BVLookAndFeel& l)
        {
            fillBackups (sources);
            container.setItem (sources.backups);
            layout (px (l, 420.0f), px (l, 60.0f));
        }
    };

    return std::make_unique<Screen> (laf);
});

BELVORA_SCREEN ("Data page/Unit details", [] (BVLookAndFeel& laf)
{
    struct Screen : ContainerScreen<DeviceDetailsContainer>
    {
        explicit Screen (BVLookAndFeel& l)
        {
            const auto* data = SourceTree::getDeviceData (sources.unit);
            DeviceDetailsContainer::Unit unit;
            unit.data = data->clone (false);
            unit.numPresets = 40;
            unit.known = true;
            unit.picture = juce::ImageCache::getFromMemory (BinaryResources::device_generic_png, BinaryResources::device_generic_pngSize);
            container.setUnitSource ([unit] { return unit; });
            container.refresh();
            layout (px (l, 520.0f), px (l, 60.0f));
        }
    };

    return std::make_unique<Screen> (laf);
});

BELVORA_SCREEN ("Data page/Placeholder with the sync button", [] (BVLookAndFeel& laf)
{
    struct Screen : juce::Component
    {
        explicit Screen (BVLookAndFeel& l)
        {
            setSize (px (l, 420.0f), px (l, 300.0f));
            addAndMakeVisible (empty);
            empty.setMode (4);
            empty.layoutContent (getWidth(), getHeight());
        }

        void paint (juce::Graphics& g) override   { g.fillAll (Palette::backgroundColour); }

        EmptyContainer empty;
    };

    return std::make_unique<Screen> (laf);
});

// The browser alone, on a page without a unit: the unit's row, a category, backups and a group.
BELVORA_SCREEN ("Data page/Browser rows", [] (BVLookAndFeel& laf)
{
    struct Screen : juce::Component
    {
        explicit Screen (BVLookAndFeel& l)
        {
            fillBackups (sources);
            addAndMakeVisible (page);
            page.setSize (px (l, 1000.0f), px (l, 420.0f));
            auto& browser = page.getBrowser();
            browser.setSourceTree (&page, sources.root);
            browser.setVisible (true);   // a page without a unit hides it
            browser.selectItemFor (sources.backups.getChild (sources.backups.getNumChildren() - 1).getChild (0));
            TestEnvironment::drainMessages();   // the tree lays its rows out later

            const auto area = browser.getBounds();
            page.setTopLeftPosition (-area.getPosition());
            setSize (area.getWidth(), area.getHeight());
        }

        Sources sources;
        DataPage page;
    };

    return std::make_unique<Screen> (laf);
});
