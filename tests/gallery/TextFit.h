#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Finds text a user cannot read whole: text cut short without an ellipsis, and
    text drawn past the edge of the box that clips it or of its window.

    The component is painted twice through a context that watches the glyphs:
    once as the user sees it, once with every font squeezed so narrow that no
    text needs cutting. A text drawn with fewer glyphs the first time was cut;
    it is fine when it ends in an ellipsis. */
namespace TextFit
{
    struct Finding
    {
        juce::String text;        // the whole text
        juce::String shown;       // what the user sees of it
        juce::String where;       // the component that drew it
        juce::Rectangle<int> box; // in the component's coordinates
        bool ellipsized = false;  // cut on purpose, with an ellipsis: not a fault
    };

    juce::Array<Finding> check (juce::Component& component);

    /** Whether a finding is one of the few texts cut on purpose. */
    bool isAllowed (const juce::String& screenName, const Finding& finding);
}
