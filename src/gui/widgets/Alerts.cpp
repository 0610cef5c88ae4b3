#include "gui/widgets/Alerts.h"

#include "gui/widgets/FocusKeeper.h"

namespace Alerts
{

namespace
{
    // The framework shows "OK" for an empty first text and "Cancel" for an empty second one.
    bool show (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
               const juce::String& message, const juce::String& first, const juce::String& second, bool twoButtons)
    {
        JUCE_ASSERT_MESSAGE_THREAD

        const auto& responder = ScopedResponder::current();
        const auto& choiceResponder = ScopedChoiceResponder::current();

        if (responder || choiceResponder)
        {
            Box box { icon, title, message, { first.isEmpty() ? juce::String ("OK") : first } };

            if (twoButtons)
                box.buttons.add (second.isEmpty() ? juce::String ("Cancel") : second);

            return responder ? responder (box) : choiceResponder (box) == 0;
        }

        const FocusKeeper keeper;

        if (! twoButtons)
        {
            juce::AlertWindow::showMessageBox (icon, title, message, first, component);
            keeper.restoreLater();
            return true;
        }

        const auto ok = juce::AlertWindow::showOkCancelBox (icon, title, message, first, second, component, nullptr);
        keeper.restoreLater();
        return ok;
    }
}

void showInfo (juce::Component* component, const juce::String& title, const juce::String& message)
{
    show (juce::MessageBoxIconType::InfoIcon, component, title, message, "OK", {}, false);
}

void showWarning (juce::Component* component, const juce::String& title, const juce::String& message)
{
    show (juce::MessageBoxIconType::WarningIcon, component, title, message, "OK", {}, false);
}

bool canOpenWebAddresses (juce::StringArray folders)
{
   #if JUCE_LINUX
    // The framework hands the address to the first of these that starts, and
    // reports success even when none exists.
    if (folders.isEmpty())
    {
        folders.addTokens (juce::SystemStats::getEnvironmentVariable ("PATH", {}), ":", {});
        folders.add ("/etc/alternatives");
    }

    for (auto& folder : folders)
        for (auto* name : { "xdg-open", "x-www-browser", "firefox", "mozilla", "google-chrome", "chromium-browser", "opera", "konqueror" })
            if (folder.isNotEmpty() && juce::File::isAbsolutePath (folder) && juce::File (folder).getChildFile (name).existsAsFile())
                return true;

    return false;
   #else
    juce::ignoreUnused (folders);
    return true;
   #endif
}

juce::String addressForOpening (const juce::URL& url)
{
    // The framework hands the address to the opener inside double quotes on a
    // shell command line, and runs it as a program when it names one.
    const auto address = url.toString (true).trim();

    if (! address.startsWithIgnoreCase ("http://") && ! address.startsWithIgnoreCase ("https://")
        && ! address.startsWithIgnoreCase ("mailto:"))
        return {};

    juce::String safe;

    for (auto p = address.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;

        if (c <= ' ' || c == 0x7f || c == '"' || c == '$' || c == '`' || c == '\\')
            safe << "%" << juce::String::toHexString ((int) c).toUpperCase().paddedLeft ('0', 2);
        else
            safe << juce::String::charToString (c);
    }

    return safe;
}

void openWebAddress (juce::Component* component, const juce::URL& url)
{
    const auto safe = addressForOpening (url);

    if (safe.isNotEmpty() && canOpenWebAddresses() && juce::Process::openDocument (safe, {}))
        return;

    const auto address = url.toString (true);
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
        juce::SystemClipboard::copyTextToClipboard (address);

    showWarning (component, "Cannot Open Web Page",
                 "No web browser could be started for this address:\n\n" + address
                     + "\n\nThe address is on the clipboard: paste it into a browser.");
}

bool askYesNo (juce::Component* component, const juce::String& title, const juce::String& message)
{
    return show (juce::MessageBoxIconType::QuestionIcon, component, title, message, "Yes", "No", true);
}

bool showOkCancel (juce::MessageBoxIconType icon, juce::Component* component,
                   const juce::String& title, const juce::String& message,
                   bool defaultSecond, const juce::String& firstText, const juce::String& secondText)
{
    return show (icon, component, title, message, firstText, defaultSecond ? juce::String() : secondText, true);
}

int showChoices (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
                 const juce::String& message, const juce::Array<Choice>& choices)
{
    JUCE_ASSERT_MESSAGE_THREAD

    Box box { icon, title, message, {} };

    for (auto& choice : choices)
        box.buttons.add (choice.text);

    const auto resultOf = [&] (int index) { return juce::isPositiveAndBelow (index, choices.size()) ? choices[index].result : 0; };

    if (auto& responder = ScopedChoiceResponder::current())
        return resultOf (responder (box));

    if (auto& responder = ScopedResponder::current())
        return resultOf (responder (box) ? 0 : -1);

    const FocusKeeper keeper;
    juce::AlertWindow window (title, message, icon, component);
    juce::String recommended;

    for (auto& choice : choices)
    {
        window.addButton (choice.text, choice.result, choice.key);

        if (choice.key == juce::KeyPress (juce::KeyPress::returnKey))
            recommended = choice.text;
    }

    // The box gives the focus to its first button, which would catch Return
    // before the box passes it to the button it belongs to.
    window.enterModalState (true);

    for (auto* child : window.getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && recommended.isNotEmpty() && button->getButtonText() == recommended)
            button->grabKeyboardFocus();

    const auto result = window.runModalLoop();
    keeper.restoreLater();
    return result;
}

}
