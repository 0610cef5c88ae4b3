// Every folder, file name and web address of the program.

#include "app/Belvora.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"

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
    juce::String productFolderName (int productId)
    {
        const auto name = Belvora::getProductName (productId);
        return Belvora::isSafeFolderName (name) ? name : juce::String();
    }
}

juce::String Belvora::getProductName (int productId)
{
    if (auto* content = Nexus::getContentManager())
        return content->getProductName (productId);

    return {};
}

juce::String Belvora::getWebSiteUrl()
{
    return fromEnvironment ("BELVORA_CONTENT_URL", "http://content.marrowell.com/Belvora2");
}

juce::String Belvora::getTrackingHostUrl()
{
    return fromEnvironment ("BELVORA_TRACKING_URL", "http://tracking.marrowell.com/belvora-2");
}

juce::String Belvora::getTrackingUrl()
{
    return getTrackingHostUrl() + "/php/tracking-1.0/";
}

juce::String Belvora::getUserDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName()
           + "/Marrowell/Belvora 2";
}

juce::String Belvora::getCommonDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::commonApplicationDataDirectory).getFullPathName()
           + "/Marrowell/Belvora 2";
}

juce::String Belvora::getProductDataFolder (int productId)
{
    return join (getUserDataFolder(), productFolderName (productId));
}

juce::String Belvora::getMasterDescriptorName()
{
    return "masterDescriptor.xml";
}

juce::String Belvora::getMasterDescriptorUrl()
{
    return getWebSiteUrl() + "/" + getMasterDescriptorName();
}

juce::String Belvora::getMasterDescriptorFile()
{
    return join (getUserDataFolder(), getMasterDescriptorName());
}

juce::String Belvora::getDeviceListFile()
{
    return join (getUserDataFolder(), "deviceList.xml");
}

juce::String Belvora::getFirmwareFolder (int productId)
{
    return join (getProductDataFolder (productId), "firmware");
}

juce::String Belvora::getScriptFolder (int productId)
{
    return join (getProductDataFolder (productId), "js");
}

juce::String Belvora::getPacksFolder (int productId)
{
    return join (getProductDataFolder (productId), "packs");
}

juce::String Belvora::getBackupDataFolder (int productId)
{
    return join (getProductDataFolder (productId), "data");
}

juce::String Belvora::getBackupIndexFile (int productId)
{
    return join (getBackupDataFolder (productId), productFolderName (productId) + "_backup.xml");
}

juce::String Belvora::getWorkingFile (const juce::String& folder, bool temporary)
{
    return join (folder, temporary ? "working_.mwd" : "working.mwd");
}

juce::String Belvora::getSyncFile (const juce::String& folder, bool temporary)
{
    return join (folder, temporary ? "sync_.mwd" : "sync.mwd");
}

juce::String Belvora::getUserGuideFile()
{
    return join (getCommonDataFolder(), "Belvora2 User Guide.pdf");
}

bool Belvora::isSysExFile (const juce::String& path)
{
    juce::FileInputStream in { juce::File (path) };

    if (! in.openedOk())
        return false;

    uint8_t first = 0;
    return in.read (&first, 1) == 1 && first == 0xF0;
}

bool Belvora::isSafeFolderName (const juce::String& name)
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
