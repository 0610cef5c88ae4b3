#include "content/FirmwareUpdateElement.h"

#include "content/ContentManager.h"

#include <juce_cryptography/juce_cryptography.h>

#include <algorithm>

namespace
{
    juce::String childText (const juce::XmlElement& item, const char* name)
    {
        return item.getChildElementAllSubText (name, {});
    }

    // Two updates whose links end in the same name must not share one local
    // file: revoking one would delete the other's image. The link's digest
    // keeps the names apart and stays the same from run to run.
    juce::String localFileName (const juce::String& link, const juce::String& name)
    {
        const auto digest = juce::MD5 (link.toUTF8()).toHexString().substring (0, 8);
        const juce::File plain (juce::File::getCurrentWorkingDirectory().getChildFile (name));
        return plain.getFileNameWithoutExtension() + "-" + digest + plain.getFileExtension();
    }
}

FirmwareUpdateElement::FirmwareUpdateElement() = default;

FirmwareUpdateElement::FirmwareUpdateElement (const FirmwareUpdateElement& other)
    : status (other.status), pubDate (other.pubDate), description (other.description),
      version (other.version), link (other.link), file (other.file)
{
}

FirmwareUpdateElement& FirmwareUpdateElement::operator= (const FirmwareUpdateElement& other)
{
    status = other.status;
    pubDate = other.pubDate;
    description = other.description;
    version = other.version;
    link = other.link;
    file = other.file;
    return *this;
}

FirmwareUpdateElement::~FirmwareUpdateElement() = default;

int FirmwareUpdateElement::parseStatus (const juce::String& text)
{
    static const char* const names[] = { "public", "beta", "alpha", nullptr, "expired", "revoked" };

    for (int i = 0; i < 6; ++i)
        if (names[i] != nullptr && text.equalsIgnoreCase (names[i]))
            return i;

    return statusNone;
}

FirmwareUpdateElement FirmwareUpdateElement::parse (const juce::String& firmwareFolder, const juce::XmlElement& item)
{
    FirmwareUpdateElement element;
    element.status = parseStatus (childText (item, "status"));

    if (element.status == statusNone)
        return element;

    element.pubDate = ContentManager::parseIsoDate (childText (item, "pubDate"));

    if (auto* text = item.getChildByName ("description"))
        element.description = *text;

    element.version = FirmwareVersion::parseVersionText (childText (item, "version"));
    element.link = childText (item, "link");

    const auto name = ContentManager::getFileNameOfAddress (element.link);

    if (name.isEmpty() || element.version.build <= 0)
    {
        element.status = statusNone;
        return element;
    }

    element.file = firmwareFolder + juce::File::getSeparatorString() + localFileName (element.link, name);
    return element;
}

FirmwareUpdateElement FirmwareUpdateElement::createFromFile (const juce::String& path, const FirmwareVersion& version)
{
    FirmwareUpdateElement element;
    element.status = statusCustom;
    element.version = version;
    element.file = path;

    const juce::File image (path);

    if (! juce::File::isAbsolutePath (path) || ! image.existsAsFile())
    {
        element.status = statusNone;
        return element;
    }

    element.pubDate = image.getLastModificationTime();
    auto* line = element.description.createNewChildElement ("line");
    line->addTextElement ("Custom firmware update");
    return element;
}

void FirmwareUpdateElement::sortByBuild (juce::Array<FirmwareUpdateElement>& list)
{
    std::stable_sort (list.begin(), list.end(), [] (const auto& a, const auto& b) { return a.version.build < b.version.build; });
}

bool FirmwareUpdateElement::isInstallable() const
{
    if (status != statusPublic && status != statusBeta && status != statusAlpha && status != statusCustom)
        return false;

    return juce::File::isAbsolutePath (file) && juce::File (file).existsAsFile();
}
