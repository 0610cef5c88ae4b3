#include "conversion/BelvoraScriptInterface.h"

BelvoraScriptInterface::BelvoraScriptInterface()
{
    setMethod ("scriptError", &BelvoraScriptInterface::scriptError);
    setMethod ("debugPrint", &BelvoraScriptInterface::debugPrint);
}

juce::var BelvoraScriptInterface::scriptError (const juce::var::NativeFunctionArgs& args)
{
    auto* self = dynamic_cast<BelvoraScriptInterface*> (args.thisObject.getDynamicObject());
    if (self == nullptr)
        return {};

    self->errorText = args.numArguments > 0 ? args.arguments[0].toString() : juce::String ("Unspecified error.");
    return {};
}

juce::var BelvoraScriptInterface::debugPrint (const juce::var::NativeFunctionArgs&)
{
    return {};
}
