#pragma once

#include "firmware/FirmwareUpdateThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The status line, the two progress bars and "Stop" of the firmware update window. */
class UpdateProgressContent : public juce::Component
{
public:
    UpdateProgressContent();
    ~UpdateProgressContent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    // The bars read these by reference and repaint on their own timer.
    double stepProgress = 0.0;
    double overallProgress = 0.0;

    juce::Label statusLabel;
    juce::Label overallLabel;
    juce::ProgressBar stepBar { stepProgress };
    juce::ProgressBar overallBar { overallProgress };
    juce::TextButton stopButton { "Stop" };
    bool isError = false;

private:
    JUCE_DECLARE_NON_COPYABLE (UpdateProgressContent)
};

/** The window "Firmware Update": shows a running update and is its voice
    towards the user. "Stop" goes to the owner as 0x84000; the questions are
    the program's message boxes over the owner's component; the commands the
    update drives the unit with are performed by the owner's command target;
    at the end the window leaves its modal state and posts 0x84001 to the owner. */
class UpdateProgressWindow : public juce::DocumentWindow,
                             public juce::Button::Listener,
                             public FirmwareUpdateThread::Host
{
public:
    /** Any of the three may be null; a window made off the desktop is for pictures. */
    explicit UpdateProgressWindow (juce::MessageListener* owner, juce::ApplicationCommandTarget* commands = nullptr,
                                   juce::Component* alertParent = nullptr, bool onDesktop = true);
    ~UpdateProgressWindow() override;

    /** Both labels turn red with an error line and back with the next normal one. */
    void setStatusText (const juce::String& text, bool isError);
    void setProgress (double step, double overall);

    UpdateProgressContent& getContent() noexcept   { return *content; }

    void buttonClicked (juce::Button* button) override;
    void closeButtonPressed() override;

    /** The window opens with the focus on itself, where Return and Space do
        nothing: "Stop" takes a deliberate Tab (then Space or Return) or a click. */
    bool keyPressed (const juce::KeyPress& key) override;
    void visibilityChanged() override;
    void focusOfChildComponentChanged (FocusChangeType cause) override;

    // FirmwareUpdateThread::Host
    void invokeCommand (FirmwareUpdateThread::Command command) override;
    bool askYesNo (const juce::String& title, const juce::String& message) override;
    bool askToContinueScanning (const juce::String& title, const juce::String& message) override;
    void showProgress (const FirmwareUpdateThread::Progress& progress) override;
    void updateEnded (const FirmwareUpdateThread& update) override;

private:
    juce::MessageListener* const owner;
    juce::ApplicationCommandTarget* const commands;
    juce::Component::SafePointer<juce::Component> alertParent;
    const juce::Component::SafePointer<UpdateProgressWindow> self { this };   // handed to the update's thread
    std::unique_ptr<UpdateProgressContent> content;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UpdateProgressWindow)
};
