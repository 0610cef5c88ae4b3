#include "model/SysExTemplate.h"

#include "model/SysEx.h"

namespace
{
    constexpr std::array<uint8_t, SysExTemplate::size> genericInquiry {
        0xF0, 0x00, 0x01, 0x38, 0x00, 0x7F, 0x7E, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7
    };
}

SysExTemplate::SysExTemplate()
    : identity (genericInquiry), request (genericInquiry)
{
}

SysExTemplate::SysExTemplate (uint8_t id)
    : SysExTemplate()
{
    productId = id;
    identity[5] = id;
    request[5] = id;
}

void SysExTemplate::clear()
{
    length = 0;
    identity.fill (0);
    request.fill (0);
}

juce::MidiMessage SysExTemplate::toMidiMessage() const
{
    if (length == 0)
        return {};

    return juce::MidiMessage (identity.data(), length);
}

juce::MidiMessage SysExTemplate::createRequest (uint8_t code)
{
    if (length == 0)
        return {};

    request[7] = code;
    return juce::MidiMessage (request.data(), length);
}

juce::MidiMessage SysExTemplate::createSerialRequest()
{
    return createRequest (SysEx::identitySerial);
}

juce::MidiMessage SysExTemplate::createDateRequest()
{
    return createRequest (SysEx::identityDate);
}

bool SysExTemplate::isDeviceAnswer (const juce::MidiMessage& message) const
{
    return message.isSysEx()
        && message.getRawDataSize() == size
        && message.getRawData()[5] == productId;
}
