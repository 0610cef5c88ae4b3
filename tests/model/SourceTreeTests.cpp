// The source tree and the data sets its nodes hold.

#include "ModelFixtures.h"

#include "model/SourceTree.h"

#include <gtest/gtest.h>

using namespace ModelFixtures;
using namespace SourceTreeIds;

namespace
{
    std::unique_ptr<DeviceDataArchive> backup (const juce::String& title, const juce::Array<int>& slots = { 1, 3 })
    {
        return std::make_unique<DeviceDataArchive> (*makeData (smallCaps(), slots), title, "");
    }

    juce::Array<int> idsBelow (const juce::ValueTree& node)
    {
        juce::Array<int> ids { (int) node.getProperty (id) };
        for (const auto& child : node)
            ids.addArray (idsBelow (child));
        return ids;
    }

    juce::ValueTree child (const juce::Identifier& type, const juce::String& name, const juce::String& sub = {})
    {
        auto n = SourceTree::createNode (type, name);
        if (sub.isNotEmpty())
            n.setProperty (subCategoryProp, sub, nullptr);
        return n;
    }
}

//==============================================================================
TEST (SourceTreeShape, AFreshTreeHasItsCategoriesInOrder)
{
    const auto withoutServer = SourceTree::createRoot ("Vesper", false);
    EXPECT_EQ (withoutServer.getType(), root);
    EXPECT_EQ (withoutServer[label].toString(), "Root Node");
    ASSERT_EQ (withoutServer.getNumChildren(), 2);
    EXPECT_EQ (withoutServer.getChild (0)[categoryProp].toString(), "device");
    EXPECT_EQ (withoutServer.getChild (0)[label].toString(), "Vesper");
    EXPECT_EQ (withoutServer.getChild (1)[categoryProp].toString(), "archive");
    EXPECT_EQ (withoutServer.getChild (1)[label].toString(), "Backups");

    const auto withServer = SourceTree::createRoot ("Vesper", true);
    ASSERT_EQ (withServer.getNumChildren(), 3);
    EXPECT_EQ (withServer.getChild (2)[categoryProp].toString(), "cloud");
    EXPECT_EQ (withServer.getChild (2)[label].toString(), "Cloud");

    // Ids count up from one counter; every node has its own.
    const auto ids = idsBelow (withServer);
    for (int i = 1; i < ids.size(); ++i)
        EXPECT_EQ (ids[i], ids[i - 1] + 1);
    EXPECT_EQ (ids.getLast(), SourceTree::getLastNodeId());

    int data = 0, containers = 0;
    SourceTree::countNodes (withServer, data, containers, false);
    EXPECT_EQ (containers, 3);
    EXPECT_EQ (data, 0);

    data = containers = 0;
    SourceTree::countNodes (withoutServer, data, containers, false);
    EXPECT_EQ (containers, 2);
}

TEST (SourceTreeShape, NodesAreFoundByCategoryAndTellWhereTheyAre)
{
    auto rootNode = SourceTree::createRoot ("Vesper", true);
    auto backups = SourceTree::findNode (rootNode, "archive");
    auto old = child (group, "Old");
    auto direct = SourceTree::addArchiveNode (backup ("Direct"));
    auto inOld = SourceTree::addArchiveNode (backup ("In Old"));
    backups.appendChild (direct, nullptr);
    backups.appendChild (old, nullptr);
    old.appendChild (inOld, nullptr);

    EXPECT_EQ (SourceTree::getDeviceCategoryNode (rootNode), rootNode.getChild (0));
    EXPECT_EQ (SourceTree::findChildWithCategory (rootNode, "cloud"), rootNode.getChild (2));
    EXPECT_FALSE (SourceTree::findNode (rootNode, "nowhere").isValid());

    EXPECT_EQ (SourceTree::getLocationText (rootNode, direct), "Backups");
    EXPECT_EQ (SourceTree::getLocationText (rootNode, inOld), "Backups - Old");
    EXPECT_EQ (SourceTree::getLocationText (rootNode, backups), "");
    EXPECT_EQ (SourceTree::getLocationText (rootNode, SourceTree::createNode (node, "loose")), "");

    EXPECT_EQ (SourceTree::getCategoryOf (inOld).category, juce::var ("archive"));
    EXPECT_TRUE (SourceTree::getCategoryOf (inOld).subCategory.isVoid());
    EXPECT_FALSE (SourceTree::isUserNode (inOld));

    // The cloud's user section, with its upload folder inside.
    auto cloud = SourceTree::findNode (rootNode, "cloud");
    auto user = child (subCategory, "Mine", "user");
    auto upload = child (subCategory, "Upload", "upload-folder");
    auto pending = SourceTree::addArchiveNode (backup ("Pending"));
    auto own = SourceTree::addArchiveNode (backup ("Own"));
    cloud.appendChild (user, nullptr);
    user.appendChild (upload, nullptr);
    user.appendChild (own, nullptr);
    upload.appendChild (pending, nullptr);

    EXPECT_EQ (SourceTree::findNode (rootNode, "cloud", "upload-folder"), upload);
    EXPECT_EQ (SourceTree::findNode (rootNode, "cloud", "user"), user);
    EXPECT_EQ (SourceTree::getCategoryOf (pending).subCategory, juce::var ("upload-folder"));
    EXPECT_EQ (SourceTree::getCategoryOf (own).subCategory, juce::var ("user"));
    EXPECT_FALSE (SourceTree::isUserNode (pending));
    EXPECT_TRUE (SourceTree::isUserNode (own));

    juce::Array<juce::ValueTree> nodes;
    SourceTree::collectNodes (rootNode, nodes);
    SourceTree::collectNodes (backups, nodes);
    EXPECT_EQ (nodes.size(), 4) << "each node once";

    int data = 0, containers = 0;
    SourceTree::countNodes (rootNode, data, containers, true);
    EXPECT_EQ (data, 4);
    EXPECT_EQ (containers, 6);
}

TEST (SourceTreeShape, RenumberingADuplicateGivesNewIdsAndDataSetsOfItsOwn)
{
    auto folder = child (group, "Live");
    auto first = SourceTree::addArchiveNode (backup ("One"));
    auto second = SourceTree::addArchiveNode (backup ("Two"));
    folder.appendChild (first, nullptr);
    folder.appendChild (second, nullptr);
    SourceTree::getDeviceData (first)->getPreset (1)->setModified (true);

    auto duplicate = folder.createCopy();
    ASSERT_EQ (SourceTree::getDataSet (duplicate.getChild (0)), SourceTree::getDataSet (first)) << "a copy shares its sets";

    SourceTree::renumber (duplicate);

    const auto before = idsBelow (folder), after = idsBelow (duplicate);
    ASSERT_EQ (after.size(), 3);
    for (auto newId : after)
        EXPECT_FALSE (before.contains (newId));

    for (int i = 0; i < 2; ++i)
    {
        auto* original = SourceTree::getDataSet (folder.getChild (i));
        auto* copy = SourceTree::getDataSet (duplicate.getChild (i));
        ASSERT_NE (copy, nullptr);
        EXPECT_NE (copy, original);
        EXPECT_NE (copy->getArchive(), original->getArchive());
        EXPECT_NE (copy->getArchive()->getUuid(), original->getArchive()->getUuid());
    }

    // The copied working copy has its flags cleared.
    EXPECT_TRUE (SourceTree::getDeviceData (first)->isModified());
    EXPECT_FALSE (SourceTree::getDeviceData (duplicate.getChild (0))->isModified());
}

//==============================================================================
TEST (DataSets, AUnitsSetComparesItsCopyWithTheSnapshotItWasGiven)
{
    std::shared_ptr<const DeviceData> unit = makeData (smallCaps(), { 1, 3, 7 });
    DataSet set (unit, nullptr);

    ASSERT_TRUE (set.hasWorkingData());
    EXPECT_EQ (set.getDeviceData(), unit.get());
    EXPECT_NE (set.getWorkingData(), unit.get());
    EXPECT_FALSE (set.isModified());

    // A preset the unit has that the copy lost is an edit, whatever the flags say.
    set.getWorkingData()->deletePreset (7);
    set.getWorkingData()->clearModified (false);
    EXPECT_TRUE (set.isModified());

    // A newer snapshot that lacks it too: nothing left to send.
    set.setLiveData (makeData (smallCaps(), { 1, 3 }));
    EXPECT_FALSE (set.isModified());

    // The unit gone, with no backup: nothing to compare with.
    set.setLiveData (nullptr);
    EXPECT_EQ (set.getDeviceData(), nullptr);
    EXPECT_FALSE (set.isModified());

    // A working copy handed in is the one used.
    auto given = makeData (smallCaps(), { 2 });
    auto* raw = given.get();
    DataSet adopted (unit, std::move (given));
    EXPECT_EQ (adopted.getWorkingData(), raw);
}

TEST (DataSets, ABackupsSetMakesItsCopyOnlyWhenAskedFor)
{
    auto archive = backup ("B", { 2, 4 });
    auto* held = archive.get();
    DataSet set (std::move (archive));

    EXPECT_EQ (set.getArchive(), held);
    EXPECT_FALSE (set.hasWorkingData());
    EXPECT_FALSE (set.isModified());
    EXPECT_EQ (set.getDeviceData(), held->getDeviceData());

    auto* working = set.getWorkingData();
    ASSERT_NE (working, nullptr);
    EXPECT_NE (working, held->getDeviceData());
    EXPECT_EQ (working->getUsedPresetIndices(), juce::Array<int> ({ 2, 4 }));
    EXPECT_EQ (set.getWorkingData(), working) << "made once";

    working->getPreset (2)->setModified (true);
    EXPECT_TRUE (set.isModified());
}

TEST (DataSets, RefreshingMarksExactlyThePresetsThatDiffer)
{
    auto nodeTree = SourceTree::addArchiveNode (backup ("B", { 1, 2, 3 }));
    auto* working = SourceTree::getDeviceData (nodeTree);
    ASSERT_NE (working, nullptr);

    // Preset 1 really changed, preset 2 only carries the flag, preset 3 untouched.
    auto changed = makePreset (smallCaps(), 1, "Changed", 2, 900);
    working->setPreset (1, std::move (changed));
    working->getPreset (1)->setModified (false);
    working->getPreset (2)->setModified (true);

    SourceTree::refreshNode (nodeTree, { 1, 2, 3, 5 });
    EXPECT_TRUE (working->isPresetModified (1));
    EXPECT_FALSE (working->isPresetModified (2));
    EXPECT_FALSE (working->isPresetModified (3));
    EXPECT_TRUE (working->isModified());

    // Once the copy matches again, its flags go.
    working->copyPreset (1, *SourceTree::getArchive (nodeTree)->getDeviceData());
    SourceTree::refreshNode (nodeTree, { 1 });
    EXPECT_FALSE (working->isModified());
}

//==============================================================================
TEST (SourceTreeIcons, EachKindOfNodeShowsItsPicture)
{
    using Kind = SourceTree::NodeIcon::Kind;
    auto rootNode = SourceTree::createRoot ("Vesper", true);
    auto device = SourceTree::getDeviceCategoryNode (rootNode);
    auto backups = SourceTree::findNode (rootNode, "archive");
    auto cloud = SourceTree::findNode (rootNode, "cloud");

    auto resourceOf = [] (const juce::ValueTree& n) -> juce::String
    {
        const auto icon = SourceTree::chooseNodeIcon (n);
        return icon.kind == Kind::resource ? juce::String (icon.resourceName) : juce::String ("-");
    };

    EXPECT_EQ (SourceTree::chooseNodeIcon (device).kind, Kind::unitPicture);
    EXPECT_STREQ (SourceTree::chooseNodeIcon (device).resourceName, "tree_device_svg");

    auto stored = SourceTree::addArchiveNode (backup ("B"));
    auto loose = SourceTree::createDataNode ("Loose", new DataSet (std::shared_ptr<const DeviceData> (makeData (smallCaps(), { 1 })), nullptr));
    auto folder = child (group, "Live");
    backups.appendChild (folder, nullptr);
    folder.appendChild (stored, nullptr);
    backups.appendChild (loose, nullptr);
    auto workspace = SourceTree::createDataNode ("Work", new DataSet (std::shared_ptr<const DeviceData> (makeData (smallCaps(), { 1 })), nullptr));
    device.appendChild (workspace, nullptr);

    EXPECT_EQ (SourceTree::chooseNodeIcon (workspace).kind, Kind::unitPicture);
    EXPECT_EQ (SourceTree::chooseNodeIcon (stored).kind, Kind::archivePicture);
    EXPECT_EQ (SourceTree::chooseNodeIcon (stored).archive, SourceTree::getArchive (stored));
    EXPECT_EQ (resourceOf (loose), "tree_unknown_data_svg");
    EXPECT_EQ (resourceOf (backups), "backups_svg");
    EXPECT_EQ (resourceOf (folder), "tree_folder_svg");
    EXPECT_EQ (resourceOf (rootNode), "-");

    auto mwd = child (subCategory, "Files", "mwd");
    auto user = child (subCategory, "Mine", "user");
    auto upload = child (subCategory, "Upload", "upload-folder");
    auto following = child (subCategory, "Following", "following");
    auto maker = child (group, "Marrowell");
    auto friendOf = child (group, "Somebody");
    cloud.appendChild (mwd, nullptr);
    cloud.appendChild (user, nullptr);
    user.appendChild (upload, nullptr);
    cloud.appendChild (following, nullptr);
    following.appendChild (maker, nullptr);
    following.appendChild (friendOf, nullptr);

    EXPECT_EQ (resourceOf (mwd), "tree_device_svg");
    EXPECT_EQ (resourceOf (user), "user_picture_default_png");
    EXPECT_EQ (resourceOf (upload), "tree_upload_folder_svg");
    EXPECT_EQ (resourceOf (following), "tree_following_svg");
    EXPECT_EQ (resourceOf (maker), "user_picture_maker_png");
    EXPECT_EQ (resourceOf (friendOf), "user_picture_other_png");
    EXPECT_EQ (resourceOf (cloud), "cloud_svg");
    EXPECT_STREQ (SourceTree::getUserPictureName ("Belvora Team"), "user_picture_team_png");
}
