// The data page's browser over a heavy user's sources: 100 backups of a
// 300-slot unit in ten groups and two preset packs of 20 entries each, every
// row built, opened and painted; and, in the running program, the workspace
// of a connected 300-slot unit whose data was downloaded, selected in the
// browser after the backups and shown by the page as the program starts it
// (its preset grid of 300 buttons laid out, panels and toolbar updated, the
// page painted: the buttons in the grid's view drawn).

#include "gui/RunningAppFixture.h"
#include "support/SampleHome.h"
#include "app/Belvora.h"
#include "devices/DeviceCaps.h"
#include "devices/SimulatedUnit.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPanels.h"
#include "gui/datapage/SourceTreeItem.h"
#include "model/SourceTree.h"

#include "BenchMain.h"

#include <cstdio>
#include <cstdlib>

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

    /** Ends the program with a message: a scene that is not what it claims is never measured. */
    void require (bool holds, const char* what)
    {
        if (! holds)
        {
            std::fprintf (stderr, "DataPageBench: %s\n", what);
            std::abort();
        }
    }

    /** The settings store and the sample master descriptor, for a page made outside the program. */
    struct AppProperties
    {
        AppProperties()    { Belvora::configureAppProperties(); SampleHome::copyMasterDescriptor(); }
        ~AppProperties()   { Belvora::releaseAppProperties(); }
    };

    struct Scene
    {
        Scene() : unit (makeUnitData()), root (makeSources (*unit))
        {
            page.setSize (1020, 700);
            page.getBrowser().setSize (300, 636);
        }

        AppProperties properties;
        std::unique_ptr<DeviceData> unit;
        juce::ValueTree root;
        DataPage page;
        juce::Image image { juce::Image::ARGB, 1020, 700, true };
    };

    /** The whole program with one unit of 300 user slots, connected, its data
        downloaded into the workspace and the data page in front. */
    struct RunningScene
    {
        RunningScene() : running (programOptions())
        {
            serveCapsWithSlots();
            require (running.start(), "the program did not start");

            // The sample units have few slots: the one started with makes way
            // for a unit of the sample product with 300 user slots.
            auto profile = SimulatedUnit::sampleProfile (0x12, 2);
            profile.caps.numPresets = slots;
            auto& units = dynamic_cast<SimulatedUnitSet&> (running.devices().getBackend());
            units.getUnit (0).unplug();
            units.addUnit (profile);

            require (running.waitFor ([this]
            {
                const auto caps = page().getCaps();
                return page().getDeviceDataSet() != nullptr && caps != nullptr && caps->caps.numPresets == slots;
            }), "the 300-slot unit was not connected");

            running.perform (CommandIDs::downloadDeviceData);
            require (running.waitFor ([this] { return ! page().isSyncNeeded() && ! page().isBusy(); }, 120000),
                     "the unit's data was not downloaded");
            require (page().getDeviceDataSet()->getWorkingData()->getUsedPresetIndicesInRange (1, slots - 1).size() == slots - 1,
                     "the workspace does not hold the unit's 300 presets");

            auto& content = running.content();
            content.getTabs().setCurrentTabIndex (content.getPresetsTabIndex());
            image = juce::Image (juce::Image::ARGB, page().getWidth(), page().getHeight(), true);
        }

        static RunningApp::Options programOptions()
        {
            RunningApp::Options options;
            options.units = "0x1A";
            options.settings.set ("dataSyncMethod", "manual");
            return options;
        }

        /** The sample product's profile with 300 user slots for the firmware the unit has. */
        void serveCapsWithSlots()
        {
            const auto file = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/caps.xml");
            const auto text = file.loadFileAsString();
            const juce::String current ("numPresets=\"30\"");
            require (text.contains (current), "the sample caps no longer name 30 slots");

            const auto caps = text.replace (current, "numPresets=\"" + juce::String (slots) + "\"")
                                  .replace ("${SERVER}", running.server.getBaseUrl());
            running.server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::text (caps));
        }

        DataPage& page()   { return running.content().getDataPage(); }

        RunningApp running;
        juce::Image image;
    };

    std::unique_ptr<Scene> browserScene;
    std::unique_ptr<RunningScene> runningScene;

    // Each scene stands alone: the program clears the home and the settings the other uses.
    Scene& theBrowserScene()
    {
        if (browserScene == nullptr)
        {
            runningScene.reset();
            browserScene = std::make_unique<Scene>();
        }

        return *browserScene;
    }

    RunningScene& theRunningScene()
    {
        if (runningScene == nullptr)
        {
            browserScene.reset();
            runningScene = std::make_unique<RunningScene>();
        }

        return *runningScene;
    }
}

static void browserBuiltFrom100BackupsAndTwoPacks (benchmark::State& state)
{
    auto& scene = theBrowserScene();
    auto& browser = scene.page.getBrowser();

    for (auto _ : state)
    {
        browser.setSourceTree (&scene.page, scene.root);
        openAll (*browser.getRootItem());

        juce::Graphics g (scene.image);
        browser.paintEntireComponent (g, false);
        benchmark::DoNotOptimize (scene.image.getPixelAt (10, 10));
    }

    state.counters["rows"] = browser.getTreeView().getNumRowsInTree();
}

static void workspaceOf300SlotUnitShown (benchmark::State& state)
{
    auto& scene = theRunningScene();
    auto& page = scene.page();
    auto& browser = page.getBrowser();
    auto& grid = page.getDataViewPanel().getPresetContainer();
    const auto backups = SourceTree::findChildWithCategory (page.getRootTree(), SourceTreeIds::archiveCategory);
    const auto workspace = page.getDeviceNode();

    for (auto _ : state)
    {
        browser.selectItemFor (backups);
        require (page.getViewKind() == DataPage::viewGroupTiles, "the backups are not shown as tiles");
        browser.selectItemFor (workspace);

        juce::Graphics g (scene.image);
        page.paintEntireComponent (g, false);
        require (page.getViewKind() == DataPage::viewPresetGrid && grid.isShowing(), "the workspace's preset grid is not showing");
    }

    const auto visible = page.getDataViewPanel().getViewport().getViewArea();
    int onScreen = 0;

    for (auto* button : grid.getButtons())
        onScreen += button->isVisible() && button->getBounds().intersects (visible) ? 1 : 0;

    state.counters["buttons"] = grid.getNumButtons();
    state.counters["onScreen"] = onScreen;
}

BENCHMARK (browserBuiltFrom100BackupsAndTwoPacks)->Unit (benchmark::kMillisecond);
BENCHMARK (workspaceOf300SlotUnitShown)->Unit (benchmark::kMillisecond);

namespace
{
    juce::JUCEApplicationBase* noApplication() { return nullptr; }
}

int main (int argc, char** argv)
{
    TestEnvironment::preparePrivateHome();
    int result = 0;

    // With a creator function set, JUCE installs its own X error handlers.
    juce::JUCEApplicationBase::createInstance = &noApplication;

    {
        const juce::ScopedJuceInitialiser_GUI gui;
        result = BenchMain::runIf (true, "", argc, argv);
        browserScene.reset();
        runningScene.reset();
    }

    TestEnvironment::removePrivateHome();
    return result;
}
