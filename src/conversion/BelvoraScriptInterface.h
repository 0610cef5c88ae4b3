#pragma once

#include <juce_core/juce_core.h>

/** The script object "Belvora": lets a conversion script report an error. */
class BelvoraScriptInterface : public juce::DynamicObject
{
public:
    BelvoraScriptInterface();

    /** What the script passed to "scriptError"; empty when it never called it. */
    const juce::String& getErrorText() const noexcept { return errorText; }

private:
    static juce::var scriptError (const juce::var::NativeFunctionArgs& args);
    static juce::var debugPrint (const juce::var::NativeFunctionArgs& args);

    juce::String errorText;
};
