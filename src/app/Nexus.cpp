#include "app/Nexus.h"

#include "app/Belvora.h"
#include "app/DeviceInfoMessage.h"
#include "content/ContentManager.h"
#include "content/EventTracker.h"
#include "devices/ContentProductCatalogue.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceProfiler.h"

#include <atomic>

namespace
{
    // The four singletons; filled by start-up, emptied by shut-down. Anything
    // still set at process exit is deleted then, event tracker first.
    struct Singletons
    {
        std::atomic<ContentManager*> contentManager { nullptr };
        std::atomic<EventTracker*> eventTracker { nullptr };
        std::atomic<DeviceProfiler*> deviceProfiler { nullptr };
        std::atomic<DeviceManager*> deviceManager { nullptr };

        ~Singletons()
        {
            delete eventTracker.exchange (nullptr);
            delete deviceManager.exchange (nullptr);
            delete deviceProfiler.exchange (nullptr);
            delete contentManager.exchange (nullptr);
        }
    };

    Singletons& singletons()
    {
        static Singletons s;
        return s;
    }

    template <typename T>
    void replace (std::atomic<T*>& slot, T* newObject)
    {
        auto* old = slot.load();

        if (old == newObject)
            return;

        slot.store (newObject);
        delete old;
    }

    std::atomic<Nexus::StartupStep> failingStep { Nexus::StartupStep::none };

    void reportFatalError (int code)
    {
        if (auto* app = Belvora::getInstance())
            app->reportFatalError (code);
    }

    ContentManager::Setup contentSetup()
    {
        ContentManager::Setup setup;

        if (auto* app = Belvora::getInstance())
            setup.developerMode = app->isDeveloperMode();

        return setup;
    }

    EventTracker::Setup trackerSetup()
    {
        EventTracker::Setup setup;

        if (auto* app = Belvora::getInstance())
        {
            setup.installId = app->getInstallId();
            setup.developerMode = app->isDeveloperMode();
            setup.newInstallation = app->isNewInstallation();
        }

        return setup;
    }

    template <typename T, typename... Args>
    T* make (Nexus::StartupStep step, Args&&... args)
    {
        if (failingStep.load() == step)
            return nullptr;

        return new T (std::forward<Args> (args)...);
    }

    // What the device services take from the application.
    DeviceProfiler::Setup profilerSetup()
    {
        DeviceProfiler::Setup s;

        if (auto* app = Belvora::getInstance())
        {
            s.newInstallation = app->isNewInstallation();
            s.developerMode = app->isDeveloperMode();
            s.syncAll = app->isSyncAll();
        }

        return s;
    }

    DeviceManager::Options deviceOptions()
    {
        DeviceManager::Options o;
        auto* app = Belvora::getInstance();
        o.scanAll = app != nullptr && app->isScanAll();
        o.isFirmwareUpdateRunning = []
        {
            auto* application = Belvora::getInstance();
            return application != nullptr && application->getAppState() == Belvora::stateFirmware;
        };
        return o;
    }
}

Nexus::Nexus (UserInterfaceFactory factory)
    : makeUserInterface (std::move (factory))
{
}

Nexus::~Nexus()
{
    mainWindow.reset();
}

ContentManager* Nexus::getContentManager()   { return singletons().contentManager.load(); }
EventTracker* Nexus::getEventTracker()       { return singletons().eventTracker.load(); }
DeviceProfiler* Nexus::getDeviceProfiler()   { return singletons().deviceProfiler.load(); }
DeviceManager* Nexus::getDeviceManager()     { return singletons().deviceManager.load(); }

void Nexus::setContentManager (ContentManager* o)  { replace (singletons().contentManager, o); }
void Nexus::setEventTracker (EventTracker* o)      { replace (singletons().eventTracker, o); }
void Nexus::setDeviceProfiler (DeviceProfiler* o)  { replace (singletons().deviceProfiler, o); }
void Nexus::setDeviceManager (DeviceManager* o)
{
    replace (singletons().deviceManager, o);
}

void Nexus::simulateStartupFailureAt (StartupStep step)
{
    failingStep.store (step);
}

void Nexus::initialise()
{
    auto failed = [] { reportFatalError (1); };

    setContentManager (make<ContentManager> (StartupStep::contentManager, contentSetup(), *this, &reportFatalError));
    if (getContentManager() == nullptr)     return failed();

    setEventTracker (make<EventTracker> (StartupStep::eventTracker, trackerSetup()));
    if (getEventTracker() == nullptr)       return failed();

    mainWindow.reset();
    if (failingStep.load() != StartupStep::mainWindow && makeUserInterface.makeMainWindow != nullptr)
        mainWindow = makeUserInterface.makeMainWindow (*this);
    if (mainWindow == nullptr)              return failed();

    setDeviceProfiler (make<DeviceProfiler> (StartupStep::deviceProfiler, *getContentManager(), *getEventTracker(), profilerSetup()));
    if (getDeviceProfiler() == nullptr)     return failed();
    getDeviceProfiler()->initialise();

    setDeviceManager (make<DeviceManager> (StartupStep::deviceManager, *this, nullptr,
                                           std::make_shared<ContentProductCatalogue> (*getContentManager()),
                                           getDeviceProfiler(), getEventTracker(), deviceOptions()));
    if (getDeviceManager() == nullptr)      return failed();

    getDeviceManager()->startThread();
    mainWindow->invokeStartupScan();

    postMessage (new DeviceInfoMessage (DeviceInfoMessage::startupFinished, 0, 0, {}));
}

void Nexus::shutdown()
{
    if (mainWindow != nullptr)
        Belvora::getUserSettings().setValue ("appWindowState", mainWindow->getWindowState());

    if (auto* devices = getDeviceManager())
    {
        devices->stopThread (10000);
        setDeviceManager (nullptr);
    }

    // The profiler uses the catalogue and the tracker: it goes first.
    setDeviceProfiler (nullptr);
    setContentManager (nullptr);
    setEventTracker (nullptr);
    mainWindow.reset();
}

// Every notification of the core comes through here, so the interface sees
// them in the order they were posted.
void Nexus::handleMessage (const juce::Message& message)
{
    auto* info = dynamic_cast<const DeviceInfoMessage*> (&message);

    if (mainWindow == nullptr || info == nullptr)
        return;

    mainWindow->handleNotification (*info);
}

bool Nexus::requestProductContent (int productId)
{
    auto* content = getContentManager();

    if (content == nullptr || getDeviceProfiler() == nullptr)
        return false;

    return content->requestProductContent (productId);
}
