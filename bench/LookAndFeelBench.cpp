// One frame of a full preset page at UI scale 2 drawn into an image: 300 preset
// buttons' frames, a tab bar, two scroll bars and a progress bar.

#include "gui/BVLookAndFeel.h"

#include <benchmark/benchmark.h>

namespace
{
    struct Page
    {
        Page() : tabs (juce::TabbedButtonBar::TabsAtTop), progressBar (progress)
        {
            juce::LookAndFeel::setDefaultLookAndFeel (&laf);

            for (auto* name : { "Devices", "Presets" })
                tabs.addTab (name, juce::Colours::white, -1);

            tabs.setCurrentTabIndex (1);
            tabs.setBounds (0, 0, width, (int) laf.getTabBarDepth());
            button.setSize (buttonW, buttonH);
        }

        ~Page() { juce::LookAndFeel::setDefaultLookAndFeel (nullptr); }

        void drawFrame (juce::Graphics& g)
        {
            {
                juce::Graphics::ScopedSaveState state (g);
                tabs.paintEntireComponent (g, false);
            }

            const auto colour = laf.findColour (juce::TextButton::buttonColourId);

            for (int i = 0; i < 300; ++i)
            {
                juce::Graphics::ScopedSaveState state (g);
                g.setOrigin ((i % 10) * buttonW + 8, (int) laf.getTabBarDepth() + (i / 10) * buttonH);
                laf.drawButtonBackground (g, button, colour, i == 7, i == 8);
            }

            laf.drawScrollbar (g, verticalBar, width - 28, 0, 28, height, true, 100, 400, false, false);
            laf.drawScrollbar (g, horizontalBar, 0, height - 28, width - 28, 28, false, 200, 600, false, false);

            juce::Graphics::ScopedSaveState state (g);
            g.setOrigin (0, height - 60);
            laf.drawProgressBar (g, progressBar, width / 2, 30, 0.4, "Preset 120 of 300");
        }

        static constexpr int width = 2040, height = 1468, buttonW = 200, buttonH = 44;

        BVLookAndFeel laf { 2.0f };
        juce::TabbedButtonBar tabs;
        juce::TextButton button;
        juce::ScrollBar verticalBar { true }, horizontalBar { false };
        double progress = 0.4;
        juce::ProgressBar progressBar;
    };
}

static void drawPresetPageAtScale2 (benchmark::State& state)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    Page page;
    juce::Image image (juce::Image::ARGB, Page::width, Page::height, true);

    for (auto _ : state)
    {
        juce::Graphics g (image);
        page.drawFrame (g);
        benchmark::DoNotOptimize (image.getPixelAt (10, 10));
    }
}

// The time per iteration is the time per frame.
BENCHMARK (drawPresetPageAtScale2)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
