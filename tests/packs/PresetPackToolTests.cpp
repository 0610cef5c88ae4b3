#include "packs/PackFixture.h"

#include "archive/ArchiveFiles.h"
#include "archive/PresetPackTool.h"

#include <sys/stat.h>

namespace
{
    juce::String describeNotice (const PresetPackTool::Notice& n)
    {
        return juce::String (n.kind == PresetPackTool::Notice::Kind::warning ? "warning " : "info ") + n.title + ": " + n.message;
    }

    juce::String packEntry (const juce::String& title, const juce::String& icon, const juce::String& date, const juce::String& dataUrl)
    {
        return "<archive><title>" + title + "</title><description>About " + title + "</description><iconName>" + icon
                                         + "</iconName><date>" + date + "</date><dataURL>" + dataUrl + "</dataURL></archive>";
    }
}

class PresetPackToolTest : public PackFixture
{
protected:
    void SetUp() override
    {
        PackFixture::SetUp();

        // The maker's pack source: the sample pack's Starter folder, its
        // description naming starter.mwd (build 140) and Live/live_vox.mwd (build 120).
        ASSERT_TRUE (unpackSamplePack (source()));

        packTool = std::make_unique<PresetPackTool> (*catalogue, [this] (const PresetPackTool::Notice& n) { notices.push_back (n); });
    }

    PresetPackTool& tool() { return *packTool; }

    static juce::File source()    { return TestEnvironment::getHome().getChildFile ("source"); }
    static juce::File starter()   { return source().getChildFile ("Starter"); }
    static juce::File temp()      { return starter().getChildFile ("temp"); }

    juce::StringArray said() const
    {
        juce::StringArray lines;
        for (const auto& n : notices)
            lines.add (describeNotice (n));
        return lines;
    }

    void writeDescription (const juce::String& product, const juce::String& entries) const
    {
        ASSERT_TRUE (starter().getChildFile ("presets.xml").replaceWithText ("<PRESETS><product name=\"" + product + "\"/>" + entries + "</PRESETS>"));
    }

    void TearDown() override
    {
        packTool.reset();
        PackFixture::TearDown();
    }

    std::vector<PresetPackTool::Notice> notices;
    std::unique_ptr<PresetPackTool> packTool;
};

TEST_F (PresetPackToolTest, APackBecomesArchivesOfTheNewestFirmwareInTemp)
{
    ASSERT_TRUE (temp().createDirectory());
    ASSERT_TRUE (temp().getChildFile ("stale.xml").replaceWithText ("from an earlier run"));

    tool().convertPack (starter().getChildFile ("presets.xml"));

    EXPECT_EQ (said().joinIntoString ("\n"), "info Start Conversion: Converting preset pack for Vesper. For version: 1.4.00 build 140");
    EXPECT_EQ (temp().getNumberOfChildFiles (juce::File::findFiles), 4);
    EXPECT_FALSE (temp().getChildFile ("stale.xml").exists()) << "temp is emptied first";

    // An entry whose data lies in a sub-folder is named after its file.
    const auto live = ArchiveFiles::load (temp().getChildFile ("live_vox.xml"));
    ASSERT_NE (live, nullptr);
    ASSERT_TRUE (live->isValid());
    EXPECT_EQ (live->getLinkData(), "live_vox.mwd");
    EXPECT_EQ (live->getTitle(), "Live Vox");
    EXPECT_EQ (live->getDescription(), "Live Vox of the local content server");
    EXPECT_EQ (live->getAuthorId(), 100);
    EXPECT_EQ (live->getAuthorName(), "Marrowell");
    EXPECT_EQ (live->getLinkImage(), "*archive_icon_Live_Vox_2_0");
    EXPECT_EQ (live->getPubDate(), juce::Time (2015, 2, 1, 10, 20, 30, 0, true).toMilliseconds());
    EXPECT_EQ (live->getCapsBlock().presetVersion, 4) << "converted to build 140";
    EXPECT_EQ (live->getBuildNo(), 140);
    EXPECT_EQ (live->getMd5().length(), 32);
    EXPECT_EQ (live->getPresetNames().joinIntoString (","), "Live Vox,Stage Harmony");

    // As the Cloud reads it back: the maker's archive, its data file beside it by name.
    const auto xml = juce::XmlDocument::parse (temp().getChildFile ("live_vox.xml"));
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("ARCHIVE"));
    EXPECT_EQ (xml->getChildByName ("author")->getStringAttribute ("name"), "Marrowell");
    EXPECT_EQ (xml->getChildByName ("author")->getStringAttribute ("id"), "100");
    EXPECT_EQ (xml->getChildByName ("product")->getStringAttribute ("sysexId"), "12");
    EXPECT_EQ (xml->getChildElementAllSubText ("buildNo", {}), "140");
    EXPECT_EQ (xml->getChildElementAllSubText ("linkData", {}), "live_vox.mwd");
    EXPECT_EQ (xml->getChildElementAllSubText ("linkImage", {}), "*archive_icon_Live_Vox_2_0");
    EXPECT_EQ (xml->getChildElementAllSubText ("pubDate", {}), juce::String (live->getPubDate()));
    EXPECT_TRUE (temp().getChildFile ("live_vox.mwd").existsAsFile());

    const auto starterArchive = ArchiveFiles::load (temp().getChildFile ("starter.xml"));
    ASSERT_NE (starterArchive, nullptr);
    EXPECT_EQ (starterArchive->getLinkImage(), "*archive_icon_star");
    EXPECT_EQ (starterArchive->getPubDate(), juce::Time (2026, 0, 15, 12, 0, 0, 0, true).toMilliseconds());

    // The source stays as it was.
    EXPECT_EQ (DeviceData::loadFromFile (starter().getChildFile ("Live/live_vox.mwd"))->getCapsBlock().presetVersion, 3);
}

TEST_F (PresetPackToolTest, EachFailingEntryIsToldAndTheOthersAreMade)
{
    // A Quill Duo data file: no way from it to build 140 of its own product.
    auto quillCaps = capsAt (newBuild);
    quillCaps.productId = (uint8_t) quill;
    ASSERT_EQ (ConversionTestData::makeDeviceData (quillCaps, 210, { 1 })->saveToFile (starter().getChildFile ("quill.mwd")), DeviceData::saved);

    writeDescription ("Vesper",
                      packEntry ("Missing", "star", "2026-01-15 12:00:00", "missing.mwd")
                      + packEntry ("Outside", "star", "2026-01-15 12:00:00", "../../.config/Marrowell/Belvora 2/Vesper/data/x.mwd")
                      + packEntry ("Quill", "star", "2026-01-15 12:00:00", "quill.mwd")
                      + packEntry ("Plain", "No Such Icon", "2026-01-15 12:00:00", "starter.mwd")
                      + "<archive><dataURL>gone.mwd</dataURL></archive>");

    tool().convertPack (starter().getChildFile ("presets.xml"));

    EXPECT_EQ (said().joinIntoString ("\n"), juce::StringArray ({
        "info Start Conversion: Converting preset pack for Vesper. For version: 1.4.00 build 140",
        "warning Error: Couldn't load missing.mwd. The archive will be skipped.",
        "info Error: Failed to convert: Missing",
        "warning Error: Couldn't load ../../.config/Marrowell/Belvora 2/Vesper/data/x.mwd. The archive will be skipped.",
        "info Error: Failed to convert: Outside",
        "warning Error: Data conversion failed on Quill. \n\nError: There are insufficient definitions available to perform the conversion.",
        "info Error: Failed to convert: Quill",
        "warning Error: Can't find icon: No Such Icon",
        "warning Error: Couldn't load gone.mwd. The archive will be skipped.",
        "info Error: Failed to convert: ???" }).joinIntoString ("\n"));

    // Only the entry whose icon is missing was made, with the key it asked for.
    EXPECT_EQ (temp().getNumberOfChildFiles (juce::File::findFiles), 2);
    EXPECT_EQ (ArchiveFiles::load (temp().getChildFile ("starter.xml"))->getLinkImage(), "*archive_icon_No_Such_Icon");
}

TEST_F (PresetPackToolTest, DescriptionsOfAnotherKindOrAnUnknownProductEndTheirPack)
{
    writeDescription ("Nonesuch", packEntry ("A", "star", "", "starter.mwd"));
    tool().convertPack (starter().getChildFile ("presets.xml"));
    EXPECT_EQ (said().joinIntoString ("\n"), "warning Error: Something went wrong. Figure it out.");
    EXPECT_FALSE (temp().exists());

    notices.clear();
    ASSERT_TRUE (starter().getChildFile ("presets.xml").replaceWithText ("<ARCHIVE/>"));
    tool().convertPack (starter().getChildFile ("presets.xml"));
    tool().convertPack (starter().getChildFile ("nothing.xml"));
    EXPECT_TRUE (notices.empty());
    EXPECT_FALSE (temp().exists());
}

TEST_F (PresetPackToolTest, AFolderOfPacksConvertsEachAndSkipsFoldersWithoutADescription)
{
    ASSERT_TRUE (source().getChildFile ("Empty").createDirectory());

    tool().convertPacksIn (source());

    // In the order of their names; Studio, which the sample pack has too, holds no description.
    auto missing = [] (const char* name) { return "info Error: Can't find: " + source().getChildFile (name).getFullPathName() + "/presets.xml. Skipping."; };
    EXPECT_EQ (said().joinIntoString ("\n"), missing ("Empty") + "\n"
                                             "info Start Conversion: Converting preset pack for Vesper. For version: 1.4.00 build 140\n"
                                             + missing ("Studio"));
    EXPECT_TRUE (temp().getChildFile ("starter.xml").existsAsFile());
}

TEST_F (PresetPackToolTest, ImportMakesOneArchiveForTheUnitsFirmware)
{
    const auto made = tool().createArchive (*juce::parseXML (packEntry ("Live", "Live Vox 2.0", "2015-03-01 10:20:30", "Live/live_vox.mwd")),
                                          versionOf (newBuild), starter());
    ASSERT_NE (made, nullptr);
    EXPECT_TRUE (notices.empty());
    EXPECT_TRUE (made->isModified());
    EXPECT_EQ (made->getCapsBlock().presetVersion, 4);
    EXPECT_EQ (made->getLinkData(), "live_vox.mwd");
    EXPECT_EQ (made->getDescription(), "About Live");
    EXPECT_FALSE (made->getImage().isEmpty());

    // Nothing is read from outside the pack's folder.
    EXPECT_EQ (tool().createArchive (*juce::parseXML (packEntry ("Up", "star", "", "../Starter/starter.mwd")), versionOf (newBuild), starter().getChildFile ("Live")), nullptr);
    EXPECT_EQ (said().joinIntoString ("\n"), "warning Error: Couldn't load ../Starter/starter.mwd. The archive will be skipped.");

    // Nor from a pipe, which would never end.
    ASSERT_EQ (mkfifo (starter().getChildFile ("pipe.mwd").getFullPathName().toRawUTF8(), 0600), 0);
    EXPECT_EQ (tool().createArchive (*juce::parseXML (packEntry ("Pipe", "star", "", "pipe.mwd")), versionOf (newBuild), starter()), nullptr);
}

TEST (PresetPackToolTexts, DatesAndPictureKeys)
{
    EXPECT_EQ (PresetPackTool::parsePackDate ("2015-03-01 10:20:30"), juce::Time (2015, 2, 1, 10, 20, 30, 0, true));
    EXPECT_EQ (PresetPackTool::parsePackDate ("2015/03/01T10.20.30"), juce::Time (2015, 2, 1, 10, 20, 30, 0, true)) << "separators are not looked at";
    (void) PresetPackTool::parsePackDate ("");
    (void) PresetPackTool::parsePackDate ("99");

    EXPECT_EQ (PresetPackTool::getPictureKey ("Live Vox 2.0"), "archive_icon_Live_Vox_2_0");
    EXPECT_EQ (PresetPackTool::getPictureKey ("star"), "archive_icon_star");
    EXPECT_EQ (PresetPackTool::getPictureKey ("../a-b/c\\d"), "archive_icon___abcd");
}
