#include "archive/PresetPackTool.h"

#include "archive/ArchiveConversion.h"
#include "archive/ArchiveFiles.h"
#include "archive/PackFiles.h"
#include "content/ContentManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "resources/BinaryResources.h"

namespace
{
    using Kind = PresetPackTool::Notice::Kind;

    juce::String textOf (const juce::XmlElement& entry, const char* name)
    {
        return entry.getChildElementAllSubText (name, {});
    }

    bool hasEmbeddedPicture (const juce::String& key)
    {
        int size = 0;
        return BinaryResources::getNamedResource (key.toRawUTF8(), size) != nullptr;
    }

    std::unique_ptr<DeviceData> loadPackData (const juce::String& dataUrl, const juce::File& packFolder)
    {
        const auto file = PackFiles::resolve (dataUrl, packFolder, packFolder);
        return file != juce::File() ? DeviceData::loadFromFile (file) : nullptr;
    }
}

PresetPackTool::PresetPackTool (const ContentManager& catalogue, Reporter report)
    : content (catalogue), reporter (std::move (report)), converter (catalogue)
{
}

void PresetPackTool::stop()
{
    stopRequested.store (true);
    converter.stop();
}

bool PresetPackTool::shouldStop() const
{
    return stopRequested.load() || converter.shouldStop();
}

void PresetPackTool::tell (Notice::Kind kind, const juce::String& title, const juce::String& message) const
{
    if (reporter != nullptr)
        reporter ({ kind, title, message });
}

//==============================================================================
std::unique_ptr<DeviceDataArchive> PresetPackTool::createArchive (const juce::XmlElement& entry, const FirmwareVersion& target,
                                                                  const juce::File& packFolder)
{
    const auto title = textOf (entry, "title");
    const auto iconName = textOf (entry, "iconName");
    const auto dataUrl = textOf (entry, "dataURL");

    std::unique_ptr<DeviceDataArchive> archive;

    if (auto data = loadPackData (dataUrl, packFolder))
    {
        data->clearModified (false);
        archive = std::make_unique<DeviceDataArchive> (*data, title, textOf (entry, "description"));
    }

    if (archive == nullptr || ! archive->isValid())
    {
        tell (Kind::warning, "Error", "Couldn't load " + dataUrl + ". The archive will be skipped.");
        return nullptr;
    }

    juce::String errorText;
    const auto bits = ArchiveConversion::convert (*archive, converter, target, errorText);

    if (! bits.isZero())
    {
        if (! shouldStop())
            tell (Kind::warning, "Error", "Data conversion failed on " + title + ". \n\nError: " + errorText);

        return nullptr;
    }

    archive->setPubDate (parsePackDate (textOf (entry, "date")).toMilliseconds());
    archive->setMakerAuthor();
    archive->setLinkData (dataUrl.fromLastOccurrenceOf ("/", false, false).fromLastOccurrenceOf ("\\", false, false));

    const auto key = getPictureKey (iconName);

    if (! hasEmbeddedPicture (key))
        tell (Kind::warning, "Error", "Can't find icon: " + iconName);

    archive->setLinkImage ("*" + key);
    return archive;
}

//==============================================================================
void PresetPackTool::convertPack (const juce::File& presetsFile)
{
    const auto xml = ArchiveFiles::readDocument (presetsFile, PackFiles::maxDescriptionBytes);

    if (xml == nullptr || ! xml->hasTagName ("PRESETS"))
        return;

    const auto* product = xml->getChildByName ("product");
    const auto name = product != nullptr ? product->getStringAttribute ("name") : juce::String();
    const auto productId = content.getProductIdForName (name);
    const auto target = content.getLatestFirmwareUpdate (productId).version;
    const auto caps = productId != 255 ? DeviceProfiler::createCaps (content, productId, target.build) : nullptr;

    if (productId == 255 || caps == nullptr || target.build < 1 || name.isEmpty())
    {
        tell (Kind::warning, "Error", "Something went wrong. Figure it out.");
        return;
    }

    tell (Kind::information, "Start Conversion", "Converting preset pack for " + name + ". For version: " + formatFirmwareVersion (target, false));

    const auto temp = presetsFile.getSiblingFile ("temp");
    temp.deleteRecursively();
    temp.createDirectory();

    for (auto* entry : xml->getChildWithTagNameIterator ("archive"))
    {
        if (shouldStop())
            return;

        const auto title = entry->getChildByName ("title") != nullptr ? textOf (*entry, "title") : juce::String ("???");
        const auto archive = createArchive (*entry, target, presetsFile.getParentDirectory());

        if (shouldStop())
            return;

        if (archive == nullptr)
            tell (Kind::information, "Error", "Failed to convert: " + title);
        else if (! archive->save (temp.getChildFile (archive->getLinkData()).withFileExtension ("xml")))
            tell (Kind::information, "Error", "Failed to convert: " + archive->getLinkData());
    }
}

void PresetPackTool::convertPacksIn (const juce::File& folder)
{
    auto packs = folder.findChildFiles (juce::File::findDirectories, false, "*", juce::File::FollowSymlinks::no);
    std::sort (packs.begin(), packs.end(), [] (const juce::File& a, const juce::File& b) { return a.getFileName().compareNatural (b.getFileName()) < 0; });

    for (const auto& pack : packs)
    {
        if (shouldStop())
            return;

        const auto path = pack.getFullPathName() + juce::File::getSeparatorString() + "presets.xml";

        if (juce::File (path).existsAsFile())
            convertPack (juce::File (path));
        else
            tell (Kind::information, "Error", "Can't find: " + path + ". Skipping.");
    }
}

//==============================================================================
juce::Time PresetPackTool::parsePackDate (const juce::String& text)
{
    auto number = [&text] (int start, int length) { return text.substring (start, start + length).getIntValue(); };

    return juce::Time (number (0, 4), number (5, 2) - 1, number (8, 2), number (11, 2), number (14, 2), number (17, 2), 0, true);
}

juce::String PresetPackTool::getPictureKey (const juce::String& iconName)
{
    return ("archive_icon_" + iconName.replaceCharacters (" .", "__"))
        .retainCharacters ("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_0123456789");
}
