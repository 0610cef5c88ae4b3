#include "conversion/ReferenceDataObject.h"

#include "conversion/ScriptValues.h"

ReferenceDataObject::ReferenceDataObject (const DeviceData* deviceData) : data (deviceData)
{
    setMethod ("getProductId", &ReferenceDataObject::getProductId);
    setMethod ("getSetupVersion", &ReferenceDataObject::getSetupVersion);
    setMethod ("getPresetVersion", &ReferenceDataObject::getPresetVersion);
    setMethod ("isSetupAvailable", &ReferenceDataObject::isSetupAvailable);
    setMethod ("isPresetAvailable", &ReferenceDataObject::isPresetAvailable);
    setMethod ("getPreset", &ReferenceDataObject::getPreset);
    setMethod ("getSetup", &ReferenceDataObject::getSetup);
}

const DeviceData* ReferenceDataObject::dataOf (const juce::var::NativeFunctionArgs& args)
{
    auto* object = dynamic_cast<ReferenceDataObject*> (args.thisObject.getDynamicObject());
    return object != nullptr ? object->data : nullptr;
}

juce::var ReferenceDataObject::getProductId (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    return data != nullptr ? ScriptValues::integer (data->getCapsBlock().productId) : ScriptValues::refused();
}

juce::var ReferenceDataObject::getSetupVersion (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    return data != nullptr ? ScriptValues::integer (data->getCapsBlock().setupVersion) : ScriptValues::refused();
}

juce::var ReferenceDataObject::getPresetVersion (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    return data != nullptr ? ScriptValues::integer (data->getCapsBlock().presetVersion) : ScriptValues::refused();
}

juce::var ReferenceDataObject::isSetupAvailable (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    return data != nullptr ? juce::var (data->getSetup().isComplete()) : ScriptValues::refused();
}

juce::var ReferenceDataObject::isPresetAvailable (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    if (data == nullptr)
        return ScriptValues::refused();

    return args.numArguments > 0 && data->isPresetSlotUsed (ScriptValues::toInt (args.arguments[0]));
}

juce::var ReferenceDataObject::getPreset (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    if (data == nullptr || args.numArguments < 1)
        return ScriptValues::refused();

    auto* preset = data->getPreset (ScriptValues::toInt (args.arguments[0]));
    if (preset == nullptr)
        return ScriptValues::refused();

    juce::Array<int> values;
    for (int step = 0; step < preset->getNumSteps(); ++step)
        values.addArray (preset->getStepValues (step));

    auto header = ScriptValues::headerOf (*preset);
    header->setProperty ("data", ScriptValues::fromIntArray (values));
    return juce::var (header.get());
}

juce::var ReferenceDataObject::getSetup (const juce::var::NativeFunctionArgs& args)
{
    auto* data = dataOf (args);
    if (data == nullptr || ! data->getSetup().isComplete())
        return ScriptValues::refused();

    return ScriptValues::fromIntArray (data->getSetup().getValues());
}
