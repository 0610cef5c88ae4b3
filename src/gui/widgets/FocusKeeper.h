#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Where the keyboard focus and the pointer were when a menu, box or dialog
    opened. Once it has closed, restore() gives the focus back, with its
    window's focus (a closing pop-up leaves the system's keyboard focus on no
    window when no window manager takes it back), and lets what the closed
    window uncovered see the pointer afresh, so no hover look outlives it. */
class FocusKeeper
{
public:
    /** Remembers the focused component; when none has the focus, the one the
        focus last left in the active window, else the fallback. */
    explicit FocusKeeper (juce::Component* fallback = nullptr);

    /** A component focused meanwhile (an editor the menu opened) keeps the
        focus, its window taking the system's focus; else the remembered one
        gets it back. Nothing while another modal window is up. */
    void restore() const;

    /** restore() once what is already posted (the closing window's own clean-up) has run. */
    void restoreLater() const;

    /** A keeper made now restores once that window hides or is deleted; one
        made when it shows again restores when it hides again. */
    static void keepFor (juce::Component& window);

    /** For a window about to show and take the focus (call it before it does):
        the window that has the focus notes where, so that the system's focus
        coming back to it, late without a window manager, puts it there again. */
    static void noteFocusLeavingFor (juce::Component& opening);

    /** For a window that took the focus itself (as it does when it opens): its
        content's first control in focus order takes it, so Tab goes on from there. */
    static void passToContent (juce::ResizableWindow& window);

    /** Space acts on the window's focused button, as Return does; false for
        other keys, or when no enabled button of the window has the focus. */
    static bool pressFocusedButton (juce::Component& window, const juce::KeyPress& key);

    /** Tab or Shift+Tab while nothing in the window has the focus (the control
        that had it went away): its content's first control takes it. False for
        other keys, or when something has the focus (Tab then moves on from it). */
    static bool tabIntoContent (juce::ResizableWindow& window, const juce::KeyPress& key);

private:
    juce::Component::SafePointer<juce::Component> focused, underMouse;
};
