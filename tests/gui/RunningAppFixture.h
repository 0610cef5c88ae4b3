#pragma once

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "devices/SimulatedUnitSet.h"
#include "gui/BelvoraContentComponent.h"
#include "gui/MainAppWindow.h"
#include "gui/StatusBar.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "platform/Clock.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

/** The ids of the commands a content component performed, in order. */
struct PerformedCommands : BelvoraChangeListener
{
    explicit PerformedCommands (BelvoraContentComponent& c) : content (c)   { content.addChangeListener (this); }
    ~PerformedCommands() override                                           { content.removeChangeListener (this); }

    void changeNotify (const ChangeInfo& info) override
    {
        if (info.kind == ChangeInfo::commandInvoked)
            ids.push_back (info.commandId);
    }

    BelvoraContentComponent& content;
    std::vector<int> ids;
};

/** The whole program inside the test: the sample content served on 127.0.0.1,
    simulated units for the MIDI ports, a private home, the unit clock sped
    up. Every box is answered and recorded; windows need a display. */
class RunningApp
{
public:
    struct Options
    {
        juce::String units = "2";          // BELVORA_SIMULATED_UNITS
        juce::String commandLine;
        juce::StringPairArray settings;    // stored before start-up
        bool online = true;                // the content server answers
        bool keepHome = false;             // start on what an earlier run left there
        bool contentSettles = true;        // start() waits for the start's content downloads too
    };

    RunningApp() : RunningApp (Options()) {}

    explicit RunningApp (Options o) : options (std::move (o))
    {
        Belvora::releaseAppProperties();

        if (! options.keepHome)
            TestEnvironment::clearHome();

        Belvora::configureAppProperties();

        for (auto& key : options.settings.getAllKeys())
            Belvora::getUserSettings().setValue (key, options.settings[key]);

        Belvora::getAppProperties().saveIfNeeded();

        if (options.online)
            server.start();

        for (auto* name : variables)
            previous.set (name, juce::SystemStats::getEnvironmentVariable (name, {}));

        const auto base = options.online ? server.getBaseUrl() : juce::String ("http://127.0.0.1:9");
        ::setenv ("BELVORA_CONTENT_URL", (base + "/Belvora2").toRawUTF8(), 1);
        ::setenv ("BELVORA_TRACKING_URL", (base + "/belvora-2").toRawUTF8(), 1);
        ::setenv ("BELVORA_SIMULATED_UNITS", options.units.toRawUTF8(), 1);
        platform::Clock::setScale (0.05);
    }

    ~RunningApp()
    {
        if (app != nullptr)
            app->shutdown();

        app.reset();
        platform::Clock::setScale (1.0);
        Belvora::releaseAppProperties();
        for (auto* name : variables)
        {
            if (previous[name].isEmpty())
                ::unsetenv (name);
            else
                ::setenv (name, previous[name].toRawUTF8(), 1);
        }

        server.stop();
    }

    /** Starts the program and waits until its first scan, and (unless the
        server is told to hold them back) the descriptor's read and the content downloads it started,
        which a unit does not wait for, have ended. */
    bool start()
    {
        app = std::make_unique<Belvora> (MainAppWindow::getUserInterfaceFactory());
        app->initialise (options.commandLine);
        return MainAppWindow::of (app->getNexus()) != nullptr
            && waitFor ([this] { return app->getAppState() == AppState::idle; })
            && (! options.contentSettles || waitFor ([this] { return ! Nexus::getContentManager()->isConnecting() && ! downloading() && ! statusBar().isProgressShown(); }));
    }

    static bool downloading()
    {
        auto* downloads = Nexus::getContentManager()->getDownloadThread();
        const auto ids = Nexus::getContentManager()->getProductIds();
        return downloads != nullptr && std::any_of (ids.begin(), ids.end(), [downloads] (auto id) { return downloads->isQueued (id); });
    }

    Belvora& application()                   { return *app; }
    MainAppWindow& window()                  { return *MainAppWindow::of (app->getNexus()); }
    BelvoraContentComponent& content()       { return *window().getBelvoraContentComponent(); }
    StatusBar& statusBar()                   { return content().getStatusBar(); }
    DeviceManager& devices()                 { return *Nexus::getDeviceManager(); }
    SimulatedUnit& unit (int index)          { return dynamic_cast<SimulatedUnitSet&> (devices().getBackend()).getUnit (index); }
    juce::PropertiesFile& settings()         { return Belvora::getUserSettings(); }

    bool waitFor (std::function<bool()> condition, int timeoutMs = 30000)
    {
        return TestEnvironment::runMessageLoopUntil (std::move (condition), timeoutMs);
    }

    /** Waits for a marker sent through the hub: whatever was posted before it has been handled. */
    bool drain()
    {
        bool seen = false;
        MarkerListener marker (seen);
        content().addChangeListener (&marker);
        app->getNexus()->postMessage (new DeviceInfoMessage (MarkerListener::code, 0, 0, {}));
        const bool ok = waitFor ([&] { return seen; });
        content().removeChangeListener (&marker);
        return ok;
    }

    /** Performs a command as a button or menu would, and lets what it posted arrive. */
    void perform (int commandId)
    {
        juce::ApplicationCommandTarget& target = content();
        target.invokeDirectly (commandId, false);
    }

    /** Posts a notification through the hub, as the core does, and waits until it was handled. */
    void notify (const DeviceInfoMessage& message)
    {
        app->getNexus()->postMessage (new DeviceInfoMessage (message));
        drain();
    }

    /** The titles of the boxes shown so far. */
    juce::StringArray titles() const
    {
        juce::StringArray t;

        for (auto& b : boxes)
            t.add (b.title);

        return t;
    }

    /** The button index a box of that title is answered with (the first button unless told).
        New firmware is declined unless a test says otherwise: whether the offer comes
        before the first connection depends on how fast the content arrives. */
    std::map<juce::String, int> answers { { "New Firmware Available", 2 } };
    std::vector<Alerts::Box> boxes;

    Options options;
    LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
    std::unique_ptr<Belvora> app;

private:
    static constexpr const char* variables[] { "BELVORA_CONTENT_URL", "BELVORA_TRACKING_URL", "BELVORA_SIMULATED_UNITS" };
    juce::StringPairArray previous;

    struct MarkerListener : BelvoraChangeListener
    {
        static constexpr int code = 0x7fff0;
        explicit MarkerListener (bool& flag) : seen (flag) {}
        void changeNotify (const ChangeInfo& info) override   { seen = seen || (info.kind == ChangeInfo::notification && info.message.code == code); }
        bool& seen;
    };

    const Alerts::ScopedChoiceResponder responder { [this] (const Alerts::Box& box)
    {
        boxes.push_back (box);
        const auto it = answers.find (box.title);
        return it != answers.end() ? it->second : 0;
    } };

    const FileChoosers::ScopedResponder noChooser { [] (const FileChoosers::Request&) { return juce::Array<juce::File>(); } };
};
