#pragma once

#include "app/UserInterface.h"
#include "base/MessageTarget.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>

class ContentManager;
class EventTracker;
class DeviceProfiler;
class DeviceManager;

/** The message hub: makes and owns the program's services in a fixed order,
    hands each the others it needs, and passes every notification of the core,
    from whichever thread posted it, to the user interface on the message
    thread in posting order. */
class Nexus : public MessageTarget
{
public:
    explicit Nexus (UserInterfaceFactory makeUserInterface = {});
    ~Nexus() override;

    void initialise();
    void shutdown();

    void handleMessage (const juce::Message& message) override;

    /** The main window's side of the hub; empty until start-up made it. */
    UserInterface* getUserInterface() const noexcept    { return mainWindow.get(); }

    // The services of the running program's hub, for code on the message
    // thread; on any other thread, and before start-up or after shut-down,
    // they are empty. Workers get what they use handed in at construction.
    static ContentManager* getContentManager();
    static EventTracker* getEventTracker();
    static DeviceProfiler* getDeviceProfiler();
    static DeviceManager* getDeviceManager();

    /** Lets tests run start-up with one of its objects failing to appear. */
    enum class StartupStep { none, contentManager, eventTracker, mainWindow, deviceProfiler, deviceManager };
    static void simulateStartupFailureAt (StartupStep step);

private:
    static Nexus* running();
    void stopServices();

    const UserInterfaceFactory makeUserInterface;

    std::unique_ptr<ContentManager> contentManager;
    std::unique_ptr<EventTracker> eventTracker;
    std::unique_ptr<UserInterface> mainWindow;
    std::unique_ptr<DeviceProfiler> deviceProfiler;
    std::unique_ptr<DeviceManager> deviceManager;

    static inline std::atomic<Nexus*> instance { nullptr };

    JUCE_DECLARE_NON_COPYABLE (Nexus)
};
