// Reading a ".mwd" device data file; what loads must also save again.

#include "FuzzSupport.h"

#include "model/DeviceData.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size > 262144)
        return 0;

    const auto file = FuzzSupport::writeScratch (data, size, ".mwd");
    const auto loaded = DeviceData::loadFromFile (file);

    if (loaded == nullptr)
        return 0;

    (void) loaded->getUsedPresetIndices();
    (void) loaded->getDifferentPresetIndices();
    (void) loaded->hasGaps();
    (void) loaded->matchesFileHeader (file);

    for (auto slot : loaded->getUsedPresetIndices())
        (void) loaded->getPreset (slot)->getStepValues (0);

    (void) loaded->getSetup().getValues();
    (void) loaded->saveToFile (file.withFileExtension (".out.mwd"));
    file.withFileExtension (".out.mwd").deleteFile();
    return 0;
}
