#include "gui/OptionsDialogLaf.h"

#include "gui/Palette.h"

void OptionsDialogLaf::drawTabbedButtonBarBackground (juce::TabbedButtonBar&, juce::Graphics&)
{
    // The bar paints its background before its tabs, so every tab sees these.
    setColour (tabTopColourId, Palette::tabTopColour);
    setColour (tabBottomColourId, Palette::tabBottomColour);
    setColour (frontTabTopColourId, Palette::dialogBackgroundColour);
    setColour (frontTabBottomColourId, Palette::dialogBackgroundColour);
}
