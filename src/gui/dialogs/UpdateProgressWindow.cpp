#include "gui/dialogs/UpdateProgressWindow.h"

#include "base/DeviceInfoMessage.h"
#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FocusKeeper.h"
#include "gui/widgets/WindowStacking.h"
#include "gui/widgets/WidgetMetrics.h"

namespace
{
    void styleLabel (juce::Label& label, float fontHeight)
    {
        label.setColour (juce::Label::textColourId, Palette::dialogTextColour);
        label.setColour (juce::Label::backgroundColourId, Palette::dialogBackgroundColour);
        label.setJustificationType (juce::Justification::topLeft);
        label.setFont (BVLookAndFeel::makeFont (fontHeight));
        label.setMinimumHorizontalScale (1.0f);
        label.setBorderSize ({});
    }
}

//==============================================================================
UpdateProgressContent::UpdateProgressContent()
{
    const auto m = WidgetMetrics::sizes (*this);
    const BVLookAndFeel::Pixels px { m.scale };
    setSize (px (450.0f), px (180.0f));

    for (auto [bar, label] : { std::pair (&stepBar, &statusLabel), std::pair (&overallBar, &overallLabel) })
    {
        addAndMakeVisible (*bar);
        addAndMakeVisible (*label);
        styleLabel (*label, m.font);
    }

    overallLabel.setText ("Overall Progress", juce::dontSendNotification);
    addAndMakeVisible (stopButton);
    resized();
}

UpdateProgressContent::~UpdateProgressContent() = default;

void UpdateProgressContent::paint (juce::Graphics& g)
{
    g.fillAll (Palette::dialogBackgroundColour);
}

void UpdateProgressContent::resized()
{
    const auto m = WidgetMetrics::sizes (*this);
    const auto w = getWidth(), h = getHeight(), g = m.gap;
    const auto rowHeight = (int) (m.font * 1.1f);
    const auto buttonHeight = (int) (m.font * 2.0f);
    const auto buttonWidth = getLookAndFeel().getTextButtonWidthToFitText (stopButton, buttonHeight);

    const BVLookAndFeel::Pixels px { m.scale };

    statusLabel.setBounds (g, px (28.0f), w - 2 * g, rowHeight);
    stepBar.setBounds (g, statusLabel.getBottom() + px (5.0f), w - 2 * g, rowHeight + px (4.0f));
    overallLabel.setBounds (g, stepBar.getBottom() + px (15.0f), w - 2 * g, rowHeight);
    overallBar.setBounds (g, overallLabel.getBottom() + px (5.0f), w - 2 * g, rowHeight + px (4.0f));
    stopButton.setBounds (w - buttonWidth - g, h - buttonHeight - g, buttonWidth, buttonHeight);
}

//==============================================================================
UpdateProgressWindow::UpdateProgressWindow (juce::MessageListener* ownerListener, juce::ApplicationCommandTarget* commandTarget,
                                            juce::Component* parentOfAlerts, bool onDesktop)
    : juce::DocumentWindow ("Firmware Update", Palette::dialogBackgroundColour, 0, onDesktop),
      owner (ownerListener),
      commands (commandTarget),
      alertParent (parentOfAlerts)
{
    if (auto* laf = BVLookAndFeel::of (*this))
        laf->applyTitleBarHeight (*this);

    content = std::make_unique<UpdateProgressContent>();
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
    content->stopButton.addListener (this);

    if (onDesktop)
    {
        centreWithSize (getWidth(), getHeight());
        FocusKeeper::keepFor (*this);
    }
}

UpdateProgressWindow::~UpdateProgressWindow()
{
    content->stopButton.removeListener (this);
    clearContentComponent();
}

void UpdateProgressWindow::setStatusText (const juce::String& text, bool isError)
{
    if (isError != content->isError)
    {
        content->isError = isError;
        const auto colour = isError ? Palette::updateErrorTextColour : Palette::dialogTextColour;
        content->statusLabel.setColour (juce::Label::textColourId, colour);
        content->overallLabel.setColour (juce::Label::textColourId, colour);
    }

    content->statusLabel.setText (text, juce::dontSendNotification);
}

void UpdateProgressWindow::setProgress (double step, double overall)
{
    content->stepProgress = step;
    content->overallProgress = overall;
}

void UpdateProgressWindow::buttonClicked (juce::Button* button)
{
    if (button != &content->stopButton)
        return;

    if (owner != nullptr)
        owner->postMessage (new DeviceInfoMessage (DeviceInfoMessage::firmwareStopPressed, 0, 0, {}));

    closeButtonPressed();
}

void UpdateProgressWindow::closeButtonPressed()
{
    setVisible (false);
}

void UpdateProgressWindow::visibilityChanged()
{
    if (isVisible() && isOnDesktop())
    {
        WindowStacking::keepAboveOpener (*this);
        FocusKeeper::noteFocusLeavingFor (*this);
        FocusKeeper::openOn (*this);
    }

    juce::DocumentWindow::visibilityChanged();
}

void UpdateProgressWindow::focusOfChildComponentChanged (FocusChangeType cause)
{
    juce::DocumentWindow::focusOfChildComponentChanged (cause);
    FocusKeeper::focusChanged (*this);
}

bool UpdateProgressWindow::keyPressed (const juce::KeyPress& key)
{
    // A stray key must not stop an update: on the window itself they go nowhere.
    const bool onWindow = hasKeyboardFocus (false);

    if (onWindow && (key.isKeyCode (juce::KeyPress::returnKey) || key.isKeyCode (juce::KeyPress::spaceKey)))
        return true;

    return FocusKeeper::pressFocusedButton (*this, key) || FocusKeeper::tabIntoContent (*this, key)
        || juce::DocumentWindow::keyPressed (key);
}

//==============================================================================
void UpdateProgressWindow::invokeCommand (FirmwareUpdateThread::Command command)
{
    // The update's thread asks; the command target is the message thread's.
    juce::MessageManager::callAsync ([window = self, command]
    {
        if (window != nullptr && window->commands != nullptr)
            window->commands->invokeDirectly ((juce::CommandID) command, true);
    });
}

bool UpdateProgressWindow::askYesNo (const juce::String& title, const juce::String& message)
{
    // Going on may erase the unit's presets or setup: only the button itself goes on.
    return Alerts::askBeforeDiscarding (juce::MessageBoxIconType::QuestionIcon, alertParent, title, message, "Yes", "No");
}

bool UpdateProgressWindow::askToContinueScanning (const juce::String& title, const juce::String& message)
{
    // Stopping may lose the data still to be written back: only the button itself stops.
    enum { goOn = 1, stop };
    juce::Array<Alerts::Choice> choices;
    choices.add ({ "Continue Scanning", goOn, juce::KeyPress (juce::KeyPress::returnKey), true });
    choices.add ({ "Stop", stop });
    return Alerts::showChoices (juce::MessageBoxIconType::QuestionIcon, alertParent, title, message, choices) == goOn;
}

void UpdateProgressWindow::showProgress (const FirmwareUpdateThread::Progress& progress)
{
    setStatusText (progress.status, progress.isError);
    setProgress (progress.step, progress.overall);
}

void UpdateProgressWindow::updateEnded (const FirmwareUpdateThread& update)
{
    exitModalState (1);
    setVisible (false);

    if (owner != nullptr)
        owner->postMessage (new DeviceInfoMessage (DeviceInfoMessage::firmwareUpdateEnded, 0, 0, update.getDeviceName()));
}
