#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The card every tile of the pages draws the same way: a soft black shadow
    behind a rounded body in the rim colour with a rounded face inset on it.
    A disabled card is drawn paler. */
struct TileCard
{
    juce::Rectangle<float> shadowBox, bodyBox, faceBox;
    float shadowCorner = 2.0f, bodyCorner = 2.0f, faceCorner = 1.0f;
    float scale = 1.0f;   // of the shadow's blur; the boxes and corners come scaled

    /** Alphas of a disabled card's rim and of its face, text and pictures. */
    static constexpr float disabledRimAlpha = 0.9f;
    static constexpr float disabledContentAlpha = 0.6f;

    static float rimAlpha (bool enabled)       { return enabled ? 1.0f : disabledRimAlpha; }
    static float contentAlpha (bool enabled)   { return enabled ? 1.0f : disabledContentAlpha; }

    void draw (juce::Graphics& g, juce::Colour rim, juce::Colour face, bool pressed, bool enabled) const;
};
