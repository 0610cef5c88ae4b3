#pragma once

#include "gui/BVLookAndFeel.h"

#include <gtest/gtest.h>

#include <functional>

/** Drawing checks for the widgets: a look-and-feel of one scale made the
    default while it lives, snapshots, and pixel comparisons. */
namespace WidgetTests
{
    inline const float scales[] = { 1.0f, 2.0f };

    /** Declare it before the widgets: they read the default look-and-feel whenever they paint. */
    struct ScopedLookAndFeel
    {
        explicit ScopedLookAndFeel (float scale) : laf (scale)   { juce::LookAndFeel::setDefaultLookAndFeel (&laf); }
        ~ScopedLookAndFeel()                                      { juce::LookAndFeel::setDefaultLookAndFeel (nullptr); }

        BVLookAndFeel laf;
    };

    inline juce::Image snapshot (juce::Component& c)
    {
        return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f);
    }

    /** A button painted as it looks under the mouse or pressed, without a mouse. */
    template <typename Button>
    juce::Image paintAs (Button& button, bool over, bool down)
    {
        juce::Image image (juce::Image::ARGB, button.getWidth(), button.getHeight(), true);
        juce::Graphics g (image);
        button.paintButton (g, over, down);
        return image;
    }

    inline ::testing::AssertionResult near (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
    {
        const auto c = image.getPixelAt (x, y);
        const auto diff = juce::jmax (std::abs (c.getRed() - expected.getRed()), std::abs (c.getGreen() - expected.getGreen()),
                                      std::abs (c.getBlue() - expected.getBlue()), std::abs (c.getAlpha() - expected.getAlpha()));

        if (diff <= tolerance)
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.toDisplayString (true)
                                             << ", expected " << expected.toDisplayString (true);
    }

    inline int countPixels (const juce::Image& image, juce::Rectangle<int> area, const std::function<bool (juce::Colour)>& test)
    {
        int n = 0;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                n += test (image.getPixelAt (x, y)) ? 1 : 0;

        return n;
    }

    /** Close to a colour, whatever the alpha of the pixel. */
    inline std::function<bool (juce::Colour)> hue (juce::Colour expected, int tolerance = 24)
    {
        return [=] (juce::Colour c)
        {
            return c.getAlpha() > 100
                   && std::abs (c.getRed() - expected.getRed()) <= tolerance
                   && std::abs (c.getGreen() - expected.getGreen()) <= tolerance
                   && std::abs (c.getBlue() - expected.getBlue()) <= tolerance;
        };
    }
}
