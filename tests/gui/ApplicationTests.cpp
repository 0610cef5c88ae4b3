// The whole application object with its hub and window, started and shut down
// in-process on a private home folder. Needs a display (run under xvfb-run).

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "devices/SimulatedUnitSet.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/datapage/DataPage.h"
#include "gui/widgets/Alerts.h"
#include "model/SourceTree.h"
#include "support/LocalServer.h"
#include "support/SlowDisk.h"
#include "support/TestEnvironment.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace
{
    struct Recorder : BelvoraChangeListener
    {
        void changeNotify (const ChangeInfo& info) override { seen.push_back (info); }

        int count (int kind, int codeOrId) const
        {
            return (int) std::count_if (seen.begin(), seen.end(), [&] (const ChangeInfo& c)
            {
                return c.kind == kind && (kind == ChangeInfo::commandInvoked ? c.commandId : c.message.code) == codeOrId;
            });
        }

        int indexOf (int kind, int codeOrId) const
        {
            for (size_t i = 0; i < seen.size(); ++i)
                if (seen[i].kind == kind && (kind == ChangeInfo::commandInvoked ? seen[i].commandId : seen[i].message.code) == codeOrId)
                    return (int) i;

            return -1;
        }

        std::vector<ChangeInfo> seen;
    };

    class ApplicationTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            Belvora::releaseAppProperties();
            TestEnvironment::clearHome();

            // The sample content stands in for the maker's server, one simulated unit for the MIDI ports.
            ASSERT_TRUE (server.start());
            ::setenv ("BELVORA_CONTENT_URL", (server.getBaseUrl() + "/Belvora2").toRawUTF8(), 1);
            ::setenv ("BELVORA_SIMULATED_UNITS", "1", 1);
        }

        void TearDown() override
        {
            Nexus::simulateStartupFailureAt (Nexus::StartupStep::none);
            Belvora::releaseAppProperties();
            ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);
            ::unsetenv ("BELVORA_SIMULATED_UNITS");
            server.stop();
        }

        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };

        static juce::PropertiesFile& settings()
        {
            return *Belvora::getAppProperties().getUserSettings();
        }

        static void pump (int ms = 100)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
        }

        /** Posts a marker to the hub and waits for it: whatever was posted before
            it has then reached the recorder too, in order. */
        static void drainHub (Belvora& app, Recorder& recorder)
        {
            constexpr int marker = 0x7ffff;
            const auto before = recorder.count (ChangeInfo::notification, marker);
            app.getNexus()->postMessage (new DeviceInfoMessage (marker, 0, 0, {}));
            EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.count (ChangeInfo::notification, marker) > before; }));
        }
    };
}

TEST_F (ApplicationTest, StartWritesInstallIdAndCounterShutdownWritesRunTimeAndWindowState)
{
    juce::String firstId;

    {
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        EXPECT_TRUE (app.isNewInstallation());

        firstId = settings().getValue ("internal4");
        EXPECT_EQ (firstId.length(), 32);
        EXPECT_TRUE (firstId.containsOnly ("0123456789abcdef"));
        EXPECT_EQ (settings().getIntValue ("internal1"), 1);
        EXPECT_EQ (app.getInstallId().toString(), firstId);

        auto* window = MainAppWindow::of (app.getNexus());
        ASSERT_NE (window, nullptr);
        EXPECT_EQ (window->getName(), "Belvora 2");
        EXPECT_TRUE (window->isVisible());

        pump();
        app.shutdown();

        EXPECT_EQ (Nexus::getContentManager(), nullptr);
        EXPECT_EQ (Nexus::getEventTracker(), nullptr);
        EXPECT_EQ (Nexus::getDeviceProfiler(), nullptr);
        EXPECT_EQ (Nexus::getDeviceManager(), nullptr);
        EXPECT_EQ (app.getNexus(), nullptr);
    }

    Belvora::configureAppProperties();
    EXPECT_GE (settings().getDoubleValue ("internal3", -1.0), 0.0);
    EXPECT_TRUE (settings().getValue ("appWindowState").isNotEmpty());
    Belvora::releaseAppProperties();

    {
        // A disk that stalls on the settings: the window comes and answers while their writes are held.
        SlowDisk disk ({ "Belvora 2.settings", "Belvora 2.settings.last" });
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("developer");
        EXPECT_FALSE (app.isNewInstallation());
        EXPECT_TRUE (app.isDeveloperMode());
        EXPECT_EQ (settings().getValue ("internal4"), firstId);
        EXPECT_EQ (settings().getIntValue ("internal1"), 2);
        EXPECT_TRUE (MainAppWindow::of (app.getNexus())->isShowing());
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (disk.postAnswer())) << "the message thread waited for the write";
        app.shutdown();
    }

    Belvora::configureAppProperties();
    EXPECT_EQ (settings().getIntValue ("internal1"), 2) << "what was asked is written in the end";
    EXPECT_TRUE (Belvora::getLastGoodSettingsFile().loadFileAsString().contains ("internal1"));
    Belvora::releaseAppProperties();

    {
        // ... and on the master descriptor's local copy.
        SlowDisk disk ({ "masterDescriptor.xml" });
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        EXPECT_TRUE (MainAppWindow::of (app.getNexus())->isShowing());
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (disk.postAnswer())) << "the start waited for the write";
        app.shutdown();
    }
}

TEST_F (ApplicationTest, AStartHoldsItsDataFolderCleansLeftoversAndNamesADamagedSettingsFile)
{
    juce::String firstId;

    {
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        firstId = settings().getValue ("internal4");
        EXPECT_FALSE (platform::InstanceLock (Belvora::getInstanceLockFile()).isHeld()) << "a second program here would end";
        app.shutdown();
    }

    // A run killed while saving, then a settings file that no longer reads.
    const auto file = juce::File (Belvora::getUserDataFolder()).getChildFile ("Belvora 2.settings");
    const auto leftover = file.getSiblingFile ("Belvora 2_temp5e1f.settings");
    ASSERT_TRUE (leftover.replaceWithText ("<PROPERTIES>") && file.replaceWithText ("<PROPERTIES><VALUE"));

    std::vector<Alerts::Box> boxes;
    bool startedBeforeTheBox = false;
    const Alerts::ScopedResponder responder ([&] (const Alerts::Box& box)
    {
        boxes.push_back (box);
        startedBeforeTheBox |= Nexus::getDeviceManager() != nullptr;
        return true;
    });

    {
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        EXPECT_FALSE (app.isNewInstallation()) << "the copy of the last start brought the id back";
        EXPECT_EQ (settings().getValue ("internal4"), firstId);
        EXPECT_FALSE (leftover.exists());

        ASSERT_EQ (std::count_if (boxes.begin(), boxes.end(), [] (auto& b) { return b.title == "Settings"; }), 1);
        EXPECT_TRUE (boxes[0].message.contains (file.getFullPathName() + ".damaged"));
        EXPECT_EQ (file.getSiblingFile ("Belvora 2.settings.damaged").loadFileAsString(), "<PROPERTIES><VALUE");
        EXPECT_FALSE (startedBeforeTheBox) << "a unit found meanwhile could bring its boxes on top of this one";
        EXPECT_NE (Nexus::getDeviceManager(), nullptr);
        app.shutdown();
    }

    // No settings file at all: the last good copy is taken, and told.
    ASSERT_TRUE (file.deleteFile());
    boxes.clear();

    {
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        EXPECT_FALSE (app.isNewInstallation());
        EXPECT_EQ (settings().getValue ("internal4"), firstId);
        ASSERT_TRUE (! boxes.empty() && boxes[0].title == "Settings");
        EXPECT_EQ (boxes[0].message, "Belvora could not find its settings file \"" + file.getFullPathName() + "\"; the last good copy of the settings is used.");
        app.shutdown();
    }

    EXPECT_TRUE (platform::InstanceLock (Belvora::getInstanceLockFile()).isHeld()) << "free once the program ended";
}

TEST_F (ApplicationTest, AllZeroInstallIdIsReplaced)
{
    Belvora::configureAppProperties();
    settings().setValue ("internal4", "00000000000000000000000000000000");

    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");
    EXPECT_TRUE (app.isNewInstallation());
    EXPECT_NE (settings().getValue ("internal4"), "00000000000000000000000000000000");
    app.shutdown();
}

TEST_F (ApplicationTest, StartupScansThenAnnouncesItselfOnce)
{
    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");

    auto* content = MainAppWindow::of (app.getNexus())->getBelvoraContentComponent();
    ASSERT_NE (content, nullptr);
    Recorder recorder;
    content->addChangeListener (&recorder);

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.count (ChangeInfo::notification, 0x60000) > 0; }));
    drainHub (app, recorder);

    EXPECT_EQ (recorder.count (ChangeInfo::notification, 0x60000), 1);
    const auto scan = recorder.indexOf (ChangeInfo::commandInvoked, CommandIDs::scanForDevices);
    ASSERT_GE (scan, 0);
    EXPECT_LT (scan, recorder.indexOf (ChangeInfo::notification, 0x60000));

    // The scan command set "scanning"; the scan's end sets "idle".
    EXPECT_GE (recorder.indexOf (ChangeInfo::appStateChanged, 0), 0);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app.getAppState() == AppState::idle; }));

    content->removeChangeListener (&recorder);
    app.shutdown();
}

TEST_F (ApplicationTest, HubForwardsNotificationsInPostingOrderAndDropsOthers)
{
    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");
    pump();

    Recorder recorder;
    MainAppWindow::of (app.getNexus())->getBelvoraContentComponent()->addChangeListener (&recorder);

    for (int i = 0; i < 20; ++i)
        app.getNexus()->postMessage (new DeviceInfoMessage (0x70000, i, 0, "status " + juce::String (i)));

    app.getNexus()->postMessage (new DeviceCommandMessage (DeviceCommandMessage::scan));

    // Only the posted ones: a download of the unit at start-up sends its own statuses.
    const auto posted = [&]
    {
        juce::Array<int> values;

        for (auto& c : recorder.seen)
            if (c.kind == ChangeInfo::notification && c.message.code == 0x70000 && c.message.text.startsWith ("status "))
                values.add (c.message.value1);

        return values;
    };

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return posted().size() >= 20; }));
    drainHub (app, recorder);

    juce::Array<int> inOrder;
    for (int i = 0; i < 20; ++i)
        inOrder.add (i);

    EXPECT_EQ (posted(), inOrder);

    EXPECT_EQ (recorder.count (ChangeInfo::commandInvoked, CommandIDs::scanForDevices), 0);

    MainAppWindow::of (app.getNexus())->getBelvoraContentComponent()->removeChangeListener (&recorder);
    app.shutdown();
}

TEST_F (ApplicationTest, TheWindowStaysFreeWhileTheUnitNeverAnswers)
{
    // The test connects the unit itself: a connection at start-up would download meanwhile.
    Belvora::configureAppProperties();
    Belvora::getUserSettings().setValue ("autoConnectAtStartup", false);
    Belvora::getAppProperties().saveIfNeeded();

    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app.getAppState() == AppState::idle; }));

    auto* devices = Nexus::getDeviceManager();
    ASSERT_TRUE (devices->setActiveDevice (0)) << "state " << (int) app.getAppState() << " active " << devices->getActiveIndex();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return devices->getDevice (-1)->isIdle(); }));

    // From now on the unit answers nothing and takes nothing in.
    auto* units = dynamic_cast<SimulatedUnitSet*> (&devices->getBackend());
    ASSERT_NE (units, nullptr);
    auto& unit = units->getUnit (0);
    SimulatedUnit::Faults silent;
    silent.silent = true;
    unit.setFaults (silent);
    unit.stallReceiving();

    juce::ApplicationCommandTarget* target = MainAppWindow::of (app.getNexus())->getBelvoraContentComponent();
    target->invokeDirectly (CommandIDs::downloadDeviceData, false);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return unit.waitForStalledSender (0); }, 30000));

    // The unit's thread is stuck in the transfer; the message thread answers at once.
    bool answered = false;
    juce::MessageManager::callAsync ([&] { answered = true; });
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return answered; }));
    EXPECT_TRUE (unit.waitForStalledSender (0));
    EXPECT_FALSE (devices->getDevice (-1)->isIdle());

    // What the interface asks of the stuck unit returns too.
    EXPECT_NE (devices->getActiveDeviceCaps(), nullptr);
    EXPECT_TRUE (devices->loadActiveDeviceSyncFile());
    devices->releaseActiveDevice();
    EXPECT_EQ (devices->getActiveIndex(), -1);

    unit.resumeReceiving();
    app.shutdown();
}

// Capabilities answered past the unit's wait make it usable when they come:
// it is connected without another scan.
TEST_F (ApplicationTest, UnitWhoseCapabilitiesComeLateIsConnectedWhenTheyCome)
{
    const auto caps = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/caps.xml").loadFileAsString();
    auto late = LocalServer::Answer::text (caps.replace ("${SERVER}", server.getBaseUrl()));
    late.delayMs = platform::DownloadPolicy::preparationMs + 1000;
    server.setAnswer ("/Belvora2/Vesper/caps.xml", late);
    juce::StringArray boxes;
    const Alerts::ScopedResponder ok ([&] (const Alerts::Box& box) { boxes.add (box.title); return true; });

    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return app.getAppState() == AppState::idle; }, 30000));
    auto* devices = Nexus::getDeviceManager();
    EXPECT_FALSE (devices->isDeviceUsable (0));
    const auto unit = devices->getDevice (0);   // a scan would make another

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return devices->getActiveIndex() == 0; }, 60000));
    EXPECT_EQ (devices->getDevice (0), unit);
    EXPECT_EQ (boxes, juce::StringArray ("Product Information Unavailable"));
    app.shutdown();
}

// A master descriptor 3 s late goes online as if at once, with no "offline" told first; a server that cannot be reached is told.
TEST_F (ApplicationTest, LateMasterDescriptorTakesTheRunOnlineWithoutAFalseAlarm)
{
    const auto sample = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/masterDescriptor.xml").loadFileAsString();
    auto late = LocalServer::Answer::text (sample.replace ("${SERVER}", server.getBaseUrl()).replace (">136<", ">137<"));
    late.delayMs = 3000;
    server.setAnswer ("/Belvora2/masterDescriptor.xml", late);
    juce::StringArray boxes;
    const Alerts::ScopedResponder no ([&] (const Alerts::Box& box) { boxes.add (box.title); return false; });

    for (const juce::String told : { "Belvora Update!", "Belvora Update!", "No Internet Connection" })   // a first start, a later one, no server
    {
        if (told.startsWith ("No"))
            ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);

        boxes.clear();
        Belvora app (MainAppWindow::getUserInterfaceFactory());
        app.initialise ("");
        auto& content = *MainAppWindow::of (app.getNexus())->getBelvoraContentComponent();
        const auto online = told.startsWith ("Belvora");
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return boxes.contains (told); }));
        EXPECT_EQ (boxes, juce::StringArray (told));
        EXPECT_EQ (app.getFatalErrorCode(), 0);
        EXPECT_EQ (content.getSignInButton().isEnabled(), online);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return Nexus::getDeviceManager()->isDeviceUsable (0); }));
        const auto cloud = [&] { return SourceTree::findChildWithCategory (content.getDataPage().getRootTree(), SourceTreeIds::cloudCategory).isValid(); };
        EXPECT_TRUE (! online || TestEnvironment::runMessageLoopUntil (cloud));
        app.shutdown();
    }
}

TEST_F (ApplicationTest, MissingStartupObjectReportsFatalErrorAndMakesNothingAfterIt)
{
    Nexus::simulateStartupFailureAt (Nexus::StartupStep::eventTracker);

    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");

    EXPECT_EQ (app.getFatalErrorCode(), 1);
    EXPECT_NE (Nexus::getContentManager(), nullptr);
    EXPECT_EQ (Nexus::getEventTracker(), nullptr);
    EXPECT_EQ (MainAppWindow::of (app.getNexus()), nullptr);
    EXPECT_EQ (Nexus::getDeviceProfiler(), nullptr);
    EXPECT_EQ (Nexus::getDeviceManager(), nullptr);

    app.shutdown();
    Belvora::configureAppProperties();
    EXPECT_TRUE (settings().getValue ("appWindowState").isEmpty());
}

TEST_F (ApplicationTest, ServicesAreReachedThroughTheHubOnTheMessageThreadOnly)
{
    EXPECT_EQ (Nexus::getContentManager(), nullptr);   // no hub yet

    Belvora app (MainAppWindow::getUserInterfaceFactory());
    app.initialise ("");
    ASSERT_NE (Nexus::getContentManager(), nullptr);
    ASSERT_NE (Nexus::getDeviceManager(), nullptr);

    // A worker is handed what it uses; through the hub it finds nothing.
    std::atomic<bool> sawService { true };
    juce::Thread::launch ([&] { sawService = Nexus::getContentManager() != nullptr || Nexus::getDeviceManager() != nullptr; });
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! sawService.load(); }));

    app.shutdown();
    EXPECT_EQ (Nexus::getContentManager(), nullptr);
}
