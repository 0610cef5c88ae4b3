#include "packs/PackFixture.h"

#include "archive/PackFiles.h"
#include "platform/Clock.h"
#include "platform/Event.h"

#include <unistd.h>

namespace
{
    /** Downloads a pack on a thread of its own, as the download thread does. */
    struct PackDownload : public juce::Thread
    {
        explicit PackDownload (ContentManager& c) : juce::Thread ("test pack download"), content (c) {}
        ~PackDownload() override { stopThread (-1); }

        void run() override
        {
            succeeded = content.downloadPresetPack (0x12, this);
            done.set();
        }

        ContentManager& content;
        std::atomic<bool> succeeded { false };
        platform::Event done { true };
    };
}

class HostilePacks : public PackFixture
{
protected:
    /** A backup of the user's at the place the hostile links aim at, in an
        older format, so a pack that reached it would convert and rewrite it. */
    juce::File storeUsersBackup() const
    {
        return store ("Vesper_000000", oldBuild, "Mine");
    }
};

TEST_F (HostilePacks, LinksOutOfThePackAreRefusedWithNothingOutsideReadWrittenOrAsked)
{
    storeUsersBackup();
    const auto backups = fingerprint (folder());
    const auto picture = productFolder ("Vesper").getChildFile ("vesper.png");
    ASSERT_TRUE (picture.existsAsFile());

    ASSERT_TRUE (downloadPack (servedZip (hostile ("links.zip"))));
    const auto pack = fingerprint (packs());
    server.clearRequests();

    loadCloud (newBuild);

    // Each archive whose data is a backup (absolute, through "~", up through
    // ".."), on a drive, a share or the web is left out. One whose picture lies
    // outside the pack stays, with the default picture, and nothing is fetched.
    juce::Array<juce::ValueTree> nodes;
    SourceTree::collectNodes (cloud->getTree(), nodes);
    juce::StringArray titles;

    for (const auto& node : nodes)
        titles.add (node[SourceTreeIds::label].toString());

    titles.sort (false);   // in the order the file system lists them
    EXPECT_EQ (titles, (juce::StringArray { "Absolute picture", "Climbing picture", "Fine", "Web picture" }));
    EXPECT_TRUE (server.getRequests().empty()) << "no archive made Belvora ask a server";

    const auto defaultPicture = DeviceDataArchive (*unitData (newBuild, { 1 }), "Default", {}).getImage();

    for (auto title : { "Absolute picture", "Climbing picture", "Web picture" })
    {
        const auto* archive = SourceTree::getArchive (findNode (title));
        ASSERT_NE (archive, nullptr) << title;
        EXPECT_TRUE (archive->getImage().isDrawing()) << title;
        EXPECT_EQ (archive->getImage().svgData, defaultPicture.svgData) << title;
        EXPECT_FALSE (archive->getImage().image.isValid()) << title;
    }

    EXPECT_EQ (fingerprint (folder()), backups);
    EXPECT_EQ (fingerprint (packs()), pack);
    EXPECT_TRUE (catalogue->isPresetPackCurrent (vesper));
}

TEST_F (HostilePacks, PackLinksStayInsideThePackFolder)
{
    const auto root = packs();
    const auto starter = root.getChildFile ("Starter");

    for (auto link : { "starter.mwd", "Live/live_vox.mwd", "Live\\live_vox.mwd" })
        EXPECT_EQ (PackFiles::resolve (link, starter, root), starter.getChildFile (juce::String (link).replaceCharacter ('\\', '/'))) << link;

    for (auto link : { "", "..", "../Studio/Deep/deep_room.mwd", "Live/../starter.mwd", "./starter.mwd",
                       "/etc/passwd", "~/x.mwd", "C:\\x.mwd", "C:x.mwd", "\\\\server\\share\\x.mwd",
                       "http://127.0.0.1/x.mwd", "file:///etc/passwd" })
        EXPECT_EQ (PackFiles::resolve (link, starter, root), juce::File()) << link;

    // Nor through a link on disk that leads out.
    ASSERT_EQ (symlink (BelvoraPaths::getBackupDataFolder ("Vesper").toRawUTF8(), starter.getChildFile ("escape").getFullPathName().toRawUTF8()), 0);
    EXPECT_EQ (PackFiles::resolve ("escape/x.mwd", starter, root), juce::File());
    EXPECT_EQ (describe (loadCloud (newBuild).getTree()), "Starter[Live[Live Vox],Vesper Starter],Studio[Deep[Deep Room]],Welcome")
        << "a link on disk is not followed into another folder";
}

TEST_F (HostilePacks, ZipsThatWouldWriteOutsideOrExplodeLeaveTheCloudAsItWas)
{
    loadCloud (newBuild);
    const auto tree = describeCloud();
    const auto pack = fingerprint (packs());
    const juce::File absolute ("/tmp/belvora-absolute.txt");
    absolute.deleteFile();

    for (auto name : { "gigabyte.zip", "ratio_bomb.zip", "liar.zip", "slip.zip", "absolute.zip" })
    {
        juce::MemoryBlock zip;
        ASSERT_TRUE (hostile (name).loadFileAsData (zip));
        EXPECT_FALSE (downloadPack (zip)) << name;

        EXPECT_FALSE (absolute.exists()) << name;
        EXPECT_FALSE (productFolder ("Vesper").getChildFile ("outside.txt").exists()) << name;
        EXPECT_FALSE (dataFolder().getChildFile ("outside.txt").exists()) << name;
        EXPECT_EQ (fingerprint (packs()), pack) << name;

        loadCloud (newBuild);
        EXPECT_EQ (describeCloud(), tree) << name;
    }
}

TEST_F (HostilePacks, ADownloadWaitsForTheCloudTreeAndSwapsItsPackInAfterwards)
{
    // The Cloud tree holds "packs" while its conversion runs, here for as long as the test likes.
    makeScriptHangOn ("Live");
    cloud = std::make_unique<CloudArchiveManager> (*catalogue, capsAt (newBuild), versionOf (newBuild));
    const auto progress = cloud->getProgress();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&progress] { return progress->getStatus() == "Converting: Live Vox"; }, 30000));

    const auto zip = servedZip (hostile ("links.zip"));
    LocalServer::Answer answer;
    answer.body.assign (static_cast<const char*> (zip.getData()), zip.getSize());
    server.setAnswer ("/Belvora2/Vesper/packs/vesper_presets.zip", answer);

    PackDownload download (*catalogue);
    download.startThread();

    // Fetched and unpacked beside "packs", it waits to be swapped in.
    const auto staged = productFolder ("Vesper").getChildFile ("packs.download/.presetsKey");
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return staged.existsAsFile() || download.done.isSet(); }, 30000));
    EXPECT_FALSE (download.done.wait (platform::Clock::scaled (300)));
    EXPECT_TRUE (packs().getChildFile ("Starter/Live/live_vox.xml").existsAsFile());
    EXPECT_FALSE (packs().getChildFile ("Links").exists());

    // Once the tree lets go, the new pack comes in.
    cloud.reset();
    ASSERT_TRUE (download.done.wait (30000));
    EXPECT_TRUE (download.succeeded.load());
    EXPECT_TRUE (packs().getChildFile ("Links/fine.xml").existsAsFile());
    EXPECT_FALSE (packs().getChildFile ("Starter").exists());
}
