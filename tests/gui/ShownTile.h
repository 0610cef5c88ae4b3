#pragma once

#include "gui/widgets/MidiDeviceStatusButton.h"

#include <optional>

/** A device tile that shows a unit state the caller gives instead of reading a
    unit; optionally with its own product picture. */
struct ShownTile : MidiDeviceStatusButton
{
    using MidiDeviceStatusButton::UnitState;

    explicit ShownTile (UnitState shown, Services with = {}, std::optional<juce::Image> picture = {})
        : MidiDeviceStatusButton (std::shared_ptr<DeviceObject>(), std::move (with)),
          state (std::move (shown)), productPicture (std::move (picture))
    {
        updateFromDevice();
    }

    void show (uint32_t newFlags)
    {
        state.flags = newFlags;
        updateFromDevice();
    }

    UnitState readUnit() const override { return state; }

    juce::Image getProductPicture() const override
    {
        return productPicture ? *productPicture : MidiDeviceStatusButton::getProductPicture();
    }

    /** A unit of the sample product 0x12 with that state. */
    static UnitState unitWith (uint32_t flags, int productId = 0x12, int serial = 10000001)
    {
        UnitState s;
        s.name = "Vesper";
        s.flags = flags;
        s.productId = productId;
        s.serial = serial;
        s.version = FirmwareVersion (0, 1, 2, 0, 120);
        s.date = { 2015, 6, 3 };
        return s;
    }

    UnitState state;
    std::optional<juce::Image> productPicture;
};
