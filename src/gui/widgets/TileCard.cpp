#include "gui/widgets/TileCard.h"

void TileCard::draw (juce::Graphics& g, juce::Colour rim, juce::Colour face, bool pressed, bool enabled) const
{
    juce::Path shadowShape;
    shadowShape.addRoundedRectangle (shadowBox, shadowCorner);
    juce::DropShadow (juce::Colours::black.withAlpha (0.3f), juce::roundToInt ((pressed ? 7.0f : 5.0f) * scale), {}).drawForPath (g, shadowShape);

    g.setColour (rim.withMultipliedAlpha (rimAlpha (enabled)));
    g.fillRoundedRectangle (bodyBox, bodyCorner);

    g.setColour (face.withMultipliedAlpha (contentAlpha (enabled)));
    g.fillRoundedRectangle (faceBox, faceCorner);
}
