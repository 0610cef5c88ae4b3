#include "archive/CloudArchiveManager.h"

#include "archive/CloudLoadThread.h"
#include "content/ContentManager.h"
#include "content/PresetPacks.h"

#include <filesystem>

namespace
{
    /** The folders of a path below packsFolder, outermost first; with the
        file's name last when withName is set. */
    juce::StringArray partsBelow (const juce::File& packsFolder, const juce::File& file, bool withName)
    {
        juce::StringArray parts;
        parts.addTokens (file.getRelativePathFrom (packsFolder), juce::File::getSeparatorString(), {});
        parts.removeEmptyStrings();

        if (! withName && ! parts.isEmpty())
            parts.remove (parts.size() - 1);

        return parts;
    }

    juce::ValueTree childLabelled (const juce::ValueTree& parent, const juce::String& label)
    {
        for (const auto& child : parent)
            if (child.hasType (SourceTreeIds::group) && child[SourceTreeIds::label].toString() == label)
                return child;

        return {};
    }
}

//==============================================================================
CloudArchiveManager::CloudArchiveManager (const ContentManager& catalogue, const CapsBlock& unitCaps, const FirmwareVersion& unitFirmware)
    : content (catalogue),
      caps (unitCaps),
      firmware (unitFirmware),
      tree (SourceTree::createCloudCategory()),
      progress (std::make_shared<ConversionProgress>())
{
    loadPacksFolder();
}

CloudArchiveManager::~CloudArchiveManager()
{
    stopLoading();
}

juce::File CloudArchiveManager::getPacksFolder() const
{
    const auto path = content.getPacksFolder (caps.productId);
    return juce::File::isAbsolutePath (path) ? juce::File (path) : juce::File();
}

void CloudArchiveManager::stopLoading()
{
    if (loader != nullptr)
    {
        loader->requestStop();
        loader->stopThread (-1);   // a stop ends the file in hand, or a script at once
        loader.reset();
    }

    cancelPendingUpdate();

    const std::lock_guard<std::mutex> hold (resultLock);
    result = {};
    loaderEnded = false;
    loading = false;
}

void CloudArchiveManager::loadPacksFolder()
{
    stopLoading();
    tree.removeAllChildren (nullptr);

    const auto folder = getPacksFolder();

    if (! isValidCapsBlock (caps) || ! folder.isDirectory())
        return;

    progress = std::make_shared<ConversionProgress>();
    loading = true;

    loader = std::make_unique<LoadThread> (content, caps, firmware, folder, progress, [this] (juce::ValueTree built)
    {
        {
            const std::lock_guard<std::mutex> hold (resultLock);
            result = built;
            loaderEnded = true;
        }

        triggerAsyncUpdate();
    });

    if (! loader->startThread())
    {
        loader.reset();
        loading = false;
    }
}

void CloudArchiveManager::handleAsyncUpdate()
{
    juce::ValueTree built;

    {
        const std::lock_guard<std::mutex> hold (resultLock);

        if (! std::exchange (loaderEnded, false))
            return;

        std::swap (built, result);
    }

    // Moved over one by one, so that the category node the page holds stays the same.
    while (built.isValid() && built.getNumChildren() > 0)
    {
        auto child = built.getChild (0);
        built.removeChild (0, nullptr);
        tree.appendChild (child, nullptr);
    }

    loading = false;
}

//==============================================================================
juce::Array<juce::File> CloudArchiveManager::listBelow (const juce::File& packsFolder, bool folders)
{
    // Ten times the entries a pack may have: anything more was not unpacked by us.
    constexpr int maxEntries = 10 * platform::DownloadPolicy::maxPackEntries;
    constexpr int maxDepth = 64;

    namespace fs = std::filesystem;
    juce::Array<juce::File> found;
    std::error_code error;
    fs::recursive_directory_iterator it (packsFolder.getFullPathName().toStdString(), fs::directory_options::skip_permission_denied, error);
    int visited = 0;

    for (; ! error && it != fs::recursive_directory_iterator() && ++visited <= maxEntries; it.increment (error))
    {
        const auto& entry = *it;
        std::error_code statError;

        if (entry.is_symlink (statError))
        {
            it.disable_recursion_pending();
            continue;
        }

        if (entry.is_directory (statError))
        {
            if (it.depth() >= maxDepth)
                it.disable_recursion_pending();

            if (folders)
                found.add (juce::File (juce::String::fromUTF8 (entry.path().c_str())));

            continue;
        }

        const juce::File file (juce::String::fromUTF8 (entry.path().c_str()));

        if (! folders && entry.is_regular_file (statError) && file.hasFileExtension ("xml"))
            found.add (file);
    }

    std::sort (found.begin(), found.end(), [] (const juce::File& a, const juce::File& b)
    {
        return a.getFullPathName().compareNatural (b.getFullPathName()) < 0;
    });

    return found;
}

void CloudArchiveManager::addFolderGroups (juce::ValueTree tree, const juce::File& packsFolder)
{
    for (const auto& folder : listBelow (packsFolder, true))
    {
        auto node = tree;

        for (const auto& part : partsBelow (packsFolder, folder, true))
        {
            auto child = childLabelled (node, part);

            if (! child.isValid())
            {
                child = SourceTree::createNode (SourceTreeIds::group, part);
                node.appendChild (child, nullptr);
            }

            node = child;
        }
    }
}

juce::ValueTree CloudArchiveManager::getGroupForFile (const juce::ValueTree& tree, const juce::File& packsFolder, const juce::File& file)
{
    auto node = tree;

    for (const auto& part : partsBelow (packsFolder, file, false))
    {
        const auto child = childLabelled (node, part);

        if (! child.isValid())
            break;

        node = child;
    }

    return node;
}
