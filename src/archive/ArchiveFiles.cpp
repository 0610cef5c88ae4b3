#include "archive/ArchiveFiles.h"

#include "content/ContentReader.h"
#include "model/FileBytes.h"
#include "model/Utf8.h"

#include <cstring>
#include <dirent.h>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

std::unique_ptr<juce::XmlElement> ArchiveFiles::readDocument (const juce::File& file, juce::int64 maxBytes)
{
    if (file == juce::File())
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

    if (! FileBytes::readWhole (file, bytes, maxPictureBytes))
        return {};

    return ContentReader::decodePicture (bytes);
}

juce::File ArchiveFiles::resolveEntry (const juce::String& text, const juce::File& folder)
{
    return DeviceDataArchive::resolveLink (text.trim(), folder);
}

namespace
{
    // As the framework's parent folder: up to the last separator, the root for a top-level file.
    std::string_view folderPart (const juce::File& file)
    {
        const std::string_view path (file.getFullPathName().toRawUTF8());
        const auto slash = path.rfind ('/');
        return slash == std::string_view::npos ? path : path.substr (0, juce::jmax ((size_t) 1, slash));
    }
}

bool ArchiveFiles::isDirectlyIn (const juce::File& file, const juce::File& folder)
{
    return file != juce::File() && folderPart (file) == std::string_view (folder.getFullPathName().toRawUTF8());
}

bool ArchiveFiles::inSameFolder (const juce::File& a, const juce::File& b)
{
    return folderPart (a) == folderPart (b);
}

juce::Array<juce::File> ArchiveFiles::findDocuments (const juce::File& folder, juce::Array<juce::File>* loneDataFiles)
{
    // The entries' types come with the listing: no stat per file, which was
    // most of a scan of thousands of backups. The data files come from the
    // same listing, matched to the documents by their raw names.
    juce::Array<juce::File> found;
    auto* listing = ::opendir (folder.getFullPathName().toRawUTF8());

    if (listing == nullptr)
        return found;

    const auto prefix = juce::File::addTrailingSeparator (folder.getFullPathName());
    std::unordered_set<std::string> documentStems;
    std::vector<std::string> dataNames;

    const auto endsWith = [] (const char* name, size_t length, const char* extension)
    {
        return length >= 4 && std::strcmp (name + length - 4, extension) == 0;
    };

    const auto isFolder = [] (const dirent& entry, const juce::File& file)
    {
        return entry.d_type == DT_DIR || ((entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK) && file.isDirectory());
    };

    while (const auto* entry = ::readdir (listing))
    {
        const auto length = std::strlen (entry->d_name);

        if (loneDataFiles != nullptr && endsWith (entry->d_name, length, ".mwd"))
            dataNames.emplace_back (entry->d_name, length);

        // A name that is not UTF-8 is no file we wrote, and text operations would read past its end.
        if (! endsWith (entry->d_name, length, ".xml") || ! Utf8::isValid (entry->d_name, length))
            continue;

        const auto file = juce::File::createFileWithoutCheckingPath (prefix + juce::String::fromUTF8 (entry->d_name, (int) length));

        if (isFolder (*entry, file))
            continue;

        found.add (file);
        documentStems.emplace (entry->d_name, length - 4);
    }

    ::closedir (listing);

    if (loneDataFiles != nullptr)
        for (const auto& name : dataNames)
            if (documentStems.count (name.substr (0, name.size() - 4)) == 0 && Utf8::isValid (name.data(), name.size()))
                if (const auto file = juce::File::createFileWithoutCheckingPath (prefix + juce::String::fromUTF8 (name.data(), (int) name.size()));
                    ! file.isDirectory())
                    loneDataFiles->add (file);

    return found;
}
