// Classifying a SysEx file's first message, checking a firmware image's messages and parsing
// presets and setups from raw bytes.

#include "FuzzSupport.h"

#include "model/Preset.h"
#include "model/SetupData.h"
#include "model/SysEx.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;

    const auto caps = FuzzSupport::capsFromByte (data[0]);
    const auto* bytes = data + 1;
    const auto length = (int) size - 1;

    int productId = 0, version = 0, used = 0;
    const juce::Array<int> compatible { 1, 2 };
    (void) SysEx::checkFileContent (bytes, length, caps, &compatible, productId, version);
    (void) SysEx::isWholeMessages (bytes, (size_t) length);
    (void) SysEx::isFirmwareImage (bytes, (size_t) length);

    juce::Array<juce::MidiMessage> messages;
    (void) SysEx::readMessages (juce::MemoryBlock (bytes, (size_t) length), messages);

    juce::uint32 status = 0;

    if (auto preset = SysEx::parsePreset (bytes, length, used, status, caps))
    {
        (void) preset->getMD5();
        (void) preset->getStepValues (0);
        juce::MemoryOutputStream out;
        (void) preset->writeSysEx (out);
    }

    if (auto setup = SysEx::parseSetupData (bytes, length, used, status, caps))
        (void) setup->getValues();

    return 0;
}
