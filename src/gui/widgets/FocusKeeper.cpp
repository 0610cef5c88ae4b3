#include "gui/widgets/FocusKeeper.h"

#include <algorithm>
#include <limits>
#include <vector>

// Where the keys go, in every window of the program. One watch follows the
// keyboard focus and keeps three promises:
//
// 1. Windows give the focus back. A window kept (keepFor) notes where the focus
//    was as it was made or shown again, and gives it back there once it hides or goes.
// 2. The focus is never lost. A focused control that goes, hides or greys out
//    hands it to the nearest control of its window that can take it.
// 3. What the program gives, the system does not take away. The control the
//    program put the focus on (the button a box opens on, the control a closed
//    window gave it back to, the control that stands in for one greyed out)
//    holds it until the user acts in its window: a key there, a mouse button
//    pressed in it, the focus moved elsewhere in it. Meanwhile the focus that
//    the system gives the window, late or again (a window manager gives a new
//    box the focus after it shows, and the framework then puts it on the box's
//    first button), comes back to that control at once; and a control greyed
//    out takes the focus back from its stand-in as soon as it can.

namespace
{
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

    using Safe = juce::Component::SafePointer<juce::Component>;

    class Watch : private juce::FocusChangeListener,
                  private juce::ComponentListener,
                  private juce::KeyListener,
                  private juce::MouseListener,
                  private juce::AsyncUpdater,
                  private juce::Timer,
                  private juce::DeletedAtShutdown
    {
    public:
        static Watch& get()
        {
            if (instance == nullptr)
                instance = new Watch();

            return *instance;
        }

        // 1. The window gives the focus back to where it was as it was made, or shown again.
        void keep (juce::Component& window)
        {
            window.addComponentListener (this);
            kept.push_back ({ &window, FocusKeeper(), false });
        }

        // 3. The owner should have its window's focus; the stand-in has it until the
        //    owner can take it again (the owner itself when it can).
        void hold (juce::Component& owner, juce::Component* standIn = nullptr)
        {
            release();
            held = &owner;
            holder = standIn != nullptr ? standIn : &owner;
            heldWindow = owner.getTopLevelComponent();

            for (auto* c = &owner; c != nullptr; c = c->getParentComponent())
            {
                c->addComponentListener (this);
                watched.add (c);
            }

            holder->addKeyListener (this);
            heldWindow->addMouseListener (this, true);

            if (! heldWindow->hasKeyboardFocus (true))
            {
                checksLeft = 100;
                startTimer (100);
            }
        }

        /** Where the window's focus belongs: the held control, or its stand-in while it cannot take it. */
        juce::Component* heldIn (const juce::Component& window) const
        {
            if (heldWindow != &window || held == nullptr || holder == nullptr)
                return nullptr;

            return canTakeFocus (*held) ? held.getComponent() : holder.getComponent();
        }

        /** The focus comes into the window (from the system, or the framework's
            choice of a first control): where it belongs takes it (a window that
            holds it itself lets its own choice stand). False when nothing there can. */
        bool giveBack (juce::Component& window)
        {
            auto* to = heldIn (window);

            if (to == nullptr || ! canTakeFocus (*to))
                return false;

            if (! to->hasKeyboardFocus (to == &window))
                to->grabKeyboardFocus();

            return true;
        }

        // 2. The focus leaves a control that cannot take it now for the nearest one,
        //    which stands in for it; the control that takes it, or null.
        juce::Component* moveFrom (juce::Component* lost, const FocusKeeper::Place& where)
        {
            auto* target = nearestTo (where, lost);

            if (target == nullptr)
                return nullptr;

            if (target->isCurrentlyBlockedByAnotherModalComponent())
                return target;

            if (lost != nullptr && ! canTakeFocus (*lost) && lost->getTopLevelComponent() == where.window.getComponent())
                hold (*lost, target);

            target->grabKeyboardFocus();
            return target;
        }

    private:
        struct Kept
        {
            Safe window;
            FocusKeeper keeper;
            bool restored;
        };

        Watch()   { juce::Desktop::getInstance().addFocusChangeListener (this); }

        ~Watch() override
        {
            release();

            for (auto& k : kept)
                if (k.window != nullptr)
                    k.window->removeComponentListener (this);

            juce::Desktop::getInstance().removeFocusChangeListener (this);
            instance = nullptr;
        }

        Kept* keptFor (const juce::Component& window)
        {
            for (auto& k : kept)
                if (k.window == &window)
                    return &k;

            return nullptr;
        }

        void release()
        {
            stopTimer();

            for (auto& c : watched)
                if (c != nullptr && keptFor (*c) == nullptr)
                    c->removeComponentListener (this);

            watched.clear();

            if (holder != nullptr)
                holder->removeKeyListener (this);

            if (heldWindow != nullptr)
                heldWindow->removeMouseListener (this);

            held = holder = heldWindow = nullptr;
        }

        void globalFocusChanged (juce::Component* now) override
        {
            if (now != nullptr)
            {
                // Put elsewhere in that window, by the user or the program: nothing to hold.
                if (heldWindow != nullptr && now != holder && now != held && now->getTopLevelComponent() == heldWindow)
                    release();

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

            if (peer == nullptr || window->isCurrentlyBlockedByAnotherModalComponent() || ! peer->isFocused())
                return;

            // Where it belongs first: the window may only have lost the system's focus
            // for a moment (a window manager taking it as it frames a new window).
            if (! giveBack (*window))
                moveFrom (last, lastPlace);
        }

        // The held control, or one of its parents, changed: one that could not
        // take the focus may take it back from its stand-in.
        void handleAsyncUpdate() override
        {
            if (held == nullptr || holder == nullptr)
                return release();

            auto* now = juce::Component::getCurrentlyFocusedComponent();
            auto* peer = holder->getPeer();

            if (held == holder || (now != nullptr && now != holder) || peer == nullptr || ! peer->isFocused())
                return;

            // One that gave way to what it brought (a button hidden once pressed) hands on to the control nearest to it.
            auto* back = canTakeFocus (*held) ? held.getComponent()
                       : ! held->isVisible() ? nearestTo (FocusKeeper::Place (*held), held) : nullptr;

            if (back == nullptr || back == holder || back == back->getTopLevelComponent() || ! canTakeFocus (*back))
                return;

            hold (*back);
            back->grabKeyboardFocus();
        }

        // Told of the system's focus while a window manager moves it about as it
        // frames a new window, the framework may take it for a moment's and leave
        // the window with no focused control: until the held window has one, the
        // watch looks whether it has the system's focus. For ten seconds: a window
        // manager has long framed it by then, and a program left in the background
        // does not wake for it.
        void timerCallback() override
        {
            if (heldWindow == nullptr || heldWindow->hasKeyboardFocus (true) || --checksLeft <= 0)
                return stopTimer();

            if (auto* peer = heldWindow->getPeer(); peer != nullptr && peer->isFocused())
                giveBack (*heldWindow);
        }

        void componentVisibilityChanged (juce::Component& c) override
        {
            if (auto* k = keptFor (c))
            {
                // Shown again: the focus it takes meanwhile is its own, not one to go back to.
                if (c.isVisible() && k->restored)
                    if (auto* now = juce::Component::getCurrentlyFocusedComponent(); now != nullptr && now != &c && ! c.isParentOf (now))
                        k->keeper = FocusKeeper();

                if (! c.isVisible() && ! k->restored)
                    k->keeper.restoreLater();

                k->restored = ! c.isVisible();
            }

            triggerAsyncUpdate();
        }

        void componentBeingDeleted (juce::Component& c) override
        {
            if (auto* k = keptFor (c); k != nullptr && ! k->restored)
                k->keeper.restoreLater();

            c.removeComponentListener (this);
            kept.erase (std::remove_if (kept.begin(), kept.end(), [&c] (const Kept& k) { return k.window == nullptr || k.window == &c; }), kept.end());
            triggerAsyncUpdate();
        }

        void componentEnablementChanged (juce::Component&) override   { triggerAsyncUpdate(); }

        // The user acted where the focus is held: it stays where the user takes it.
        bool keyPressed (const juce::KeyPress&, juce::Component*) override   { release(); return false; }
        void mouseDown (const juce::MouseEvent&) override                    { release(); }

        static inline Watch* instance = nullptr;

        std::vector<Kept> kept;
        Safe held, holder, heldWindow;
        int checksLeft = 0;
        juce::Array<Safe> watched;   // the held control and its parents
        Safe last;
        FocusKeeper::Place lastPlace;
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

    if (auto* window = juce::TopLevelWindow::getActiveTopLevelWindow(); now == nullptr && window != nullptr && window->getPeer() != nullptr)
        now = window->getPeer()->getLastFocusedSubcomponent();

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

        target = lost != nullptr && canTakeFocus (*lost) ? lost : Watch::get().moveFrom (lost, where);
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

    // Held there: the system's focus, coming back to the window late, would put it
    // where the window had it before. Unless the window holds a control already (one
    // greyed out, or the one a window that opened meanwhile opens on).
    auto& watch = Watch::get();

    if (watch.heldIn (*target->getTopLevelComponent()) == nullptr)
        watch.hold (*target);

    if (! peer->isFocused())
        peer->grabFocus();

    if (! target->hasKeyboardFocus (false))
        target->grabKeyboardFocus();
}

void FocusKeeper::restoreLater() const
{
    juce::MessageManager::callAsync ([keeper = *this] { keeper.restore(); });
}

void FocusKeeper::keepFor (juce::Component& window)
{
    Watch::get().keep (window);
}

void FocusKeeper::keepFocusInWindows()
{
    Watch::get();
}

void FocusKeeper::openOn (juce::Component& control)
{
    Watch::get().hold (control);

    if (auto* peer = control.getPeer(); peer != nullptr && peer->isFocused() && canTakeFocus (control))
    {
        control.grabKeyboardFocus();
        return;
    }

    // Without the system's focus the framework cannot move the focus yet: another
    // control it chose meanwhile gives it up, and this one takes it as the
    // system's focus comes.
    if (auto* window = control.getTopLevelComponent(); window != &control && window->hasKeyboardFocus (true))
        window->giveAwayKeyboardFocus();
}

void FocusKeeper::focusChanged (juce::Component& window)
{
    if (window.hasKeyboardFocus (true))
        Watch::get().giveBack (window);
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
    // The control that holds the window's focus (see openOn), when it can take it.
    if (auto* held = Watch::get().heldIn (window); held != nullptr && held != &window && canTakeFocus (*held))
    {
        held->grabKeyboardFocus();
        return;
    }

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
