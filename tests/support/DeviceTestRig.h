#pragma once

#include "base/DeviceInfoMessage.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceObject.h"
#include "devices/ProductCatalogue.h"
#include "devices/SimulatedUnit.h"
#include "devices/VirtualMidiBackend.h"

#include <memory>
#include <mutex>
#include <vector>

/** Collects the notifications of the device layer, as the content component would. */
class NotificationLog : public MessageTarget
{
public:
    struct Note
    {
        int code = 0, value1 = 0, value2 = 0;
        juce::String text;
        int command = 0;
        std::shared_ptr<const Preset> preset;
    };

    void handleMessage (const juce::Message& message) override;

    std::vector<Note> notes() const;
    juce::Array<int> codes() const;
    int count (int code) const;
    void clear();

    /** Runs the message loop until `code` arrived `times` times. */
    bool waitFor (int code, int times = 1, int timeoutMs = 30000);

    /** Runs the message loop until a command ends; returns its completion code (0 on time-out). */
    int waitForCompletion (int timeoutMs = 30000);

    /** Runs the message loop for a protocol duration (scaled by the clock); true when no command ended meanwhile. */
    bool noCompletionWithin (int protocolMs);

private:
    mutable std::mutex lock;
    std::vector<Note> received;
};

/** A catalogue of simulated products: their names, identity habits and layouts. */
class TestCatalogue : public ProductCatalogue
{
public:
    explicit TestCatalogue (std::vector<SimulatedUnit::Profile> products);

    juce::Array<int> getProductIds() const override;
    juce::String getProductName (int productId) const override;
    juce::String getDisplayName (int productId, uint32_t) const override   { return getProductName (productId); }
    bool answersGenericIdentity (int productId) const override;
    bool isOnline() const override                      { return false; }
    bool isProductReady (int) const override            { return true; }
    bool requestProductContent (int) override           { return false; }
    void requestProductContentAsync (int) override      {}
    bool isDownloadQueued (int) const override          { return false; }
    bool hasQueuedDownloads() const override            { return false; }
    bool hasCapsDocument (int productId) const override { return isKnown (productId); }
    std::unique_ptr<DeviceCaps> createCaps (int productId, int build) const override;

private:
    const SimulatedUnit::Profile* find (int productId) const;
    std::vector<SimulatedUnit::Profile> products;
};

/** Virtual ports, simulated units and a device manager that reports to a NotificationLog. */
class DeviceRig
{
public:
    /** The catalogue knows the two sample products unless told otherwise. */
    explicit DeviceRig (std::vector<SimulatedUnit::Profile> catalogueProducts = defaultProducts());
    ~DeviceRig();

    static std::vector<SimulatedUnit::Profile> defaultProducts();

    SimulatedUnit& addUnit (const SimulatedUnit::Profile& profile);
    SimulatedUnit& unit (int index) { return *units[static_cast<size_t> (index)]; }

    /** Makes and starts the manager (once) with the products of `products`
        (by default the test catalogue). */
    DeviceManager& start();

    /** Runs a scan; true when every unit identified in time. */
    bool scan();

    /** Scan, then make unit index `index` active. */
    bool connect (int index = 0);

    /** Posts a command and waits for its completion code. */
    int run (const DeviceCommandMessage& command);

    std::shared_ptr<DeviceObject> device (int index = -1) { return manager->getDevice (index); }

    std::shared_ptr<VirtualMidiBackend> backend;
    std::shared_ptr<TestCatalogue> catalogue;
    std::shared_ptr<ProductCatalogue> products = catalogue;
    std::vector<std::unique_ptr<SimulatedUnit>> units;
    NotificationLog log;
    std::unique_ptr<DeviceManager> manager;
};
