#pragma once

#include "gui/widgets/ScopedAnswer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** The program's blocking alert boxes, centred over a component (or the screen when it is null). */
namespace Alerts
{
    void showInfo (juce::Component* component, const juce::String& title, const juce::String& message);
    void showWarning (juce::Component* component, const juce::String& title, const juce::String& message);
    bool askYesNo (juce::Component* component, const juce::String& title, const juce::String& message);

    /** Two buttons with free texts; with defaultSecond the second button is "Cancel".
        True when the first button was pressed. */
    bool showOkCancel (juce::MessageBoxIconType icon, juce::Component* component,
                       const juce::String& title, const juce::String& message,
                       bool defaultSecond, const juce::String& firstText, const juce::String& secondText);

    /** A box whose first button throws away the user's unsaved work or data
        and whose second keeps it: it opens on the second, which Return, Escape
        and closing the box all answer. True when the first was pressed. */
    bool askBeforeDiscarding (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
                              const juce::String& message, const juce::String& discardText, const juce::String& keepText);

    /** A button of a box with free buttons: its text, the result it gives,
        its key (Return or Escape; none by default), and whether Escape and
        closing the box answer it too (the button that keeps the user's work,
        where another would throw it away; no button of such a box gives 0).
        The box opens on the button of Return, and keeps the focus there until
        the user moves it, whatever the window manager does. */
    struct Choice
    {
        juce::String text;
        int result = 0;
        juce::KeyPress key {};
        bool onClose = false;
    };

    /** A box with the given buttons, first given leftmost; the result of the
        button pressed. Escape or closing the box gives the result of the
        button answered on close, 0 when there is none; a box that cannot be
        shown (the program is ending) gives 0. A box of news the program may
        overtake closes by itself, as closing it would, once overtaken() holds. */
    int showChoices (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
                     const juce::String& message, const juce::Array<Choice>& choices, std::function<bool()> overtaken = {});

    /** Opens a web address in the user's browser. When the system has nothing
        to open it with, a warning says so and shows the address, which is also
        put on the clipboard to be pasted into a browser. */
    void openWebAddress (juce::Component* component, const juce::URL& url);

    /** The address as it is handed to the system's opener: a web or mail address
        with every character a command line would read (blanks, quotes, $, `, \)
        escaped; empty for any other kind of address, which is never opened. */
    juce::String addressForOpening (const juce::URL& url);

    /** Whether one of the programs that open web addresses is in one of the
        folders (by default the search path and the system's alternatives). */
    bool canOpenWebAddresses (juce::StringArray folders = {});

    /** A box laid out at the scale of its look-and-feel: margins, icon and the
        room between buttons, text fields and progress bars grow with the fonts,
        so a box at scale 2 is the scale-1 box twice as large. A box given other
        components (the framework's own text boxes among them) keeps the
        framework's layout. */
    class Window : public juce::AlertWindow
    {
    public:
        Window (const juce::String& title, const juce::String& message, juce::MessageBoxIconType icon,
                juce::Component* associatedComponent = nullptr);

        /** The size the box's sizes are multiplied by. */
        float getScale() const;

        /** A text field under the message, its label above it, first in the Tab
            order (before the buttons, which follow left to right), so the focus
            opens in it. Read it back with getTextEditorContents (name). */
        void addTextField (const juce::String& name, const juce::String& initialText, const juce::String& label);

        /** Space presses the focused button, as Return does. */
        bool keyPressed (const juce::KeyPress& key) override;
        void visibilityChanged() override;
        void focusOfChildComponentChanged (FocusChangeType) override;

    protected:
        void paint (juce::Graphics&) override;
        void lookAndFeelChanged() override;
        void resized() override;
        void childrenChanged() override;
        void childBoundsChanged (juce::Component*) override;

    private:
        bool hasOwnLayout() const;
        void layOut();
        void measure();
        void place();

        juce::String message;
        juce::Component* associated = nullptr;
        juce::Array<juce::Component*> buttons;   // first added first
        juce::Array<juce::Component*> bars;
        juce::StringArray fieldNames, fieldLabels;
        juce::TextLayout textLayout;
        juce::Rectangle<int> textArea;
        juce::Point<int> boxSize, measuredParentSize;
        int textBottom = 0;
        bool layingOut = false, measured = false;
    };

    /** One box as it would be shown: its icon, texts and the buttons' labels. */
    struct Box
    {
        juce::MessageBoxIconType icon = juce::MessageBoxIconType::NoIcon;
        juce::String title, message;
        juce::StringArray buttons;   // as shown, first button first
    };

    /** Answers a box instead of the user: true for the first button. A box
        with free buttons counts false as closing it. */
    using Responder = std::function<bool (const Box&)>;

    /** Answers with the index of the button pressed (-1 closes the box, as
        Escape does); for boxes with any number of buttons. */
    using ChoiceResponder = std::function<int (const Box&)>;

    /** While one lives, every box goes to its responder instead of the screen,
        so tests answer the program's questions and read their texts. */
    using ScopedResponder = ScopedAnswer<Responder>;

    /** As ScopedResponder, answering by button index; a responder of either
        kind answers every box while the other kind is not set. */
    using ScopedChoiceResponder = ScopedAnswer<ChoiceResponder>;
}
