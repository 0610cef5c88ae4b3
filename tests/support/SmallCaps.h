#pragma once

#include "model/CapsBlock.h"

/** A small, valid layout (8 slots, 2 packets of 8 bytes a step, 2 setup packets)
    shared by the model tests and the fuzz targets. */
inline CapsBlock smallTestCaps()
{
    CapsBlock b;
    b.productId = 0x21;
    b.numSyxPackagesPerPresetStep = 2;
    b.presetStepPacketSize = 8;
    b.presetVersion = 3;
    b.numSyxPackagesPerSetup = 2;
    b.setupPacketSize = 8;
    b.setupVersion = 5;
    b.numPresets = 8;
    b.presetNameLength = 15;
    b.maxPresetSteps = 5;
    return b;
}
