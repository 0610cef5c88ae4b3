#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A link-style button: underlined text in the hyperlink colour, no background,
    a pointing-hand cursor. The owner sizes it with getBestWidth. */
class TextOnlyButton : public juce::Button
{
public:
    TextOnlyButton (const juce::String& text, const juce::String& tooltip, juce::Justification justification);

    /** With resizeFont (the default) the text is 0.7 of the button's height. */
    void setFont (const juce::Font& newFont, bool resizeToButtonHeight);
    juce::Font getFontToUse() const;
    int getBestWidth() const;

    /** The text's colour as drawn in a state: fainter when disabled, darker under the mouse. */
    juce::Colour getTextColourFor (bool isMouseOver, bool isButtonDown) const;

    void colourChanged() override;
    void paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown) override;

private:
    juce::Font font;
    bool resizeFont = true;
    const juce::Justification justification;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TextOnlyButton)
};
