#pragma once

#include "gui/BVLookAndFeel.h"

/** The look-and-feel's metrics as a widget or dialog sees them: its own when the
    component's look-and-feel is ours, the unscaled defaults otherwise. */
namespace WidgetMetrics
{
    inline float fontSize (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? laf->getFontSize() : BVLookAndFeel::Defaults::fontSize;
    }

    inline float largeFontSize (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? laf->getLargeFontSize() : BVLookAndFeel::Defaults::largeFontSize;
    }

    inline float smallFontSize (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? laf->getSmallFontSize() : BVLookAndFeel::Defaults::smallFontSize;
    }

    inline float scale (juce::Component& c)
    {
        auto* laf = BVLookAndFeel::of (c);
        return laf != nullptr ? laf->getScale() : BVLookAndFeel::Defaults::scale;
    }
}
