// The developer's imports in the running program: data files made backups
// (converted when of another data version), and a preset pack's backups.

#include "RunningAppFixture.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPage.h"
#include "model/SourceTree.h"

#include <gtest/gtest.h>

namespace
{
    /** A Vesper at build 140 with its data downloaded; the sample packs of both products unpacked. */
    class DeveloperImportTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            RunningApp::Options options;
            options.units = "0x12";
            options.settings.set ("dataSyncMethod", "manual");
            options.settings.set ("developerLastMWDImportFile", "/last.mwd");
            running = std::make_unique<RunningApp> (options);
            ASSERT_TRUE (running->start());
            ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr; }));
            running->perform (CommandIDs::downloadDeviceData);
            ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));

            const auto content = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2");
            ASSERT_TRUE (juce::ZipFile (content.getChildFile ("Vesper/packs/vesper_presets.zip")).uncompressTo (folder.getChildFile ("v")).wasOk());
            ASSERT_TRUE (juce::ZipFile (content.getChildFile ("QuillDuo/packs/quill_duo_presets.zip")).uncompressTo (folder.getChildFile ("q")).wasOk());
            category = SourceTree::findChildWithCategory (page().getRootTree(), SourceTreeIds::archiveCategory);
            before = category.getNumChildren();
        }

        DataPage& page()   { return running->content().getDataPage(); }

        juce::StringArray added() const
        {
            juce::StringArray labels;
            for (int i = before; i < category.getNumChildren(); ++i)
                labels.add (category.getChild (i)[SourceTreeIds::label].toString());
            return labels;
        }

        /** The next chooser is answered with these files, its request kept. */
        void choose (juce::Array<juce::File> files)
        {
            chooser.reset();   // the one it replaces puts back what it found
            chooser = std::make_unique<FileChoosers::ScopedResponder> ([this, files] (const FileChoosers::Request& r) { asked = r; return files; });
        }

        /** A sample file copied under a name of its own (the name titles its backup); "" makes it unreadable. */
        juce::File file (const char* name, const char* sample = "")
        {
            const auto target = folder.getChildFile (name);
            EXPECT_TRUE (*sample == 0 ? target.replaceWithText ("no data") : folder.getChildFile (sample).copyFileTo (target));
            return target;
        }

        const juce::File folder = TestEnvironment::getHome().getChildFile ("imports");
        std::unique_ptr<RunningApp> running;
        juce::ValueTree category;
        int before = 0;
        FileChoosers::Request asked;
        std::unique_ptr<FileChoosers::ScopedResponder> chooser;
    };

    /** Closes the page's sources from within each box, as a disconnection delivered by its loop would. */
    Alerts::ScopedChoiceResponder closingBoxes (RunningApp& running, DataPage& page)
    {
        return Alerts::ScopedChoiceResponder ([&] (const Alerts::Box& box) { running.boxes.push_back (box); page.closeSources (false, true); return 0; });
    }
}

TEST_F (DeveloperImportTest, DataFilesBecomeBackupsInOrderConvertedWhereNeeded)
{
    const auto broken = file ("broken.mwd"), quill = file ("quill.mwd", "q/Starter/starter.mwd");
    choose ({ file ("same.mwd", "v/Starter/starter.mwd"), broken, file ("older.mwd", "v/Starter/Live/live_vox.mwd"), quill, file ("oldest.mwd", "v/welcome.mwd") });
    page().importMwdBinaryFiles (category);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }, 60000));

    EXPECT_EQ (asked.title + " " + asked.patterns + " " + asked.start.getFullPathName(), "Import MWD Binary Files *.mwd /last.mwd");
    EXPECT_EQ (asked.mode, FileChoosers::Mode::openFiles);
    EXPECT_EQ (running->settings().getValue ("developerLastMWDImportFile"), "/last.mwd");

    EXPECT_EQ (added(), juce::StringArray ({ "same", "older", "oldest" }));
    ASSERT_EQ (running->titles(), juce::StringArray ({ "Import Error", "Import Error" }));
    EXPECT_EQ (running->boxes[0].message, "Unable to load " + broken.getFullPathName() + ". Skipping this file.");
    EXPECT_EQ (running->boxes[1].message, "An error occurred when trying to convert " + quill.getFullPathName()
                                          + " to a compatible format.\n\rThe required translation rules are not available.");

    const auto* converted = SourceTree::getDeviceData (category.getChild (before + 2));
    EXPECT_TRUE (converted->isSameDeviceType (page().getDeviceDataSet()->getWorkingData()->getCapsBlock()));
    EXPECT_EQ (converted->getNumPresets(), DeviceData::loadFromFile (folder.getChildFile ("oldest.mwd"))->getNumPresets());
    EXPECT_FALSE (converted->isModified());

    page().undo();
    EXPECT_EQ (added(), juce::StringArray ({ "same", "older" })) << "one step per backup";
    page().undo();
    page().undo();
    EXPECT_EQ (category.getNumChildren(), before);

    // A conversion that comes back with a part missing (the setup, whose script fails) is no converted file.
    ASSERT_TRUE (DeviceData::loadFromFile (folder.getChildFile ("oldest.mwd"))->getSetup().isComplete());
    const auto setupRules = Nexus::getContentManager()->getConversionRules (0x12, ConversionRule::setupData);
    ASSERT_EQ (setupRules.size(), 1);
    ASSERT_TRUE (juce::File (setupRules.getFirst().scriptFile).replaceWithText ("Belvora.scriptError (\"No setup.\");"));
    running->boxes.clear();
    choose ({ folder.getChildFile ("oldest.mwd") });
    page().importMwdBinaryFiles (category);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }, 60000));
    EXPECT_EQ (category.getNumChildren(), before);
    EXPECT_EQ (running->titles(), juce::StringArray ("Import Error"));
}

TEST_F (DeveloperImportTest, ClosedSourcesEndADataFileImportWhileItConvertsOrWhileABoxIsUp)
{
    choose ({ file ("oldest.mwd", "v/welcome.mwd"), file ("broken.mwd") });
    page().importMwdBinaryFiles (category);
    ASSERT_TRUE (page().isImporting()) << "the first file converts off the message thread";
    page().closeSources (false, true);
    ASSERT_TRUE (running->drain());   // what the job posted has arrived
    EXPECT_EQ (category.getNumChildren(), before);
    EXPECT_TRUE (running->boxes.empty());

    page().openSources (nullptr);
    auto reopened = SourceTree::findChildWithCategory (page().getRootTree(), SourceTreeIds::archiveCategory);
    const auto boxes = closingBoxes (*running, page());
    choose ({ file ("broken.mwd"), file ("same.mwd", "v/Starter/starter.mwd") });
    page().importMwdBinaryFiles (reopened);
    EXPECT_FALSE (page().isImporting());
    EXPECT_EQ (reopened.getNumChildren(), before);
    EXPECT_EQ (running->titles(), juce::StringArray ("Import Error"));
}

TEST_F (DeveloperImportTest, ClosedSourcesEndASysExImportWhileABoxIsUp)
{
    const uint8_t stepPacket[] { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x12, 0x21, 0x00, 0x00, 0xF7 };
    const auto steps = folder.getChildFile ("step.syx");
    ASSERT_TRUE (steps.replaceWithData (stepPacket, sizeof (stepPacket)));

    DataPage::Dialogs dialogs;
    dialogs.importDialog = [&] (DataPage&, const DataPage::ImportRequest&) { return DataPage::ImportChoice { true, { steps, steps }, 3, 1 }; };
    page().setDialogs (dialogs);
    const auto boxes = closingBoxes (*running, page());
    page().importData();

    EXPECT_FALSE (page().isImporting());
    EXPECT_EQ (running->titles(), juce::StringArray ("Import Error")) << "no second file, no summary";
}

TEST_F (DeveloperImportTest, APresetPackAddsItsArchivesOnlyWhenMadeForTheUnitsProduct)
{
    // Another root, then another product: neither adds. Had either started, its backups would
    // show below, or the matching pack would have been refused while it ran.
    const auto otherRoot = folder.getChildFile ("v/Starter/other.xml");
    ASSERT_TRUE (otherRoot.replaceWithText (folder.getChildFile ("v/Starter/presets.xml").loadFileAsString().replace ("PRESETS>", "PACK>")
                                                                                                       .replace ("Vesper Starter", "Other Root")));
    choose ({ otherRoot });
    page().importPresetPack (category);
    choose ({ folder.getChildFile ("q/Starter/presets.xml") });
    page().importPresetPack (category);
    ASSERT_EQ (running->titles(), juce::StringArray ("Error"));
    EXPECT_EQ (running->boxes[0].message, "The presets.xml control file doesn't match the product you're working with.");

    choose ({ folder.getChildFile ("v/Starter/presets.xml") });
    page().importPresetPack (category);
    ASSERT_TRUE (running->waitFor ([&] { return category.getNumChildren() >= before + 2; }, 60000));
    EXPECT_EQ (added(), juce::StringArray ({ "Vesper Starter", "Live Vox" }));
    EXPECT_EQ (asked.title + " " + asked.patterns + " " + asked.start.getFullPathName(), "Import Preset Pack *.xml /last.mwd");
    EXPECT_EQ (asked.mode, FileChoosers::Mode::openFile);

    page().undo();
    EXPECT_EQ (added(), juce::StringArray ("Vesper Starter"));

    // The system's chooser leaves the window free: a quit asked for meanwhile (Ctrl+Q) closed the
    // sources by the time a pack is chosen, and the pack adds nothing. Once it crashed the program.
    chooser.reset();
    chooser = std::make_unique<FileChoosers::ScopedResponder> ([this] (const FileChoosers::Request&)
    {
        EXPECT_TRUE (running->content().requestQuit (false));
        return juce::Array<juce::File> { folder.getChildFile ("v/Starter/presets.xml") };
    });
    page().importPresetPack (category);
    EXPECT_EQ (page().getDeviceDataSet(), nullptr);
    EXPECT_TRUE (TestEnvironment::drainMessages());
}
