#include "ModelFixtures.h"

#include "model/SafeSave.h"
#include "model/SaveFailure.h"
#include "support/FileSizeLimit.h"
#include "support/OddFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace ModelFixtures;

namespace
{
    juce::StringArray fileNamesIn (const juce::File& folder)
    {
        juce::StringArray names;

        for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false))
            names.add (f.getFileName());

        names.sort (false);
        return names;
    }

    SafeSave::Writer bytesOfValue (int count, char value)
    {
        return [count, value] (juce::OutputStream& out) { return out.writeRepeatedByte ((juce::uint8) value, (size_t) count); };
    }
}

TEST (SafeSave, ReplacesTheFileAndLeavesNothingElse)
{
    const auto folder = freshFolder ("safesave-ok");
    const auto target = folder.getChildFile ("list.xml");
    target.replaceWithText ("old");

    EXPECT_TRUE (SafeSave::replaceFile (target, bytesOfValue (5000, 'n')));
    EXPECT_EQ (target.getSize(), 5000);
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml"));

    // The folder is synced once the file is renamed into it (so that the
    // rename lasts); a sync that fails is a failed save, said as the system said it.
    juce::StringArray synced;
    int syncError = 0;
    SafeSave::setFolderSync ([&] (const juce::File& f) { synced.add (f.getFileName() + ":" + target.loadFileAsString()); return syncError; });
    EXPECT_TRUE (SafeSave::replaceFile (target, bytesOfValue (3, 'm')));
    syncError = EIO;
    EXPECT_FALSE (SafeSave::replaceFile (target, bytesOfValue (2, 's')));
    SafeSave::setFolderSync ({});
    EXPECT_EQ (synced, juce::StringArray ({ "safesave-ok:mmm", "safesave-ok:ss" }));
    EXPECT_EQ (SaveFailure::describe (SafeSave::lastError()), "an I/O error");
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml"));

    // Saves of one file from several threads at once each succeed, and from
    // the first on the file is always there and whole: a rename, never a
    // delete before it, and never a temporary file shared by two saves.
    for (int round = 0; round < 50; ++round)
    {
        ASSERT_TRUE (target.deleteFile());
        std::atomic<int> faults { 0 };
        std::atomic<bool> saving { true };
        std::thread reader ([&]
        {
            for (bool seen = false; saving; seen = seen || target.exists())
                faults += seen && target.getSize() != 3000 ? 1 : 0;
        });
        std::vector<std::thread> savers;

        for (char value = 'a'; value < 'i'; ++value)
            savers.emplace_back ([&, value] { for (int i = 0; i < 10; ++i) faults += SafeSave::replaceFile (target, bytesOfValue (3000, value)) ? 0 : 1; });

        for (auto& saver : savers)
            saver.join();

        saving = false;
        reader.join();
        EXPECT_EQ (faults.load(), 0);
        EXPECT_TRUE (target.loadFileAsString().containsOnly (target.loadFileAsString().substring (0, 1)));
    }

    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml"));
}

TEST (SafeSave, FailedSavesKeepTheOldFile)
{
    const auto folder = freshFolder ("safesave-fail");
    const auto target = folder.getChildFile ("list.xml");
    target.replaceWithText ("old");

    // The writer gives up half-way.
    EXPECT_FALSE (SafeSave::replaceFile (target, [] (juce::OutputStream& out) { out.writeString ("half"); return false; }));
    EXPECT_EQ (target.loadFileAsString(), "old");
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml"));

    // No folder, or a folder in the way.
    EXPECT_FALSE (SafeSave::replaceFile (folder.getChildFile ("missing").getChildFile ("a.xml"), bytesOfValue (1, 'x')));
    EXPECT_FALSE (SafeSave::replaceFile (folder, bytesOfValue (1, 'x')));
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml"));

    // A kept copy lasts, or it is none and says why.
    SafeSave::setFolderSync ([] (const juce::File&) { return EIO; });
    EXPECT_EQ (SafeSave::keepCopy (target, folder.getChildFile ("kept.xml"), 100), juce::File());
    EXPECT_EQ (SafeSave::lastError(), EIO);
    SafeSave::setFolderSync ({});
    EXPECT_EQ (SafeSave::keepCopy (target, folder.getChildFile ("kept.xml"), 100), folder.getChildFile ("kept.xml")) << "taken once it lasts";

    // A failure is told with advice for its cause, never another's.
    const auto told = [] (std::initializer_list<int> errors) { return SaveFailure::describeFailure ("Not saved", errors, "Unknown."); };
    EXPECT_EQ (told ({ EIO }), "Not saved (the system said: an I/O error). Please make sure the drive is connected and works: it may be failing.");
    EXPECT_EQ (told ({ ENAMETOOLONG }), "Not saved (the system said: a name too long for the drive). Please use a shorter name, or a folder with a shorter path.");
    EXPECT_EQ (told ({ EROFS }), "Not saved (the system said: the drive is read-only). "
                                 "Please make sure the drive can be written to: it may be write-protected or mounted read-only.");
    EXPECT_EQ (told ({ ENOSPC, EACCES, EDQUOT }), "Not saved (the system said: no room on the drive; no permission). "
                                                  "Please make sure the drive is not full. Please make sure the folder can be written to.");
    EXPECT_EQ (told ({ 0 }), "Not saved. Unknown.");
    EXPECT_EQ (SaveFailure::remedyText ({ EROFS, EFBIG }, {}), "Make the drive writable and free some space on the drive");
}

TEST (SafeSave, ShortWritesAtAFileSizeLimitAreFailures)
{
    const auto folder = freshFolder ("safesave-limit");
    const auto target = folder.getChildFile ("list.xml");
    target.replaceWithText ("old");

    // One buffer's worth, written short at close, and a stream written past the limit.
    for (auto size : { 328, 100000 })
    {
        EXPECT_EQ (FileSizeLimit::inChild (100, [&] { return SafeSave::replaceFile (target, bytesOfValue (size, 'n')) ? 0 : SafeSave::lastError(); }), EFBIG) << size;
        EXPECT_EQ (target.loadFileAsString(), "old") << size;
        EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("list.xml")) << size;
    }

    // Up to the limit is no failure.
    EXPECT_EQ (FileSizeLimit::inChild (100, [&] { return SafeSave::replaceFile (target, bytesOfValue (100, 'n')) ? 0 : 1; }), 0);
    EXPECT_EQ (target.getSize(), 100);
}

TEST (DeviceDataFile, SaveThatRunsOutOfRoomKeepsTheOldFile)
{
    // A save that could write only the first 100 bytes once replaced the working
    // file with them and reported success.
    const auto caps = smallCaps();
    const auto folder = freshFolder ("fullDisk");
    auto data = makeData (caps, { 1 });
    ASSERT_EQ (data->saveWorkingFile (folder, true), DeviceData::saved);
    const auto working = folder.getChildFile ("working.mwd");
    juce::MemoryBlock before;
    ASSERT_TRUE (working.loadFileAsData (before));
    ASSERT_GT (before.getSize(), 100u);

    data->setPreset (4, makePreset (caps, 4, "New", 3));
    EXPECT_EQ (FileSizeLimit::inChild (100, [&] { return (int) data->saveWorkingFile (folder, true); }), DeviceData::writeFailed);
    EXPECT_EQ (FileSizeLimit::inChild (100, [&] { return (int) data->saveToFile (working); }), DeviceData::writeFailed);

    juce::MemoryBlock after;
    ASSERT_TRUE (working.loadFileAsData (after));
    EXPECT_EQ (after, before);
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("working.mwd"));
    EXPECT_EQ (DeviceData::loadFromFile (working)->getUsedPresetIndices(), (juce::Array<int> { 1 }));

    // With room, the same save goes through.
    EXPECT_EQ (FileSizeLimit::inChild (1 << 20, [&] { return (int) data->saveWorkingFile (folder, true); }), DeviceData::saved);
    EXPECT_EQ (DeviceData::loadFromFile (working)->getUsedPresetIndices(), (juce::Array<int> { 1, 4 }));
}

TEST (SysExFile, AppendedExportThatRunsOutOfRoomLeavesTheFileAsItWas)
{
    // Appending wrote straight into the old file: a cut-off write left half a
    // preset behind the others and still counted as done.
    const auto folder = freshFolder ("appendFull");
    const auto file = folder.getChildFile ("out.syx");
    auto data = makeData (smallCaps(), { 3, 7 });
    ASSERT_TRUE (data->exportPresets (file, { 3 }));
    const auto before = file.getSize();

    const auto limit = (rlim_t) before + 10;
    EXPECT_EQ (FileSizeLimit::inChild (limit, [&] { return data->exportPreset (file, 7, true) ? 0 : 1; }), 1);
    EXPECT_EQ (file.getSize(), before);
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("out.syx"));

    // The other exports replace the file the same way.
    EXPECT_EQ (FileSizeLimit::inChild (10, [&] { return data->exportSetup (file) ? 0 : 1; }), 1);
    EXPECT_EQ (FileSizeLimit::inChild (10, [&] { return data->saveFactoryBank (file) ? 0 : 1; }), 1);
    EXPECT_EQ (file.getSize(), before);
    EXPECT_EQ (fileNamesIn (folder), juce::StringArray ("out.syx"));
}

// Files kept elsewhere through links (as dotfile managers do): each save replaces what the
// link leads to, from beside it, and the link stays; relative links, chains and links to
// nothing alike. A folder that refuses the file refuses the save.
TEST (SafeSave, ALinkStaysALinkAndWhatItLeadsToIsReplaced)
{
    const auto here = freshFolder ("safesave-links"), elsewhere = freshFolder ("safesave-targets");
    const auto link = [&] (const juce::String& name, const juce::String& to)
    {
        return ::symlink (to.toRawUTF8(), here.getChildFile (name).getFullPathName().toRawUTF8()) == 0;
    };
    ASSERT_TRUE (elsewhere.getChildFile ("index.xml").replaceWithText ("old") && elsewhere.getChildFile ("settings").replaceWithText ("old"));
    ASSERT_TRUE (link ("index.xml", "../safesave-targets/index.xml") && link ("settings", elsewhere.getChildFile ("settings").getFullPathName())
                 && link ("chain", "settings") && link ("dangling", "../safesave-targets/new"));

    for (const auto& name : { "index.xml", "settings", "chain", "dangling" })
        EXPECT_TRUE (SafeSave::replaceFile (here.getChildFile (name), bytesOfValue (3, name[0]))) << name;

    EXPECT_EQ (elsewhere.getChildFile ("index.xml").loadFileAsString(), "iii");
    EXPECT_EQ (elsewhere.getChildFile ("settings").loadFileAsString(), "ccc") << "the chain's save came last";
    EXPECT_EQ (elsewhere.getChildFile ("new").loadFileAsString(), "ddd");
    EXPECT_EQ (fileNamesIn (elsewhere), juce::StringArray ({ "index.xml", "new", "settings" }));

    const auto unit = here.getChildFile ("unit");
    ASSERT_TRUE (unit.createDirectory() && ::symlink ("../../safesave-targets/work.mwd", unit.getChildFile ("working.mwd").getFullPathName().toRawUTF8()) == 0);
    ASSERT_EQ (makeData (smallCaps(), { 1, 2 })->saveWorkingFile (unit, true), DeviceData::saved);
    EXPECT_EQ (DeviceData::loadFromFile (elsewhere.getChildFile ("work.mwd"))->getUsedPresetIndices(), (juce::Array<int> { 1, 2 }));

    for (const auto& name : { "index.xml", "settings", "chain", "dangling", "unit/working.mwd" })
        EXPECT_TRUE (here.getChildFile (name).isSymbolicLink()) << name;

    // What a killed save left beside the target goes; the temporary of a save under way stays.
    ASSERT_TRUE (elsewhere.getChildFile ("index_temp1f.xml").replaceWithText ("left"));
    juce::Array<juce::File> removedMeanwhile;
    SafeSave::setBeforeReplace ([&] (const juce::File& target) { removedMeanwhile = SafeSave::removeTemporariesOf ({ target }); });
    EXPECT_TRUE (SafeSave::replaceFile (here.getChildFile ("index.xml"), bytesOfValue (3, 'j')));
    SafeSave::setBeforeReplace ({});
    EXPECT_EQ (removedMeanwhile, juce::Array<juce::File> { elsewhere.getChildFile ("index_temp1f.xml") });

    EXPECT_EQ (fileNamesIn (unit), juce::StringArray ("working.mwd"));
    EXPECT_EQ (fileNamesIn (elsewhere), juce::StringArray ({ "index.xml", "new", "settings", "work.mwd" }));

    // Where the target's folder cannot take a new file (no permission, or no
    // room in a name for the temporary file's), the save fails and the link stays.
    const auto longName = juce::String::repeatedString ("n", 250);
    ASSERT_TRUE (elsewhere.getChildFile (longName).create() && link ("long", "../safesave-targets/" + longName));
    EXPECT_FALSE (SafeSave::replaceFile (here.getChildFile ("long"), bytesOfValue (3, 'x')));
    EXPECT_EQ (SafeSave::lastError(), ENAMETOOLONG);

    OddFiles::WithoutPrivilege user (TestEnvironment::getHome(), true);

    if (user.active && ::chmod (elsewhere.getFullPathName().toRawUTF8(), 0555) == 0)
    {
        EXPECT_FALSE (SafeSave::replaceFile (here.getChildFile ("settings"), bytesOfValue (3, 'x')));
        EXPECT_EQ (SaveFailure::describe (SafeSave::lastError()), "no permission");
        ::chmod (elsewhere.getFullPathName().toRawUTF8(), 0755);
    }

    for (const auto& name : { "long", "settings" })
        EXPECT_TRUE (here.getChildFile (name).isSymbolicLink()) << name;

    EXPECT_EQ (elsewhere.getChildFile ("settings").loadFileAsString(), "ccc");
}
