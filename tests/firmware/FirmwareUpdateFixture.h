#pragma once

// A firmware update of simulated units, driven as the program drives it: the
// sample content on 127.0.0.1, the program's catalogue, a device manager on
// virtual ports, and an owner that performs the update's commands, hands it
// every device notification and answers its questions.

#include "firmware/FirmwareUpdateThread.h"
#include "conversion/DataConversionManager.h"
#include "devices/ContentProductCatalogue.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/DeviceData.h"
#include "platform/Clock.h"
#include "support/ContentFixture.h"
#include "support/DeviceTestRig.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace FirmwareTesting
{
    using Update = FirmwareUpdateThread;
    using S = FirmwareUpdateThread::State;
    using Info = DeviceInfoMessage;
    using Cmd = DeviceCommandMessage;

    /** Stands in for the content component and the progress window. */
    class Owner : public NotificationLog,
                  public FirmwareUpdateThread::Host
    {
    public:
        struct Question { juce::String title, text; };
        struct Shown { S state; FirmwareUpdateThread::Progress progress; };

        DeviceManager* devices = nullptr;
        FirmwareUpdateThread* update = nullptr;

        // Run on the message thread, in the order the owner meets them.
        std::function<bool (const Question&)> answer = [] (const Question&) { return true; };
        std::function<void()> afterNotification;
        std::atomic<int> connectsToIgnore { 0 };

        void handleMessage (const juce::Message& message) override
        {
            if (auto* command = dynamic_cast<const CommandMessage*> (&message))
                return perform (command->command);

            NotificationLog::handleMessage (message);

            if (auto* info = dynamic_cast<const DeviceInfoMessage*> (&message))
                tell (*info);
        }

        /** What the content component's broadcast does for a notification. */
        void tell (const DeviceInfoMessage& info)
        {
            if (update != nullptr)
                update->changeNotify (ChangeInfo (info));

            if (afterNotification)
                afterNotification();
        }

        void invokeCommand (FirmwareUpdateThread::Command command) override
        {
            {
                const std::lock_guard guard (lock);
                commands.add ((int) command);
            }

            postMessage (new CommandMessage (command));
        }

        bool askYesNo (const juce::String& title, const juce::String& text) override
        {
            return ask ({ title, text });
        }

        bool askToContinueScanning (const juce::String& title, const juce::String& text) override
        {
            return ask ({ title, text });
        }

        void showProgress (const FirmwareUpdateThread::Progress& progress) override
        {
            shown.push_back ({ update->getState(), progress });
        }

        void updateEnded (const FirmwareUpdateThread& ended) override
        {
            ++endings;
            endedName = ended.getDeviceName();
        }

        juce::Array<int> getCommands() const
        {
            const std::lock_guard guard (lock);
            return commands;
        }

        int countCommands (FirmwareUpdateThread::Command command) const
        {
            const auto all = getCommands();
            return (int) std::count (all.begin(), all.end(), (int) command);
        }

        std::vector<Question> questions;
        std::vector<Shown> shown;
        int endings = 0;
        juce::String endedName;

    private:
        struct CommandMessage : juce::Message
        {
            explicit CommandMessage (FirmwareUpdateThread::Command c) : command (c) {}
            FirmwareUpdateThread::Command command;
        };

        bool ask (const Question& question)
        {
            questions.push_back (question);
            return answer (question);
        }

        // What the content component does for the three commands.
        void perform (FirmwareUpdateThread::Command command)
        {
            switch (command)
            {
                case FirmwareUpdateThread::Command::scanForDevices:
                    devices->postMessage (new Cmd (Cmd::scan));
                    break;

                case FirmwareUpdateThread::Command::downloadDeviceData:
                    if (devices->getActiveIndex() >= 0)
                        devices->postMessage (new Cmd (Cmd::readAll));
                    break;

                case FirmwareUpdateThread::Command::connectSelectedDevice:
                {
                    if (connectsToIgnore > 0)
                    {
                        --connectsToIgnore;
                        break;
                    }

                    const auto index = devices->findDevice (update->getProductId(), update->getSerial());

                    if (index >= 0 && devices->isDeviceUsable (index) && devices->setActiveDevice (index))
                        tell (DeviceInfoMessage (Info::connectedDeviceChanged, 1, 0, {}));
                    break;
                }
            }
        }

        mutable std::mutex lock;
        juce::Array<int> commands;
    };

    struct IdleThread : public juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    };
}

class FirmwareUpdateTest : public ContentFixture
{
protected:
    using Owner = FirmwareTesting::Owner;
    using Update = FirmwareTesting::Update;
    using S = FirmwareTesting::S;
    using Info = FirmwareTesting::Info;
    using Cmd = FirmwareTesting::Cmd;
    using Command = FirmwareUpdateThread::Command;

    static constexpr int oldBuild = 120, newBuild = 140, betaBuild = 150;

    void SetUp() override
    {
        ContentFixture::SetUp();
        Belvora::getAppProperties().getUserSettings();   // opened before the workers read it

        auto& content = startCatalogueQuietly();

        for (auto product : { vesper, quill })
        {
            ASSERT_TRUE (content.downloadProductContent (product, &worker));
        }

        makeRig();
    }

    void TearDown() override
    {
        endUpdate();
        rig.reset();
        DataConversionManager::setScriptTimeLimit (60000);
        ContentFixture::TearDown();
    }

    /** A fresh device manager and owner without units; the clock runs fast. */
    void makeRig()
    {
        endUpdate();
        rig.reset();
        owner = std::make_unique<Owner>();
        rig = std::make_unique<DeviceRig>();
        rig->products = std::make_shared<ContentProductCatalogue> (*catalogue);

        DeviceManager::Options options;
        options.isFirmwareUpdateRunning = [] { return true; };
        rig->manager = std::make_unique<DeviceManager> (*owner, rig->backend, rig->products, nullptr, nullptr, options);
        rig->manager->startThread();
        owner->devices = rig->manager.get();
    }

    void endUpdate()
    {
        if (owner != nullptr)
            owner->update = nullptr;

        update.reset();
    }

    CapsBlock capsAt (int build) const
    {
        return DeviceProfiler::createCaps (*catalogue, vesper, build)->caps;
    }

    static FirmwareVersion versionOf (int build)
    {
        return FirmwareVersion (build == betaBuild ? 1 : 0, 1, build / 10 % 10, 0, build);
    }

    /** A Vesper of that firmware with presets in slots 1 .. presets and its setup. */
    SimulatedUnit& addVesper (int build, int presets)
    {
        auto profile = SimulatedUnit::sampleProfile (vesper);
        profile.version = versionOf (build);
        profile.caps = capsAt (build);
        profile.filledPresets = presets;
        return rig->addUnit (profile);
    }

    SimulatedUnit::UpdateOutcome comesBackWith (int build) const
    {
        return { SimulatedUnit::UpdateOutcome::Comeback::newFirmware, versionOf (build), capsAt (build), -1 };
    }

    /** Scans and makes the first unit active, as the user would have. */
    bool connect()
    {
        const auto before = owner->count (Info::scanFinished);
        rig->manager->handleMessage (Cmd (Cmd::scan));
        return owner->waitFor (Info::scanFinished, before + 1) && rig->manager->setActiveDevice (0);
    }

    /** The catalogue's element of that build, or the beta image as a file the user chose. */
    FirmwareUpdateElement elementFor (int build) const
    {
        for (auto& e : catalogue->getFirmwareUpdates (vesper))
            if (e.version.build == build)
                return e;

        const auto beta = contentRoot().getChildFile ("Belvora2/Vesper/firmware/vesper_1_5_0_b150_beta.syx");
        return FirmwareUpdateElement::createFromFile (beta.getFullPathName(), versionOf (build));
    }

    /** Makes and prepares the update; false when prepare refused. */
    bool prepareUpdate (const FirmwareUpdateElement& element)
    {
        update = std::make_unique<FirmwareUpdateThread> (*owner, *rig->manager, *catalogue, element);
        owner->update = update.get();
        return update->prepare();
    }

    bool startUpdate (const FirmwareUpdateElement& element)
    {
        if (! prepareUpdate (element))
            return false;

        update->start();
        return true;
    }

    /** Runs the message loop until the update has reported its end. */
    bool runToEnd (std::function<void()> meanwhile = {})
    {
        return TestEnvironment::runMessageLoopUntil ([&]
        {
            if (meanwhile)
                meanwhile();

            return owner->endings > 0;
        }, 120000);
    }

    void pressStop()
    {
        owner->tell (DeviceInfoMessage (Info::firmwareStopPressed, 0, 0, {}));
    }

    /** The history with each run of unanswered scans folded into one scan. */
    std::vector<S> history() const
    {
        std::vector<S> folded;

        for (auto s : update->getStateHistory())
        {
            if (s == S::unitNotFound)
                continue;

            if (s == S::scanning && ! folded.empty() && folded.back() == S::scanning)
                continue;

            folded.push_back (s);
        }

        return folded;
    }

    static void replaceScript (const char* name, const juce::String& text)
    {
        ASSERT_TRUE (productFolder ("Vesper").getChildFile ("js").getChildFile (name).replaceWithText (text));
    }

    /** The unit's presets 1 .. count and setup as the converter turns them into the new format. */
    std::unique_ptr<DeviceData> expectedConversion (SimulatedUnit& unit, int count)
    {
        DeviceData stored ("Vesper", versionOf (oldBuild), capsAt (oldBuild), nullptr);

        for (int i = 1; i <= count; ++i)
            stored.setPreset (i, unit.getPreset (i));

        stored.setSetup (*unit.getSetup(), false);

        DataConversionManager converter (*catalogue);
        return converter.convertDeviceData (stored, vesper, versionOf (newBuild));
    }

    FirmwareTesting::IdleThread worker;
    std::unique_ptr<Owner> owner;
    std::unique_ptr<DeviceRig> rig;
    std::unique_ptr<FirmwareUpdateThread> update;
};
