#include "gui/MainAppWindow.h"

#include "app/Belvora.h"
#include "gui/BelvoraContentComponent.h"

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
    : juce::DocumentWindow ("Belvora 2", juce::Colour (0xffd3d3d3), juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    setResizable (true, false);
    setResizeLimits (714, 646, 10000, 10000);

    const auto state = Belvora::getAppProperties().getUserSettings()->getValue ("appWindowState");

    if (state.isEmpty() || ! restoreWindowStateFromString (state))
        centreWithSize (1020, 734);

    contentComponent = std::make_unique<BelvoraContentComponent>();
    setContentNonOwned (contentComponent.get(), false);

    setVisible (true);
    addKeyListener (getApplicationCommandManager()->getKeyMappings());
    triggerAsyncUpdate();
}

MainAppWindow::~MainAppWindow()
{
    removeKeyListener (getApplicationCommandManager()->getKeyMappings());
    clearContentComponent();
    contentComponent.reset();
    commandManagerHolder().reset();
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

void MainAppWindow::handleAsyncUpdate()
{
    auto* manager = getApplicationCommandManager();
    manager->registerAllCommandsForTarget (contentComponent.get());
    manager->registerAllCommandsForTarget (juce::JUCEApplication::getInstance());
}
