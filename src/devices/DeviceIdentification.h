#pragma once

#include "devices/DeviceCaps.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_events/juce_events.h>

#include <memory>

class CommandQueue;
class DeviceData;
class DeviceExchange;
class DeviceFlags;
class DevicePorts;
class ProductCatalogue;

/** Finds out who is on the other end of a unit's ports: product, firmware,
    serial and manufacture date, then its capabilities and empty data. Runs on
    the unit's thread; the flags say how far it got. */
class DeviceIdentification
{
public:
    struct Parts
    {
        juce::Thread& worker;
        DevicePorts& ports;
        DeviceExchange& exchange;
        CommandQueue& queue;
        DeviceFlags& flags;
        juce::ChangeBroadcaster& changes;
        ProductCatalogue& catalogue;
    };

    /** What a successful identification makes; both null otherwise. */
    struct Result
    {
        std::shared_ptr<const DeviceCaps> caps;
        std::unique_ptr<DeviceData> data;
        bool askAgainWithList = false;   // no answer to a kept product list's products while the server's was on its way
        bool askAgainWithCaps = false;   // kept capabilities did not list the unit's build while the server's list was on its way
    };

    DeviceIdentification (const Parts& parts, const juce::String& portName, bool scanAll);

    /** Asks the unit who it is, with the generic request first and then product by product. */
    Result identify();

    /** Asks an identified unit for its serial again; true when the same serial came back. */
    bool checkConnection (bool hasCaps);

private:
    bool askForVersion (const juce::MidiMessage& request);
    void readDeviceInfo (Result& result);
    bool fetchProductContent();

    /** Waits while the catalogue reads the server's product list; true when it waited for its end. */
    bool awaitCatalogue();

    Parts parts;
    const juce::String portName;
    const bool scanAll;
};
