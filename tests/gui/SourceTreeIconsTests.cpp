// The source tree's icons as drawables.

#include "gui/SourceTreeIcons.h"
#include "resources/BinaryResources.h"
#include "support/SmallCaps.h"

#include <gtest/gtest.h>

using namespace SourceTreeIds;

namespace
{
    std::unique_ptr<DeviceData> smallData()
    {
        return std::make_unique<DeviceData> ("Vox One", FirmwareVersion (0, 2, 0, 3, 41), smallTestCaps(), nullptr);
    }
}

TEST (SourceTreeIconDrawables, EveryPictureTheTreeNamesIsBuiltIn)
{
    for (auto* name : { "tree_device_svg", "tree_unknown_data_svg", "backups_svg", "tree_folder_svg",
                        "tree_upload_folder_svg", "tree_following_svg", "cloud_svg",
                        SourceTree::getDefaultUserPictureName(), SourceTree::getUserPictureName ("Marrowell"),
                        SourceTree::getUserPictureName ("Belvora Team"), SourceTree::getUserPictureName ("x") })
        EXPECT_NE (SourceTreeIcons::createResourceDrawable (name), nullptr) << name;
}

TEST (SourceTreeIconDrawables, NodesGetTheirOwnPictureOrTheFallback)
{
    auto rootNode = SourceTree::createRoot ("Vesper", false);
    auto device = SourceTree::getDeviceCategoryNode (rootNode);
    auto backups = SourceTree::findNode (rootNode, "archive");

    // The unit's picture when there is one, else the built-in device icon.
    juce::Image unit (juce::Image::ARGB, 30, 20, true);
    auto withPicture = SourceTreeIcons::createNodeIcon (device, unit);
    auto* image = dynamic_cast<juce::DrawableImage*> (withPicture.get());
    ASSERT_NE (image, nullptr);
    EXPECT_EQ (image->getImage(), unit);
    EXPECT_NE (SourceTreeIcons::createNodeIcon (device), nullptr);

    // A backup's own picture: the built-in drawing, or its raster picture.
    auto stored = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*smallData(), "B", ""));
    backups.appendChild (stored, nullptr);
    EXPECT_NE (dynamic_cast<juce::DrawableComposite*> (SourceTreeIcons::createNodeIcon (stored).get()), nullptr);

    SourceTree::getArchive (stored)->setLinkImage ("*state_busy_png");
    auto raster = SourceTreeIcons::createNodeIcon (stored);
    ASSERT_NE (dynamic_cast<juce::DrawableImage*> (raster.get()), nullptr);
    EXPECT_EQ (raster->getDrawableBounds().getWidth(), 41.0f);

    EXPECT_NE (SourceTreeIcons::createNodeIcon (backups), nullptr);
    EXPECT_EQ (SourceTreeIcons::createNodeIcon (rootNode), nullptr);
    EXPECT_EQ (SourceTreeIcons::createDrawable ({}), nullptr);
}
