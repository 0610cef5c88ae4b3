#include "FuzzSupport.h"

#include "support/SmallCaps.h"

#include <unistd.h>

namespace FuzzSupport
{
    CapsBlock smallCaps()
    {
        return smallTestCaps();
    }

    CapsBlock capsFromByte (uint8_t selector)
    {
        auto b = smallCaps();
        b.numSyxPackagesPerPresetStep = 1 + (selector & 0x03);
        b.presetStepPacketSize = 4 * (selector >> 2 & 0x03);
        b.presetNameLength = (selector & 0x40) != 0 ? 20 : 15;
        b.numSyxPackagesPerSetup = (selector & 0x80) != 0 ? 1 : 2;
        return b;
    }

    juce::File writeScratch (const uint8_t* data, size_t size, const char* extension)
    {
        static const auto file = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                     .getChildFile ("belvora-fuzz-" + juce::String ((int) getpid()) + extension);

        // replaceWithData deletes the file for no bytes; an empty file is a case of its own.
        if (size == 0)
        {
            file.deleteFile();
            file.create();
        }
        else
        {
            file.replaceWithData (data, size);
        }

        return file;
    }
}
