// The X declarations of JUCE's Linux windowing; they must come before any JUCE header here.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "gui/X11EventWake.h"

X11EventWake::X11EventWake()
{
   #if JUCE_LINUX || JUCE_BSD
    startTimer (20);
   #endif
}

X11EventWake::~X11EventWake()
{
    stopTimer();
}

void X11EventWake::timerCallback()
{
   #if JUCE_LINUX || JUCE_BSD
    auto* windowing = juce::XWindowSystem::getInstanceWithoutCreating();
    auto* display = windowing != nullptr ? windowing->getDisplay() : nullptr;

    if (display == nullptr || juce::ComponentPeer::getNumPeers() == 0)
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    // Only the queue already read: nothing here touches the socket.
    if (x11->xEventsQueued (display, QueuedAlready) == 0)
        return;

    // A client message of no type to one of our windows: JUCE ignores it, but reading it
    // drains the queue in front of it.
    XEvent wake {};
    wake.xclient.type = ClientMessage;
    wake.xclient.window = (::Window) juce::ComponentPeer::getPeer (0)->getNativeHandle();
    wake.xclient.format = 32;
    x11->xSendEvent (display, wake.xclient.window, False, NoEventMask, &wake);
    x11->xFlush (display);
   #endif
}
