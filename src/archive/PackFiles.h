#pragma once

#include "model/DeviceDataArchive.h"

#include <memory>

/** The files of a preset pack as the program reads them. A pack comes from
    the network: whatever its files name must lie inside the pack's own
    folder. A link is taken only when it is relative and stays there (no
    absolute path, "~", drive, share, "." or ".." part, or web address); a
    picture may besides be one of the program's own ("*name"), and one that
    leads elsewhere gives way to the default picture. */
struct PackFiles
{
    /** A pack description ("presets.xml") lists a few thousand entries at most. */
    static constexpr juce::int64 maxDescriptionBytes = 4 * 1024 * 1024;

    /** The file a link of a file in folder names, when it lies inside root
        (also once links on disk are followed); none otherwise. */
    static juce::File resolve (const juce::String& link, const juce::File& folder, const juce::File& root);

    /** Whether an archive file's data link leads to a file inside root. */
    static bool hasConfinedData (const juce::XmlElement& archiveXml, const juce::File& folder, const juce::File& root);

    /** The archive of a pack's archive file below root; null when the file
        does not parse or its data lies outside root. A picture outside root
        is not read: the archive shows the default picture. */
    static std::unique_ptr<DeviceDataArchive> load (const juce::File& archiveFile, const juce::File& root);
};
