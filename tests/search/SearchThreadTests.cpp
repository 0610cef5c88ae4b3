#include "base/MessageTarget.h"
#include "search/SearchFixtures.h"
#include "search/SearchThread.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace SearchFixtures;
using PresetSearch::Result;

namespace
{
    const juce::StringArray everywhere { "Device", "Backups", "Cloud" };

    struct Search
    {
        explicit Search (const Tree& tree) : Search (tree.devices(), tree.backups(), tree.clouds()) {}

        Search (const juce::Array<juce::ValueTree>& devices, const juce::Array<juce::ValueTree>& backups,
                const juce::Array<juce::ValueTree>& clouds)
            : snapshot (PresetSearch::Snapshot::take (devices, backups, clouds, &nodes))
        {
        }

        /** The hits with their nodes filled in, as the search content sees them. */
        PresetSearch::Results run (const juce::String& query, SearchThread::Filter filter = { 0, 0, everywhere })
        {
            PresetNameMatcher matcher;
            auto hits = SearchThread::search (*snapshot, filter, query, matcher);
            EXPECT_TRUE (hits.has_value());

            for (auto& hit : *hits)
                hit.dataSet = nodes[hit.dataSetIndex];

            return *hits;
        }

        juce::Array<juce::ValueTree> nodes;
        std::shared_ptr<const PresetSearch::Snapshot> snapshot;
    };

    juce::File freshFolder (const juce::String& name)
    {
        const auto folder = TestEnvironment::getHome().getChildFile (name);
        folder.deleteRecursively();
        folder.createDirectory();
        return folder;
    }

    /** One line a hit, readable when a comparison fails. */
    std::string describe (const PresetSearch::Results& hits)
    {
        juce::StringArray lines;

        for (const auto& h : hits)
            lines.add ((h.isDataSetHit() ? juce::String ("[set]") : juce::String (h.presetNumber)) + " " + h.name + " @ " + h.location);

        return lines.joinIntoString ("\n").toStdString();
    }

    std::string lines (std::initializer_list<const char*> items)
    {
        return juce::StringArray (items).joinIntoString ("\n").toStdString();
    }

    /** Collects what search threads post. */
    struct Collector : MessageTarget
    {
        void handleMessage (const juce::Message& m) override
        {
            if (auto* found = dynamic_cast<const PresetSearch::ResultsMessage*> (&m))
            {
                std::lock_guard<std::mutex> l (lock);
                arrived.push_back ({ found->search, found->results });
            }
        }

        size_t count()
        {
            std::lock_guard<std::mutex> l (lock);
            return arrived.size();
        }

        std::mutex lock;
        std::vector<std::pair<int, PresetSearch::Results>> arrived;
    };
}

//==============================================================================
TEST (PresetSearchThread, HitsComeInLocationAndSlotOrderWithTheirPlaces)
{
    Tree tree;
    const auto hits = Search (tree).run ("big reverb");

    EXPECT_EQ (describe (hits), lines ({ "1 Big Reverb @ Vesper - Vesper",
                                         "1 Big Reverb @ Backups - 2026 - Vesper_000001",
                                         "[set] Reverb Set @ Backups - 2026",
                                         "2 Plate Verb @ Backups - 2026 - Reverb Set",
                                         "7 Big Reverb @ Cloud - Live Vox 2.0" }));

    for (const auto& h : hits)
        EXPECT_GT (h.rank, PresetSearch::hitThreshold);

    EXPECT_EQ (hits[0].dataSet, tree.device);
    EXPECT_EQ (hits[2].dataSet, tree.secondBackup);
    EXPECT_EQ (hits[4].dataSet, tree.pack);
}

TEST (PresetSearchThread, LocationsFilterWhatIsSearched)
{
    Tree tree;
    Search search (tree);

    EXPECT_EQ (describe (search.run ("big reverb", { 0, 0, { "Cloud" } })),
               lines ({ "7 Big Reverb @ Cloud - Live Vox 2.0" }));
    EXPECT_EQ (search.run ("big reverb", { 0, 0, { "Backups", "Device" } }).size(), 4);
    EXPECT_EQ (search.run ("big reverb", { 0, 0, { "device" } }).size(), 0);   // names compare exactly
    EXPECT_EQ (search.run ("", { 0, 0, {} }).size(), 0);
}

TEST (PresetSearchThread, EmptyQueryListsEveryPresetAtFullRankAndNoDataSet)
{
    Tree tree;
    const auto hits = Search (tree).run ("");

    EXPECT_EQ (hits.size(), 9);

    for (const auto& h : hits)
    {
        EXPECT_EQ (h.rank, 1.0f);
        EXPECT_FALSE (h.isDataSetHit());
    }
}

TEST (PresetSearchThread, TagFilter)
{
    Tree tree;
    Search search (tree);
    const auto names = [&] (uint64_t mask, int numTags)
    {
        juce::StringArray found;

        for (const auto& h : search.run ("", { mask, numTags, { "Device" } }))
            found.add (h.name);

        return found;
    };

    // Device: Big Reverb 001, Acoustic Guitar 010, Vox none, Clean Double 101.
    EXPECT_EQ (names (0, 3), juce::StringArray ({ "Vox" }));
    EXPECT_EQ (names (0b111, 3), juce::StringArray ({ "Big Reverb", "Acoustic Guitar", "Vox", "Clean Double" }));
    EXPECT_EQ (names (0b100, 3), juce::StringArray ({ "Clean Double" }));
    EXPECT_EQ (names (0b011, 3), juce::StringArray ({ "Big Reverb", "Acoustic Guitar", "Clean Double" }));
    EXPECT_EQ (names (0, 0).size(), 4);                                             // no tags: no filter
    EXPECT_EQ (names (0b11, 2), juce::StringArray ({ "Big Reverb", "Acoustic Guitar", "Vox", "Clean Double" }));
    EXPECT_EQ (names (0b01, 2), juce::StringArray ({ "Big Reverb", "Clean Double" }));

    // Tags above the product's count never pass a filtered search.
    EXPECT_FALSE (SearchThread::passesTags (0b1000, 0b0111, 3));
}

TEST (PresetSearchThread, TagMasksHoldEveryTagUpTo64)
{
    EXPECT_EQ (SearchThread::allTagsOf (0), 0u);
    EXPECT_EQ (SearchThread::allTagsOf (3), 0b111u);
    EXPECT_EQ (SearchThread::allTagsOf (31), 0x7fffffffu);
    EXPECT_EQ (SearchThread::allTagsOf (32), 0xffffffffu);
    EXPECT_EQ (SearchThread::allTagsOf (64), ~(uint64_t) 0);

    // With 32 tags, the last tag and the untagged presets pass as with any other count.
    EXPECT_TRUE (SearchThread::passesTags (0x80000000u, (uint64_t) 1 << 31, 32));
    EXPECT_TRUE (SearchThread::passesTags (0, 0xffffffffu, 32));
    EXPECT_FALSE (SearchThread::passesTags (0, 0x7fffffffu, 32));
}

TEST (PresetSearchThread, SlotZeroIsAPresetNotTheDataSet)
{
    juce::ValueTree root (SourceTree::createRoot ("Vesper", false));
    auto node = addDataNode (SourceTree::getDeviceCategoryNode (root), "Unit", { { 0, "Zero Vox" }, { 1, "One" } });
    auto snapshot = PresetSearch::Snapshot::take ({ node }, {}, {});
    PresetNameMatcher matcher;
    const auto hits = SearchThread::search (*snapshot, { 0, 0, everywhere }, "zero vox", matcher);

    ASSERT_TRUE (hits.has_value());
    ASSERT_EQ (hits->size(), 1);
    EXPECT_EQ (hits->getFirst().presetNumber, 0);
    EXPECT_FALSE (hits->getFirst().isDataSetHit());
}

TEST (PresetSearchThread, PlacesOfHitsBelowACategoryAndBelowTheRoot)
{
    Tree tree;
    const auto category = tree.device.getParent();

    EXPECT_EQ (PresetSearch::locationOf (tree.device, true), "Vesper - Vesper");
    EXPECT_EQ (PresetSearch::locationOf (tree.device, false), "Vesper");
    EXPECT_EQ (PresetSearch::locationOf (category, true), "Vesper");
    EXPECT_EQ (PresetSearch::locationOf (category, false), "");
    EXPECT_EQ (Result (3, "Vox", tree.device, 1.0f).location, "Vesper - Vesper");
    EXPECT_EQ (Result (PresetSearch::dataSetHit, "Vesper", tree.device, 1.0f).location, "Vesper");

    // A node without device data is left out of the snapshot.
    auto empty = SourceTree::createNode (SourceTreeIds::node, "Nothing");
    juce::Array<juce::ValueTree> taken;
    const auto snapshot = PresetSearch::Snapshot::take ({ empty, tree.device }, {}, {}, &taken);
    EXPECT_EQ (snapshot->dataSets.size(), 1u);
    EXPECT_EQ (taken, juce::Array<juce::ValueTree> ({ tree.device }));
}

TEST (PresetSearchThread, BackupsNotReadYetAreReadByTheSearchNotWhenTheSnapshotIsTaken)
{
    Tree tree;
    const auto folder = freshFolder ("search-unread");
    auto group = tree.firstBackup.getParent();
    const auto unread = addBackupNode (group, folder, "Reverb Disk", { { 1, "Big Reverb", 0b001 }, { 6, "Hall Reverb", 0b100 } });
    const auto broken = addBackupNode (group, folder, "Reverb Broken", { { 1, "Big Reverb", 0b100 } });
    ASSERT_TRUE (unread.isValid() && broken.isValid());

    // The broken one's head stays sound, its slots are cut off.
    const auto brokenFile = SourceTree::getArchive (broken)->getPendingDataFile();
    juce::MemoryBlock bytes;
    ASSERT_TRUE (brokenFile.loadFileAsData (bytes));
    brokenFile.replaceWithData (bytes.getData(), bytes.getSize() - 5);

    const juce::Array<juce::ValueTree> backups { tree.firstBackup, unread, broken, tree.secondBackup };
    Search search (tree.devices(), backups, tree.clouds());
    EXPECT_EQ (search.nodes.size(), 6) << "an unread backup is taken; what its file holds is not known yet";

    for (const auto& node : { unread, broken })
    {
        EXPECT_TRUE (SourceTree::getArchive (node)->getPendingDataFile().existsAsFile()) << "read on the calling thread";
        EXPECT_FALSE (SourceTree::getDataSet (node)->hasWorkingData());
    }

    const std::pair<const char*, SearchThread::Filter> queries[] = { { "reverb disk", { 0, 0, everywhere } },
                                                                     { "reverb broken", { 0, 0, everywhere } },
                                                                     { "", { 0b100, 3, everywhere } } };
    std::vector<std::string> found;

    for (const auto& [query, filter] : queries)
    {
        const auto hits = search.run (query, filter);
        found.push_back (describe (hits));

        // Each hit's node is the data set it was found in.
        for (const auto& h : hits)
            EXPECT_EQ (PresetSearch::locationOf (h.dataSet, ! h.isDataSetHit()), h.location) << h.name;

        EXPECT_FALSE (juce::String (found.back()).contains ("Reverb Broken")) << found.back();
    }

    EXPECT_TRUE (juce::String (found[0]).contains ("[set] Reverb Disk @ Backups - 2026\n"
                                                   "1 Big Reverb @ Backups - 2026 - Reverb Disk\n"
                                                   "6 Hall Reverb @ Backups - 2026 - Reverb Disk")) << found[0];
    EXPECT_TRUE (juce::String (found[2]).contains ("6 Hall Reverb @ Backups - 2026 - Reverb Disk")) << found[2];

    // Names and tags read as when the backups are opened.
    SourceTree::getDeviceData (unread);
    SourceTree::getDeviceData (broken);
    Search opened (tree.devices(), backups, tree.clouds());

    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ (describe (opened.run (queries[i].first, queries[i].second)), found[i]);
}

//==============================================================================
TEST (PresetSearchThread, AStoppedSearchPostsNothing)
{
    Tree tree;
    const auto snapshot = PresetSearch::Snapshot::take (tree.devices(), tree.backups(), tree.clouds());

    struct StoppedRunner : juce::Thread
    {
        explicit StoppedRunner (const PresetSearch::Snapshot& s) : juce::Thread ("stopped"), snapshot (s) {}

        void run() override
        {
            signalThreadShouldExit();
            PresetNameMatcher matcher;
            stoppedEarly = ! SearchThread::search (snapshot, { 0, 0, everywhere }, "", matcher).has_value();
        }

        const PresetSearch::Snapshot& snapshot;
        std::atomic<bool> stoppedEarly { false };
    };

    StoppedRunner runner (*snapshot);
    runner.startThread();
    ASSERT_TRUE (runner.waitForThreadToExit (10000));
    EXPECT_TRUE (runner.stoppedEarly);
}

TEST (PresetSearchThread, PostsItsHitsOnceTaggedWithItsSearch)
{
    Tree tree;
    Collector collector;
    SearchThread thread (collector, PresetSearch::Snapshot::take (tree.devices(), tree.backups(), tree.clouds()),
                         { 0, 0, everywhere }, "vox", 42);
    thread.startThread();

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return collector.count() == 1; }));
    EXPECT_EQ (collector.arrived[0].first, 42);
    EXPECT_EQ (describe (collector.arrived[0].second), describe (Search (tree).run ("vox")));
    EXPECT_EQ (thread.getThreadName(), "searchThread");
}

TEST (PresetSearchThread, EditsDuringASearchDoNotReachIt)
{
    Tree tree;
    Collector collector;

    // With a backup not read yet, which the user opens meanwhile.
    auto backups = tree.backups();
    backups.add (addBackupNode (tree.firstBackup.getParent(), freshFolder ("search-edits"), "Disk Set", { { 1, "Big Reverb" } }));
    const auto expected = describe (Search (tree.devices(), backups, tree.clouds()).run ("big reverb"));
    ASSERT_TRUE (juce::String (expected).contains ("1 Big Reverb @ Backups - 2026 - Disk Set")) << expected;

    std::vector<std::unique_ptr<SearchThread>> threads;

    for (int i = 0; i < 4; ++i)
    {
        threads.push_back (std::make_unique<SearchThread> (collector, PresetSearch::Snapshot::take (tree.devices(), backups, tree.clouds()),
                                                           SearchThread::Filter { 0, 0, everywhere }, "big reverb", i));
        threads.back()->startThread();
    }

    // The user renames and deletes presets meanwhile: the searches read their snapshots only.
    auto* data = SourceTree::getDeviceData (tree.device);
    auto* opened = SourceTree::getDeviceData (backups.getLast());
    const auto caps = data->getCapsBlock();

    for (int round = 0; round < 50; ++round)
    {
        data->setPreset (1, makePreset (caps, { 1, "Renamed " + juce::String (round) }));
        data->setPreset (2, nullptr);
        opened->setPreset (1, makePreset (caps, { 1, "Renamed " + juce::String (round) }));
        tree.device.setProperty (SourceTreeIds::label, "Unit " + juce::String (round), nullptr);
    }

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return collector.count() == 4; }));

    for (const auto& [id, hits] : collector.arrived)
        EXPECT_EQ (describe (hits), expected) << id;
}
