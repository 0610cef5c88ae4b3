#pragma once

#include <juce_core/juce_core.h>

/** Bit numbers of the conversion errors. */
namespace ConversionErrorBits
{
    enum
    {
        noChain = 0,
        scriptMissing = 1,
        scriptEmpty = 2,
        capsMissing = 3,
        allocationFailed = 4,
        presetsInvalid = 5,
        setupInvalid = 6,
        presetStepFailed = 7,
        setupStepFailed = 8,
        setupRejected = 9,
        scriptInterface = 15,
        scriptExecution = 16,
        cancelled = 30,    // the job was asked to stop; nothing of it was kept
        internal = 31
    };
}

/** The error state of the last conversion job: a set of error bits and, when
    a script failed, the script's or the engine's own text. */
class ConversionResult
{
public:
    void clear();

    void setBit (int bit)                         { bits.setBit (bit); }
    bool isBitSet (int bit) const                 { return bits[bit]; }
    bool hasErrors() const                        { return ! bits.isZero(); }
    bool wasCancelled() const                     { return bits[ConversionErrorBits::cancelled]; }

    /** Only the cancelled bit: a stop ends a job without any other error. */
    void setCancelled();
    const juce::BigInteger& getBits() const       { return bits; }

    void setExplicitText (const juce::String& t)  { explicitText = t; }

    /** Empty without errors; else the explicit text when there is one; else the text of the first bit. */
    juce::String getErrorText() const;

    /** The text of the first set bit in the order of importance; empty when none is set. */
    static juce::String describeErrorBits (const juce::BigInteger& bits);

private:
    juce::BigInteger bits;
    juce::String explicitText;
};
