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
        gets it back, or, when it went or greyed out, the nearest control of its
        window (of the window in front, when its window went too). Nothing while
        another modal window is up; once one that is up but hidden (a window that
        ends later than it hides) ends. */
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

    /** For a window that took the focus itself (as it does when it opens): the
        control it opens on (see openOn), else its content's first control in focus
        order takes it, so Tab goes on from there; the window's own first (its close
        button) when the content has none. */
    static void passToContent (juce::ResizableWindow& window);

    /** Space acts on the window's focused button, as Return does; false for
        other keys, or when no enabled button of the window has the focus. */
    static bool pressFocusedButton (juce::Component& window, const juce::KeyPress& key);

    /** Tab or Shift+Tab while nothing in the window has the focus (the control
        that had it went away): its content's first control takes it. False for
        other keys, or when something has the focus (Tab then moves on from it). */
    static bool tabIntoContent (juce::ResizableWindow& window, const juce::KeyPress& key);

    /** From now on, in every window: a focused control that goes, hides or greys
        out hands the focus to the nearest control of its window that can take it
        (with or without a window manager, the keys always act); one greyed out or
        blocked takes it back once it can, unless the user acted meanwhile. */
    static void keepFocusInWindows();

    /** The control's window opens with the focus on it (the button that keeps the
        user's work), and keeps it there until the user acts in the window (a key,
        a mouse button, the focus moved elsewhere in it), whatever focus the system
        gives the window and when. Takes the focus now when the window has the system's. */
    static void openOn (juce::Component& control);

    /** Our windows call this from focusOfChildComponentChanged: as the focus comes
        into the window, the control that holds it there (see openOn; also one that
        a closed window gave the focus back to) takes it back. */
    static void focusChanged (juce::Component& window);

    /** Where a component is: its window, its parents nearest first, its area in the window. */
    struct Place
    {
        Place() = default;
        explicit Place (juce::Component& component);

        juce::Component::SafePointer<juce::Component> window;
        juce::Array<juce::Component::SafePointer<juce::Component>> parents;
        juce::Rectangle<int> area;
    };

private:
    juce::Component::SafePointer<juce::Component> focused, underMouse;
    Place place;
};
