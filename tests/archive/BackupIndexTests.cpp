// The backup index: read into the "Backups" tree, written back, new file
// numbers, the questions about other formats, and saves that fail.

#include "BackupFixture.h"

#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "support/FileSizeLimit.h"
#include "support/OddFiles.h"
#include "support/SlowDisk.h"

#include <mutex>
#include <thread>

using namespace SourceTreeIds;

using BackupIndex = BackupFixture;

TEST_F (BackupIndex, TheTreeShowsTheBackupsOfTheUnitsFormatsInTheirGroups)
{
    store ("one", newBuild, "One");
    store ("two", newBuild, "Two");
    store ("three", newBuild, "Three");
    store ("older", oldBuild, "Older");
    store ("misfiled", oldBuild, "Misfiled");   // listed with the unit's set, but of the older format

    writeIndex (set (4, 3, group ("Live", entry ("one") + entry ("two") + group ("Empty", {})) + entry ("three")
                           + entry ("gone") + entry ("misfiled"))
                + set (3, 2, entry ("older")));

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    const auto tree = backups.getTree();

    EXPECT_EQ (tree[categoryProp].toString(), "archive");
    EXPECT_EQ (tree[label].toString(), "Backups");
    EXPECT_EQ (describe (tree), "Live[One,Two,Empty[]],Three");
    EXPECT_EQ (SourceTree::getArchive (tree.getChild (1))->getTitle(), "Three");

    // The unit of the older firmware sees the other set.
    auto& older = makeManager (oldBuild);
    older.reloadTree();
    EXPECT_EQ (describe (older.getTree()), "Older");
}

TEST_F (BackupIndex, SavingPutsTheUnitsSetFirstAndKeepsTheOthers)
{
    store ("one", newBuild, "One");
    store ("older", oldBuild, "Older");
    writeIndex (set (3, 2, group ("Keep", entry ("older"))) + set (4, 3, entry ("one") + entry ("gone")), 0);

    auto& backups = makeManager (newBuild);

    // Before the tree shows the stored set, saving must not replace that set with nothing.
    const auto before = indexFile().loadFileAsString();
    EXPECT_TRUE (saveAndWait (backups));
    EXPECT_EQ (indexFile().loadFileAsString(), before);

    backups.reloadTree();
    auto tree = backups.getTree();

    // A new backup in a new group, and an edit of the stored one.
    auto live = SourceTree::createNode (SourceTreeIds::group, "Live");
    tree.appendChild (live, nullptr);
    live.appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 3 }), "New", "")), nullptr);
    auto* oneCopy = SourceTree::getDeviceData (tree.getChild (0));
    oneCopy->deletePreset (2);
    auto* newArchive = SourceTree::getArchive (live.getChild (0));
    EXPECT_TRUE (newArchive->getLinkData().isEmpty()) << "a new backup has no number before the save";

    ASSERT_TRUE (saveAndWait (backups));

    EXPECT_EQ (describeIndexFile(), "4/3{one,Live[Vesper_000000]} 3/2{Keep[older]}");
    EXPECT_EQ (newArchive->getLinkData(), folder().getChildFile ("Vesper_000000.mwd").getFullPathName());
    EXPECT_TRUE (folder().getChildFile ("Vesper_000000.xml").existsAsFile());
    EXPECT_EQ (juce::XmlDocument::parse (indexFile())->getIntAttribute ("nextFileNum"), 1);

    // The edit is in the stored backup now, and the tree no longer shows it as unsaved.
    const auto stored = DeviceData::loadFromFile (folder().getChildFile ("one.mwd"));
    EXPECT_EQ (stored->getUsedPresetIndices(), juce::Array<int> ({ 1 }));
    EXPECT_FALSE (SourceTree::getDataSet (tree.getChild (0))->isModified());

    // A second manager reads what the first wrote.
    auto& again = makeManager (newBuild);
    again.reloadTree();
    EXPECT_EQ (describe (again.getTree()), "One,Live[New]");
}

TEST_F (BackupIndex, NewFileNumbersSkipFilesThatExist)
{
    writeIndex ({}, 5);
    for (auto* name : { "Vesper_000005.mwd", "Vesper_000006.mwd", "Vesper_000007.xml" })
        folder().getChildFile (name).replaceWithText ("taken");

    auto& backups = makeManager (newBuild);
    EXPECT_EQ (backups.getNextArchiveFile(), folder().getChildFile ("Vesper_000008").getFullPathName());
    EXPECT_EQ (backups.copyIndex()->getIntAttribute ("nextFileNum"), 9);
    EXPECT_EQ (backups.getNextArchiveFile(), folder().getChildFile ("Vesper_000009").getFullPathName());

    // Without an index file yet: from 0, and the index is made by the first save.
    indexFile().deleteFile();
    auto& fresh = makeManager (newBuild);
    EXPECT_EQ (fresh.getNextArchiveFile(), folder().getChildFile ("Vesper_000000").getFullPathName());
    fresh.reloadTree();
    EXPECT_TRUE (saveAndWait (fresh));
    EXPECT_EQ (describeIndexFile(), "4/3{}");
}

TEST_F (BackupIndex, BackupsInOtherFormatsAskToUpdateOrToDowngrade)
{
    store ("v3", oldBuild, "Three");
    store ("v4", newBuild, "Four");
    const juce::String older = "Belvora has found backup data in an older format than what is currently supported by the "
                               "firmware running on My Vesper. Would you like to update the backup data?";
    const juce::String newer = "Your local backup contains data in a newer format than what My Vesper supports. This is most "
                               "likely caused by out-of-date firmware. Belvora can attempt to convert the data to the older "
                               "format. The best option is to update My Vesper to the newest firmware. Would you like to "
                               "downgrade the backup data?";

    struct Case { juce::String sets; int build; bool asks; juce::String question; };
    const Case cases[] = {
        { set (4, 3, entry ("v4")) + set (3, 2, entry ("v3")), newBuild, true, older },
        { set (4, 3, entry ("v4")) + set (3, 2, entry ("v3")), oldBuild, true, newer },
        { set (5, 2, entry ("v4")), newBuild, true, newer },                        // presets newer, setups older
        { set (4, 3, entry ("v4")) + set (3, 2, group ("G", entry ("gone"))), newBuild, false, {} },   // only missing files
        { set (4, 3, entry ("v4")), newBuild, false, {} },
    };

    for (const auto& c : cases)
    {
        writeIndex (c.sets);
        juce::String question = "stale";
        EXPECT_EQ (makeManager (c.build).checkBackupFormats (question), c.asks) << c.sets;
        EXPECT_EQ (question, c.question) << c.sets;
    }

    // Missing version attributes read as -1, older than any.
    writeIndex ("<set><group>" + entry ("v4") + "</group></set>");
    juce::String question;
    EXPECT_TRUE (makeManager (newBuild).checkBackupFormats (question));
    EXPECT_EQ (question, older);
}

TEST_F (BackupIndex, AnIndexThatCannotBeReadGoesAsideAndItsBackupsComeBack)
{
    store ("one", newBuild, "One");
    store ("older", oldBuild, "Older");   // another format: stays on disk, out of the unit's set

    for (const std::string text : { "<BACKUP><set", "<NOTBACKUP nextFileNum=\"2\"/>", "<BACKUP>\xc3\x28</BACKUP>" })
    {
        ASSERT_TRUE (indexFile().replaceWithData (text.data(), text.size()));
        auto& backups = makeManager (newBuild);
        backups.reloadTree();

        const auto damaged = backups.takeDamagedFiles();
        ASSERT_EQ (damaged.size(), 1) << text;
        juce::MemoryBlock kept;
        damaged[0].loadFileAsData (kept);
        EXPECT_EQ (std::string (static_cast<const char*> (kept.getData()), kept.getSize()), text) << "kept aside as it was";
        EXPECT_TRUE (damaged[0].getFileName().endsWith (".damaged"));
        EXPECT_TRUE (backups.takeDamagedFiles().isEmpty()) << "named once";

        EXPECT_EQ (describe (backups.getTree()), "One") << "the unit's backups come back from the folder";
        backups.waitForBackgroundSaves();
        EXPECT_EQ (describeIndexFile(), "4/3{one}") << "and are listed at once";
        EXPECT_FALSE (backups.getNextArchiveFile().isEmpty()) << "a new backup has an index to go to";
    }

    // A folder, a pipe or a huge file in its place the same, and a new backup is written with the new index.
    for (auto kind : OddFiles::allKinds)
    {
        ASSERT_TRUE (OddFiles::put (kind, indexFile()));
        LocalArchiveManager* backups = nullptr;
        OddFiles::expectEndsBounded (kind, indexFile(), [&]
        {
            backups = &makeManager (newBuild);
            backups->reloadTree();
        }, "the backup index");

        const auto damaged = backups->takeDamagedFiles();
        ASSERT_EQ (damaged.size(), 1) << OddFiles::nameOf (kind);
        EXPECT_TRUE (damaged[0].getFileName().startsWith (indexFile().getFileName()) && damaged[0].getFileName().endsWith (".damaged"))
            << damaged[0].getFullPathName();
        EXPECT_EQ (damaged[0].isDirectory(), kind == OddFiles::Kind::folder) << "kept aside as it was";
        EXPECT_EQ (describe (backups->getTree()), "One") << OddFiles::nameOf (kind);

        backups->getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 1 }), "New", "")), nullptr);
        EXPECT_TRUE (saveAndWait (*backups)) << OddFiles::nameOf (kind);
        EXPECT_TRUE (describeIndexFile().startsWith ("4/3{one,Vesper_")) << describeIndexFile();
        const auto written = folder().findChildFiles (juce::File::findFiles, false, "Vesper_0*");
        EXPECT_EQ (written.size(), 2) << "the new backup's two files";

        for (const auto& file : written)
            file.deleteFile();

        damaged[0].deleteRecursively();
    }

    EXPECT_TRUE (folder().getChildFile ("older.mwd").existsAsFile() && folder().getChildFile ("older.xml").existsAsFile());

    // A folder that cannot be looked into is named and nothing is written over it (the page's
    // tests try each kind); a backup made meanwhile is told unsaved (once, it was dropped in
    // silence) and saved with those stored once the folder is back.
    writeIndex (set (4, 3, entry ("one")));
    ASSERT_TRUE (OddFiles::hide (folder(), true));
    auto& backups = makeManager (newBuild);
    bool told = false;
    backups.setSaveListener ([&] { told = true; });
    backups.reloadTree();
    EXPECT_EQ (backups.takeUnreadableFiles(), juce::Array<juce::File> { folder() });

    backups.getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 1 }), "New", "")), nullptr);
    backups.saveBackupIndexInBackground();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return told; }, 30000));
    EXPECT_TRUE (backups.getUnsaved().backups == juce::StringArray ("New") && backups.getUnsaved().index);

    ASSERT_TRUE (OddFiles::show (folder(), true));
    EXPECT_TRUE (saveAndWait (backups));
    EXPECT_EQ (describe (backups.getTree()), "New,One");
    EXPECT_TRUE (describeIndexFile().startsWith ("4/3{Vesper_0") && describeIndexFile().endsWith (",one}")) << describeIndexFile();
}

TEST_F (BackupIndex, AnUnreadableBackupGoesAsideAndOneNoIndexListsJoinsTheSet)
{
    store ("one", newBuild, "One");
    const auto broken = store ("broken", newBuild, "Broken");
    ASSERT_TRUE (broken.replaceWithText ("<archive"));
    const auto badData = store ("baddata", newBuild, "Bad data");
    ASSERT_TRUE (badData.withFileExtension ("mwd").replaceWithText ("garbage"));
    store ("Vesper_000007", newBuild, "Killed");   // saved by a run killed before the index was
    ASSERT_TRUE (store ("Vesper_000008", newBuild, "Cut off").deleteFile());   // killed before its archive file was
    const auto half = store ("half", newBuild, "Half");
    ASSERT_TRUE (half.withFileExtension ("mwd").deleteFile());
    ASSERT_TRUE (OddFiles::put (OddFiles::Kind::loop, store ("looped", newBuild, "Looped")));

    // Neither a folder named as a backup nor a name that is no text is taken for one.
    const auto asFolder = store ("asfolder", newBuild, "As folder");
    ASSERT_TRUE (asFolder.deleteFile() && asFolder.createDirectory());
    const auto unnamed = store ("unnamed", newBuild, "Unnamed");
    ASSERT_EQ (::rename (unnamed.getFullPathName().toRawUTF8(), (folder().getFullPathName() + "/").toStdString().append ("\xff\xfe.xml").c_str()), 0);

    writeIndex (set (4, 3, entry ("one") + entry ("broken") + entry ("baddata") + entry ("looped")));

    auto& backups = makeManager (newBuild);
    {
        // Listed by a save that the disk holds: the start does not wait for it.
        SlowDisk disk (juce::StringArray (indexFile().getFileName()));
        const auto answer = disk.postAnswer();
        backups.reloadTree();
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (answer)) << "the start waited for the disk";
    }

    // What no archive file describes comes back too: the data of those cut off, or gone aside.
    const auto shown = describe (backups.getTree());
    EXPECT_TRUE (shown.startsWith ("One,Bad data,Killed,") && shown.endsWith (" (Recovered)") && backups.getTree().getNumChildren() == 7) << shown;
    backups.waitForBackgroundSaves();
    EXPECT_EQ (describeIndexFile(), "4/3{one,baddata,Vesper_000007,Vesper_000008,broken,looped,unnamed}");
    EXPECT_TRUE (SourceTree::getArchive (backups.getTree().getChild (1))->isDataMissing());

    juce::StringArray damaged;
    for (const auto& file : backups.takeDamagedFiles())
        damaged.add (file.getFileName());
    damaged.sort (false);
    EXPECT_EQ (damaged.joinIntoString (","), "broken.xml.damaged,looped.xml.damaged") << "a sound archive file stays, whatever its data file";
    EXPECT_TRUE (half.existsAsFile()) << "half a backup is not adopted, but not removed either";

    auto& again = makeManager (newBuild);
    again.reloadTree();
    EXPECT_EQ (describe (again.getTree()), shown);
    EXPECT_TRUE (again.takeDamagedFiles().isEmpty());
}

TEST_F (BackupIndex, ABackupWhoseDataFileIsMissingStaysListedAndComesBackWithIt)
{
    store ("one", newBuild, "One");
    const auto gone = store ("gone", newBuild, "Gone").withFileExtension ("mwd");
    const auto away = folder().getSiblingFile ("away.mwd");
    ASSERT_TRUE (gone.moveFileTo (away));
    writeIndex (set (4, 3, entry ("one") + entry ("gone")));

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    EXPECT_EQ (describe (backups.getTree()), "One,Gone");
    auto* missing = SourceTree::getArchive (backups.getTree().getChild (1));
    EXPECT_TRUE (missing->isDataMissing());
    EXPECT_EQ (missing->getDeviceData(), nullptr);
    EXPECT_TRUE (backups.takeDamagedFiles().isEmpty());
    EXPECT_TRUE (gone.withFileExtension ("xml").existsAsFile()) << "not renamed";

    EXPECT_TRUE (saveAndWait (backups));
    EXPECT_EQ (describeIndexFile(), "4/3{one,gone}") << "still listed";
    EXPECT_FALSE (missing->retryMissingData());

    // Back while the program runs: it opens; and at the next start.
    ASSERT_TRUE (away.moveFileTo (gone));
    EXPECT_TRUE (missing->retryMissingData());
    EXPECT_FALSE (missing->isDataMissing());
    ASSERT_NE (missing->getDeviceData(), nullptr);
    EXPECT_EQ (missing->getPresetIndices(), (juce::Array<int> { 1, 2 }));

    auto& again = makeManager (newBuild);
    again.reloadTree();
    EXPECT_NE (SourceTree::getDeviceData (again.getTree().getChild (1)), nullptr);
}

TEST_F (BackupIndex, ADeletedBackupStaysDeletedAfterAKillAndAnUndoBringsItBack)
{
    store ("one", newBuild, "One");
    store ("two", newBuild, "Two");
    writeIndex (set (4, 3, entry ("one") + entry ("two")));
    const auto there = [] (const char* name) { return folder().getChildFile (juce::String (name) + ".xml").existsAsFile()
                                                      && folder().getChildFile (juce::String (name) + ".mwd").existsAsFile(); };
    const auto gone = [] (const char* name) { return ! folder().getChildFile (juce::String (name) + ".xml").exists()
                                                     && ! folder().getChildFile (juce::String (name) + ".mwd").exists(); };

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    juce::UndoManager undo;
    auto tree = backups.getTree();
    const auto one = tree.getChild (0), two = tree.getChild (1);

    // Out of the folder at once, before any save.
    tree.removeChild (one, &undo);
    backups.backupsRemoved (one);
    backups.waitForBackgroundSaves();
    EXPECT_TRUE (gone ("one"));
    EXPECT_TRUE (backups.getDeletedFolder().getChildFile ("one.mwd").existsAsFile());

    // While the program runs, an undo brings the files back with the entry, and a redo takes them again.
    undo.undo();
    backups.saveBackupIndexInBackground();
    backups.waitForBackgroundSaves();
    EXPECT_TRUE (there ("one"));
    EXPECT_EQ (describeIndexFile(), "4/3{one,two}");

    // Each move is on the disk (both folders synced, new names first, on the writes thread) before the next and the index that drops it.
    std::mutex syncLock;
    juce::StringArray synced;
    SafeSave::setFolderSync ([&] (const juce::File& f)
    {
        const auto aside = backups.getDeletedFolder();
        const std::lock_guard hold (syncLock);
        synced.add (f.getFileName() + ":" + (aside.getChildFile ("one.xml").existsAsFile() ? "x" : "") + (aside.getChildFile ("one.mwd").existsAsFile() ? "m" : "")
                    + " " + describeIndexFile() + (std::this_thread::get_id() == platform::WriteQueue::getThreadId() ? "" : " elsewhere"));
        return 0;
    });

    undo.redo();
    backups.saveBackupIndexInBackground();
    backups.waitForBackgroundSaves();
    EXPECT_TRUE (gone ("one"));
    EXPECT_EQ (describeIndexFile(), "4/3{two}");
    EXPECT_EQ (synced, juce::StringArray ({ ".deleted:x 4/3{one,two}", "data:x 4/3{one,two}", ".deleted:xm 4/3{one,two}", "data:xm 4/3{one,two}", "data:xm 4/3{two}" }));

    // Another deleted just before a kill, while the index still names it: the
    // index on disk is what the user has, so the start brings that one back,
    // and the one the index dropped is gone for good.
    tree.removeChild (two, &undo);
    backups.backupsRemoved (two);
    backups.waitForBackgroundSaves();
    EXPECT_EQ (describeIndexFile(), "4/3{two}");

    const auto kept = [] (LocalArchiveManager& m) { return m.getDeletedFolder().getChildFile ("two.xml").existsAsFile()
                                                           && m.getDeletedFolder().getChildFile ("two.mwd").existsAsFile(); };
    // A start settles them on the writes thread, the tree left empty until they are; then it is filled, and the page told.
    int filledLater = 0;
    const auto start = [&] (const juce::String& oneAside)
    {
        filledLater = 0;
        { const std::lock_guard hold (syncLock); synced.clear(); }
        auto made = std::make_unique<LocalArchiveManager> (*catalogue, capsAt (newBuild), "", notes);
        made->setTreeListener ([&filledLater] { ++filledLater; });
        made->reloadTree();
        EXPECT_EQ (made->getTree().getNumChildren(), 0);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return filledLater == 1; }, 30000));
        made->waitForBackgroundSaves();
        const std::lock_guard hold (syncLock);
        const auto after = oneAside + " 4/3{two}";
        EXPECT_EQ (synced, juce::StringArray ("data:" + after, ".deleted:" + after, "data:" + after, ".deleted:" + after));
        return made;
    };
    const auto deleteFirst = [] (LocalArchiveManager& m)
    {
        auto shown = m.getTree();
        const auto first = shown.getChild (0);
        shown.removeChild (first, nullptr);
        m.backupsRemoved (first);
    };

    auto started = start ("xm");
    EXPECT_EQ (describe (started->getTree()), "Two");
    EXPECT_FALSE (started->getDeletedFolder().exists()) << "the start empties the deleted backups' folder";
    EXPECT_TRUE (gone ("one") && there ("two"));

    // Deleted again on a full disk, and closed without the index: its files
    // wait aside while the index names it, and the next start brings it back.
    deleteFirst (*started);
    {
        const FileSizeLimit::Scoped full (16);
        EXPECT_FALSE (saveAndWait (*started));
    }
    EXPECT_TRUE (started->getUnsaved().index);
    started.reset();
    EXPECT_EQ (describeIndexFile(), "4/3{two}");
    EXPECT_TRUE (gone ("two"));
    EXPECT_TRUE (kept (backups)) << "nothing went before the index dropped it";

    started = start ("");
    EXPECT_EQ (describe (started->getTree()), "Two");
    EXPECT_TRUE (there ("two"));
    EXPECT_FALSE (started->getDeletedFolder().exists());

    // With room on the disk the index drops it, and then the close lets its files go.
    deleteFirst (*started);
    EXPECT_TRUE (saveAndWait (*started));
    started.reset();
    EXPECT_EQ (describeIndexFile(), "4/3{}");
    EXPECT_TRUE (gone ("two"));
    EXPECT_FALSE (backups.getDeletedFolder().exists());
    SafeSave::setFolderSync ({});
}

TEST_F (BackupIndex, BackupsFollowAMovedOrCopiedHomeAndLeaveTheOtherHomesFilesAlone)
{
    // Backups made in another home, whose index names them by full path:
    // "moved" stands only here now, "copied" here and there, "only" there.
    const auto otherHome = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("belvora-other-home", {});
    const auto there = otherHome.getChildFile ("data");
    ASSERT_TRUE (there.createDirectory());

    for (auto name : { "moved", "copied", "only" })
        ASSERT_TRUE (DeviceDataArchive (*unitData (newBuild, { 1, 2 }), juce::String (name).toUpperCase(), "").save (there.getChildFile (juce::String (name) + ".xml")));

    for (auto ext : { ".xml", ".mwd" })
    {
        ASSERT_TRUE (there.getChildFile (juce::String ("moved") + ext).moveFileTo (folder().getChildFile (juce::String ("moved") + ext)));
        ASSERT_TRUE (there.getChildFile (juce::String ("copied") + ext).copyFileTo (folder().getChildFile (juce::String ("copied") + ext)));
    }

    const auto theirs = [&] (const char* name) { return there.getChildFile (name).loadFileAsString(); };
    const auto copiedThere = theirs ("copied.xml"), onlyThere = theirs ("only.xml");
    writeIndex (set (4, 3, entry (there.getChildFile ("moved.xml")) + entry (there.getChildFile ("copied.xml"))
                           + entry (there.getChildFile ("only.xml"))), 0);

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    auto tree = backups.getTree();
    ASSERT_EQ (describe (tree), "MOVED,COPIED,ONLY");

    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ (SourceTree::getArchive (tree.getChild (i))->getDataFile().getParentDirectory(), folder());
        EXPECT_NE (SourceTree::getDeviceData (tree.getChild (i)), nullptr);
    }

    backups.waitForBackgroundSaves();
    EXPECT_TRUE (indexFile().loadFileAsString().contains (folder().getChildFile ("moved.xml").getFullPathName())) << "the entry is rewritten";
    EXPECT_TRUE (indexFile().loadFileAsString().contains (folder().getChildFile ("copied.xml").getFullPathName()));

    // Deleted and renamed here: the other home's files stay as they were.
    const auto copied = tree.getChild (1), only = tree.getChild (2);
    SourceTree::getArchive (copied)->setTitle ("Renamed");
    SourceTree::getArchive (only)->setTitle ("Renamed too");
    EXPECT_TRUE (saveAndWait (backups));
    tree.removeChild (copied, nullptr);
    backups.backupsRemoved (copied);
    tree.removeChild (only, nullptr);
    backups.backupsRemoved (only);
    EXPECT_TRUE (saveAndWait (backups));
    makeManager (newBuild);

    EXPECT_EQ (theirs ("copied.xml"), copiedThere);
    EXPECT_EQ (theirs ("only.xml"), onlyThere);
    EXPECT_TRUE (there.getChildFile ("copied.mwd").existsAsFile() && there.getChildFile ("only.mwd").existsAsFile());
    EXPECT_FALSE (folder().getChildFile ("copied.xml").exists()) << "this home's copy is deleted";
    otherHome.deleteRecursively();
}

TEST_F (BackupIndex, AProductWithoutAUsableNameHasNoBackups)
{
    auto caps = capsAt (newBuild);
    caps.productId = 0x55;   // not in the catalogue
    LocalArchiveManager unknown (*catalogue, caps, "", notes);

    EXPECT_EQ (unknown.getIndexFile(), juce::File());
    EXPECT_EQ (unknown.copyIndex(), nullptr);
    EXPECT_TRUE (unknown.getNextArchiveFile().isEmpty());
    EXPECT_FALSE (saveAndWait (unknown));
}

TEST_F (BackupIndex, ABackupThatCannotBeSavedIsReportedAndStaysModified)
{
    store ("one", newBuild, "One", { 1 });
    writeIndex (set (4, 3, entry ("one")));
    const auto oldData = folder().getChildFile ("one.mwd").loadFileAsString();
    const auto oldXml = folder().getChildFile ("one.xml").loadFileAsString();

    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    const auto node = backups.getTree().getChild (0);
    auto* working = SourceTree::getDeviceData (node);
    for (int slot = 2; slot < 20; ++slot)
        working->copyPresetTo (slot, 1, *working);
    ASSERT_TRUE (SourceTree::getDataSet (node)->isModified());

    // The disk has room for the index, not for the grown backup.
    {
        const FileSizeLimit::Scoped full ((rlim_t) oldData.length() + 1024);
        EXPECT_FALSE (saveAndWait (backups));
    }

    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return SourceTree::getArchive (node)->isModified(); }))
        << "the backup still waits to be saved";
    EXPECT_EQ (folder().getChildFile ("one.mwd").loadFileAsString(), oldData);
    EXPECT_EQ (folder().getChildFile ("one.xml").loadFileAsString(), oldXml);
    EXPECT_EQ (describeIndexFile(), "4/3{one}") << "the stored version stays listed";

    // A folder that cannot be written (here: a file in its place) is reported too.
    ASSERT_TRUE (folder().deleteRecursively());
    ASSERT_TRUE (folder().replaceWithText ("in the way"));
    auto& blocked = makeManager (newBuild);
    blocked.reloadTree();
    blocked.getTree().appendChild (SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 1 }), "New", "")), nullptr);
    EXPECT_FALSE (saveAndWait (blocked));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return SourceTree::getArchive (blocked.getTree().getChild (0))->isModified(); }));
}

TEST_F (BackupIndex, BackgroundSavesWriteWhatTheTreeHeldAndMarkWhatFailedForTheNextSave)
{
    writeIndex (set (4, 3, {}));
    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 1 }), "New", ""));
    backups.getTree().appendChild (node, nullptr);
    auto* archive = SourceTree::getArchive (node);

    backups.saveBackupIndexInBackground();
    backups.getTree().removeChild (node, nullptr);   // changes after the hand-over are the next save's
    backups.waitForBackgroundSaves();

    EXPECT_EQ (describeIndexFile(), "4/3{Vesper_000003}");
    EXPECT_FALSE (archive->isModified());
    const auto written = juce::XmlDocument::parse (folder().getChildFile ("Vesper_000003.xml"));
    ASSERT_NE (written, nullptr);
    EXPECT_EQ (written->getChildElementAllSubText ("uuid", {}), archive->getUuid().toString()) << "the same backup, not a copy of it";
    EXPECT_NE (DeviceData::loadFromFile (folder().getChildFile ("Vesper_000003.mwd")), nullptr);

    // A write that fails leaves the backup modified, so the next save tries again.
    backups.getTree().appendChild (node, nullptr);
    archive->setTitle ("Renamed");
    ASSERT_TRUE (folder().deleteRecursively());
    ASSERT_TRUE (folder().replaceWithText ("in the way"));
    backups.saveBackupIndexInBackground();
    EXPECT_FALSE (archive->isModified()) << "taken as written until the write says otherwise";
    backups.waitForBackgroundSaves();
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return archive->isModified(); }, 10000));

    // A save right after a failed write, before the message loop ran (a close), writes the backup.
    backups.saveBackupIndexInBackground();
    backups.waitForBackgroundSaves();
    ASSERT_TRUE (folder().deleteFile() && folder().createDirectory());
    EXPECT_TRUE (saveAndWait (backups));
    EXPECT_FALSE (archive->isModified());
    EXPECT_TRUE (folder().getChildFile ("Vesper_000003.xml").loadFileAsString().contains ("Renamed"));
}

// A full disk during a backup: the index never names a backup whose files are
// not there, no half-written pair stays behind, the failure is told, and the
// next save once space returns writes it all.
TEST_F (BackupIndex, AFullDiskLeavesNoEntryAndNoStrayFileAndTheNextSaveWritesIt)
{
    writeIndex (set (4, 3, {}));
    auto& backups = makeManager (newBuild);
    backups.reloadTree();
    int told = 0;
    backups.setSaveListener ([&told] { ++told; });

    const auto addNew = [&] (const juce::String& title)
    {
        // A long description makes the archive file the larger of the two.
        const auto description = juce::String::repeatedString ("Sung at dawn. ", 300);
        auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*unitData (newBuild, { 1, 2, 3 }), title, description));
        backups.getTree().appendChild (node, nullptr);
        return SourceTree::getArchive (node);
    };

    // Room for the data file, not for the archive file that names it.
    const auto probe = folder().getChildFile ("probe.xml");
    ASSERT_TRUE (DeviceDataArchive (*addNew ("Probe")).save (probe));
    const auto mwdSize = probe.withFileExtension ("mwd").getSize(), xmlSize = probe.getSize();
    ASSERT_LT (mwdSize + 512, xmlSize);
    ASSERT_TRUE (probe.deleteFile() && probe.withFileExtension ("mwd").deleteFile());
    backups.getTree().removeAllChildren (nullptr);
    const auto room = (rlim_t) (mwdSize + xmlSize) / 2;
    const auto strayFiles = [] { return folder().findChildFiles (juce::File::findFiles, false, "Vesper_0*").size(); };

    auto* made = addNew ("Made In The Background");
    {
        const FileSizeLimit::Scoped full (room);
        backups.saveBackupIndexInBackground();
        backups.waitForBackgroundSaves();
    }

    EXPECT_EQ (describeIndexFile(), "4/3{}");
    EXPECT_EQ (strayFiles(), 0);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return told > 0 && made->isModified(); }, 10000));
    EXPECT_EQ (backups.getUnsaved().backups, juce::StringArray ("Made In The Background"));
    EXPECT_FALSE (backups.getUnsaved().index);
    EXPECT_EQ (SaveFailure::describe (backups.getUnsaved().error), "no room on the drive");

    // The same on a save at close.
    addNew ("Made At Close");
    {
        const FileSizeLimit::Scoped full (room);
        EXPECT_FALSE (saveAndWait (backups));
    }

    EXPECT_EQ (describeIndexFile(), "4/3{}");
    EXPECT_EQ (strayFiles(), 0);
    EXPECT_EQ (backups.getUnsaved().backups, juce::StringArray ({ "Made In The Background", "Made At Close" }));

    // Space returns: the next change writes both, and nothing is missing any more.
    backups.saveBackupIndexInBackground();
    backups.waitForBackgroundSaves();
    EXPECT_EQ (describeIndexFile(), "4/3{Vesper_000003,Vesper_000004}");
    EXPECT_EQ (strayFiles(), 4);
    EXPECT_TRUE (backups.getUnsaved().isEmpty());

    // An index that cannot be written is told too, and so is its next success.
    ASSERT_TRUE (indexFile().deleteFile() && indexFile().createDirectory());
    made->setTitle ("Renamed");
    backups.saveBackupIndexInBackground();
    backups.waitForBackgroundSaves();
    EXPECT_TRUE (backups.getUnsaved().index);
    EXPECT_TRUE (backups.getUnsaved().backups.isEmpty()) << "the renamed backup itself was written";
    ASSERT_TRUE (indexFile().deleteRecursively());
    EXPECT_TRUE (saveAndWait (backups));
    EXPECT_TRUE (backups.getUnsaved().isEmpty());
}
