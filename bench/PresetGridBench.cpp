// The preset grid of a 300-slot unit: selecting every preset, dragging 50
// presets onto other slots (a move: copy and delete as one step) and undoing
// it, and painting the whole grid at UI scale 2.

#include "base/BelvoraSettings.h"
#include "gui/GridTestPage.h"
#include "gui/BVLookAndFeel.h"
#include "gui/datapage/PresetButtonContainer.h"

#include <benchmark/benchmark.h>

namespace
{
    struct Grid
    {
        explicit Grid (float uiScale) : laf (uiScale)
        {
            // The grid keeps its sizes in the settings: a private home, never the user's.
            const auto home = juce::File::createTempFile ("grid-bench");
            home.createDirectory();
            setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
            setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
            BelvoraSettings::configureAppProperties();

            juce::LookAndFeel::setDefaultLookAndFeel (&laf);
            BelvoraSettings::getUserSettings().setValue ("presetButtonViewType", "cell");
            BelvoraSettings::getUserSettings().setValue ("presetCellButtonScale", 1.0);

            std::initializer_list<int> none {};
            node = GridTests::addBackup (root, GridTests::makeSource ("Unit", 300, none));
            auto* data = SourceTree::getDeviceData (node);
            const auto caps = data->getCapsBlock();

            for (int slot = 1; slot < 250; ++slot)
                data->setPreset (slot, SimulatedUnit::makePreset (caps, slot, 1 + slot % 3, "Preset " + juce::String (slot)));

            DeviceCaps deviceCaps;
            deviceCaps.isBuildValid = true;
            deviceCaps.caps = caps;
            deviceCaps.presetDelete = true;

            grid = std::make_unique<PresetButtonContainer> (page, &viewport);
            viewport.setViewedComponent (grid.get(), false);
            viewport.setSize (1600, 1000);
            grid->setCaps (deviceCaps);
            grid->rebuildButtons();
            grid->setItem (node);
            grid->layoutContent (viewport.getMaximumVisibleWidth(), viewport.getMaximumVisibleHeight());
            page.presetListeners.add (grid.get());
        }

        ~Grid()
        {
            grid.reset();
            BelvoraSettings::releaseAppProperties();
            juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        }

        BVLookAndFeel laf;
        GridTests::TestPage page;
        juce::ValueTree root = GridTests::makeRoot();
        juce::ValueTree node;
        juce::Viewport viewport;
        std::unique_ptr<PresetButtonContainer> grid;
    };
}

static void selectAllOf300Slots (benchmark::State& state)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    Grid grid (1.0f);

    for (auto _ : state)
    {
        grid.grid->selectPresets (false);
        benchmark::DoNotOptimize (grid.grid->getSelectedPresets().size());
        state.PauseTiming();
        grid.grid->setSelectedPresets ({});
        state.ResumeTiming();
    }
}

static void drag50PresetsAndUndo (benchmark::State& state)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    Grid grid (1.0f);
    const GridMenus::ScopedResponder move ([] (const juce::PopupMenu&) { return 200; });   // "Move"

    juce::Array<int> dragged;
    for (int slot = 1; slot <= 50; ++slot)
        dragged.add (slot);

    const auto target = grid.grid->getButton (200)->getBounds().getCentre();

    // Once outside the timing: the move really lands (slot 200 holds preset 1, slot 1 is empty).
    grid.grid->dropPresets (grid.node, dragged, target);
    const auto* moved = SourceTree::getDeviceData (grid.node);
    state.counters["moved"] = moved->getPreset (200)->getName() == "Preset 1" && ! moved->isPresetSlotUsed (1) ? 1 : 0;
    grid.page.undo();

    for (auto _ : state)
    {
        grid.grid->setSelectedPresets (dragged);
        grid.grid->dropPresets (grid.node, dragged, target);
        grid.page.undo();
    }

}

static void paintGridAtScale2 (benchmark::State& state)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    Grid grid (2.0f);
    grid.grid->setSelectedPresets ({ 3, 4, 5, 100 });
    juce::Image image (juce::Image::ARGB, grid.grid->getWidth(), grid.viewport.getHeight(), true);

    for (auto _ : state)
    {
        juce::Graphics g (image);
        grid.grid->paintEntireComponent (g, false);
        benchmark::DoNotOptimize (image.getPixelAt (10, 10));
    }
}

BENCHMARK (selectAllOf300Slots)->Unit (benchmark::kMillisecond);
BENCHMARK (drag50PresetsAndUndo)->Unit (benchmark::kMillisecond);
BENCHMARK (paintGridAtScale2)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
