#pragma once

#include "conversion/DataConversionManager.h"
#include "model/DeviceDataArchive.h"

#include <functional>
#include <memory>

class ContentManager;

/** Builds preset-pack archives from a pack description ("presets.xml", root
    "PRESETS": the product's name and one "archive" entry per archive, with
    "title", "description", "iconName", "date" and "dataURL"): each entry's
    data converted to a firmware, published by the maker, with the pack's
    picture. The developer's pack conversion writes them into a "temp"
    folder beside the description; the data page's pack import adds them to
    the user's backups.

    The work converts data with the conversion scripts, so it runs on a
    worker thread. What the user is to be told goes to the reporter, on that
    thread; the caller shows it (and the tool goes on once it returns). Data
    files are read only from inside the pack's folder. */
class PresetPackTool
{
public:
    struct Notice
    {
        enum class Kind { information, warning };

        Kind kind = Kind::information;
        juce::String title;
        juce::String message;
    };

    using Reporter = std::function<void (const Notice&)>;

    PresetPackTool (const ContentManager& content, Reporter reporter);

    /** One "archive" entry as a new archive converted to target: its data file
        is "dataURL" inside packFolder. Null after a warning when the data
        cannot be read or converted; a stop gives null without one. */
    std::unique_ptr<DeviceDataArchive> createArchive (const juce::XmlElement& entry, const FirmwareVersion& target,
                                                      const juce::File& packFolder);

    /** Converts a pack description for the newest firmware of its product into
        archive files in the folder "temp" beside it (emptied first). */
    void convertPack (const juce::File& presetsFile);

    /** convertPack for the "presets.xml" of every folder directly inside folder. */
    void convertPacksIn (const juce::File& folder);

    /** Any thread: the work ends before the next entry, a running script at once. */
    void stop();

    /** "YYYY-MM-DD HH:MM:SS" in local time; the separators are not looked at. */
    static juce::Time parsePackDate (const juce::String& text);

    /** The embedded picture of a pack icon: "archive_icon_" and the name with
        blanks and dots as "_", other characters than letters, digits and "_" dropped. */
    static juce::String getPictureKey (const juce::String& iconName);

private:
    bool shouldStop() const;
    void tell (Notice::Kind kind, const juce::String& title, const juce::String& message) const;

    const ContentManager& content;
    const Reporter reporter;
    DataConversionManager converter;
    std::atomic<bool> stopRequested { false };

    JUCE_DECLARE_NON_COPYABLE (PresetPackTool)
};
