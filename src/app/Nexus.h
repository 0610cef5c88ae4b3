#pragma once

#include <juce_events/juce_events.h>

#include <memory>

class ContentManager;
class EventTracker;
class DeviceProfiler;
class DeviceManager;
class MainAppWindow;
class BelvoraContentComponent;

/** The message hub: makes and owns the program-wide objects in a fixed order,
    forwards notifications to the content component on the message thread, and
    lets the device threads prepare a product's content one at a time. */
class Nexus : public juce::MessageListener
{
public:
    Nexus();
    ~Nexus() override;

    void initialise();
    void shutdown();

    void handleMessage (const juce::Message& message) override;

    /** Prepares a product's downloaded content on the caller's thread
        (ContentManager::requestProductContent); on the message thread the
        request runs later on the catalogue's worker, and the answer is false. */
    bool requestProductContent (int productId);

    MainAppWindow* getMainWindow() const noexcept { return mainWindow.get(); }
    BelvoraContentComponent* getContentComponent() const;

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
    std::unique_ptr<MainAppWindow> mainWindow;

    JUCE_DECLARE_NON_COPYABLE (Nexus)
};
