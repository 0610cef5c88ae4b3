#pragma once

#include "base/DeviceInfoMessage.h"
#include "devices/DeviceManager.h"
#include "devices/SimulatedUnit.h"
#include "devices/VirtualMidiBackend.h"
#include "support/DeviceTestRig.h"
#include "support/TestEnvironment.h"

#include <atomic>
#include <memory>
#include <vector>

/** Simulated units on virtual ports and a device manager that scans them,
    made as the hub makes it: with a profiler and a tracker. */
class UnitRig : public MessageTarget
{
public:
    UnitRig (DeviceProfiler* profilerToUse, EventTracker* trackerToUse)
        : profiler (profilerToUse), tracker (trackerToUse), backend (std::make_shared<VirtualMidiBackend>())
    {
        platform::Clock::setScale (0.05);
    }

    ~UnitRig() override
    {
        devices.reset();
        units.clear();
        TestEnvironment::drainMessages();
        platform::Clock::setScale (1.0);
    }

    SimulatedUnit& addUnit (int productId, int serial, int build)
    {
        auto profile = SimulatedUnit::sampleProfile (productId);
        profile.serial = serial;
        profile.version.build = (int16_t) build;
        units.push_back (std::make_unique<SimulatedUnit> (*backend, profile));
        return *units.back();
    }

    /** Makes the device manager (once) and runs a scan on it. */
    bool scan()
    {
        if (devices == nullptr)
        {
            devices = std::make_unique<DeviceManager> (*this, backend, std::make_shared<TestCatalogue> (DeviceRig::defaultProducts()),
                                                       profiler, tracker, DeviceManager::Options());
            devices->startThread();
        }

        const auto before = scansFinished.load();
        devices->handleMessage (DeviceCommandMessage (DeviceCommandMessage::scan));
        return TestEnvironment::runMessageLoopUntil ([&] { return scansFinished.load() > before; }, 30000);
    }

    DeviceManager& manager() { return *devices; }

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

    DeviceProfiler* const profiler;
    EventTracker* const tracker;
    std::shared_ptr<VirtualMidiBackend> backend;
    std::vector<std::unique_ptr<SimulatedUnit>> units;
    std::unique_ptr<DeviceManager> devices;
};
