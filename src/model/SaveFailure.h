#pragma once

#include <juce_core/juce_core.h>

/** What the user is told of a save, copy or export that failed: the system's
    cause (an errno value, as SafeSave::lastError gives it) in a few words, and
    what to do about that cause. Every text of such a failure is made here, so
    that no cause is told with the advice of another. */
namespace SaveFailure
{
    /** The cause in a few words ("no permission", "the drive is read-only",
        "no room on the drive", "an I/O error", "a name too long for the
        drive", or the system's own text); empty for 0. */
    juce::String describe (int error);

    /** Whether the drive has no room left (or the file may grow no larger). */
    bool isOutOfRoom (int error);

    /** " (the system said: no permission)", each cause once; empty when the
        system said nothing (0s only). */
    juce::String saidText (const juce::Array<int>& errors);

    /** What to do, a sentence for each cause ("Please make sure the drive is
        not full."); whenUnknown when the system said nothing. */
    juce::String adviceText (const juce::Array<int>& errors, const juce::String& whenUnknown);

    /** The same as steps before trying again ("Free some space on the
        drive"), joined; whenUnknown when the system said nothing. */
    juce::String remedyText (const juce::Array<int>& errors, const juce::String& whenUnknown);

    /** What failed, what the system said, then the advice:
        "Could not save X (the system said: an I/O error). Please ...". */
    juce::String describeFailure (const juce::String& whatFailed, const juce::Array<int>& errors,
                                  const juce::String& whenUnknown = {});
}
