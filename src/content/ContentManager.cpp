#include "content/ContentManager.h"

#include "content/ContentDownloadThread.h"

ContentManager::ContentManager() = default;
ContentManager::~ContentManager() = default;

juce::String ContentManager::getProductName (int) const       { return {}; }
int ContentManager::indexOfProduct (int) const                 { return -1; }
bool ContentManager::isOnline() const                          { return false; }
bool ContentManager::isProductReady (int) const                { return false; }
bool ContentManager::prepareProductContent (int)               { return false; }
bool ContentManager::loadCachedProductContent (int)            { return false; }
ContentDownloadThread* ContentManager::getDownloadThread() const { return nullptr; }
uint8_t ContentManager::getProductIdForName (const juce::String&) const { return 255; }

juce::String ContentManager::getFileNameOfAddress (const juce::String& address)
{
    const auto name = address.fromLastOccurrenceOf ("/", false, false).fromLastOccurrenceOf ("\\", false, false);
    return name == "." || name == ".." ? juce::String() : name;
}
