#include "devices/DeviceCaps.h"

#include <cmath>

namespace
{
    // The profile overrides the base; null when neither has the attribute.
    const juce::XmlElement* holderOf (const juce::XmlElement* base, const juce::XmlElement* profile, const juce::String& key)
    {
        if (profile != nullptr && profile->hasAttribute (key))
            return profile;

        if (base != nullptr && base->hasAttribute (key))
            return base;

        return nullptr;
    }

    struct FeatureReader
    {
        const juce::XmlElement* base;
        const juce::XmlElement* profile;

        int getInt (const char* key) const
        {
            auto* e = holderOf (base, profile, key);
            return e != nullptr ? e->getIntAttribute (key) : DeviceCaps::getDefaultInt (key);
        }

        bool getBool (const char* key) const
        {
            auto* e = holderOf (base, profile, key);
            return e != nullptr ? e->getBoolAttribute (key) : juce::String (key) == "isBuildValid";
        }

        juce::String getText (const char* key) const
        {
            auto* e = holderOf (base, profile, key);
            return e != nullptr ? e->getStringAttribute (key) : juce::String();
        }

        // The waits built from these become milliseconds in an int: a negative,
        // not-a-number or absurd value from a document must not wrap one.
        float getSeconds (const char* key) const
        {
            auto* e = holderOf (base, profile, key);

            if (e == nullptr)
                return DeviceCaps::getDefaultSeconds (key);

            const auto seconds = e->getDoubleAttribute (key);
            return std::isfinite (seconds) ? (float) juce::jlimit (0.0, maxSeconds, seconds) : DeviceCaps::getDefaultSeconds (key);
        }

        static constexpr double maxSeconds = 3600.0;

        juce::Array<int> getIntList (const char* key) const
        {
            juce::StringArray pieces;
            pieces.addTokens (getText (key), ",", {});
            pieces.trim();
            pieces.removeEmptyStrings();

            juce::Array<int> values;
            for (const auto& piece : pieces)
                values.add (piece.getIntValue());

            return values;
        }
    };

    juce::StringArray makeTagLabels (const juce::String& text, int tagCount)
    {
        juce::StringArray labels;

        // Every comma separates two labels, empty ones included.
        if (text.isNotEmpty())
            labels.addTokens (text, ",", {});

        if (tagCount >= 1 && tagCount <= 27)
            while (labels.size() < tagCount)
                labels.add ("Undefined");

        return labels;
    }
}

DeviceCaps::DeviceCaps() = default;
DeviceCaps::~DeviceCaps() = default;

DeviceCaps::DeviceCaps (const juce::XmlElement* baseFeatures, const juce::XmlElement* profileFeatures,
                        uint8_t productId, int start, int end)
    : buildStart (start), buildEnd (juce::jmax (start, end))
{
    caps.productId = productId;
    readFeatures (baseFeatures, profileFeatures);
}

int DeviceCaps::getDefaultInt (const juce::String& key)
{
    if (key == "maxPresetSteps" || key == "numSyxPackagesPerPresetStep" || key == "numSyxPackagesPerSetup")
        return 1;

    if (key == "presetStepPacketSize" || key == "setupPacketSize")
        return 100;

    return 15;
}

float DeviceCaps::getDefaultSeconds (const juce::String& key)
{
    if (key == "bootTime" || key == "programTime")   return 10.0f;
    if (key == "delayTimeAfterPresetDelete")         return 0.05f;
    if (key == "bankSwapTime")                       return 2.0f;
    return 0.0f;
}

void DeviceCaps::readFeatures (const juce::XmlElement* base, const juce::XmlElement* profile)
{
    const FeatureReader f { base, profile };

    isBuildValid = f.getBool ("isBuildValid");
    caps.numSyxPackagesPerPresetStep = f.getInt ("numSyxPackagesPerPresetStep");
    caps.presetStepPacketSize = f.getInt ("presetStepPacketSize");
    caps.presetVersion = f.getInt ("presetVersion");
    caps.numSyxPackagesPerSetup = f.getInt ("numSyxPackagesPerSetup");
    caps.setupPacketSize = f.getInt ("setupPacketSize");
    caps.setupVersion = f.getInt ("setupVersion");
    caps.numPresets = f.getInt ("numPresets");
    caps.presetNameLength = f.getInt ("presetNameLength");
    caps.maxPresetSteps = f.getInt ("maxPresetSteps");
    presetCompatibilityList = f.getIntList ("presetCompatibilityList");
    setupCompatibilityList = f.getIntList ("setupCompatibilityList");
    supportsInfoQuery = f.getBool ("supportsInfoQuery");
    suspendAlgo = f.getBool ("suspendAlgo");
    presetTextLabel = f.getText ("presetTextLabel");
    stepsTextLabel = f.getText ("stepsTextLabel");
    tagsTextLabel = f.getText ("tagsTextLabel");
    presetCRC = f.getBool ("presetCRC");
    presetDelete = f.getBool ("presetDelete");
    presetHeader = f.getBool ("presetHeader");
    activePresetZero = f.getBool ("activePresetZero");
    presetNameLength = f.getInt ("presetNameLength");
    presetNameChange = f.getBool ("presetNameChange");
    presetNameChars = f.getText ("presetNameChars");
    presetTagCount = f.getInt ("presetTagCount");
    presetTagLabels = makeTagLabels (f.getText ("presetTagLabels"), presetTagCount);
    bootTime = f.getSeconds ("bootTime");
    programTime = f.getSeconds ("programTime");
    delayTimeAfterPresetDelete = f.getSeconds ("delayTimeAfterPresetDelete");
    bankSwapTime = f.getSeconds ("bankSwapTime");
}
