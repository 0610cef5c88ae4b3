#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

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
}
