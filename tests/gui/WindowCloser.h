#pragma once

#include <string>

/** Closes a top-level window as a window manager does when its close button
    is clicked (the WM_DELETE_WINDOW message). Make it before the program
    starts: without a window manager nobody else has named that message, and
    the framework looks its name up only once, at its start, and only if it
    exists. */
class WindowCloser
{
public:
    WindowCloser();
    ~WindowCloser();

    bool isReady() const noexcept   { return display != nullptr; }

    /** Asks the first mapped top-level window of that title to close; false
        when there is none. */
    bool close (const std::string& title);

    /** Whether a top-level window of that title is mapped. */
    bool isShown (const std::string& title) const;

    /** Whether the X server shows the first window of that title above the second. */
    bool isAbove (const std::string& upper, const std::string& lower) const;

    /** Whether the window manager has made that window its active one; true when none runs. */
    bool isActive (void* nativeWindow) const;

private:
    std::string nameOf (unsigned long window) const;
    unsigned long find (const std::string& title) const;   // 0 when there is none

    void* display = nullptr;
    unsigned long protocols = 0, deleteWindow = 0;

    WindowCloser (const WindowCloser&) = delete;
    WindowCloser& operator= (const WindowCloser&) = delete;
};
