// Converting stored backups to the unit's formats with the sample content's
// scripts: what moves, what stays, what is reported, and stops.

#include "BackupFixture.h"

#include "platform/Clock.h"
#include "support/FileSizeLimit.h"
#include "support/SlowDisk.h"

#include <thread>

using namespace SourceTreeIds;

namespace
{
    std::unique_ptr<juce::XmlElement> archiveXml (const juce::File& file)
    {
        return juce::XmlDocument::parse (file);
    }
}

class BackupConversion : public BackupFixture
{
protected:
    /** Runs the message loop until the running conversion shows the status. */
    bool waitForStatus (const juce::String& status)
    {
        return TestEnvironment::runMessageLoopUntil ([this, status]
        {
            return manager != nullptr && manager->getConversionProgress()->getStatus() == status;
        }, 30000);
    }

    void expectOutcome (int success, int error, const juce::String& text)
    {
        ASSERT_TRUE (waitForConversionEnd());
        ASSERT_TRUE (TestEnvironment::drainMessages());   // anything posted before the end would show now

        const auto outcome = conversionOutcome();
        EXPECT_EQ (outcome.value1, success);
        EXPECT_EQ (outcome.value2, error);
        EXPECT_EQ (outcome.text, text);
        EXPECT_EQ (countOutcomes(), 1);
        EXPECT_FALSE (manager->isConverting());
        EXPECT_TRUE (manager->getConversionProgress()->isFinished());
    }
};

TEST_F (BackupConversion, OldBackupsMoveIntoTheUnitsSetConvertedAndStaleEntriesGo)
{
    const auto a1 = store ("a1", oldBuild, "A1", { 1, 2 });
    store ("a2", oldBuild, "A2");
    store ("a3", oldBuild, "A3", { 3 });
    store ("b1", newBuild, "B1");
    const auto oldUuid = archiveXml (a1)->getChildElementAllSubText ("uuid", {});
    const auto oldMd5 = archiveXml (a1)->getChildElementAllSubText ("md5", {});

    writeIndex (set (3, 2, group ("Live", entry ("a1") + entry ("a2")) + entry ("a3") + entry ("gone")) + set (4, 3, entry ("b1")));

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    ASSERT_EQ (describe (backups.getTree()), "B1");

    ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
    expectOutcome (1, 0, {});

    EXPECT_EQ (describeIndexFile(), "4/3{b1,Live[a1,a2],a3}");
    EXPECT_EQ (describe (backups.getTree()), "B1,Live[A1,A2],A3");

    // Rewritten in the new formats by the sample scripts, under a new identity.
    for (auto* name : { "a1", "a2", "a3" })
        EXPECT_EQ (storedPresetVersion (name), 4) << name;

    const auto converted = DeviceData::loadFromFile (folder().getChildFile ("a1.mwd"));
    const auto original = unitData (oldBuild, { 1, 2 });
    ASSERT_NE (converted, nullptr);
    EXPECT_EQ (converted->getCapsBlock().setupVersion, 3);
    EXPECT_EQ (converted->getFirmwareVersion().build, newBuild);
    const auto before = original->getPreset (1)->getStepValues (0);
    const auto after = converted->getPreset (1)->getStepValues (0);
    EXPECT_EQ (after[14], 100);
    EXPECT_EQ (after[15], before[15] * 8);

    EXPECT_NE (archiveXml (a1)->getChildElementAllSubText ("uuid", {}), oldUuid);
    EXPECT_NE (archiveXml (a1)->getChildElementAllSubText ("md5", {}), oldMd5);
}

TEST_F (BackupConversion, GroupsOfTheSameNameFromTwoSetsStayApart)
{
    store ("a1", oldBuild, "A1");
    store ("a2", oldBuild, "A2");
    writeIndex (set (3, 2, group ("Live", entry ("a1")))
                + "<set presetVersion=\"3\"><group>" + group ("Live", entry ("a2")) + group ("Empty", {}) + "</group></set>");

    auto& backups = makeManager (newBuild);
    ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
    expectOutcome (1, 0, {});

    EXPECT_EQ (describeIndexFile(), "4/3{Live[a1],Live[a2],Empty[]}");
}

TEST_F (BackupConversion, WithOnlyTheUnitsSetNothingChanges)
{
    const auto b1 = store ("b1", newBuild, "B1");
    writeIndex (set (4, 3, group ("G", entry ("b1"))));
    const auto stored = b1.loadFileAsString();

    auto& backups = makeManager (newBuild);
    ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
    expectOutcome (1, 0, {});

    EXPECT_EQ (describeIndexFile(), "4/3{G[b1]}");
    EXPECT_EQ (b1.loadFileAsString(), stored);
    EXPECT_EQ (describe (backups.getTree()), "G[B1]");
}

TEST_F (BackupConversion, BackupsThatFailKeepTheirPlaceAndEachErrorIsToldOnce)
{
    store ("a1", oldBuild, "A1");

    // Presets of a format no rule leads from.
    for (auto* name : { "x1", "x2", "x3" })
    {
        auto data = ConversionTestData::makeDeviceData (ConversionTestData::vesperBlock (2, 2), oldBuild, { 1 });
        DeviceDataArchive archive (*data, name, "");
        ASSERT_TRUE (archive.save (folder().getChildFile (juce::String (name) + ".xml")));
    }

    writeIndex (set (3, 2, group ("Old", entry ("x1") + group ("Deep", entry ("x2")) + entry ("x3")) + entry ("a1")));

    auto& backups = makeManager (newBuild);
    ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
    expectOutcome (0, 1, "\nThere are insufficient definitions available to perform the conversion.");

    EXPECT_EQ (describeIndexFile(), "4/3{a1} 3/2{Old[x1,Deep[x2],x3]}");
    EXPECT_EQ (describe (backups.getTree()), "A1");
    EXPECT_EQ (storedPresetVersion ("x1"), 2);
}

TEST_F (BackupConversion, AConvertedBackupThatCannotBeWrittenStaysInItsOldForm)
{
    store ("small", oldBuild, "Small", { 1 });
    store ("big", oldBuild, "Big", { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 });
    const auto bigXml = folder().getChildFile ("big.xml").loadFileAsString();
    writeIndex (set (3, 2, entry ("small") + entry ("big")));

    auto& backups = makeManager (newBuild);

    {
        // Room for the index and the small backup, not for the big one.
        const FileSizeLimit::Scoped full (2048);
        ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
        ASSERT_TRUE (waitForConversionEnd());
    }

    expectOutcome (0, 1, "\nA converted backup was kept in its old format: it could not be saved (the system said: no room on the drive). Please make sure the drive is not full.");
    EXPECT_EQ (describeIndexFile(), "4/3{small} 3/2{big}");
    EXPECT_EQ (storedPresetVersion ("small"), 4);
    EXPECT_EQ (storedPresetVersion ("big"), 3);
    EXPECT_EQ (folder().getChildFile ("big.xml").loadFileAsString(), bigXml);
}

TEST_F (BackupConversion, BackupsMadeBeforeTheConversionAreStoredFirst)
{
    store ("a1", oldBuild, "A1");
    writeIndex (set (3, 2, entry ("a1")), 7);

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    backups.getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 4 }), "Fresh", "")), nullptr);

    // A disk without room for them: nothing converts, and the tree comes back with the backup still to save.
    {
        const FileSizeLimit::Scoped full (16);
        ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
        ASSERT_TRUE (waitForConversionEnd());
    }

    expectOutcome (0, 1, "\nNone was converted: the backups could not be saved (the system said: no room on the drive). Please make sure the drive is not full.");
    EXPECT_EQ (describeIndexFile(), "3/2{a1}");
    EXPECT_EQ (describe (backups.getTree()), "Fresh");
    EXPECT_EQ (backups.getUnsaved().backups, juce::StringArray ("Fresh"));

    // Their save held by a slow disk: the start does not wait for it, the conversion does.
    notes.clear();
    {
        SlowDisk disk (juce::StringArray (indexFile().getFileName()));
        const auto answer = disk.postAnswer();
        ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (answer)) << "the start waited for the disk";
    }

    expectOutcome (1, 0, {});
    EXPECT_EQ (describeIndexFile(), "4/3{Vesper_000007,a1}");
    EXPECT_EQ (describe (backups.getTree()), "Fresh,A1");
}

//==============================================================================
TEST_F (BackupConversion, StopEndsItBetweenBackupsWithEverythingInOnePlace)
{
    makeScriptHangOn ("Hang");
    store ("a1", oldBuild, "A1");
    store ("h", oldBuild, "H", { 1 }, "Hang");
    store ("a3", oldBuild, "A3");
    store ("b1", newBuild, "B1");
    writeIndex (set (3, 2, entry ("a1") + entry ("h") + entry ("a3")) + set (4, 3, entry ("b1")));

    auto& backups = makeManager (newBuild);
    ASSERT_TRUE (backups.startConversion (versionOf (newBuild)));
    ASSERT_TRUE (waitForStatus ("Converting: H"));

    // Meanwhile the manager answers at once and leaves the index to the conversion.
    EXPECT_TRUE (backups.isConverting());
    EXPECT_EQ (backups.getTree().getNumChildren(), 0);
    EXPECT_FALSE (backups.startConversion (versionOf (newBuild))) << "one conversion at a time";
    EXPECT_TRUE (backups.getNextArchiveFile().isEmpty());
    juce::String question;
    EXPECT_FALSE (backups.checkBackupFormats (question));
    EXPECT_TRUE (backups.saveBackupIndexInBackground());
    EXPECT_EQ (backups.copyIndex(), nullptr);

    backups.stopConversion();
    expectOutcome (0, 0, {});

    EXPECT_EQ (describeIndexFile(), "3/2{h,a3} 4/3{b1,a1}") << "the unit's set keeps its place";
    EXPECT_EQ (describe (backups.getTree()), "B1,A1");
    EXPECT_EQ (storedPresetVersion ("a1"), 4);
    EXPECT_EQ (storedPresetVersion ("h"), 3);
    EXPECT_EQ (storedPresetVersion ("a3"), 3);
    EXPECT_EQ (fatalError, 0);
}

TEST_F (BackupConversion, AManagerThatGoesStopsItsConversionAndWaitsForIt)
{
    startConversionThatHangs();
    ASSERT_TRUE (waitForStatus ("Converting: H"));

    manager.reset();
    EXPECT_EQ (fatalError, 0);
    EXPECT_EQ (describeIndexFile(), "4/3{a1} 3/2{h}");

    ASSERT_TRUE (waitForConversionEnd());
    EXPECT_EQ (conversionOutcome().value1, 0);
    EXPECT_EQ (conversionOutcome().value2, 0) << "an interruption, not an error";
}

TEST_F (BackupConversion, BackupsMadeWhileItRunsAreStoredWithTheConvertedOnes)
{
    auto& backups = startConversionThatHangs();
    ASSERT_TRUE (waitForStatus ("Converting: H"));

    // The empty category the page shows meanwhile takes a new backup; its save waits for the end.
    backups.getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 4 }), "Fresh", "")), nullptr);
    EXPECT_TRUE (backups.saveBackupIndexInBackground());

    backups.stopConversion();
    expectOutcome (0, 0, {});

    backups.waitForBackgroundSaves();
    EXPECT_EQ (describeIndexFile(), "4/3{a1,Vesper_000003} 3/2{h}");
    EXPECT_EQ (describe (backups.getTree()), "A1,Fresh");
    EXPECT_EQ (storedPresetVersion ("Vesper_000003"), 4);
}

TEST_F (BackupConversion, OneThatDoesNotStopWhenItsManagerClosesIsFatalErrorThreeAndLosesNothing)
{
    auto& backups = startConversionThatHangs();
    ASSERT_TRUE (waitForStatus ("Converting: H"));
    backups.getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 4 }), "Fresh", "")), nullptr);

    // Whoever asks for a stop holds the progress until released: the thread cannot end its run.
    const auto progress = backups.getConversionProgress();
    juce::WaitableEvent entered, release;
    progress->setStopHandler ([&] { entered.signal(); release.wait (-1); });
    std::thread asker ([&] { progress->requestStop(); });
    ASSERT_TRUE (entered.wait (10000));

    platform::Clock::setScale (0.001);
    LocalArchiveManager::close (std::move (manager));
    platform::Clock::setScale (1.0);
    EXPECT_EQ (fatalError, 3);

    release.signal();
    asker.join();
    ASSERT_TRUE (waitForConversionEnd());

    // The manager goes once the thread has ended, and stores what was made meanwhile.
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([] { return describeIndexFile() == "4/3{a1,Vesper_000003} 3/2{h}"; }, 10000))
        << describeIndexFile();
}
