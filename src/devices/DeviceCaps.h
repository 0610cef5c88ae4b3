#pragma once

#include "model/CapsBlock.h"

#include <juce_core/juce_core.h>

/** Stand-in until the capability records land on branch content: the fields
    the device layer reads, with the defaults of a product without a document. */
class DeviceCaps
{
public:
    DeviceCaps() = default;
    virtual ~DeviceCaps() = default;

    int buildStart = 0;
    int buildEnd = 0;
    bool isBuildValid = false;
    CapsBlock caps;
    bool suspendAlgo = false;
    float bootTime = 10.0f;
    float programTime = 10.0f;
    float delayTimeAfterPresetDelete = 0.05f;
    float bankSwapTime = 2.0f;
};
