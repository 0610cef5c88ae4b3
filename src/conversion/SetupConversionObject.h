#pragma once

#include "model/SetupData.h"

#include <juce_core/juce_core.h>

#include <memory>

/** The script object "SetupConversion" of a setup step: the source setup to
    read and the target setup, of the step's target format, to write. */
class SetupConversionObject : public juce::DynamicObject
{
public:
    SetupConversionObject (const SetupData& source, const CapsBlock& targetBlock);

    /** The setup the script wrote. */
    virtual const SetupData& getTargetData() const  { return *target; }

private:
    static SetupConversionObject* self (const juce::var::NativeFunctionArgs& args);

    static juce::var getProductId (const juce::var::NativeFunctionArgs& args);
    static juce::var getVersion (const juce::var::NativeFunctionArgs& args);
    static juce::var getData (const juce::var::NativeFunctionArgs& args);
    static juce::var setVersion (const juce::var::NativeFunctionArgs& args);
    static juce::var setData (const juce::var::NativeFunctionArgs& args);

    const SetupData& source;
    std::unique_ptr<SetupData> target;
};
