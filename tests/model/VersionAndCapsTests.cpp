#include "model/CapsBlock.h"
#include "model/FirmwareVersion.h"

#include <gtest/gtest.h>

TEST (FirmwareVersion, TextRoundTripAndSixteenBitParts)
{
    const auto v = FirmwareVersion::fromString ("0.1.1.0.136.0");
    EXPECT_EQ (v, FirmwareVersion (0, 1, 1, 0, 136, 0));
    EXPECT_EQ (v.toString(), "0.1.1.0.136.0");

    EXPECT_EQ (FirmwareVersion::fromString ("3.2.1.0.99.12").mcuVersion, 12);
    EXPECT_EQ (FirmwareVersion::fromString ("0.70000.0.0.0.0").major, 4464);
    EXPECT_EQ (FirmwareVersion::fromString ("0.-1.0.0.0.0").major, -1);
    EXPECT_EQ (FirmwareVersion::fromString (" 1.2x.3.4.5.6"), FirmwareVersion (1, 2, 3, 4, 5, 6));
    EXPECT_EQ (FirmwareVersion::fromString ("1.2"), FirmwareVersion (1, 2, 0, 0, 0, 0));
    EXPECT_EQ (FirmwareVersion::fromString ("1.2.3.4.5.6.7").mcuVersion, 6);
}

TEST (FirmwareVersion, DisplayTexts)
{
    EXPECT_EQ (getApplicationVersionRecord().getVersionString(), "1.1.00 build 136");
    EXPECT_EQ (FirmwareVersion (1, 2, 0, 3, 41, 0).getVersionString(), "2.0.03 build 41B");

    EXPECT_EQ (formatFirmwareVersion (getApplicationVersionRecord(), true), "1.1.00 build 136 (mcu 0)");
    EXPECT_EQ (formatFirmwareVersion (FirmwareVersion (1, 2, 0, 3, 41, 7), false), "2.0.03 build 41  [BETA]");
    EXPECT_EQ (formatFirmwareVersion (FirmwareVersion (0, 10, 5, 0, 7, 0), false), "10.5.00 build 7");
    EXPECT_EQ (formatFirmwareVersion (FirmwareVersion (0, 10, 5, 123, 7, 0), false), "10.5.123 build 7");

    EXPECT_EQ (FirmwareVersion (2, 0, 0, 0, 0, 0).getReleaseTag (true), "ALPHA");
    EXPECT_EQ (FirmwareVersion (3, 0, 0, 0, 0, 0).getReleaseTag (false), "D");
    EXPECT_EQ (FirmwareVersion (7, 0, 0, 0, 0, 0).getReleaseTag (true), "");
}

TEST (FirmwareVersion, VersionTextsOfTheMakersDocuments)
{
    EXPECT_EQ (FirmwareVersion::parseVersionText ("b 2.1.0 build 123"), FirmwareVersion (1, 2, 1, 0, 123));
    EXPECT_EQ (FirmwareVersion::parseVersionText ("demo 1.2.3"), FirmwareVersion (3, 1, 2, 0, 0));
    EXPECT_EQ (FirmwareVersion::parseVersionText ("2.0.5 build 77"), FirmwareVersion (0, 2, 0, 5, 77));
    EXPECT_EQ (FirmwareVersion::parseVersionText ("  A 1.0.2 BUILD 9 "), FirmwareVersion (2, 1, 0, 2, 9));
    EXPECT_EQ (FirmwareVersion::parseVersionText (""), FirmwareVersion());
    EXPECT_EQ (FirmwareVersion::parseVersionText ("garbage"), FirmwareVersion());
}

TEST (ManufactureDate, TextOfTheKnownDeviceList)
{
    EXPECT_EQ (ManufactureDate::fromString ("2014.07.31"), (ManufactureDate { 2014, 7, 31 }));
    EXPECT_EQ (ManufactureDate::fromString ("20"), (ManufactureDate { 20, 0, 0 }));
    EXPECT_EQ ((ManufactureDate { 2024, 3, 5 }).toString(), "2024.03.05");

    // What the list writes it reads back, the unit's unset date included.
    for (const auto date : { ManufactureDate { 2014, 7, 31 }, ManufactureDate { 1941, 12, 7 }, ManufactureDate {} })
        EXPECT_EQ (ManufactureDate::fromString (date.toString()), date);
}

namespace
{
    CapsBlock sampleBlock()
    {
        CapsBlock b;
        b.productId = 0x21;
        b.numSyxPackagesPerPresetStep = 2;
        b.presetStepPacketSize = 128;
        b.presetVersion = 3;
        b.numSyxPackagesPerSetup = 4;
        b.setupPacketSize = 200;
        b.setupVersion = 5;
        b.numPresets = 301;
        b.presetNameLength = 16;
        b.maxPresetSteps = -7;
        return b;
    }
}

TEST (CapsBlock, StreamFormsAreLittleEndianAndRoundTrip)
{
    const auto block = sampleBlock();

    juce::MemoryOutputStream out;
    block.writeToStream (out);
    ASSERT_EQ ((int) out.getDataSize(), CapsBlock::streamSize);

    auto* bytes = static_cast<const uint8_t*> (out.getData());
    EXPECT_EQ (bytes[0], 0x21);
    EXPECT_EQ (bytes[1], 2);
    EXPECT_EQ (bytes[5], 128);
    EXPECT_EQ (bytes[25], (uint8_t) (301 & 0xff));
    EXPECT_EQ (bytes[26], (uint8_t) (301 >> 8));
    EXPECT_EQ (bytes[33], 0xf9); // -7

    juce::MemoryInputStream in (out.getData(), out.getDataSize(), false);
    CapsBlock back;
    ASSERT_TRUE (back.readFromStream (in));
    EXPECT_EQ (back, block);

    // The 40-byte form of older files: three padding bytes after the product id.
    juce::MemoryOutputStream legacy;
    legacy.writeByte (0x21);
    legacy.writeByte (1); legacy.writeByte (2); legacy.writeByte (3);
    legacy.write (bytes + 1, 36);
    juce::MemoryInputStream legacyIn (legacy.getData(), legacy.getDataSize(), false);
    CapsBlock fromLegacy;
    ASSERT_TRUE (fromLegacy.readLegacyFromStream (legacyIn));
    EXPECT_EQ (fromLegacy, block);

    juce::MemoryInputStream shortIn (out.getData(), 20, false);
    CapsBlock truncated;
    EXPECT_FALSE (truncated.readFromStream (shortIn));
}

TEST (CapsBlock, Validity)
{
    auto b = sampleBlock();
    EXPECT_TRUE (isValidCapsBlock (b));

    b.productId = 0;
    EXPECT_FALSE (isValidCapsBlock (b));

    b = sampleBlock();
    b.presetVersion = 0;
    EXPECT_FALSE (isValidCapsBlock (b));

    b = sampleBlock();
    b.setupVersion = 0;
    EXPECT_FALSE (isValidCapsBlock (b));

    b = sampleBlock();
    b.numPresets = 0;
    b.presetStepPacketSize = -1;
    EXPECT_TRUE (isValidCapsBlock (b));
    b.numPresets = 1;
    EXPECT_FALSE (isValidCapsBlock (b));

    b = sampleBlock();
    b.setupPacketSize = -1;
    EXPECT_FALSE (isValidCapsBlock (b));
}
