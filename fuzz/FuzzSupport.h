#pragma once

#include "model/CapsBlock.h"

#include <juce_core/juce_core.h>

/** What every fuzz target shares: the product the SysEx parsers are checked
    against, and a scratch file for the parsers that read files. */
namespace FuzzSupport
{
    /** A small product: 2 step packets of 8 bytes, 2 setup packets of 8 bytes, 8 slots. */
    CapsBlock smallCaps();

    /** A product whose layout comes from the first input byte, so packet sizes vary too. */
    CapsBlock capsFromByte (uint8_t selector);

    /** The scratch file of this process, holding the given bytes. */
    juce::File writeScratch (const uint8_t* data, size_t size, const char* extension);
}
