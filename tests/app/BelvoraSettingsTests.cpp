#include "devices/DeviceManager.h"
#include "devices/DeviceProtocol.h"
#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "platform/WriteQueue.h"
#include "support/FileSizeLimit.h"
#include "support/OddFiles.h"
#include "support/SettingsFixture.h"
#include "support/SlowDisk.h"

#include <cerrno>
#include <mutex>
#include <set>
#include <thread>

using SettingsTest = SettingsFixture;

TEST (BelvoraSwitches, AreWordsAnywhereInTheCommandLine)
{
    Belvora app;

    app.parseSwitches ("--scan_all --sync_all");
    EXPECT_TRUE (app.isScanAll());
    EXPECT_TRUE (app.isSyncAll());
    EXPECT_FALSE (app.isDeveloperMode());

    app.parseSwitches ("/nodeveloperish");
    EXPECT_TRUE (app.isDeveloperMode());
    EXPECT_FALSE (app.isScanAll());

    app.parseSwitches ("DEVELOPER Scan_All");
    EXPECT_FALSE (app.isDeveloperMode());
    EXPECT_FALSE (app.isScanAll());
}

TEST_F (SettingsTest, ScalingFactorIsClampedAndDefaultsToOne)
{
    EXPECT_FLOAT_EQ (Belvora::getUiScalingFactor(), 1.0f);

    const std::pair<const char*, float> cases[] = { { "0.5", 0.75f }, { "3.0", 2.5f }, { "1.25", 1.25f },
                                                    { "not a number", 0.75f }, { "nan", 0.75f } };
    for (auto [stored, expected] : cases)
    {
        settings().setValue ("uiScalingFactor", stored);
        EXPECT_FLOAT_EQ (Belvora::getUiScalingFactor(), expected) << stored;
    }
}

TEST_F (SettingsTest, SyncMethodAndViewTypeCompareExactly)
{
    EXPECT_EQ (Belvora::getDataSyncMethod(), 0);

    settings().setValue ("dataSyncMethod", "Manual");
    EXPECT_EQ (Belvora::getDataSyncMethod(), 0);

    Belvora::setDataSyncMethod (2);
    EXPECT_EQ (settings().getValue ("dataSyncMethod"), "previous");
    EXPECT_EQ (Belvora::getDataSyncMethod(), 2);

    Belvora::setDataSyncMethod (7);
    EXPECT_EQ (settings().getValue ("dataSyncMethod"), "previous");

    EXPECT_EQ (Belvora::getPresetButtonViewType(), 1);
    Belvora::setPresetButtonViewType (0);
    EXPECT_EQ (settings().getValue ("presetButtonViewType"), "cell");
    EXPECT_EQ (Belvora::getPresetButtonViewType(), 0);

    settings().setValue ("presetButtonViewType", "Cell");
    EXPECT_EQ (Belvora::getPresetButtonViewType(), 1);

    Belvora::setPresetButtonViewType (3);
    EXPECT_EQ (settings().getValue ("presetButtonViewType"), "Cell");
}

TEST_F (SettingsTest, DownloadTimeoutIsKeptAsWrittenAndWaitedWithinBounds)
{
    EXPECT_FLOAT_EQ (Belvora::getDownloadTimeout(), 600.0f);
    settings().setValue ("downloadTimeout", 0.25);
    EXPECT_FLOAT_EQ (Belvora::getDownloadTimeout(), 0.25f);

    // As the patience of whatever waits by it: the default for what makes no
    // sense, and neither a wait of nothing nor an overflow for the rest.
    EXPECT_EQ (BelvoraSettings::getDownloadTimeoutMs(), 250);

    for (auto* senseless : { "0", "-5", "nan", "", "abc", "-inf" })
    {
        settings().setValue ("downloadTimeout", senseless);
        EXPECT_EQ (BelvoraSettings::getDownloadTimeoutMs(), 600 * 1000) << senseless;
    }

    for (auto huge : { 1.0e11, 1.0e12, 1.0e30, 1.0e300 })
    {
        settings().setValue ("downloadTimeout", huge);
        EXPECT_EQ (BelvoraSettings::getDownloadTimeoutMs(), 24 * 3600 * 1000) << huge;
    }

    settings().setValue ("downloadTimeout", 1.0e-6);
    EXPECT_EQ (BelvoraSettings::getDownloadTimeoutMs(), 100);

    // A scan waits for content in whole cycles: a part of one is a whole one more.
    EXPECT_EQ (DeviceManager::getScanCycleLimit (true), ProtocolTiming::scanCycles);
    settings().setValue ("downloadTimeout", 45.05);
    EXPECT_EQ (DeviceManager::getScanCycleLimit (true), 451);
    EXPECT_EQ (DeviceManager::getScanCycleLimit (false), ProtocolTiming::scanCycles);
}

TEST_F (SettingsTest, SettingsFileLivesInTheDataFolder)
{
    settings().setValue ("dataSyncMethod", "manual");
    Belvora::releaseAppProperties();

    const juce::File file (Belvora::getUserDataFolder() + "/Belvora 2.settings");
    ASSERT_TRUE (file.existsAsFile());

    auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (file.loadFileAsString().contains ("dataSyncMethod"));
}

TEST (BelvoraFatalErrors, AlertTexts)
{
    EXPECT_EQ (Belvora::getFatalErrorText (2),
               "Belvora is unable to load required control files. Please try restarting the application. "
               "Make sure you have a functioning internet connection. If this error persists, please contact "
               "technical support (code 2).");
    EXPECT_EQ (Belvora::getFatalErrorText (1),
               "Belvora has encountered error and must now stop, sorry. Please try restarting the application. "
               "If this error persists, please contact technical support (code 1).");
    EXPECT_TRUE (Belvora::getFatalErrorText (3).endsWith ("(code 3)."));
}

TEST (BelvoraFatalErrors, FirstCodeWins)
{
    Belvora app;
    EXPECT_EQ (app.getFatalErrorCode(), 0);
    app.reportFatalError (2);
    app.reportFatalError (1);
    EXPECT_EQ (app.getFatalErrorCode(), 2);
    EXPECT_EQ (app.getAppState(), AppState::starting);
}

TEST_F (SettingsTest, ADamagedSettingsFileGoesAsideAndTheLastGoodOneComesBack)
{
    const auto file = settings().getFile();
    const juce::String garbage ("<PROPERTIES><VALUE name=\"dataSyncMethod\" val=\"man");

    // No earlier copy: the file is kept aside as it is, and the defaults are read.
    ASSERT_TRUE (file.getParentDirectory().createDirectory().wasOk() && file.replaceWithText (garbage));
    Belvora::releaseAppProperties();
    Belvora::configureAppProperties();
    auto aside = Belvora::recoverSettingsFile().aside;
    EXPECT_EQ (aside, file.getSiblingFile ("Belvora 2.settings.damaged"));
    EXPECT_EQ (aside.loadFileAsString(), garbage);
    EXPECT_EQ (Belvora::getDataSyncMethod(), 0);

    // A start that read the file keeps it; a later damage brings that copy back.
    settings().setValue ("dataSyncMethod", "manual");
    settings().setValue ("internal4", "0123456789abcdef0123456789abcdef");
    Belvora::releaseAppProperties();
    Belvora::configureAppProperties();
    EXPECT_TRUE (Belvora::recoverSettingsFile().isEmpty());
    Belvora::releaseAppProperties();
    EXPECT_TRUE (file.getSiblingFile ("Belvora 2.settings.last").existsAsFile());

    for (const auto& damage : { juce::String(), garbage, juce::String ("<OTHER/>") })
    {
        Belvora::releaseAppProperties();
        ASSERT_TRUE (file.deleteFile() && file.create().wasOk() && file.appendText (damage));
        Belvora::configureAppProperties();
        aside = Belvora::recoverSettingsFile().aside;
        EXPECT_TRUE (aside.existsAsFile()) << damage;
        EXPECT_EQ (aside.loadFileAsString(), damage);
        EXPECT_EQ (Belvora::getDataSyncMethod(), 1) << damage;
        EXPECT_EQ (settings().getValue ("internal4"), "0123456789abcdef0123456789abcdef") << "the installation stays the same";
    }

    EXPECT_EQ (file.getParentDirectory().findChildFiles (juce::File::findFiles, false, "*.damaged").size(), 4);

    // No file at all, or a link to nothing: the kept copy is what the user had, told
    // and read in its place; the link leads to it once saved. The copy stays as it was.
    const auto lastGood = file.getSiblingFile ("Belvora 2.settings.last");
    const auto keptCopy = lastGood.getSiblingFile ("kept copy");
    ASSERT_TRUE (lastGood.copyFileTo (keptCopy));
    const auto linkedTo = TestEnvironment::getHome().getChildFile ("dotfiles/settings");

    for (const bool linked : { false, true })
    {
        Belvora::releaseAppProperties();
        ASSERT_TRUE (file.deleteFile() && linkedTo.getParentDirectory().createDirectory());
        ASSERT_TRUE (! linked || ::symlink (linkedTo.getRelativePathFrom (file.getParentDirectory()).toRawUTF8(), file.getFullPathName().toRawUTF8()) == 0);
        Belvora::configureAppProperties();
        const auto found = Belvora::recoverSettingsFile();
        EXPECT_TRUE (found.missing && found.fromLastGood && found.aside == juce::File()) << linked;
        EXPECT_EQ (Belvora::getDataSyncMethod(), 1) << linked;
        EXPECT_EQ (settings().getValue ("internal4"), "0123456789abcdef0123456789abcdef") << linked;
        Belvora::releaseAppProperties();
        EXPECT_EQ (file.isSymbolicLink(), linked);
        EXPECT_TRUE ((linked ? linkedTo : file).loadFileAsString().contains ("manual")) << linked;
        EXPECT_EQ (lastGood.loadFileAsString(), keptCopy.loadFileAsString()) << linked;
        file.deleteFile();
        ASSERT_TRUE (lastGood.copyFileTo (file));
    }

    // A pipe, a folder or a huge file in its place is damaged before the framework opens it;
    // one in place of the kept copy is never copied but named as it goes aside, and the defaults are used.

    for (const auto& odd : { file, lastGood })
    {
        for (auto kind : OddFiles::allKinds)
        {
            Belvora::releaseAppProperties();
            ASSERT_TRUE (lastGood.deleteRecursively() && keptCopy.copyFileTo (lastGood));
            ASSERT_TRUE (odd == file ? OddFiles::put (kind, file) : (OddFiles::put (kind, lastGood) && file.replaceWithText (garbage)));

            BelvoraSettings::Recovery found;
            OddFiles::expectEndsBounded (kind, odd, [&]
            {
                Belvora::configureAppProperties();
                found = Belvora::recoverSettingsFile();
            }, odd.getFileName());

            const auto what = odd.getFileName() + " as " + OddFiles::nameOf (kind);
            EXPECT_TRUE (found.aside.getFileName().startsWith ("Belvora 2.settings") && found.aside.getFileName().endsWith (".damaged")) << what;
            EXPECT_EQ (found.aside.isDirectory(), odd == file && kind == OddFiles::Kind::folder) << what;
            EXPECT_EQ (found.lastGoodAside.getFileName(), odd == lastGood ? "Belvora 2.settings.last.damaged" : "") << what;
            EXPECT_EQ (found.lastGoodAside.isDirectory(), odd == lastGood && kind == OddFiles::Kind::folder) << what;
            EXPECT_EQ (Belvora::getDataSyncMethod(), odd == file ? 1 : 0) << what;
            EXPECT_TRUE (! file.exists() || file.getSize() < 4096) << what;
            EXPECT_TRUE (settings().save() && file.existsAsFile()) << what;
            found.aside.deleteRecursively();
            found.lastGoodAside.deleteRecursively();
        }

        Belvora::releaseAppProperties();
        lastGood.deleteRecursively();
    }
}

// A write of the settings held by a disk that stalls: the message thread goes on (reads,
// timers, messages), and a save asked meanwhile is written after it, the last state
// winning. An exit without shutdown frees the saver first.
TEST_F (SettingsTest, TheMessageThreadNeverWaitsOnAWriteNorAnExitWithoutShutdownOnAFreedSaver)
{
    Belvora::recoverSettingsFile();

    const auto child = ::fork();
    if (child == 0)
        std::exit (0);
    int status = 0;
    EXPECT_TRUE (::waitpid (child, &status, 0) == child && WIFEXITED (status) && WEXITSTATUS (status) == 0) << status;

    const auto stored = [] { return settings().getFile().loadFileAsString(); };
    {
        SlowDisk disk ({ "Belvora 2.settings" });
        settings().setValue ("dataSyncMethod", "manual");
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return disk.heldCount() > 0; }, 30000)) << "the timed save never began";

        // Asked while the first is held: written after it.
        settings().setValue ("dataSyncMethod", "previous");
        Belvora::saveInBackground();
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (disk.postAnswer())) << "the message thread waited for the write";
    }

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return stored().contains ("previous"); }));
    EXPECT_FALSE (Belvora::hasUnsavedSettings());
}

// Kept elsewhere through links (as dotfile managers do): the links stay, what they lead to is written.
TEST_F (SettingsTest, ASettingsFileAndItsKeptCopyReachedThroughLinksStayLinks)
{
    const auto file = settings().getFile();
    const auto lastGood = Belvora::getLastGoodSettingsFile();
    const auto dotfiles = TestEnvironment::getHome().getChildFile ("dotfiles");
    settings().setValue ("dataSyncMethod", "manual");
    Belvora::releaseAppProperties();
    ASSERT_TRUE (dotfiles.createDirectory() && file.moveFileTo (dotfiles.getChildFile ("settings")));
    ASSERT_TRUE (dotfiles.getChildFile ("settings").copyFileTo (dotfiles.getChildFile ("last")));
    ASSERT_EQ (::symlink (dotfiles.getChildFile ("settings").getFullPathName().toRawUTF8(), file.getFullPathName().toRawUTF8()), 0);
    ASSERT_EQ (::symlink (dotfiles.getChildFile ("last").getRelativePathFrom (file.getParentDirectory()).toRawUTF8(), lastGood.getFullPathName().toRawUTF8()), 0);

    Belvora::configureAppProperties();
    EXPECT_TRUE (Belvora::recoverSettingsFile().isEmpty());
    EXPECT_EQ (Belvora::getDataSyncMethod(), 1);
    settings().setValue ("dataSyncMethod", "previous");
    Belvora::saveInBackground();
    Belvora::releaseAppProperties();
    Belvora::configureAppProperties();
    Belvora::keepLastGoodSettings();
    Belvora::waitForWrites();

    EXPECT_TRUE (file.isSymbolicLink() && lastGood.isSymbolicLink());
    EXPECT_TRUE (dotfiles.getChildFile ("settings").loadFileAsString().contains ("previous"));
    EXPECT_TRUE (dotfiles.getChildFile ("last").loadFileAsString().contains ("previous"));
    EXPECT_EQ (dotfiles.findChildFiles (juce::File::findFiles, false).size(), 2) << "no temporary file left";

    // Where they lead cannot be written (a folder without permission): the save fails, said as
    // the system said it, and the links stay, also when the settings are let go with it unsaved.
    OddFiles::WithoutPrivilege user (TestEnvironment::getHome(), true);

    if (! user.active || ::chmod (dotfiles.getFullPathName().toRawUTF8(), 0555) != 0)
        GTEST_SKIP() << "the user cannot be changed here: a folder without permission is not tried";

    settings().setValue ("dataSyncMethod", "auto");
    Belvora::saveInBackground();
    Belvora::waitForWrites();
    EXPECT_EQ (SaveFailure::describe (Belvora::getLastSaveError()), "no permission");
    Belvora::releaseAppProperties();
    ::chmod (dotfiles.getFullPathName().toRawUTF8(), 0755);
    EXPECT_TRUE (file.isSymbolicLink());
    EXPECT_TRUE (dotfiles.getChildFile ("settings").loadFileAsString().contains ("previous"));
}

// Every write of the settings and of their kept copy, whoever asks for it, is the writes thread's.
TEST_F (SettingsTest, TheSettingsAreWrittenByTheWritesThreadAlone)
{
    std::mutex lock;
    std::set<std::thread::id> writers;
    SafeSave::setBeforeReplace ([&] (const juce::File& target)
    {
        const std::lock_guard<std::mutex> hold (lock);

        if (target.getFileName().startsWith ("Belvora 2.settings"))
            writers.insert (std::this_thread::get_id());
    });

    Belvora::recoverSettingsFile();
    const auto lastGood = Belvora::getLastGoodSettingsFile();
    settings().setValue ("dataSyncMethod", "manual");
    Belvora::saveInBackground();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return settings().getFile().loadFileAsString().contains ("manual"); }));
    Belvora::keepLastGoodSettings();
    settings().setValue ("dataSyncMethod", "previous");
    Belvora::releaseAppProperties();
    SafeSave::setBeforeReplace ({});

    EXPECT_EQ (writers, std::set<std::thread::id> { platform::WriteQueue::getThreadId() });
    EXPECT_TRUE (lastGood.loadFileAsString().contains ("manual"));
    Belvora::configureAppProperties();
    EXPECT_EQ (Belvora::getDataSyncMethod(), 2);
}

TEST (BelvoraStart, OneProgramRunsPerDataFolder)
{
    const auto lockFile = Belvora::getInstanceLockFile();
    EXPECT_EQ (lockFile.getParentDirectory().getFullPathName(), Belvora::getUserDataFolder());

    {
        platform::InstanceLock first (lockFile);
        ASSERT_TRUE (first.isHeld());
        EXPECT_FALSE (platform::InstanceLock (lockFile).isHeld()) << "a second one in the same folder";
        EXPECT_TRUE (platform::InstanceLock (TestEnvironment::getHome().getChildFile ("other/Belvora 2.lock")).isHeld()) << "another home";
    }

    EXPECT_TRUE (platform::InstanceLock (lockFile).isHeld()) << "free again once the first one went";
}

TEST (BelvoraStart, ARefusedStartSaysWhy)
{
    const auto lockFile = Belvora::getInstanceLockFile();
    const auto folder = "\"" + Belvora::getUserDataFolder() + "\"";

    {
        platform::InstanceLock first (lockFile);
        ASSERT_TRUE (first.isHeld());
        EXPECT_EQ (first.getFailure(), platform::InstanceLock::Failure::none);

        const platform::InstanceLock second (lockFile);
        EXPECT_EQ (second.getFailure(), platform::InstanceLock::Failure::heldElsewhere);
        const auto refusal = Belvora::getStartRefusal (second);
        EXPECT_EQ (refusal.title, "Belvora Is Already Running");
        EXPECT_EQ (refusal.message, "Belvora is already running with the data folder " + folder + "; this start ends.");
    }

    // A folder that cannot be made (root writes anywhere, but not below a file) is no copy running.
    const auto blocker = TestEnvironment::getHome().getChildFile ("a file");
    ASSERT_TRUE (blocker.replaceWithText ("x"));

    // The advice fits what the system said: no full drive for a file in the way or a name too long.
    const auto tooLong = TestEnvironment::getHome().getChildFile (juce::String::repeatedString ("x", 300)).getChildFile ("Belvora 2.lock");
    const std::pair<juce::File, juce::String> unwritables[] {
        { blocker.getChildFile ("Belvora 2.lock"), " (the system said: not a directory), so this start ends. Make sure the folder is there and can be written to, then" },
        { blocker.getChildFile ("deeper/Belvora 2.lock"), " (the system said: not a directory), so this start ends. Make sure the folder is there" },
        { tooLong, " (the system said: a name too long for the drive), so this start ends. Use a folder with a shorter path, then start Belvora again." }
    };

    for (const auto& [unwritable, told] : unwritables)
    {
        const platform::InstanceLock lock (unwritable);
        EXPECT_FALSE (lock.isHeld());
        EXPECT_EQ (lock.getFailure(), platform::InstanceLock::Failure::cannotWrite) << unwritable.getFullPathName();
        EXPECT_EQ (lock.getSystemError(), unwritable == tooLong ? ENAMETOOLONG : ENOTDIR);

        const auto refusal = Belvora::getStartRefusal (lock);
        EXPECT_EQ (refusal.title, "Data Folder Cannot Be Written");
        EXPECT_TRUE (refusal.message.startsWith ("Belvora cannot write to its data folder " + folder + told)) << refusal.message;
        EXPECT_FALSE (refusal.message.contains ("already running") || refusal.message.contains ("not full"));
    }

    blocker.deleteFile();

    // A folder in place of the lock file: the file is named, not the folder, which is fine.
    ASSERT_TRUE (OddFiles::put (OddFiles::Kind::folder, lockFile));
    {
        const platform::InstanceLock lock (lockFile);
        EXPECT_EQ (lock.getFailure(), platform::InstanceLock::Failure::cannotWrite);
        const auto refusal = Belvora::getStartRefusal (lock);
        EXPECT_EQ (refusal.title, "Data Folder Cannot Be Written");
        EXPECT_EQ (refusal.message, "Belvora cannot write its lock file \"" + lockFile.getFullPathName() + "\" (the system said: is a directory), "
                                    "so this start ends. Make sure the file can be written (or move away what stands in its place), then start Belvora again.");
    }

    ASSERT_TRUE (lockFile.deleteRecursively());
}

TEST_F (SettingsTest, OnlyASettingsFileThatReadsBackBecomesTheKeptCopy)
{
    const auto file = settings().getFile();
    const auto lastGood = Belvora::getLastGoodSettingsFile();

    settings().setValue ("dataSyncMethod", "manual");
    ASSERT_TRUE (settings().save());
    Belvora::keepLastGoodSettings();
    Belvora::waitForWrites();
    ASSERT_EQ (lastGood.loadFileAsString(), file.loadFileAsString());
    const auto good = lastGood.loadFileAsString();

    // A save cut short, or one that wrote something else: the kept copy stays as it was.
    settings().setValue ("dataSyncMethod", "previous");
    ASSERT_TRUE (settings().save());

    for (const auto& bad : { file.loadFileAsString().dropLastCharacters (20), juce::String(),
                             file.loadFileAsString().replace ("previous", "auto") })
    {
        ASSERT_TRUE (file.replaceWithText (bad));
        Belvora::keepLastGoodSettings();
        Belvora::waitForWrites();
        EXPECT_EQ (lastGood.loadFileAsString(), good) << bad;
    }

    ASSERT_TRUE (file.deleteFile());
    Belvora::keepLastGoodSettings();
    Belvora::waitForWrites();
    EXPECT_EQ (lastGood.loadFileAsString(), good) << "no file at all";

    ASSERT_TRUE (settings().save());
    Belvora::keepLastGoodSettings();
    Belvora::waitForWrites();
    EXPECT_TRUE (lastGood.loadFileAsString().contains ("previous")) << "a good save is kept";
}

TEST (BelvoraStart, LeftoversOfAKilledRunAreRemovedAndEverythingElseStays)
{
    const juce::File data (Belvora::getUserDataFolder());
    const auto unit = data.getChildFile ("Vesper/data/12345");
    const auto packs = data.getChildFile ("Vesper/packs");
    ASSERT_TRUE (unit.createDirectory().wasOk() && packs.createDirectory().wasOk());

    const juce::Array<juce::File> leftovers { data.getChildFile ("Belvora 2_temp1a2b3c4d.settings"),
                                              data.getChildFile ("Belvora 2.settings_tempffffffff.last"),
                                              data.getChildFile ("deviceList_temp12ab (2).xml"),
                                              data.getChildFile ("Vesper/data/Vesper_000003_tempdeadbeef.mwd"),
                                              data.getChildFile ("Vesper/data/Vesper_backup_temp0a.xml"),
                                              unit.getChildFile ("working_temp12.mwd"), unit.getChildFile ("sync_temp3f.mwd") };
    const juce::Array<juce::File> kept { data.getChildFile ("Belvora 2.settings"), data.getChildFile ("Belvora 2.settings.damaged"),
                                         data.getChildFile ("Vesper/data/Vesper_000003.mwd"), data.getChildFile ("Vesper/data/Vesper_backup.xml"),
                                         data.getChildFile ("Vesper/data/template.xml"), unit.getChildFile ("working.mwd"),
                                         unit.getChildFile ("sync.mwd"), packs.getChildFile ("a_temp12.xml") };

    // Files kept elsewhere through links: only the temporaries left beside what they lead to go (on the writes thread).
    const auto elsewhere = TestEnvironment::getHome().getChildFile ("dotfiles"), otherUnit = data.getChildFile ("Vesper/data/67890");
    ASSERT_TRUE (elsewhere.getChildFile ("units").createDirectory().wasOk() && otherUnit.createDirectory().wasOk());
    const juce::Array<juce::File> leftBeside { elsewhere.getChildFile ("devices_temp1a2b3c4d.xml"), elsewhere.getChildFile ("units/work_temp3f.mwd") };
    const juce::Array<juce::File> theUsers { elsewhere.getChildFile ("devices.xml"), elsewhere.getChildFile ("units/work.mwd"),
                                             elsewhere.getChildFile ("devices_temp12.txt"), elsewhere.getChildFile ("devices_tempxyz.xml"),
                                             elsewhere.getChildFile ("notes_temp12.xml"), elsewhere.getChildFile ("units/working_temp12.mwd") };

    for (const auto& list : { leftovers, kept, leftBeside, theUsers })
        for (const auto& file : list)
            ASSERT_TRUE (file.replaceWithText ("x"));

    ASSERT_TRUE (theUsers[0].createSymbolicLink (data.getChildFile ("deviceList.xml"), false) && theUsers[1].createSymbolicLink (otherUnit.getChildFile ("working.mwd"), false));

    auto removed = Belvora::removeLeftovers();
    removed.sort();
    auto expected = leftovers;
    expected.sort();
    EXPECT_EQ (removed, expected);

    for (const auto& file : kept)
        EXPECT_TRUE (file.existsAsFile()) << file.getFullPathName();

    platform::WriteQueue::waitUntilAllIdle();

    for (const auto& list : { leftBeside, theUsers })
        for (const auto& file : list)
            EXPECT_EQ (file.exists(), theUsers.contains (file)) << file.getFullPathName();
}
