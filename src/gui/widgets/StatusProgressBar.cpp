#include "gui/widgets/StatusProgressBar.h"

#include "gui/BVLookAndFeel.h"

namespace
{
    constexpr int glideTickMs = 30;
    constexpr double glidePerMs = 0.0008;   // the whole bar in a little over a second
}

void StatusProgressBar::setTextToDisplay (const juce::String& newText)
{
    if (newText == text)
        return;

    text = newText;
    repaint();
}

void StatusProgressBar::valueChanged()
{
    // Only a fill that grows glides; the rest shows at once.
    if (isOpenEnded() || value < shown || ! isVisible())
    {
        stopTimer();

        if (shown != value)
        {
            shown = value;
            repaint();
        }

        return;
    }

    if (value != shown && ! isTimerRunning())
    {
        lastTick = juce::Time::getMillisecondCounter();
        startTimer (glideTickMs);
    }
}

void StatusProgressBar::step()
{
    if (isOpenEnded() && isVisible())
        repaint();
}

void StatusProgressBar::visibilityChanged()
{
    valueChanged();
}

void StatusProgressBar::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounter();
    const auto elapsed = (double) (now - lastTick);
    lastTick = now;

    if (isOpenEnded() || value <= shown)
        shown = value;
    else
        shown = juce::jmin (value, shown + glidePerMs * elapsed);

    if (shown == value)
        stopTimer();

    repaint();
}

void StatusProgressBar::paint (juce::Graphics& g)
{
    BVLookAndFeel::drawProgress (g, *this, getWidth(), getHeight(), shown, text);
}
