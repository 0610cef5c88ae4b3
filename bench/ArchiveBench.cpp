// The local backups of a heavy user: an index of 1,000 backups of 300 presets
// each (four steps of 16 packets of 128 data bytes, as large as ModelBench's),
// half in the unit's data formats and half in an older pair. Measured: the
// index read and the unit's 500 backups built into the "Backups" tree; the
// same with every backup's data read as well (what a tree that read all data
// up front would cost); one backup saved after an edit; the index written
// back with one edited backup; and what the data page writes on the message
// thread right after an edit: the backups after a new backup or a rename, the
// 300-slot workspace after a preset edit (max_ms: the longest single save).
// The tree is also built from an index ten times as large (5,000 backups of
// the unit's formats in another home), which should take ten times as long.

#include "support/SampleHome.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "platform/WriteQueue.h"

#include "BenchMain.h"
#include <juce_events/juce_events.h>

#include <cstdlib>
#include <unistd.h>

namespace
{
    constexpr int product = 0x12;   // the sample Vesper, known to the sample catalogue
    constexpr int backupsPerFormat = 500;
    constexpr int groups = 10;

    constexpr int userSlots = 300;

    CapsBlock largeCaps (int presetVersion, int setupVersion)
    {
        auto caps = CapsBlock();
        caps.productId = (uint8_t) product;
        caps.numSyxPackagesPerPresetStep = 4;
        caps.presetStepPacketSize = 128;
        caps.presetVersion = presetVersion;
        caps.numSyxPackagesPerSetup = 16;
        caps.setupPacketSize = 256;
        caps.setupVersion = setupVersion;
        caps.numPresets = userSlots + 1;
        caps.presetNameLength = 15;
        caps.maxPresetSteps = 8;
        return caps;
    }

    const CapsBlock unitCaps = largeCaps (4, 3);
    const CapsBlock olderCaps = largeCaps (3, 2);

    juce::Array<int> countingFrom (int first, int count)
    {
        juce::Array<int> values;
        for (int v = 0; v < count; ++v)
            values.add (first + v * 3);
        return values;
    }

    /** Every user slot holds a copy of one preset of four steps; the setup is full. */
    std::unique_ptr<DeviceData> buildUnit (const CapsBlock& caps)
    {
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 4, 0, 140), caps, nullptr);
        auto* preset = data->createPreset (1);

        PresetName header;
        header.number = 1;
        header.formatVersion = caps.presetVersion;
        header.nameLength = caps.presetNameLength;
        header.setFromBytes (reinterpret_cast<const uint8_t*> ("Stored preset"), 13);
        preset->setNameBytes (header);

        for (int step = 0; step < 4; ++step)
            preset->setStepValues (step, countingFrom (step * 1000, caps.presetStepPacketSize * caps.numSyxPackagesPerPresetStep / 4));

        for (int slot = 2; slot <= userSlots; ++slot)
            data->copyPresetTo (slot, 1, *data);

        SetupData setup (caps);
        setup.setSetupDataVersion (caps.setupVersion);
        setup.setValues (countingFrom (0, caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4));
        data->setSetup (setup, false);
        data->clearModified (false);
        return data;
    }

    /** A private home whose data folder holds the sample catalogue and the backups with their index. */
    /** The index's set of one pair of data versions; its root group. */
    juce::XmlElement& addSet (juce::XmlElement& index, const CapsBlock& caps)
    {
        auto* set = index.createNewChildElement ("set");
        set->setAttribute ("presetVersion", caps.presetVersion);
        set->setAttribute ("setupVersion", caps.setupVersion);
        return *set->createNewChildElement ("group");
    }

    juce::XmlElement* addGroup (juce::XmlElement& root, int number)
    {
        auto* group = root.createNewChildElement ("group");
        group->setAttribute ("name", "Group " + juce::String (number));
        return group;
    }

    juce::File preparePrivateHome()
    {
        const auto home = SampleHome::makePrivateHome ("belvora-archive-bench-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
        const juce::File folder (BelvoraPaths::getBackupDataFolder ("Vesper"));
        folder.createDirectory();

        juce::XmlElement index ("BACKUP");
        int number = 0;

        for (const auto* caps : { &unitCaps, &olderCaps })
        {
            const auto unit = buildUnit (*caps);
            auto& root = addSet (index, *caps);

            for (int g = 0; g < groups; ++g)
            {
                auto* group = addGroup (root, g);

                for (int i = 0; i < backupsPerFormat / groups; ++i, ++number)
                {
                    DeviceDataArchive archive (*unit, "Backup " + juce::String (number), "A stored copy");
                    const auto file = folder.getChildFile (juce::String::formatted ("Vesper_%06d.xml", number));

                    if (! archive.save (file))
                        return {};

                    group->createNewChildElement ("archive")->addTextElement (file.getFullPathName());
                }
            }
        }

        index.setAttribute ("nextFileNum", number);
        return index.writeTo (juce::File (BelvoraPaths::getBackupIndexFile ("Vesper"))) ? home : juce::File();
    }

    constexpr int largeBackupsPerFormat = 5000;

    /** The large index's home: as the first, with ten times the backups. Its
        data files are hard links of one file, the same bytes without
        gigabytes on disk; each archive file is its own. */
    juce::File prepareLargeHome()
    {
        const auto home = SampleHome::makePrivateHome ("belvora-archive-bench-large-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
        const juce::File folder (BelvoraPaths::getBackupDataFolder ("Vesper"));
        folder.createDirectory();

        juce::XmlElement index ("BACKUP");
        int number = 0;

        for (const auto* caps : { &unitCaps, &olderCaps })
        {
            const auto shared = folder.getChildFile (juce::String::formatted ("shared_%d.xml", caps->presetVersion));
            DeviceDataArchive first (*buildUnit (*caps), "Shared", "A stored copy");

            if (! first.save (shared))
                return {};

            const auto model = first.createXml();
            auto& root = addSet (index, *caps);

            for (int g = 0; g < groups; ++g)
            {
                auto* group = addGroup (root, g);

                for (int i = 0; i < largeBackupsPerFormat / groups; ++i, ++number)
                {
                    const auto file = folder.getChildFile (juce::String::formatted ("Vesper_%06d.xml", number));
                    const auto data = file.withFileExtension ("mwd");

                    if (::link (shared.withFileExtension ("mwd").getFullPathName().toRawUTF8(), data.getFullPathName().toRawUTF8()) != 0)
                        return {};

                    juce::XmlElement xml (*model);
                    xml.getChildByName ("uuid")->deleteAllChildElements();
                    xml.getChildByName ("uuid")->addTextElement (juce::Uuid().toString());
                    xml.getChildByName ("title")->deleteAllChildElements();
                    xml.getChildByName ("title")->addTextElement ("Backup " + juce::String (number));
                    xml.getChildByName ("linkData")->deleteAllChildElements();
                    xml.getChildByName ("linkData")->addTextElement (data.getFullPathName());

                    if (! xml.writeTo (file))
                        return {};

                    group->createNewChildElement ("archive")->addTextElement (file.getFullPathName());
                }
            }

            // Listed nowhere: a pair the tree would adopt.
            shared.deleteFile();
            shared.withFileExtension ("mwd").deleteFile();
        }

        index.setAttribute ("nextFileNum", number);
        return index.writeTo (juce::File (BelvoraPaths::getBackupIndexFile ("Vesper"))) ? home : juce::File();
    }

    juce::File largeHome;

    /** Points the data folder at another home for the scope's life. */
    struct HomeSwitch
    {
        explicit HomeSwitch (const juce::File& home)
        {
            ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
            ::setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
        }

        ~HomeSwitch()
        {
            ::setenv ("HOME", oldHome.toRawUTF8(), 1);
            ::setenv ("XDG_CONFIG_HOME", oldConfig.toRawUTF8(), 1);
        }

        const juce::String oldHome { std::getenv ("HOME") }, oldConfig { std::getenv ("XDG_CONFIG_HOME") };
    };

    struct Ignored : public juce::MessageListener
    {
        void handleMessage (const juce::Message&) override {}
    };

    ContentManager* content = nullptr;
    Ignored notifications;

    int countNodes (const juce::ValueTree& tree)
    {
        int data = 0, containers = 0;
        SourceTree::countNodes (tree, data, containers, true);
        return data;
    }

    /** Reads the index and builds the tree of the unit's backups at every iteration. */
    void timeTreeLoads (benchmark::State& state, int expectedBackups)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);

        for (auto _ : state)
        {
            backups.loadBackupIndex();
            backups.reloadTree();

            if (countNodes (backups.getTree()) != expectedBackups)
            {
                state.SkipWithError ("the tree does not hold the unit's backups");
                break;
            }
        }

        state.counters["backups"] = expectedBackups;
    }

    void loadBackupsTree (benchmark::State& state)
    {
        timeTreeLoads (state, backupsPerFormat);
    }

    void loadBackupsTreeOf5000 (benchmark::State& state)
    {
        const HomeSwitch inLargeHome (largeHome);
        timeTreeLoads (state, largeBackupsPerFormat);
    }

    void loadBackupsTreeReadingAllData (benchmark::State& state)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);

        for (auto _ : state)
        {
            backups.loadBackupIndex();
            backups.reloadTree();

            juce::Array<juce::ValueTree> nodes;
            SourceTree::collectNodes (backups.getTree(), nodes);
            int presets = 0;

            for (const auto& node : nodes)
                presets += SourceTree::getArchive (node)->getPresetNames().size();

            benchmark::DoNotOptimize (presets);
        }
    }

    /** The first backup of the tree, its working copy edited. */
    DataSet* editFirstBackup (LocalArchiveManager& backups)
    {
        juce::Array<juce::ValueTree> nodes;
        SourceTree::collectNodes (backups.getTree(), nodes);
        auto* set = SourceTree::getDataSet (nodes.getFirst());
        set->getWorkingData()->getPreset (1)->setModified (true);
        return set;
    }

    void saveOneBackup (benchmark::State& state)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);
        backups.reloadTree();
        auto* set = editFirstBackup (backups);
        auto* archive = set->getArchive();
        const auto file = archive->getArchiveFile();
        int edit = 0;

        for (auto _ : state)
        {
            archive->replaceDeviceData (*set->getWorkingData());
            archive->setDescription ("Edit " + juce::String (++edit));

            if (! archive->save (file))
            {
                state.SkipWithError ("the save failed");
                break;
            }
        }
    }

    void saveIndexWithOneEditedBackup (benchmark::State& state)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);
        backups.reloadTree();

        for (auto _ : state)
        {
            editFirstBackup (backups);
            backups.saveBackupIndexInBackground();
            backups.waitForBackgroundSaves();

            if (! backups.getUnsaved().isEmpty())
            {
                state.SkipWithError ("the save failed");
                break;
            }
        }
    }

    /** What the message thread spends on each save, timed by hand as well for
        the longest; the writes it hands over are waited for outside the timing. */
    template <typename Save, typename Settle>
    void timeSaves (benchmark::State& state, Save&& save, Settle&& settle)
    {
        double longest = 0.0;

        for (auto _ : state)
        {
            const auto start = juce::Time::getMillisecondCounterHiRes();

            if (! save())
            {
                state.SkipWithError ("the save failed");
                break;
            }

            longest = juce::jmax (longest, juce::Time::getMillisecondCounterHiRes() - start);
            state.PauseTiming();
            settle();
            state.ResumeTiming();
        }

        state.counters["max_ms"] = longest;
    }

    void pageSaveAfterANewBackup (benchmark::State& state)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);
        backups.reloadTree();
        const auto unit = buildUnit (unitCaps);
        auto tree = backups.getTree();
        juce::ValueTree made;

        // The pair its save wrote goes too: left in the folder, the next
        // run's tree would adopt it, and every later benchmark would time a
        // larger index, by how many saves ran before it.
        const auto dropMade = [&]
        {
            if (made.isValid())
            {
                const auto dataFile = SourceTree::getArchive (made)->getDataFile();
                dataFile.deleteFile();
                dataFile.withFileExtension ("xml").deleteFile();
                tree.removeChild (made, nullptr);
                made = {};
            }
        };

        // Every save sees the 500 backups and one new one.
        timeSaves (state, [&]
        {
            made = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unit, "New backup", ""));
            tree.appendChild (made, nullptr);
            backups.saveBackupIndexInBackground();
            return true;
        },
        [&] { backups.waitForBackgroundSaves(); dropMade(); });

        state.counters["backups"] = countNodes (tree);
        backups.saveBackupIndexInBackground();
    }

    void pageSaveAfterARename (benchmark::State& state)
    {
        LocalArchiveManager backups (*content, unitCaps, "Bench Unit", notifications);
        backups.reloadTree();
        juce::Array<juce::ValueTree> nodes;
        SourceTree::collectNodes (backups.getTree(), nodes);
        int edit = 0;

        timeSaves (state, [&]
        {
            const auto title = "Renamed " + juce::String (++edit);
            SourceTree::getArchive (nodes.getFirst())->setTitle (title);
            nodes.getFirst().setProperty (SourceTreeIds::label, title, nullptr);
            backups.saveBackupIndexInBackground();
            return true;
        },
        [&] { backups.waitForBackgroundSaves(); });
    }

    void pageSaveOfThe300SlotWorkspace (benchmark::State& state)
    {
        auto work = buildUnit (unitCaps);
        const auto folder = juce::File (BelvoraPaths::getBackupDataFolder ("Vesper")).getSiblingFile ("unit");
        folder.createDirectory();
        platform::WriteQueue writes;
        int edit = 0;

        // As the page does: a copy handed to its write queue.
        timeSaves (state, [&]
        {
            ++edit;
            work->getPreset (1 + edit % userSlots)->setName ("Edit " + juce::String (edit));
            std::shared_ptr<const DeviceData> copy = work->clone (false);
            writes.post ([copy, folder] { copy->saveWorkingFile (folder, true); });
            return true;
        },
        [&] { writes.waitUntilIdle(); });

        state.counters["slots"] = work->getNumPresets();
    }

    /** The same write as it lands on disk, for comparison: the time a save on the message thread would take. */
    void workspaceWrittenInPlace (benchmark::State& state)
    {
        auto work = buildUnit (unitCaps);
        const auto folder = juce::File (BelvoraPaths::getBackupDataFolder ("Vesper")).getSiblingFile ("unit");
        folder.createDirectory();

        timeSaves (state, [&] { return work->saveWorkingFile (folder, true) == DeviceData::saved; }, [] {});
    }

    BENCHMARK (loadBackupsTree)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (loadBackupsTreeOf5000)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (loadBackupsTreeReadingAllData)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (3);
    BENCHMARK (saveOneBackup)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (saveIndexWithOneEditedBackup)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (pageSaveAfterANewBackup)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (pageSaveAfterARename)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (pageSaveOfThe300SlotWorkspace)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (workspaceWrittenInPlace)->Unit (benchmark::kMillisecond)->UseRealTime();
}

int main (int argc, char** argv)
{
    largeHome = prepareLargeHome();
    const auto home = preparePrivateHome();
    int result = 0;

    if (home == juce::File() || largeHome == juce::File())
    {
        std::fprintf (stderr, "The backups could not be written.\n");
        return 1;
    }

    {
        const juce::ScopedJuceInitialiser_GUI juce;
        ContentManager catalogue ({}, notifications, nullptr);
        content = &catalogue;

        result = BenchMain::runIf (catalogue.getProductName (product) == "Vesper",
                                  "The sample catalogue could not be read.", argc, argv);

        content = nullptr;
    }

    home.deleteRecursively();
    largeHome.deleteRecursively();
    return result;
}
