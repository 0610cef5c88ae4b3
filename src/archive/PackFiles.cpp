#include "archive/PackFiles.h"

#include "archive/ArchiveFiles.h"
#include "content/ContentReader.h"

#include <filesystem>

namespace
{
    std::filesystem::path canonical (const juce::File& file)
    {
        std::error_code error;
        auto path = std::filesystem::weakly_canonical (file.getFullPathName().toStdString(), error);
        return error ? std::filesystem::path() : path;
    }

    bool isInside (const std::filesystem::path& path, const std::filesystem::path& root)
    {
        if (path.empty() || root.empty())
            return false;

        const auto relative = path.lexically_relative (root);
        return ! relative.empty() && *relative.begin() != ".." && relative != ".";
    }
}

juce::File PackFiles::resolve (const juce::String& link, const juce::File& folder, const juce::File& root)
{
    // The rules a zip entry name follows: relative, no way up, no drive.
    if (! ContentReader::isSafeEntryName (link) || folder == juce::File() || root == juce::File())
        return {};

    const auto file = folder.getChildFile (link.replaceCharacter ('\\', '/'));

    if (! file.isAChildOf (root) || ! isInside (canonical (file), canonical (root)))
        return {};

    return file;
}

bool PackFiles::hasConfinedData (const juce::XmlElement& archiveXml, const juce::File& folder, const juce::File& root)
{
    return resolve (archiveXml.getChildElementAllSubText ("linkData", {}), folder, root) != juce::File();
}

std::unique_ptr<DeviceDataArchive> PackFiles::load (const juce::File& archiveFile, const juce::File& root)
{
    const auto xml = ArchiveFiles::readDocument (archiveFile, ArchiveFiles::maxArchiveFileBytes);
    const auto folder = archiveFile.getParentDirectory();

    if (xml == nullptr || ! hasConfinedData (*xml, folder, root))
        return nullptr;

    // A picture from elsewhere is not read: the entry keeps the default one.
    const auto rootPath = canonical (root);
    const auto readConfinedPicture = [rootPath] (const juce::String& location)
    {
        if (ContentReader::isWebAddress (location) || ! isInside (canonical (juce::File (location)), rootPath))
            return juce::Image();

        return ArchiveFiles::readLocalPicture (location);
    };

    return std::make_unique<DeviceDataArchive> (*xml, folder, readConfinedPicture);
}
