#include "gui/widgets/RadioGroupTraverser.h"

namespace
{
    juce::ToggleButton* radioOf (juce::Component* c)
    {
        auto* toggle = dynamic_cast<juce::ToggleButton*> (c);
        return toggle != nullptr && toggle->getRadioGroupId() != 0 ? toggle : nullptr;
    }

    bool sameGroup (juce::ToggleButton& a, juce::Component* c)
    {
        auto* b = radioOf (c);
        return b != nullptr && b->getParentComponent() == a.getParentComponent() && b->getRadioGroupId() == a.getRadioGroupId();
    }

    /** The stop of a group among the controls that can take the focus: its checked button, else its first. */
    bool isStop (juce::Component* c, const std::vector<juce::Component*>& all)
    {
        auto* radio = radioOf (c);

        if (radio == nullptr)
            return true;

        juce::Component* first = nullptr;

        for (auto* other : all)
        {
            if (! sameGroup (*radio, other))
                continue;

            if (static_cast<juce::ToggleButton*> (other)->getToggleState())
                return other == radio;

            if (first == nullptr)
                first = other;
        }

        return first == radio;
    }
}

std::vector<juce::Component*> RadioGroupTraverser::getAllComponents (juce::Component* parent)
{
    auto all = juce::KeyboardFocusTraverser().getAllComponents (parent);
    std::vector<juce::Component*> stops;

    for (auto* c : all)
        if (isStop (c, all))
            stops.push_back (c);

    return stops;
}

juce::Component* RadioGroupTraverser::getDefaultComponent (juce::Component* parent)
{
    const auto stops = getAllComponents (parent);
    return stops.empty() ? nullptr : stops.front();
}

juce::Component* RadioGroupTraverser::getNextComponent (juce::Component* current)
{
    return step (current, true);
}

juce::Component* RadioGroupTraverser::getPreviousComponent (juce::Component* current)
{
    return step (current, false);
}

// From any button of a group, on to the first stop outside it.
juce::Component* RadioGroupTraverser::step (juce::Component* current, bool forwards)
{
    auto* container = current != nullptr ? current->findKeyboardFocusContainer() : nullptr;

    if (container == nullptr)
        return nullptr;

    auto all = juce::KeyboardFocusTraverser().getAllComponents (container);

    if (! forwards)
        std::reverse (all.begin(), all.end());

    auto at = std::find (all.begin(), all.end(), current);

    if (at == all.end())
        return nullptr;

    auto* radio = radioOf (current);

    for (auto i = std::next (at); i != all.end(); ++i)
        if ((radio == nullptr || ! sameGroup (*radio, *i)) && isStop (*i, all))
            return *i;

    return nullptr;
}

bool RadioGroupTraverser::moveWithin (const juce::KeyPress& key)
{
    const auto code = key.getKeyCode();
    const auto forwards = code == juce::KeyPress::downKey || code == juce::KeyPress::rightKey;

    if ((! forwards && code != juce::KeyPress::upKey && code != juce::KeyPress::leftKey) || key.getModifiers().isAnyModifierKeyDown())
        return false;

    auto* radio = radioOf (juce::Component::getCurrentlyFocusedComponent());
    auto* container = radio != nullptr ? radio->findKeyboardFocusContainer() : nullptr;

    if (container == nullptr)
        return false;

    std::vector<juce::ToggleButton*> group;

    for (auto* c : juce::KeyboardFocusTraverser().getAllComponents (container))
        if (sameGroup (*radio, c))
            group.push_back (static_cast<juce::ToggleButton*> (c));

    const auto at = std::find (group.begin(), group.end(), radio);

    if (at == group.end())
        return false;

    const auto size = (long) group.size();
    auto* next = group[(size_t) (((at - group.begin()) + (forwards ? 1 : size - 1)) % size)];

    next->setToggleState (true, juce::sendNotificationSync);
    next->grabKeyboardFocus();
    return true;
}
