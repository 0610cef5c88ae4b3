// The import dialog: how it classifies the chosen files, what it lets start,
// the destinations and start slots it offers and the layout.

#include "gui/DialogFixtures.h"
#include "gui/DialogTestSupport.h"
#include "gui/WidgetTestSupport.h"
#include "gui/dialogs/ImportDialog.h"
#include "model/SysEx.h"
#include "support/ContentFixture.h"

using namespace DialogFixtures;
using namespace DialogTests;

namespace
{
    const juce::String hint = "<Click 'Browse...' to select import file>";
    const juce::String invalidText = "The specified file does not contain valid SysEx data.";
    const juce::String unsupportedText = "The specified file contains unsupported SysEx messages.";
    const juce::String otherProductText = "The SysEx file is either meant for a different Marrowell product, or does not contain preset or setup data.";

    /** Files of every kind the dialog may be given. */
    struct SampleFiles
    {
        void write()
        {
            const auto folder = freshFolder ("import");
            presets = writeSysExFile (folder.getChildFile ("presets.syx"), vesper, { 3, 4 });
            setup = writeSysExFile (folder.getChildFile ("setup.syx"), vesper, {});
            otherProduct = writeSysExFile (folder.getChildFile ("quill.syx"), quill, { 1 });

            juce::MemoryBlock bytes;
            presets.loadFileAsData (bytes);
            stepPacket = folder.getChildFile ("steps.syx");
            stepPacket.replaceWithData (static_cast<const char*> (bytes.getData()) + SysEx::presetHeaderSize,
                                        bytes.getSize() - (size_t) SysEx::presetHeaderSize);

            otherCommand = writeBytes (folder.getChildFile ("status.syx"), { 0xF0, 0x00, 0x01, 0x38, 0x00, vesper, 0x34, 0x01, 0xF7 });
            firmware = writeBytes (folder.getChildFile ("firmware.syx"), { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 });
            otherMaker = writeBytes (folder.getChildFile ("maker.syx"), { 0xF0, 0x00, 0x20, 0x33, 0x00, vesper, 0x20, 0x00, 0x00, 0x00, 0x04, 0xF7 });
            text = folder.getChildFile ("notes.syx");
            text.replaceWithText ("not a SysEx file");
        }

        juce::File presets, setup, otherProduct, stepPacket, otherCommand, firmware, otherMaker, text;
    };

    struct ImportTest : SettingsFixture
    {
        void SetUp() override
        {
            SettingsFixture::SetUp();
            files.write();   // once the home is cleared
        }

        ImportContent make (const juce::String& initialFile = {}, juce::StringArray names = { "Vesper (device)", "Backup", "Workspace" },
                            ImportContent::ConversionCheck check = {})
        {
            juce::Array<const DeviceData*> destinations;

            for (int i = 0; i < names.size(); ++i)
                destinations.add (i == 2 ? workspace.get() : nullptr);

            return ImportContent (capsOf (vesper), destinations, initialFile, names, std::move (check));
        }

        static bool startEnabled (ImportContent& c)   { return get<juce::Button> (c, "textButtonStartImport").isEnabled(); }
        static bool positionShown (ImportContent& c)  { return get<juce::ComboBox> (c, "comboBoxPresetOrder").isVisible(); }

        WidgetTests::ScopedLookAndFeel look { 1.0f };
        std::unique_ptr<DeviceData> workspace = makeData (vesper, { 1, 2, 5 });
        SampleFiles files;
    };
}

//==============================================================================
TEST_F (ImportTest, ClassifiesFilesByTheirFirstMessage)
{
    auto content = make();

    const std::pair<juce::File, juce::uint32> expected[] =
    {
        { files.presets, SysEx::filePreset }, { files.setup, SysEx::fileSetup }, { files.stepPacket, SysEx::fileStepPacket },
        { files.otherCommand, SysEx::fileOtherCommand }, { files.otherProduct, SysEx::fileOtherProduct },
        // Unreadable, foreign and firmware files carry no product: another product's, as far as importing goes.
        { files.firmware, SysEx::fileOtherProduct }, { files.otherMaker, SysEx::fileOtherProduct },
        { files.text, SysEx::fileOtherProduct }, { juce::File ("/no/such/file.syx"), SysEx::fileOtherProduct },
    };

    for (auto& [file, status] : expected)
        EXPECT_EQ (content.classify (file), status) << file.getFileName();

    EXPECT_EQ (ImportContent::messageFor (SysEx::filePreset), juce::String());
    EXPECT_EQ (ImportContent::messageFor (SysEx::fileStepPacket), invalidText);
    EXPECT_EQ (ImportContent::messageFor (SysEx::fileNotSysEx), invalidText);
    EXPECT_EQ (ImportContent::messageFor (SysEx::fileOtherMaker), invalidText);
    EXPECT_EQ (ImportContent::messageFor (SysEx::fileOtherCommand), unsupportedText);
    EXPECT_EQ (ImportContent::messageFor (SysEx::fileOtherProduct), otherProductText);
}

TEST_F (ImportTest, BrowsedFilesSetWhatMayStartAndWhatIsShown)
{
    auto content = make();
    EXPECT_EQ (textOf (content, "labelPath"), hint);
    EXPECT_FALSE (startEnabled (content));

    {
        ChooserAnswers chooser (files.setup);
        click (get<juce::Button> (content, "chooseFolderButton"));
        ASSERT_EQ (chooser.requests.size(), 1u);
        EXPECT_EQ (chooser.requests[0].title, "Select the import file(s)");
        EXPECT_EQ (chooser.requests[0].patterns, "*.syx");
        EXPECT_EQ (chooser.requests[0].mode, FileChoosers::Mode::openFiles);

        // Nothing used yet: the user's documents or home, not the program's working folder.
        const auto start = chooser.requests[0].start;
        EXPECT_TRUE (start == juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
                     || start == juce::File::getSpecialLocation (juce::File::userHomeDirectory)) << start.getFullPathName();
    }

    EXPECT_EQ (textOf (content, "labelPath"), files.setup.getFullPathName());
    EXPECT_TRUE (startEnabled (content));
    EXPECT_FALSE (positionShown (content));
    EXPECT_FALSE (get<juce::Label> (content, "labelStartingPosition").isVisible());

    {
        // A preset file brings the start position back; the chooser opens where the last file was.
        ChooserAnswers chooser (files.presets, files.text, files.stepPacket);
        click (get<juce::Button> (content, "chooseFolderButton"));
        EXPECT_EQ (chooser.requests[0].start, files.setup);
    }

    EXPECT_EQ (textOf (content, "labelPath"), "<Multiple Files Selected>");
    EXPECT_EQ (content.getChosenFiles(), (juce::Array<juce::File> { files.presets, files.text, files.stepPacket }));
    EXPECT_TRUE (positionShown (content));
    EXPECT_TRUE (startEnabled (content));

    {
        // Cancelling the chooser changes nothing.
        ChooserAnswers chooser;
        click (get<juce::Button> (content, "chooseFolderButton"));
        EXPECT_TRUE (startEnabled (content));
        EXPECT_EQ (content.getChosenFiles().size(), 3);
    }
}

TEST_F (ImportTest, RefusedFilesAreExplainedAndLeaveNothingToStart)
{
    const std::pair<juce::File, juce::String> refused[] =
    {
        { files.stepPacket, invalidText }, { files.otherCommand, unsupportedText },
        { files.otherProduct, otherProductText }, { files.firmware, otherProductText },
    };

    for (auto& [file, message] : refused)
    {
        SCOPED_TRACE (file.getFileName());
        auto content = make (files.presets.getFullPathName());
        ASSERT_TRUE (startEnabled (content));

        AlertLog alerts;
        ChooserAnswers chooser (file);
        click (get<juce::Button> (content, "chooseFolderButton"));

        ASSERT_EQ (alerts.boxes.size(), 1u);
        EXPECT_EQ (alerts.boxes[0].icon, juce::MessageBoxIconType::WarningIcon);
        EXPECT_EQ (alerts.boxes[0].title, "SysEx File Error");
        EXPECT_EQ (alerts.boxes[0].message, message);
        EXPECT_FALSE (startEnabled (content));
        EXPECT_TRUE (content.getChosenFiles().isEmpty());
        EXPECT_EQ (textOf (content, "labelPath"), hint);
        EXPECT_EQ (content.getBrowseStart(), file.getParentDirectory()) << "the next look starts where this one ended";
    }
}

TEST_F (ImportTest, PreselectedFileIsCheckedLikeABrowsedOneAndHandedBack)
{
    {
        auto content = make (files.setup.getFullPathName());
        EXPECT_EQ (textOf (content, "labelPath"), files.setup.getFullPathName());
        EXPECT_EQ (content.getChosenFiles(), juce::Array<juce::File> { files.setup });
        EXPECT_TRUE (startEnabled (content));
        EXPECT_FALSE (positionShown (content));
    }

    // A bad remembered file is not offered, and nothing is shown before the dialog is.
    for (auto& bad : { files.firmware, files.otherProduct, files.stepPacket })
    {
        SCOPED_TRACE (bad.getFileName());
        AlertLog alerts;
        auto content = make (bad.getFullPathName());
        EXPECT_FALSE (startEnabled (content));
        EXPECT_TRUE (content.getChosenFiles().isEmpty());
        EXPECT_EQ (textOf (content, "labelPath"), hint);
        EXPECT_TRUE (alerts.boxes.empty());
    }

    auto missing = make ("/no/such/file.syx");
    EXPECT_EQ (textOf (missing, "labelPath"), hint);
    EXPECT_FALSE (startEnabled (missing));
}

TEST_F (ImportTest, DestinationsAndStartSlots)
{
    auto content = make (files.presets.getFullPathName());
    auto& destination = get<juce::ComboBox> (content, "comboBoxDataDestination");
    auto& order = get<juce::ComboBox> (content, "comboBoxPresetOrder");

    // The third entry, the workspace, is chosen: its 30 slots are offered from slot 1 on.
    EXPECT_EQ (content.getSelectedDestinationId(), 3);
    ASSERT_EQ (order.getNumItems(), 30);
    EXPECT_EQ (order.getItemText (0), "<original order>");
    EXPECT_EQ (order.getItemId (0), 1);
    EXPECT_EQ (order.getItemText (1), "1: Preset 1");
    EXPECT_EQ (order.getItemId (1), 3);
    EXPECT_EQ (order.getItemText (3), "3: <empty>");
    EXPECT_EQ (order.getItemText (5), "5: Preset 5");
    EXPECT_EQ (content.getPositionList()[0], "0: <empty>");
    EXPECT_EQ (content.getSelectedStartId(), 1);

    order.setSelectedId (12);
    EXPECT_EQ (content.getSelectedStartId(), 12);
    EXPECT_EQ (ImportContent::startSlotFor (12), 10);
    EXPECT_EQ (ImportContent::startSlotFor (1), -1);

    // Another destination: its own slots, the original order again.
    destination.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_EQ (order.getItemText (1), "1: <empty>");
    EXPECT_EQ (content.getSelectedStartId(), 1);
    EXPECT_EQ (destination.getTextWhenNothingSelected(), "<select destination>");
    EXPECT_EQ (destination.getTextWhenNoChoicesAvailable(), "(no choices)");
}

TEST_F (ImportTest, FewerThanThreeDestinationsStartAtTheFirstAndNoneLetsNothingStart)
{
    auto two = make (files.presets.getFullPathName(), { "Vesper (device)", "Backup" });
    EXPECT_EQ (two.getSelectedDestinationId(), 1);
    EXPECT_TRUE (startEnabled (two));

    auto none = make (files.presets.getFullPathName(), {});
    EXPECT_EQ (none.getSelectedDestinationId(), 0);
    EXPECT_FALSE (startEnabled (none));
    EXPECT_EQ (get<juce::ComboBox> (none, "comboBoxPresetOrder").getNumItems(), 30);
}

TEST_F (ImportTest, LayoutAtEachScale)
{
    for (auto scale : WidgetTests::scales)
    {
        SCOPED_TRACE (scale);
        WidgetTests::ScopedLookAndFeel scaled (scale);
        auto content = make();
        const auto g = juce::roundToInt (10 * scale), w = content.getWidth(), h = content.getHeight();

        EXPECT_EQ (content.getBounds(), juce::Rectangle<int> (juce::roundToInt (600 * scale), juce::roundToInt (200 * scale)));

        // Buttons of one width on the right; the path runs up to "Browse...", the start slot below it ends with it.
        auto& cancel = get<juce::Button> (content, "textButtonCancel");
        auto& browse = get<juce::Button> (content, "chooseFolderButton");
        EXPECT_EQ (cancel.getBounds().getBottomRight(), juce::Point<int> (w - g, h - g));
        EXPECT_EQ (get<juce::Button> (content, "textButtonStartImport").getRight(), cancel.getX() - g);
        EXPECT_EQ (browse.getX(), cancel.getX());
        EXPECT_EQ (get<juce::Label> (content, "labelPath").getRight(), browse.getX());
        EXPECT_EQ (get<juce::Component> (content, "comboBoxPresetOrder").getRight(), browse.getRight());
    }
}

//==============================================================================
// Conversions: a file of another format is accepted when the rules lead from it to the destination's.
class ImportConversionTest : public ContentFixture
{
protected:
    void SetUp() override
    {
        ContentFixture::SetUp();
        auto& content = startCatalogueQuietly();

        struct Idle : juce::Thread { Idle() : juce::Thread ("test downloader") {} void run() override {} } worker;
        ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    }

    /** A preset file of Vesper's layout in another preset format. */
    juce::File presetFileOfVersion (int version)
    {
        auto block = capsOf (vesper).caps;
        block.presetVersion = version;
        DeviceData data ("Vesper", {}, block, nullptr);
        data.setPreset (1, SimulatedUnit::makePreset (block, 1, 1, "Old"));
        const auto file = freshFolder ("conversion").getChildFile ("v" + juce::String (version) + ".syx");
        EXPECT_TRUE (data.exportPresets (file, { 1 }));
        return file;
    }

    WidgetTests::ScopedLookAndFeel look { 1.0f };
};

TEST_F (ImportConversionTest, ConversionIsCheckedFromTheFileToTheDestination)
{
    const auto check = ImportContent::conversionCheckOf (catalogue.get());
    const juce::StringArray names { "Workspace" };

    // A rule converts Vesper presets from format 3 to 4, none the other way.
    ImportContent current (capsOf (vesper), { nullptr }, presetFileOfVersion (3).getFullPathName(), names, check);
    EXPECT_EQ (current.getChosenFiles().size(), 1);
    EXPECT_TRUE (get<juce::Button> (current, "textButtonStartImport").isEnabled());

    EXPECT_EQ (current.classify (presetFileOfVersion (5)), SysEx::fileOtherProduct);

    auto older = capsOf (vesper);
    older.caps.presetVersion = 3;
    ImportContent olderDestination (older, { nullptr }, {}, names, check);
    EXPECT_EQ (olderDestination.classify (presetFileOfVersion (4)), SysEx::fileOtherProduct);

    // Without a catalogue nothing converts.
    ImportContent noCatalogue (capsOf (vesper), { nullptr }, {}, names, ImportContent::conversionCheckOf (nullptr));
    EXPECT_EQ (noCatalogue.classify (presetFileOfVersion (3)), SysEx::fileOtherProduct);
}
