#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Keeps X events from waiting unhandled. JUCE reads the display when its socket turns
    readable, but some of its own calls (the check for finished paints, pointer queries) pull
    waiting events into Xlib's queue on the way: a button release or a key caught there waits
    until some later event arrives, which with a still mouse may be never. While events wait in
    that queue, this sends the program an empty event of its own, so JUCE reads them all. */
class X11EventWake : private juce::Timer
{
public:
    X11EventWake();
    ~X11EventWake() override;

private:
    void timerCallback() override;
};
