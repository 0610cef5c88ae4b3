#pragma once

#include "content/TrackableEvent.h"
#include "model/FirmwareVersion.h"

/** A usage event about the active unit, read from the device manager when the
    event is made (so make it while that unit is the active one). */
class TrackableDeviceManagerEvent : public TrackableEvent
{
public:
    explicit TrackableDeviceManagerEvent (const juce::String& scriptName);

    juce::Time getTime() const noexcept                    { return time; }
    int getProductId() const noexcept                      { return productId; }
    int getSerial() const noexcept                         { return serial; }
    const FirmwareVersion& getVersion() const noexcept     { return version; }
    const juce::String& getDisplayName() const noexcept    { return displayName; }

protected:
    juce::Time time;
    uint8_t productId = 255;
    int32_t serial = -1;
    FirmwareVersion version;
    juce::String displayName;
};
