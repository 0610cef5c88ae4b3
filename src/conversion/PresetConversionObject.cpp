#include "conversion/PresetConversionObject.h"

#include "conversion/ScriptValues.h"

PresetConversionObject::PresetConversionObject (const Preset& sourcePreset, const CapsBlock& block)
    : source (sourcePreset), targetBlock (block), target (std::make_unique<Preset> (block))
{
    setMethod ("getProductId", &PresetConversionObject::getProductId);
    setMethod ("getHeader", &PresetConversionObject::getHeader);
    setMethod ("getStep", &PresetConversionObject::getStep);
    setMethod ("setHeader", &PresetConversionObject::setHeader);
    setMethod ("setStep", &PresetConversionObject::setStep);
    setMethod ("deleteStep", &PresetConversionObject::deleteStep);
}

PresetConversionObject* PresetConversionObject::self (const juce::var::NativeFunctionArgs& args)
{
    return dynamic_cast<PresetConversionObject*> (args.thisObject.getDynamicObject());
}

juce::var PresetConversionObject::getProductId (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    return object != nullptr ? ScriptValues::integer (object->source.getCapsBlock().productId) : ScriptValues::refused();
}

juce::var PresetConversionObject::getHeader (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    return object != nullptr ? juce::var (ScriptValues::headerOf (object->source).get()) : ScriptValues::refused();
}

juce::var PresetConversionObject::getStep (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    if (object == nullptr)
        return ScriptValues::refused();

    int index = 0;
    if (! ScriptValues::getWholeNumber (ScriptValues::argument (args, 0), index))
        index = 0;

    if (index < 0 || index >= object->source.getNumSteps())
        return ScriptValues::refused();

    return ScriptValues::fromIntArray (object->source.getStepValues (index));
}

bool PresetConversionObject::writeHeader (const juce::DynamicObject& header)
{
    const int steps = ScriptValues::toInt (header.getProperty ("steps"));

    // The step count must be one the target format can hold; anything else
    // would give a preset whose header disagrees with its packets.
    if (steps < 0 || steps > targetBlock.maxPresetSteps)
        return false;

    PresetName name;
    name.number = ScriptValues::toInt (header.getProperty ("number"));
    name.formatVersion = ScriptValues::toInt (header.getProperty ("version"));
    name.tags = ScriptValues::toInt (header.getProperty ("tags"));
    name.numSteps = steps;
    name.nameLength = juce::jlimit (0, PresetName::maxNameLength, targetBlock.presetNameLength);

    if (name.nameLength > 0)
    {
        juce::Array<uint8_t> bytes;
        const auto text = header.getProperty ("name").toString();

        for (auto p = text.getCharPointer(); ! p.isEmpty() && bytes.size() < name.nameLength; ++p)
            bytes.add ((uint8_t) juce::jmin ((juce::juce_wchar) 0xFF, *p));   // setFromBytes stops at the first byte of 128 or more

        name.setFromBytes (bytes.begin(), bytes.size());
    }

    return target->setNameBytes (name);
}

juce::var PresetConversionObject::setHeader (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    const auto header = ScriptValues::argument (args, 0);

    if (object == nullptr || ! ScriptValues::isPlainObject (header))
        return ScriptValues::refused();

    return object->writeHeader (*header.getDynamicObject()) ? ScriptValues::success() : ScriptValues::refused();
}

juce::var PresetConversionObject::setStep (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    if (object == nullptr || args.numArguments < 2 || ! args.arguments[0].isArray())
        return ScriptValues::refused();

    const int index = ScriptValues::toInt (args.arguments[1]);
    if (index < 0 || index > object->target->getNumSteps())
        return ScriptValues::refused();

    return object->target->setStepValues (index, ScriptValues::toIntArray (args.arguments[0])) ? ScriptValues::success() : ScriptValues::refused();
}

juce::var PresetConversionObject::deleteStep (const juce::var::NativeFunctionArgs& args)
{
    auto* object = self (args);
    if (object == nullptr)
        return ScriptValues::refused();

    const int index = ScriptValues::toInt (ScriptValues::argument (args, 0));
    if (index < 0 || index >= object->target->getNumSteps())
        return ScriptValues::refused();

    juce::SparseSet<int> steps;
    steps.addRange ({ index, index + 1 });
    object->target->removeSteps (steps);
    return ScriptValues::success();
}
