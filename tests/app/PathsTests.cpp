#include "app/Belvora.h"
#include "support/OddFiles.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST (Paths, DataFolderFollowsTheConfigurationHome)
{
    const auto expected = TestEnvironment::getHome().getChildFile (".config").getFullPathName() + "/Marrowell/Belvora 2";
    EXPECT_EQ (Belvora::getUserDataFolder(), expected);
    EXPECT_EQ (Belvora::getMasterDescriptorFile(), expected + "/masterDescriptor.xml");
    EXPECT_EQ (Belvora::getDeviceListFile(), expected + "/deviceList.xml");
    EXPECT_TRUE (Belvora::getUserGuideFile().endsWith ("/Marrowell/Belvora 2/Belvora2 User Guide.pdf"));
}

TEST (Paths, DataFolderFollowsXdgConfigHomeUnlessOneIsInUseAtTheUsualPlace)
{
    TestEnvironment::clearHome();
    const auto home = TestEnvironment::getHome();
    const auto usual = home.getChildFile (".config/Marrowell/Belvora 2");
    const auto elsewhere = home.getChildFile ("elsewhere");
    const auto restore = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});

    ::setenv ("XDG_CONFIG_HOME", (elsewhere.getFullPathName() + "/").toRawUTF8(), 1);
    EXPECT_EQ (Belvora::getUserDataFolder(), elsewhere.getFullPathName() + "/Marrowell/Belvora 2");
    EXPECT_EQ (Belvora::getInstanceLockFile().getParentDirectory().getFullPathName(), Belvora::getUserDataFolder());

    // Data already kept at the usual place stays in use; once the named place has its own, that one wins.
    ASSERT_TRUE (usual.createDirectory().wasOk());
    EXPECT_EQ (Belvora::getUserDataFolder(), usual.getFullPathName());
    ASSERT_TRUE (elsewhere.getChildFile ("Marrowell/Belvora 2").createDirectory().wasOk());
    EXPECT_EQ (Belvora::getUserDataFolder(), elsewhere.getFullPathName() + "/Marrowell/Belvora 2");

    ::setenv ("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ (Belvora::getUserDataFolder(), usual.getFullPathName()) << "a relative path counts as unset";

    ::setenv ("XDG_CONFIG_HOME", restore.toRawUTF8(), 1);
    usual.deleteRecursively();
    elsewhere.deleteRecursively();
}

TEST (Paths, UnknownProductFoldersLieInTheDataFolder)
{
    const auto base = Belvora::getUserDataFolder();
    EXPECT_EQ (Belvora::getProductName (42), "");
    EXPECT_EQ (Belvora::getProductDataFolder (42), base + "/");
    EXPECT_EQ (Belvora::getFirmwareFolder (42), base + "//firmware");
    EXPECT_EQ (Belvora::getScriptFolder (42), base + "//js");
    EXPECT_EQ (Belvora::getPacksFolder (42), base + "//packs");
    EXPECT_EQ (Belvora::getBackupDataFolder (42), base + "//data");
    EXPECT_EQ (Belvora::getBackupIndexFile (42), base + "//data/_backup.xml");
}

TEST (Paths, WorkingAndSyncFileNames)
{
    EXPECT_EQ (Belvora::getWorkingFile ("/x/y"), "/x/y/working.mwd");
    EXPECT_EQ (Belvora::getSyncFile ("/x/y"), "/x/y/sync.mwd");
}

TEST (Paths, ProductNamesThatCouldLeaveTheDataFolderAreRefused)
{
    EXPECT_TRUE (Belvora::isSafeFolderName ("VoiceLive Touch 3"));
    EXPECT_TRUE (Belvora::isSafeFolderName ("Harmony-G.XT"));

    for (auto* bad : { "", ".", "..", "../evil", "a/b", "a\\b", "C:", "ab..cd", " lead", "trail " })
        EXPECT_FALSE (Belvora::isSafeFolderName (bad)) << bad;

    EXPECT_FALSE (Belvora::isSafeFolderName (juce::String ("tab\there")));
    EXPECT_FALSE (Belvora::isSafeFolderName (juce::String::charToString (0x7f)));
}

TEST (Paths, WebAddressesComeFromTheEnvironment)
{
    EXPECT_EQ (Belvora::getMasterDescriptorUrl(), "http://127.0.0.1:9/Belvora2/masterDescriptor.xml");
    EXPECT_EQ (Belvora::getTrackingUrl(), "http://127.0.0.1:9/belvora-2/php/tracking-1.0/");

    ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:8123/Belvora2/", 1);
    EXPECT_EQ (Belvora::getWebSiteUrl(), "http://127.0.0.1:8123/Belvora2");
    ::setenv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2", 1);
}

TEST (Paths, SysExFileStartsWithF0)
{
    const auto folder = TestEnvironment::getHome().getChildFile ("syx");
    folder.createDirectory();

    const auto good = folder.getChildFile ("good.syx");
    const auto bad = folder.getChildFile ("bad.syx");
    const auto empty = folder.getChildFile ("empty.syx");
    const uint8_t sysex[] = { 0xF0, 0x00, 0xF7 };
    const uint8_t other[] = { 0xF7, 0xF0 };
    good.replaceWithData (sysex, sizeof (sysex));
    bad.replaceWithData (other, sizeof (other));
    empty.create();

    EXPECT_TRUE (Belvora::isSysExFile (good.getFullPathName()));
    EXPECT_FALSE (Belvora::isSysExFile (bad.getFullPathName()));
    EXPECT_FALSE (Belvora::isSysExFile (empty.getFullPathName()));
    EXPECT_FALSE (Belvora::isSysExFile (folder.getChildFile ("missing.syx").getFullPathName()));

    const auto odd = folder.getChildFile ("odd.syx");
    for (auto kind : OddFiles::allKinds)
    {
        ASSERT_TRUE (OddFiles::put (kind, odd));
        bool sysEx = true;
        OddFiles::expectEndsBounded (kind, odd, [&] { sysEx = Belvora::isSysExFile (odd.getFullPathName()); }, "the SysEx check");
        EXPECT_FALSE (sysEx) << OddFiles::nameOf (kind);
    }

    odd.deleteRecursively();
}
