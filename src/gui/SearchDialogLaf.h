#pragma once

#include "gui/BVLookAndFeel.h"

/** The search dialog's look-and-feel: plain popup menus with a thin outline. */
class SearchDialogLaf : public BVLookAndFeel
{
public:
    using BVLookAndFeel::BVLookAndFeel;

    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
};
