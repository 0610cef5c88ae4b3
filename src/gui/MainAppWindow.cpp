#include "gui/MainAppWindow.h"

#include "app/Belvora.h"
#include "base/BelvoraSettings.h"
#include "base/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "gui/BVApplicationFrameLaf.h"
#include "gui/BVLookAndFeel.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/CommandIDs.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FocusKeeper.h"
#include "gui/widgets/NavigationKeys.h"
#include "resources/BinaryResources.h"

namespace
{
    std::unique_ptr<juce::ApplicationCommandManager>& commandManagerHolder()
    {
        static std::unique_ptr<juce::ApplicationCommandManager> holder;
        return holder;
    }
}

juce::ApplicationCommandManager* MainAppWindow::getApplicationCommandManager()
{
    auto& holder = commandManagerHolder();

    if (holder == nullptr)
        holder = std::make_unique<juce::ApplicationCommandManager>();

    return holder.get();
}

MainAppWindow::MainAppWindow()
    : juce::DocumentWindow ("Belvora 2", juce::Colour (0xffd3d3d3), juce::DocumentWindow::allButtons, false)
{
    frameLookAndFeel = std::make_unique<BVApplicationFrameLaf>();
    setLookAndFeel (frameLookAndFeel.get());

    // Its kind set before it goes on the desktop: each change after would make a new
    // native window and map it at once, before the window is ready to be seen.
    setUsingNativeTitleBar (true);
    setResizable (true, false);
    addToDesktop();
    setIcon (juce::ImageFileFormat::loadFrom (BinaryResources::app_icon_png, (size_t) BinaryResources::app_icon_pngSize));
    setTitleBarTextCentred (false);
    // The design sizes grow with the UI scale (the content's look-and-feel is made
    // with it later), but never past the screen.
    const auto s = BelvoraSettings::getUiScalingFactor();
    const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    const auto screen = display != nullptr ? display->userArea.getBottomRight() - display->userArea.getPosition() : juce::Point<int> (10000, 10000);
    const auto scaled = [&] (int w, int h) { return juce::Point<int> (juce::jmin (juce::roundToInt ((float) w * s), screen.x),
                                                                       juce::jmin (juce::roundToInt ((float) h * s), screen.y)); };
    const auto smallest = scaled (714, 646), first = scaled (1020, 734);
    setResizeLimits (smallest.x, smallest.y, 10000, 10000);

    const auto state = Belvora::getUserSettings().getValue ("appWindowState");

    if (state.isEmpty() || ! restoreWindowStateFromString (state))
        centreWithSize (first.x, first.y);
    else if (getWidth() < smallest.x || getHeight() < smallest.y)
        setSize (juce::jmax (getWidth(), smallest.x), juce::jmax (getHeight(), smallest.y));   // saved at a smaller scale

    // A saved place, a larger scale or another display may put the window's edges off
    // the display, and its gear, help button and status bar with them.
    if (const auto* shown = juce::Desktop::getInstance().getDisplays().getDisplayForRect (getBounds()); shown != nullptr && ! isFullScreen())
    {
        const auto area = shown->userArea;
        setBounds (getBounds().withSize (juce::jmin (getWidth(), area.getWidth()), juce::jmin (getHeight(), area.getHeight()))
                              .constrainedWithin (area));
    }

    contentComponent = std::make_unique<BelvoraContentComponent>();
    setContentNonOwned (contentComponent.get(), false);

    setVisible (true);
    FocusKeeper::keepFocusInWindows();
    addKeyListener (getApplicationCommandManager()->getKeyMappings());
    triggerAsyncUpdate();
}

MainAppWindow::~MainAppWindow()
{
    // The key mappings go with the manager: the window must not keep them as a listener.
    removeKeyListener (getApplicationCommandManager()->getKeyMappings());
    clearContentComponent();
    contentComponent.reset();
    commandManagerHolder().reset();
    setLookAndFeel (nullptr);
}

UserInterfaceFactory MainAppWindow::getUserInterfaceFactory()
{
    UserInterfaceFactory factory;
    factory.makeMainWindow = [] (Nexus&) -> std::unique_ptr<UserInterface> { return std::make_unique<MainAppWindow>(); };
    factory.showWarning = [] (const juce::String& title, const juce::String& message)
    {
        // A box before the main window (a refused start, damaged settings) brings the
        // program's look itself, at the user's scale once the settings are read.
        std::unique_ptr<BVLookAndFeel> look;

        if (dynamic_cast<BVLookAndFeel*> (&juce::LookAndFeel::getDefaultLookAndFeel()) == nullptr)
        {
            look = std::make_unique<BVLookAndFeel> (BelvoraSettings::areOpen() ? BelvoraSettings::getUiScalingFactor() : 1.0f);
            juce::LookAndFeel::setDefaultLookAndFeel (look.get());
        }

        Alerts::showWarning (nullptr, title, message);

        if (look != nullptr)
            juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    };
    return factory;
}

MainAppWindow* MainAppWindow::of (const Nexus* hub)
{
    return hub != nullptr ? dynamic_cast<MainAppWindow*> (hub->getUserInterface()) : nullptr;
}

void MainAppWindow::handleNotification (const DeviceInfoMessage& message)
{
    contentComponent->handleMessage (message);
}

void MainAppWindow::invokeStartupScan()
{
    juce::ApplicationCommandTarget* target = contentComponent.get();
    target->invokeDirectly (CommandIDs::scanForDevices, true);
}

juce::String MainAppWindow::getWindowState()
{
    return getWindowStateAsString();
}

bool MainAppWindow::requestQuit (bool forced)
{
    return contentComponent->requestQuit (forced);
}

juce::BorderSize<int> MainAppWindow::getBorderThickness()
{
    if (isUsingNativeTitleBar() || isKioskMode())
        return juce::BorderSize<int> (0);

    return juce::BorderSize<int> (1);
}

void MainAppWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

// No control is ringed before the user reaches for Tab: the first Tab, with
// nothing focused, brings the focus into the content. The keys that turn the
// pages, and Find, work from anywhere in the window, with nothing focused too.
bool MainAppWindow::keyPressed (const juce::KeyPress& key)
{
    return FocusKeeper::pressFocusedButton (*this, key) || FocusKeeper::tabIntoContent (*this, key)
        || contentComponent->windowKeyPressed (key) || juce::DocumentWindow::keyPressed (key);
}

bool MainAppWindow::keyStateChanged (bool isKeyDown)
{
    return NavigationKeys::passMenuKey (*this, isKeyDown) || juce::DocumentWindow::keyStateChanged (isKeyDown);
}

void MainAppWindow::focusOfChildComponentChanged (FocusChangeType cause)
{
    juce::DocumentWindow::focusOfChildComponentChanged (cause);
    FocusKeeper::focusChanged (*this);
}

void MainAppWindow::handleAsyncUpdate()
{
    auto* manager = getApplicationCommandManager();
    manager->registerAllCommandsForTarget (contentComponent.get());
    manager->registerAllCommandsForTarget (juce::JUCEApplication::getInstance());
}
