#pragma once

#include "model/DeviceData.h"

#include <juce_core/juce_core.h>

/** The script object "ReferenceData": read access to the whole device data
    being converted, so a step can look at other presets or the setup. Without
    device data every method gives undefined. */
class ReferenceDataObject : public juce::DynamicObject
{
public:
    explicit ReferenceDataObject (const DeviceData* data);

private:
    static const DeviceData* dataOf (const juce::var::NativeFunctionArgs& args);

    static juce::var getProductId (const juce::var::NativeFunctionArgs& args);
    static juce::var getSetupVersion (const juce::var::NativeFunctionArgs& args);
    static juce::var getPresetVersion (const juce::var::NativeFunctionArgs& args);
    static juce::var isSetupAvailable (const juce::var::NativeFunctionArgs& args);
    static juce::var isPresetAvailable (const juce::var::NativeFunctionArgs& args);
    static juce::var getPreset (const juce::var::NativeFunctionArgs& args);
    static juce::var getSetup (const juce::var::NativeFunctionArgs& args);

    const DeviceData* data;
};
