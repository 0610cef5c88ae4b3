// Conversion scripts: one script step run on a preset or a setup with the
// objects a conversion gives it, on a script runner in this process (where
// coverage is seen) with a short time limit. The first byte picks preset or setup, the rest is the script. A run
// the program would take as a success must leave data that holds together.

#include "FuzzSupport.h"

#include "conversion/ScriptSandbox.h"
#include "model/Utf8.h"

#include "conversion/ConversionTestData.h"

using namespace ConversionTestData;

namespace
{
    constexpr int timeLimitMs = 50;

    struct Fixture
    {
        CapsBlock sourceBlock = vesperBlock (3, 2, 20, 4);
        CapsBlock targetBlock = vesperBlock (4, 3, 30, 6);
        std::unique_ptr<DeviceData> unit = makeDeviceData (sourceBlock, 120, { 0, 1, 5, 7 });
        ScriptRunner runner;
    };

    Fixture& fixture()
    {
        static Fixture f;
        return f;
    }

    /** Runs the script as a conversion step does; what it wrote when the step would count as done. */
    std::unique_ptr<DeviceMidiData> runStep (const juce::String& script, const DeviceMidiData& source)
    {
        auto& f = fixture();
        auto outcome = ScriptSandbox::runHere (f.runner, f.unit.get(), script, source, f.targetBlock, timeLimitMs);
        return outcome.result.wasOk() && outcome.reportedError.isEmpty() ? std::move (outcome.converted) : nullptr;
    }

    bool presetHoldsTogether (const Preset& preset, const CapsBlock& block)
    {
        if (! preset.hasName())
            return preset.getNumMidiMessages() == 0;

        // A named preset the program takes must be within the product's step
        // limit, with every step of the target's layout.
        if (preset.getNumSteps() < 0 || preset.getNumSteps() > block.maxPresetSteps)
            return false;

        for (int s = 0; s < preset.getNumSteps(); ++s)
            if (preset.getStepValues (s).size() != valuesPerStep (block))
                return false;

        return true;
    }

    bool setupHoldsTogether (const SetupData& setup, const CapsBlock& block)
    {
        const int packets = setup.getNumMidiMessages();
        if (packets != 0 && packets != setup.getExpectedNumMessages())
            return false;

        return ! setup.isComplete() || setup.getValues().size() == valuesPerSetup (block);
    }

    void convertPreset (const juce::String& script)
    {
        auto& f = fixture();
        const auto source = makePreset (f.sourceBlock, 5, "Warm Choir", 3, 0x29);
        const auto converted = runStep (script, *source);
        auto* target = dynamic_cast<const Preset*> (converted.get());

        // The step refuses a header whose step count disagrees with the packets written.
        if (target == nullptr || (target->hasName() && ! target->isComplete()))
            return;

        if (! presetHoldsTogether (*target, f.targetBlock))
            __builtin_trap();
    }

    void convertSetup (const juce::String& script)
    {
        auto& f = fixture();
        const auto converted = runStep (script, f.unit->getSetup());
        auto* target = dynamic_cast<const SetupData*> (converted.get());

        if (target != nullptr && ! setupHoldsTogether (*target, f.targetBlock))
            __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // Scripts larger than the program reads are no scripts.
    if (size < 1 || size > 16384)
        return 0;

    const auto* text = reinterpret_cast<const char*> (data + 1);
    const auto length = size - 1;

    if (! Utf8::isValid (text, length))
        return 0;

    const auto script = juce::String::fromUTF8 (text, (int) length);

    if ((data[0] & 1) == 0)
        convertPreset (script);
    else
        convertSetup (script);

    return 0;
}
