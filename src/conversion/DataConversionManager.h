#pragma once

#include "conversion/ConversionResult.h"
#include "content/ConversionRule.h"
#include "model/DeviceData.h"

#include <atomic>
#include <map>
#include <memory>
#include <tuple>

class ContentManager;
class ScriptSandbox;

/** Converts a unit's data, or one preset or setup, from its product and
    format versions to those of another product or firmware build, by running
    the conversion scripts along the cheapest chain of conversion rules. Made
    for one job on a worker thread (ConversionJob makes one); reports failure
    as error bits. The scripts run in a ScriptSandbox.

    A job can be stopped from any thread: it ends between presets, a running
    script at once, with only the cancelled bit set and nothing returned. A
    job on a juce::Thread also ends when that thread is asked to exit. */
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

    /** The rules and capability documents come from the content catalogue. */
    explicit DataConversionManager (const ContentManager& content);
    ~DataConversionManager();

    void clearResult()                                  { result.clear(); }
    const ConversionResult& getResult() const noexcept  { return result; }

    void addListener (Listener* listener)               { listeners.addIfNotAlreadyThere (listener); }

    /** Asks the job in progress, and any later one, to end. Any thread; returns at once. */
    void stop() noexcept                                { stopRequested = true; }

    /** True once stop() was called or the calling thread is asked to exit. */
    bool shouldStop() const;

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

private:
    template <typename DataType>
    std::unique_ptr<DataType> convertAlong (const DataType& data, const juce::Array<ConversionRule>& steps);

    /** Stores each converted preset in its slot; false when the job must stop. */
    bool convertPresets (const DeviceData& source, DeviceData& target, const juce::Array<ConversionRule>& chain, int& failed);
    void convertSetupInto (const DeviceData& source, DeviceData& target);
    bool storePreset (DeviceData& target, int slot, std::unique_ptr<Preset> preset);

    /** What a step runs with: its script and the block of its target format. */
    struct PreparedStep
    {
        CapsBlock targetBlock;
        juce::String script;
    };

    const PreparedStep* prepareStep (const ConversionRule& step, int kind);
    juce::String readScript (const ConversionRule& step);
    std::unique_ptr<DeviceMidiData> runScript (const juce::String& script, const DeviceMidiData& data, const CapsBlock& targetBlock);

    bool capsBlockForBuild (int productId, int build, CapsBlock& block) const;
    bool capsBlockForVersion (int productId, int kind, int version, CapsBlock& block) const;

    void notifyProgress (int done, int total);
    void notifyFinished();

    const ContentManager& content;
    ConversionResult result;
    juce::Array<Listener*> listeners;
    const DeviceData* currentSource = nullptr;
    std::unique_ptr<ScriptSandbox> sandbox;   // made with the first step, for one source
    std::map<std::tuple<juce::String, int, int, int>, PreparedStep> preparedSteps;   // during convertDeviceData
    PreparedStep oneStep;                     // a step outside it, looked up afresh each time
    std::atomic<bool> stopRequested { false };

    static inline std::atomic<int> scriptTimeLimitMs { 60000 };

    JUCE_DECLARE_NON_COPYABLE (DataConversionManager)
};
