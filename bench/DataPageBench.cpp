// The data page's browser over a heavy user's sources: 100 backups of a
// 300-slot unit in ten groups and two preset packs of 20 entries each, every
// row built, opened and painted; and the 300-slot workspace selected in the
// browser and shown by the page (its panels and toolbar updated, the page
// painted).

#include "support/SampleHome.h"
#include "app/Belvora.h"
#include "devices/SimulatedUnit.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/SourceTreeItem.h"
#include "model/SourceTree.h"

#include "BenchMain.h"

namespace
{
    constexpr int slots = 301;

    CapsBlock unitCaps()
    {
        CapsBlock caps;
        caps.productId = 0x12;
        caps.numSyxPackagesPerPresetStep = 2;
        caps.presetStepPacketSize = 32;
        caps.presetVersion = 4;
        caps.numSyxPackagesPerSetup = 2;
        caps.setupPacketSize = 32;
        caps.setupVersion = 3;
        caps.numPresets = slots;
        caps.presetNameLength = 15;
        caps.maxPresetSteps = 8;
        return caps;
    }

    std::unique_ptr<DeviceData> makeUnitData()
    {
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 4, 0, 140), unitCaps(), nullptr);

        for (int slot = 1; slot < slots; ++slot)
            data->setPreset (slot, SimulatedUnit::makePreset (unitCaps(), slot, 2, "Preset " + juce::String (slot)));

        return data;
    }

    /** The device, the backups and the packs, as the page builds its tree. */
    juce::ValueTree makeSources (const DeviceData& unit)
    {
        auto root = SourceTree::createRoot ("Vesper", true);
        SourceTree::getDeviceCategoryNode (root).setProperty (SourceTreeIds::data, new DataSet (nullptr, unit.clone (false)), nullptr);

        auto backups = SourceTree::findNode (root, SourceTreeIds::archiveCategory);

        for (int g = 0; g < 10; ++g)
        {
            auto group = SourceTree::createNode (SourceTreeIds::group, "Group " + juce::String (g));
            backups.appendChild (group, nullptr);

            for (int b = 0; b < 10; ++b)
                group.appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (unit, "Backup " + juce::String (g * 10 + b), "")), nullptr);
        }

        auto cloud = SourceTree::findNode (root, SourceTreeIds::cloudCategory);

        for (int p = 0; p < 2; ++p)
        {
            auto pack = SourceTree::createNode (SourceTreeIds::group, "Pack " + juce::String (p));
            cloud.appendChild (pack, nullptr);

            for (int e = 0; e < 20; ++e)
                pack.appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (unit, "Entry " + juce::String (e), "")), nullptr);
        }

        return root;
    }

    void openAll (juce::TreeViewItem& item)
    {
        item.setOpen (true);

        for (int i = 0; i < item.getNumSubItems(); ++i)
            openAll (*item.getSubItem (i));
    }

    struct Scene
    {
        Scene() : unit (makeUnitData()), root (makeSources (*unit))
        {
            page.setSize (1020, 700);
            page.getBrowser().setSize (300, 636);
        }

        std::unique_ptr<DeviceData> unit;
        juce::ValueTree root;
        DataPage page;
        juce::Image image { juce::Image::ARGB, 1020, 700, true };
    };

    std::unique_ptr<Scene> scene;
}

static void browserBuiltFrom100BackupsAndTwoPacks (benchmark::State& state)
{
    auto& browser = scene->page.getBrowser();

    for (auto _ : state)
    {
        browser.setSourceTree (&scene->page, scene->root);
        openAll (*browser.getRootItem());

        juce::Graphics g (scene->image);
        browser.paintEntireComponent (g, false);
        benchmark::DoNotOptimize (scene->image.getPixelAt (10, 10));
    }

    state.counters["rows"] = browser.getTreeView().getNumRowsInTree();
}

static void workspaceOf300SlotUnitShown (benchmark::State& state)
{
    auto& browser = scene->page.getBrowser();
    browser.setSourceTree (&scene->page, scene->root);
    const auto backups = SourceTree::findNode (scene->root, SourceTreeIds::archiveCategory);
    const auto device = SourceTree::getDeviceCategoryNode (scene->root);

    for (auto _ : state)
    {
        browser.selectItemFor (backups);
        browser.selectItemFor (device);

        juce::Graphics g (scene->image);
        scene->page.paintEntireComponent (g, false);
        benchmark::DoNotOptimize (scene->page.getViewKind());
    }
}

BENCHMARK (browserBuiltFrom100BackupsAndTwoPacks)->Unit (benchmark::kMillisecond);
BENCHMARK (workspaceOf300SlotUnitShown)->Unit (benchmark::kMillisecond);

int main (int argc, char** argv)
{
    const auto home = SampleHome::makePrivateHome ("belvora-datapage-bench");
    int result = 0;

    {
        const juce::ScopedJuceInitialiser_GUI gui;
        Belvora::configureAppProperties();
        scene = std::make_unique<Scene>();
        result = BenchMain::runIf (true, "", argc, argv);
        scene.reset();
        Belvora::releaseAppProperties();
    }

    home.deleteRecursively();
    return result;
}
