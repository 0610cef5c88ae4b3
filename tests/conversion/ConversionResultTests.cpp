#include "conversion/ConversionResult.h"

#include <gtest/gtest.h>

namespace
{
    juce::BigInteger bitsOf (std::initializer_list<int> numbers)
    {
        juce::BigInteger bits;
        for (auto n : numbers)
            bits.setBit (n);
        return bits;
    }
}

TEST (ConversionResult, EachBitHasItsText)
{
    const std::pair<int, const char*> expected[] = {
        { 0,  "There are insufficient definitions available to perform the conversion." },
        { 1,  "The conversion definition is invalid." },
        { 2,  "The conversion definition is invalid." },
        { 3,  "Profile information for the target version is missing." },
        { 4,  "Allocating target data structures failed." },
        { 5,  "The converted preset data is invalid." },
        { 6,  "The converted setup data is invalid." },
        { 7,  "An error occurred during preset conversion." },
        { 8,  "An error occurred during setup conversion." },
        { 9,  "The target rejected the new setup data." },
        { 15, "JavaScript interface error." },
        { 16, "JavaScript execution error." },
        { 31, "An internal error occurred during conversion." },
        { 30, "The conversion was cancelled." },
        { 12, "Unknown internal error." },
        { 40, "Unknown internal error." },
    };

    for (auto& [bit, text] : expected)
        EXPECT_EQ (ConversionResult::describeErrorBits (bitsOf ({ bit })), text) << bit;

    EXPECT_EQ (ConversionResult::describeErrorBits ({}), "");
}

TEST (ConversionResult, FirstBitInOrderOfImportanceWins)
{
    EXPECT_EQ (ConversionResult::describeErrorBits (bitsOf ({ 31, 16, 9 })), "The target rejected the new setup data.");
    EXPECT_EQ (ConversionResult::describeErrorBits (bitsOf ({ 16, 3 })), "Profile information for the target version is missing.");
    EXPECT_EQ (ConversionResult::describeErrorBits (bitsOf ({ 12, 31 })), "An internal error occurred during conversion.");
}

TEST (ConversionResult, ExplicitTextWinsOnlyWhenABitIsSet)
{
    ConversionResult result;
    EXPECT_EQ (result.getErrorText(), "");

    result.setExplicitText ("Step 3 was refused.");
    EXPECT_EQ (result.getErrorText(), "") << "no bit, no error";

    result.setBit (ConversionErrorBits::scriptExecution);
    result.setBit (ConversionErrorBits::internal);
    EXPECT_EQ (result.getErrorText(), "Step 3 was refused.");

    result.clear();
    result.setBit (ConversionErrorBits::internal);
    EXPECT_EQ (result.getErrorText(), "An internal error occurred during conversion.");

    result.clear();
    result.setBit (ConversionErrorBits::capsMissing);
    result.setBit (ConversionErrorBits::scriptExecution);
    EXPECT_EQ (result.getErrorText(), "Profile information for the target version is missing.");

    // A stop leaves nothing but itself.
    result.setExplicitText ("Step 3 was refused.");
    result.setCancelled();
    EXPECT_TRUE (result.wasCancelled());
    EXPECT_EQ (result.getBits(), bitsOf ({ ConversionErrorBits::cancelled }));
    EXPECT_EQ (result.getErrorText(), "The conversion was cancelled.");
}
