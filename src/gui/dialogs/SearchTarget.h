#pragma once

#include <juce_data_structures/juce_data_structures.h>
#include <juce_graphics/juce_graphics.h>

/** What the preset search shows its hits on: the data page's source browser
    and preset grid. */
class SearchTarget
{
public:
    virtual ~SearchTarget() = default;

    /** Selects the browser item of that source-tree node and deselects the others;
        false, selecting nothing, when the node is no longer in the tree. */
    virtual bool selectItemFor (const juce::ValueTree& node) = 0;

    /** Makes exactly these presets the selected ones in the grid. */
    virtual void setSelectedPresets (const juce::Array<int>& indices) = 0;

    /** Scrolls the grid until that preset's button shows; nothing when it is out of range. */
    virtual void scrollToPreset (int index) = 0;

    /** The connected unit's product picture, which its source-tree node shows; none without one. */
    virtual juce::Image getUnitPicture() const                  { return {}; }
};
