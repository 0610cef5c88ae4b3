// The content documents from the server: XML parsing, then the readers of a
// capability document, a firmware list and a conversion-rule document, and the
// text readers they use (dates, version texts).

#include "FuzzSupport.h"

#include "content/ContentManager.h"
#include "content/ContentReader.h"
#include "content/FirmwareUpdateElement.h"
#include "content/ConversionRule.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "model/FactoryBank.h"

namespace
{
    void readCapabilities (const juce::XmlElement& doc, int build)
    {
        (void) DeviceProfiler::createCapsFrom (&doc, 0x12, build);
        (void) DeviceProfiler::createCapsForDataVersionsFrom (&doc, 0x12, 1, build & 0x0F);
        (void) DeviceProfiler::createCapsForDataVersionsFrom (&doc, 0x12, 2, build & 0x0F);
        (void) DeviceProfiler::getVariantName (&doc, (uint32_t) build * 2654435761u);

        const auto bank = DeviceProfiler::createFactoryBankFrom (&doc, 0x12, build);
        (void) bank->isFactoryPreset (build & 0x1F, std::array<uint8_t, 16> {});
    }

    void readLists (const juce::XmlElement& doc)
    {
        juce::Array<FirmwareUpdateElement> updates;

        for (auto* child : doc.getChildIterator())
        {
            if (child->hasTagName ("firmwareUpdate"))
                updates.add (FirmwareUpdateElement::parse ("/tmp/belvora-fuzz/firmware", *child));

            if (child->hasAttribute ("script"))
                (void) ConversionRule::parse (0x12, *child, "/tmp/belvora-fuzz/js");

            (void) ContentManager::parseIsoDate (child->getAllSubText());
            (void) FirmwareVersion::parseVersionText (child->getAllSubText());
        }

        FirmwareUpdateElement::sortByBuild (updates);
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1 || size > 262144)
        return 0;

    const juce::MemoryBlock bytes (data + 1, size - 1);
    (void) ContentReader::isSafeEntryName (juce::String::fromUTF8 ((const char*) data + 1, (int) size - 1));
    (void) ContentReader::isPictureSizeSane (bytes);

    const auto doc = ContentReader::parseXmlData (bytes);

    if (doc == nullptr)
        return 0;

    readCapabilities (*doc, data[0] * 3 - 64);
    readLists (*doc);
    return 0;
}
