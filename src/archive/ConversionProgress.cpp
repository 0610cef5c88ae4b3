#include "archive/ConversionProgress.h"

juce::String ConversionProgress::getStatus() const
{
    const std::lock_guard<std::mutex> hold (lock);
    return status;
}

void ConversionProgress::setStatus (const juce::String& text)
{
    const std::lock_guard<std::mutex> hold (lock);
    status = text;
}

void ConversionProgress::requestStop()
{
    stopRequested.store (true);

    const std::lock_guard<std::mutex> hold (lock);

    if (stopHandler != nullptr)
        stopHandler();
}

void ConversionProgress::setStopHandler (std::function<void()> handler)
{
    const std::lock_guard<std::mutex> hold (lock);
    stopHandler = std::move (handler);
}
