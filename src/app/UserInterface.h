#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

class DeviceInfoMessage;
class Nexus;

/** What the hub and the application object need of the user interface. The
    program's main hands the application a factory for it, so the core and the
    hub are built and tested without any window code. */
class UserInterface
{
public:
    virtual ~UserInterface() = default;

    /** One notification of the core, on the message thread, in posting order. */
    virtual void handleNotification (const DeviceInfoMessage& message) = 0;

    /** Starts the first "Scan for Devices" without waiting for it. */
    virtual void invokeStartupScan() = 0;

    /** The main window's position and size as stored in "appWindowState". */
    virtual juce::String getWindowState() = 0;

    /** False when the user keeps unsent edits; forced asks nothing. */
    virtual bool requestQuit (bool forced) = 0;
};

/** What the program's main gives the application of the user interface. */
struct UserInterfaceFactory
{
    /** Makes the main window for a hub; null when it cannot be made. */
    std::function<std::unique_ptr<UserInterface> (Nexus&)> makeMainWindow;

    /** Shows a blocking warning box (the fatal-error alert). */
    std::function<void (const juce::String& title, const juce::String& message)> showWarning;
};
