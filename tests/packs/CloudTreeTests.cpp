#include "packs/PackFixture.h"

#include "support/FileSizeLimit.h"

namespace
{
    /** Records the children added below a tree, and whether each came on the message thread. */
    struct AddedChildren : public juce::ValueTree::Listener
    {
        void valueTreeChildAdded (juce::ValueTree&, juce::ValueTree& child) override
        {
            labels.add (child[SourceTreeIds::label].toString());
            allOnMessageThread = allOnMessageThread && juce::MessageManager::existsAndIsCurrentThread();
        }

        juce::StringArray labels;
        bool allOnMessageThread = true;
    };

    juce::String uuidOf (const juce::File& archiveFile)
    {
        const auto xml = juce::XmlDocument::parse (archiveFile);
        return xml != nullptr ? xml->getChildElementAllSubText ("uuid", {}) : juce::String();
    }

    int storedPresetVersionOf (const juce::File& dataFile)
    {
        const auto data = DeviceData::loadFromFile (dataFile);
        return data != nullptr ? data->getCapsBlock().presetVersion : -1;
    }
}

class CloudTree : public PackFixture
{
};

TEST_F (CloudTree, FoldersBecomeGroupsWithTheirArchivesAndArriveThroughTheTreesListeners)
{
    cloud = std::make_unique<CloudArchiveManager> (*catalogue, capsAt (newBuild), versionOf (newBuild));
    auto category = cloud->getTree();
    AddedChildren added;
    category.addListener (&added);

    EXPECT_TRUE (cloud->isLoading());
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([this] { return ! cloud->isLoading(); }, 60000));

    // A group per folder, nested as the folders are; a file directly in "packs" sits in the category.
    EXPECT_EQ (describeCloud(), "Starter[Live[Live Vox],Vesper Starter],Studio[Deep[Deep Room]],Welcome");
    EXPECT_EQ (cloud->getTree(), category) << "the node the page holds is the one that fills";
    EXPECT_EQ (category[SourceTreeIds::categoryProp].toString(), "cloud");
    EXPECT_EQ (added.labels.joinIntoString (","), "Starter,Studio,Welcome");
    EXPECT_TRUE (added.allOnMessageThread);
    category.removeListener (&added);

    EXPECT_TRUE (cloud->getProgress()->isFinished());
    EXPECT_EQ (cloud->getProgress()->getProgress(), 1.0);

    // Pictures: the program's own by name, or a file beside the archive.
    const auto* starter = SourceTree::getArchive (findNode ("Vesper Starter"));
    const auto* deep = SourceTree::getArchive (findNode ("Deep Room"));
    ASSERT_NE (starter, nullptr);
    ASSERT_NE (deep, nullptr);
    EXPECT_EQ (starter->getLinkImage(), "*archive_icon_star");
    EXPECT_FALSE (starter->getImage().isEmpty());
    EXPECT_EQ (deep->getImage().image.getWidth(), 8);
    EXPECT_EQ (starter->getPresetNames().joinIntoString (","), "Bright Lead,Warm Double,Octaver");
    EXPECT_EQ (SourceTree::getDeviceData (findNode ("Vesper Starter"))->getNumPresets(), 3);
}

TEST_F (CloudTree, OlderArchivesAreConvertedAtLoadAndFoundReadyTheNextTime)
{
    const auto liveFile = packs().getChildFile ("Starter/Live/live_vox.xml");
    const auto before = uuidOf (liveFile);
    const auto untouched = fingerprint (packs().getChildFile ("Studio"));

    loadCloud (newBuild);

    const auto* live = SourceTree::getArchive (findNode ("Live Vox"));
    ASSERT_NE (live, nullptr);
    EXPECT_EQ (live->getCapsBlock().presetVersion, 4);
    EXPECT_EQ (live->getBuildNo(), newBuild);

    // The conversion scripts ran: format 4 starts the new mix value at 100.
    const auto values = live->getDeviceData()->getPreset (1)->getStepValues (0);
    ASSERT_EQ (values.size(), 16);
    EXPECT_EQ (values[14], 100);

    // Rewritten in place, in the unit's format; the archives already in it are left alone.
    EXPECT_EQ (storedPresetVersionOf (packs().getChildFile ("Starter/Live/live_vox.mwd")), 4);
    EXPECT_EQ (storedPresetVersionOf (packs().getChildFile ("welcome.mwd")), 4);
    EXPECT_NE (uuidOf (liveFile), before);
    EXPECT_EQ (fingerprint (packs().getChildFile ("Studio")), untouched);
    EXPECT_TRUE (catalogue->isPresetPackCurrent (vesper));

    // The next load finds them ready: nothing is converted or written again.
    const auto converted = fingerprint (packs());
    loadCloud (newBuild);
    EXPECT_EQ (describeCloud(), "Starter[Live[Live Vox],Vesper Starter],Studio[Deep[Deep Room]],Welcome");
    EXPECT_EQ (fingerprint (packs()), converted);
}

TEST_F (CloudTree, ArchivesThatCannotBeConvertedOrAreAnotherProductsAreLeftOutUntouched)
{
    // Another product's archive in the pack.
    auto quillCaps = capsAt (newBuild);
    quillCaps.productId = (uint8_t) quill;
    DeviceDataArchive other (*ConversionTestData::makeDeviceData (quillCaps, 210, { 1 }), "Other", "");
    ASSERT_TRUE (other.save (packs().getChildFile ("Other/other.xml")));

    const auto before = fingerprint (packs());

    // At build 120 there is no rule from the newer formats back.
    loadCloud (oldBuild);

    EXPECT_EQ (describeCloud(), "Other[],Starter[Live[Live Vox]],Studio[Deep[]],Welcome");
    EXPECT_EQ (fingerprint (packs()), before);
    EXPECT_TRUE (catalogue->isPresetPackCurrent (vesper));
}

TEST_F (CloudTree, AConvertedArchiveThatCannotBeWrittenKeepsItsOldFilesAndThePackComesAgain)
{
    const auto live = packs().getChildFile ("Starter/Live");
    const auto before = fingerprint (live);
    ASSERT_TRUE (catalogue->isPresetPackCurrent (vesper));

    {
        // Room for the archive file, not for the converted data file.
        const FileSizeLimit::Scoped fullDisk (600);
        loadCloud (newBuild);
    }

    EXPECT_EQ (fingerprint (live), before);
    EXPECT_FALSE (catalogue->isPresetPackCurrent (vesper)) << "the next download fetches the pack again";

    // This time it is shown as converted all the same.
    const auto* converted = SourceTree::getArchive (findNode ("Live Vox"));
    ASSERT_NE (converted, nullptr);
    EXPECT_EQ (converted->getCapsBlock().presetVersion, 4);
}

TEST_F (CloudTree, LoadingLeavesTheMessageThreadFreeAndStopsWhenAskedOrWhenTheManagerGoes)
{
    makeScriptHangOn ("Live");
    const auto before = fingerprint (packs());

    cloud = std::make_unique<CloudArchiveManager> (*catalogue, capsAt (newBuild), versionOf (newBuild));
    auto converting = [this] { return cloud->getProgress()->getStatus() == "Converting: Live Vox"; };
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil (converting, 30000));

    bool delivered = false;
    juce::MessageManager::callAsync ([&delivered] { delivered = true; });
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&delivered] { return delivered; }, 10000));
    EXPECT_TRUE (cloud->isLoading());
    EXPECT_EQ (cloud->getTree().getNumChildren(), 0) << "nothing shows before the whole pack is read";

    // Asked to stop, as a progress display would.
    cloud->getProgress()->requestStop();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([this] { return ! cloud->isLoading(); }, 30000));
    EXPECT_EQ (cloud->getTree().getNumChildren(), 0);
    EXPECT_EQ (fingerprint (packs()), before) << "a stopped conversion writes nothing";

    // Going away in the middle of it.
    cloud->loadPacksFolder();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil (converting, 30000));
    const auto category = cloud->getTree();
    const auto progress = cloud->getProgress();
    cloud.reset();

    EXPECT_TRUE (progress->isFinished());
    EXPECT_EQ (category.getNumChildren(), 0);
    EXPECT_EQ (fingerprint (packs()), before);
}

TEST_F (CloudTree, WithoutAUnitOrAPackNothingLoads)
{
    cloud = std::make_unique<CloudArchiveManager> (*catalogue, CapsBlock(), FirmwareVersion());
    EXPECT_FALSE (cloud->isLoading());
    EXPECT_EQ (cloud->getTree().getNumChildren(), 0);

    ASSERT_TRUE (packs().deleteRecursively());
    cloud = std::make_unique<CloudArchiveManager> (*catalogue, capsAt (newBuild), versionOf (newBuild));
    EXPECT_FALSE (cloud->isLoading());
    EXPECT_EQ (cloud->getTree().getNumChildren(), 0);
}

TEST_F (CloudTree, GroupsAreFoundByLabelAndFilesLandInTheDeepestFolderFound)
{
    auto tree = SourceTree::createCloudCategory();
    const auto root = TestEnvironment::getHome().getChildFile ("groups");
    ASSERT_TRUE (root.getChildFile ("A/B").createDirectory());
    ASSERT_TRUE (root.getChildFile ("C").createDirectory());

    CloudArchiveManager::addFolderGroups (tree, root);
    CloudArchiveManager::addFolderGroups (tree, root);   // found again, not made twice
    EXPECT_EQ (describe (tree), "A[B[]],C[]");

    auto label = [&] (const juce::String& path)
    {
        return CloudArchiveManager::getGroupForFile (tree, root, root.getChildFile (path))[SourceTreeIds::label].toString();
    };

    EXPECT_EQ (label ("x.xml"), "Cloud");
    EXPECT_EQ (label ("A/B/x.xml"), "B");
    EXPECT_EQ (label ("A/Z/Y/x.xml"), "A") << "the walk stops at the first folder without a group";
    EXPECT_EQ (label ("C/x.xml"), "C");
}
