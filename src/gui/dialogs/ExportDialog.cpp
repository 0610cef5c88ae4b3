#include "gui/dialogs/ExportDialog.h"

#include "gui/Palette.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/widgets/WidgetMetrics.h"

namespace
{
    constexpr int dataGroup = 100, fileGroup = 200;

    juce::String exampleFor (const juce::String& suffix)
    {
        return suffix.isEmpty() ? juce::String ("(e.g. Preset_1.syx)") : "(e.g. Preset_1_" + suffix + ".syx)";
    }
}

ExportContent::ExportContent (const juce::String& exportFolder, const juce::StringArray& sourceNames,
                              const juce::Array<uint8_t>& hasSetup, int selectedSource, bool anyPresetSelected)
    : dateText (dateTextOf (juce::Time::getCurrentTime())),
      presetsFileName ("AllPresets_" + dateText + ".syx"),
      setupFileName ("Setup_" + dateText + ".syx"),
      hasSelectedPresets (anyPresetSelected),
      selectedSourceIndex (selectedSource),
      sourceHasSetup (hasSetup)
{
    const auto f = WidgetMetrics::fontSize (*this);

    for (auto* label : { &labelSource, &labelData, &labelFileHandling, &labelFileNaming, &labelLocation })
        label->setFont (BVLookAndFeel::makeFont (f, juce::Font::bold));

    for (auto* label : { &labelFilename, &labelSuffix, &labelFilenameExample, &labelPath })
        label->setFont (BVLookAndFeel::makeFont (f));

    for (auto* label : { &labelSource, &labelData, &labelFileHandling, &labelFileNaming, &labelLocation,
                         &labelFilename, &labelSuffix, &labelFilenameExample, &labelPath })
        label->setBorderSize (WidgetMetrics::labelBorder (*this));

    labelSuffix.setJustificationType (juce::Justification::centredRight);

    for (auto* editor : { &textEditorFilename, &suffixEditor })
    {
        editor->setFont (BVLookAndFeel::makeFont (f));
        editor->setJustification (juce::Justification::centredLeft);
    }

    for (auto* toggle : { &toggleButtonSelectedPresets, &toggleButtonAllPresets, &toggleButtonSetupData })
        toggle->setRadioGroupId (dataGroup);

    for (auto* toggle : { &toggleButtonSingleFile, &toggleButtonOneFilePer })
        toggle->setRadioGroupId (fileGroup);

    comboBoxDataSource.setTextWhenNothingSelected ("<select source>");
    comboBoxDataSource.setTextWhenNoChoicesAvailable ("(no choices)");

    juce::Component* children[] = { &labelSource, &comboBoxDataSource, &labelData, &toggleButtonSelectedPresets,
                                    &toggleButtonAllPresets, &toggleButtonSetupData, &labelFileHandling,
                                    &toggleButtonSingleFile, &toggleButtonOneFilePer, &labelFileNaming, &labelFilename,
                                    &textEditorFilename, &labelSuffix, &suffixEditor, &labelFilenameExample,
                                    &labelLocation, &labelPath, &chooseFolderButton, &textButtonStartExport,
                                    &textButtonCancel };
    for (auto* child : children)
    {
        if (auto* button = dynamic_cast<juce::Button*> (child))
            button->addListener (this);

        addAndMakeVisible (child);
    }

    const std::pair<juce::Button*, const char*> buttonNames[] =
    {
        { &toggleButtonSelectedPresets, "toggleButtonSelectedPresets" }, { &toggleButtonAllPresets, "toggleButtonAllPresets" },
        { &toggleButtonSetupData, "toggleButtonSetupData" }, { &toggleButtonSingleFile, "toggleButtonSingleFile" },
        { &toggleButtonOneFilePer, "toggleButtonOneFilePer" }, { &chooseFolderButton, "chooseFolderButton" },
        { &textButtonStartExport, "textButtonStartExport" }, { &textButtonCancel, "textButtonCancel" }
    };
    for (auto& [button, name] : buttonNames)
        button->setName (name);

    // As they are read: the left column, the right one, then the folder and the buttons below.
    juce::Component* focusOrder[] = { &comboBoxDataSource, &toggleButtonSelectedPresets, &toggleButtonAllPresets,
                                      &toggleButtonSetupData, &toggleButtonSingleFile, &toggleButtonOneFilePer,
                                      &textEditorFilename, &suffixEditor, &chooseFolderButton, &textButtonStartExport,
                                      &textButtonCancel };
    for (int i = 0; i < (int) std::size (focusOrder); ++i)
        focusOrder[i]->setExplicitFocusOrder (i + 1);

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt (600.0f * s), juce::roundToInt (310.0f * s));

    labelPath.setText (resolveExportFolder (exportFolder), juce::dontSendNotification);

    suffixEditor.setText (dateText, false);
    textEditorFilename.setText (presetsFileName, false);
    labelFilenameExample.setText (exampleFor (dateText), juce::dontSendNotification);
    showNaming (true);
    textEditorFilename.addListener (this);
    suffixEditor.addListener (this);

    comboBoxDataSource.addItemList (sourceNames, 1);
    comboBoxDataSource.setSelectedId (selectedSourceIndex + 1, juce::dontSendNotification);
    comboBoxDataSource.addListener (this);

    if (hasSelectedPresets)
        toggleButtonSelectedPresets.setToggleState (true, juce::dontSendNotification);
    else
        toggleButtonAllPresets.setToggleState (true, juce::dontSendNotification);

    toggleButtonSelectedPresets.setEnabled (hasSelectedPresets);
    toggleButtonSingleFile.setToggleState (true, juce::dontSendNotification);
    toggleButtonSetupData.setVisible (std::any_of (sourceHasSetup.begin(), sourceHasSetup.end(), [] (uint8_t b) { return b != 0; }));

    // The preselected source decides as a chosen one does: without setup data there is none to export.
    sourceChanged();
    kindChosen();
}

ExportContent::~ExportContent() = default;

juce::String ExportContent::resolveExportFolder (const juce::String& folder)
{
    if (juce::File::isAbsolutePath (folder) && juce::File (folder).isDirectory())
        return folder;

    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getFullPathName();
}

juce::String ExportContent::dateTextOf (juce::Time date)
{
    return juce::String (date.getDayOfMonth()) + "_" + juce::String (date.getMonth() + 1) + "_" + juce::String (date.getYear());
}

//==============================================================================
void ExportContent::sourceChanged()
{
    const auto index = getSourceIndex();
    auto fallBackToAll = false;

    if (hasSelectedPresets)
    {
        toggleButtonSelectedPresets.setEnabled (index == selectedSourceIndex);
        fallBackToAll = ! toggleButtonSelectedPresets.isEnabled() && toggleButtonSelectedPresets.getToggleState();
    }

    if (juce::isPositiveAndBelow (index, sourceHasSetup.size()))
    {
        toggleButtonSetupData.setEnabled (sourceHasSetup[index] != 0);
        fallBackToAll = fallBackToAll || (! toggleButtonSetupData.isEnabled() && toggleButtonSetupData.getToggleState());
    }

    if (fallBackToAll)
    {
        toggleButtonAllPresets.setToggleState (true, juce::dontSendNotification);
        kindChosen();
    }

    updateStartButton();
}

/** Follows the kind of data now on: its remembered name, and one file per preset only for presets. */
void ExportContent::kindChosen()
{
    const auto setup = isSetupData();

    // A proposed name says what goes in the file; a name the user typed stays.
    const auto allName = "AllPresets_" + dateText + ".syx", selectedName = "SelectedPresets_" + dateText + ".syx";

    if (presetsFileName == allName || presetsFileName == selectedName)
        presetsFileName = isAllPresets() ? allName : selectedName;

    textEditorFilename.setText (setup ? setupFileName : presetsFileName, false);
    toggleButtonOneFilePer.setEnabled (! setup);

    if (setup)
    {
        toggleButtonSingleFile.setToggleState (true, juce::dontSendNotification);
        showNaming (true);
    }

    updateStartButton();
}

void ExportContent::showNaming (bool singleFile)
{
    labelFilename.setVisible (singleFile);
    textEditorFilename.setVisible (singleFile);

    for (auto* c : std::initializer_list<juce::Component*> { &labelFilenameExample, &suffixEditor, &labelSuffix })
        c->setVisible (! singleFile);

    updateStartButton();
}

void ExportContent::updateStartButton()
{
    // A single file needs a name; one file per preset is named by the presets and the suffix.
    const auto named = ! isSingleFile() || textEditorFilename.getText().isNotEmpty();
    textButtonStartExport.setEnabled (named && getSourceIndex() >= 0);
}

void ExportContent::browse()
{
    const auto chosen = FileChoosers::choose ({ FileChoosers::Mode::chooseFolder, "Select the export folder",
                                                juce::File (labelPath.getText()), "*.syx" });
    if (! chosen.isEmpty())
        labelPath.setText (chosen.getFirst().getFullPathName(), juce::dontSendNotification);
}

//==============================================================================
void ExportContent::buttonClicked (juce::Button* button)
{
    if (button == &chooseFolderButton)
        browse();
    else if (button == &toggleButtonSelectedPresets || button == &toggleButtonAllPresets || button == &toggleButtonSetupData)
        kindChosen();
    else if (button == &toggleButtonSingleFile)
        showNaming (true);
    else if (button == &toggleButtonOneFilePer)
        showNaming (false);
    else if (button == &textButtonStartExport)
        BelvoraDialog::closeWith (*this, 1);
    else if (button == &textButtonCancel)
        BelvoraDialog::closeWith (*this, 0);
}

void ExportContent::comboBoxChanged (juce::ComboBox* combo)
{
    if (combo == &comboBoxDataSource)
        sourceChanged();
}

void ExportContent::textEditorTextChanged (juce::TextEditor& editor)
{
    const auto text = editor.getText();
    const auto legal = juce::File::createLegalFileName (text);

    if (legal != text)
    {
        const auto caret = editor.getCaretPosition();
        editor.setText (legal, false);
        editor.setCaretPosition (juce::jmax (0, caret - 1));
    }

    if (&editor == &suffixEditor)
        labelFilenameExample.setText (exampleFor (legal), juce::dontSendNotification);
    else if (isSetupData())
        setupFileName = legal;
    else
        presetsFileName = legal;

    updateStartButton();
}

void ExportContent::textEditorReturnKeyPressed (juce::TextEditor&)
{
    // Return in a field starts the export, as in any dialog with a default button.
    if (textButtonStartExport.isEnabled())
        textButtonStartExport.triggerClick();
}

void ExportContent::textEditorFocusLost (juce::TextEditor& editor)
{
    if (&editor != &textEditorFilename || editor.getText().isNotEmpty())
        return;

    // The editor stays empty; a kind chosen later brings the name back.
    const auto name = (isSetupData() ? "Setup_" : "AllPresets_") + suffixEditor.getText() + ".syx";
    (isSetupData() ? setupFileName : presetsFileName) = name;
}

void ExportContent::resized()
{
    const auto [f, s, g] = WidgetMetrics::sizes (*this);
    const auto px = WidgetMetrics::pixels (*this);
    const auto w = getWidth(), h = getHeight();

    const auto row = (int) (2.0f * f);
    const auto caption = (int) (1.75f * f);
    const auto toggle = juce::roundToInt (f / 0.75f);
    const auto column = w / 2 - g - g / 2;
    const auto left = g, right = w / 2 + g / 2;

    auto stack = [&] (juce::Component& c, int x, int y, int width, int height) { c.setBounds (x, y, width, height); return c.getBottom(); };

    // Left: the source and what to export.
    auto y = stack (labelSource, left, g, column, caption);
    y = stack (comboBoxDataSource, left + g, y + px (4.0f), column - g, caption);
    y = stack (labelData, left, y + g, column, caption);

    for (auto* t : { &toggleButtonSelectedPresets, &toggleButtonAllPresets, &toggleButtonSetupData })
        y = stack (*t, left + g, y + px (2.0f), column - g, toggle);

    // Right: one file or many, and their names.
    y = stack (labelFileHandling, right, g, column, caption);
    y = stack (toggleButtonSingleFile, right + g, y + px (2.0f), column - g, toggle);
    y = stack (toggleButtonOneFilePer, right + g, y + px (2.0f), column - g, toggle);

    y = stack (labelFileNaming, right, juce::jmax (labelData.getY(), y + g), column, caption);
    const auto nameWidth = juce::roundToInt (60.0f * s);
    const auto editorX = right + g + nameWidth;
    labelFilename.setBounds (right + g, y + px (4.0f), nameWidth, caption);
    labelSuffix.setBounds (labelFilename.getBounds());
    y = stack (textEditorFilename, editorX, y + px (4.0f), right + column - editorX, caption);
    suffixEditor.setBounds (textEditorFilename.getBounds());
    labelFilenameExample.setBounds (editorX, y + px (2.0f), right + column - editorX, caption);

    // Bottom: the folder, then the two buttons.
    const auto buttonWidth = WidgetMetrics::textButtonWidth (juce::roundToInt (80.0f * s), row,
                                                             { &textButtonStartExport, &textButtonCancel, &chooseFolderButton });
    const auto buttonY = h - row - g;
    textButtonCancel.setBounds (w - buttonWidth - g, buttonY, buttonWidth, row);
    textButtonStartExport.setBounds (textButtonCancel.getX() - buttonWidth - g, buttonY, buttonWidth, row);

    const auto pathY = buttonY - g - row;
    chooseFolderButton.setBounds (w - buttonWidth - g, pathY, buttonWidth, row);
    labelPath.setBounds (left + g, pathY, chooseFolderButton.getX() - g - (left + g), row);
    labelLocation.setBounds (left, pathY - caption, column, caption);
}

//==============================================================================
ExportDialog::ExportDialog (juce::Component* parent, const juce::String& exportFolder, const juce::StringArray& sourceNames,
                            const juce::Array<uint8_t>& sourceHasSetup, int selectedSourceIndex, bool hasSelectedPresets)
    : BelvoraDialog ("Export", Palette::dialogBackgroundColour,
                     std::make_unique<ExportContent> (exportFolder, sourceNames, sourceHasSetup, selectedSourceIndex,
                                                      hasSelectedPresets),
                     parent)
{
}

ExportContent& ExportDialog::getExportContent() const
{
    return *dynamic_cast<ExportContent*> (getContentComponent());
}
