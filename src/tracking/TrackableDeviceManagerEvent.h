#pragma once

#include "tracking/TrackableEvent.h"
#include "model/FirmwareVersion.h"

/** A usage event about the active unit, with the unit's values as they were
    when the event was made. */
class TrackableDeviceManagerEvent : public TrackableEvent
{
public:
    /** What the event says of the active unit; the defaults mean there is none. */
    struct Unit
    {
        uint8_t productId = 255;
        int32_t serial = -1;
        FirmwareVersion version;
        juce::String displayName;
    };

    TrackableDeviceManagerEvent (const juce::String& scriptName, const Unit& activeUnit);

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
