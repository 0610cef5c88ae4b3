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
    struct Script
    {
        juce::JavascriptEngine engine;

        juce::var operator() (const juce::String& code)
        {
            juce::Result outcome = juce::Result::ok();
            auto value = engine.evaluate (code, &outcome);
            EXPECT_TRUE (outcome.wasOk()) << code << ": " << outcome.getErrorMessage();
            return value;
        }

        void run (const juce::String& code)
        {
            auto outcome = engine.execute (code);
            EXPECT_TRUE (outcome.wasOk()) << code << ": " << outcome.getErrorMessage();
        }

        bool refuses (const juce::String& call)      { return (*this) ("typeof (" + call + ")").toString() == "undefined"; }
        juce::Array<int> ints (const juce::String& code) { return ScriptValues::toIntArray ((*this) (code)); }
    };

    juce::String jsArray (const juce::Array<int>& values)
    {
        juce::StringArray items;
        for (auto v : values)
            items.add (juce::String (v));
        return "[" + items.joinIntoString (",") + "]";
    }

    struct PresetStep : Script
    {
        CapsBlock targetBlock = vesperBlock (4, 3, 30, 6);
        std::unique_ptr<Preset> source = makePreset (vesperBlock(), 5, "Warm Choir", 3, 0x29);
        juce::DynamicObject::Ptr object { new PresetConversionObject (*source, targetBlock) };

        PresetStep() { engine.registerNativeObject ("PresetConversion", object.get()); }
        const Preset& target() const { return static_cast<PresetConversionObject&> (*object).getTargetData(); }
    };
}

TEST (PresetConversionObject, ReadsTheSourceWithIntegersOfTheScriptsOwnType)
{
    PresetStep s;
    EXPECT_TRUE ((bool) s ("PresetConversion.getProductId() === 18"));
    s.run ("var h = PresetConversion.getHeader();");
    EXPECT_EQ (s ("[h.number, h.version, h.name, h.tags, h.steps].join ('/')").toString(),
               "5/3/Warm Choir/41/3");
    EXPECT_TRUE ((bool) s ("h.steps === 3"));

    EXPECT_EQ (s.ints ("PresetConversion.getStep (2)"), s.source->getStepValues (2));
    EXPECT_EQ (s.ints ("PresetConversion.getStep (0.5 + 0.5)"), s.source->getStepValues (1)) << "a whole-number double";
    EXPECT_EQ (s.ints ("PresetConversion.getStep (1.5)"), s.source->getStepValues (0));
    EXPECT_EQ (s.ints ("PresetConversion.getStep()"), s.source->getStepValues (0));
    EXPECT_TRUE (s.refuses ("PresetConversion.getStep (-1)"));
    EXPECT_TRUE (s.refuses ("PresetConversion.getStep (3)"));
}

TEST (PresetConversionObject, BuildsTheTargetStepByStepAndRefusesBadCalls)
{
    PresetStep s;
    const auto values = jsArray (stepValues (s.targetBlock, 9));

    EXPECT_TRUE (s.refuses ("PresetConversion.setStep (" + values + ", 0)")) << "no header yet";
    EXPECT_TRUE (s.refuses ("PresetConversion.setHeader (5)"));
    EXPECT_TRUE (s.refuses ("PresetConversion.setHeader ([1, 2])"));
    EXPECT_FALSE (s.target().hasName());

    EXPECT_TRUE ((bool) s ("PresetConversion.setHeader ({ number: 2.0 + 3.0, version: 8 / 2, name: 'Warm', tags: 0.5 * 2, steps: 0 }) === 1"));
    EXPECT_TRUE (s.target().isModified());
    EXPECT_EQ (s.target().getNumber(), 5);
    EXPECT_EQ (s.target().getNameBlock().formatVersion, 4);

    EXPECT_EQ ((int) s ("PresetConversion.setStep (" + values + ", 0)"), 1);
    s.run ("var v = PresetConversion.getStep (1); v[15] = v[15] * 1.5 * 2 / 3;");
    EXPECT_EQ ((int) s ("PresetConversion.setStep (v, 1.0)"), 1);
    EXPECT_TRUE (s.refuses ("PresetConversion.setStep (" + values + ", 3)")) << "beyond the end";
    EXPECT_TRUE (s.refuses ("PresetConversion.setStep (" + values + ")"));
    EXPECT_TRUE (s.refuses ("PresetConversion.setStep (7, 0)"));

    EXPECT_EQ (s.target().getNumSteps(), 2);
    EXPECT_TRUE (s.target().isComplete());
    EXPECT_EQ (s.target().getStepValues (0), stepValues (s.targetBlock, 9));
    EXPECT_EQ (s.target().getStepValues (1), s.source->getStepValues (1));

    EXPECT_EQ ((int) s ("PresetConversion.deleteStep (0)"), 1);
    EXPECT_TRUE (s.refuses ("PresetConversion.deleteStep (1)"));
    EXPECT_TRUE (s.refuses ("PresetConversion.deleteStep (-1)"));
    EXPECT_EQ (s.target().getStepValues (0), s.source->getStepValues (1));
    EXPECT_EQ (s.target().getMidiMessage (0)->getSysExData()[6], 0) << "packets renumbered";
}

TEST (PresetConversionObject, StepCountOutsideTheTargetFormatIsRefused)
{
    for (auto* steps : { "-1", "7", "1e9", "-2147483648", "4294967297" })
    {
        PresetStep s;
        EXPECT_TRUE (s.refuses (juce::String ("PresetConversion.setHeader ({ name: 'A', steps: ") + steps + " })")) << steps;
        EXPECT_FALSE (s.target().hasName()) << steps;
    }

    PresetStep s;
    EXPECT_EQ ((int) s ("PresetConversion.setHeader ({ steps: 6 })"), 1) << "the target's maximum";
    EXPECT_EQ (s.target().getNumSteps(), 6);
}

TEST (PresetConversionObject, NamesAreCutAtTheFirstCharacterAbove127AndAtTheNameLength)
{
    PresetStep s;
    s.run (juce::String::fromUTF8 ("PresetConversion.setHeader ({ name: 'Ab\xc3\xa9" "cd', steps: 0 })"));
    EXPECT_EQ (s.target().getName(), "Ab");

    s.run ("PresetConversion.setHeader ({ name: 'A name far too long for it', steps: 0 })");
    EXPECT_EQ (s.target().getName(), "A name far too ");
}

TEST (SetupConversionObject, NeedsAPositiveVersionBeforeItsDataCount)
{
    const auto source = makeSetup (vesperBlock());
    juce::DynamicObject::Ptr object (new SetupConversionObject (source, vesperBlock (4, 3)));
    auto& target = static_cast<SetupConversionObject&> (*object).getTargetData();
    Script s;
    s.engine.registerNativeObject ("SetupConversion", object.get());

    EXPECT_TRUE ((bool) s ("SetupConversion.getProductId() === 18 && SetupConversion.getVersion() === 2"));
    EXPECT_EQ (s.ints ("SetupConversion.getData()"), source.getValues());

    EXPECT_TRUE (s.refuses ("SetupConversion.setData (SetupConversion.getData())")) << "no version yet";
    EXPECT_EQ (target.getValues(), source.getValues()) << "yet the values are kept";
    for (auto* bad : { "0", "-3", "" })
        EXPECT_TRUE (s.refuses (juce::String ("SetupConversion.setVersion (") + bad + ")")) << bad;
    EXPECT_EQ (target.getSetupDataVersion(), -1);

    EXPECT_EQ ((int) s ("SetupConversion.setVersion (3)"), 1);
    EXPECT_EQ ((int) s ("SetupConversion.setData (SetupConversion.getData())"), 1);
    EXPECT_TRUE (s.refuses ("SetupConversion.setData (5)"));
    EXPECT_TRUE (target.isComplete());

    SetupData incomplete (vesperBlock());
    juce::DynamicObject::Ptr other (new SetupConversionObject (incomplete, vesperBlock (4, 3)));
    Script s2;
    s2.engine.registerNativeObject ("SetupConversion", other.get());
    EXPECT_TRUE (s2.refuses ("SetupConversion.getData()"));
}

TEST (ReferenceDataObject, ReadsTheWholeDeviceDataAndNothingWithoutIt)
{
    auto data = makeDeviceData (vesperBlock(), 120, { 1, 3 });
    Script s;
    s.engine.registerNativeObject ("ReferenceData", new ReferenceDataObject (data.get()));

    EXPECT_TRUE ((bool) s ("ReferenceData.getProductId() === 18 && ReferenceData.getPresetVersion() === 3 && ReferenceData.getSetupVersion() === 2"));
    EXPECT_TRUE ((bool) s ("ReferenceData.isSetupAvailable() && ReferenceData.isPresetAvailable (3) && ! ReferenceData.isPresetAvailable (2)"));
    EXPECT_TRUE (s ("ReferenceData.isPresetAvailable()").isBool());
    EXPECT_FALSE ((bool) s ("ReferenceData.isPresetAvailable()"));

    auto expected = data->getPreset (1)->getStepValues (0);
    expected.addArray (data->getPreset (1)->getStepValues (1));
    EXPECT_EQ (s ("ReferenceData.getPreset (1).name").toString(), "Preset 1");
    EXPECT_EQ (s.ints ("ReferenceData.getPreset (1).data"), expected);
    EXPECT_EQ (s.ints ("ReferenceData.getSetup()"), data->getSetup().getValues());
    for (auto* call : { "getPreset (2)", "getPreset (400)", "getPreset()" })
        EXPECT_TRUE (s.refuses (juce::String ("ReferenceData.") + call)) << call;

    Script none;
    none.engine.registerNativeObject ("ReferenceData", new ReferenceDataObject (nullptr));
    for (auto* call : { "getProductId()", "getSetupVersion()", "getPresetVersion()", "isSetupAvailable()",
                        "isPresetAvailable (1)", "isPresetAvailable()", "getPreset (1)", "getSetup()" })
        EXPECT_TRUE (none.refuses (juce::String ("ReferenceData.") + call)) << call;
}

TEST (BelvoraScriptInterface, StoresTheErrorTextOfTheScript)
{
    for (auto [code, expected] : { std::pair { "Belvora.scriptError()", "Unspecified error." },
                                   std::pair { "Belvora.scriptError ('')", "" },
                                   std::pair { "Belvora.scriptError ('Bad step ' + 3)", "Bad step 3" },
                                   std::pair { "Belvora.debugPrint ('hello')", "" } })
    {
        juce::DynamicObject::Ptr belvora (new BelvoraScriptInterface());
        Script s;
        s.engine.registerNativeObject ("Belvora", belvora.get());
        EXPECT_TRUE (s.refuses (code));
        EXPECT_EQ (static_cast<BelvoraScriptInterface&> (*belvora).getErrorText(), expected) << code;
    }
}

TEST (ScriptObjects, MethodsCalledOnAnotherObjectAreRefused)
{
    PresetStep s;
    s.run ("var o = { g: PresetConversion.getProductId, h: PresetConversion.setHeader };");
    EXPECT_TRUE (s.refuses ("o.g()"));
    EXPECT_TRUE (s.refuses ("o.h ({ steps: 0 })"));
    EXPECT_FALSE (s.target().hasName());
}

TEST (ScriptValues, NumbersOfAnyFormBecomeIntegersWithoutOverflow)
{
    int out = 0;
    EXPECT_TRUE (ScriptValues::getWholeNumber (18.0, out) && out == 18);
    EXPECT_TRUE (ScriptValues::getWholeNumber ((juce::int64) -7, out) && out == -7);
    for (auto v : { juce::var (1.5), juce::var (1e10), juce::var (std::nan ("")), juce::var ("3"), juce::var() })
        EXPECT_FALSE (ScriptValues::getWholeNumber (v, out)) << v.toString();

    EXPECT_EQ (ScriptValues::toInt (-2.9), -2);
    EXPECT_EQ (ScriptValues::toInt (1e300), std::numeric_limits<int>::max());
    EXPECT_EQ (ScriptValues::toInt (-HUGE_VAL), std::numeric_limits<int>::min());
    EXPECT_EQ (ScriptValues::toInt (std::nan ("")), 0);
    EXPECT_EQ (ScriptValues::toInt ("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_EQ (ScriptValues::toInt ((juce::int64) 1 << 40), std::numeric_limits<int>::max());
    EXPECT_EQ (ScriptValues::toInt (true), 1);
}
