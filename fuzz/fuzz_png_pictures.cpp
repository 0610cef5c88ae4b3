// Decoding a PNG picture from outside (a product's picture, a backup's linked picture).
// Only PNGs: the framework's own GIF and JPEG readers are not ours to harden.

#include "FuzzSupport.h"

#include "content/ContentReader.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;

    // Every input is a PNG from its signature on, so the fuzzer spends its time past it.
    juce::MemoryBlock png ("\x89PNG\r\n\x1a\n", 8);
    png.append (data, size);

    const auto image = ContentReader::decodePicture (png);

    if (image.isValid())
        (void) image.getPixelAt (image.getWidth() - 1, image.getHeight() - 1);

    return 0;
}
