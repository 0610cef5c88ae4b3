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
    /** The maker of the data names the product and hands in the factory bank
        of its firmware build, if there is one; copies share the bank. */
    DeviceData (const juce::String& productName, const FirmwareVersion& firmware, const CapsBlock& caps,
                std::shared_ptr<const FactoryBank> reference);
    ~DeviceData();

    std::unique_ptr<DeviceData> createCopy (const juce::Array<int>& indices, bool withSetup, bool clearFlags) const;
    std::unique_ptr<DeviceData> clone (bool clearFlags) const;

    const juce::String& getProductName() const           { return productName; }
    const FirmwareVersion& getFirmwareVersion() const    { return firmware; }
    const CapsBlock& getCapsBlock() const                { return caps; }
    const std::shared_ptr<const FactoryBank>& getFactoryBank() const   { return reference; }
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

    /** Replaces the file only once the whole new content is on disk. */
    SaveResult saveToFile (const juce::File& file) const;

    /** The largest data file read. */
    static constexpr juce::int64 maxFileBytes = 256 * 1024 * 1024;

    /** What a save would give before it writes anything: presetIncomplete or
        writeFailed when it cannot be saved, else saved. */
    SaveResult checkSavable() const;

    /** The product name is the file's; the reference is the factory bank of the
        file's product and build, when the caller has one. */
    static std::unique_ptr<DeviceData> loadFromFile (const juce::File& file,
                                                     std::shared_ptr<const FactoryBank> reference = {});

    /** What a data file says of itself before its slots. */
    struct FileInfo
    {
        juce::String productName;
        FirmwareVersion firmware;
        CapsBlock caps;
    };

    /** Reads only the head of a data file (a few hundred bytes), with the
        checks loadFromFile makes of it; false when the head is not one that
        loadFromFile would take. */
    static bool readFileInfo (const juce::File& file, FileInfo& info);

    /** The two workspace files of a unit's data folder, "working.mwd" (the copy
        being edited) and "sync.mwd" (the copy last exchanged with the unit). */
    static juce::String getWorkingFileName();
    static juce::String getSyncFileName();

    /** Saves as the working file (or the sync file) in the folder, making the folder when needed. */
    SaveResult saveWorkingFile (const juce::File& folder, bool working) const;

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
    bool writeHead (juce::OutputStream& out) const;
    bool writeBody (juce::OutputStream& out) const;

    /** A copy of the other's preset for this data: caps of this data, number of the slot. */
    std::unique_ptr<Preset> copyForSlot (const Preset& preset, int slot) const;

    juce::String productName;
    FirmwareVersion firmware;
    CapsBlock caps;
    std::vector<std::unique_ptr<Preset>> slots;
    SetupData setup;
    std::shared_ptr<const FactoryBank> reference;
    bool modified = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (DeviceData)
    JUCE_DECLARE_NON_COPYABLE (DeviceData)
};
