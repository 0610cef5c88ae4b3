#include "gui/WindowCloser.h"

// Xlib's macros stay in this file.
#include <X11/Xlib.h>
#include <X11/Xatom.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace
{
    Display* xDisplay (void* d)  { return static_cast<Display*> (d); }

    // A window may vanish between the listing and the look at it: Xlib's default
    // handler would end the whole test program for that.
    int ignoreError (Display*, XErrorEvent*)  { return 0; }

    struct ScopedErrorHandler
    {
        ScopedErrorHandler()   : previous (XSetErrorHandler (ignoreError)) {}
        ~ScopedErrorHandler()  { XSetErrorHandler (previous); }

        XErrorHandler previous;
    };
}

WindowCloser::WindowCloser()
    : display (XOpenDisplay (nullptr))
{
    if (display == nullptr)
        return;

    protocols = XInternAtom (xDisplay (display), "WM_PROTOCOLS", False);
    deleteWindow = XInternAtom (xDisplay (display), "WM_DELETE_WINDOW", False);
    XSync (xDisplay (display), False);
}

WindowCloser::~WindowCloser()
{
    if (display != nullptr)
        XCloseDisplay (xDisplay (display));
}

// The framework writes the title as UTF-8 text, which XFetchName does not read.
std::string WindowCloser::nameOf (unsigned long window) const
{
    auto* d = xDisplay (display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::string name;

    if (XGetWindowProperty (d, window, XA_WM_NAME, 0, 1024, False, AnyPropertyType, &type, &format, &count, &left, &data) == Success
        && data != nullptr)
    {
        if (format == 8)
            name.assign (reinterpret_cast<const char*> (data), count);

        XFree (data);
    }

    return name;
}

unsigned long WindowCloser::find (const std::string& title) const
{
    if (display == nullptr)
        return 0;

    auto* d = xDisplay (display);
    const ScopedErrorHandler errors;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;

    if (XQueryTree (d, DefaultRootWindow (d), &root, &parent, &children, &count) == 0)
        return 0;

    Window found = 0;

    for (unsigned int i = 0; i < count && found == 0; ++i)
    {
        XWindowAttributes attributes {};

        if (XGetWindowAttributes (d, children[i], &attributes) != 0 && attributes.map_state == IsViewable
            && nameOf (children[i]) == title)
            found = children[i];
    }

    if (children != nullptr)
        XFree (children);

    return found;
}

bool WindowCloser::isShown (const std::string& title) const
{
    return find (title) != 0;
}

// The root's children are listed from the bottom up.
bool WindowCloser::isAbove (const std::string& upper, const std::string& lower) const
{
    const auto above = find (upper), below = find (lower);
    auto* d = xDisplay (display);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;

    if (above == 0 || below == 0 || XQueryTree (d, DefaultRootWindow (d), &root, &parent, &children, &count) == 0)
        return false;

    const std::vector<Window> order (children, children + count);
    XFree (children);
    return std::find (order.begin(), order.end(), above) > std::find (order.begin(), order.end(), below);
}

bool WindowCloser::close (const std::string& title)
{
    const auto found = find (title);

    if (found == 0)
        return false;

    auto* d = xDisplay (display);
    const ScopedErrorHandler errors;
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = found;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long) deleteWindow;
    event.xclient.data.l[1] = CurrentTime;

    const auto sent = XSendEvent (d, found, False, NoEventMask, &event) != 0;
    XSync (d, False);
    return sent;
}

bool WindowCloser::isActive (void* nativeWindow) const
{
    auto* d = xDisplay (display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const auto active = XInternAtom (d, "_NET_ACTIVE_WINDOW", False);

    if (XGetWindowProperty (d, DefaultRootWindow (d), active, 0, 1, False, XA_WINDOW, &type, &format, &count, &left, &data) != Success
        || data == nullptr)
        return true;

    const bool isIt = count == 1 && *reinterpret_cast<Window*> (data) == (Window) reinterpret_cast<uintptr_t> (nativeWindow);
    XFree (data);
    return isIt;
}
