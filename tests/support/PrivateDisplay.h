#pragma once

#include <juce_core/juce_core.h>

#include <sys/types.h>

/** An X display of one test's own: a fresh Xvfb server (1280 x 1024, 24 bits),
    so that tests which move the pointer or the keyboard focus can run beside
    each other. The server ends with this object, and with the test program
    when that is killed (a timeout) before it could end the server. */
class PrivateDisplay
{
public:
    PrivateDisplay();
    ~PrivateDisplay();

    /** False when Xvfb is missing or would not start. */
    bool isReady() const noexcept           { return server > 0; }

    /** The display's name, for DISPLAY (":12"). */
    const juce::String& getName() const     { return name; }

    /** Points DISPLAY at this display, for this program and every program it
        starts, until this object goes (then it names the earlier one again). */
    void makeCurrent();

    /** Makes the display the current one and starts openbox on it: true once it
        manages the screen. Its process (stopped as a slow window manager is, or
        let go on, with SIGSTOP and SIGCONT), 0 before. */
    bool startWindowManager();
    pid_t getWindowManager() const noexcept   { return windowManager; }

private:
    void stop();

    pid_t server = 0, windowManager = 0;
    juce::String name;
    bool madeCurrent = false, hadDisplay = false;
    juce::String earlierDisplay;

    PrivateDisplay (const PrivateDisplay&) = delete;
    PrivateDisplay& operator= (const PrivateDisplay&) = delete;
};
