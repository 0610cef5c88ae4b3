#pragma once

#include "gui/BVLookAndFeel.h"

/** The options dialog's look-and-feel: a shallower tab bar with no background
    of its own and the front tab in the dialog's colour. */
class OptionsDialogLaf : public BVLookAndFeel
{
public:
    using BVLookAndFeel::BVLookAndFeel;

    float getTabBarDepth() const override { return getFontSize() * 1.8f; }
    void drawTabbedButtonBarBackground (juce::TabbedButtonBar&, juce::Graphics&) override;
};
