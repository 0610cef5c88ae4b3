#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class BelvoraContentComponent;

/** The application's only top-level window. */
class MainAppWindow : public juce::DocumentWindow,
                      private juce::AsyncUpdater
{
public:
    MainAppWindow();
    ~MainAppWindow() override;

    /** The program's one command manager, made on first use. */
    static juce::ApplicationCommandManager* getApplicationCommandManager();

    BelvoraContentComponent* getBelvoraContentComponent() const noexcept { return contentComponent.get(); }

    juce::BorderSize<int> getBorderThickness() override;
    void closeButtonPressed() override;

private:
    void handleAsyncUpdate() override;

    std::unique_ptr<BelvoraContentComponent> contentComponent;
    juce::TooltipWindow tooltipWindow { nullptr, 700 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};
