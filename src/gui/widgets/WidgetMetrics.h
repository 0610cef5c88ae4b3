#pragma once

#include "gui/BVLookAndFeel.h"

/** The look-and-feel's metrics as a widget or dialog sees them: its own when the
    component's look-and-feel is ours, the unscaled defaults otherwise. */
namespace WidgetMetrics
{
    inline float metric (juce::Component& c, float (BVLookAndFeel::*get)() const, float fallback)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? (laf->*get)() : fallback;
    }

    inline float fontSize (juce::Component& c)       { return metric (c, &BVLookAndFeel::getFontSize, BVLookAndFeel::Defaults::fontSize); }
    inline float largeFontSize (juce::Component& c)  { return metric (c, &BVLookAndFeel::getLargeFontSize, BVLookAndFeel::Defaults::largeFontSize); }
    inline float smallFontSize (juce::Component& c)  { return metric (c, &BVLookAndFeel::getSmallFontSize, BVLookAndFeel::Defaults::smallFontSize); }
    inline float scale (juce::Component& c)          { return metric (c, &BVLookAndFeel::getScale, BVLookAndFeel::Defaults::scale); }

    /** The design's sizes in pixels at the component's scale. */
    inline BVLookAndFeel::Pixels pixels (juce::Component& c)   { return { scale (c) }; }

    /** The scale of the program's look-and-feel around a dialog that brings its
        own (1 under another one). */
    inline float surroundingScale()
    {
        auto* laf = dynamic_cast<BVLookAndFeel*> (&juce::LookAndFeel::getDefaultLookAndFeel());
        return laf != nullptr ? laf->getScale() : BVLookAndFeel::Defaults::scale;
    }

    /** The framework's label border (1 above and below, 5 at the sides) at the component's scale. */
    inline juce::BorderSize<int> labelBorder (juce::Component& c)
    {
        const auto px = pixels (c);
        return { px (1.0f), px (5.0f), px (1.0f), px (5.0f) };
    }

    /** The gap between a dialog's elements. */
    inline int gap (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? laf->getMargin() : BVLookAndFeel::Defaults::margin;
    }

    /** The width that fits a button's text at that height: the look-and-feel's when it is ours, else 0. */
    inline int textButtonWidth (juce::TextButton& button, int height)
    {
        auto* laf = BVLookAndFeel::of (button);
        return laf != nullptr ? laf->getTextButtonWidthToFitText (button, height) : 0;
    }

    /** One width for a row of buttons: the floor, or wider when a text needs it. */
    inline int textButtonWidth (int floor, int height, std::initializer_list<juce::TextButton*> buttons)
    {
        auto width = floor;

        for (auto* button : buttons)
            width = juce::jmax (width, textButtonWidth (*button, height));

        return width;
    }

    /** What a dialog lays itself out with: base font height, scale, gap. */
    struct Sizes
    {
        float font, scale;
        int gap;
    };

    inline Sizes sizes (juce::Component& c)   { return { fontSize (c), scale (c), gap (c) }; }
}
