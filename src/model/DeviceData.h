#pragma once

#include "model/CapsBlock.h"
#include "model/FactoryBank.h"
#include "model/FirmwareVersion.h"
#include "model/Preset.h"
#include "model/SetupData.h"

#include <memory>
#include <vector>

/** The whole content of one unit, or of one stored copy of it: product name,
    firmware, capability block, preset slots (slot i holds preset number i;
    slot 0 is never a user slot), the setup, a modified flag and the factory
    reference. Saved and loaded as the ".mwd" file. */
class DeviceData
{
public:
    /** The name comes from the content catalogue; without a reference the
        product's factory bank for the firmware build is looked up. */
    DeviceData (const FirmwareVersion& firmware, const CapsBlock& caps, const FactoryBank* reference = nullptr);
    ~DeviceData();

    std::unique_ptr<DeviceData> createCopy (const juce::Array<int>& indices, bool withSetup, bool clearFlags) const;
    std::unique_ptr<DeviceData> clone (bool clearFlags) const;

    const juce::String& getProductName() const           { return productName; }

    /** For data of a product that the content catalogue does not know (yet). */
    void setProductName (const juce::String& name)       { productName = name; }
    const FirmwareVersion& getFirmwareVersion() const    { return firmware; }
    const CapsBlock& getCapsBlock() const                { return caps; }
    const FactoryBank* getFactoryBank() const            { return reference.get(); }
    int getNumSlots() const                              { return (int) slots.size(); }

    /** 1 .. numPresets - 1: the slots a user's preset may be placed in. */
    bool isUserSlot (int index) const;

    //==============================================================================
    bool isPresetSlotUsed (int index) const;
    Preset* getPreset (int index) const;
    Preset* createPreset (int index);

    /** Takes the preset into the slot; null (and the preset dropped) when the index is no slot. */
    Preset* setPreset (int index, std::unique_ptr<Preset> preset);

    void deletePreset (int index);
    void deletePresets (const juce::Array<int>& indices);
    void deleteAllPresets();

    /** Used slots, slot 0 included. */
    int getNumPresets() const;
    juce::Array<int> getUsedPresetIndices() const;
    juce::Array<int> getUsedPresetIndicesInRange (int first, int last) const;

    /** Empty slots from slot 1 on. */
    juce::Array<int> getEmptyPresetIndices() const;
    juce::StringArray getPresetNames (const juce::Array<int>& indices) const;

    bool isPresetModified (int index) const;
    void setPresetModified (int index, bool flag);

    void copyPreset (int index, const DeviceData& other);
    void copyPresetTo (int to, int from, const DeviceData& other);
    void swapPresets (int i, int j, DeviceData& other);
    int appendPresetSteps (int i, int j, const DeviceData& other);
    void copyPresetsFrom (const DeviceData& other);

    //==============================================================================
    const SetupData& getSetup() const                    { return setup; }
    SetupData& getSetup()                                { return setup; }
    bool setSetup (const SetupData& newSetup, bool markModified);
    void clearSetup();

    //==============================================================================
    bool isModified() const;
    void setModified (bool flag)                         { modified = flag; }
    void clearModified (bool onlyWhenPartsClean);

    bool isSameDeviceType (const CapsBlock& other) const;
    bool isPresetDifferent (int index) const;
    int getNumDifferentPresets() const;
    juce::Array<int> getDifferentPresetIndices() const;
    void getChangedPresetIndices (const DeviceData& other, juce::Array<int>& removed, juce::Array<int>& changed) const;
    bool hasGaps() const;
    bool matchesFileHeader (const juce::File& file) const;

    //==============================================================================
    void defragment (int last);
    juce::Array<int> getInsertIndices (int position, int count) const;
    void insertPresets (int position, const juce::Array<int>& indices, const DeviceData& source);

    //==============================================================================
    // The ".mwd" file.
    enum SaveResult { saved = 0, presetIncomplete = 1, writeFailed = 2 };

    int saveToFile (const juce::File& file) const;
    static std::unique_ptr<DeviceData> loadFromFile (const juce::File& file);

    /** Saves as "working.mwd" or "sync.mwd" in the folder through its temporary name. */
    int saveWorkingFile (const juce::File& folder, bool working) const;

    //==============================================================================
    // SysEx files.
    juce::uint32 importSysEx (const juce::File& file, juce::SortedSet<int>& changedSlots, int startSlot);
    bool exportPreset (const juce::File& file, int index, bool append) const;
    bool exportPresets (const juce::File& file, const juce::Array<int>& indices) const;
    bool exportSetup (const juce::File& file) const;
    bool saveFactoryBank (const juce::File& file) const;

private:
    /** The file's head: both version texts, the name and the caps block. */
    struct FileHeader
    {
        FirmwareVersion program;
        juce::String productName;
        FirmwareVersion firmware;
        CapsBlock caps;
    };

    static bool readFileHeader (juce::InputStream& in, FileHeader& header);
    bool writeToStream (juce::OutputStream& out) const;
    int writeBody (juce::OutputStream& out) const;

    /** A copy of the other's preset for this data: caps of this data, number of the slot. */
    std::unique_ptr<Preset> copyForSlot (const Preset& preset, int slot) const;

    juce::String productName;
    FirmwareVersion firmware;
    CapsBlock caps;
    std::vector<std::unique_ptr<Preset>> slots;
    SetupData setup;
    std::unique_ptr<FactoryBank> reference;
    bool modified = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (DeviceData)
    JUCE_DECLARE_NON_COPYABLE (DeviceData)
};
