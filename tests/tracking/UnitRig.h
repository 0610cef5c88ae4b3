#pragma once

#include "app/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "devices/DeviceManager.h"
#include "devices/ProductCatalogue.h"
#include "devices/SimulatedUnit.h"
#include "devices/VirtualMidiBackend.h"
#include "support/TestEnvironment.h"

#include <atomic>
#include <memory>
#include <vector>

/** Simulated units on virtual ports and the program-wide device manager that
    scans them, for the parts that ask the device manager about units. */
class UnitRig : public juce::MessageListener
{
public:
    /** Knows the sample products; offline, with every product ready. */
    class Catalogue : public ProductCatalogue
    {
    public:
        juce::Array<int> getProductIds() const override          { return { 0x12, 0x1A }; }
        juce::String getProductName (int id) const override       { return profile (id).portName; }
        bool answersGenericIdentity (int id) const override       { return profile (id).answersGenericInquiry; }
        bool isOnline() const override                            { return false; }
        bool isProductReady (int) const override                  { return true; }
        bool requestProductContent (int) override                 { return false; }
        bool isDownloadQueued (int) const override                { return false; }
        bool hasQueuedDownloads() const override                  { return false; }
        bool hasCapsDocument (int id) const override              { return isKnown (id); }

        std::unique_ptr<DeviceCaps> createCaps (int id, int) const override
        {
            if (! isKnown (id))
                return {};

            auto caps = std::make_unique<DeviceCaps>();
            caps->isBuildValid = true;
            caps->caps = profile (id).caps;
            return caps;
        }

    private:
        static SimulatedUnit::Profile profile (int id) { return SimulatedUnit::sampleProfile (id); }
    };

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
            auto* manager = new DeviceManager (this, backend, std::make_shared<Catalogue>());
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
