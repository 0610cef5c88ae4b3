#pragma once

#include "gui/dialogs/BelvoraDialog.h"

/** A picture, the question whether a file may be replaced, "Yes" and "No" and,
    when asked for, "Apply to all". */
class FileReplaceComponent : public juce::Component,
                             public juce::Button::Listener
{
public:
    FileReplaceComponent (const juce::String& message, bool showApplyToAll);
    ~FileReplaceComponent() override;

    /** The modal result: bit 0 "Yes", bit 1 "Apply to all" ticked when the button was pressed. */
    enum Answer { no = 0, yes = 1, noToAll = 2, yesToAll = 3 };

    /** The square the picture is fitted into. */
    juce::Rectangle<int> getPictureArea();

    /** Right of the picture, above the buttons. */
    juce::Rectangle<int> getTextArea();

    /** The message broken into lines that fit the text area: a path with no
        blank in it breaks after a slash, or anywhere when it has to. */
    juce::StringArray getLines();

    void paint (juce::Graphics& g) override;
    void resized() override;
    void buttonClicked (juce::Button* button) override;

    /** "No": the answer that keeps the file. */
    juce::Button& getKeepButton() noexcept   { return noButton; }

private:
    juce::TextButton noButton { "No" }, yesButton { "Yes" };
    juce::ToggleButton applyToAllToggle { "Apply to all" };
    juce::Image picture;
    juce::String message;

    juce::Font textFont();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FileReplaceComponent)
};

/** Asks whether an existing file may be replaced; run it modally and read the
    answer from the result (FileReplaceComponent::Answer). Closing it answers "No". */
class WarnFileReplaceDialog : public BelvoraDialog
{
public:
    WarnFileReplaceDialog (juce::Component* parent, const juce::String& title, const juce::String& message,
                           bool showApplyToAll);

    /** The message the caller gives for a file. */
    static juce::String messageFor (const juce::File& file);
};
