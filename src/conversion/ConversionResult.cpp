#include "conversion/ConversionResult.h"

void ConversionResult::clear()
{
    bits.clear();
    explicitText.clear();
}

void ConversionResult::setCancelled()
{
    clear();
    bits.setBit (ConversionErrorBits::cancelled);
}

juce::String ConversionResult::getErrorText() const
{
    if (bits.isZero())
        return {};

    if (explicitText.isNotEmpty())
        return explicitText;

    return describeErrorBits (bits);
}

juce::String ConversionResult::describeErrorBits (const juce::BigInteger& bits)
{
    using namespace ConversionErrorBits;

    struct Entry { int bit; const char* text; };
    static const Entry entries[] = {
        { noChain,          "There are insufficient definitions available to perform the conversion." },
        { scriptMissing,    "The conversion definition is invalid." },
        { scriptEmpty,      "The conversion definition is invalid." },
        { capsMissing,      "Profile information for the target version is missing." },
        { allocationFailed, "Allocating target data structures failed." },
        { presetsInvalid,   "The converted preset data is invalid." },
        { setupInvalid,     "The converted setup data is invalid." },
        { presetStepFailed, "An error occurred during preset conversion." },
        { setupStepFailed,  "An error occurred during setup conversion." },
        { setupRejected,    "The target rejected the new setup data." },
        { scriptInterface,  "JavaScript interface error." },
        { scriptExecution,  "JavaScript execution error." },
        { internal,         "An internal error occurred during conversion." },
        { cancelled,        "The conversion was cancelled." },
    };

    if (bits.isZero())
        return {};

    for (auto& entry : entries)
        if (bits[entry.bit])
            return entry.text;

    return "Unknown internal error.";
}
