#include "conversion/ScriptValues.h"

#include "model/Preset.h"

#include <cmath>
#include <limits>

bool ScriptValues::getWholeNumber (const juce::var& value, int& out)
{
    if (value.isInt())
    {
        out = (int) value;
        return true;
    }

    if (! (value.isInt64() || value.isDouble()))
        return false;

    const double d = value.isInt64() ? (double) (juce::int64) value : (double) value;
    if (! std::isfinite (d) || std::trunc (d) != d
        || d < (double) std::numeric_limits<int>::min() || d > (double) std::numeric_limits<int>::max())
        return false;

    out = (int) d;
    return true;
}

int ScriptValues::toInt (const juce::var& value)
{
    if (value.isInt() || value.isBool())
        return (int) value;

    double d = 0.0;

    if (value.isString())
        d = value.toString().getDoubleValue();
    else if (value.isInt64())
        d = (double) (juce::int64) value;
    else if (value.isDouble())
        d = (double) value;

    if (std::isnan (d))
        return 0;

    return (int) juce::jlimit ((double) std::numeric_limits<int>::min(), (double) std::numeric_limits<int>::max(), std::trunc (d));
}

juce::var ScriptValues::argument (const juce::var::NativeFunctionArgs& args, int index)
{
    return index >= 0 && index < args.numArguments ? args.arguments[index] : juce::var();
}

juce::Array<int> ScriptValues::toIntArray (const juce::var& array)
{
    juce::Array<int> values;

    if (auto* elements = array.getArray())
    {
        values.ensureStorageAllocated (elements->size());
        for (auto& element : *elements)
            values.add (toInt (element));
    }

    return values;
}

juce::var ScriptValues::fromIntArray (const juce::Array<int>& values)
{
    juce::Array<juce::var> elements;
    elements.ensureStorageAllocated (values.size());

    for (auto v : values)
        elements.add (integer (v));

    return juce::var (elements);
}

juce::DynamicObject::Ptr ScriptValues::headerOf (const Preset& preset)
{
    const auto& header = preset.getNameBlock();

    juce::DynamicObject::Ptr object (new juce::DynamicObject());
    object->setProperty ("number", integer (header.number));
    object->setProperty ("version", integer (header.formatVersion));
    object->setProperty ("name", header.toString());
    object->setProperty ("tags", integer (header.tags));
    object->setProperty ("steps", integer (header.numSteps));
    return object;
}

bool ScriptValues::isPlainObject (const juce::var& value)
{
    return value.getDynamicObject() != nullptr && ! value.isArray();
}
