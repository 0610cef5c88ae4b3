#pragma once

#include "app/DeviceCommandMessage.h"
#include "model/FirmwareVersion.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <atomic>

class BelvoraContentComponent;

/** Owns the units and runs device commands on its thread.
    (Stand-in until the device layer is built: it accepts commands and answers
    a scan with an empty result.) */
class DeviceManager : public juce::Thread,
                      public juce::MessageListener
{
public:
    explicit DeviceManager (BelvoraContentComponent* contentComponent);
    ~DeviceManager() override;

    /** Index of the active unit, -1 when none. */
    int getActiveIndex() const { return activeIndex.load(); }

    // Queries of the units (stand-in: no unit is ever found).
    int getDeviceProductId (int) const                { return 255; }
    int getDeviceSerial (int) const                   { return -1; }
    FirmwareVersion getDeviceVersion (int) const      { return {}; }
    juce::String getActiveDeviceDisplayName() const   { return {}; }
    bool isDeviceConnected (int, int) const           { return false; }

    void run() override;
    void handleMessage (const juce::Message& message) override;

private:
    BelvoraContentComponent* const owner;
    juce::CriticalSection queueLock;
    juce::Array<int> queuedCommands;
    juce::WaitableEvent wakeUp;
    std::atomic<int> activeIndex { -1 };

    JUCE_DECLARE_NON_COPYABLE (DeviceManager)
};
