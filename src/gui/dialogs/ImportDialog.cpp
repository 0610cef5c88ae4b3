#include "gui/dialogs/ImportDialog.h"

#include "app/Nexus.h"
#include "conversion/DataConversionManager.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/widgets/WidgetMetrics.h"
#include "model/DeviceData.h"
#include "model/SysEx.h"

namespace
{
    const char* const browseHint = "<Click 'Browse...' to select import file>";

    void setUpLabel (juce::Component& parent, juce::Label& label, const char* name, const juce::String& text)
    {
        label.setName (name);
        label.setFont (BVLookAndFeel::makeFont (WidgetMetrics::fontSize (parent)));
        label.setBorderSize (WidgetMetrics::labelBorder (parent));
        label.setText (text, juce::dontSendNotification);
        parent.addAndMakeVisible (label);
    }
}

ImportContent::ImportContent (const DeviceCaps& productCaps, const juce::Array<const DeviceData*>& destinations,
                              const juce::String& initialFile, const juce::StringArray& destinationNames,
                              ConversionCheck conversionCheck)
    : caps (productCaps), canConvert (std::move (conversionCheck))
{
    for (auto* data : destinations)
    {
        juce::StringArray names;

        for (int slot = 0; slot < caps.caps.numPresets; ++slot)
        {
            auto* preset = data != nullptr && slot < data->getNumSlots() ? data->getPreset (slot) : nullptr;
            names.add (preset != nullptr ? preset->getName() : juce::String());
        }

        destinationPresetNames.push_back (names);
    }

    chooseFolderButton.setName ("chooseFolderButton");
    addAndMakeVisible (chooseFolderButton);
    setUpLabel (*this, labelPath, "labelPath", browseHint);
    setUpLabel (*this, labelFile, "labelFile", "File");

    comboBoxDataDestination.setName ("comboBoxDataDestination");
    comboBoxDataDestination.setTextWhenNothingSelected ("<select destination>");
    comboBoxDataDestination.setTextWhenNoChoicesAvailable ("(no choices)");
    addAndMakeVisible (comboBoxDataDestination);

    setUpLabel (*this, labelDestination, "labelDestination", "Import Destination");
    setUpLabel (*this, labelStartingPosition, "labelStartingPosition", "Starting Preset Location");

    textButtonStartImport.setName ("textButtonStartImport");
    textButtonCancel.setName ("textButtonCancel");
    addAndMakeVisible (textButtonStartImport);
    addAndMakeVisible (textButtonCancel);

    comboBoxPresetOrder.setName ("comboBoxPresetOrder");
    comboBoxPresetOrder.setTextWhenNothingSelected ("<original order>");
    comboBoxPresetOrder.setTextWhenNoChoicesAvailable ("(no choices)");
    addAndMakeVisible (comboBoxPresetOrder);

    for (auto* b : { &chooseFolderButton, &textButtonStartImport, &textButtonCancel })
        b->addListener (this);

    comboBoxDataDestination.addListener (this);

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt (600.0f * s), juce::roundToInt (200.0f * s));

    comboBoxDataDestination.addItemList (destinationNames, 1);

    // The usual list puts the workspace third; a shorter one starts at its first entry.
    if (destinationNames.size() > 0)
        comboBoxDataDestination.setSelectedId (destinationNames.size() >= 3 ? 3 : 1, juce::dontSendNotification);

    fillPositions();

    const juce::File file (juce::File::isAbsolutePath (initialFile) ? initialFile : juce::String());
    lastFolder = file.getParentDirectory();

    if (file.existsAsFile())
        chooseFiles ({ file }, false);
    else
        updateStartButton();
}

ImportContent::~ImportContent() = default;

ImportContent::ConversionCheck ImportContent::conversionCheckOf (const ContentManager* content)
{
    if (content == nullptr)
        return {};

    return [content] (int fromProduct, int fromVersion, int toProduct, int toVersion, int kind)
    {
        DataConversionManager conversions (*content);
        return conversions.checkConversion (fromProduct, fromVersion, toProduct, toVersion, kind);
    };
}

//==============================================================================
juce::StringArray ImportContent::getPositionList() const
{
    juce::StringArray list;
    const auto index = comboBoxDataDestination.getSelectedId() - 1;

    for (int slot = 0; slot < caps.caps.numPresets; ++slot)
    {
        juce::String name;

        if (juce::isPositiveAndBelow (index, (int) destinationPresetNames.size()))
            name = destinationPresetNames[(size_t) index][slot];

        list.add (juce::String (slot) + ": " + (name.isNotEmpty() ? name : juce::String ("<empty>")));
    }

    return list;
}

int ImportContent::getSelectedDestinationId() const
{
    return comboBoxDataDestination.getSelectedId();
}

int ImportContent::getSelectedStartId() const
{
    return comboBoxPresetOrder.isVisible() ? juce::jmax (originalOrderId, comboBoxPresetOrder.getSelectedId()) : originalOrderId;
}

//==============================================================================
juce::uint32 ImportContent::classify (const juce::File& file) const
{
    int productId = SysEx::placeholderProductId, version = 0;
    const auto status = SysEx::peekFile (file, productId, version);
    const auto& block = caps.caps;

    if (status == SysEx::fileSetup || status == SysEx::filePreset)
    {
        const auto isSetup = status == SysEx::fileSetup;
        const auto expected = isSetup ? block.setupVersion : block.presetVersion;

        // The data is converted from the file's format into the destination's.
        if (productId != block.productId || version != expected)
            if (canConvert == nullptr || ! canConvert (productId, version, block.productId, expected, isSetup ? 2 : 1))
                return SysEx::fileOtherProduct;

        return status;
    }

    return productId != block.productId ? SysEx::fileOtherProduct : status;
}

juce::String ImportContent::messageFor (juce::uint32 status)
{
    switch (status)
    {
        case SysEx::fileSetup:
        case SysEx::filePreset:
            return {};

        case SysEx::fileOtherCommand:
            return "The specified file contains unsupported SysEx messages.";

        case SysEx::fileOtherProduct:
            return "The SysEx file is either meant for a different Marrowell product, or does not contain preset or setup data.";

        default:
            return "The specified file does not contain valid SysEx data.";
    }
}

void ImportContent::chooseFiles (const juce::Array<juce::File>& files, bool tellUser)
{
    chosenFiles.clear();

    if (files.isEmpty())
        return updateStartButton();

    lastFolder = files.getFirst().getParentDirectory();   // kept when the file is refused

    const auto status = classify (files.getFirst());
    const auto message = messageFor (status);

    if (message.isNotEmpty())
    {
        labelPath.setText (browseHint, juce::dontSendNotification);
        updateStartButton();

        if (tellUser)
            Alerts::showWarning (this, "SysEx File Error", message);

        return;
    }

    chosenFiles = files;
    comboBoxDataDestination.setVisible (true);
    labelDestination.setVisible (true);
    showStartPosition (status == SysEx::filePreset);
    labelPath.setText (files.size() > 1 ? juce::String ("<Multiple Files Selected>") : files.getFirst().getFullPathName(),
                       juce::dontSendNotification);
    updateStartButton();
}

void ImportContent::showStartPosition (bool shown)
{
    comboBoxPresetOrder.setVisible (shown);
    labelStartingPosition.setVisible (shown);
}

void ImportContent::fillPositions()
{
    comboBoxPresetOrder.clear (juce::dontSendNotification);
    comboBoxPresetOrder.addItem ("<original order>", originalOrderId);

    const auto positions = getPositionList();

    for (int slot = 1; slot < positions.size(); ++slot)
        comboBoxPresetOrder.addItem (positions[slot], slot + 2);

    comboBoxPresetOrder.setSelectedId (originalOrderId, juce::dontSendNotification);
}

void ImportContent::updateStartButton()
{
    textButtonStartImport.setEnabled (! chosenFiles.isEmpty() && comboBoxDataDestination.getSelectedId() > 0);
}

juce::File ImportContent::getBrowseStart() const
{
    // The file shown, else the folder last used, else the user's documents or home
    // (never the program's working folder).
    const juce::File shown (juce::File::isAbsolutePath (labelPath.getText()) ? labelPath.getText() : juce::String());

    if (shown.existsAsFile())
        return shown;

    if (lastFolder.isDirectory() && lastFolder != juce::File())
        return lastFolder;

    const auto documents = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    return documents.isDirectory() ? documents : juce::File::getSpecialLocation (juce::File::userHomeDirectory);
}

void ImportContent::browse()
{
    const auto files = FileChoosers::choose ({ FileChoosers::Mode::openFiles, "Select the import file(s)", getBrowseStart(), "*.syx" });
    if (! files.isEmpty())
        chooseFiles (files, true);
}

//==============================================================================
void ImportContent::buttonClicked (juce::Button* button)
{
    if (button == &chooseFolderButton)
        browse();
    else if (button == &textButtonStartImport)
        BelvoraDialog::closeWith (*this, 1);
    else if (button == &textButtonCancel)
        BelvoraDialog::closeWith (*this, 0);
}

void ImportContent::comboBoxChanged (juce::ComboBox* combo)
{
    if (combo != &comboBoxDataDestination)
        return;

    fillPositions();
    updateStartButton();
}

void ImportContent::resized()
{
    const auto [f, s, g] = WidgetMetrics::sizes (*this);
    const auto px = WidgetMetrics::pixels (*this);
    const auto w = getWidth(), h = getHeight();

    const auto row = (int) (2.0f * f);
    const auto caption = (int) (1.75f * f);
    const auto captionWidth = (int) (180.0f * s);
    const auto buttonWidth = WidgetMetrics::textButtonWidth (juce::roundToInt (80.0f * s), row,
                                                             { &textButtonCancel, &chooseFolderButton, &textButtonStartImport });

    labelFile.setBounds (g, g, captionWidth, caption);
    labelPath.setBounds (2 * g, labelFile.getBottom() + px (6.0f), w - 3 * g - buttonWidth, row);
    textButtonCancel.setBounds (w - buttonWidth - g, h - row - g, buttonWidth, row);
    textButtonStartImport.setBounds (textButtonCancel.getX() - buttonWidth - g, textButtonCancel.getY(), buttonWidth, row);
    chooseFolderButton.setBounds (textButtonCancel.getX(), labelPath.getY(), buttonWidth, row);
    labelDestination.setBounds (g, chooseFolderButton.getBottom() + 2 * g, captionWidth, caption);
    labelStartingPosition.setBounds (w / 2, labelDestination.getY(), captionWidth, caption);
    comboBoxDataDestination.setBounds (px (16.0f), labelDestination.getBottom() + px (6.0f), w / 2 - px (32.0f), caption);

    const auto orderX = labelStartingPosition.getX() + g;
    comboBoxPresetOrder.setBounds (orderX, comboBoxDataDestination.getY(), chooseFolderButton.getRight() - orderX, caption);
}

//==============================================================================
ImportDialog::ImportDialog (juce::Component* parent, const DeviceCaps& caps, const juce::Array<const DeviceData*>& destinations,
                            const juce::String& initialFile, const juce::StringArray& destinationNames)
    : ImportDialog (parent, caps, destinations, initialFile, destinationNames,
                    ImportContent::conversionCheckOf (Nexus::getContentManager()))
{
}

ImportDialog::ImportDialog (juce::Component* parent, const DeviceCaps& caps, const juce::Array<const DeviceData*>& destinations,
                            const juce::String& initialFile, const juce::StringArray& destinationNames,
                            ImportContent::ConversionCheck canConvert)
    : BelvoraDialog ("Import", Palette::dialogBackgroundColour,
                     std::make_unique<ImportContent> (caps, destinations, initialFile, destinationNames, std::move (canConvert)),
                     parent)
{
}

ImportContent& ImportDialog::getImportContent() const
{
    return *dynamic_cast<ImportContent*> (getContentComponent());
}
