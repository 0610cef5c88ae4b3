#pragma once

#include "model/FirmwareVersion.h"

#include <juce_core/juce_core.h>

#include <memory>

class DeviceCaps;
class FactoryBank;

/** Keeps the known-device list and holds the lookups into the products'
    capability documents. (The known-device list is a stand-in so far.) */
class DeviceProfiler
{
public:
    struct Date
    {
        int year = 0;
        int month = 0;
        int day = 0;

        bool operator== (const Date&) const = default;
    };

    DeviceProfiler() = default;
    virtual ~DeviceProfiler() = default;

    void initialise() {}

    /** The capabilities of a product at one firmware build; defaults for an unknown product. */
    static std::unique_ptr<DeviceCaps> createCaps (int productId, int build);

    /** kind 1: the build profile whose "presetVersion" is version, kind 2 "setupVersion";
        null for any other kind. */
    static std::unique_ptr<DeviceCaps> createCapsForDataVersions (int productId, int kind, int version);

    /** The product variant's name for a serial number, else the product's name. */
    static juce::String getProductDisplayName (int productId, uint32_t serial);

    static std::unique_ptr<FactoryBank> createFactoryBank (int productId, int build);

    // The same lookups in a given capability document (null: no document).
    static std::unique_ptr<DeviceCaps> createCapsFrom (const juce::XmlElement* capsDocument, int productId, int build);
    static std::unique_ptr<DeviceCaps> createCapsForDataVersionsFrom (const juce::XmlElement* capsDocument, int productId, int kind, int version);
    static juce::String getVariantName (const juce::XmlElement* capsDocument, uint32_t serial);
    static std::unique_ptr<FactoryBank> createFactoryBankFrom (const juce::XmlElement* capsDocument, int productId, int build);

    /** Reads texts such as "b 2.1.0 build 123" or "demo 1.2.3". */
    static FirmwareVersion parseVersionText (const juce::String& text);

    /** Reads "2014.07.31". */
    static Date parseManufactureDate (const juce::String& text);

private:
    JUCE_DECLARE_NON_COPYABLE (DeviceProfiler)
};
