#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The invisible drag source of presets dragged out of a preset grid
    (dragKind 0) and of backup tiles dragged out of a group view (dragKind 1);
    drop targets read what is dragged from it. Never shown. */
class DataSetDragSnapShot : public juce::Component
{
public:
    enum DragKind { presets = 0, backups = 1 };

    juce::ValueTree source;
    juce::Array<int> presetIndices;
    int dragKind = presets;
};
