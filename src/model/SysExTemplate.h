#pragma once

#include "model/SysEx.h"

#include <array>

/** The identity-request template of one unit: starts as the generic request
    and gets the unit's product id once that is known. */
class SysExTemplate
{
public:
    static constexpr int size = SysEx::identityMessageSize;
    static constexpr uint8_t unknownProduct = SysEx::placeholderProductId;

    /** The generic template (product byte 0x7F). */
    SysExTemplate();

    /** A template for one product: its id goes into byte 5 of both buffers. */
    explicit SysExTemplate (uint8_t productId);

    uint8_t getProductId() const          { return productId; }
    int getLength() const                 { return length; }

    /** Frees the buffers; a cleared template produces empty messages. */
    void clear();

    /** The identity buffer as a message. */
    juce::MidiMessage toMidiMessage() const;

    /** The request buffer with `code` in byte 7. */
    juce::MidiMessage createRequest (uint8_t code);
    juce::MidiMessage createSerialRequest();
    juce::MidiMessage createDateRequest();

    /** SysEx of exactly 17 bytes whose byte 5 is this template's product id. */
    bool isDeviceAnswer (const juce::MidiMessage& message) const;

private:
    uint8_t productId = unknownProduct;
    int length = size;
    std::array<uint8_t, size> identity {};
    std::array<uint8_t, size> request {};
};
