#include "gui/devicepage/DeviceButtonPanel.h"

#include "gui/widgets/MidiDeviceStatusButton.h"
#include "gui/widgets/WidgetMetrics.h"

#include <algorithm>

DeviceButtonPanel::DeviceButtonContainer::DeviceButtonContainer (int h, int v) : hGap (h), vGap (v) {}

DeviceButtonPanel::DeviceButtonContainer::~DeviceButtonContainer()
{
    removeAllChildren();
}

void DeviceButtonPanel::DeviceButtonContainer::layoutButtons (int availableWidth)
{
    const auto scale = WidgetMetrics::scale (*this);
    const auto h = juce::roundToInt ((float) hGap * scale);
    const auto v = juce::roundToInt ((float) vGap * scale);
    int x = h, y = v, lastHeight = 0;

    for (auto* button : buttons)
    {
        if (! button->isVisible())
            continue;

        const auto bw = button->getWidth(), bh = button->getHeight();
        lastHeight = bh;
        auto right = x + bw;

        // A tile that would end beyond the width starts the next row; one wider
        // than the width still gets a row of its own.
        if (right > availableWidth)
        {
            y += v + bh;
            right = h + bw;
            button->setTopLeftPosition (h, y);
        }
        else
        {
            button->setTopLeftPosition (x, y);
        }

        x = h + right;
    }

    if (buttons.isEmpty())
        setBounds (getX(), getY(), availableWidth, 0);
    else
        setSize (availableWidth, lastHeight + y + v);

    repaint();
}

//==============================================================================
DeviceButtonPanel::DeviceButtonPanel (const juce::String& name)
    : juce::Component (name),
      container (new DeviceButtonContainer (10, 10))
{
    viewport.setFocusContainerType (juce::Component::FocusContainerType::focusContainer);
    viewport.setWantsKeyboardFocus (false);   // no stop of its own: keys reach it from the focused tile
    viewport.setViewedComponent (container, true);
    addAndMakeVisible (viewport);
}

DeviceButtonPanel::~DeviceButtonPanel()
{
    clearButtons();
}

void DeviceButtonPanel::resized()
{
    viewport.setBounds (getLocalBounds());
    relayout();
}

void DeviceButtonPanel::addButton (std::unique_ptr<MidiDeviceStatusButton> button)
{
    auto* b = button.get();
    auto& buttons = container->buttons;

    // Known products go in front, but behind the known ones already there: the
    // tiles keep the ports' order whether or not the units identified before
    // their tiles were made.
    if (b->isKnownProduct())
    {
        const auto firstUnknown = std::find_if (buttons.begin(), buttons.end(),
                                                [] (MidiDeviceStatusButton* other) { return ! other->isKnownProduct(); });
        buttons.insert ((int) (firstUnknown - buttons.begin()), button.release());
    }
    else
    {
        buttons.add (button.release());
    }

    container->addAndMakeVisible (b);
    relayout();
}

void DeviceButtonPanel::clearButtons()
{
    container->removeAllChildren();
    container->buttons.clear();   // last first

    relayout();
}

void DeviceButtonPanel::filterButtons (bool onlyKnown)
{
    for (auto* button : container->buttons)
        button->setVisible (! onlyKnown || button->isKnownProduct());

    relayout();
}

void DeviceButtonPanel::refreshButtons()
{
    for (auto* button : container->buttons)
        button->updateFromDevice();
}

void DeviceButtonPanel::sortKnownFirst()
{
    auto& buttons = container->buttons;
    std::stable_partition (buttons.begin(), buttons.end(), [] (MidiDeviceStatusButton* b) { return b->isKnownProduct(); });
}

void DeviceButtonPanel::relayout()
{
    const auto width = viewport.getMaximumVisibleWidth();
    container->layoutButtons (width);

    if (viewport.getMaximumVisibleWidth() != width)
        container->layoutButtons (viewport.getMaximumVisibleWidth());
}
