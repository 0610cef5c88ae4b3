#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** How a dialog or box stands to the window it opens over. */
namespace WindowStacking
{
    /** Call as the window is about to show: it is marked as belonging to the
        window it opens over (the one with the keyboard focus, else the modal
        window under it, else the window in front), which a window manager keeps
        it above, a click on that window or Alt+Tab included. Without a window
        manager the mark changes nothing. */
    void keepAboveOpener (juce::Component& window);
}
