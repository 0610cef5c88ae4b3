#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** How every dialog window of the program is built and closed.

    Built: a dialog window with the given title and background that Escape
    closes, on the desktop, its title bar scaled with the look-and-feel, owning
    its content and sized to it, centred over the parent (the screen when there
    is none), not resizable.

    Closed: the close button and Escape hide the window, which ends a modal
    loop with result 0; Escape in a one-line text field too. A dialog that ends
    with a choice calls closeWith. */
class BelvoraDialog : public juce::DialogWindow
{
public:
    BelvoraDialog (const juce::String& title, juce::Colour background,
                   std::unique_ptr<juce::Component> content, juce::Component* parent);
    ~BelvoraDialog() override;

    /** Runs the dialog modally on the spot; its result (0 when closed or escaped). */
    int runModal();

    /** Shows the dialog modally without waiting; the dialog deletes itself when it
        closes, after telling onClose its result. */
    static void launch (std::unique_ptr<BelvoraDialog> dialog, std::function<void (int result)> onClose = {});

    /** Ends the modal state with that result and hides the window. */
    void closeWith (int result);

    /** closeWith on the dialog that holds a component; nothing when it is in none. */
    static void closeWith (juce::Component& inside, int result);

    void closeButtonPressed() override;

    void visibilityChanged() override;

    /** The resize grip, when there is one, as large as the scale makes the rest. */
    void resized() override;

    /** The window hands the focus it gets on opening to its first control, or
        to its close button when it has none. */
    void focusGained (FocusChangeType cause) override;

    /** The dialog opens on that control of its content (the answer that keeps the
        user's work) rather than on its first, and keeps the focus there until the
        user moves it, whatever the window manager does. */
    void openOn (juce::Component& control);

    void focusOfChildComponentChanged (FocusChangeType cause) override;

    /** The close button, when it has the focus, is marked as a control is. */
    void paintOverChildren (juce::Graphics& g) override;

    void activeWindowStatusChanged() override;

    /** Space acts on the focused button, as Return does; the arrows move within a group of radio buttons. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** Each group of radio buttons is one Tab stop. */
    std::unique_ptr<juce::ComponentTraverser> createKeyboardFocusTraverser() override;

private:
    bool closeTakesKeys();
    void focusCloseButtonSoon();

    juce::Component::SafePointer<juce::Component> opening;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BelvoraDialog)
};
