#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Keeps X events from waiting unhandled. JUCE reads the display when its socket turns
    readable, but some of its own calls (the check for finished paints, pointer queries) pull
    waiting events into Xlib's queue on the way: a button release or a key caught there waits
    until some later event arrives, which with a still mouse may be never. This watches events
    as Xlib takes them in; once the program is back in its loop, if any still wait in the
    queue, it sends the program an empty event of its own, so JUCE reads them all. While no
    event arrives it costs nothing. */
class X11EventWake : private juce::AsyncUpdater
{
public:
    X11EventWake();
    ~X11EventWake() override;

private:
    void handleAsyncUpdate() override;

    void* watchedDisplay = nullptr;

    JUCE_DECLARE_NON_COPYABLE (X11EventWake)
};
