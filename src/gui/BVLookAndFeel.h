#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The application's look-and-feel: one UI scale and the metrics derived from it. */
class BVLookAndFeel : public juce::LookAndFeel_V3
{
public:
    BVLookAndFeel();
    explicit BVLookAndFeel (float uiScale);
    ~BVLookAndFeel() override;

    virtual void setFontSizes (float base, float large, float small);
    virtual float getFontSize() const          { return fontSize; }
    virtual float getLargeFontSize() const     { return largeFontSize; }
    virtual float getSmallFontSize() const     { return smallFontSize; }
    virtual float getScale() const             { return scale; }
    virtual float getTabBarDepth() const       { return fontSize * 2.22f; }
    virtual float getToolbarThickness() const  { return fontSize * 4.5f; }
    virtual float getStatusBarHeight() const   { return fontSize * 2.1f; }
    virtual void applyTitleBarHeight (juce::DocumentWindow& window);
    virtual int getMargin() const              { return juce::roundToInt (getScale() * 10.0f); }

    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    int getTextButtonWidthToFitText (juce::TextButton&, int buttonHeight) override;
    int getAlertWindowButtonHeight() override;
    juce::Font getAlertWindowMessageFont() override;
    juce::Font getAlertWindowFont() override;
    juce::Font getPopupMenuFont() override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;

    /** The fixed values a component uses when its look-and-feel is not ours. */
    struct Defaults
    {
        static constexpr float fontSize = 14.0f;
        static constexpr float largeFontSize = 16.0f;
        static constexpr float smallFontSize = 13.0f;
        static constexpr float scale = 1.0f;
        static constexpr int margin = 10;
        static constexpr int toolbarThickness = 63;
    };

    /** The look-and-feel of a component as ours, or null. */
    static BVLookAndFeel* of (juce::Component& component);

private:
    float fontSize = 14.0f;
    float largeFontSize = 16.0f;
    float smallFontSize = 13.0f;
    float scale = 1.0f;

    JUCE_DECLARE_NON_COPYABLE (BVLookAndFeel)
};
