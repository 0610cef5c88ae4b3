#include "model/DeviceDataArchive.h"

#include "model/SafeSave.h"
#include "resources/BinaryResources.h"

#include <juce_cryptography/juce_cryptography.h>

#include <cstring>

namespace
{
    juce::String childText (const juce::XmlElement& xml, const char* name)
    {
        return xml.getChildElementAllSubText (name, {});
    }

    juce::XmlElement* addTextChild (juce::XmlElement& parent, const char* name, const juce::String& text)
    {
        auto* child = parent.createNewChildElement (name);
        child->addTextElement (text);
        return child;
    }

    bool isWebAddress (const juce::String& location)
    {
        return location.contains ("://");
    }

    // The framework cleans every path it is given, a character at a time,
    // which was a good part of loading thousands of backups; a path with
    // nothing to clean is taken as it stands.
    juce::File absoluteFile (const juce::String& path)
    {
        const auto* raw = path.toRawUTF8();
        const auto length = std::strlen (raw);

        if (length > 1 && raw[0] == '/' && raw[length - 1] != '/' && std::strstr (raw, "./") == nullptr && std::strstr (raw, "//") == nullptr)
            return juce::File::createFileWithoutCheckingPath (path);

        return juce::File (path);
    }

    void writeText (juce::OutputStream& out, const juce::String& text)
    {
        out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    }
}

//==============================================================================
DeviceDataArchive::DeviceDataArchive (const juce::XmlElement& xml, const juce::File& archiveFolder, const PictureReader& readPicture)
{
    valid = loadFromXml (xml, archiveFolder, readPicture);
}

DeviceDataArchive::DeviceDataArchive (const DeviceData& data, const juce::String& newTitle, const juce::String& newDescription)
    : arVersion (getCurrentArVersion()),
      authorId (authorProgram),
      authorName (getAuthorName (authorProgram)),
      title (newTitle),
      description (newDescription),
      pubDate (juce::Time::currentTimeMillis()),
      linkImage ("*"),
      deviceData (data.clone (false))
{
    useDefaultImage();
    valid = deviceData != nullptr;
    setSummaryFromData();
    modified = true;
}

DeviceDataArchive::DeviceDataArchive (const DeviceDataArchive& other)
    : arVersion (other.arVersion),
      authorId (other.authorId),
      authorName (other.authorName),
      title (other.title),
      description (other.description),
      pubDate (other.pubDate),
      linkImage (other.linkImage),
      folder (other.folder),
      image (other.image),   // embedded drawings are static, images are never drawn into: sharing is a copy
      valid (other.valid)
{
    if (auto* data = other.getDeviceData())
        deviceData = data->clone (false);

    setSummaryFromData();
    modified = true;
}

std::unique_ptr<DeviceDataArchive> DeviceDataArchive::createSnapshot() const
{
    auto copy = std::make_unique<DeviceDataArchive> (*this);
    copy->uuid = uuid;
    copy->md5 = md5;
    copy->linkData = linkData;
    copy->modified = modified;
    return copy;
}

DeviceDataArchive::~DeviceDataArchive()
{
    masterReference.clear();
}

int DeviceDataArchive::getCurrentArVersion()
{
    return getApplicationVersionRecord().build;
}

juce::String DeviceDataArchive::getAuthorName (int id)
{
    switch (id)
    {
        case authorProgram:       return "Belvora";
        case authorAdministrator: return "administrator";
        case authorMaker:         return "Marrowell";
        case authorAnonymous:     return "anonymous";
        default:                  return "Unknown User";
    }
}

//==============================================================================
bool DeviceDataArchive::loadFromXml (const juce::XmlElement& xml, const juce::File& archiveFolder, const PictureReader& readPicture)
{
    deviceData.reset();
    pendingDataFile = juce::File();
    dataMissing = false;
    folder = archiveFolder;

    auto fail = [this]
    {
        setSummaryFromData();
        return false;
    };

    if (! xml.hasTagName ("ARCHIVE"))
        return fail();

    const auto uuidText = childText (xml, "uuid");
    md5 = childText (xml, "md5");

    if (uuidText.isEmpty() || md5.length() != 32)
        return fail();

    uuid = juce::Uuid (uuidText);
    arVersion = childText (xml, "arVersion").getIntValue();

    const auto* product = xml.getChildByName ("product");
    const auto* author = xml.getChildByName ("author");

    if (product == nullptr || author == nullptr)
        return fail();

    productId = (uint8_t) product->getStringAttribute ("sysexId").getHexValue32();
    buildNo = childText (xml, "buildNo").getIntValue();
    authorName = author->getStringAttribute ("name");
    authorId = author->getIntAttribute ("id", -1);
    title = childText (xml, "title");
    description = childText (xml, "description");
    pubDate = childText (xml, "pubDate").getLargeIntValue();
    linkData = childText (xml, "linkData");
    linkImage = childText (xml, "linkImage").trim();

    loadImage (readPicture);

    // Only the head now; the slots when the data is first asked for.
    if (readDataHead())
        return true;

    dataMissing = getDataFile() != juce::File();
    return fail();
}

bool DeviceDataArchive::readDataHead()
{
    const auto dataFile = getDataFile();
    DeviceData::FileInfo info;

    if (dataFile == juce::File() || ! DeviceData::readFileInfo (dataFile, info))
        return false;

    pendingDataFile = dataFile;
    productId = info.caps.productId;
    buildNo = info.firmware.build;
    caps = info.caps;
    dataMissing = false;
    return true;
}

bool DeviceDataArchive::retryMissingData()
{
    if (! dataMissing || ! readDataHead())
        return false;

    valid = true;
    return true;
}

void DeviceDataArchive::followMovedDataFile (const juce::File& dataFile)
{
    linkData = dataFile.getFullPathName();

    if (dataMissing || pendingDataFile != juce::File())
    {
        deviceData.reset();
        pendingDataFile = juce::File();
        valid = readDataHead();
        dataMissing = ! valid;

        if (! valid)
            setSummaryFromData();
    }
}

//==============================================================================
juce::File DeviceDataArchive::resolveLink (const juce::String& link, const juce::File& base)
{
    if (link.isEmpty())
        return {};

    if (juce::File::isAbsolutePath (link))
        return absoluteFile (link);

    if (base == juce::File())
        return {};

    // Links written elsewhere may separate their parts with backslashes.
    const auto file = base.getChildFile (link.replaceCharacter ('\\', '/'));
    return file.isAChildOf (base) ? file : juce::File();
}

juce::File DeviceDataArchive::getDataFile() const
{
    return resolveLink (linkData, folder);
}

juce::File DeviceDataArchive::getArchiveFile() const
{
    const auto dataFile = getDataFile();
    return dataFile == juce::File() ? juce::File() : dataFile.withFileExtension ("xml");
}

//==============================================================================
bool DeviceDataArchive::save (const juce::File& archiveFile)
{
    computeMd5();

    const auto targetFolder = archiveFile.getParentDirectory();

    if (! SafeSave::makeFolder (targetFolder))
        return false;

    // A data file this save makes goes again when its archive file cannot
    // follow: nothing would name it, and it would stay for good.
    juce::File madeDataFile;

    if (auto* data = getDeviceData())
    {
        const bool relative = linkData.isNotEmpty() && ! juce::File::isAbsolutePath (linkData);
        auto dataFile = linkData.isEmpty() ? archiveFile : resolveLink (linkData, targetFolder);

        // Both files belong to the archive file's folder: a link from a file
        // of unknown origin must not make the save write elsewhere.
        if (dataFile == juce::File() || ! dataFile.isAChildOf (targetFolder))
            return false;

        dataFile = dataFile.withFileExtension (".mwd");

        if (! SafeSave::makeFolder (dataFile.getParentDirectory()))
            return false;

        data->clearModified (false);

        if (! dataFile.exists())
            madeDataFile = dataFile;

        if (data->saveToFile (dataFile) != DeviceData::saved)
            return false;

        // What the archive file names is the file just written.
        linkData = relative ? dataFile.getRelativePathFrom (targetFolder) : dataFile.getFullPathName();
    }

    const auto xml = createXml();

    if (xml == nullptr || ! SafeSave::replaceFile (archiveFile, [&xml] (juce::OutputStream& out) { xml->writeTo (out); return true; }))
    {
        if (madeDataFile != juce::File() && ! archiveFile.exists())
            madeDataFile.deleteFile();

        return false;
    }

    folder = targetFolder;
    modified = false;
    return true;
}

std::unique_ptr<juce::XmlElement> DeviceDataArchive::createXml() const
{
    auto xml = std::make_unique<juce::XmlElement> ("ARCHIVE");

    addTextChild (*xml, "uuid", uuid.toString());
    addTextChild (*xml, "md5", md5);
    addTextChild (*xml, "arVersion", juce::String (arVersion));
    xml->createNewChildElement ("product")->setAttribute ("sysexId", juce::String::toHexString ((int) productId).toUpperCase().paddedLeft ('0', 2));
    addTextChild (*xml, "buildNo", juce::String (buildNo));

    auto* author = xml->createNewChildElement ("author");
    author->setAttribute ("name", authorName);
    author->setAttribute ("id", authorId);

    addTextChild (*xml, "title", title);
    addTextChild (*xml, "description", description);
    addTextChild (*xml, "pubDate", juce::String (pubDate));
    addTextChild (*xml, "linkImage", linkImage);
    addTextChild (*xml, "linkData", linkData);
    return xml;
}

void DeviceDataArchive::deleteFiles()
{
    const auto dataFile = getDataFile();

    // Only the archive's own two files, in its own folder.
    if (dataFile == juce::File() || folder == juce::File() || ! dataFile.isAChildOf (folder))
        return;

    for (const auto& file : { dataFile, dataFile.withFileExtension ("xml") })
        if (file.existsAsFile())
            file.deleteFile();
}

//==============================================================================
bool DeviceDataArchive::replaceDeviceData (const DeviceData& data)
{
    auto* held = getDeviceData();

    if (held == nullptr || ! held->isSameDeviceType (data.getCapsBlock()))
        return false;

    deviceData = data.clone (false);
    setSummaryFromData();
    changed();
    return true;
}

void DeviceDataArchive::adoptConvertedData (std::unique_ptr<DeviceData> converted)
{
    if (converted == nullptr)
        return;

    pendingDataFile = juce::File();
    deviceData = std::move (converted);
    uuid = juce::Uuid();
    setSummaryFromData();
    modified = true;
    computeMd5();
}

void DeviceDataArchive::changed()
{
    modified = true;
    md5.clear();
}

void DeviceDataArchive::setTitle (const juce::String& newTitle)
{
    if (newTitle != title)
    {
        title = newTitle;
        changed();
    }
}

void DeviceDataArchive::setDescription (const juce::String& newDescription)
{
    if (newDescription != description)
    {
        description = newDescription;
        changed();
    }
}

void DeviceDataArchive::setLinkData (const juce::String& newLink)
{
    if (newLink != linkData)
    {
        linkData = newLink;
        changed();
    }
}

void DeviceDataArchive::setLinkImage (const juce::String& newLink, const PictureReader& readPicture)
{
    if (newLink != linkImage)
    {
        linkImage = newLink;
        loadImage (readPicture);
        changed();
    }
}

void DeviceDataArchive::setPubDate (juce::int64 millisecondsSince1970)
{
    if (millisecondsSince1970 != pubDate)
    {
        pubDate = millisecondsSince1970;
        changed();
    }
}

void DeviceDataArchive::setMakerAuthor()
{
    if (authorId != authorMaker)
    {
        authorId = authorMaker;
        authorName = getAuthorName (authorMaker);
        changed();
    }
}

juce::String DeviceDataArchive::getPubDateString() const
{
    return juce::Time (pubDate).formatted ("%b %d, %Y - %I:%M %p");
}

//==============================================================================
void DeviceDataArchive::computeMd5()
{
    juce::MemoryOutputStream in;

    if (const auto* data = getDeviceData())
    {
        for (int i = 1; i < data->getNumSlots(); ++i)
            if (const auto* preset = data->getPreset (i))
                in.write (preset->getMD5().data(), preset->getMD5().size());

        if (data->getSetup().isComplete())
            in.write (data->getSetup().getMD5().data(), data->getSetup().getMD5().size());
    }

    writeText (in, uuid.toString());
    writeText (in, juce::String (arVersion));
    writeText (in, juce::String (authorId));
    writeText (in, authorName);
    writeText (in, title);
    writeText (in, description);
    writeText (in, juce::String (pubDate));

    if (linkImage.startsWithChar ('*'))
        writeText (in, linkImage);
    else if (image.image.isValid())
        juce::PNGImageFormat().writeImageToStream (image.image, in);

    md5 = juce::MD5 (in.getMemoryBlock()).toHexString();
}

void DeviceDataArchive::refreshSummary()
{
    loadDataIfNeeded();
    setSummaryFromData();
}

void DeviceDataArchive::setSummaryFromData() const
{
    presetIndices.clear();
    presetNames.clear();

    if (deviceData == nullptr)
    {
        productId = 255;
        buildNo = 0;
        caps = {};
        presetsPresent = setupPresent = false;
        return;
    }

    productId = deviceData->getCapsBlock().productId;
    buildNo = deviceData->getFirmwareVersion().build;
    caps = deviceData->getCapsBlock();
    presetIndices = deviceData->getUsedPresetIndices();
    presetNames = deviceData->getPresetNames (presetIndices);
    presetsPresent = ! presetIndices.isEmpty();
    setupPresent = deviceData->getSetup().isComplete();
}

void DeviceDataArchive::loadDataIfNeeded() const
{
    if (pendingDataFile == juce::File())
        return;

    const auto file = pendingDataFile;
    pendingDataFile = juce::File();
    deviceData = readDataFile (file);
    damaged = deviceData == nullptr;
    setSummaryFromData();
}

std::unique_ptr<DeviceData> DeviceDataArchive::readDataFile (const juce::File& file)
{
    return DeviceData::loadFromFile (file);
}

DeviceData* DeviceDataArchive::getDeviceData() const
{
    loadDataIfNeeded();
    return deviceData.get();
}

bool DeviceDataArchive::hasPresets() const
{
    loadDataIfNeeded();
    return presetsPresent;
}

bool DeviceDataArchive::hasSetup() const
{
    loadDataIfNeeded();
    return setupPresent;
}

const juce::StringArray& DeviceDataArchive::getPresetNames() const
{
    loadDataIfNeeded();
    return presetNames;
}

const juce::Array<int>& DeviceDataArchive::getPresetIndices() const
{
    loadDataIfNeeded();
    return presetIndices;
}

//==============================================================================
void DeviceDataArchive::useDefaultImage()
{
    image = {};
    image.svgData = BinaryResources::archive_default_svg;
    image.svgSize = BinaryResources::archive_default_svgSize;
}

void DeviceDataArchive::loadImage (const PictureReader& readPicture)
{
    if (linkImage.startsWithChar ('*'))
    {
        loadEmbeddedImage (linkImage);
        return;
    }

    image = {};

    // A relative location lies beside the archive file, like its data.
    const auto location = isWebAddress (linkImage) || juce::File::isAbsolutePath (linkImage)
                              ? linkImage
                              : resolveLink (linkImage, folder).getFullPathName();

    if (readPicture != nullptr && location.isNotEmpty())
        image.image = readPicture (location);

    if (! image.image.isValid())
        useDefaultImage();
}

void DeviceDataArchive::loadEmbeddedImage (const juce::String& link)
{
    image = {};
    const auto found = BinaryResources::findLinkedPicture (link.toRawUTF8());

    if (found.data != nullptr && found.isSvg)
    {
        image.svgData = found.data;
        image.svgSize = found.size;
        return;
    }

    if (found.data != nullptr)
        image.image = juce::ImageFileFormat::loadFrom (found.data, (size_t) found.size);

    if (! image.image.isValid())
        useDefaultImage();
}
