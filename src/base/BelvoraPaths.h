#pragma once

#include <juce_core/juce_core.h>

/** Every folder, file name and web address of the program that does not need
    the content catalogue. The services use this class; the application class
    adds the variants that look a product's name up by its id. */
class BelvoraPaths
{
public:
    static juce::String getWebSiteUrl();
    static juce::String getTrackingHostUrl();
    static juce::String getTrackingUrl();
    static juce::String getUserDataFolder();
    static juce::String getCommonDataFolder();
    static juce::String getMasterDescriptorName();
    static juce::String getMasterDescriptorUrl();
    static juce::String getMasterDescriptorFile();
    static juce::String getDeviceListFile();
    static juce::String getUserGuideFile();

    // A product's folders by the product's name; a name that could lead out of
    // the data folder counts as no name, as for an unknown product.
    static juce::String getProductDataFolder (const juce::String& productName);
    static juce::String getFirmwareFolder (const juce::String& productName);
    static juce::String getScriptFolder (const juce::String& productName);
    static juce::String getPacksFolder (const juce::String& productName);
    static juce::String getBackupDataFolder (const juce::String& productName);
    static juce::String getBackupIndexFile (const juce::String& productName);

    static juce::String getWorkingFile (const juce::String& folder);
    static juce::String getSyncFile (const juce::String& folder);
    static bool isSysExFile (const juce::String& path);

    /** A product name that may be used as one folder name: no separators, no "..",
        no control characters, not empty. */
    static bool isSafeFolderName (const juce::String& name);
};
