#pragma once

#include <juce_core/juce_core.h>

class Preset;

/** How values cross between the conversion scripts and the program. The
    script engine may hand whole numbers over as doubles, so integer-ness is
    decided by value, not by the variant's type. */
struct ScriptValues
{
    /** True when the value is a number with no fraction that fits an int; sets out. */
    static bool getWholeNumber (const juce::var& value, int& out);

    /** The script's integer conversion without undefined casts: doubles are cut
        toward zero and clamped into the int range, NaN and non-numbers give 0
        (text is read as a decimal number). */
    static int toInt (const juce::var& value);

    /** The argument at index, or undefined when there are fewer arguments. */
    static juce::var argument (const juce::var::NativeFunctionArgs& args, int index);

    /** Each element through toInt, in order. */
    static juce::Array<int> toIntArray (const juce::var& array);

    /** A script array of integers. */
    static juce::var fromIntArray (const juce::Array<int>& values);

    /** A plain script object with "number", "version", "name", "tags" and "steps" of the preset header. */
    static juce::DynamicObject::Ptr headerOf (const Preset& preset);

    /** True for a plain script object (not an array). */
    static bool isPlainObject (const juce::var& value);

    /** An integer as the script's own: the engine reads integer literals as
        64-bit values, and "===" compares types, so "r === 1" needs this type. */
    static juce::var integer (int value)  { return juce::var ((juce::int64) value); }

    /** The result of a successful set method. */
    static juce::var success()  { return integer (1); }

    /** The result of a refused call: the script's undefined. */
    static juce::var refused()  { return juce::var::undefined(); }
};
