// Presets and a setup written to ".syx" files with the choices of the export
// dialog and read back into other data with those of the import dialog, each
// dialog run modally and answered as the user would.

#include "gui/DialogFixtures.h"
#include "gui/DialogTestSupport.h"
#include "gui/dialogs/ExportDialog.h"
#include "gui/dialogs/ImportDialog.h"
#include "model/SysEx.h"

using namespace DialogFixtures;
using namespace DialogTests;

namespace
{
    class SysExRoundTripTest : public DisplayTest
    {
    protected:
        void SetUp() override
        {
            DisplayTest::SetUp();
            folder = freshFolder ("round trip");
        }

        /** Runs the export dialog with the kind and name given; writes what it asked for, as the data page does. */
        juce::File exportThroughDialog (const DeviceData& source, const juce::String& kind, const juce::String& name)
        {
            ChooserAnswers folderChoice (folder);
            ExportDialog dialog (nullptr, {}, { "Workspace" }, { 1 }, 0, false);

            const auto result = runModally (dialog, [&] (BelvoraDialog& d)
            {
                auto& content = *d.getContentComponent();
                get<juce::Button> (content, "toggleButton" + kind).setToggleState (true, juce::sendNotificationSync);
                get<juce::TextEditor> (content, "textEditorFilename").setText (name, true);
                click (get<juce::Button> (content, "chooseFolderButton"));
                get<juce::Button> (content, "textButtonStartExport").triggerClick();
            });

            EXPECT_EQ (result, 1);
            auto& choices = dialog.getExportContent();
            EXPECT_EQ (choices.getSourceIndex(), 0);
            EXPECT_TRUE (choices.isSingleFile());

            const auto file = juce::File (dialog.getExportFolder()).getChildFile (dialog.getFileName());
            const auto written = choices.isSetupData() ? source.exportSetup (file)
                                                       : source.exportPresets (file, source.getUsedPresetIndicesInRange (1, source.getNumSlots() - 1));
            EXPECT_TRUE (written);
            return file;
        }

        /** Runs the import dialog on the file, into the workspace from startSlot (-1: own numbers); imports as the data page does. */
        juce::uint32 importThroughDialog (const juce::File& file, DeviceData& workspace, int startSlot, juce::SortedSet<int>& changed)
        {
            ChooserAnswers fileChoice (file);
            ImportDialog dialog (nullptr, capsOf (vesper), { nullptr, nullptr, &workspace }, {},
                                 { "Vesper (device)", "Backup", "Workspace" }, nullptr);

            const auto result = runModally (dialog, [&] (BelvoraDialog& d)
            {
                auto& content = *d.getContentComponent();
                click (get<juce::Button> (content, "chooseFolderButton"));

                if (startSlot >= 0)
                    get<juce::ComboBox> (content, "comboBoxPresetOrder").setSelectedId (startSlot + 2);

                get<juce::Button> (content, "textButtonStartImport").triggerClick();
            });

            EXPECT_EQ (result, 1);
            EXPECT_EQ (dialog.getSelectedDestinationId(), 3);
            EXPECT_EQ (dialog.getChosenFiles(), juce::Array<juce::File> { file });
            return workspace.importSysEx (dialog.getChosenFiles().getFirst(), changed,
                                          ImportContent::startSlotFor (dialog.getSelectedStartId()));
        }

        juce::File folder;
    };
}

TEST_F (SysExRoundTripTest, PresetsAndSetupGoOutAndComeBackThroughTheDialogs)
{
    const auto source = makeData (vesper, { 2, 3, 7 });
    auto workspace = makeData (vesper, { 1 }, false);

    const auto presets = exportThroughDialog (*source, "AllPresets", "Tour Set.syx");
    EXPECT_EQ (presets, folder.getChildFile ("Tour Set.syx"));

    juce::SortedSet<int> changed;
    const auto status = importThroughDialog (presets, *workspace, 10, changed);
    EXPECT_EQ (status & 0xFFFF0000, 0u);
    EXPECT_EQ (changed.size(), 3);

    const std::pair<int, int> moved[] = { { 2, 10 }, { 3, 11 }, { 7, 12 } };
    for (auto& [from, to] : moved)
    {
        SCOPED_TRACE (to);
        ASSERT_TRUE (changed.contains (to));
        auto* original = source->getPreset (from);
        auto* imported = workspace->getPreset (to);
        ASSERT_NE (imported, nullptr);
        EXPECT_EQ (imported->getName(), original->getName());
        EXPECT_EQ (imported->getNumber(), to);
        EXPECT_EQ (imported->getNumSteps(), original->getNumSteps());

        for (int step = 0; step < original->getNumSteps(); ++step)
            EXPECT_EQ (imported->getStepValues (step), original->getStepValues (step));
    }

    EXPECT_EQ (workspace->getPreset (1)->getName(), "Preset 1");

    // The setup, into data that had none.
    const auto setup = exportThroughDialog (*source, "SetupData", "Studio.syx");
    juce::SortedSet<int> none;
    EXPECT_EQ (importThroughDialog (setup, *workspace, -1, none) & 0xFFFF0000, 0u);
    EXPECT_TRUE (none.isEmpty());
    EXPECT_TRUE (workspace->getSetup().isComplete());
    EXPECT_EQ (workspace->getSetup().getValues(), source->getSetup().getValues());
}
