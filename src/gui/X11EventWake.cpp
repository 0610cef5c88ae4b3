// The X declarations of JUCE's Linux windowing; they must come before any JUCE header here.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "gui/X11EventWake.h"

#if JUCE_LINUX || JUCE_BSD
 #include <array>
 #include <atomic>
 #include <utility>
 #include <dlfcn.h>

namespace
{
    // Xlib's hook on the conversion of events read off the wire; its wire format stays opaque here.
    struct WireEvent;
    using WireToEvent = Bool (*) (Display*, XEvent*, WireEvent*);
    using SetWireToEvent = WireToEvent (*) (Display*, int, WireToEvent);

    std::array<WireToEvent, LASTEvent> previous {};
    std::atomic<juce::AsyncUpdater*> current { nullptr };

    template <int type>
    Bool taken (Display* display, XEvent* event, WireEvent* wire)
    {
        const auto kept = previous[type] (display, event, wire);

        // Called inside Xlib, with the display locked: only a message is posted from here.
        if (auto* wake = current.load())
            wake->triggerAsyncUpdate();

        return kept;
    }

    template <std::size_t... types>
    constexpr std::array<WireToEvent, sizeof... (types)> makeHooks (std::index_sequence<types...>)
    {
        return { &taken<(int) types>... };
    }

    const auto hooks = makeHooks (std::make_index_sequence<LASTEvent>());

    // Every core event, from the first (2, key press) to the last but the generic one, which
    // Xlib converts by another hook.
    bool isWatched (int type)   { return type >= 2 && type < LASTEvent && type != GenericEvent; }

    // The hook setter of the Xlib that JUCE opened (it is not among JUCE's X symbols).
    SetWireToEvent findSetter()
    {
        auto* xlib = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        auto* setter = xlib != nullptr ? dlsym (xlib, "XESetWireToEvent") : nullptr;

        if (xlib != nullptr)
            dlclose (xlib);   // JUCE's own handle keeps it loaded

        return reinterpret_cast<SetWireToEvent> (setter);
    }

    ::Display* openDisplay()
    {
        auto* windowing = juce::XWindowSystem::getInstanceWithoutCreating();
        return windowing != nullptr ? windowing->getDisplay() : nullptr;
    }
}
#endif

X11EventWake::X11EventWake()
{
   #if JUCE_LINUX || JUCE_BSD
    auto* display = openDisplay();
    auto* setWireToEvent = findSetter();

    // One watcher at a time.
    if (display == nullptr || setWireToEvent == nullptr || current.load() != nullptr)
        return;

    juce::XWindowSystemUtilities::ScopedXLock lock;

    for (int type = 0; type < LASTEvent; ++type)
        if (isWatched (type))
            previous[(size_t) type] = setWireToEvent (display, type, hooks[(size_t) type]);

    watchedDisplay = display;
    current = this;
   #endif
}

X11EventWake::~X11EventWake()
{
   #if JUCE_LINUX || JUCE_BSD
    if (watchedDisplay != nullptr)
    {
        current = nullptr;

        if (auto* display = openDisplay(); display == watchedDisplay)
            if (auto* setWireToEvent = findSetter())
            {
                juce::XWindowSystemUtilities::ScopedXLock lock;

                for (int type = 0; type < LASTEvent; ++type)
                    if (isWatched (type))
                        setWireToEvent (display, type, previous[(size_t) type]);
            }
    }
   #endif

    cancelPendingUpdate();
}

void X11EventWake::handleAsyncUpdate()
{
   #if JUCE_LINUX || JUCE_BSD
    auto* display = openDisplay();

    if (display == nullptr || display != watchedDisplay || juce::ComponentPeer::getNumPeers() == 0)
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    // Only the queue already read: nothing here touches the socket. Events that JUCE took in
    // itself are gone from it by now.
    if (x11->xEventsQueued (display, QueuedAlready) == 0)
        return;

    // A client message of our own type to one of our windows: JUCE ignores it, but reading it
    // drains the queue in front of it. (A message of no type would pass for a window manager's
    // ping, which JUCE answers by sending it on to the root window.)
    static const auto wakeType = x11->xInternAtom (display, "BELVORA_EVENT_WAKE", False);

    XEvent wake {};
    wake.xclient.type = ClientMessage;
    wake.xclient.message_type = wakeType;
    wake.xclient.window = (::Window) juce::ComponentPeer::getPeer (0)->getNativeHandle();
    wake.xclient.format = 32;
    x11->xSendEvent (display, wake.xclient.window, False, NoEventMask, &wake);
    x11->xFlush (display);
   #endif
}
