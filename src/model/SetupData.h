#pragma once

#include "model/DeviceMidiData.h"

/** The unit's setup: its setup packets (command 0x13) and their format version. */
class SetupData : public DeviceMidiData
{
public:
    explicit SetupData (const CapsBlock& caps);
    SetupData (const SetupData& other);
    SetupData& operator= (const SetupData& other)  { assign (other); return *this; }

    /** Base assign plus the format version. */
    void assign (const DeviceMidiData& other) override;

    int getKind() const override                    { return kindSetup; }
    void clear() override;
    bool isCompatible (const DeviceMidiData& other) const override;
    bool isComplete() const override;
    int getExpectedNumMessages() const override     { return caps.numSyxPackagesPerSetup; }
    int getFormatVersion() const override           { return caps.setupVersion; }
    bool writeToStream (juce::OutputStream& out) const override;
    bool writeSysEx (juce::OutputStream& out) const override;
    bool readFromStream (juce::InputStream& in) override;

    int getSetupDataVersion() const                 { return setupDataVersion; }
    void setSetupDataVersion (int version)          { setupDataVersion = version; }

    juce::Array<int> getValues() const;

    /** Rebuilds the packets from the values; true when the setup is then complete. */
    bool setValues (const juce::Array<int>& values);

protected:
    Digest calculateMD5() const override;

private:
    static constexpr int32_t noData = -1;

    int32_t setupDataVersion = noData;
};
