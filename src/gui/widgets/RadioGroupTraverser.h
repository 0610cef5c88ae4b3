#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The framework's Tab order with each group of radio buttons as one stop, as
    users expect of them: Tab lands on the group's checked button (its first
    when the checked one cannot take the focus) and leaves the group from any
    of its buttons. Within a group the arrow keys move and choose. */
class RadioGroupTraverser : public juce::ComponentTraverser
{
public:
    juce::Component* getDefaultComponent (juce::Component* parent) override;
    juce::Component* getNextComponent (juce::Component* current) override;
    juce::Component* getPreviousComponent (juce::Component* current) override;
    std::vector<juce::Component*> getAllComponents (juce::Component* parent) override;

    /** Down or Right on a focused radio button checks the next button of its
        group that can be chosen, Up or Left the one before, round from end to
        end, as a click would; the focus goes with it. False for other keys, or
        when no radio button has the focus. */
    static bool moveWithin (const juce::KeyPress& key);

private:
    juce::Component* step (juce::Component* current, bool forwards);
};
