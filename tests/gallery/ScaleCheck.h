#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Finds where a state's picture at scale 2 is not its picture at scale 1 made
    twice as large: the scale-2 picture is halved (each 2x2 block averaged) and
    laid over the scale-1 one, tile by tile. A tile differs when even its best
    match, shifted by up to one pixel either way (layouts round to whole pixels
    at both scales), differs on average by more than the tolerance. Text is
    hinted and antialiased anew at each size, so some difference is normal: the
    tolerance is set on states drawn right. */
namespace ScaleCheck
{
    constexpr int tileSize = 24;   // at scale 1

    struct Tile
    {
        juce::Rectangle<int> box;   // in the scale-1 picture
        float difference;           // mean absolute difference per channel, 0..255
    };

    struct Result
    {
        juce::String sizeFault;     // set when scale 2 is not about twice the size of scale 1
        juce::Array<Tile> tiles;    // the tiles that differ, worst first
        float worst = 0.0f;         // the largest difference of any tile
        juce::Image picture;        // the scale-1 picture, faded, with the differing tiles framed

        bool failed() const { return sizeFault.isNotEmpty() || ! tiles.isEmpty(); }
    };

    Result compare (const juce::Image& one, const juce::Image& two);

    /** The few states whose two pictures differ on purpose, with the reason; empty when none. */
    juce::String excludedBecause (const juce::String& screenName);
}
