#include "gui/widgets/Alerts.h"

#include "gui/widgets/FocusKeeper.h"
#include "gui/widgets/WindowStacking.h"
#include "gui/BVLookAndFeel.h"

namespace Alerts
{

namespace
{
    // A size of the box's rounded up to whole scale-1 pixels, so that both scales round alike.
    int fitted (float size, float scale)
    {
        return juce::roundToInt (std::ceil (size / scale - 0.05f) * scale);
    }

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

        // Our look makes the box a Window, which gives the focus back when it closes.
        if (! twoButtons)
        {
            juce::AlertWindow::showMessageBox (icon, title, message, first, component);
            return true;
        }

        return juce::AlertWindow::showOkCancelBox (icon, title, message, first, second, component, nullptr);
    }
}

Window::Window (const juce::String& title, const juce::String& messageText, juce::MessageBoxIconType icon,
                juce::Component* component)
    : juce::AlertWindow (title, messageText, icon, component),
      message (messageText.substring (0, 2048)),
      associated (component)
{
    FocusKeeper::keepFor (*this);
    layOut();
}

float Window::getScale() const
{
    auto* look = dynamic_cast<BVLookAndFeel*> (&getLookAndFeel());
    return look != nullptr ? look->getScale() : 1.0f;
}

void Window::addTextField (const juce::String& name, const juce::String& initialText, const juce::String& label)
{
    // Named first: adding the editor lays the box out, which must know it as a field.
    fieldNames.add (name);
    fieldLabels.add (label);
    addTextEditor (name, initialText, {});

    getTextEditor (name)->setExplicitFocusOrder (1);   // the buttons' order: the one above comes first
}

bool Window::keyPressed (const juce::KeyPress& key)
{
    return FocusKeeper::pressFocusedButton (*this, key) || juce::AlertWindow::keyPressed (key);
}

void Window::focusOfChildComponentChanged (FocusChangeType cause)
{
    juce::AlertWindow::focusOfChildComponentChanged (cause);
    FocusKeeper::focusChanged (*this);
}

void Window::visibilityChanged()
{
    if (isVisible())
    {
        WindowStacking::keepAboveOpener (*this);
        FocusKeeper::noteFocusLeavingFor (*this);

        // Its first field or button, unless the box names another.
        if (auto* first = createKeyboardFocusTraverser()->getDefaultComponent (this))
            FocusKeeper::openOn (*first);
    }

    juce::AlertWindow::visibilityChanged();
}

bool Window::hasOwnLayout() const
{
    for (auto* child : getChildren())
        if (dynamic_cast<juce::TextButton*> (child) == nullptr && dynamic_cast<juce::Label*> (child) == nullptr
            && dynamic_cast<juce::ProgressBar*> (child) == nullptr
            && ! (dynamic_cast<juce::TextEditor*> (child) != nullptr && fieldNames.contains (child->getName())))
            return false;

    return true;
}

// The framework lays the box out again whenever a part is added or the look
// changes, and moves its parts as it goes: each change is followed by this
// layout, so the box always ends at its scale. Only a new part, look or
// screen size measures the texts again; a move of the framework's is put back.
void Window::lookAndFeelChanged()
{
    juce::AlertWindow::lookAndFeelChanged();
    measured = false;
    layOut();
}

void Window::resized()
{
    juce::AlertWindow::resized();
    layOut();
}

void Window::childBoundsChanged (juce::Component*)
{
    layOut();
}

void Window::childrenChanged()
{
    // Also called when the framework only reorders the parts.
    const auto before = buttons;
    const auto barsBefore = bars;
    buttons.removeIf ([this] (juce::Component* b) { return getIndexOfChildComponent (b) < 0; });
    bars.clear();

    for (auto* child : getChildren())
    {
        if (dynamic_cast<juce::TextButton*> (child) != nullptr && ! buttons.contains (child))
            buttons.add (child);

        if (dynamic_cast<juce::ProgressBar*> (child) != nullptr)
            bars.add (child);
    }

    if (buttons != before || bars != barsBefore)
        measured = false;

    layOut();
}

// The framework's layout with each of its sizes at the box's scale. The fonts
// and buttons come from the look-and-feel, already scaled; the text's size is
// rounded to whole scale-1 pixels so that both scales round alike.
void Window::layOut()
{
    if (layingOut || ! hasOwnLayout())
        return;

    const juce::ScopedValueSetter<bool> busy (layingOut, true);
    const juce::Point<int> parentSize (getParentWidth(), getParentHeight());

    if (! measured || parentSize != measuredParentSize)
        measure();

    measured = true;
    measuredParentSize = parentSize;
    place();
}

// The sizes of the texts and buttons, and from them the box's.
void Window::measure()
{
    auto& look = getLookAndFeel();
    const auto scale = getScale();
    const BVLookAndFeel::Pixels px { scale };

    juce::Array<juce::TextButton*> textButtons;

    for (auto* b : buttons)
        textButtons.add (static_cast<juce::TextButton*> (b));

    const auto buttonWidths = look.getWidthsForTextButtons (*this, textButtons);
    const auto buttonHeight = look.getAlertWindowButtonHeight();

    for (int i = 0; i < textButtons.size() && i < buttonWidths.size(); ++i)
        textButtons[i]->setSize (buttonWidths[i], buttonHeight);

    const auto titleHeight = px (24), iconWidth = px (80), edgeGap = px (10), spacer = px (16);
    const auto widest = (int) ((float) getParentWidth() * 0.7f);
    const auto messageFont = look.getAlertWindowMessageFont();

    const auto longest = juce::jmax (messageFont.getStringWidth (message), messageFont.getStringWidth (getName()));
    const auto balance = (int) std::sqrt (messageFont.getHeight() * (float) longest);
    auto w = juce::jmin (px (300) + balance * 2, widest);

    juce::AttributedString shown;
    shown.append (getName(), look.getAlertWindowTitleFont());

    if (message.isNotEmpty())
        shown.append ("\n\n" + message, messageFont);

    shown.setColour (findColour (textColourId));
    const auto hasIcon = getAlertType() != juce::MessageBoxIconType::NoIcon;
    shown.setJustification (hasIcon ? juce::Justification::topLeft : juce::Justification::centredTop);
    textLayout.createLayoutWithBalancedLineLengths (shown, (float) w);

    w = juce::jmax (px (350), fitted (textLayout.getWidth(), scale) + (hasIcon ? iconWidth : 0) + edgeGap * 4);
    w = juce::jmin (w, widest);

    const auto textTop = px (16) + titleHeight + fitted (textLayout.getHeight(), scale);
    auto h = textTop + (fieldNames.size() + bars.size()) * px (50);
    auto buttonsWidth = px (40);

    for (auto* b : buttons)
        buttonsWidth += spacer + fitted ((float) b->getWidth(), scale);

    w = juce::jmin (juce::jmax (buttonsWidth, w), widest);

    if (! buttons.isEmpty())
        h += px (20) + buttonHeight;

    h = juce::jmin (getParentHeight() - px (50), h);
    boxSize = { w, h };
    textBottom = textTop;
}

// Every part where the measures put it, where the framework may have moved it.
void Window::place()
{
    const auto scale = getScale();
    const BVLookAndFeel::Pixels px { scale };
    const auto buttonHeight = getLookAndFeel().getAlertWindowButtonHeight();
    const auto edgeGap = px (10), spacer = px (16);
    const auto w = boxSize.x, h = boxSize.y;

    if (! isVisible())
        centreAroundComponent (associated, w, h);
    else
        setBounds (getBounds().withSizeKeepingCentre (w, h));

    textArea = { edgeGap, edgeGap, w - edgeGap * 2, h - edgeGap };

    for (auto* child : getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child))
            label->setBounds (textArea);   // what screen readers read

    auto totalWidth = -spacer;

    for (auto* b : buttons)
        totalWidth += fitted ((float) b->getWidth(), scale) + spacer;

    auto x = px (std::floor ((float) (w - totalWidth) / scale / 2.0f));
    const auto buttonTop = px (std::floor ((float) h / scale * 0.95f)) - buttonHeight;

    for (auto* b : buttons)
    {
        b->setTopLeftPosition (x, buttonTop);
        x += fitted ((float) b->getWidth(), scale) + spacer;
    }

    auto y = textBottom;
    const auto fieldX = px (std::round ((float) w / scale * 0.1f)), fieldWidth = px (std::round ((float) w / scale * 0.8f));

    for (auto& name : fieldNames)
    {
        if (auto* field = getTextEditor (name))
        {
            field->setBounds (fieldX, y + px (18), fieldWidth, px (22));
            field->setIndents (px (4), px (4));
        }

        y += px (50);
    }

    for (auto* bar : bars)
    {
        bar->setBounds (px (std::round ((float) w / scale * 0.1f)), y, px (std::round ((float) w / scale * 0.8f)), px (22));
        y += px (32);
    }

    repaint();
}

void Window::paint (juce::Graphics& g)
{
    if (! hasOwnLayout())
    {
        juce::AlertWindow::paint (g);
        return;
    }

    auto& look = getLookAndFeel();
    look.drawAlertBox (g, *this, textArea, textLayout);

    // Each field's label just above it, as the framework draws its text boxes'.
    const BVLookAndFeel::Pixels px { getScale() };
    g.setColour (findColour (textColourId));
    g.setFont (look.getAlertWindowFont());

    for (int i = 0; i < fieldNames.size(); ++i)
        if (auto* field = getTextEditor (fieldNames[i]))
            g.drawFittedText (fieldLabels[i], field->getX(), field->getY() - px (14), field->getWidth(), px (14),
                              juce::Justification::centredLeft, 1);
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

bool askBeforeDiscarding (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
                          const juce::String& message, const juce::String& discardText, const juce::String& keepText)
{
    enum { discard = 1, keep };
    return showChoices (icon, component, title, message,
                        { Choice { discardText, discard }, Choice { keepText, keep, juce::KeyPress (juce::KeyPress::returnKey), true } }) == discard;
}

int showChoices (juce::MessageBoxIconType icon, juce::Component* component, const juce::String& title,
                 const juce::String& message, const juce::Array<Choice>& choices, std::function<bool()> overtaken)
{
    JUCE_ASSERT_MESSAGE_THREAD

    Box box { icon, title, message, {} };

    for (auto& choice : choices)
        box.buttons.add (choice.text);

    int closedResult = 0;

    for (auto& choice : choices)
        if (choice.onClose)
            closedResult = choice.result;

    const auto resultOf = [&] (int index) { return juce::isPositiveAndBelow (index, choices.size()) ? choices[index].result : closedResult; };

    if (auto& responder = ScopedChoiceResponder::current())
        return resultOf (responder (box));

    if (auto& responder = ScopedResponder::current())
        return resultOf (responder (box) ? 0 : -1);

    // The message loop has been told to end: the box would close unanswered at once.
    if (juce::MessageManager::getInstance()->hasStopMessageBeenSent())
        return 0;

    Window window (title, message, icon, component);

    for (auto& choice : choices)
        window.addButton (choice.text, choice.result, choice.key);

    // The box gives the focus to its first button, which would catch Return
    // before the box passes it to the button it belongs to.
    window.enterModalState (true);

    for (auto& choice : choices)
        for (auto* child : window.getChildren())
            if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && button->getButtonText() == choice.text
                                                                   && choice.key == juce::KeyPress (juce::KeyPress::returnKey))
                FocusKeeper::openOn (*button);

    // Looked at a few times a second, as the news that overtakes it comes.
    struct Watch : juce::Timer
    {
        Watch (Window& w, std::function<bool()> f) : box (w), overtaken (std::move (f))   { if (overtaken != nullptr) startTimer (250); }
        void timerCallback() override   { if (overtaken()) { stopTimer(); box.exitModalState (0); } }

        Window& box;
        std::function<bool()> overtaken;
    } watch (window, std::move (overtaken));

    const auto result = window.runModalLoop();

    // Escape and a closed box end it with 0, as does the end of the program under it.
    if (result == 0 && ! juce::MessageManager::getInstance()->hasStopMessageBeenSent())
        return closedResult;

    return result;
}

}
