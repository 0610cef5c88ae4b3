#include "gui/TooltipHost.h"

TooltipHost::TooltipHost (int millisecondsBeforeTipAppears) : delayMs (millisecondsBeforeTipAppears)
{
    juce::Desktop::getInstance().addGlobalMouseListener (this);
}

TooltipHost::~TooltipHost()
{
    juce::Desktop::getInstance().removeGlobalMouseListener (this);
    stopTimer();
}

void TooltipHost::wake()
{
    if (window == nullptr)
        window = std::make_unique<juce::TooltipWindow> (nullptr, delayMs);

    checksWhileShown = 0;
    startTimer (keepMs);
}

void TooltipHost::timerCallback()
{
    if (window != nullptr && window->isVisible() && ++checksWhileShown <= tipChecks)
        return;

    stopTimer();
    checksWhileShown = 0;
    window.reset();
}
