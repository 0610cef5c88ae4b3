#pragma once

#include "devices/DeviceCaps.h"
#include "model/FirmwareVersion.h"

#include <juce_core/juce_core.h>

#include <memory>

/** Keeps the known-device list. (Stand-in until the profiler is built.) */
class DeviceProfiler
{
public:
    DeviceProfiler() = default;
    virtual ~DeviceProfiler() = default;
    void initialise() {}

    static std::unique_ptr<DeviceCaps> createCaps (int productId, int)
    {
        auto c = std::make_unique<DeviceCaps>();
        c->caps = { static_cast<uint8_t> (productId), 1, 100, 15, 1, 100, 15, 15, 15, 1 };
        return c;
    }

    static juce::String getProductDisplayName (int, uint32_t) { return {}; }

    // Least stand-ins of the known-device list and the usage events: they do
    // nothing until those are built.
    void writeDeviceList() {}
    void updateActivations() {}
};
