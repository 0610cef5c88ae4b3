#include "gui/widgets/FocusKeeper.h"

namespace
{
    juce::Component* lastFocusedInActiveWindow()
    {
        if (auto* window = juce::TopLevelWindow::getActiveTopLevelWindow())
            if (auto* peer = window->getPeer())
                return peer->getLastFocusedSubcomponent();

        return nullptr;
    }

    /** Where a window puts its focus when it gets the system's focus back: on
        the component that had it when the window lost the system's focus, else
        on the window itself. The latter also when the focus had already gone to
        a box or dialog as the loss was heard, as it has without a window manager. */
    juce::Component& focusOnActivation (juce::ComponentPeer& peer)
    {
        auto* last = peer.getLastFocusedSubcomponent();
        return last != nullptr && last->getWantsKeyboardFocus() ? *last : peer.getComponent();
    }

    /** That hand-over comes even over a component focused since (an editor a
        menu opened, or the one a restore gave the focus back to before the
        system's focus came). For a moment after a restore, it is put right,
        until the user clicks anywhere. */
    class StaleFocusGuard : private juce::FocusChangeListener,
                            private juce::MouseListener,
                            private juce::Timer,
                            private juce::DeletedAtShutdown
    {
    public:
        StaleFocusGuard (juce::Component& t, juce::Component& s) : target (&t), stale (&s)
        {
            auto& desktop = juce::Desktop::getInstance();
            desktop.addFocusChangeListener (this);
            desktop.addGlobalMouseListener (this);
            startTimer (2000);
        }

        ~StaleFocusGuard() override
        {
            auto& desktop = juce::Desktop::getInstance();
            desktop.removeFocusChangeListener (this);
            desktop.removeGlobalMouseListener (this);
        }

    private:
        void globalFocusChanged (juce::Component* now) override
        {
            if (now == nullptr || now != stale)
                return;

            if (target != nullptr && target->isShowing() && target->isEnabled() && ! target->isCurrentlyBlockedByAnotherModalComponent())
                target->grabKeyboardFocus();

            delete this;
        }

        void mouseDown (const juce::MouseEvent&) override   { delete this; }
        void timerCallback() override                       { delete this; }

        juce::Component::SafePointer<juce::Component> target, stale;
    };

    /** Lives as long as its window (or the program): each time the window
        hides, or goes, the focus goes back to where it was when the window was
        made or last shown again. */
    class WindowWatch : private juce::ComponentListener,
                        private juce::DeletedAtShutdown
    {
    public:
        explicit WindowWatch (juce::Component& w) : window (&w)   { w.addComponentListener (this); }

        ~WindowWatch() override
        {
            if (window != nullptr)
                window->removeComponentListener (this);
        }

    private:
        void componentVisibilityChanged (juce::Component& c) override
        {
            // Shown again: the focus it takes meanwhile is its own, not one to go back to.
            if (c.isVisible() && restored)
                if (auto* now = juce::Component::getCurrentlyFocusedComponent(); now != nullptr && now != &c && ! c.isParentOf (now))
                    keeper = FocusKeeper();

            if (! c.isVisible() && ! restored)
                keeper.restoreLater();

            restored = ! c.isVisible();
        }

        void componentBeingDeleted (juce::Component& c) override
        {
            c.removeComponentListener (this);
            window = nullptr;

            if (! restored)
                keeper.restoreLater();

            delete this;
        }

        juce::Component::SafePointer<juce::Component> window;
        FocusKeeper keeper;
        bool restored = false;
    };
}

FocusKeeper::FocusKeeper (juce::Component* fallback)
{
    auto* now = juce::Component::getCurrentlyFocusedComponent();

    if (now == nullptr)
        now = lastFocusedInActiveWindow();

    focused = now != nullptr ? now : fallback;
    underMouse = juce::Desktop::getInstance().getMainMouseSource().getComponentUnderMouse();
}

void FocusKeeper::restore() const
{
    // A component entered while the window above was up never heard the pointer leave.
    if (underMouse != nullptr)
        underMouse->repaint();

    juce::Desktop::getInstance().getMainMouseSource().triggerFakeMove();

    auto* target = juce::Component::getCurrentlyFocusedComponent();

    if (target == nullptr || ! target->isShowing())
        target = focused.getComponent();

    if (target == nullptr || ! target->isShowing() || target->isCurrentlyBlockedByAnotherModalComponent())
        return;

    auto* peer = target->getPeer();

    if (peer == nullptr)
        return;

    if (! peer->isFocused())
        peer->grabFocus();

    if (! target->hasKeyboardFocus (false))
        target->grabKeyboardFocus();

    if (auto& stale = focusOnActivation (*peer); &stale != target)
        new StaleFocusGuard (*target, stale);
}

void FocusKeeper::restoreLater() const
{
    juce::MessageManager::callAsync ([keeper = *this] { keeper.restore(); });
}

void FocusKeeper::keepFor (juce::Component& window)
{
    new WindowWatch (window);
}

// A window that opens takes the focus before the window that had it hears that
// it lost the system's focus (always so without a window manager), too late for
// that one to note where its focus was: given the system's focus back, it would
// put it on what it noted long before, or on itself, over the focus given back.
void FocusKeeper::noteFocusLeavingFor (juce::Component& opening)
{
    auto* focused = juce::Component::getCurrentlyFocusedComponent();

    if (focused == nullptr || focused == &opening || opening.isParentOf (focused))
        return;

    if (auto* peer = focused->getPeer(); peer != nullptr && peer != opening.getPeer())
        peer->handleFocusLoss();
}

void FocusKeeper::passToContent (juce::ResizableWindow& window)
{
    if (auto* content = window.getContentComponent(); content != nullptr && content->isShowing())
        content->grabKeyboardFocus();
}

bool FocusKeeper::tabIntoContent (juce::ResizableWindow& window, const juce::KeyPress& key)
{
    if (key.getKeyCode() != juce::KeyPress::tabKey || key.getModifiers().withoutFlags (juce::ModifierKeys::shiftModifier).isAnyModifierKeyDown())
        return false;

    auto* content = window.getContentComponent();
    auto* focused = juce::Component::getCurrentlyFocusedComponent();

    if (content == nullptr || (focused != nullptr && focused != &window && window.isParentOf (focused)))
        return false;

    passToContent (window);
    return true;
}

bool FocusKeeper::pressFocusedButton (juce::Component& window, const juce::KeyPress& key)
{
    if (key != juce::KeyPress (juce::KeyPress::spaceKey))
        return false;

    auto* button = dynamic_cast<juce::Button*> (juce::Component::getCurrentlyFocusedComponent());

    if (button == nullptr || ! window.isParentOf (button) || ! button->isEnabled())
        return false;

    button->triggerClick();
    return true;
}
