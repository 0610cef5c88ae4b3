// The parsers of messages that a unit sends: identity replies, preset headers, data packets.

#include "FuzzSupport.h"

#include "model/PresetName.h"
#include "model/SysEx.h"
#include "model/SysExTemplate.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;

    const auto caps = FuzzSupport::capsFromByte (data[0]);
    const juce::MidiMessage message (data + 1, (int) size - 1);
    const SysExTemplate unit (caps.productId);

    (void) SysEx::getDeviceId (message);
    (void) SysEx::getCommand (message);
    (void) SysEx::parseFirmwareVersion (message, unit);
    (void) SysEx::parseSerialNumber (message, unit);
    (void) SysEx::parseDate (message, unit);
    (void) SysEx::getDataValues (message);

    PresetName name;
    if (SysEx::parsePresetHeader (message, caps, name) == 0)
        (void) SysEx::createPresetHeader (name, caps.productId);

    (void) name.toString();

    juce::MidiMessage taken;
    int used = 0;
    (void) SysEx::readMessage (data, (int) size, taken, used);
    return 0;
}
