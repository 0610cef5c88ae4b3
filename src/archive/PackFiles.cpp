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

bool PackFiles::hasConfinedLinks (const juce::XmlElement& archiveXml, const juce::File& folder, const juce::File& root)
{
    const auto linkData = archiveXml.getChildElementAllSubText ("linkData", {});
    const auto linkImage = archiveXml.getChildElementAllSubText ("linkImage", {}).trim();

    if (resolve (linkData, folder, root) == juce::File())
        return false;

    return linkImage.isEmpty() || linkImage.startsWithChar ('*') || resolve (linkImage, folder, root) != juce::File();
}

std::unique_ptr<DeviceDataArchive> PackFiles::load (const juce::File& archiveFile, const juce::File& root)
{
    const auto xml = ArchiveFiles::readDocument (archiveFile, ArchiveFiles::maxArchiveFileBytes);
    const auto folder = archiveFile.getParentDirectory();

    if (xml == nullptr || ! hasConfinedLinks (*xml, folder, root))
        return nullptr;

    return std::make_unique<DeviceDataArchive> (*xml, folder, &ArchiveFiles::readLocalPicture);
}
