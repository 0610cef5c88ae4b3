#include "ConversionTestData.h"

#include "conversion/BelvoraScriptInterface.h"
#include "conversion/PresetConversionObject.h"
#include "conversion/ReferenceDataObject.h"
#include "conversion/ScriptValues.h"
#include "conversion/SetupConversionObject.h"

#include <gtest/gtest.h>

using namespace ConversionTestData;

namespace
{
    /** One engine with the script objects of one step. */
    struct ScriptRun
    {
        juce::JavascriptEngine engine;

        void add (const char* name, juce::DynamicObject* object) { engine.registerNativeObject (name, object); }

        juce::var eval (const juce::String& code)
        {
            juce::Result outcome = juce::Result::ok();
            auto value = engine.evaluate (code, &outcome);
            EXPECT_TRUE (outcome.wasOk()) << code << ": " << outcome.getErrorMessage();
            return value;
        }

        bool isUndefined (const juce::String& code)  { return eval ("typeof (" + code + ")").toString() == "undefined"; }
        void run (const juce::String& code)
        {
            auto outcome = engine.execute (code);
            EXPECT_TRUE (outcome.wasOk()) << outcome.getErrorMessage();
        }
    };

    juce::String jsArray (const juce::Array<int>& values)
    {
        juce::StringArray items;
        for (auto v : values)
            items.add (juce::String (v));
        return "[" + items.joinIntoString (",") + "]";
    }

    struct PresetStep
    {
        CapsBlock sourceBlock = vesperBlock (3, 2);
        CapsBlock targetBlock = vesperBlock (4, 3, 30, 6);
        std::unique_ptr<Preset> source = makePreset (sourceBlock, 5, "Warm Choir", 3, 0x29);
        juce::DynamicObject::Ptr object { new PresetConversionObject (*source, targetBlock) };
        ScriptRun script;

        PresetStep() { script.add ("PresetConversion", object.get()); }
        const Preset& target() const { return static_cast<PresetConversionObject&> (*object).getTargetData(); }
    };
}

TEST (PresetConversionObject, ReadsTheSourceHeaderAndSteps)
{
    PresetStep step;
    auto& s = step.script;

    EXPECT_EQ ((int) s.eval ("PresetConversion.getProductId()"), 0x12);
    EXPECT_TRUE ((bool) s.eval ("PresetConversion.getProductId() === 18"));
    EXPECT_TRUE ((bool) s.eval ("PresetConversion.setHeader ({ steps: 0 }) === 1"));
    s.run ("var h = PresetConversion.getHeader();");
    EXPECT_EQ (s.eval ("h.number + '/' + h.version + '/' + h.name + '/' + h.tags + '/' + h.steps").toString(),
               "5/3/Warm Choir/41/3");

    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("PresetConversion.getStep (2)")), step.source->getStepValues (2));
    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("PresetConversion.getStep (1.5)")), step.source->getStepValues (0));
    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("PresetConversion.getStep (0.5 + 0.5)")), step.source->getStepValues (1));
    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("PresetConversion.getStep()")), step.source->getStepValues (0));
    EXPECT_TRUE (s.isUndefined ("PresetConversion.getStep (-1)"));
    EXPECT_TRUE (s.isUndefined ("PresetConversion.getStep (3)"));
}

TEST (PresetConversionObject, BuildsTheTargetStepByStep)
{
    PresetStep step;
    auto& s = step.script;
    const auto values = stepValues (step.targetBlock, 9);

    EXPECT_TRUE (s.isUndefined ("PresetConversion.setStep (" + jsArray (values) + ", 0)")) << "no header yet";
    EXPECT_TRUE (s.isUndefined ("PresetConversion.setHeader (5)"));
    EXPECT_TRUE (s.isUndefined ("PresetConversion.setHeader ([1, 2])"));
    EXPECT_FALSE (step.target().hasName());

    EXPECT_EQ ((int) s.eval ("PresetConversion.setHeader ({ number: 5, version: 4, name: 'Warm Choir', tags: 41, steps: 0 })"), 1);
    EXPECT_TRUE (step.target().hasName());
    EXPECT_TRUE (step.target().isModified());

    EXPECT_EQ ((int) s.eval ("PresetConversion.setStep (" + jsArray (values) + ", 0)"), 1);
    EXPECT_EQ ((int) s.eval ("PresetConversion.setStep (PresetConversion.getStep (1), 1)"), 1);
    EXPECT_TRUE (s.isUndefined ("PresetConversion.setStep (" + jsArray (values) + ", 3)")) << "beyond the end";
    EXPECT_TRUE (s.isUndefined ("PresetConversion.setStep (" + jsArray (values) + ")"));
    EXPECT_TRUE (s.isUndefined ("PresetConversion.setStep (7, 0)"));

    EXPECT_EQ (step.target().getNumSteps(), 2);
    EXPECT_TRUE (step.target().isComplete());
    EXPECT_EQ (step.target().getStepValues (0), values);
    EXPECT_EQ (step.target().getStepValues (1), step.source->getStepValues (1));

    EXPECT_EQ ((int) s.eval ("PresetConversion.deleteStep (0)"), 1);
    EXPECT_TRUE (s.isUndefined ("PresetConversion.deleteStep (1)"));
    EXPECT_TRUE (s.isUndefined ("PresetConversion.deleteStep (-1)"));
    EXPECT_EQ (step.target().getNumSteps(), 1);
    EXPECT_EQ (step.target().getStepValues (0), step.source->getStepValues (1));
    EXPECT_EQ (step.target().getMidiMessage (0)->getSysExData()[6], 0) << "packets renumbered";
}

TEST (PresetConversionObject, WholeNumberDoublesCountAsIntegers)
{
    PresetStep step;
    auto& s = step.script;

    s.run ("var v = []; for (var i = 0; i < 16; ++i) v.push (i * 1.5 * 2 / 3);"
           "PresetConversion.setHeader ({ number: 2.0 + 3.0, version: 8 / 2, name: 'X', tags: 0.5 * 2, steps: 0 });"
           "var r = PresetConversion.setStep (v, 0.25 * 0);");
    EXPECT_EQ ((int) s.eval ("r"), 1);
    EXPECT_EQ (step.target().getNumber(), 5);
    EXPECT_EQ (step.target().getNameBlock().formatVersion, 4);
    EXPECT_EQ (step.target().getTags(), 1);
    EXPECT_EQ (step.target().getStepValues (0)[15], 15);
}

TEST (PresetConversionObject, StepCountOutsideTheTargetFormatIsRefused)
{
    for (auto* steps : { "-1", "7", "1e9", "-2147483648", "4294967297" })
    {
        PresetStep step;
        EXPECT_TRUE (step.script.isUndefined (juce::String ("PresetConversion.setHeader ({ number: 1, version: 4, name: 'A', tags: 0, steps: ") + steps + " })"))
            << steps;
        EXPECT_FALSE (step.target().hasName()) << steps;
    }

    PresetStep step;
    EXPECT_EQ ((int) step.script.eval ("PresetConversion.setHeader ({ steps: 6 })"), 1) << "the target's maximum";
    EXPECT_EQ (step.target().getNumSteps(), 6);
    EXPECT_EQ (step.target().getName(), "");
}

TEST (PresetConversionObject, NamesAreCutAtTheFirstCharacterAbove127AndAtTheNameLength)
{
    PresetStep step;
    step.script.run (juce::String::fromUTF8 ("PresetConversion.setHeader ({ name: 'Ab\xc3\xa9" "cd', steps: 0 })"));
    EXPECT_EQ (step.target().getName(), "Ab");

    step.script.run ("PresetConversion.setHeader ({ name: 'A name far too long for it', steps: 0 })");
    EXPECT_EQ (step.target().getName(), "A name far too ");
}

TEST (SetupConversionObject, ReadsTheSourceAndNeedsAPositiveVersionBeforeTheData)
{
    const auto sourceBlock = vesperBlock (3, 2);
    const auto targetBlock = vesperBlock (4, 3);
    const auto source = makeSetup (sourceBlock);
    juce::DynamicObject::Ptr object (new SetupConversionObject (source, targetBlock));
    auto& target = static_cast<SetupConversionObject&> (*object).getTargetData();

    ScriptRun s;
    s.add ("SetupConversion", object.get());

    EXPECT_EQ ((int) s.eval ("SetupConversion.getProductId()"), 0x12);
    EXPECT_EQ ((int) s.eval ("SetupConversion.getVersion()"), 2);
    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("SetupConversion.getData()")), source.getValues());

    EXPECT_TRUE (s.isUndefined ("SetupConversion.setData (SetupConversion.getData())")) << "no version yet";
    EXPECT_EQ (target.getValues(), source.getValues()) << "the values are kept all the same";
    EXPECT_TRUE (s.isUndefined ("SetupConversion.setVersion (0)"));
    EXPECT_TRUE (s.isUndefined ("SetupConversion.setVersion (-3)"));
    EXPECT_TRUE (s.isUndefined ("SetupConversion.setVersion()"));
    EXPECT_EQ (target.getSetupDataVersion(), -1);

    EXPECT_EQ ((int) s.eval ("SetupConversion.setVersion (3)"), 1);
    EXPECT_EQ ((int) s.eval ("SetupConversion.setData (SetupConversion.getData())"), 1);
    EXPECT_TRUE (s.isUndefined ("SetupConversion.setData (5)"));
    EXPECT_TRUE (target.isComplete());
    EXPECT_EQ (target.getSetupDataVersion(), 3);

    SetupData incomplete (sourceBlock);
    juce::DynamicObject::Ptr other (new SetupConversionObject (incomplete, targetBlock));
    ScriptRun s2;
    s2.add ("SetupConversion", other.get());
    EXPECT_TRUE (s2.isUndefined ("SetupConversion.getData()"));
}

TEST (ReferenceDataObject, ReadsTheWholeDeviceData)
{
    const auto block = vesperBlock();
    auto data = makeDeviceData (block, 120, { 1, 3 });

    ScriptRun s;
    s.add ("ReferenceData", new ReferenceDataObject (data.get()));

    EXPECT_EQ ((int) s.eval ("ReferenceData.getProductId()"), 0x12);
    EXPECT_EQ ((int) s.eval ("ReferenceData.getPresetVersion()"), 3);
    EXPECT_EQ ((int) s.eval ("ReferenceData.getSetupVersion()"), 2);
    EXPECT_TRUE ((bool) s.eval ("ReferenceData.isSetupAvailable()"));
    EXPECT_TRUE ((bool) s.eval ("ReferenceData.isPresetAvailable (3)"));
    EXPECT_FALSE ((bool) s.eval ("ReferenceData.isPresetAvailable (2)"));
    EXPECT_TRUE (s.eval ("ReferenceData.isPresetAvailable()").isBool());
    EXPECT_FALSE ((bool) s.eval ("ReferenceData.isPresetAvailable()"));

    auto preset = s.eval ("ReferenceData.getPreset (1)");
    EXPECT_EQ (preset["name"].toString(), "Preset 1");
    EXPECT_EQ ((int) preset["steps"], 2);
    auto expected = data->getPreset (1)->getStepValues (0);
    expected.addArray (data->getPreset (1)->getStepValues (1));
    EXPECT_EQ (ScriptValues::toIntArray (preset["data"]), expected);

    EXPECT_TRUE (s.isUndefined ("ReferenceData.getPreset (2)"));
    EXPECT_TRUE (s.isUndefined ("ReferenceData.getPreset (400)"));
    EXPECT_TRUE (s.isUndefined ("ReferenceData.getPreset()"));
    EXPECT_EQ (ScriptValues::toIntArray (s.eval ("ReferenceData.getSetup()")), data->getSetup().getValues());
}

TEST (ReferenceDataObject, WithoutDeviceDataEverythingIsUndefined)
{
    ScriptRun s;
    s.add ("ReferenceData", new ReferenceDataObject (nullptr));

    for (auto* call : { "getProductId()", "getSetupVersion()", "getPresetVersion()", "isSetupAvailable()",
                        "isPresetAvailable (1)", "isPresetAvailable()", "getPreset (1)", "getSetup()" })
        EXPECT_TRUE (s.isUndefined (juce::String ("ReferenceData.") + call)) << call;
}

TEST (BelvoraScriptInterface, StoresTheErrorTextOfTheScript)
{
    auto check = [] (const char* code, const char* expected)
    {
        juce::DynamicObject::Ptr belvora (new BelvoraScriptInterface());
        ScriptRun s;
        s.add ("Belvora", belvora.get());
        EXPECT_TRUE (s.isUndefined (code));
        EXPECT_EQ (static_cast<BelvoraScriptInterface&> (*belvora).getErrorText(), expected) << code;
    };

    check ("Belvora.scriptError()", "Unspecified error.");
    check ("Belvora.scriptError ('')", "");
    check ("Belvora.scriptError ('Bad step ' + 3)", "Bad step 3");
    check ("Belvora.debugPrint ('hello')", "");
}

TEST (ScriptObjects, MethodsCalledOnAnotherObjectAreRefused)
{
    PresetStep step;
    auto& s = step.script;
    s.add ("Belvora", new BelvoraScriptInterface());

    s.run ("var o = { g: PresetConversion.getProductId, h: PresetConversion.setHeader, e: Belvora.scriptError };");
    EXPECT_TRUE (s.isUndefined ("o.g()"));
    EXPECT_TRUE (s.isUndefined ("o.h ({ steps: 0 })"));
    EXPECT_FALSE (step.target().hasName());
}
