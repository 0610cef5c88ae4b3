#include "archive/ArchiveFiles.h"

#include "content/ContentReader.h"

#include <filesystem>

bool ArchiveFiles::isRegularFile (const juce::File& file)
{
    std::error_code error;
    return std::filesystem::is_regular_file (file.getFullPathName().toStdString(), error);
}

std::unique_ptr<juce::XmlElement> ArchiveFiles::readDocument (const juce::File& file, juce::int64 maxBytes)
{
    if (file == juce::File() || ! isRegularFile (file))
        return nullptr;

    return ContentReader::readXmlFromFile (file.getFullPathName(), nullptr, maxBytes);
}

bool ArchiveFiles::writeDocument (const juce::XmlElement& xml, const juce::File& file)
{
    return ContentReader::saveXml (xml, file.getFullPathName());
}

std::unique_ptr<DeviceDataArchive> ArchiveFiles::load (const juce::File& archiveFile)
{
    const auto xml = readDocument (archiveFile, maxArchiveFileBytes);

    if (xml == nullptr)
        return nullptr;

    return std::make_unique<DeviceDataArchive> (*xml, archiveFile.getParentDirectory(), &readLocalPicture);
}

juce::Image ArchiveFiles::readLocalPicture (const juce::String& location)
{
    if (ContentReader::isWebAddress (location) || ! juce::File::isAbsolutePath (location))
        return {};

    const juce::File file (location);
    juce::MemoryBlock bytes;

    if (! isRegularFile (file) || file.getSize() > maxPictureBytes || ! file.loadFileAsData (bytes))
        return {};

    return ContentReader::decodePicture (bytes);
}

juce::File ArchiveFiles::resolveEntry (const juce::String& text, const juce::File& folder)
{
    return DeviceDataArchive::resolveLink (text.trim(), folder);
}
