#pragma once

#include "app/UserInterface.h"
#include "gui/TooltipHost.h"
#include "gui/X11EventWake.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class BelvoraContentComponent;
class BVApplicationFrameLaf;

/** The application's only top-level window, and the user interface the hub talks to. */
class MainAppWindow : public juce::DocumentWindow,
                      public UserInterface,
                      private juce::AsyncUpdater
{
public:
    MainAppWindow();
    ~MainAppWindow() override;

    /** The real user interface, as the program's main hands it to the application. */
    static UserInterfaceFactory getUserInterfaceFactory();

    /** The main window of a hub, if it is one of ours. */
    static MainAppWindow* of (const Nexus* hub);

    void handleNotification (const DeviceInfoMessage& message) override;
    void invokeStartupScan() override;
    juce::String getWindowState() override;
    bool requestQuit (bool forced) override;

    /** The program's one command manager, made on first use. */
    static juce::ApplicationCommandManager* getApplicationCommandManager();

    BelvoraContentComponent* getBelvoraContentComponent() const noexcept { return contentComponent.get(); }

    juce::BorderSize<int> getBorderThickness() override;
    void closeButtonPressed() override;

    /** Keys go to the controls: Tab with nothing focused brings the focus to the first of them, Space presses a focused button;
        Ctrl+Tab and Ctrl+Page Down (with Shift, Page Up) turn the pages. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** The Menu key reaches the focused control as a key press. */
    bool keyStateChanged (bool isKeyDown) override;

    void focusOfChildComponentChanged (FocusChangeType cause) override;

private:
    void handleAsyncUpdate() override;

    std::unique_ptr<BVApplicationFrameLaf> frameLookAndFeel;
    std::unique_ptr<BelvoraContentComponent> contentComponent;
    TooltipHost tooltips { 700 };
    X11EventWake xEventWake;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};
