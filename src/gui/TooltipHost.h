#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The program's tooltip window, there only while the mouse is used: JUCE's looks at the
    pointer eight times a second for as long as it exists. A mouse event in any of the
    program's windows makes it; a few seconds after the last one it goes, and a tip it shows
    goes with it once the pointer has rested on it a while longer. */
class TooltipHost : private juce::MouseListener,
                    private juce::Timer
{
public:
    explicit TooltipHost (int millisecondsBeforeTipAppears);
    ~TooltipHost() override;

    /** The tooltip window while there is one. */
    juce::TooltipWindow* getWindow() const noexcept   { return window.get(); }

private:
    void mouseEnter (const juce::MouseEvent&) override                                 { wake(); }
    void mouseMove (const juce::MouseEvent&) override                                  { wake(); }
    void mouseDown (const juce::MouseEvent&) override                                  { wake(); }
    void mouseDrag (const juce::MouseEvent&) override                                  { wake(); }
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override { wake(); }

    void wake();
    void timerCallback() override;

    static constexpr int keepMs = 3000;       // after the last mouse event
    static constexpr int tipChecks = 3;       // more such spans while a tip shows

    const int delayMs;
    std::unique_ptr<juce::TooltipWindow> window;
    int checksWhileShown = 0;

    JUCE_DECLARE_NON_COPYABLE (TooltipHost)
};
