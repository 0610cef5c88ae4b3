#pragma once

#include "devices/DeviceCaps.h"
#include "gui/dialogs/BelvoraDialog.h"

#include <functional>
#include <vector>

class ContentManager;
class DeviceData;

/** The SysEx files to import, the destination and, for presets, the slot of the
    first imported preset. A chosen file is classified at once; only a preset or
    setup file of the product (or one the conversion rules can turn into its
    format) lets the import start. */
class ImportContent : public juce::Component,
                      public juce::Button::Listener,
                      public juce::ComboBox::Listener
{
public:
    /** Whether data of one product and format version converts to another (kind 1 preset, 2 setup). */
    using ConversionCheck = std::function<bool (int fromProduct, int fromVersion, int toProduct, int toVersion, int kind)>;

    /** The destinations are read here and not kept (null: every slot empty). */
    ImportContent (const DeviceCaps& caps, const juce::Array<const DeviceData*>& destinations,
                   const juce::String& initialFile, const juce::StringArray& destinationNames,
                   ConversionCheck canConvert);
    ~ImportContent() override;

    /** The conversion rules of the catalogue (none without one). */
    static ConversionCheck conversionCheckOf (const ContentManager* content);

    /** Start ids: 1 keeps the presets' own numbers, s + 2 starts at slot s. */
    static constexpr int originalOrderId = 1;

    /** The start slot importSysEx takes for a start id: -1 for the presets' own numbers. */
    static int startSlotFor (int startId)   { return startId > originalOrderId ? startId - 2 : -1; }

    /** "%d: name" or "%d: <empty>" for slots 0 .. numPresets - 1 of the selected destination. */
    juce::StringArray getPositionList() const;

    // The choices, read after a modal result of 1.
    const juce::Array<juce::File>& getChosenFiles() const noexcept   { return chosenFiles; }

    /** Where "Browse..." opens. */
    juce::File getBrowseStart() const;
    int getSelectedDestinationId() const;
    int getSelectedStartId() const;

    /** 1 setup, 2 preset (of this product and format, or convertible to them), else the reason. */
    juce::uint32 classify (const juce::File& file) const;

    /** The warning for a status that refuses a file; empty for 1 and 2. */
    static juce::String messageFor (juce::uint32 status);

    /** Takes files as the chooser gave them: the first decides; a refused one is told
        to the user when tellUser is set and leaves nothing chosen. */
    void chooseFiles (const juce::Array<juce::File>& files, bool tellUser);

    void buttonClicked (juce::Button* button) override;
    void comboBoxChanged (juce::ComboBox* combo) override;
    void resized() override;

private:
    void showStartPosition (bool shown);
    void fillPositions();
    void updateStartButton();
    void browse();

    const DeviceCaps caps;
    std::vector<juce::StringArray> destinationPresetNames;   // per destination, per slot; empty text for an empty slot
    const ConversionCheck canConvert;
    juce::Array<juce::File> chosenFiles;
    juce::File lastFolder;

    juce::TextButton chooseFolderButton { "Browse..." };
    juce::Label labelPath, labelFile, labelDestination, labelStartingPosition;
    juce::ComboBox comboBoxDataDestination;
    juce::TextButton textButtonStartImport { "Start Import" }, textButtonCancel { "Cancel" };
    juce::ComboBox comboBoxPresetOrder;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ImportContent)
};

/** "Import": the modal result is 1 for "Start Import", 0 for "Cancel" or closing. */
class ImportDialog : public BelvoraDialog
{
public:
    /** Conversions are checked with the running program's catalogue. */
    ImportDialog (juce::Component* parent, const DeviceCaps& caps, const juce::Array<const DeviceData*>& destinations,
                  const juce::String& initialFile, const juce::StringArray& destinationNames);

    ImportDialog (juce::Component* parent, const DeviceCaps& caps, const juce::Array<const DeviceData*>& destinations,
                  const juce::String& initialFile, const juce::StringArray& destinationNames,
                  ImportContent::ConversionCheck canConvert);

    ImportContent& getImportContent() const;

    const juce::Array<juce::File>& getChosenFiles() const   { return getImportContent().getChosenFiles(); }
    int getSelectedDestinationId() const                     { return getImportContent().getSelectedDestinationId(); }
    int getSelectedStartId() const                           { return getImportContent().getSelectedStartId(); }
};
