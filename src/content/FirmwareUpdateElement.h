#pragma once

#include "model/CapsBlock.h"
#include "model/FirmwareVersion.h"

#include <juce_graphics/juce_graphics.h>

#include <memory>

namespace juce { class Component; }

/** One firmware image a unit can be updated to: from a product's firmware
    list or from a file the user picked. */
class FirmwareUpdateElement
{
public:
    enum ReleaseStatus
    {
        statusPublic  = 0,
        statusBeta    = 1,
        statusAlpha   = 2,
        statusCustom  = 3,
        statusExpired = 4,
        statusRevoked = 5,
        statusNone    = 6
    };

    FirmwareUpdateElement();
    FirmwareUpdateElement (const FirmwareUpdateElement& other);
    FirmwareUpdateElement& operator= (const FirmwareUpdateElement& other);
    virtual ~FirmwareUpdateElement();

    /** One "firmwareUpdate" item of a firmware list; its image lies in firmwareFolder. */
    static FirmwareUpdateElement parse (const juce::String& firmwareFolder, const juce::XmlElement& item);

    /** An image file the user chose. */
    static FirmwareUpdateElement createFromFile (const juce::String& path, const FirmwareVersion& version);

    /** "public", "beta", "alpha", "expired", "revoked" in any case; anything else is none. */
    static int parseStatus (const juce::String& text);

    /** Orders a list by build; equal builds keep their order. */
    static void sortByBuild (juce::Array<FirmwareUpdateElement>& list);

    bool isInstallable() const;

    /** The description rows laid out as text and links. Defined by the user
        interface library (gui/widgets/FirmwareDescriptionView.cpp): the core
        makes no widgets. */
    std::unique_ptr<juce::Component> createDescriptionView (const juce::Font& font) const;

    int status = statusNone;
    juce::Time pubDate;
    juce::XmlElement description { "description" };
    FirmwareVersion version;
    juce::String link;
    juce::String file;
};
