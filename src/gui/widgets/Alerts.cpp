#include "gui/widgets/Alerts.h"

namespace Alerts
{

void showInfo (juce::Component* component, const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::InfoIcon, title, message, "OK", component);
}

void showWarning (juce::Component* component, const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, title, message, "OK", component);
}

bool askYesNo (juce::Component* component, const juce::String& title, const juce::String& message)
{
    return juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon, title, message,
                                               "Yes", "No", component, nullptr);
}

bool showOkCancel (juce::MessageBoxIconType icon, juce::Component* component,
                   const juce::String& title, const juce::String& message,
                   bool defaultSecond, const juce::String& firstText, const juce::String& secondText)
{
    // The framework shows "OK" for an empty first text and "Cancel" for an empty second one.
    return juce::AlertWindow::showOkCancelBox (icon, title, message, firstText,
                                               defaultSecond ? juce::String() : secondText,
                                               component, nullptr);
}

}
