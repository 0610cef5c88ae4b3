// Importing a ".syx" file into device data, and the file readers around it;
// what an import takes must also save and load back.

#include "FuzzSupport.h"

#include "model/DeviceData.h"
#include "model/SysEx.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;

    const auto caps = FuzzSupport::capsFromByte (data[0]);
    const auto file = FuzzSupport::writeScratch (data + 1, size - 1, ".syx");

    int productId = 0, version = 0;
    (void) SysEx::peekFile (file, productId, version);
    (void) SysEx::readFileHeader (file, caps, nullptr, productId, version);

    juce::Array<juce::MidiMessage> messages;
    (void) SysEx::readFile (file, messages);

    DeviceData target ("Fuzz", FirmwareVersion (0, 1, 0, 0, 10, 0), caps, nullptr);
    juce::SortedSet<int> changed;
    (void) target.importSysEx (file, changed, (data[0] & 0x20) != 0 ? 1 : -1);

    for (auto slot : changed)
        if (auto* preset = target.getPreset (slot))
            (void) preset->getName();

    // Whatever an import takes must survive a save and load of the workspace.
    if (changed.isEmpty() && target.getSetup().getNumMidiMessages() == 0)
        return 0;

    const auto saved = file.withFileExtension (".imported.mwd");

    if (target.saveToFile (saved) == DeviceData::saved && DeviceData::loadFromFile (saved) == nullptr)
        __builtin_trap();

    saved.deleteFile();
    return 0;
}
