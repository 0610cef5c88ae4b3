#pragma once

#include "gui/dialogs/BelvoraDialog.h"

/** The choices of an export to SysEx files: the source, what to export, one
    file or one per preset, the file name or the per-file suffix, the folder.
    Writes nothing itself. */
class ExportContent : public juce::Component,
                      public juce::Button::Listener,
                      public juce::ComboBox::Listener,
                      public juce::TextEditor::Listener
{
public:
    ExportContent (const juce::String& exportFolder, const juce::StringArray& sourceNames,
                   const juce::Array<uint8_t>& sourceHasSetup, int selectedSourceIndex, bool hasSelectedPresets);
    ~ExportContent() override;

    /** The folder itself when it exists, else the user's documents folder. */
    static juce::String resolveExportFolder (const juce::String& folder);

    /** Day, month and year without leading zeros: 6_12_2026. */
    static juce::String dateTextOf (juce::Time date);

    // The choices, read after a modal result of 1.
    juce::String getExportFolder() const   { return labelPath.getText(); }
    juce::String getFileName() const       { return textEditorFilename.getText(); }
    juce::String getFileSuffix() const     { return suffixEditor.getText(); }
    int getSourceIndex() const             { return comboBoxDataSource.getSelectedId() - 1; }
    bool isSetupData() const               { return toggleButtonSetupData.getToggleState(); }
    bool isAllPresets() const              { return toggleButtonAllPresets.getToggleState(); }
    bool isSingleFile() const              { return toggleButtonSingleFile.getToggleState(); }

    const juce::String& getDateText() const noexcept   { return dateText; }

    void buttonClicked (juce::Button* button) override;
    void comboBoxChanged (juce::ComboBox* combo) override;
    void textEditorTextChanged (juce::TextEditor& editor) override;
    void textEditorReturnKeyPressed (juce::TextEditor& editor) override;
    void textEditorFocusLost (juce::TextEditor& editor) override;
    void resized() override;

private:
    void sourceChanged();
    void kindChosen();
    void showNaming (bool singleFile);
    void updateStartButton();
    void browse();

    const juce::String dateText;
    juce::String presetsFileName, setupFileName;
    const bool hasSelectedPresets;
    const int selectedSourceIndex;
    const juce::Array<uint8_t> sourceHasSetup;

    juce::Label labelSource { "labelSource", "Export Source" };
    juce::ComboBox comboBoxDataSource { "comboBoxDataSource" };
    juce::Label labelData { "labelData", "Export Data" };
    juce::ToggleButton toggleButtonSelectedPresets { "Selected Presets" };
    juce::ToggleButton toggleButtonAllPresets { "All Presets" };
    juce::ToggleButton toggleButtonSetupData { "Setup Data" };
    juce::Label labelFileHandling { "labelFileHandling", "File Handling" };
    juce::ToggleButton toggleButtonSingleFile { "Single File" };
    juce::ToggleButton toggleButtonOneFilePer { "One File Per Preset" };
    juce::Label labelFileNaming { "labelFileNaming", "File Naming" };
    juce::Label labelFilename { "labelFilename", "Name" };
    juce::TextEditor textEditorFilename { "textEditorFilename" };
    juce::Label labelSuffix { "labelSuffix", "Suffix" };
    juce::TextEditor suffixEditor { "new text editor" };
    juce::Label labelFilenameExample { "labelFilenameExample" };
    juce::Label labelLocation { "labelLocation", "Location" };
    juce::Label labelPath { "labelPath" };
    juce::TextButton chooseFolderButton { "Browse..." };
    juce::TextButton textButtonStartExport { "Start Export" };
    juce::TextButton textButtonCancel { "Cancel" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ExportContent)
};

/** "Export": the modal result is 1 for "Start Export", 0 for "Cancel" or closing. */
class ExportDialog : public BelvoraDialog
{
public:
    ExportDialog (juce::Component* parent, const juce::String& exportFolder, const juce::StringArray& sourceNames,
                  const juce::Array<uint8_t>& sourceHasSetup, int selectedSourceIndex, bool hasSelectedPresets);

    ExportContent& getExportContent() const;

    juce::String getExportFolder() const   { return getExportContent().getExportFolder(); }
    juce::String getFileName() const       { return getExportContent().getFileName(); }
    juce::String getFileSuffix() const     { return getExportContent().getFileSuffix(); }
};
