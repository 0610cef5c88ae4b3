#pragma once

#include "model/DeviceDataArchive.h"

#include <memory>

/** Reading the archive files and the backup index of the data folder, and the
    pictures archives link to, with the limits outside input needs: regular
    files only, bounded sizes, XML without document types. */
struct ArchiveFiles
{
    static constexpr juce::int64 maxArchiveFileBytes = 1024 * 1024;      // a description and a few links
    static constexpr juce::int64 maxIndexFileBytes = 64 * 1024 * 1024;   // several hundred thousand entries
    static constexpr juce::int64 maxPictureBytes = 16 * 1024 * 1024;

    /** The parsed document of a regular file of at most maxBytes; null otherwise. */
    static std::unique_ptr<juce::XmlElement> readDocument (const juce::File& file, juce::int64 maxBytes);

    /** Writes UTF-8 XML without a document type, replacing the file only once it is whole. */
    static bool writeDocument (const juce::XmlElement& xml, const juce::File& file);

    /** The archive of an archive file, relative links resolved in its folder,
        pictures read from local files only; null when the file does not parse
        (the archive may still be invalid). */
    static std::unique_ptr<DeviceDataArchive> load (const juce::File& archiveFile);

    /** A picture from a local file; nothing for a web address, which must not
        be fetched where archives are read (the message thread among others). */
    static juce::Image readLocalPicture (const juce::String& location);

    /** Whether the file is in the folder itself, and whether two files share
        one: by their paths, without making a file of each folder. */
    static bool isDirectlyIn (const juce::File& file, const juce::File& folder);
    static bool inSameFolder (const juce::File& a, const juce::File& b);

    /** The ".xml" files of a folder, not its subfolders, in no order; where
        asked, also its ".mwd" files that no ".xml" of the same name describes. */
    static juce::Array<juce::File> findDocuments (const juce::File& folder, juce::Array<juce::File>* loneDataFiles = nullptr);

    /** An entry of the backup index: a path, relative ones inside the folder. */
    static juce::File resolveEntry (const juce::String& text, const juce::File& folder);
};
