#pragma once

#include "model/Preset.h"

#include <juce_core/juce_core.h>

#include <memory>

/** The script object "PresetConversion" of a preset step: the source preset
    to read and the target preset, of the step's target format, to write. */
class PresetConversionObject : public juce::DynamicObject
{
public:
    PresetConversionObject (const Preset& source, const CapsBlock& targetBlock);

    /** The preset the script wrote. */
    virtual const Preset& getTargetData() const     { return *target; }

private:
    static PresetConversionObject* self (const juce::var::NativeFunctionArgs& args);

    static juce::var getProductId (const juce::var::NativeFunctionArgs& args);
    static juce::var getHeader (const juce::var::NativeFunctionArgs& args);
    static juce::var getStep (const juce::var::NativeFunctionArgs& args);
    static juce::var setHeader (const juce::var::NativeFunctionArgs& args);
    static juce::var setStep (const juce::var::NativeFunctionArgs& args);
    static juce::var deleteStep (const juce::var::NativeFunctionArgs& args);

    bool writeHeader (const juce::DynamicObject& header);

    const Preset& source;
    const CapsBlock targetBlock;
    std::unique_ptr<Preset> target;
};
