#include "app/Nexus.h"

#include "app/Belvora.h"
#include "base/DeviceInfoMessage.h"
#include "content/ContentManager.h"
#include "conversion/ScriptRunner.h"
#include "tracking/EventTracker.h"
#include "platform/WebRequest.h"
#include "devices/ContentProductCatalogue.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceProfiler.h"

namespace
{
    std::atomic<Nexus::StartupStep> failingStep { Nexus::StartupStep::none };

    template <typename T, typename... Args>
    std::unique_ptr<T> make (Nexus::StartupStep step, Args&&... args)
    {
        if (failingStep.load() == step)
            return {};

        return std::make_unique<T> (std::forward<Args> (args)...);
    }

    bool isMessageThread()
    {
        auto* mm = juce::MessageManager::getInstanceWithoutCreating();
        return mm != nullptr && mm->isThisTheMessageThread();
    }

    void reportFatalError (int code)
    {
        if (auto* app = Belvora::getInstance())
            app->reportFatalError (code);
    }

    // What the services take from the application.
    ContentManager::Setup contentSetup (const Belvora* app)
    {
        ContentManager::Setup setup;
        setup.developerMode = app != nullptr && app->isDeveloperMode();
        setup.scriptCompiles = [] (const juce::String& script)
        {
            using Verdict = ProductDocumentCache::Verdict;

            switch (ScriptRunner::compile (script))
            {
                case ScriptRunner::Reading::reads:     return Verdict::passes;
                case ScriptRunner::Reading::undecided: return Verdict::undecided;
                case ScriptRunner::Reading::refused:
                default:                               return Verdict::refused;
            }
        };
        return setup;
    }

    EventTracker::Setup trackerSetup (const Belvora* app)
    {
        EventTracker::Setup setup;

        if (app != nullptr)
        {
            setup.installId = app->getInstallId();
            setup.developerMode = app->isDeveloperMode();
            setup.newInstallation = app->isNewInstallation();
        }

        return setup;
    }

    DeviceProfiler::Setup profilerSetup (const Belvora* app)
    {
        DeviceProfiler::Setup setup;

        if (app != nullptr)
        {
            setup.newInstallation = app->isNewInstallation();
            setup.developerMode = app->isDeveloperMode();
            setup.syncAll = app->isSyncAll();
        }

        return setup;
    }

    DeviceManager::Options deviceOptions (const Belvora* app)
    {
        DeviceManager::Options options;
        options.scanAll = app != nullptr && app->isScanAll();
        options.isFirmwareUpdateRunning = []
        {
            auto* application = Belvora::getInstance();
            return application != nullptr && application->getAppState() == AppState::firmwareUpdate;
        };
        return options;
    }
}

Nexus::Nexus (UserInterfaceFactory factory)
    : makeUserInterface (std::move (factory))
{
    instance.store (this);
}

Nexus::~Nexus()
{
    stopServices();
    mainWindow.reset();

    auto* self = this;
    instance.compare_exchange_strong (self, nullptr);
}

Nexus* Nexus::running()
{
    // Only message-thread code reaches the services through the hub; workers
    // were handed theirs, so a call from one is a mistake that must not work.
    jassert (isMessageThread());
    return isMessageThread() ? instance.load() : nullptr;
}

ContentManager* Nexus::getContentManager()   { auto* hub = running(); return hub != nullptr ? hub->contentManager.get() : nullptr; }
EventTracker* Nexus::getEventTracker()       { auto* hub = running(); return hub != nullptr ? hub->eventTracker.get() : nullptr; }
DeviceProfiler* Nexus::getDeviceProfiler()   { auto* hub = running(); return hub != nullptr ? hub->deviceProfiler.get() : nullptr; }
DeviceManager* Nexus::getDeviceManager()     { auto* hub = running(); return hub != nullptr ? hub->deviceManager.get() : nullptr; }

void Nexus::simulateStartupFailureAt (StartupStep step)
{
    failingStep.store (step);
}

void Nexus::initialise()
{
    const auto* app = Belvora::getInstance();
    auto failed = [] { reportFatalError (1); };

    contentManager = make<ContentManager> (StartupStep::contentManager, contentSetup (app), *this, &reportFatalError);
    if (contentManager == nullptr)          return failed();

    eventTracker = make<EventTracker> (StartupStep::eventTracker, trackerSetup (app));
    if (eventTracker == nullptr)            return failed();

    if (failingStep.load() != StartupStep::mainWindow && makeUserInterface.makeMainWindow != nullptr)
        mainWindow = makeUserInterface.makeMainWindow (*this);
    if (mainWindow == nullptr)              return failed();

    deviceProfiler = make<DeviceProfiler> (StartupStep::deviceProfiler, *contentManager, *eventTracker, profilerSetup (app));
    if (deviceProfiler == nullptr)          return failed();
    deviceProfiler->initialise();

    deviceManager = make<DeviceManager> (StartupStep::deviceManager, *this, nullptr,
                                         std::make_shared<ContentProductCatalogue> (*contentManager),
                                         deviceProfiler.get(), eventTracker.get(), deviceOptions (app));
    if (deviceManager == nullptr)           return failed();

    deviceManager->startThread();
    mainWindow->invokeStartupScan();

    postMessage (new DeviceInfoMessage (DeviceInfoMessage::startupFinished, 0, 0, {}));
}

void Nexus::shutdown()
{
    if (mainWindow != nullptr)
        Belvora::getUserSettings().setValue ("appWindowState", mainWindow->getWindowState());

    stopServices();
    mainWindow.reset();
}

// Every worker is asked to stop before any is waited for, so none sits
// behind another's transfer; the tracker gets a moment to send what is
// queued; then whatever still waits on a server is cut off, as an interrupt
// does. No thread is killed: each is joined once it has ended by itself.
//
// The device manager's thread stops first; the window goes before the
// services its pages hold references to (a firmware update uses the device
// manager, which stops every unit as it goes; the data page's backups and
// packs use the catalogue, the packs on a thread of their own); the profiler
// goes before the catalogue and the tracker it holds references to.
void Nexus::stopServices()
{
    if (deviceManager == nullptr && deviceProfiler == nullptr && contentManager == nullptr && eventTracker == nullptr)
        return mainWindow.reset();

    if (deviceManager != nullptr)
    {
        deviceManager->signalThreadShouldExit();
        deviceManager->notify();
    }

    if (deviceProfiler != nullptr)
        deviceProfiler->askToStop();

    if (contentManager != nullptr)
        contentManager->askWorkersToStop();

    if (eventTracker != nullptr)
        eventTracker->stop();

    platform::WebRequest::abortPending();

    if (deviceManager != nullptr)
        deviceManager->stopThread (-1);

    mainWindow.reset();
    deviceManager.reset();
    deviceProfiler.reset();
    contentManager.reset();
    eventTracker.reset();
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
