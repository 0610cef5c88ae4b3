#include "gui/WindowCloser.h"

// Xlib's macros stay in this file.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace
{
    Display* xDisplay (void* d)  { return static_cast<Display*> (d); }
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

bool WindowCloser::close (const std::string& title)
{
    if (display == nullptr)
        return false;

    auto* d = xDisplay (display);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;

    if (XQueryTree (d, DefaultRootWindow (d), &root, &parent, &children, &count) == 0)
        return false;

    Window found = 0;

    for (unsigned int i = 0; i < count && found == 0; ++i)
    {
        XWindowAttributes attributes;
        char* name = nullptr;

        if (XGetWindowAttributes (d, children[i], &attributes) != 0 && attributes.map_state == IsViewable
            && XFetchName (d, children[i], &name) != 0 && name != nullptr)
        {
            if (title == name)
                found = children[i];

            XFree (name);
        }
    }

    if (children != nullptr)
        XFree (children);

    if (found == 0)
        return false;

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
