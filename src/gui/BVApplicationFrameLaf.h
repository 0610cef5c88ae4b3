#pragma once

#include "gui/BVLookAndFeel.h"

/** The main window frame's look-and-feel: its own title bar shows the product's
    wordmark in place of the title text. */
class BVApplicationFrameLaf : public BVLookAndFeel
{
public:
    BVApplicationFrameLaf();
    explicit BVApplicationFrameLaf (float uiScale);
    ~BVApplicationFrameLaf() override;

    void drawDocumentWindowTitleBar (juce::DocumentWindow&, juce::Graphics&, int w, int h,
                                     int titleSpaceX, int titleSpaceW,
                                     const juce::Image* icon, bool drawTitleTextOnLeft) override;

    /** Null when the wordmark could not be made; the window name is drawn then. */
    std::unique_ptr<juce::Drawable> wordmark;

private:
    void loadWordmark();
};
