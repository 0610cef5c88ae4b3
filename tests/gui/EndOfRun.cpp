// A dropped item's image fades for a moment in a window of its own. One still
// fading when the tests end would be freed by the framework after it closed
// the display: a crash on the way out of a test that passed.

#include "support/TestEnvironment.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    const bool fadesEndFirst = TestEnvironment::atEnd ([]
    {
        if (TestEnvironment::hasDisplay())
            juce::Desktop::getInstance().getAnimator().cancelAllAnimations (false);
    });
}
