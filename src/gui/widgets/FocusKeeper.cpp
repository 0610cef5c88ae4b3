#include "gui/widgets/FocusKeeper.h"

#include <limits>

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

    // Counts the times the focus was given back on purpose to a control that had
    // lost it: a hand-over that comes after one is no stale one.
    int focusGivenBack = 0;

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

            if (target != nullptr && givenBackBefore == focusGivenBack && target->isShowing() && target->isEnabled() && ! target->isCurrentlyBlockedByAnotherModalComponent())
                target->grabKeyboardFocus();

            delete this;
        }

        void mouseDown (const juce::MouseEvent&) override   { delete this; }
        void timerCallback() override                       { delete this; }

        juce::Component::SafePointer<juce::Component> target, stale;
        const int givenBackBefore = focusGivenBack;
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

    bool canTakeFocus (const juce::Component& c)
    {
        return c.getWantsKeyboardFocus() && c.isShowing() && c.isEnabled() && ! c.isCurrentlyBlockedByAnotherModalComponent();
    }

    bool isVisibleIn (const juce::Component& c, const juce::Component& window)
    {
        for (auto* p = &c; p != nullptr; p = p->getParentComponent())
            if (! p->isVisible())
                return false;

        return c.getTopLevelComponent() == &window;
    }

    // Below a parent that shows: each visible child shows too (asked of every one,
    // the window would ask the system whether it is minimised each time).
    void addTakers (juce::Component& parent, const juce::Component* except, juce::Array<juce::Component*>& found)
    {
        for (auto* child : parent.getChildren())
        {
            if (! child->isVisible() || ! child->isEnabled())
                continue;

            if (child != except && child->getWantsKeyboardFocus() && ! child->isCurrentlyBlockedByAnotherModalComponent())
                found.add (child);

            addTakers (*child, except, found);
        }
    }

    /** The control nearest to the place that can take the focus, among those of
        its nearest parent that has any (Undo for a greyed-out Redo); the window
        itself when none can, or when the place is in a part greyed out as a whole
        (a page during a transfer: no control elsewhere takes keys meant for it);
        null when the window no longer shows. */
    juce::Component* nearestTo (const FocusKeeper::Place& place, const juce::Component* except)
    {
        auto* window = place.window.getComponent();

        if (window == nullptr || ! window->isShowing())
            return nullptr;

        for (auto& parent : place.parents)
        {
            if (parent == nullptr || ! isVisibleIn (*parent, *window))
                continue;

            if (! parent->isEnabled())
                break;

            juce::Array<juce::Component*> found;
            addTakers (*parent, except, found);
            juce::Component* best = nullptr;
            auto bestDistance = std::numeric_limits<int>::max();

            for (auto* c : found)
            {
                const auto distance = window->getLocalArea (c, c->getLocalBounds()).getCentre().getDistanceSquaredFrom (place.area.getCentre());

                if (distance < bestDistance)
                {
                    best = c;
                    bestDistance = distance;
                }
            }

            if (best != nullptr)
                return best;
        }

        return window;
    }

    /** The window in front that takes keys: where the focus goes when the window
        that had it went too. */
    juce::Component* frontWindow()
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = desktop.getNumComponents(); --i >= 0;)
            if (auto* c = desktop.getComponent (i); c != nullptr && c->isShowing() && c->getWantsKeyboardFocus()
                                                     && dynamic_cast<juce::TopLevelWindow*> (c) != nullptr)
                return c;

        return nullptr;
    }

    /** Keeps the focus in the windows: when the focused control goes, hides or
        greys out and nothing else took the focus, the nearest control takes it.
        One greyed out, hidden or blocked gets it back once it can take it again,
        while the focus is still where it was put and the user has not acted there. */
    class FocusWatch : private juce::FocusChangeListener,
                       private juce::ComponentListener,
                       private juce::KeyListener,
                       private juce::MouseListener,
                       private juce::AsyncUpdater,
                       private juce::DeletedAtShutdown
    {
    public:
        static FocusWatch& get()
        {
            if (instance == nullptr)
                instance = new FocusWatch();

            return *instance;
        }

        /** The focus leaves a control that cannot take it now for another; the
            control that takes it, or null. */
        juce::Component* moveFrom (juce::Component* lost, const FocusKeeper::Place& where)
        {
            auto* target = nearestTo (where, lost);

            if (target == nullptr)
                return nullptr;

            if (target->isCurrentlyBlockedByAnotherModalComponent())
                return target;

            if (lost != nullptr && ! canTakeFocus (*lost) && lost->getTopLevelComponent() == where.window.getComponent())
                displace (*lost, *target);

            target->grabKeyboardFocus();
            return target;
        }

    private:
        FocusWatch()   { juce::Desktop::getInstance().addFocusChangeListener (this); }

        ~FocusWatch() override
        {
            forget();
            juce::Desktop::getInstance().removeFocusChangeListener (this);
            instance = nullptr;
        }

        void displace (juce::Component& from, juce::Component& to)
        {
            forget();
            displaced = &from;
            placedOn = &to;

            for (auto* c = &from; c != nullptr; c = c->getParentComponent())
            {
                c->addComponentListener (this);
                watched.add (c);
            }

            to.addKeyListener (this);
            mouseWatched = to.getTopLevelComponent();
            mouseWatched->addMouseListener (this, true);
        }

        void forget()
        {
            for (auto& c : watched)
                if (c != nullptr)
                    c->removeComponentListener (this);

            watched.clear();

            if (placedOn != nullptr)
                placedOn->removeKeyListener (this);

            if (mouseWatched != nullptr)
                mouseWatched->removeMouseListener (this);

            displaced = placedOn = mouseWatched = nullptr;
        }

        void globalFocusChanged (juce::Component* now) override
        {
            if (now != nullptr)
            {
                // Put elsewhere in that window, by the user or the program: nothing to give back.
                if (placedOn != nullptr && now != placedOn && now->getTopLevelComponent() == placedOn->getTopLevelComponent())
                    forget();

                if (now != last)
                {
                    last = now;
                    lastPlace = FocusKeeper::Place (*now);
                }

                return;
            }

            if (last != nullptr && last->getTopLevelComponent() == lastPlace.window.getComponent())
                lastPlace = FocusKeeper::Place (*last);

            // Only where the keys go: a window that lost the system's focus to
            // another, or one a box blocks, has no keys to keep.
            auto* window = lastPlace.window.getComponent();
            auto* peer = window != nullptr && window->isShowing() ? window->getPeer() : nullptr;

            if (peer != nullptr && ! window->isCurrentlyBlockedByAnotherModalComponent() && peer->isFocused())
                moveFrom (last, lastPlace);
        }

        void handleAsyncUpdate() override
        {
            if (displaced == nullptr || placedOn == nullptr)
                return forget();

            auto* now = juce::Component::getCurrentlyFocusedComponent();
            auto* peer = placedOn->getPeer();

            if ((now != nullptr && now != placedOn) || peer == nullptr || ! peer->isFocused())
                return;

            // One that gave way to what it brought (a button hidden once pressed) hands on to the control nearest to it.
            auto* back = canTakeFocus (*displaced) ? displaced.getComponent()
                       : ! displaced->isVisible() ? nearestTo (FocusKeeper::Place (*displaced), displaced) : nullptr;

            if (back == nullptr || back == placedOn || back == back->getTopLevelComponent() || ! canTakeFocus (*back))
                return;

            forget();
            ++focusGivenBack;
            back->grabKeyboardFocus();
        }

        void componentEnablementChanged (juce::Component&) override   { triggerAsyncUpdate(); }
        void componentVisibilityChanged (juce::Component&) override   { triggerAsyncUpdate(); }
        void componentBeingDeleted (juce::Component&) override        { triggerAsyncUpdate(); }

        // The user acted where the focus was put: it stays there.
        bool keyPressed (const juce::KeyPress&, juce::Component*) override   { forget(); return false; }
        void mouseDown (const juce::MouseEvent&) override                    { forget(); }

        static inline FocusWatch* instance = nullptr;

        juce::Component::SafePointer<juce::Component> last;
        FocusKeeper::Place lastPlace;
        juce::Component::SafePointer<juce::Component> displaced, placedOn, mouseWatched;
        juce::Array<juce::Component::SafePointer<juce::Component>> watched;
    };
}

FocusKeeper::Place::Place (juce::Component& component)
    : window (component.getTopLevelComponent())
{
    area = window->getLocalArea (&component, component.getLocalBounds());

    for (auto* p = component.getParentComponent(); p != nullptr; p = p->getParentComponent())
        parents.add (p);
}

FocusKeeper::FocusKeeper (juce::Component* fallback)
{
    auto* now = juce::Component::getCurrentlyFocusedComponent();

    if (now == nullptr)
        now = lastFocusedInActiveWindow();

    focused = now != nullptr ? now : fallback;
    underMouse = juce::Desktop::getInstance().getMainMouseSource().getComponentUnderMouse();

    if (focused != nullptr)
        place = Place (*focused);
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

    if (target == nullptr || ! target->isShowing() || ! target->isEnabled())
    {
        // Gone or greyed out meanwhile: the nearest control takes it, in its window
        // or, when that went too (a box over a dialog that closed), in the window in front.
        auto* lost = focused.getComponent();
        auto where = place;

        if (where.window == nullptr || ! where.window->isShowing())
        {
            auto* window = frontWindow();
            lost = window != nullptr ? window->getPeer()->getLastFocusedSubcomponent() : nullptr;
            where = lost != nullptr ? Place (*lost) : Place();
        }

        target = lost != nullptr && canTakeFocus (*lost) ? lost : FocusWatch::get().moveFrom (lost, where);
    }

    if (target == nullptr)
        return;

    // A window that hides before it ends (the update's) still holds the keys: once it has ended.
    if (target->isCurrentlyBlockedByAnotherModalComponent())
    {
        if (auto* modal = juce::Component::getCurrentlyModalComponent(); modal != nullptr && ! modal->isShowing())
            juce::ModalComponentManager::getInstance()->attachCallback (modal, juce::ModalCallbackFunction::create ([keeper = *this] (int)
            {
                keeper.restore();
            }));

        return;
    }

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
    keepFocusInWindows();
    new WindowWatch (window);
}

void FocusKeeper::keepFocusInWindows()
{
    FocusWatch::get();
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

    if (window.hasKeyboardFocus (false))
        if (auto* first = window.createKeyboardFocusTraverser()->getDefaultComponent (&window))
            first->grabKeyboardFocus();
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
