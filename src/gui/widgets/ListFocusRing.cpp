#include "gui/widgets/ListFocusRing.h"

#include "gui/BVLookAndFeel.h"

ListFocusRing::ListFocusRing (juce::Component& listToRing, bool ringWhileChildFocused)
    : juce::Component ("focusRing"), list (&listToRing), whileChildFocused (ringWhileChildFocused)
{
    setInterceptsMouseClicks (false, false);
    setWantsKeyboardFocus (false);
    setAlwaysOnTop (true);
    list->addComponentListener (this);
    juce::Desktop::getInstance().addFocusChangeListener (this);
    follow();
}

ListFocusRing::~ListFocusRing()
{
    juce::Desktop::getInstance().removeFocusChangeListener (this);

    if (list != nullptr)
        list->removeComponentListener (this);

    if (auto* parent = getParentComponent())
        parent->removeChildComponent (this);
}

void ListFocusRing::follow()
{
    if (list == nullptr)
        return;

    auto* parent = list->getParentComponent();

    if (parent != getParentComponent())
    {
        if (auto* old = getParentComponent())
            old->removeChildComponent (this);

        if (parent != nullptr)
            parent->addChildComponent (this);
    }

    setBounds (list->getBounds());
    setVisible (parent != nullptr && list->isVisible());
    globalFocusChanged (nullptr);
}

void ListFocusRing::componentBeingDeleted (juce::Component&)
{
    list = nullptr;
    shown = false;
    setVisible (false);
}

bool ListFocusRing::isRinged() const
{
    return list != nullptr && list->hasKeyboardFocus (whileChildFocused);
}

void ListFocusRing::globalFocusChanged (juce::Component*)
{
    const auto now = isRinged();

    if (now != shown)
    {
        shown = now;
        repaint();
    }
}

void ListFocusRing::paint (juce::Graphics& g)
{
    // Asked afresh: the focus listener hears of a change only later.
    if (! isRinged())
        return;

    if (auto* laf = dynamic_cast<BVLookAndFeel*> (&getLookAndFeel()))
        laf->drawFocusRing (g, getLocalBounds().toFloat());
}
