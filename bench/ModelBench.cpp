// Time per operation on the data of a large unit: 300 preset slots of four
// steps each (16 packets of 128 data bytes per preset) and a full setup.

#include "model/DeviceData.h"
#include "model/SysEx.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace
{
    constexpr int userSlots = 300;
    constexpr int stepsPerPreset = 4;

    CapsBlock largeCaps()
    {
        CapsBlock b;
        b.productId = 0x21;
        b.numSyxPackagesPerPresetStep = 4;
        b.presetStepPacketSize = 128;
        b.presetVersion = 3;
        b.numSyxPackagesPerSetup = 16;
        b.setupPacketSize = 256;
        b.setupVersion = 5;
        b.numPresets = userSlots + 1;
        b.presetNameLength = 15;
        b.maxPresetSteps = 8;
        return b;
    }

    juce::Array<int> valuesFor (int count, int seed)
    {
        juce::Array<int> values;

        for (int i = 0; i < count; ++i)
            values.add ((seed * 7919 + i * 104729) % 0x7FFFFFF - 0x3FFFFFF);

        return values;
    }

    std::unique_ptr<DeviceData> buildUnit()
    {
        const auto caps = largeCaps();
        auto data = std::make_unique<DeviceData> ("Bench Unit", FirmwareVersion (0, 2, 0, 3, 41, 7), caps, nullptr);
        const auto valuesPerStep = caps.presetStepPacketSize * caps.numSyxPackagesPerPresetStep / 4;

        for (int slot = 1; slot <= userSlots; ++slot)
        {
            auto* preset = data->createPreset (slot);
            PresetName header;
            header.number = slot;
            header.formatVersion = caps.presetVersion;
            header.nameLength = caps.presetNameLength;
            const auto name = "Preset " + juce::String (slot);
            header.setFromBytes (reinterpret_cast<const uint8_t*> (name.toRawUTF8()), (int) name.getNumBytesAsUTF8());
            preset->setNameBytes (header);

            for (int s = 0; s < stepsPerPreset; ++s)
                preset->setStepValues (s, valuesFor (valuesPerStep, slot * 10 + s));
        }

        SetupData setup (caps);
        setup.setSetupDataVersion (caps.setupVersion);
        setup.setValues (valuesFor (caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4, 1));
        data->setSetup (setup, true);
        return data;
    }

    juce::MemoryBlock encodeUnit (const DeviceData& data)
    {
        juce::MemoryOutputStream out;

        for (auto slot : data.getUsedPresetIndices())
            data.getPreset (slot)->writeSysEx (out);

        data.getSetup().writeSysEx (out);
        return out.getMemoryBlock();
    }

    juce::File scratch (const char* name)
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory)
                   .getChildFile ("belvora-bench-" + juce::String ((int) getpid()) + name);
    }

    void reportBytes (benchmark::State& state, size_t bytes)
    {
        state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) bytes);
        state.counters["presets"] = userSlots;
    }
}

static void BM_BuildUnit (benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize (buildUnit());

    state.counters["presets"] = userSlots;
}
BENCHMARK (BM_BuildUnit)->Unit (benchmark::kMillisecond);

static void BM_EncodeUnitSysEx (benchmark::State& state)
{
    const auto data = buildUnit();
    size_t bytes = 0;

    for (auto _ : state)
    {
        const auto block = encodeUnit (*data);
        bytes = block.getSize();
        benchmark::DoNotOptimize (block.getData());
    }

    reportBytes (state, bytes);
}
BENCHMARK (BM_EncodeUnitSysEx)->Unit (benchmark::kMillisecond);

static void BM_DecodeUnitSysEx (benchmark::State& state)
{
    const auto data = buildUnit();
    const auto block = encodeUnit (*data);
    const auto caps = data->getCapsBlock();
    const auto* bytes = static_cast<const uint8_t*> (block.getData());
    const auto size = (int) block.getSize();

    for (auto _ : state)
    {
        int used = 0;
        juce::int64 sum = 0;

        while (used < size)
        {
            int taken = 0;
            juce::uint32 status = 0;

            if (auto preset = SysEx::parsePreset (bytes + used, size - used, taken, status, caps))
            {
                for (int s = 0; s < preset->getNumSteps(); ++s)
                    sum += preset->getStepValues (s)[0];
            }
            else if (auto setup = SysEx::parseSetupData (bytes + used, size - used, taken, status, caps))
            {
                sum += setup->getValues()[0];
            }
            else
            {
                state.SkipWithError ("decode failed");
                break;
            }

            used += taken;
        }

        benchmark::DoNotOptimize (sum);
    }

    reportBytes (state, block.getSize());
}
BENCHMARK (BM_DecodeUnitSysEx)->Unit (benchmark::kMillisecond);

static void BM_ContentMd5 (benchmark::State& state)
{
    const auto data = buildUnit();

    for (auto _ : state)
    {
        for (auto slot : data->getUsedPresetIndices())
        {
            data->getPreset (slot)->setModified (false);   // drops the kept md5
            benchmark::DoNotOptimize (data->getPreset (slot)->getMD5());
        }
    }

    state.counters["presets"] = userSlots;
}
BENCHMARK (BM_ContentMd5)->Unit (benchmark::kMillisecond);

static void BM_SaveMwd (benchmark::State& state)
{
    const auto data = buildUnit();
    const auto file = scratch ("-save.mwd");

    for (auto _ : state)
        if (data->saveToFile (file) != DeviceData::saved)
            state.SkipWithError ("save failed");

    reportBytes (state, (size_t) file.getSize());
    file.deleteFile();
}
BENCHMARK (BM_SaveMwd)->Unit (benchmark::kMillisecond);

static void BM_LoadMwd (benchmark::State& state)
{
    const auto file = scratch ("-load.mwd");
    buildUnit()->saveToFile (file);

    for (auto _ : state)
    {
        auto loaded = DeviceData::loadFromFile (file);

        if (loaded == nullptr || loaded->getNumPresets() != userSlots)
            state.SkipWithError ("load failed");

        benchmark::DoNotOptimize (loaded);
    }

    reportBytes (state, (size_t) file.getSize());
    file.deleteFile();
}
BENCHMARK (BM_LoadMwd)->Unit (benchmark::kMillisecond);

static void BM_ImportSyx (benchmark::State& state)
{
    const auto source = buildUnit();
    const auto file = scratch ("-import.syx");
    const auto block = encodeUnit (*source);
    file.replaceWithData (block.getData(), block.getSize());

    for (auto _ : state)
    {
        DeviceData target (source->getProductName(), source->getFirmwareVersion(), source->getCapsBlock(), nullptr);
        juce::SortedSet<int> changed;
        benchmark::DoNotOptimize (target.importSysEx (file, changed, -1));

        if (changed.size() != userSlots)
            state.SkipWithError ("import failed");
    }

    reportBytes (state, block.getSize());
    file.deleteFile();
}
BENCHMARK (BM_ImportSyx)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
