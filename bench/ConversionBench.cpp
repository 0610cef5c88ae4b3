// Converting a whole unit of 300 preset slots through a one-step chain (the
// sample Vesper from firmware build 120 to 140), read as presets per second.
// Runs offline on a private copy of the sample content.

#include "support/SampleHome.h"
#include "content/ContentManager.h"
#include "conversion/DataConversionManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"

#include "BenchMain.h"
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>

namespace
{
    constexpr int vesper = 0x12;
    constexpr int slots = 300;

    /** A private home whose data folder holds the sample Vesper as if fetched before,
        its units made to hold 300 slots. */
    juce::File preparePrivateContent()
    {
        const auto home = SampleHome::makePrivateHome ("belvora-bench-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
        const auto product = SampleHome::copySampleProduct ("Vesper", "Vesper");

        const auto caps = SampleHome::sampleContent().getChildFile ("Vesper/caps.xml").loadFileAsString()
                              .replace ("numPresets=\"20\"", "numPresets=\"" + juce::String (slots) + "\"")
                              .replace ("numPresets=\"30\"", "numPresets=\"" + juce::String (slots) + "\"");
        product.getChildFile ("caps.xml").replaceWithText (caps);
        return home;
    }

    std::unique_ptr<DeviceData> fullUnit (const CapsBlock& block)
    {
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 2, 0, 120), block, nullptr);

        for (int slot = 0; slot < block.numPresets; ++slot)
        {
            auto* preset = data->createPreset (slot);

            PresetName header;
            header.number = slot;
            header.formatVersion = block.presetVersion;
            header.nameLength = block.presetNameLength;
            header.tags = slot & 0xFF;
            const auto name = "Preset " + juce::String (slot);
            header.setFromBytes (reinterpret_cast<const uint8_t*> (name.toRawUTF8()), name.length());
            preset->setNameBytes (header);

            for (int step = 0; step < 1 + slot % block.maxPresetSteps; ++step)
            {
                juce::Array<int> values;
                for (int v = 0; v < block.presetStepPacketSize * block.numSyxPackagesPerPresetStep / 4; ++v)
                    values.add (slot * 31 + step * 7 + v);
                preset->setStepValues (step, values);
            }
        }

        juce::Array<int> setup;
        for (int v = 0; v < block.setupPacketSize * block.numSyxPackagesPerSetup / 4; ++v)
            setup.add (v);
        SetupData setupData (block);
        setupData.setSetupDataVersion (block.setupVersion);
        setupData.setValues (setup);
        data->setSetup (setupData, false);
        return data;
    }

    ContentManager* content = nullptr;

    void convertFullUnit (benchmark::State& state)
    {
        auto block = DeviceProfiler::createCaps (*content, vesper, 120)->caps;
        auto source = fullUnit (block);
        const FirmwareVersion target (0, 1, 4, 0, 140);

        for (auto _ : state)
        {
            DataConversionManager manager (*content);
            auto converted = manager.convertDeviceData (*source, vesper, target);

            if (converted == nullptr || manager.getResult().hasErrors() || converted->getNumPresets() != slots)
            {
                state.SkipWithError (("conversion failed: " + manager.getResult().getErrorText()).toRawUTF8());
                break;
            }

            benchmark::DoNotOptimize (converted.get());
        }

        state.counters["presets/s"] = benchmark::Counter ((double) slots, benchmark::Counter::kIsIterationInvariantRate);
    }

    BENCHMARK (convertFullUnit)->Unit (benchmark::kMillisecond)->UseRealTime();
}

int main (int argc, char** argv)
{
    const auto home = preparePrivateContent();
    int result = 0;

    {
        const juce::ScopedJuceInitialiser_GUI juce;

        struct Ignored : public juce::MessageListener
        {
            void handleMessage (const juce::Message&) override {}
        } notifications;

        ContentManager catalogue ({}, notifications, nullptr);
        content = &catalogue;
        content->loadCachedProductContent (vesper);   // no firmware list here: only the capabilities and rules count

        result = BenchMain::runIf (content->getCapsXml (vesper) != nullptr && ! content->getConversionRules (vesper, 1).isEmpty(),
                                  "The sample content could not be read.", argc, argv);

        content = nullptr;
    }

    home.deleteRecursively();
    return result;
}
