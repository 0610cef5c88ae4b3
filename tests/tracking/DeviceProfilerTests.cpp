#include "TrackingServer.h"
#include "UnitRig.h"

#include "content/ContentManager.h"
#include "tracking/EventLogUserDevice.h"
#include "tracking/EventTracker.h"
#include "devices/DeviceProfiler.h"

namespace
{
    juce::File listFile()   { return juce::File (Belvora::getDeviceListFile()); }

    juce::XmlElement* entry (int id, int serial, int build = 120, const juce::String& name = "Vesper")
    {
        auto* e = new juce::XmlElement ("device");
        e->setAttribute ("name", name);
        e->setAttribute ("id", id);
        e->setAttribute ("activated", 0);
        e->setAttribute ("detection", "1700000000000");
        e->setAttribute ("version", FirmwareVersion (0, 1, 4, 0, build).toString());
        e->setAttribute ("serial", serial);
        e->setAttribute ("manufacture", "2014.07.31");
        return e;
    }

    void writeList (std::initializer_list<juce::XmlElement*> entries)
    {
        juce::XmlElement root ("DEVICE_MANAGER");

        for (auto* e : entries)
            root.addChildElement (e);

        listFile().getParentDirectory().createDirectory();
        ASSERT_TRUE (root.writeTo (listFile()));
    }

    std::unique_ptr<juce::XmlElement> readList()   { return juce::parseXML (listFile()); }

    juce::String activatedOf (int serial)
    {
        if (auto xml = readList())
            for (auto* e : xml->getChildIterator())
                if (e->getIntAttribute ("serial") == serial)
                    return e->getStringAttribute ("activated");

        return "absent";
    }

    juce::Array<int> serialsRead (const DeviceProfiler& profiler, bool excludeConnected = false)
    {
        juce::Array<uint8_t> ids;
        juce::Array<FirmwareVersion> versions;
        juce::Array<int> serials;
        juce::Array<ManufactureDate> dates;
        juce::Array<juce::int64> detections;
        profiler.readDeviceList (ids, versions, serials, dates, detections, excludeConnected);
        return serials;
    }

    void scanWith (DeviceProfiler& profiler, std::initializer_list<juce::XmlElement*> units)
    {
        juce::OwnedArray<juce::XmlElement> list;

        for (auto* u : units)
            list.add (u);

        profiler.writeDeviceList (list);
    }
}

/** A tracker and a profiler as the hub makes them, talking to the test's server. */
class ProfilerTest : public TrackingTest
{
protected:
    void SetUp() override
    {
        TrackingTest::SetUp();
        content = std::make_unique<ContentManager> (ContentManager::Setup(), notifications, nullptr);
        content->waitUntilConnected ({});
        ownedTracker = std::make_unique<EventTracker> (EventTracker::Setup());
        ASSERT_TRUE (server.waitForRequests (1));   // the start-up report
    }

    void TearDown() override
    {
        ownedProfiler.reset();
        ownedTracker.reset();
        content.reset();
        TrackingTest::TearDown();
    }

    DeviceProfiler& makeProfiler (bool newInstallation = false)
    {
        DeviceProfiler::Setup setup;
        setup.newInstallation = newInstallation;
        ownedProfiler = std::make_unique<DeviceProfiler> (*content, *ownedTracker, setup);
        ownedProfiler->initialise();
        return *ownedProfiler;
    }

    struct Ignored : public MessageTarget
    {
        void handleMessage (const juce::Message&) override {}
    };

    Ignored notifications;
    std::unique_ptr<ContentManager> content;
    std::unique_ptr<EventTracker> ownedTracker;
    std::unique_ptr<DeviceProfiler> ownedProfiler;

    /** Units scanned by a device manager that reports to this test's profiler and tracker. */
    std::unique_ptr<UnitRig> makeUnitRig() { return std::make_unique<UnitRig> (ownedProfiler.get(), ownedTracker.get()); }

    /** Waits until a marker queued now went out, so nothing queued before is still on its way. */
    void drainTracker()
    {
        ownedTracker->addEvent (new EventLogUserDevice (-99, 0, 0, {}));

        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
        {
            auto posts = server.getRequests ("POST", script ("db_user_log_device.php"));
            return ! posts.empty() && posts.back().getParameter ("serial") == "-99";
        }));
    }

    /** The device reports that reached the server since the last call, as serials. */
    juce::StringArray reportedSerials()
    {
        drainTracker();
        juce::StringArray serials;

        for (auto& r : server.getRequests ("POST", script ("db_user_log_device.php")))
            if (r.getParameter ("serial") != "-99")
                serials.add (r.getParameter ("serial"));

        server.clearRequests();
        return serials;
    }
};

TEST_F (ProfilerTest, FirstScanCreatesTheListAndReportsEveryUnit)
{
    auto& profiler = makeProfiler();
    EXPECT_FALSE (listFile().exists());
    EXPECT_TRUE (serialsRead (profiler).isEmpty());

    scanWith (profiler, { entry (0x12, 5), entry (0x1A, 6, 250, "Quill Duo") });

    auto xml = readList();
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("DEVICE_MANAGER"));
    ASSERT_EQ (xml->getNumChildElements(), 2);

    const auto* first = xml->getChildElement (0);
    juce::StringArray names;

    for (int i = 0; i < first->getNumAttributes(); ++i)
        names.add (first->getAttributeName (i));

    EXPECT_EQ (names, juce::StringArray ({ "name", "id", "activated", "detection", "version", "serial", "manufacture" }));
    EXPECT_EQ (reportedSerials(), juce::StringArray ({ "5", "6" }));
}

TEST_F (ProfilerTest, AKnownUnitOnlyChangesTheFileWhenItsBuildChanged)
{
    writeList ({ entry (0x12, 5, 120), entry (0x1A, 6, 250, "Quill Duo") });
    auto& profiler = makeProfiler();
    const auto before = listFile().loadFileAsString();
    const juce::Time old (2001, 0, 1, 0, 0);
    listFile().setLastModificationTime (old);

    scanWith (profiler, { entry (0x12, 5, 120) });
    EXPECT_EQ (listFile().getLastModificationTime(), old);
    EXPECT_TRUE (reportedSerials().isEmpty());

    scanWith (profiler, { entry (0x12, 5, 140) });
    EXPECT_EQ (listFile().loadFileAsString(),
               before.replace (FirmwareVersion (0, 1, 4, 0, 120).toString(), FirmwareVersion (0, 1, 4, 0, 140).toString()));
    EXPECT_TRUE (reportedSerials().isEmpty());

    // A unit seen for the first time reports the whole list again.
    scanWith (profiler, { entry (0x12, 7) });
    EXPECT_EQ (reportedSerials(), juce::StringArray ({ "5", "6", "7" }));
}

TEST_F (ProfilerTest, NewInstallationReportsTheKnownUnitsOncePerRun)
{
    writeList ({ entry (0x12, 5) });
    auto& profiler = makeProfiler (true);

    scanWith (profiler, { entry (0x12, 5) });
    EXPECT_EQ (reportedSerials(), juce::StringArray ({ "5" }));

    scanWith (profiler, { entry (0x12, 5) });
    EXPECT_TRUE (reportedSerials().isEmpty());
}

TEST_F (ProfilerTest, ReadingLeavesOutEntriesWithoutProductOrName)
{
    auto* noId = entry (0x12, 3);
    noId->removeAttribute ("id");
    auto* noName = entry (0x12, 4);
    noName->removeAttribute ("name");
    writeList ({ entry (0x12, 1), entry (255, 2), noId, noName, entry (0x12, 5, 120, ""), entry (0x1A, 6) });

    auto& profiler = makeProfiler();
    juce::Array<uint8_t> ids;
    juce::Array<FirmwareVersion> versions;
    juce::Array<int> serials;
    juce::Array<ManufactureDate> dates;
    juce::Array<juce::int64> detections;
    juce::StringArray names;
    profiler.readDeviceList (ids, versions, serials, dates, detections, false, &names);

    EXPECT_EQ (serials, juce::Array<int> ({ 1, 6 }));
    EXPECT_EQ (ids, juce::Array<uint8_t> ({ 0x12, 0x1A }));
    EXPECT_EQ (versions[0], FirmwareVersion (0, 1, 4, 0, 120));
    EXPECT_TRUE (dates[1] == (ManufactureDate { 2014, 7, 31 }));
    EXPECT_EQ (detections[0], 1700000000000LL);
    EXPECT_EQ (names, juce::StringArray ({ "Vesper", "Vesper" }));
}

TEST_F (ProfilerTest, AnUnreadableListIsReplacedByTheFirstScan)
{
    listFile().getParentDirectory().createDirectory();
    listFile().replaceWithText ("<OTHER><device id=\"18\" serial=\"1\" name=\"x\"/></OTHER>");
    auto& profiler = makeProfiler();
    EXPECT_TRUE (serialsRead (profiler).isEmpty());

    scanWith (profiler, { entry (0x12, 5) });
    auto xml = readList();
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("DEVICE_MANAGER"));
    EXPECT_EQ (serialsRead (profiler), juce::Array<int> ({ 5 }));
}

TEST_F (ProfilerTest, AFailedWriteIsRetriedAtTheNextScan)
{
    auto& profiler = makeProfiler();

    // A folder in the list's place makes the write fail.
    ASSERT_TRUE (listFile().getChildFile ("blocker").createDirectory());
    scanWith (profiler, { entry (0x12, 5) });
    EXPECT_TRUE (listFile().isDirectory());

    ASSERT_TRUE (listFile().deleteRecursively());
    scanWith (profiler, { entry (0x12, 5) });
    auto xml = readList();
    ASSERT_NE (xml, nullptr) << "the unit met while the disk refused it is written now";
    EXPECT_EQ (xml->getNumChildElements(), 1);
    EXPECT_EQ (reportedSerials(), juce::StringArray ({ "5" }));
}

TEST_F (ProfilerTest, RemovingForgetsUnitsThatAreNotConnected)
{
    writeList ({ entry (0x12, 1), entry (0x12, 2), entry (0x1A, 3) });
    auto& profiler = makeProfiler();

    EXPECT_FALSE (profiler.removeDevice (0x12, 9));
    EXPECT_TRUE (profiler.removeDevice (0x12, 2));
    EXPECT_EQ (activatedOf (2), "absent");
    EXPECT_EQ (serialsRead (profiler), juce::Array<int> ({ 1, 3 }));

    EXPECT_TRUE (profiler.removeDisconnectedDevices());
    EXPECT_FALSE (profiler.removeDisconnectedDevices());
    EXPECT_EQ (readList()->getNumChildElements(), 0);
}

TEST_F (ProfilerTest, LookUpsFollowTheServersAnswers)
{
    writeList ({ entry (0x12, 5) });
    auto& profiler = makeProfiler();
    const auto findPath = script ("db_query_find_device.php");
    const auto activatePath = script ("db_device_activate.php");

    answer ("db_query_find_device.php", LocalServer::Answer::text ("Fail"));
    EXPECT_EQ (profiler.lookUpActivations(), 0);
    EXPECT_EQ (server.countRequests (activatePath), 0);

    answer ("db_query_find_device.php", LocalServer::Answer::text ("No\n"));
    answer ("db_device_activate.php", LocalServer::Answer::text ("Error"));
    EXPECT_EQ (profiler.lookUpActivations(), 0);
    EXPECT_EQ (activatedOf (5), "0");

    answer ("db_device_activate.php", LocalServer::Answer::text (" Success "));
    EXPECT_EQ (profiler.lookUpActivations(), 1);
    EXPECT_EQ (activatedOf (5), "1");

    const auto finds = server.getRequests ("POST", findPath);
    ASSERT_EQ (finds.size(), 3u);
    EXPECT_EQ (keysOf (finds[0]), juce::StringArray ({ "serial" }));
    EXPECT_EQ (finds[0].getParameter ("serial"), "5");

    const auto activations = server.getRequests ("POST", activatePath);
    ASSERT_EQ (activations.size(), 2u);
    EXPECT_EQ (keysOf (activations[0]), juce::StringArray ({ "serial", "product", "date" }));
    EXPECT_EQ (activations[0].getParameter ("product"), "Vesper");
    EXPECT_EQ (activations[0].getParameter ("date"), EventParameterSet::formatDate (juce::Time (1700000000000LL)));

    // Activated units are not looked up again.
    EXPECT_EQ (profiler.lookUpActivations(), 0);
    EXPECT_EQ (server.getRequests ("POST", findPath).size(), 3u);
}

TEST_F (ProfilerTest, NoLookUpsWhileUsageDataIsTurnedOff)
{
    writeList ({ entry (0x12, 5) });
    auto& profiler = makeProfiler();
    answer ("db_query_find_device.php", LocalServer::Answer::text ("No"));
    answer ("db_device_activate.php", LocalServer::Answer::text ("Success"));

    setOptIn (false);
    EXPECT_EQ (profiler.lookUpActivations(), 0);
    EXPECT_EQ (server.countRequests (script ("db_query_find_device.php")), 0);
    EXPECT_EQ (server.countRequests (script ("db_device_activate.php")), 0);
    EXPECT_EQ (activatedOf (5), "0");

    setOptIn (true);
    EXPECT_EQ (profiler.lookUpActivations(), 1);
    EXPECT_EQ (activatedOf (5), "1");
}

TEST_F (ProfilerTest, AUnitTheMakerKnowsIsActivatedAndOfflineNothingChanges)
{
    writeList ({ entry (0x12, 5) });
    auto& profiler = makeProfiler();

    ::setenv ("BELVORA_TRACKING_URL", "http://127.0.0.1:9/belvora-2", 1);
    EXPECT_EQ (profiler.lookUpActivations(), 0);
    EXPECT_EQ (activatedOf (5), "0");

    ::setenv ("BELVORA_TRACKING_URL", (server.getBaseUrl() + "/belvora-2").toRawUTF8(), 1);
    answer ("db_query_find_device.php", LocalServer::Answer::text ("Yes"));
    EXPECT_EQ (profiler.lookUpActivations(), 1);
    EXPECT_EQ (activatedOf (5), "1");
    EXPECT_EQ (server.countRequests (script ("db_device_activate.php")), 0);
}

TEST_F (ProfilerTest, LookUpsRunWithoutHoldingTheList)
{
    writeList ({ entry (0x12, 5), entry (0x12, 6) });
    auto& profiler = makeProfiler();
    auto slowYes = LocalServer::Answer::text ("Yes");
    slowYes.delayMs = 1500;
    answer ("db_query_find_device.php", slowYes);

    profiler.updateActivations();
    ASSERT_TRUE (server.waitForRequests (1));

    // While the server takes its time, the list stays usable.
    EXPECT_TRUE (profiler.removeDevice (0x12, 6));
    EXPECT_EQ (serialsRead (profiler), juce::Array<int> ({ 5 }));
    EXPECT_EQ (activatedOf (5), "0");

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return activatedOf (5) == "1"; }));
    EXPECT_EQ (activatedOf (6), "absent");
}

TEST_F (ProfilerTest, ScanEndsBeforeTheLookUpsAndConnectedUnitsStay)
{
    answer ("db_query_find_device.php", [] { auto a = LocalServer::Answer::text ("Yes"); a.delayMs = 700; return a; }());
    auto& profiler = makeProfiler();
    auto rigHolder = makeUnitRig();
    auto& rig = *rigHolder;
    rig.addUnit (0x12, 4242, 140);

    juce::String activatedAtScanEnd;
    rig.onScanFinished = [&] { activatedAtScanEnd = activatedOf (4242); };
    ASSERT_TRUE (rig.scan());

    EXPECT_EQ (activatedAtScanEnd, "0");
    EXPECT_EQ (serialsRead (profiler), juce::Array<int> ({ 4242 }));
    EXPECT_TRUE (serialsRead (profiler, true).isEmpty());
    EXPECT_FALSE (profiler.removeDevice (0x12, 4242));
    EXPECT_FALSE (profiler.removeDisconnectedDevices());
    EXPECT_EQ (reportedSerials(), juce::StringArray ({ "4242" }));

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return activatedOf (4242) == "1"; }));
}

TEST_F (ProfilerTest, ConnectionEventsFollowTheActiveUnitsSerialAndBuild)
{
    makeProfiler();
    auto rigHolder = makeUnitRig();
    auto& rig = *rigHolder;
    rig.addUnit (0x12, 77, 140);
    rig.addUnit (0x1A, 77, 250);
    ASSERT_TRUE (rig.scan());
    server.clearRequests();

    auto connect = [&] (int productId)
    {
        for (int i = 0; i < rig.manager().getNumDevices(); ++i)
            if (rig.manager().getDeviceProductId (i) == productId)
                return rig.manager().setActiveDevice (i);

        return false;
    };

    ASSERT_TRUE (connect (0x12));
    ASSERT_TRUE (connect (0x12));   // same serial and build: dropped
    ASSERT_TRUE (connect (0x1A));   // same serial, other build: sent
    ASSERT_TRUE (connect (0x12));   // and back again: sent
    drainTracker();

    juce::StringArray seen;

    for (auto& r : server.getRequests ("POST", script ("db_device_connect.php")))
        seen.add (r.getParameter ("product_id") + "/" + r.getParameter ("serial") + "/" + r.getParameter ("build_num"));

    EXPECT_EQ (seen, juce::StringArray ({ "18/77/140", "26/77/250", "18/77/140" }));
}

TEST_F (ProfilerTest, DeletedDuringASilentLookUpItWaitsForTheRequestToGiveUp)
{
    struct KillWatch : juce::Logger
    {
        void logMessage (const juce::String& message) override { killed = killed || message.contains ("killing thread"); }
        std::atomic<bool> killed { false };
    } watch;

    platform::Clock::setScale (0.01);
    answer ("db_query_find_device.php", LocalServer::Answer::silence());
    writeList ({ entry (0x12, 5) });
    makeProfiler().updateActivations();
    ASSERT_TRUE (server.waitForRequests (2));

    juce::Logger::setCurrentLogger (&watch);
    ownedProfiler.reset();
    juce::Logger::setCurrentLogger (nullptr);

    EXPECT_FALSE (watch.killed);
    EXPECT_EQ (activatedOf (5), "0");
}
