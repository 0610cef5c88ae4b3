// The Cloud tree of the sample preset packs (tests/data/content), from the
// moment the data page asks for it until its groups and archives are in the
// tree on the message thread. First load: the pack just unpacked, its older
// archives converted by their scripts and rewritten; later loads: the pack
// already in the unit's formats. Vesper at build 140 and Quill Duo at 250.

#include "support/SampleHome.h"
#include "archive/CloudArchiveManager.h"
#include "content/ContentManager.h"
#include "content/ContentReader.h"
#include "content/PresetPacks.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"

#include "BenchMain.h"
#include <juce_events/juce_events.h>


namespace
{
    struct Product
    {
        int id;
        const char* name;
        const char* folder;   // on the sample server
        const char* zip;
        int build;
    };

    const Product vesper { 0x12, "Vesper", "Vesper", "vesper_presets.zip", 140 };
    const Product quill { 0x1A, "Quill Duo", "QuillDuo", "quill_duo_presets.zip", 250 };

    struct Ignored : public juce::MessageListener
    {
        void handleMessage (const juce::Message&) override {}
    };

    Ignored notifications;
    ContentManager* content = nullptr;

    juce::File packsOf (const Product& product)
    {
        return juce::File (BelvoraPaths::getPacksFolder (product.name));
    }

    bool unpackSamplePack (const Product& product)
    {
        const auto packs = packsOf (product);
        packs.deleteRecursively();
        return ContentReader::unpackZip (SampleHome::sampleContent().getChildFile (product.folder).getChildFile ("packs").getChildFile (product.zip), packs,
                                         platform::DownloadPolicy::maxUnpackedBytes, platform::DownloadPolicy::maxPackEntries, platform::DownloadPolicy::maxUnpackRatio, nullptr);
    }

    CapsBlock unitCaps (const Product& product)
    {
        const auto caps = DeviceProfiler::createCaps (*content, product.id, product.build);
        return caps != nullptr ? caps->caps : CapsBlock();
    }

    /** Loads the Cloud tree as the data page does; the number of archives in it. */
    int loadCloudTree (const Product& product, const CapsBlock& caps)
    {
        CloudArchiveManager cloud (*content, caps, FirmwareVersion (0, 1, 0, 0, product.build));

        while (cloud.isLoading())
            juce::MessageManager::getInstance()->runDispatchLoopUntil (1);

        int archives = 0, containers = 0;
        SourceTree::countNodes (cloud.getTree(), archives, containers, true);
        return archives;
    }

    void firstLoad (benchmark::State& state, const Product& product, int expected)
    {
        const auto caps = unitCaps (product);

        for (auto _ : state)
        {
            state.PauseTiming();
            const auto unpacked = unpackSamplePack (product);
            state.ResumeTiming();

            if (! unpacked || loadCloudTree (product, caps) != expected)
            {
                state.SkipWithError ("the Cloud tree does not hold the pack");
                break;
            }
        }

        state.counters["archives"] = expected;
    }

    void laterLoad (benchmark::State& state, const Product& product, int expected)
    {
        const auto caps = unitCaps (product);

        if (! unpackSamplePack (product) || loadCloudTree (product, caps) != expected)
            state.SkipWithError ("the Cloud tree does not hold the pack");

        for (auto _ : state)
        {
            if (loadCloudTree (product, caps) != expected)
            {
                state.SkipWithError ("the Cloud tree does not hold the pack");
                break;
            }
        }

        state.counters["archives"] = expected;
    }

    void vesperFirstLoad (benchmark::State& state)   { firstLoad (state, vesper, 4); }
    void vesperLaterLoad (benchmark::State& state)   { laterLoad (state, vesper, 4); }
    void quillFirstLoad (benchmark::State& state)    { firstLoad (state, quill, 2); }
    void quillLaterLoad (benchmark::State& state)    { laterLoad (state, quill, 2); }

    BENCHMARK (vesperFirstLoad)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (20);
    BENCHMARK (vesperLaterLoad)->Unit (benchmark::kMillisecond)->UseRealTime();
    BENCHMARK (quillFirstLoad)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (20);
    BENCHMARK (quillLaterLoad)->Unit (benchmark::kMillisecond)->UseRealTime();
}

int main (int argc, char** argv)
{
    const auto home = SampleHome::makePrivateHome ("belvora-pack-bench-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));

    for (const auto* product : { &vesper, &quill })
        SampleHome::copySampleProduct (product->folder, product->name);

    juce::MessageManager::getInstance();
    int result = 0;

    {
        ContentManager catalogue (ContentManager::Setup(), notifications, nullptr);
        content = &catalogue;

        result = BenchMain::runIf (catalogue.loadCachedProductContent (vesper.id) && catalogue.loadCachedProductContent (quill.id),
                                  "The sample content could not be prepared.", argc, argv);

        content = nullptr;
    }

    juce::MessageManager::deleteInstance();
    home.deleteRecursively();
    return result;
}
