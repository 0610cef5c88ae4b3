#include "ModelFixtures.h"

#include "model/SysExTemplate.h"

#include <gtest/gtest.h>

using namespace ModelFixtures;
using Bytes = std::vector<uint8_t>;

namespace
{
    juce::MidiMessage message (const Bytes& bytes)
    {
        return juce::MidiMessage (bytes.data(), (int) bytes.size());
    }

    Bytes enc14 (int v)  { uint8_t b[2]; SysEx::encode14 (v, b); return { b, b + 2 }; }
    Bytes enc28 (int v)  { uint8_t b[4]; SysEx::encode28 (v, b); return { b, b + 4 }; }
    int dec14 (Bytes b)  { return SysEx::decode14 (b.data()); }
    int dec28 (Bytes b)  { return SysEx::decode28 (b.data()); }

    Bytes identityReply (uint8_t id, uint8_t code, std::initializer_list<uint8_t> data)
    {
        Bytes b (17, 0);
        const uint8_t head[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, id, 0x7E, code };
        std::copy (std::begin (head), std::end (head), b.begin());
        std::copy (data.begin(), data.end(), b.begin() + 8);
        b[16] = 0xF7;
        return b;
    }
}

TEST (SysExCodec, FourteenAndTwentyEightBitValues)
{
    EXPECT_EQ (enc14 (0), (Bytes { 0x00, 0x00 }));
    EXPECT_EQ (enc14 (8191), (Bytes { 0x3F, 0x7F }));
    EXPECT_EQ (enc14 (-1), (Bytes { 0x7F, 0x7F }));
    EXPECT_EQ (dec14 ({ 0x40, 0x00 }), -8192);
    EXPECT_EQ (dec14 ({ 0x5F, 0x7F }), -4097);
    EXPECT_EQ (dec14 ({ 0x3F, 0x7F }), 8191);
    EXPECT_EQ (dec14 (enc14 (-1)), -1);

    EXPECT_EQ (dec28 ({ 0x3F, 0x7F, 0x7F, 0x7F }), 134217727);
    EXPECT_EQ (dec28 ({ 0x40, 0x00, 0x00, 0x00 }), -134217728);
    EXPECT_EQ (enc28 (-1), (Bytes { 0x7F, 0x7F, 0x7F, 0x7F }));
    EXPECT_EQ (dec28 (enc28 (-1)), -1);
    EXPECT_EQ (dec28 (enc28 (123456)), 123456);

    // Bits beyond 28 are lost.
    EXPECT_EQ (dec28 (enc28 (0x10000005)), 5);

    const uint8_t data[] = { 0x7F, 0x7F, 0x7F, 0x05 };
    EXPECT_EQ (SysEx::checksum (data, 4), (uint8_t) ((0x7F * 3 + 5) & 0xFF & 0x7F));
}

TEST (SysExCodec, RequestBuildersGiveExactBytes)
{
    EXPECT_EQ (bytesOf (SysEx::createInquiry()),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x7F, 0x7E, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createPresetRequest (0x21, 300)),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x45, 0x02, 0x2C, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createPresetDeleteRequest (0x21, 5)),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x50, 0x00, 0x05, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createSetupRequest (0x21)),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x15, 0x00, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createSuspendRequest (0x21, true)),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x57, 0x00, 0x01, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createSuspendRequest (0x21, false))[8], 0x00);
    EXPECT_EQ (bytesOf (SysEx::createFirmwarePacketHeader (0x55, 129)),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x7E, 0x55, 0x01, 0x01, 0xF7 }));
    EXPECT_EQ (bytesOf (SysEx::createFirmwarePacketEnd()),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x7D, 0xF7 }));
}

TEST (SysExTemplate, ProductTemplateRequestsAndAnswers)
{
    SysExTemplate unit (0x21);
    auto serial = bytesOf (unit.createSerialRequest());
    EXPECT_EQ (serial, (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x7E, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7 }));
    EXPECT_EQ (bytesOf (unit.createDateRequest())[7], 0x09);
    EXPECT_EQ (bytesOf (unit.toMidiMessage())[5], 0x21);
    EXPECT_EQ (bytesOf (unit.toMidiMessage())[7], 0x7F);

    const auto version = message (identityReply (0x21, 0x7F, { 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x29, 0x07 }));
    EXPECT_EQ (SysEx::parseFirmwareVersion (version, unit), FirmwareVersion (1, 2, 0, 3, 41, 7));
    EXPECT_EQ (SysEx::parseFirmwareVersion (version, SysExTemplate (0x22)), FirmwareVersion());

    EXPECT_EQ (SysEx::parseSerialNumber (message (identityReply (0x21, 0x07, { 0, 0, 1, 2, 3, 4, 5, 6 })), unit), 123456u);
    EXPECT_EQ (SysEx::parseSerialNumber (message (identityReply (0x21, 0x07, { 0, 0, 1, 10, 3, 4, 5, 6 })), unit), 0u);

    EXPECT_EQ (SysEx::parseDate (message (identityReply (0x21, 0x09, { 14, 3, 20, 24 })), unit), (ManufactureDate { 2024, 3, 14 }));
    EXPECT_EQ (SysEx::parseDate (message (identityReply (0x21, 0x09, { 0, 0, 0, 0 })), unit), (ManufactureDate { 1941, 12, 7 }));

    // Only a 17-byte answer counts.
    auto longer = identityReply (0x21, 0x07, { 0, 0, 1, 2, 3, 4, 5, 6 });
    longer.back() = 0;
    longer.push_back (0xF7);
    EXPECT_EQ (SysEx::parseSerialNumber (message (longer), unit), 0u);

    unit.clear();
    EXPECT_EQ (unit.toMidiMessage().getSysExDataSize(), 0);
    EXPECT_EQ (unit.createSerialRequest().getSysExDataSize(), 0);
}

TEST (SysExCodec, PresetHeaderRoundTripsAndCutsLongNames)
{
    const auto caps = smallCaps();
    PresetName name;
    name.number = 300;
    name.formatVersion = 3;
    name.nameLength = 15;
    name.setFromString ("ignored");   // no buffer yet
    const juce::String text ("Lead Vox");
    name.setFromBytes (reinterpret_cast<const uint8_t*> (text.toRawUTF8()), 8);
    name.tags = 0x0ABCDEF;
    name.numSteps = 130;

    const auto header = bytesOf (SysEx::createPresetHeader (name, 0x21));
    ASSERT_EQ (header.size(), 32u);
    EXPECT_EQ (Bytes (header.begin(), header.begin() + 11), (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x20, 0x02, 0x2C, 0x00, 0x03 }));
    EXPECT_EQ (Bytes (header.begin() + 11, header.begin() + 26),
               (Bytes { 'L', 'e', 'a', 'd', ' ', 'V', 'o', 'x', 0, 0, 0, 0, 0, 0, 0 }));
    EXPECT_EQ (Bytes (header.begin() + 26, header.end()), (Bytes { 0x05, 0x2F, 0x1B, 0x6F, 130 & 0x7F, 0xF7 }));

    PresetName back;
    EXPECT_EQ (SysEx::parsePresetHeader (message (header), caps, back), 0u);
    EXPECT_EQ (back.number, 300);
    EXPECT_EQ (back.toString(), "Lead Vox");
    EXPECT_EQ (back.tags, 0x0ABCDEF);
    EXPECT_EQ (back.numSteps, 2);

    // A name block longer than the frame's 15 bytes is cut, never read beyond.
    PresetName longName;
    longName.nameLength = 40;
    const juce::String forty ("ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN");
    longName.setFromBytes (reinterpret_cast<const uint8_t*> (forty.toRawUTF8()), 40);
    const auto cut = bytesOf (SysEx::createPresetHeader (longName, 0x21));
    ASSERT_EQ (cut.size(), 32u);
    EXPECT_EQ (cut[25], 'O');
    EXPECT_EQ (cut[26], 0x00);
}

TEST (SysExCodec, PresetHeaderStatusAndMalformedHeaders)
{
    auto caps = smallCaps();
    PresetName name;
    name.formatVersion = 9;
    name.nameLength = 15;
    name.setFromBytes (reinterpret_cast<const uint8_t*> ("X"), 1);
    const auto other = bytesOf (SysEx::createPresetHeader (name, 0x22));

    PresetName back;
    EXPECT_EQ (SysEx::parsePresetHeader (message (other), caps, back), SysEx::headerOtherProduct);
    EXPECT_EQ (back.toString(), "X");

    auto sameProduct = other;
    sameProduct[5] = 0x21;
    EXPECT_EQ (SysEx::parsePresetHeader (message (sameProduct), caps, back), SysEx::headerOtherVersion);

    // Short, long or other-command messages are refused without reading past them.
    for (auto bad : { Bytes (sameProduct.begin(), sameProduct.begin() + 12), Bytes { 0xF0, 0xF7 } })
    {
        bad.back() = 0xF7;
        EXPECT_EQ (SysEx::parsePresetHeader (message (bad), caps, back), SysEx::headerMalformed);
        EXPECT_FALSE (back.hasBuffer());
    }

    auto wrongCommand = sameProduct;
    wrongCommand[6] = 0x21;
    EXPECT_EQ (SysEx::parsePresetHeader (message (wrongCommand), caps, back), SysEx::headerMalformed);

    // A refused header leaves nothing of the one read before it.
    name.number = 77;
    name.numSteps = 3;
    ASSERT_EQ (SysEx::parsePresetHeader (SysEx::createPresetHeader (name, 0x21), caps, back), SysEx::headerOtherVersion);
    EXPECT_EQ (back.number, 77);
    EXPECT_EQ (SysEx::parsePresetHeader (message (wrongCommand), caps, back), SysEx::headerMalformed);
    EXPECT_EQ (back.number, 0);
    EXPECT_EQ (back.numSteps, 0);
}

TEST (SysExCodec, DataPacketsAndTheirValues)
{
    auto caps = smallCaps();
    caps.maxPresetSteps = 3;
    caps.numSyxPackagesPerPresetStep = 1;

    const auto packets = SysEx::createDataMessages ({ 1, 2, 3, 4, -5 }, caps);
    ASSERT_EQ (packets.size(), 3);
    EXPECT_EQ (bytesOf (packets[0]),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x21, 0x00, 0, 0, 0, 1, 0, 0, 0, 2, 3, 0xF7 }));
    EXPECT_EQ (bytesOf (packets[2])[7], 2);
    EXPECT_EQ (SysEx::getDataValues (packets[2]), (juce::Array<int> { -5, 0 }));
    EXPECT_TRUE (SysEx::createDataMessages ({}, caps).isEmpty());

    // More packets than the block allows, or a packet too small for one value: none.
    EXPECT_TRUE (SysEx::createDataMessages ({ 1, 2, 3, 4, 5, 6, 7 }, caps).isEmpty());
    caps.presetStepPacketSize = 3;
    EXPECT_TRUE (SysEx::createDataMessages ({ 1 }, caps).isEmpty());

    caps = smallCaps();
    caps.numSyxPackagesPerSetup = 4;
    EXPECT_TRUE (SysEx::createSetupMessages ({ 1, 2, 3, 4, 5, 6 }, caps).isEmpty());
    const auto setup = SysEx::createSetupMessages ({ 1, 2, 3, 4, 5, 6, 7, 8 }, caps);
    ASSERT_EQ (setup.size(), 4);
    EXPECT_EQ (bytesOf (setup[1]),
               (Bytes { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x13, 0x00, 0x05, 0x01, 0, 0, 0, 3, 0, 0, 0, 4, 7, 0xF7 }));
    EXPECT_EQ (SysEx::getDataValues (setup[3]), (juce::Array<int> { 7, 8 }));
}

TEST (SysExCodec, DataValuesOfShortOrForeignMessagesAreEmpty)
{
    EXPECT_TRUE (SysEx::getDataValues (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x13, 0xF7 })).isEmpty());
    EXPECT_TRUE (SysEx::getDataValues (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x21, 0xF7 })).isEmpty());
    EXPECT_TRUE (SysEx::getDataValues (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x45, 0, 0, 0, 0, 0, 0xF7 })).isEmpty());
    EXPECT_TRUE (SysEx::getDataValues (juce::MidiMessage::noteOn (1, 60, (uint8_t) 100)).isEmpty());

    // A trailing partial group is dropped.
    EXPECT_EQ (SysEx::getDataValues (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x21, 0x00, 0, 0, 0, 9, 1, 2, 0x0C, 0xF7 })),
               (juce::Array<int> { 9 }));

    EXPECT_EQ (SysEx::getDeviceId (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x56, 0x00, 0xF7 })), 0x21);
    EXPECT_EQ (SysEx::getDeviceId (message ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0xF7 })), 0);
}
