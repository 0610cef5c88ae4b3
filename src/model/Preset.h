#pragma once

#include "model/DeviceMidiData.h"
#include "model/PresetName.h"

/** One preset: its header fields and its step packets (command 0x21), step s
    owning packets s*k .. s*k+k-1 with k the block's packets per step. */
class Preset : public DeviceMidiData
{
public:
    explicit Preset (const CapsBlock& caps);
    Preset (const Preset& other);
    Preset& operator= (const Preset& other);

    using DeviceMidiData::assign;

    int getKind() const override                { return kindPreset; }
    void clear() override;
    bool isCompatible (const DeviceMidiData& other) const override;
    bool isComplete() const override;
    int getExpectedNumMessages() const override;
    int getFormatVersion() const override       { return caps.presetVersion; }
    bool writeToStream (juce::OutputStream& out) const override;
    bool writeSysEx (juce::OutputStream& out) const override;

    /** Reads a preset record from its second field on (the first is the caller's slot marker). */
    bool readFromStream (juce::InputStream& in) override;

    bool hasName() const                        { return named; }
    const PresetName& getNameBlock() const      { return name; }
    int getNumber() const                       { return name.number; }
    int getNumSteps() const                     { return name.numSteps; }
    int getTags() const                         { return name.tags; }

    /** Takes a whole header; the preset then has a name. Always true. */
    bool setNameBytes (const PresetName& header);
    bool setNumber (int number);
    juce::String getName() const;
    bool setName (const juce::String& text);

    juce::Array<int> getStepValues (int step) const;
    bool setStepValues (int step, const juce::Array<int>& values);

    /** Step edits; each returns the number of steps added. */
    int insertSteps (const Preset& source, int position, const juce::SparseSet<int>& steps);
    int appendSteps (const Preset& source, const juce::SparseSet<int>& steps);
    int appendAllSteps (const Preset& source);
    bool replaceStep (const Preset& source, int step);

    /** Removes the listed steps (indices outside the preset are ignored) and
        returns the indices of the steps that remain. */
    juce::SparseSet<int> removeSteps (const juce::SparseSet<int>& steps);

protected:
    Digest calculateMD5() const override;

private:
    int packetsPerStep() const                  { return caps.numSyxPackagesPerPresetStep; }

    /** The source's packets of step s, those that exist, onto `list`. */
    void addSourceStep (juce::Array<juce::MidiMessage>& list, const Preset& source, int s) const;

    /** Packet i gets index i in byte 7; the preset is marked modified. */
    void renumber();

    bool named = false;
    PresetName name;
};
