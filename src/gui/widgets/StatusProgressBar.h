#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The status bar's progress: a bar filled to its value, gliding to a larger
    one, or stripes while the value is outside 0..1 (work whose end is not
    known, such as a download). The stripes move on only when told to (the
    status bar does while traffic flows), so a bar that waits wakes nothing.
    Takes ProgressBar's colour ids. */
class StatusProgressBar : public juce::Component,
                          private juce::Timer
{
public:
    explicit StatusProgressBar (double& valueToShow) : value (valueToShow) {}

    void setTextToDisplay (const juce::String& text);

    /** The value was changed: the bar follows it. */
    void valueChanged();

    /** The stripes of a bar without a known end move on. */
    void step();

    bool isOpenEnded() const noexcept         { return value < 0.0 || value >= 1.0; }
    bool isGliding() const noexcept           { return isTimerRunning(); }
    const juce::String& getText() const noexcept   { return text; }

    void paint (juce::Graphics& g) override;
    void visibilityChanged() override;
    void colourChanged() override   { repaint(); }

private:
    void timerCallback() override;

    double& value;
    double shown = 0.0;
    juce::uint32 lastTick = 0;
    juce::String text;

    JUCE_DECLARE_NON_COPYABLE (StatusProgressBar)
};
