#pragma once

// Driving a dialog as the user would: finding its children by name, clicking,
// running it modally with something done while it is open.

#include "gui/dialogs/BelvoraDialog.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "gui/WindowCloser.h"
#include "support/SettingsFixture.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace DialogTests
{
    /** The first component of that name below root, of that type; null when there is none. */
    template <typename Type = juce::Component>
    Type* find (juce::Component& root, const juce::String& name)
    {
        for (auto* child : root.getChildren())
        {
            if (child->getName() == name)
                if (auto* typed = dynamic_cast<Type*> (child))
                    return typed;

            if (auto* below = find<Type> (*child, name))
                return below;
        }

        return nullptr;
    }

    template <typename Type = juce::Component>
    Type& get (juce::Component& root, const juce::String& name)
    {
        auto* found = find<Type> (root, name);
        EXPECT_NE (found, nullptr) << "no " << name;

        if (found == nullptr)
            throw std::runtime_error ("no " + name.toStdString());

        return *found;
    }

    inline juce::String textOf (juce::Component& root, const juce::String& labelName)
    {
        return get<juce::Label> (root, labelName).getText();
    }

    /** Delivers every message posted so far: a marker posted now arrives after them. */
    inline void deliverPosted()
    {
        auto arrived = std::make_shared<bool> (false);
        juce::MessageManager::callAsync ([arrived] { *arrived = true; });
        TestEnvironment::runMessageLoopUntil ([arrived] { return *arrived; });
    }

    /** A click as the user's: nothing happens on a disabled button. */
    inline void click (juce::Button& button)
    {
        button.triggerClick();
        deliverPosted();
    }

    /** The item of a toolbar by its id; null when there is none. */
    inline juce::ToolbarItemComponent* toolbarItem (juce::Toolbar& toolbar, int id)
    {
        for (int i = 0; i < toolbar.getNumItems(); ++i)
            if (auto* item = toolbar.getItemComponent (i); item != nullptr && item->getItemId() == id)
                return item;

        return nullptr;
    }

    /** The buttons of a box or prompt, by their text. */
    inline juce::Button* buttonWithText (juce::Component& root, const juce::String& text)
    {
        for (auto* child : root.getChildren())
            if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && button->getButtonText() == text)
                return button;

        return nullptr;
    }

    /** A key as the X server delivers it: to the window that has the system's
        keyboard focus, there to the focused component. False when no window of
        the program has the focus, so the key is lost. */
    inline bool pressKey (const juce::KeyPress& key)
    {
        for (int i = 0; i < juce::ComponentPeer::getNumPeers(); ++i)
        {
            if (auto* peer = juce::ComponentPeer::getPeer (i); peer->isFocused())
            {
                juce::ModifierKeys::currentModifiers = key.getModifiers();
                peer->handleKeyPress (key);
                juce::ModifierKeys::currentModifiers = {};
                deliverPosted();
                return true;
            }
        }

        return false;
    }

    inline bool typeText (const juce::String& text)
    {
        for (auto c : text)
            if (! pressKey (juce::KeyPress (c, {}, c)))
                return false;

        return true;
    }

    /** The mouse moved to a point of a component on the screen and, with a button, pressed and released there. */
    inline void mouseAt (juce::Component& target, juce::Point<int> at, juce::ModifierKeys button = {})
    {
        auto* peer = target.getPeer();
        ASSERT_NE (peer, nullptr);
        const auto inPeer = peer->getComponent().getLocalPoint (&target, at).toFloat();
        juce::Desktop::setMousePosition (target.localPointToGlobal (at));

        const auto send = [&] (juce::ModifierKeys mods)
        {
            juce::ModifierKeys::currentModifiers = mods;
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, inPeer, mods, juce::MouseInputSource::defaultPressure,
                                    juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
        };

        send ({});

        if (! button.isAnyMouseButtonDown())
            return;

        send (button);
        send ({});
        deliverPosted();
    }

    /** The item of that text in the open pop-up menu; null while no menu shows it. */
    inline juce::Component* menuItem (const juce::String& text)
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = desktop.getNumComponents(); --i >= 0;)
            if (auto* menu = desktop.getComponent (i); menu->getName() == "menu" && menu->isShowing())
                for (auto* item : menu->getChildren())
                    if (auto* handler = item->getAccessibilityHandler(); handler != nullptr && handler->getTitle() == text)
                        return item;

        return nullptr;
    }

    /** A click (or, without click, a move) of the real pointer through the X
        server (xdotool), for what only real input does: a click on a pop-up gives
        that pop-up the system's keyboard focus. The message loop runs meanwhile;
        false when it failed. */
    inline bool clickOnScreen (juce::Point<int> at, bool click = true)
    {
        const auto xdotool = [] (juce::StringArray args)
        {
            juce::ChildProcess process;
            args.insert (0, "xdotool");

            if (! process.start (args))
                return false;

            TestEnvironment::runMessageLoopUntil ([&] { return ! process.isRunning(); });
            return process.getExitCode() == 0;
        };

        // Released once the program has seen the press, as a hand would.
        const auto pressed = [] { return juce::ModifierKeys::currentModifiers.isLeftButtonDown(); };

        // The release may land on a menu already gone, which the program then never hears of.
        // The release may land on a menu already gone, which the program then never hears of.
        if (! click)
            return xdotool ({ "mousemove", juce::String (at.x), juce::String (at.y) });

        return xdotool ({ "mousemove", juce::String (at.x), juce::String (at.y) })
            && xdotool ({ "mousedown", "1" }) && TestEnvironment::runMessageLoopUntil (pressed)
            && xdotool ({ "mouseup", "1" });
    }

    /** Waits for the open menu to show the item, then clicks it until the menu
        takes the click (a menu ignores releases in its first moments, so that
        the release of the press that opened it chooses nothing), with the real
        pointer. */
    inline bool chooseFromMenu (const juce::String& text)
    {
        if (! TestEnvironment::runMessageLoopUntil ([&] { return menuItem (text) != nullptr; }))
            return false;

        return TestEnvironment::runMessageLoopUntil ([&]
        {
            auto* item = menuItem (text);

            if (item == nullptr)
                return true;

            EXPECT_TRUE (clickOnScreen (item->localPointToGlobal (item->getLocalBounds().getCentre()))) << "needs xdotool";
            return false;
        });
    }

    /** A key (an X key name) through the X server, for the keys only real input has. */
    inline bool keyOnScreen (const juce::String& keyName)
    {
        juce::ChildProcess process;
        return process.start (juce::StringArray { "xdotool", "key", keyName }) && process.waitForProcessToFinish (10000) && process.getExitCode() == 0;
    }

    /** Down through the open menu until the keys' highlight is on the item of that text, then `then` (Return, or Right into its submenu). */
    inline bool pickFromMenuByKeys (const juce::String& text, int then = juce::KeyPress::returnKey)
    {
        const auto highlighted = [&text]
        {
            auto* item = menuItem (text);
            return item != nullptr && item->getAccessibilityHandler()->hasFocus (false);
        };

        for (int i = 0; i < 30 && ! highlighted(); ++i)
            if (! pressKey (juce::KeyPress (juce::KeyPress::downKey)))
                return false;

        return highlighted() && pressKey (juce::KeyPress (then));
    }

    inline juce::Component* currentModal()
    {
        return juce::ModalComponentManager::getInstance()->getModalComponent (0);
    }

    /** What has the keyboard focus: a button by its text, anything else by its name. */
    inline juce::String focusedName()
    {
        auto* now = juce::Component::getCurrentlyFocusedComponent();
        auto* button = dynamic_cast<juce::Button*> (now);
        return button != nullptr ? button->getButtonText() : now != nullptr ? now->getName() : juce::String();
    }

    /** Once a modal window (of that name, when one is given) is up with the keys for good (the system's
        focus, a component of it focused and, under a window manager, the manager's word that it is the
        active window), does `action` to it as the user would; `done` holds what the action returned,
        `focused` what had the focus as the window got the keys, and after (" then " between, if it moved).
        The window manager is held back until a modal window is up, as a slow one is. */
    struct WhenUp : juce::Timer
    {
        WhenUp (const juce::String& n, std::function<bool (juce::Component&)> f) : name (n), action (std::move (f))
        {
            TestEnvironment::pauseWindowManager (true);
            startTimer (10);
        }

        ~WhenUp() override   { TestEnvironment::pauseWindowManager (false); }

        void timerCallback() override
        {
            auto* m = currentModal();

            if (m == nullptr || m->getPeer() == nullptr)
                return;

            TestEnvironment::pauseWindowManager (false);

            if (name.isNotEmpty() && m->getName() != name)
                return;

            if (! m->getPeer()->isFocused() || ! m->hasKeyboardFocus (true))
            {
                if (juce::Time::getMillisecondCounter() > giveUp)   // the keys never reach it: it must not stay for ever
                    m->exitModalState (-1);

                return;
            }

            if (focused.isEmpty())
                focused = focusedName();

            if (! windows.isActive (m->getPeer()->getNativeHandle()))
                return;

            stopTimer();
            TestEnvironment::drainMessages();

            if (focusedName() != focused)
                focused << " then " << focusedName();

            done = action (*m);
        }

        juce::String name;
        std::function<bool (juce::Component&)> action;
        bool done = false;
        juce::String focused;
        WindowCloser windows;
        const juce::uint32 giveUp = juce::Time::getMillisecondCounter() + 30000;
    };

    /** Runs the dialog modally and, once it is up, does `whileOpen` to it; the modal result. */
    inline int runModally (BelvoraDialog& dialog, std::function<void (BelvoraDialog&)> whileOpen)
    {
        struct Driver : juce::Timer
        {
            Driver (BelvoraDialog& d, std::function<void (BelvoraDialog&)> f) : dialog (d), action (std::move (f)) { startTimer (5); }

            void timerCallback() override
            {
                if (currentModal() != &dialog)
                    return;

                stopTimer();
                action (dialog);
            }

            BelvoraDialog& dialog;
            std::function<void (BelvoraDialog&)> action;
        };

        Driver driver (dialog, std::move (whileOpen));
        return dialog.runModal();
    }

    /** The user at the real file chooser once it is up with the focus in it: the
        action, or the text typed and Return. One left open is then cancelled. */
    struct ChooserKeys : juce::Timer
    {
        explicit ChooserKeys (std::function<void (juce::Component&)> f) : action (std::move (f))   { startTimer (10); }
        explicit ChooserKeys (const juce::String& typed)
            : ChooserKeys ([typed] (juce::Component&) { EXPECT_TRUE (typeText (typed) && pressKey (juce::KeyPress (juce::KeyPress::returnKey))); }) {}

        void timerCallback() override
        {
            juce::Component::SafePointer<juce::Component> chooser (currentModal());

            if (chooser == nullptr || dynamic_cast<juce::AlertWindow*> (chooser.getComponent()) != nullptr)
                return;

            stopTimer();
            const auto in = [&] { return chooser->getPeer()->isFocused() && chooser->isParentOf (juce::Component::getCurrentlyFocusedComponent()); };
            EXPECT_TRUE (TestEnvironment::runMessageLoopUntil (in)) << "no focus in the chooser";
            focused = in() ? juce::Component::getCurrentlyFocusedComponent()->getName() : juce::String();

            if (in())
                action (*chooser);

            if (chooser != nullptr && chooser->isCurrentlyModal())
                chooser->exitModalState (0);
        }

        std::function<void (juce::Component&)> action;
        juce::String focused;
    };

    /** Settings on a fresh private home, and skipped without a display. */
    class DisplayTest : public SettingsFixture
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            SettingsFixture::SetUp();
        }
    };

    /** Records the alert boxes shown and answers them. */
    struct AlertLog
    {
        explicit AlertLog (bool answer = true)
            : responder ([this, answer] (const Alerts::Box& box) { boxes.push_back (box); return answer; })
        {
        }

        std::vector<Alerts::Box> boxes;
        Alerts::ScopedResponder responder;
    };

    /** Answers every file chooser with the given files (none: cancelled) and remembers the requests. */
    struct ChooserAnswers
    {
        template <typename... Files>
        explicit ChooserAnswers (const Files&... chosen)
            : files { chosen... },
              responder ([this] (const FileChoosers::Request& r) { requests.push_back (r); return files; })
        {
        }

        juce::Array<juce::File> files;

        std::vector<FileChoosers::Request> requests;
        FileChoosers::ScopedResponder responder;
    };
}
