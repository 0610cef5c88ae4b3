#include "gui/BVLookAndFeel.h"

#include "app/Belvora.h"

BVLookAndFeel::BVLookAndFeel() : BVLookAndFeel (Belvora::getUiScalingFactor())
{
}

BVLookAndFeel::BVLookAndFeel (float uiScale)
    : scale (uiScale)
{
    setFontSizes (14.0f * scale, 16.0f * scale, 13.0f * scale);
    setDefaultSansSerifTypefaceName ("Verdana");
}

BVLookAndFeel::~BVLookAndFeel() = default;

void BVLookAndFeel::setFontSizes (float base, float large, float small)
{
    fontSize = base;
    largeFontSize = large;
    smallFontSize = small;
}

void BVLookAndFeel::applyTitleBarHeight (juce::DocumentWindow& window)
{
    if (getScale() == 1.0f)
        return;

    // 13/7 of the font; the small bias keeps 35 x 13/7 at 65 despite float rounding.
    window.setTitleBarHeight ((int) (fontSize * 1.8571428f + 1.0e-3f));
    window.resized();
    window.repaint (window.getTitleBarArea());
}

juce::Font BVLookAndFeel::getTextButtonFont (juce::TextButton&, int buttonHeight)
{
    return juce::Font (juce::jmin (fontSize, (float) buttonHeight * 0.6f));
}

int BVLookAndFeel::getTextButtonWidthToFitText (juce::TextButton& button, int buttonHeight)
{
    return juce::roundToInt (getTextButtonFont (button, buttonHeight).getStringWidthFloat (button.getButtonText()))
           + 2 * buttonHeight;
}

int BVLookAndFeel::getAlertWindowButtonHeight()       { return (int) (fontSize * 2.0f); }
juce::Font BVLookAndFeel::getAlertWindowMessageFont() { return juce::Font (largeFontSize); }
juce::Font BVLookAndFeel::getAlertWindowFont()        { return juce::Font (fontSize); }
juce::Font BVLookAndFeel::getPopupMenuFont()          { return juce::Font (fontSize); }

juce::Font BVLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font (juce::jmin (fontSize, (float) box.getHeight() * 0.85f));
}

BVLookAndFeel* BVLookAndFeel::of (juce::Component& component)
{
    return dynamic_cast<BVLookAndFeel*> (&component.getLookAndFeel());
}
