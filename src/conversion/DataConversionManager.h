#pragma once

#include "conversion/ConversionResult.h"
#include "conversion/ConversionRule.h"
#include "conversion/ScriptRunner.h"
#include "model/DeviceData.h"

#include <atomic>
#include <memory>

/** Converts a unit's data, or one preset or setup, from its product and
    format versions to those of another product or firmware build, by running
    the conversion scripts along the cheapest chain of conversion rules. Made
    for one job on the caller's thread; reports failure as error bits. */
class DataConversionManager
{
public:
    /** Told between presets how far a job has got, and when the setup is stored. */
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void conversionProgress (int done, int total) = 0;
        virtual void conversionFinished() = 0;
    };

    DataConversionManager() = default;
    ~DataConversionManager();

    void clearResult()                                  { result.clear(); }
    const ConversionResult& getResult() const noexcept  { return result; }

    void addListener (Listener* listener)               { listeners.addIfNotAlreadyThere (listener); }

    /** The converted data, or null; read the result's bits after every call,
        as converted data can come back with bits set too. */
    std::unique_ptr<DeviceData> convertDeviceData (const DeviceData& source, int targetProductId, const FirmwareVersion& targetVersion);

    /** True when a chain exists and every script of it is there. Adds to the bits already set. */
    bool checkConversion (int sourceProductId, int sourceVersion, int targetProductId, int targetVersion, int kind);

    std::unique_ptr<Preset> convertPreset (const Preset& preset, const juce::Array<ConversionRule>& steps);
    std::unique_ptr<SetupData> convertSetup (const SetupData& setup, const juce::Array<ConversionRule>& steps);

    /** One script run on a preset or a setup: new data of the same kind, or null. */
    std::unique_ptr<DeviceMidiData> runStep (const DeviceMidiData& data, const ConversionRule& step);

    /** The steps of the cheapest chain; true when the pairs are equal (no steps) or a chain exists. */
    bool findConversionChain (juce::Array<ConversionRule>& steps, int sourceProductId, int sourceVersion,
                              int targetProductId, int targetVersion, int kind);

    /** How long one script may run; a minute unless tests ask for less. */
    static void setScriptTimeLimit (int milliseconds)   { scriptTimeLimitMs = juce::jmax (1, milliseconds); }
    static int getScriptTimeLimit()                     { return scriptTimeLimitMs; }

    /** A script file larger than this is not a conversion script. */
    static constexpr juce::int64 maxScriptSize = 256 * 1024;

private:
    template <typename DataType>
    std::unique_ptr<DataType> convertAlong (const DataType& data, const juce::Array<ConversionRule>& steps);

    /** Stores each converted preset in its slot; false when the job must stop. */
    bool convertPresets (const DeviceData& source, DeviceData& target, const juce::Array<ConversionRule>& chain, int& failed);
    void convertSetupInto (const DeviceData& source, DeviceData& target);
    bool storePreset (DeviceData& target, int slot, std::unique_ptr<Preset> preset);

    juce::String readScript (const ConversionRule& step);
    bool runScript (const juce::String& script, const char* objectName, juce::DynamicObject* conversionObject);

    void notifyProgress (int done, int total);
    void notifyFinished();

    ConversionResult result;
    juce::Array<Listener*> listeners;
    const DeviceData* currentSource = nullptr;
    std::unique_ptr<ScriptRunner> scriptRunner;   // made with the first step

    static inline std::atomic<int> scriptTimeLimitMs { 60000 };

    JUCE_DECLARE_NON_COPYABLE (DataConversionManager)
};
