// The file-replace prompt, import, MIDI device list, firmware chooser, export,
// options and file chooser dialogs in their notable states: the whole window
// with a display, its content without one.

#include "base/BelvoraSettings.h"
#include "gallery/Gallery.h"
#include "gui/DialogFixtures.h"
#include "gui/dialogs/ExportDialog.h"
#include "gui/dialogs/FileChooserDialog.h"
#include "gui/dialogs/FirmwareChooserDialog.h"
#include "gui/dialogs/ImportDialog.h"
#include "gui/dialogs/MidiDevicesDialog.h"
#include "gui/dialogs/OptionsDialog.h"
#include "gui/dialogs/WarnFileReplaceDialog.h"
#include "support/TestEnvironment.h"

using namespace DialogFixtures;

namespace
{
    /** The window when there is a display, else its content; prepare sees the content either way. */
    template <typename Dialog, typename Content>
    std::unique_ptr<juce::Component> screen (std::function<std::unique_ptr<Dialog>()> makeDialog,
                                             std::function<std::unique_ptr<Content>()> makeContent,
                                             std::function<void (Content&)> prepare = {})
    {
        if (TestEnvironment::hasDisplay())
        {
            auto dialog = makeDialog();

            if (prepare != nullptr)
                prepare (*dynamic_cast<Content*> (dialog->getContentComponent()));

            return dialog;
        }

        auto content = makeContent();

        if (prepare != nullptr)
            prepare (*content);

        return content;
    }

    //==============================================================================
    std::unique_ptr<juce::Component> replacePrompt (bool forAll, const char* path = "/home/singer/Presets/AllPresets_6_12_2026.syx")
    {
        const auto message = WarnFileReplaceDialog::messageFor (juce::File (path));

        return screen<WarnFileReplaceDialog, FileReplaceComponent> (
            [=] { return std::make_unique<WarnFileReplaceDialog> (nullptr, "Replace File", message, forAll); },
            [=] { return std::make_unique<FileReplaceComponent> (message, forAll); });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> importScreen (const juce::Array<int>& slotsInFile, bool withFile)
    {
        const auto workspace = makeData (vesper, { 1, 2, 5 });
        const juce::Array<const DeviceData*> destinations { nullptr, nullptr, workspace.get() };
        const juce::StringArray names { "Vesper (device)", "Vesper_000012 (backup)", "Workspace" };

        juce::String path;

        if (withFile)
            path = writeSysExFile (freshFolder ("gallery import").getChildFile ("Vocal_Presets.syx"), vesper, slotsInFile)
                       .getFullPathName();

        return screen<ImportDialog, ImportContent> (
            [=] { return std::make_unique<ImportDialog> (nullptr, capsOf (vesper), destinations, path, names, nullptr); },
            [=] { return std::make_unique<ImportContent> (capsOf (vesper), destinations, path, names, nullptr); });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> deviceList (const MidiDeviceTable& table)
    {
        return screen<MidiDevicesDialog, MidiDevicesComp> (
            [=] { return std::make_unique<MidiDevicesDialog> (table); },
            [=] { return std::make_unique<MidiDevicesComp> (table); });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> firmwareChooser (bool withUpdates, int installedBuild = 140, bool focusOnList = false)
    {
        FirmwareChooserContext context;
        context.productId = vesper;
        context.activeProductId = vesper;
        context.activeDisplayName = "Vesper Black";
        context.activeVersion = FirmwareVersion (0, 1, 4, 0, installedBuild);

        if (withUpdates)
            context.updates = sampleUpdates();

        return screen<FirmwareChooserDialog, FirmwareChooserContent> (
            [=] { return std::make_unique<FirmwareChooserDialog> (nullptr, ! withUpdates, context); },
            [=] { return std::make_unique<FirmwareChooserContent> (! withUpdates, context); },
            [=] (FirmwareChooserContent& content)
            {
                // The keyboard focus needs the window on the screen.
                auto* dialog = content.findParentComponentOfClass<FirmwareChooserDialog>();
                juce::ListBox* list = nullptr;

                for (auto* child : content.getChildren())
                    if (child->getName() == "list")
                        list = dynamic_cast<juce::ListBox*> (child);

                if (focusOnList && dialog != nullptr && list != nullptr)
                {
                    dialog->setVisible (true);
                    list->grabKeyboardFocus();
                }
            });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> exportScreen (const juce::String& press, bool focusOnIt = false)
    {
        const juce::StringArray sources { "Workspace", "Vesper_000012 (backup)", "Live Vox 2.0 (pack)" };
        const juce::Array<uint8_t> hasSetup { 1, 1, 0 };
        const auto folder = freshFolder ("gallery export").getFullPathName();

        return screen<ExportDialog, ExportContent> (
            [=] { return std::make_unique<ExportDialog> (nullptr, folder, sources, hasSetup, 0, true); },
            [=] { return std::make_unique<ExportContent> (folder, sources, hasSetup, 0, true); },
            [=] (ExportContent& content)
            {
                for (auto* child : content.getChildren())
                {
                    auto* toggle = dynamic_cast<juce::ToggleButton*> (child);

                    if (toggle == nullptr || child->getName() != press)
                        continue;

                    toggle->setToggleState (true, juce::sendNotificationSync);

                    // The keyboard focus needs the window on the screen.
                    if (auto* dialog = content.findParentComponentOfClass<ExportDialog>(); focusOnIt && dialog != nullptr)
                    {
                        dialog->setVisible (true);
                        toggle->grabKeyboardFocus();
                    }
                }
            });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> options (BVLookAndFeel& laf, int tab)
    {
        BelvoraSettings::configureAppProperties();
        // The program runs at the scale its setting names: the slider shows it, the preview at its size.
        BelvoraSettings::getUserSettings().setValue ("uiScalingFactor", laf.getScale());

        return screen<OptionsDialog, OptionsContent> (
            [] { return std::make_unique<OptionsDialog> (nullptr); },
            [] { return std::make_unique<OptionsContent>(); },
            [=] (OptionsContent& content) { content.getTabs().setCurrentTabIndex (tab); });
    }

    //==============================================================================
    std::unique_ptr<juce::Component> fileChooser (FileChoosers::Mode mode, const char* title, bool focusOnList = false)
    {
        const auto folder = freshFolder ("gallery chooser");
        const auto folders = mode == FileChoosers::Mode::chooseFolder;
        folder.getChildFile ("Live Set").createDirectory();
        folder.getChildFile ("Rehearsals").createDirectory();

        for (auto* name : { "AllPresets_6_12_2026.syx", "Setup.syx", "Vocal_Presets.syx" })
            if (folder.getChildFile (name).replaceWithText ("F0 00 F7"))   // one date at both scales
                folder.getChildFile (name).setLastModificationTime (juce::Time (2026, 5, 12, 10, 30));

        const FileChoosers::Request request { mode, title, folders ? folder : folder.getChildFile ("Vocal_Presets.syx"), "*.syx" };

        return screen<FileChooserDialog, FileChooserContent> (
            [=] { return std::make_unique<FileChooserDialog> (request); },
            [=] { return std::make_unique<FileChooserContent> (request); },
            [=] (FileChooserContent& content)
            {
                // Listed on the browser's thread; the focus needs the window on the screen.
                auto& list = *dynamic_cast<juce::ListBox*> (content.getBrowser().getDisplayComponent());
                TestEnvironment::runMessageLoopUntil ([&] { return list.getModel()->getNumRows() == (folders ? 2 : 5); });

                if (auto* dialog = content.findParentComponentOfClass<FileChooserDialog>())
                {
                    dialog->setVisible (true);
                    focusOnList ? list.grabKeyboardFocus() : content.grabKeyboardFocus();
                }
            });
    }
}

BELVORA_SCREEN ("Dialogs/Replace file", [] (BVLookAndFeel&) { return replacePrompt (false); });
BELVORA_SCREEN ("Dialogs/Replace file: several files", [] (BVLookAndFeel&) { return replacePrompt (true); });
BELVORA_SCREEN ("Dialogs/Replace file: a long path", [] (BVLookAndFeel&)
{
    return replacePrompt (true, "/home/singer/Documents/Belvora_Exports/Vesper_Black_Live_Set/AllPresets_6_12_2026.syx");
});

BELVORA_SCREEN ("Dialogs/Import: nothing chosen", [] (BVLookAndFeel&) { return importScreen ({}, false); });
BELVORA_SCREEN ("Dialogs/Import: preset file", [] (BVLookAndFeel&) { return importScreen ({ 3, 4 }, true); });
BELVORA_SCREEN ("Dialogs/Import: setup file", [] (BVLookAndFeel&) { return importScreen ({}, true); });

BELVORA_SCREEN ("Dialogs/MIDI device list", [] (BVLookAndFeel&) { return deviceList (sampleDeviceTable()); });
BELVORA_SCREEN ("Dialogs/MIDI device list: only the connected unit", [] (BVLookAndFeel&)
{
    auto table = sampleDeviceTable();
    table.rows.resize (1);
    return deviceList (table);
});
BELVORA_SCREEN ("Dialogs/MIDI device list: nothing found", [] (BVLookAndFeel&) { return deviceList ({}); });

BELVORA_SCREEN ("Dialogs/Firmware chooser", [] (BVLookAndFeel&) { return firmwareChooser (true); });
BELVORA_SCREEN ("Dialogs/Firmware chooser: the newest build installed", [] (BVLookAndFeel&) { return firmwareChooser (true, 150); });
BELVORA_SCREEN ("Dialogs/Firmware chooser: keyboard focus on the list", [] (BVLookAndFeel&) { return firmwareChooser (true, 140, true); });
BELVORA_SCREEN ("Dialogs/Firmware chooser: no updates, custom file offered", [] (BVLookAndFeel&) { return firmwareChooser (false); });

BELVORA_SCREEN ("Dialogs/Firmware chooser: build number of a custom file", [] (BVLookAndFeel& laf)
{
    auto prompt = FirmwareChooserContent::makeBuildNumberPrompt (150, nullptr);
    prompt->setLookAndFeel (&laf);
    return std::unique_ptr<juce::Component> (std::move (prompt));
});

BELVORA_SCREEN ("Dialogs/Export", [] (BVLookAndFeel&) { return exportScreen ({}); });
BELVORA_SCREEN ("Dialogs/Export: one file per preset", [] (BVLookAndFeel&) { return exportScreen ("toggleButtonOneFilePer"); });
BELVORA_SCREEN ("Dialogs/Export: setup data", [] (BVLookAndFeel&) { return exportScreen ("toggleButtonSetupData"); });
BELVORA_SCREEN ("Dialogs/Export: keyboard focus on a choice", [] (BVLookAndFeel&) { return exportScreen ("toggleButtonAllPresets", true); });

BELVORA_SCREEN ("Dialogs/Options: General", [] (BVLookAndFeel& laf) { return options (laf, 0); });
BELVORA_SCREEN ("Dialogs/Options: Devices", [] (BVLookAndFeel& laf) { return options (laf, 1); });
BELVORA_SCREEN ("Dialogs/Options: Data", [] (BVLookAndFeel& laf) { return options (laf, 2); });

BELVORA_SCREEN ("Dialogs/File chooser: files to import", [] (BVLookAndFeel&) { return fileChooser (FileChoosers::Mode::openFiles, "Select the import file(s)"); });
BELVORA_SCREEN ("Dialogs/File chooser: keyboard focus on the list", [] (BVLookAndFeel&) { return fileChooser (FileChoosers::Mode::openFile, "Select update file...", true); });
BELVORA_SCREEN ("Dialogs/File chooser: a folder", [] (BVLookAndFeel&) { return fileChooser (FileChoosers::Mode::chooseFolder, "Select the export folder"); });
