#pragma once

#include "model/DeviceData.h"

#include <juce_graphics/juce_graphics.h>

#include <functional>
#include <memory>

/** One stored copy of a unit's data with its description: a local backup or
    an entry of a preset pack. On disk it is two files of one base name in one
    folder, the archive file (".xml", root "ARCHIVE") and the data file
    (".mwd"); in memory it owns its data, a picture and a summary the
    interface shows without opening the data.

    The data file's head is read with the archive file; its slots only when
    the data or the summary is first asked for, so that a tree of a thousand
    backups opens with a few hundred bytes of each. One thread at a time uses
    an archive (the message thread, or the worker that loaded it).

    Paths in the archive file are this platform's: an absolute one is taken as
    it is; a relative one lies inside the archive file's folder, and one that
    would lead out of it is refused. */
class DeviceDataArchive
{
public:
    /** An embedded drawing (SVG text of the program's own resources) or a raster picture. */
    struct Picture
    {
        const void* svgData = nullptr;
        int svgSize = 0;
        juce::Image image;

        bool isDrawing() const noexcept   { return svgData != nullptr && svgSize > 0; }
        bool isEmpty() const noexcept     { return ! isDrawing() && ! image.isValid(); }
    };

    /** Decodes the picture at a location that is not an embedded one (a file
        path or a web address); an invalid image when there is none. */
    using PictureReader = std::function<juce::Image (const juce::String& location)>;

    enum Author
    {
        authorProgram = 1,
        authorAdministrator = 2,
        authorMaker = 100,
        authorAnonymous = 101
    };

    /** From an archive file's document; folder is the archive file's folder.
        Without a picture reader, a picture that is not embedded is the default one. */
    DeviceDataArchive (const juce::XmlElement& xml, const juce::File& folder, const PictureReader& readPicture = {});

    /** A new archive of a copy of the data, made by the program now. */
    DeviceDataArchive (const DeviceData& data, const juce::String& title, const juce::String& description);

    /** A deep copy with a new identity and no files of its own yet. */
    DeviceDataArchive (const DeviceDataArchive& other);
    DeviceDataArchive& operator= (const DeviceDataArchive&) = delete;

    /** A deep copy that keeps the identity, the links and the modified flag:
        saving it writes what saving this would, so that it can be saved on
        another thread while this one stays with its owner. */
    std::unique_ptr<DeviceDataArchive> createSnapshot() const;

    virtual ~DeviceDataArchive();

    //==============================================================================
    /** Fills the archive from an archive file's document; true when the data file's head was read. */
    bool loadFromXml (const juce::XmlElement& xml, const juce::File& folder, const PictureReader& readPicture = {});

    /** Writes the data file (when there is data) and then the archive file, each
        replaced only once its new content is whole on disk. The data file is
        linkData with the extension ".mwd", or the archive file's name with it
        when linkData is empty; it must lie in the archive file's folder.
        linkData then names the file written. False, and the files as they
        were, on any failure. */
    bool save (const juce::File& archiveFile);

    std::unique_ptr<juce::XmlElement> createXml() const;

    /** Deletes the data file and the archive file of the same base name, each
        when it exists in the archive's folder. */
    void deleteFiles();

    //==============================================================================
    /** Replaces the data by a copy of data of the same device type; false otherwise. */
    bool replaceDeviceData (const DeviceData& data);

    /** Takes the result of converting the data: a new identity and checksum,
        the summary of the new data; the files are written by the next save. */
    void adoptConvertedData (std::unique_ptr<DeviceData> converted);

    void setTitle (const juce::String& newTitle);
    void setDescription (const juce::String& newDescription);
    void setLinkData (const juce::String& newLink);
    void setLinkImage (const juce::String& newLink, const PictureReader& readPicture = {});
    void setPubDate (juce::int64 millisecondsSince1970);
    void setMakerAuthor();

    //==============================================================================
    void computeMd5();
    void refreshSummary();
    void loadImage (const PictureReader& readPicture = {});
    void loadEmbeddedImage (const juce::String& link);

    static juce::String getAuthorName (int authorId);

    /** The file a link names: an absolute path as it is, a relative one inside
        the folder; none when it is empty or would lead out of the folder. */
    static juce::File resolveLink (const juce::String& link, const juce::File& folder);

    //==============================================================================
    const juce::Uuid& getUuid() const noexcept               { return uuid; }
    const juce::String& getMd5() const noexcept              { return md5; }
    int getArVersion() const noexcept                        { return arVersion; }
    int getAuthorId() const noexcept                         { return authorId; }
    const juce::String& getAuthorName() const noexcept       { return authorName; }
    const juce::String& getTitle() const noexcept            { return title; }
    const juce::String& getDescription() const noexcept      { return description; }
    juce::int64 getPubDate() const noexcept                  { return pubDate; }

    /** The publication time in local time: "Mar 01, 2015 - 10:20 AM". */
    juce::String getPubDateString() const;

    const juce::String& getLinkData() const noexcept         { return linkData; }
    const juce::String& getLinkImage() const noexcept        { return linkImage; }

    /** The folder of the archive file this archive was read from or saved as; none before. */
    const juce::File& getFolder() const noexcept             { return folder; }

    /** The data file linkData names (its extension as written there); none when it cannot be resolved. */
    juce::File getDataFile() const;

    /** The archive file beside the data file: its name with the extension "xml". */
    juce::File getArchiveFile() const;

    uint8_t getProductId() const noexcept                    { return productId; }
    int getBuildNo() const noexcept                          { return buildNo; }

    /** The data's capability block; the empty block when there is no data. */
    const CapsBlock& getCapsBlock() const noexcept           { return caps; }

    // The summary of the data; reads the data file when it was not read yet.
    bool hasPresets() const;
    bool hasSetup() const;
    const juce::StringArray& getPresetNames() const;
    const juce::Array<int>& getPresetIndices() const;

    const Picture& getImage() const noexcept                 { return image; }

    /** The data, read from the data file on first use; null when there is none. */
    DeviceData* getDeviceData() const;

    /** The data file whose slots are still to be read; none once read (or when there is none). */
    const juce::File& getPendingDataFile() const noexcept    { return pendingDataFile; }

    /** Reads a data file as an archive reads it on first use; null when it
        cannot be read. Touches no archive, so any thread may read one. */
    static std::unique_ptr<DeviceData> readDataFile (const juce::File& file);

    bool isModified() const noexcept                         { return modified; }

    /** Set by whoever saved a snapshot of it, or failed to. */
    void setModified (bool isModified) noexcept              { modified = isModified; }
    bool isValid() const noexcept                            { return valid; }

    /** The data file's head was sound but its body could not be read: the
        archive holds no data, and its file is left as it is. */
    bool isDamaged() const noexcept                          { return damaged; }

    /** The archive file was whole but its data file could not be read when it
        was (missing, or its head unreadable): no data, and nothing renamed,
        so that the backup comes back once the file does. */
    bool isDataMissing() const noexcept                      { return dataMissing; }

    /** Looks again for a missing data file; true when it is back and readable. */
    bool retryMissingData();

    /** Points the link at the data file of the same backup where it stands
        now (a moved folder): no change of the backup, so nothing is written. */
    void followMovedDataFile (const juce::File& dataFile);

    /** The program's archive format version: its own build. */
    static int getCurrentArVersion();

private:
    void changed();
    void loadDataIfNeeded() const;
    bool readDataHead();
    void setSummaryFromData() const;
    void useDefaultImage();

    juce::Uuid uuid;
    juce::String md5;
    int arVersion = 0;
    int authorId = 0;
    juce::String authorName;
    juce::String title;
    juce::String description;
    juce::int64 pubDate = 0;
    juce::String linkData;
    juce::String linkImage;
    juce::File folder;

    // Summary: product and build from the data file's head, the rest from its slots.
    mutable uint8_t productId = 255;
    mutable int buildNo = 0;
    mutable CapsBlock caps;
    mutable bool presetsPresent = false;
    mutable bool setupPresent = false;
    mutable juce::StringArray presetNames;
    mutable juce::Array<int> presetIndices;

    Picture image;

    mutable std::unique_ptr<DeviceData> deviceData;
    mutable juce::File pendingDataFile;   // the data file whose slots are still to be read
    mutable bool damaged = false;
    bool dataMissing = false;

    bool modified = false;
    bool valid = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (DeviceDataArchive)
};
