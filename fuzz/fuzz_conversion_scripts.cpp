// Conversion scripts: one script step run on a preset or a setup with the
// objects a conversion gives it, on the script runner with a short time
// limit. The first byte picks preset or setup, the rest is the script. A run
// the program would take as a success must leave data that holds together.

#include "FuzzSupport.h"

#include "conversion/BelvoraScriptInterface.h"
#include "conversion/PresetConversionObject.h"
#include "conversion/ReferenceDataObject.h"
#include "conversion/ScriptRunner.h"
#include "conversion/SetupConversionObject.h"
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

    /** Runs the script as a conversion step does; true when the step would count as done. */
    bool runStep (const juce::String& script, const char* objectName, juce::DynamicObject* conversionObject)
    {
        auto& f = fixture();
        juce::DynamicObject::Ptr belvora (new BelvoraScriptInterface());

        juce::Array<ScriptRunner::NamedObject> objects;
        objects.add ({ "Belvora", belvora });
        objects.add ({ "ReferenceData", new ReferenceDataObject (f.unit.get()) });
        objects.add ({ objectName, conversionObject });

        const auto outcome = f.runner.execute (script, objects, timeLimitMs);
        return outcome.wasOk() && static_cast<BelvoraScriptInterface&> (*belvora).getErrorText().isEmpty();
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
        juce::DynamicObject::Ptr object (new PresetConversionObject (*source, f.targetBlock));

        if (! runStep (script, "PresetConversion", object.get()))
            return;

        // The step refuses a header whose step count disagrees with the packets written.
        const auto& target = static_cast<PresetConversionObject&> (*object).getTargetData();
        if (target.hasName() && ! target.isComplete())
            return;

        if (! presetHoldsTogether (target, f.targetBlock))
            __builtin_trap();
    }

    void convertSetup (const juce::String& script)
    {
        auto& f = fixture();
        juce::DynamicObject::Ptr object (new SetupConversionObject (f.unit->getSetup(), f.targetBlock));

        if (! runStep (script, "SetupConversion", object.get()))
            return;

        if (! setupHoldsTogether (static_cast<SetupConversionObject&> (*object).getTargetData(), f.targetBlock))
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
