// The preset-pack tool as the developer menu starts it: its choosers and its
// boxes go through the program's seams, its work through a thread of its own.

#include "gui/PresetPackToolRunner.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "packs/PackFixture.h"

class PresetPackToolRunnerTest : public PackFixture
{
protected:
    void SetUp() override
    {
        PackFixture::SetUp();
        ASSERT_TRUE (unpackSamplePack (source()));
    }

    static juce::File source()   { return TestEnvironment::getHome().getChildFile ("source"); }

    juce::StringArray shown() const
    {
        juce::StringArray lines;
        for (const auto& box : boxes)
            lines.add (juce::String (box.icon == juce::MessageBoxIconType::WarningIcon ? "warning " : "info ") + box.title + ": " + box.message);
        return lines;
    }

    std::vector<FileChoosers::Request> asked;
    std::vector<Alerts::Box> boxes;
    bool boxesOnMessageThread = true;

    const Alerts::ScopedResponder alerts { [this] (const Alerts::Box& box)
    {
        boxes.push_back (box);
        boxesOnMessageThread = boxesOnMessageThread && juce::MessageManager::existsAndIsCurrentThread();
        return true;
    } };
};

TEST_F (PresetPackToolRunnerTest, ChoosersAskWithTheirTitlesAndACancelDoesNothing)
{
    const FileChoosers::ScopedResponder choosers ([this] (const FileChoosers::Request& r) { asked.push_back (r); return juce::Array<juce::File>(); });
    PresetPackToolRunner runner (*catalogue);

    EXPECT_FALSE (runner.selectAndConvert());
    EXPECT_FALSE (runner.convertPack (source().getChildFile ("nothing.xml")));

    ASSERT_EQ (asked.size(), 2u);
    EXPECT_EQ (asked[0].title, "Select Preset Source Folder");
    EXPECT_EQ (asked[0].mode, FileChoosers::Mode::chooseFolder);
    EXPECT_EQ (asked[1].title, "Select Source Pack");
    EXPECT_EQ (asked[1].mode, FileChoosers::Mode::openFile);
    EXPECT_TRUE (asked[1].patterns.isEmpty());
    EXPECT_FALSE (runner.isBusy());
    EXPECT_TRUE (boxes.empty());

    // A description that is there is not asked for.
    ASSERT_TRUE (runner.convertPack (source().getChildFile ("Starter/presets.xml")));
    EXPECT_EQ (asked.size(), 2u);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&runner] { return ! runner.isBusy(); }, 60000));
}

TEST_F (PresetPackToolRunnerTest, TheToolWorksOnItsThreadAndItsBoxesComeOneAfterAnother)
{
    const auto description = source().getChildFile ("Starter/presets.xml");
    ASSERT_TRUE (description.replaceWithText (description.loadFileAsString().replace (
        "</PRESETS>", "<archive><title>Gone</title><dataURL>gone.mwd</dataURL></archive></PRESETS>")));

    const FileChoosers::ScopedResponder choosers ([this] (const FileChoosers::Request& r) { asked.push_back (r); return juce::Array<juce::File> { source() }; });
    PresetPackToolRunner runner (*catalogue);

    ASSERT_TRUE (runner.selectAndConvert());
    EXPECT_TRUE (runner.isBusy());
    EXPECT_FALSE (runner.selectAndConvert()) << "one run at a time";
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&runner] { return ! runner.isBusy(); }, 60000));

    EXPECT_EQ (shown().joinIntoString ("\n"),
               "info Start Conversion: Converting preset pack for Vesper. For version: 1.4.00 build 140\n"
               "warning Error: Couldn't load gone.mwd. The archive will be skipped.\n"
               "info Error: Failed to convert: Gone\n"
               "info Error: Can't find: " + source().getChildFile ("Studio").getFullPathName() + "/presets.xml. Skipping.");
    EXPECT_TRUE (boxesOnMessageThread);
    EXPECT_TRUE (source().getChildFile ("Starter/temp/live_vox.xml").existsAsFile());

    // The import's way in: any work with the tool, and back on the message thread.
    std::unique_ptr<DeviceDataArchive> made;
    bool finished = false, finishedOnMessageThread = false;
    const auto entry = juce::parseXML ("<archive><title>Live</title><iconName>star</iconName><dataURL>Live/live_vox.mwd</dataURL></archive>");

    ASSERT_TRUE (runner.start ([&] (PresetPackTool& tool) { made = tool.createArchive (*entry, versionOf (newBuild), source().getChildFile ("Starter")); },
                               [&] { finished = true; finishedOnMessageThread = juce::MessageManager::existsAndIsCurrentThread(); }));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&finished] { return finished; }, 60000));
    EXPECT_TRUE (finishedOnMessageThread);
    ASSERT_NE (made, nullptr);
    EXPECT_EQ (made->getCapsBlock().presetVersion, 4);
}
