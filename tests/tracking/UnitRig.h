#pragma once

#include "app/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "devices/DeviceManager.h"
#include "devices/SimulatedUnit.h"
#include "devices/VirtualMidiBackend.h"
#include "support/DeviceTestRig.h"
#include "support/TestEnvironment.h"

#include <atomic>
#include <memory>
#include <vector>

/** Simulated units on virtual ports and the program-wide device manager that
    scans them, made as the hub makes it: with the program's profiler and tracker. */
class UnitRig : public juce::MessageListener
{
public:
    UnitRig() : backend (std::make_shared<VirtualMidiBackend>())
    {
        platform::Clock::setScale (0.05);
    }

    ~UnitRig() override
    {
        Nexus::setDeviceManager (nullptr);
        units.clear();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    SimulatedUnit& addUnit (int productId, int serial, int build)
    {
        auto profile = SimulatedUnit::sampleProfile (productId);
        profile.serial = serial;
        profile.version.build = (int16_t) build;
        units.push_back (std::make_unique<SimulatedUnit> (*backend, profile));
        return *units.back();
    }

    /** Makes the device manager the program's one and runs a scan on it. */
    bool scan()
    {
        if (Nexus::getDeviceManager() == nullptr)
        {
            auto* manager = new DeviceManager (*this, backend, std::make_shared<TestCatalogue> (DeviceRig::defaultProducts()),
                                               Nexus::getDeviceProfiler(), Nexus::getEventTracker(), DeviceManager::Options());
            Nexus::setDeviceManager (manager);
            manager->startThread();
        }

        const auto before = scansFinished.load();
        Nexus::getDeviceManager()->handleMessage (DeviceCommandMessage (DeviceCommandMessage::scan));
        return TestEnvironment::runMessageLoopUntil ([&] { return scansFinished.load() > before; }, 30000);
    }

    DeviceManager& manager() { return *Nexus::getDeviceManager(); }

    void handleMessage (const juce::Message& message) override
    {
        auto* info = dynamic_cast<const DeviceInfoMessage*> (&message);

        if (info == nullptr || info->code != DeviceInfoMessage::scanFinished)
            return;

        if (onScanFinished != nullptr)
            onScanFinished();

        ++scansFinished;
    }

    /** Runs on the message thread as the scan's end arrives. */
    std::function<void()> onScanFinished;
    std::atomic<int> scansFinished { 0 };

    std::shared_ptr<VirtualMidiBackend> backend;
    std::vector<std::unique_ptr<SimulatedUnit>> units;
};
