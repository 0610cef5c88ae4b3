#include "conversion/BelvoraScriptInterface.h"

#include "conversion/ScriptValues.h"

BelvoraScriptInterface::BelvoraScriptInterface()
{
    setMethod ("scriptError", &BelvoraScriptInterface::scriptError);
    setMethod ("debugPrint", &BelvoraScriptInterface::debugPrint);
}

juce::var BelvoraScriptInterface::scriptError (const juce::var::NativeFunctionArgs& args)
{
    auto* self = dynamic_cast<BelvoraScriptInterface*> (args.thisObject.getDynamicObject());
    if (self == nullptr)
        return ScriptValues::refused();

    self->errorText = args.numArguments > 0 ? args.arguments[0].toString() : juce::String ("Unspecified error.");
    return ScriptValues::refused();
}

juce::var BelvoraScriptInterface::debugPrint (const juce::var::NativeFunctionArgs&)
{
    return ScriptValues::refused();
}
