#pragma once

#include "model/CapsBlock.h"

#include <juce_core/juce_core.h>

/** The capabilities of one product at one firmware build, read from the
    product's capability document: packet layout, counts, accepted data
    versions, timings and the captions the pages show. */
class DeviceCaps
{
public:
    /** The empty record: nothing valid, everything zero. */
    DeviceCaps();

    /** Fills every field from the profile's and the base's "features" elements
        (either may be null); the record keeps no reference to them. */
    DeviceCaps (const juce::XmlElement* baseFeatures, const juce::XmlElement* profileFeatures,
                uint8_t productId, int buildStart, int buildEnd);

    DeviceCaps (const DeviceCaps&) = default;
    DeviceCaps& operator= (const DeviceCaps&) = default;
    virtual ~DeviceCaps();

    int buildStart = 0;
    int buildEnd = 0;
    bool isBuildValid = false;
    CapsBlock caps;
    juce::Array<int> presetCompatibilityList;
    juce::Array<int> setupCompatibilityList;
    bool supportsInfoQuery = false;
    bool suspendAlgo = false;
    juce::String presetTextLabel;
    juce::String stepsTextLabel;
    juce::String tagsTextLabel;
    bool presetCRC = false;
    bool presetDelete = false;
    bool presetHeader = false;
    bool activePresetZero = false;
    int presetNameLength = 0;
    bool presetNameChange = false;
    juce::String presetNameChars;
    int presetTagCount = 0;
    juce::StringArray presetTagLabels;
    float bootTime = 0.0f;
    float programTime = 0.0f;
    float delayTimeAfterPresetDelete = 0.0f;
    float bankSwapTime = 0.0f;

    /** The document gave a profile for the build, or has none: false when its profiles all lie elsewhere. */
    bool listsBuild (int build) const noexcept   { return buildStart <= build && build <= buildEnd; }

    /** The value used for an integer feature that no element gives. */
    static int getDefaultInt (const juce::String& key);

    /** The value used for a time feature (seconds) that no element gives. */
    static float getDefaultSeconds (const juce::String& key);

private:
    void readFeatures (const juce::XmlElement* base, const juce::XmlElement* profile);
};
