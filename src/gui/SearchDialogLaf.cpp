#include "gui/SearchDialogLaf.h"

#include "gui/Palette.h"

void SearchDialogLaf::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.fillAll (Palette::searchBackgroundColour);
    g.setColour (Palette::searchTextColour);
    g.drawRect (0, 0, width, height, pixels() (1.0f));
}
