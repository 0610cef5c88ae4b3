// The preset search over 100 backups of 300 presets (30,000 names): the
// snapshot the message thread takes, and a query searched to full ranked
// results (scored, filtered, nodes filled in, sorted best first). Then the
// snapshot over 300 backups on disk whose data was not read yet, as the
// tree holds them after start-up.

#include "search/SearchThread.h"
#include "tests/search/SearchFixtures.h"

#include <benchmark/benchmark.h>

namespace
{
    constexpr int numBackups = 100;
    constexpr int presetsPerBackup = 300;

    const char* const words[] = { "Big", "Reverb", "Acoustic", "Guitar", "Harmony", "3rds", "Vox", "Double", "Clean",
                                  "Drive", "Delay", "Octave", "Gender", "Hardtune", "Lead", "Choir", "Stack", "Plate",
                                  "Hall", "Room", "Warm", "Bright", "Wide", "Tight", "Slap", "Echo", "Pitch", "Air" };
    constexpr int numWords = (int) (sizeof (words) / sizeof (words[0]));

    juce::String nameFor (int backup, int slot)
    {
        const auto seed = backup * 7919 + slot * 104729;
        return juce::String (words[seed % numWords]) + " " + words[(seed / numWords) % numWords]
             + (slot % 3 == 0 ? "+" + juce::String (words[(seed / 7) % numWords]) : juce::String (" ") + juce::String (slot % 17));
    }

    struct Library
    {
        Library()
        {
            auto backupsCategory = SourceTree::findNode (root, SourceTreeIds::archiveCategory);

            for (int b = 0; b < numBackups; ++b)
            {
                std::vector<SearchFixtures::PresetSample> presets;

                for (int slot = 1; slot <= presetsPerBackup; ++slot)
                    presets.push_back ({ slot, nameFor (b, slot), slot % 5 });

                backups.add (SearchFixtures::addDataNode (backupsCategory, "Vesper_" + juce::String (b).paddedLeft ('0', 6),
                                                          presets, presetsPerBackup + 1));
            }
        }

        juce::ValueTree root { SourceTree::createRoot ("Vesper", true) };
        juce::Array<juce::ValueTree> backups;
    };

    Library& library()
    {
        static Library l;
        return l;
    }

    void takeSnapshot (benchmark::State& state)
    {
        auto& lib = library();

        for (auto _ : state)
        {
            juce::Array<juce::ValueTree> nodes;
            benchmark::DoNotOptimize (PresetSearch::Snapshot::take ({}, lib.backups, {}, &nodes));
        }

        state.counters["names"] = numBackups * presetsPerBackup;
    }

    /** Backups on disk, each opened afresh as the tree opens them: head read, slots not. */
    struct UnreadBackups
    {
        static constexpr int count = 300;

        UnreadBackups()
        {
            folder.createDirectory();

            for (int b = 0; b < count; ++b)
            {
                std::vector<SearchFixtures::PresetSample> presets;

                for (int slot = 1; slot <= presetsPerBackup; ++slot)
                    presets.push_back ({ slot, nameFor (b, slot), slot % 5 });

                const auto label = "Vesper_" + juce::String (b).paddedLeft ('0', 6);
                SearchFixtures::addBackupNode (juce::ValueTree (SourceTreeIds::group), folder, label, presets, presetsPerBackup + 1);
                files.add (folder.getChildFile (label + ".xml"));
            }
        }

        ~UnreadBackups()   { folder.deleteRecursively(); }

        juce::Array<juce::ValueTree> open() const
        {
            juce::Array<juce::ValueTree> nodes;

            for (const auto& file : files)
                if (const auto xml = juce::XmlDocument::parse (file))
                    nodes.add (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*xml, folder)));

            return nodes;
        }

        juce::File folder { juce::File::createTempFile ("search-bench") };
        juce::Array<juce::File> files;
    };

    void takeSnapshotOfUnreadBackups (benchmark::State& state)
    {
        static UnreadBackups backups;

        for (auto _ : state)
        {
            state.PauseTiming();
            auto nodes = backups.open();
            juce::Array<juce::ValueTree> taken;
            state.ResumeTiming();

            auto snapshot = PresetSearch::Snapshot::take ({}, nodes, {}, &taken);
            benchmark::DoNotOptimize (snapshot.get());

            // Closing the backups is not the snapshot's cost.
            state.PauseTiming();
            snapshot.reset();
            taken.clear();
            nodes.clear();
            state.ResumeTiming();
        }

        state.counters["backups"] = UnreadBackups::count;
    }

    void searchToRankedResults (benchmark::State& state, const juce::String& query)
    {
        auto& lib = library();
        juce::Array<juce::ValueTree> nodes;
        const auto snapshot = PresetSearch::Snapshot::take ({}, lib.backups, {}, &nodes);
        const SearchThread::Filter filter { 0, 0, { "Device", "Backups", "Cloud" } };
        PresetNameMatcher matcher;
        int hits = 0;

        for (auto _ : state)
        {
            auto results = *SearchThread::search (*snapshot, filter, query, matcher);

            for (auto& r : results)
                r.dataSet = nodes[r.dataSetIndex];

            PresetSearch::sort (results, 1, 1);
            hits = results.size();
            benchmark::DoNotOptimize (results.getRawDataPointer());
        }

        state.counters["hits"] = hits;
        state.counters["names"] = numBackups * presetsPerBackup;
    }

    void searchQuery (benchmark::State& state)      { searchToRankedResults (state, "big verb"); }
    void searchEverything (benchmark::State& state) { searchToRankedResults (state, {}); }
}

BENCHMARK (takeSnapshot)->Unit (benchmark::kMillisecond);
BENCHMARK (takeSnapshotOfUnreadBackups)->Unit (benchmark::kMillisecond);
BENCHMARK (searchQuery)->Unit (benchmark::kMillisecond);
BENCHMARK (searchEverything)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
