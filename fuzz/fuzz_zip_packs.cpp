// Unpacking a preset-pack zip: whatever the zip holds, nothing may be written
// outside the folder it is unpacked into.

#include "content/ContentReader.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace
{
    constexpr juce::int64 maxBytes = 1 << 20;
    constexpr int maxEntries = 64;
    constexpr int maxRatio = 100;

    // The absolute entry of the seed corpus names this file.
    const char* const absoluteSeedTarget = "/tmp/belvora-fuzz-zip-escape.txt";

    juce::File scratchPath()
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory)
            .getChildFile ("belvora-fuzz-zip-" + juce::String ((int) getpid()));
    }

    /** The folder of this process, holding only the zip and the unpack folder.
        Removed at exit; the path is made anew there, as statics are gone by then. */
    juce::File scratchFolder()
    {
        static const bool created = []
        {
            std::filesystem::remove_all (scratchPath().getFullPathName().toStdString());
            std::atexit ([] { std::filesystem::remove_all (scratchPath().getFullPathName().toStdString()); });
            return scratchPath().createDirectory().wasOk();
        }();

        if (! created)
            std::abort();

        return scratchPath();
    }

    // std::filesystem rather than juce::File to walk: JUCE's listing skips
    // names made only of dots, and those must be seen here too.
    bool onlyExpectedChildren (const juce::File& scratch, const juce::File& zip, const juce::File& unpacked)
    {
        for (const auto& child : std::filesystem::directory_iterator (scratch.getFullPathName().toStdString()))
        {
            const auto path = juce::String (child.path().string());

            if (path != zip.getFullPathName() && path != unpacked.getFullPathName())
                return false;
        }

        return true;
    }

    bool noLinksInside (const juce::File& unpacked)
    {
        for (const auto& child : std::filesystem::recursive_directory_iterator (unpacked.getFullPathName().toStdString()))
            if (child.is_symlink())
                return false;

        return true;
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size > 262144)
        return 0;

    const auto scratch = scratchFolder();
    const auto zip = scratch.getChildFile ("pack.zip");
    const auto unpacked = scratch.getChildFile ("unpacked");

    // replaceWithData deletes the file for no bytes; an empty zip is a case of its own.
    if (size > 0)
    {
        zip.replaceWithData (data, size);
    }
    else
    {
        zip.deleteFile();
        zip.create();
    }

    (void) ContentReader::unpackZip (zip, unpacked, maxBytes, maxEntries, maxRatio, nullptr);

    // Removed at once, so a finding does not fail every later run as well.
    const juce::File absolute (absoluteSeedTarget);
    const auto wroteAbsolute = absolute.exists();
    absolute.deleteFile();

    const auto escaped = wroteAbsolute
                      || ! onlyExpectedChildren (scratch, zip, unpacked)
                      || (unpacked.exists() && ! unpacked.isDirectory())
                      || (unpacked.isDirectory() && ! noLinksInside (unpacked));

    if (escaped)
        __builtin_trap();

    std::filesystem::remove_all (unpacked.getFullPathName().toStdString());
    return 0;
}
