#include "gui/widgets/TextOnlyButton.h"

#include "gui/BVLookAndFeel.h"

TextOnlyButton::TextOnlyButton (const juce::String& buttonText, const juce::String& tooltip, juce::Justification justify)
    : juce::Button (buttonText),
      font (BVLookAndFeel::makeFont (14.0f, juce::Font::underlined)),
      justification (justify)
{
    setButtonText (buttonText);
    setTooltip (tooltip);
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
}

void TextOnlyButton::setFont (const juce::Font& newFont, bool resizeToButtonHeight)
{
    font = newFont;
    resizeFont = resizeToButtonHeight;
    repaint();
}

juce::Font TextOnlyButton::getFontToUse() const
{
    return resizeFont ? font.withHeight ((float) getHeight() * 0.7f) : font;
}

int TextOnlyButton::getBestWidth() const
{
    return juce::roundToInt (getFontToUse().getStringWidthFloat (getButtonText())) + 6;
}

juce::Colour TextOnlyButton::getTextColourFor (bool isMouseOver, bool isButtonDown) const
{
    const auto colour = findColour (juce::HyperlinkButton::textColourId);

    if (! isEnabled())
        return colour.withMultipliedAlpha (0.4f);

    if (isMouseOver)
        return colour.darker (isButtonDown ? 1.3f : 0.4f);

    return colour;
}

void TextOnlyButton::colourChanged()
{
    repaint();
}

void TextOnlyButton::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    g.setColour (getTextColourFor (isMouseOver, isButtonDown));
    g.setFont (getFontToUse());
    g.drawText (getButtonText(), getLocalBounds().reduced (1, 0),
                justification.getOnlyHorizontalFlags() | juce::Justification::verticallyCentred, true);
}
