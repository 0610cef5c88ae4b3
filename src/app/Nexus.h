#pragma once

#include "app/UserInterface.h"

#include <juce_events/juce_events.h>

#include <memory>

class ContentManager;
class EventTracker;
class DeviceProfiler;
class DeviceManager;

/** The message hub: makes and owns the program-wide objects in a fixed order
    and hands every notification of the core, from whichever thread posted it,
    to the user interface on the message thread in posting order. */
class Nexus : public juce::MessageListener
{
public:
    explicit Nexus (UserInterfaceFactory makeUserInterface = {});
    ~Nexus() override;

    void initialise();
    void shutdown();

    void handleMessage (const juce::Message& message) override;

    /** Prepares a product's downloaded content on the caller's thread (ContentManager::requestProductContent). */
    bool requestProductContent (int productId);

    /** The main window's side of the hub; empty until start-up made it. */
    UserInterface* getUserInterface() const noexcept { return mainWindow.get(); }

    static ContentManager* getContentManager();
    static EventTracker* getEventTracker();
    static DeviceProfiler* getDeviceProfiler();
    static DeviceManager* getDeviceManager();

    // Each setter deletes the object it replaces; setting the same pointer again does nothing.
    static void setContentManager (ContentManager* newObject);
    static void setEventTracker (EventTracker* newObject);
    static void setDeviceProfiler (DeviceProfiler* newObject);
    static void setDeviceManager (DeviceManager* newObject);

    /** Lets tests run start-up with one of its objects failing to appear. */
    enum class StartupStep { none, contentManager, eventTracker, mainWindow, deviceProfiler, deviceManager };
    static void simulateStartupFailureAt (StartupStep step);

private:
    const UserInterfaceFactory makeUserInterface;
    std::unique_ptr<UserInterface> mainWindow;

    JUCE_DECLARE_NON_COPYABLE (Nexus)
};
