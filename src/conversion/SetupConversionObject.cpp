#include "conversion/SetupConversionObject.h"

#include "conversion/ScriptValues.h"

SetupConversionObject::SetupConversionObject (const SetupData& sourceSetup, const CapsBlock& block)
    : source (sourceSetup), target (std::make_unique<SetupData> (block))
{
    setMethod ("getProductId", &SetupConversionObject::getProductId);
    setMethod ("getVersion", &SetupConversionObject::getVersion);
    setMethod ("getData", &SetupConversionObject::getData);
    setMethod ("setVersion", &SetupConversionObject::setVersion);
    setMethod ("setData", &SetupConversionObject::setData);
}

SetupConversionObject* SetupConversionObject::self (const juce::var::NativeFunctionArgs& args)
{
    return dynamic_cast<SetupConversionObject*> (args.thisObject.getDynamicObject());
}

juce::var SetupConversionObject::getProductId (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    return object != nullptr ? ScriptValues::integer (object->source.getCapsBlock().productId) : ScriptValues::refused();
}

juce::var SetupConversionObject::getVersion (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    return object != nullptr ? ScriptValues::integer (object->source.getSetupDataVersion()) : ScriptValues::refused();
}

juce::var SetupConversionObject::getData (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    if (object == nullptr || ! object->source.isComplete())
        return ScriptValues::refused();

    return ScriptValues::fromIntArray (object->source.getValues());
}

juce::var SetupConversionObject::setVersion (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    const int version = ScriptValues::toInt (ScriptValues::argument (args, 0));

    if (object == nullptr || version <= 0)
        return ScriptValues::refused();

    object->target->setSetupDataVersion (version);
    object->target->setModified (true);
    return ScriptValues::success();
}

juce::var SetupConversionObject::setData (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    const auto values = ScriptValues::argument (args, 0);

    if (object == nullptr || ! values.isArray())
        return ScriptValues::refused();

    return object->target->setValues (ScriptValues::toIntArray (values)) ? ScriptValues::success() : ScriptValues::refused();
}
