// Every folder, file name and web address of the program.

#include "base/BelvoraPaths.h"

#include "model/DeviceData.h"
#include "model/FileBytes.h"

namespace
{
    juce::String join (const juce::String& folder, const juce::String& name)
    {
        return folder + juce::File::getSeparatorString() + name;
    }

    juce::String fromEnvironment (const char* name, const juce::String& fallback)
    {
        const auto value = juce::SystemStats::getEnvironmentVariable (name, {}).trim();
        return value.isNotEmpty() ? value.trimCharactersAtEnd ("/") : fallback;
    }

    // A product name only becomes a folder when it cannot lead elsewhere;
    // otherwise the product is treated like an unknown one.
    juce::String productFolderName (const juce::String& name)
    {
        return BelvoraPaths::isSafeFolderName (name) ? name : juce::String();
    }
}

juce::String BelvoraPaths::getWebSiteUrl()
{
    return fromEnvironment ("BELVORA_CONTENT_URL", "http://content.marrowell.com/Belvora2");
}

juce::String BelvoraPaths::getTrackingHostUrl()
{
    return fromEnvironment ("BELVORA_TRACKING_URL", "http://tracking.marrowell.com/belvora-2");
}

juce::String BelvoraPaths::getTrackingUrl()
{
    return getTrackingHostUrl() + "/php/tracking-1.0/";
}

juce::String BelvoraPaths::getUserDataFolder()
{
    const auto below = [] (const juce::File& configuration) { return configuration.getFullPathName() + "/Marrowell/Belvora 2"; };
    const auto usual = below (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory));

   #if JUCE_LINUX || JUCE_BSD
    // The framework reads the configuration folder only from user-dirs.dirs;
    // the variable names it too (a relative one counts as unset). A data
    // folder already in use at the usual place stays where it is, so that
    // setting the variable hides nobody's data.
    const auto configuration = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});

    if (juce::File::isAbsolutePath (configuration))
    {
        const auto chosen = below (juce::File (configuration));

        if (chosen != usual && ! juce::File (chosen).isDirectory() && juce::File (usual).isDirectory())
            return usual;

        return chosen;
    }
   #endif

    return usual;
}

juce::String BelvoraPaths::getCommonDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::commonApplicationDataDirectory).getFullPathName()
           + "/Marrowell/Belvora 2";
}

juce::String BelvoraPaths::getProductDataFolder (const juce::String& productName)
{
    return join (getUserDataFolder(), productFolderName (productName));
}

juce::String BelvoraPaths::getMasterDescriptorName()
{
    return "masterDescriptor.xml";
}

juce::String BelvoraPaths::getMasterDescriptorUrl()
{
    return getWebSiteUrl() + "/" + getMasterDescriptorName();
}

juce::String BelvoraPaths::getMasterDescriptorFile()
{
    return join (getUserDataFolder(), getMasterDescriptorName());
}

juce::String BelvoraPaths::getDeviceListFile()
{
    return join (getUserDataFolder(), "deviceList.xml");
}

juce::String BelvoraPaths::getFirmwareFolder (const juce::String& productName)
{
    return join (getProductDataFolder (productName), "firmware");
}

juce::String BelvoraPaths::getScriptFolder (const juce::String& productName)
{
    return join (getProductDataFolder (productName), "js");
}

juce::String BelvoraPaths::getPacksFolder (const juce::String& productName)
{
    return join (getProductDataFolder (productName), "packs");
}

juce::String BelvoraPaths::getBackupDataFolder (const juce::String& productName)
{
    return join (getProductDataFolder (productName), "data");
}

juce::String BelvoraPaths::getBackupIndexFile (const juce::String& productName)
{
    return join (getBackupDataFolder (productName), productFolderName (productName) + "_backup.xml");
}

juce::String BelvoraPaths::getWorkingFile (const juce::String& folder)
{
    return join (folder, DeviceData::getWorkingFileName());
}

juce::String BelvoraPaths::getSyncFile (const juce::String& folder)
{
    return join (folder, DeviceData::getSyncFileName());
}

juce::String BelvoraPaths::getUserGuideFile()
{
    return join (getCommonDataFolder(), "Belvora2 User Guide.pdf");
}

bool BelvoraPaths::isSysExFile (const juce::String& path)
{
    juce::MemoryBlock first;
    return FileBytes::readHead (juce::File (path), first, 1) && first[0] == (char) 0xF0;
}

bool BelvoraPaths::isSafeFolderName (const juce::String& name)
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains (".."))
        return false;

    if (name.containsAnyOf ("/\\:"))
        return false;

    for (auto p = name.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p < 0x20 || *p == 0x7F)
            return false;

    return name.trim() == name;
}
