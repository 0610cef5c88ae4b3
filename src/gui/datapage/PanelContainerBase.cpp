#include "gui/datapage/PanelContainerBase.h"

#include "gui/BVLookAndFeel.h"
#include "gui/Palette.h"
#include "model/SourceTree.h"

PanelContainerBase::PanelContainerBase()
{
    {
        juce::Viewport probe;
        scrollBarWidth = probe.getScrollBarThickness();
    }

    if (auto* laf = BVLookAndFeel::of (*this))
        marginX = marginY = juce::roundToInt (15.0f * laf->getScale());
}

PanelContainerBase::~PanelContainerBase() = default;

void PanelContainerBase::setItem (const juce::ValueTree& newItem)
{
    item = newItem;
    refresh();
}

void PanelContainerBase::clearItem()
{
    item = juce::ValueTree();
}

const DeviceData* PanelContainerBase::getDeviceData() const
{
    auto* set = SourceTree::getDataSet (item);
    return set != nullptr ? set->getDeviceData() : nullptr;
}

DeviceData* PanelContainerBase::getWorkingData() const
{
    return SourceTree::getDeviceData (item);
}

float PanelContainerBase::getUiScale()
{
    auto* laf = BVLookAndFeel::of (*this);
    return laf != nullptr ? laf->getScale() : 1.0f;
}

void PanelContainerBase::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
}

bool PanelContainerBase::keyPressed (const juce::KeyPress&, juce::Component*)
{
    return false;
}
