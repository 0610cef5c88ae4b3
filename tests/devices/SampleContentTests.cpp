#include "support/DeviceTestRig.h"
#include "support/ContentFixture.h"

#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "content/FirmwareUpdateElement.h"
#include "devices/ContentProductCatalogue.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/DeviceData.h"
#include "model/SysEx.h"
#include "platform/Clock.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace
{
    // The sample content served on 127.0.0.1 and the program's own catalogue
    // holding it, as the device layer meets them in the running program.
    class SampleContent : public testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE (server.start());
            ::setenv ("BELVORA_CONTENT_URL", (server.getBaseUrl() + "/Belvora2").toRawUTF8(), 1);
            content = std::make_unique<ContentManager> (ContentManager::Setup(), notifications, nullptr);
            ASSERT_TRUE (content->waitUntilConnected ({}));
            content->getDownloadThread()->stopThread (-1);   // no download reads the settings while a rig opens them
            ASSERT_TRUE (content->requestProductContent (0x12));
            ASSERT_TRUE (content->requestProductContent (0x1A));
        }

        void TearDown() override
        {
            content.reset();
            server.stop();
            ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);
        }

        struct Ignored : public MessageTarget
        {
            void handleMessage (const juce::Message&) override {}
        };

        static juce::File sampleFolder()   { return juce::File (BELVORA_TEST_DATA_DIR "/content/Belvora2"); }

        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR "/content") };
        Ignored notifications;
        std::unique_ptr<ContentManager> content;

        /** A rig whose units are known through this catalogue, as in the running program. */
        void useProgramsCatalogue (DeviceRig& rig) const
        {
            rig.products = std::make_shared<ContentProductCatalogue> (*content);
        }
    };
}

TEST_F (SampleContent, SimulatedUnitsMatchTheSampleCapabilities)
{
    for (auto id : { 0x12, 0x1A })
    {
        const auto profile = SimulatedUnit::sampleProfile (id);
        const auto caps = DeviceProfiler::createCaps (*content, id, profile.version.build);
        EXPECT_TRUE (caps->caps == profile.caps) << id;
        EXPECT_EQ (content->getProductName (id), profile.portName);
        EXPECT_EQ (content->answersGenericIdentity (id), profile.answersGenericInquiry);
    }

    // Every firmware image of the sample content, and nothing else, is a build
    // a simulated unit knows, with the version its list names and the layout
    // its capabilities give that build.
    juce::Array<std::pair<int, int>> images;

    for (auto [id, folder] : { std::pair (0x12, "Vesper"), std::pair (0x1A, "QuillDuo") })
    {
        const auto product = sampleFolder().getChildFile (folder);
        const auto list = juce::parseXML (product.getChildFile ("firmware.xml"));
        ASSERT_NE (list, nullptr) << folder;

        for (auto* item : list->getChildWithTagNameIterator ("firmwareUpdate"))
        {
            const auto update = FirmwareUpdateElement::parse (product.getChildFile ("firmware").getFullPathName(), *item);
            const auto build = update.version.build;

            if (! product.getChildFile ("firmware").getChildFile (update.link.fromLastOccurrenceOf ("/", false, false)).existsAsFile())
            {
                EXPECT_FALSE (SimulatedUnit::sampleBuild (id, build).has_value()) << build;
                continue;
            }

            images.add ({ id, build });
            const auto sample = SimulatedUnit::sampleBuild (id, build);
            ASSERT_TRUE (sample.has_value()) << build;
            EXPECT_EQ (sample->version, update.version) << build;
            EXPECT_TRUE (sample->caps == DeviceProfiler::createCaps (*content, id, build)->caps) << build;
        }
    }

    auto known = SimulatedUnit::getSampleBuilds();
    std::sort (images.begin(), images.end());
    std::sort (known.begin(), known.end());
    EXPECT_TRUE (images == known) << images.size() << " images, " << known.size() << " builds known";
}

TEST_F (SampleContent, UnitsUpdatedToAnotherSampleBuildSendThatBuildsData)
{
    struct Case { int id; const char* older; int olderBuild; const char* newer; int newerBuild; };

    for (const auto& c : { Case { 0x12, "Vesper/firmware/vesper_1_2_0_b120.syx", 120, "Vesper/firmware/vesper_1_4_0_b140.syx", 140 },
                           Case { 0x1A, "QuillDuo/firmware/quill_duo_2_1_0_b210.syx", 210, "QuillDuo/firmware/quill_duo_2_5_0_b250.syx", 250 } })
    {
        SCOPED_TRACE (c.id);
        DeviceRig rig;
        useProgramsCatalogue (rig);
        auto& unit = rig.addUnit (SimulatedUnit::sampleProfile (c.id));
        ASSERT_TRUE (rig.connect (0));

        // Sends the image, waits for the unit to reboot and reads all of it.
        auto updateAndRead = [&] (const char* image, int build)
        {
            juce::Array<juce::MidiMessage> messages;
            EXPECT_TRUE (SysEx::readFile (sampleFolder().getChildFile (image), messages));
            auto list = std::make_unique<DeviceCommandMessage::MidiList>();

            for (auto& m : messages)
                list->add (new juce::MidiMessage (m));

            EXPECT_EQ (rig.run (DeviceCommandMessage (std::move (list), {})), DeviceInfoMessage::commandDone);
            EXPECT_TRUE (rig.log.waitFor (DeviceInfoMessage::activeDeviceLost));
            EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return unit.isPluggedIn(); }, 30000));
            EXPECT_TRUE (rig.connect (0));
            EXPECT_EQ (rig.manager->getDeviceVersion (0).build, build);

            const auto expected = DeviceProfiler::createCaps (*content, c.id, build)->caps;
            EXPECT_TRUE (unit.getCurrentCaps() == expected);
            EXPECT_EQ (rig.manager->getActiveDeviceCaps()->caps, expected);
            EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readAll)), DeviceInfoMessage::commandDone);
            EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::none);
            return rig.manager->getActiveDeviceData();
        };

        const auto older = updateAndRead (c.older, c.olderBuild);
        ASSERT_NE (older, nullptr);
        EXPECT_EQ (older->getCapsBlock().presetVersion, DeviceProfiler::createCaps (*content, c.id, c.olderBuild)->caps.presetVersion);
        EXPECT_TRUE (older->getSetup().isComplete());
        EXPECT_EQ (older->getNumPresets(), 0) << "the old build cannot read what the new one stored";

        // A preset of the older layout goes to the unit and comes back whole.
        auto sent = std::make_shared<DeviceData> (older->getProductName(), older->getFirmwareVersion(), older->getCapsBlock(), nullptr);
        sent->setPreset (3, SimulatedUnit::makePreset (older->getCapsBlock(), 3, 1, "Kept"));
        EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::writeGivenPresets, sent, { 3 })), DeviceInfoMessage::commandDone);
        EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 3 })), DeviceInfoMessage::commandDone);
        ASSERT_NE (rig.manager->getActiveDeviceData()->getPreset (3), nullptr);
        EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (3)->getMD5String(), sent->getPreset (3)->getMD5String());

        const auto newer = updateAndRead (c.newer, c.newerBuild);
        ASSERT_NE (newer, nullptr);
        EXPECT_TRUE (newer->getSetup().isComplete());
        EXPECT_EQ (newer->getNumPresets(), 0);
    }
}

TEST_F (SampleContent, UnitsAreIdentifiedAndReadThroughTheProgramsCatalogue)
{
    DeviceRig rig;
    useProgramsCatalogue (rig);
    rig.addUnit (SimulatedUnit::sampleProfile (0x1A));
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.scan());
    EXPECT_EQ (rig.manager->getNumIdentifiedDevices(), 2);

    ASSERT_TRUE (rig.manager->setActiveDevice (1));
    EXPECT_EQ (rig.manager->getActiveDeviceDisplayName(), "Vesper");
    EXPECT_TRUE (rig.manager->getActiveDeviceCaps()->suspendAlgo);

    EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readAll)), DeviceInfoMessage::commandDone);
    EXPECT_EQ (rig.log.count (DeviceInfoMessage::presetRead), 29);
    EXPECT_TRUE (rig.manager->getActiveDeviceData()->getSetup().isComplete());
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getProductName(), "Vesper");
}

TEST_F (SampleContent, SyncFileOfTheActiveUnitIsLoadedWhenItFits)
{
    DeviceRig rig;
    useProgramsCatalogue (rig);
    rig.addUnit (SimulatedUnit::sampleProfile (0x12));
    ASSERT_TRUE (rig.scan());
    EXPECT_FALSE (rig.manager->loadActiveDeviceSyncFile());   // no active unit
    ASSERT_TRUE (rig.manager->setActiveDevice (0));

    auto load = [&]
    {
        rig.log.clear();
        EXPECT_TRUE (rig.manager->loadActiveDeviceSyncFile());
        const auto result = rig.log.waitForCompletion();
        EXPECT_EQ (rig.log.notes().back().command, DeviceCommandMessage::loadSyncFile);
        return result;
    };

    // A missing file is no fault of the unit: it leaves no error and the unit runs on.
    EXPECT_EQ (load(), DeviceInfoMessage::commandFailed);
    EXPECT_EQ (rig.device()->getErrorCode(), DeviceError::none);

    const juce::File folder (rig.manager->getActiveDeviceDataFolder());
    ASSERT_TRUE (folder.createDirectory());

    auto saved = rig.manager->getActiveDeviceData()->clone (true);
    saved->setPreset (4, SimulatedUnit::makePreset (saved->getCapsBlock(), 4, 2, "Kept"));
    ASSERT_EQ (saved->saveWorkingFile (folder, false), DeviceData::saved);

    // Whoever held the data before the load still reads it as it was.
    const auto before = rig.manager->getActiveDeviceData();
    EXPECT_EQ (load(), DeviceInfoMessage::commandDone);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (4)->getName(), "Kept");
    EXPECT_FALSE (before->isPresetSlotUsed (4));

    // A file of another product does not fit the unit's data.
    auto quill = SimulatedUnit::sampleProfile (0x1A);
    DeviceData other (quill.portName, quill.version, quill.caps, nullptr);
    ASSERT_EQ (other.saveWorkingFile (folder, false), DeviceData::saved);
    EXPECT_EQ (load(), DeviceInfoMessage::commandFailed);
    EXPECT_EQ (rig.manager->getActiveDeviceData()->getPreset (4)->getName(), "Kept");

    EXPECT_EQ (rig.run (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 1 })), DeviceInfoMessage::commandDone);
}

//==============================================================================
namespace
{
    // The program's catalogue on a server that stalls or fails, as the device
    // layer meets it: on a fresh home, or on one that kept the product's files.
    class TroubledServer : public ContentFixture
    {
    protected:
        static constexpr const char* vesperFiles[] = { "/Belvora2/Vesper/caps.xml", "/Belvora2/Vesper/images/vesper.png",
                                                       "/Belvora2/Vesper/images/vesper_black.png", "/Belvora2/Vesper/firmware.xml",
                                                       "/Belvora2/Vesper/rules.xml", "/Belvora2/Vesper/packs/vesper_presets.zip" };

        void TearDown() override
        {
            rig.reset();
            ContentFixture::TearDown();
        }

        /** The product's files as an earlier start left them. */
        void storeCopies()
        {
            ASSERT_TRUE (downloadContent (startCatalogue(), vesper));
            catalogue.reset();
        }

        /** A catalogue and a rig with one Vesper known through it; without awaitServer on the real clock (a late server is no silent one). */
        DeviceRig& startUnit (bool awaitServer = true)
        {
            rig = std::make_unique<DeviceRig>();
            if (! awaitServer)
                platform::Clock::setScale (1.0);   // after the rig's own scale
            auto& content = startCatalogue (awaitServer);
            rig->products = std::make_shared<ContentProductCatalogue> (content);
            rig->addUnit (SimulatedUnit::sampleProfile (vesper));
            return *rig;
        }

        juce::StringArray withoutProductInfo() const
        {
            juce::StringArray names;
            rig->manager->getNamesOfDevicesWithoutProductInfo (names);
            return names;
        }

        juce::StringArray inUse() const
        {
            juce::StringArray names;
            rig->manager->getConnectedDeviceNames (names);
            return names;
        }

        std::unique_ptr<DeviceRig> rig;
    };
}

TEST_F (TroubledServer, PicturesThatDoNotComeHoldNoUnit)
{
    for (auto* path : { "/Belvora2/Vesper/images/vesper.png", "/Belvora2/Vesper/images/vesper_black.png" })
        server.setAnswer (path, LocalServer::Answer::silence());

    auto& fresh = startUnit();
    ASSERT_TRUE (fresh.scan());
    EXPECT_TRUE (fresh.manager->isDeviceUsable (0));
    EXPECT_TRUE (fresh.manager->setActiveDevice (0));

    // Listed and usable while the pictures are still on their way: the placeholder stands in.
    EXPECT_TRUE (catalogue->getDownloadThread()->isQueued (vesper));
    EXPECT_TRUE (catalogue->getProductImage (vesper, "Vesper") == catalogue->getDefaultPicture());
    EXPECT_EQ (fresh.run (DeviceCommandMessage (DeviceCommandMessage::readPresets, { 1 })), DeviceInfoMessage::commandDone);

    // Nor what the work needs: the firmware list and the scripts come meanwhile.
    const auto folder = productFolder ("Vesper");
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        return folder.getChildFile ("firmware.xml").existsAsFile() && folder.getChildFile ("js/vesper_preset_3_to_4.js").existsAsFile();
    }, 20000));

    rig.reset();
    server.clearAnswers();
    storeCopies();

    for (auto* path : { "/Belvora2/Vesper/images/vesper.png", "/Belvora2/Vesper/images/vesper_black.png" })
        server.setAnswer (path, LocalServer::Answer::silence());

    auto& stored = startUnit();
    ASSERT_TRUE (stored.scan());
    EXPECT_TRUE (stored.manager->isDeviceUsable (0));
    EXPECT_FALSE (catalogue->getProductImage (vesper, "Vesper") == catalogue->getDefaultPicture());
}

TEST_F (TroubledServer, UnitWhoseCapabilitiesDoNotComeIsToldUnavailableNotInUse)
{
    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::silence());

    auto& fresh = startUnit();
    ASSERT_TRUE (fresh.scan());
    EXPECT_EQ (fresh.manager->getNumIdentifiedDevices(), 0);
    EXPECT_FALSE (fresh.manager->isDeviceUsable (0));
    EXPECT_EQ (withoutProductInfo(), juce::StringArray ("Vesper"));
    EXPECT_TRUE (inUse().isEmpty());

    // Kept from an earlier start, the capabilities are all the unit needs.
    rig.reset();
    server.clearAnswers();
    storeCopies();
    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::silence());

    auto& stored = startUnit();
    ASSERT_TRUE (stored.scan());
    EXPECT_TRUE (stored.manager->isDeviceUsable (0));
    EXPECT_TRUE (withoutProductInfo().isEmpty());
}

TEST_F (TroubledServer, ProductFilesThatFailAreToldUnavailableAndFetchedAgainByALaterScan)
{
    // Errors, and another product's capabilities where every file of this one belongs.
    const LocalServer::Answer failures[] = { LocalServer::Answer::error (404), LocalServer::Answer::error (500),
                                             LocalServer::Answer::text (contentRoot().getChildFile ("Belvora2/QuillDuo/caps.xml").loadFileAsString()) };

    for (const auto& failure : failures)
    {
        for (auto* path : vesperFiles)
            server.setAnswer (path, failure);

        auto& fresh = startUnit();
        ASSERT_TRUE (fresh.scan()) << failure.status;
        EXPECT_FALSE (fresh.manager->isDeviceUsable (0));
        EXPECT_EQ (withoutProductInfo(), juce::StringArray ("Vesper"));
        EXPECT_TRUE (inUse().isEmpty()) << failure.status;

        // Once the server is well again, the next scan after the interval brings them.
        auto* downloader = catalogue->getDownloadThread();
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! downloader->isQueued (vesper); }));
        server.clearAnswers();
        downloader->minimumCheckInterval = -1.0;
        ASSERT_TRUE (fresh.scan());
        EXPECT_TRUE (fresh.manager->isDeviceUsable (0));
        EXPECT_TRUE (withoutProductInfo().isEmpty());

        rig.reset();
        catalogue.reset();
        TestEnvironment::clearHome();
        Belvora::configureAppProperties();
    }

    storeCopies();

    for (auto* path : vesperFiles)
        server.setAnswer (path, LocalServer::Answer::error (404));

    auto& stored = startUnit();
    ASSERT_TRUE (stored.scan());
    EXPECT_TRUE (stored.manager->isDeviceUsable (0));
}

TEST_F (TroubledServer, DownloadTimeoutThatMakesNoSenseActsAsTheDefault)
{
    auto& settings = *Belvora::getAppProperties().getUserSettings();
    auto& units = startUnit();

    for (auto* senseless : { "-5", "0", "abc", "nan", "inf", "1e30", "1e11" })
    {
        settings.setValue ("downloadTimeout", senseless);
        catalogue->getDownloadThread()->minimumCheckInterval = -1.0;
        ASSERT_TRUE (units.scan()) << senseless;
        EXPECT_TRUE (units.manager->isDeviceUsable (0)) << senseless;
    }

    settings.removeValue ("downloadTimeout");
}

// Capabilities refused for a while are asked again without a scan, the failure told once it lasted; the unit is usable once they come.
TEST_F (TroubledServer, CapabilitiesThatFailForAWhileMakeTheUnitUsableWhenTheyCome)
{
    const juce::String caps ("/Belvora2/Vesper/caps.xml");
    server.setAnswer (caps, LocalServer::Answer::error (500));

    auto& units = startUnit();
    ASSERT_TRUE (units.scan());
    EXPECT_FALSE (units.manager->isDeviceUsable (0));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.toldFailures() > 0; }, 60000));
    EXPECT_GE (gets (caps), 5);

    server.clearAnswers();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return units.manager->isDeviceUsable (0); }, 60000));
    EXPECT_EQ (recorder.toldFailures(), 1);
}

// Capabilities missing for 20 s are asked again within seconds (the long pause is 30 s at this scale): the unit is usable soon, nothing told.
TEST_F (TroubledServer, CapabilitiesMissingForAWhileMakeTheUnitUsableSoonAfterTheyCome)
{
    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::error (404));
    auto& units = startUnit();
    const auto published = platform::Clock::deadlineAfter (20000);
    ASSERT_TRUE (units.scan());
    EXPECT_FALSE (units.manager->isDeviceUsable (0));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return platform::Clock::hasPassed (published); }));
    server.clearAnswers();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return units.manager->isDeviceUsable (0); }, 15000));
    EXPECT_EQ (recorder.toldFailures(), 0);
}

// A master descriptor late: a unit the kept copy cannot serve (none, or not its files) waits for it; one whose files were kept
// does not; one found only by asking each product, whose product the kept list lacks, is asked again once the list came.
TEST_F (TroubledServer, UnitsMeetALateMasterDescriptorAsAnOnlineStartWould)
{
    for (const juce::String kept : { "none", "all", "all but Quill Duo" })
    {
        if (const juce::File file (Belvora::getMasterDescriptorFile()); kept.startsWith ("all but"))   // a product without a name is none
        {
            ASSERT_TRUE (file.replaceWithText (file.loadFileAsString().replace ("name=\"Quill Duo\"", "name=\"\"")));
        }

        server.setAnswer ("/Belvora2/masterDescriptor.xml", lateDescriptor (3000));
        auto& units = startUnit (false);
        units.addUnit (SimulatedUnit::sampleProfile (quill));   // found only by asking each product
        ASSERT_TRUE (units.scan()) << kept;
        const auto both = [&] { return units.manager->isDeviceUsable (0) && units.manager->isDeviceUsable (1); };
        EXPECT_TRUE (kept.startsWith ("all but") ? TestEnvironment::runMessageLoopUntil (both, 30000) : both()) << kept;
        EXPECT_TRUE (catalogue->isOnline());

        rig.reset();
        catalogue.reset();
        platform::WriteQueue::waitUntilAllIdle();

        for (auto* product : { "Vesper", "Quill Duo" })
            productFolder (product).deleteRecursively();
    }

    storeCopies();
    server.setAnswer ("/Belvora2/masterDescriptor.xml", lateDescriptor (60000));
    auto& stored = startUnit (false);
    ASSERT_TRUE (stored.scan());
    EXPECT_TRUE (stored.manager->isDeviceUsable (0));
    EXPECT_TRUE (catalogue->isConnecting());

    // Kept capabilities older than the unit's build: the server's, come late, make it usable without a scan.
    rig.reset();
    const auto keptCaps = productFolder ("Vesper").getChildFile ("caps.xml");
    ASSERT_TRUE (keptCaps.replaceWithText (keptCaps.loadFileAsString().replace ("vesper-caps-3", "vesper-caps-2").replace ("end=\"-1\"", "end=\"139\"")));
    server.setAnswer ("/Belvora2/masterDescriptor.xml", lateDescriptor (3000));
    auto& older = startUnit (false);
    ASSERT_TRUE (older.scan());
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { const auto caps = older.manager->getDevice (0)->getCaps();
        return older.manager->isDeviceUsable (0) && caps != nullptr && caps->caps == SimulatedUnit::sampleProfile (vesper).caps; }, 30000));
}
