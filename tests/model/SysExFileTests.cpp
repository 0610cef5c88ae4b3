#include "ModelFixtures.h"

#include <gtest/gtest.h>

using namespace ModelFixtures;
using Bytes = std::vector<uint8_t>;

namespace
{
    Bytes fileBytes (const juce::File& file)
    {
        juce::MemoryBlock block;
        file.loadFileAsData (block);
        return bytesOf (block);
    }

    Bytes presetBytes (const Preset& p)
    {
        juce::MemoryOutputStream out;
        EXPECT_TRUE (p.writeSysEx (out));
        return bytesOf (out.getMemoryBlock());
    }

    Bytes setupBytes (const SetupData& s)
    {
        juce::MemoryOutputStream out;
        EXPECT_TRUE (s.writeSysEx (out));
        return bytesOf (out.getMemoryBlock());
    }

    Bytes join (std::initializer_list<Bytes> parts)
    {
        Bytes all;
        for (const auto& p : parts)
            all.insert (all.end(), p.begin(), p.end());
        return all;
    }

    juce::uint32 check (const Bytes& b, const CapsBlock& caps, const juce::Array<int>* compatible = nullptr)
    {
        int id = 0, version = 0;
        return SysEx::checkFileContent (b.data(), (int) b.size(), caps, compatible, id, version);
    }

    struct Import
    {
        juce::uint32 status;
        juce::Array<int> slots;
    };

    Import import (DeviceData& data, const Bytes& bytes, int startSlot = -1)
    {
        static int n = 0;
        const auto file = writeBytes (freshFolder ("import").getChildFile (juce::String (n++) + ".syx"), bytes);
        juce::SortedSet<int> changed;
        const auto status = data.importSysEx (file, changed, startSlot);
        juce::Array<int> slots;
        for (auto i : changed)
            slots.add (i);
        return { status, slots };
    }
}

TEST (SysExFile, CheckClassifiesTheFirstMessage)
{
    const auto caps = smallCaps();
    const auto preset = presetBytes (*makePreset (caps, 3, "A", 1));
    const auto setup = setupBytes (makeSetup (caps));
    const Bytes firmware { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 };

    EXPECT_EQ (check (setup, caps), SysEx::fileSetup);
    EXPECT_EQ (check (preset, caps), SysEx::filePreset);
    EXPECT_EQ (check (Bytes (preset.begin() + 32, preset.end()), caps), SysEx::fileStepPacket);
    EXPECT_EQ (check (firmware, caps), SysEx::fileFirmware);

    auto other = caps;
    other.productId = 0x30;
    EXPECT_EQ (check (firmware, other), SysEx::fileFirmware);
    EXPECT_EQ (check (preset, other), SysEx::fileOtherProduct);

    other = caps;
    other.presetVersion = 4;
    other.setupVersion = 6;
    EXPECT_EQ (check (preset, other), SysEx::filePresetOtherVersion);
    EXPECT_EQ (check (setup, other), SysEx::fileSetupOtherVersion);
    const juce::Array<int> compatible { 1, 3 };
    EXPECT_EQ (check (preset, other, &compatible), SysEx::fileCompatiblePreset);

    EXPECT_EQ (check ({ 0x90, 0x40, 0x7F, 0, 0, 0 }, caps), SysEx::fileNotSysEx);
    EXPECT_EQ (check ({ 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0xF7 }, caps), SysEx::fileOtherMaker);
    EXPECT_EQ (check ({ 0xF0, 0x00, 0x01, 0x38, 0x00, 0x21, 0x45, 0x00, 0x01, 0xF7 }, caps), SysEx::fileOtherCommand);

    // Short tails are never read past.
    EXPECT_EQ (check (Bytes (preset.begin(), preset.begin() + 9), caps), SysEx::fileNotSysEx);
    EXPECT_EQ (check (Bytes (preset.begin(), preset.begin() + 5), caps), SysEx::fileNotSysEx);
}

TEST (SysExFile, HeaderAndPeekOfFiles)
{
    const auto caps = smallCaps();
    const auto folder = freshFolder ("peek");
    const auto presetFile = writeBytes (folder.getChildFile ("p.syx"), presetBytes (*makePreset (caps, 3, "A", 1)));
    int id = 0, version = 0;

    EXPECT_EQ (SysEx::readFileHeader (presetFile, caps, nullptr, id, version), SysEx::filePreset);
    EXPECT_EQ (version, 3);
    EXPECT_EQ (SysEx::peekFile (presetFile, id, version), SysEx::filePreset);
    EXPECT_EQ (id, 0x21);

    EXPECT_EQ (SysEx::peekFile (folder.getChildFile ("missing.syx"), id, version), SysEx::fileNotSysEx);
    EXPECT_EQ (id, 255);
    EXPECT_EQ (version, 0);
    EXPECT_EQ (SysEx::readFileHeader (writeBytes (folder.getChildFile ("tiny.syx"), { 0xF0, 0 }), caps, nullptr, id, version),
               SysEx::fileNotSysEx);

    juce::Array<juce::MidiMessage> messages;
    EXPECT_TRUE (SysEx::readFile (presetFile, messages));
    EXPECT_EQ (messages.size(), 3);
    EXPECT_FALSE (SysEx::readFile (writeBytes (folder.getChildFile ("junk.syx"), { 0xF0, 0x01, 0xF7, 0x05, 0x06 }), messages));
    EXPECT_EQ (messages.size(), 1);
    EXPECT_FALSE (SysEx::readFile (folder.getChildFile ("missing.syx"), messages));
}

TEST (SysExFile, ExportAndImportRoundTrip)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 3, 7 });
    const auto file = freshFolder ("export").getChildFile ("two.syx");
    file.replaceWithText ("stale content that must not stay");

    ASSERT_TRUE (data->exportPresets (file, { 3, 7 }));
    EXPECT_EQ (fileBytes (file), join ({ presetBytes (*data->getPreset (3)), presetBytes (*data->getPreset (7)) }));

    auto target = makeData (caps, {}, false);
    const auto result = import (*target, fileBytes (file));
    EXPECT_EQ (result.status, SysEx::fileStepPacket);
    EXPECT_EQ (result.slots, (juce::Array<int> { 3, 7 }));
    EXPECT_EQ (target->getPreset (7)->getStepValues (1), data->getPreset (7)->getStepValues (1));
    EXPECT_TRUE (target->isPresetModified (3));

    const auto setupFile = file.getSiblingFile ("setup.syx");
    ASSERT_TRUE (data->exportSetup (setupFile));
    EXPECT_EQ (import (*target, fileBytes (setupFile)).status, SysEx::fileSetup);
    EXPECT_EQ (target->getSetup().getValues(), data->getSetup().getValues());

    // Placed from a start slot: renumbered; the fourth finds no slot left.
    const auto four = join ({ presetBytes (*data->getPreset (3)), presetBytes (*data->getPreset (7)),
                              presetBytes (*data->getPreset (3)), presetBytes (*data->getPreset (7)) });
    auto placed = makeData (caps, {}, false);
    const auto placedResult = import (*placed, four, 5);
    EXPECT_EQ (placedResult.status, SysEx::fileStepPacket | SysEx::fileBeyondLastSlot);
    EXPECT_EQ (placedResult.slots, (juce::Array<int> { 5, 6, 7 }));
    EXPECT_EQ (placed->getPreset (6)->getNumber(), 6);
    EXPECT_EQ (placed->getPreset (6)->getName(), "P7");
}

TEST (SysExFile, FailedFirstExportLeavesNoStaleTail)
{
    auto data = makeData (smallCaps(), { 3, 7 });
    const auto file = freshFolder ("stale").getChildFile ("out.syx");
    ASSERT_TRUE (data->exportPresets (file, { 3, 7 }));

    // Slot 2 is empty: the export says so, and the file holds preset 7 alone.
    EXPECT_FALSE (data->exportPresets (file, { 2, 7 }));
    EXPECT_EQ (fileBytes (file), presetBytes (*data->getPreset (7)));

    EXPECT_TRUE (data->exportPreset (file, 3, true));
    EXPECT_EQ (fileBytes (file), join ({ presetBytes (*data->getPreset (7)), presetBytes (*data->getPreset (3)) }));
    EXPECT_FALSE (data->exportPreset (file.getParentDirectory(), 3, false));
    EXPECT_TRUE (data->exportPresets (file, {}));
}

TEST (SysExFile, BadImportsAreRefusedWithTheirCodes)
{
    const auto caps = smallCaps();
    auto source = makeData (caps, { 3, 4 });
    const auto p3 = presetBytes (*source->getPreset (3));
    const auto p4 = presetBytes (*source->getPreset (4));

    auto target = makeData (caps, {}, false);
    EXPECT_EQ (import (*target, Bytes (p3.begin() + 32, p3.end())).status, SysEx::fileStepPacket | SysEx::fileOutOfOrder);
    EXPECT_EQ (target->getNumPresets(), 0);

    // Another product after a good preset: the first stays.
    auto foreign = p4;
    foreign[5] = 0x30;
    const auto stopped = import (*target, join ({ p3, foreign }));
    EXPECT_EQ (stopped.status, SysEx::fileOtherProduct);
    EXPECT_EQ (stopped.slots, (juce::Array<int> { 3 }));

    auto badChecksum = p3;
    badChecksum[32 + 16] ^= 0x01;
    EXPECT_EQ (import (*makeData (caps, {}, false), badChecksum).status, SysEx::fileStepPacket | SysEx::fileBadChecksum);

    auto outOfOrder = p3;
    outOfOrder[32 + 7] = 5;
    EXPECT_EQ (import (*makeData (caps, {}, false), outOfOrder).status, SysEx::fileStepPacket | SysEx::fileOutOfOrder);

    // A step packet of another product or command inside a preset is refused, not read.
    auto wrongPacketProduct = p3;
    wrongPacketProduct[32 + 5] = 0x30;
    EXPECT_EQ (import (*makeData (caps, {}, false), wrongPacketProduct).status, SysEx::fileStepPacket | SysEx::fileOtherProduct);
    auto shortPacket = Bytes (p3.begin(), p3.begin() + 32 + 12);
    shortPacket.back() = 0xF7;
    EXPECT_NE (import (*makeData (caps, {}, false), shortPacket).status & SysEx::fileIncomplete, 0u);

    // A last packet whose F7 became a data byte at the end of the file has the full
    // length but is cut off: taking it would make a data file that never loads again.
    auto unterminated = p3;
    unterminated.back() = 0x05;
    auto cutTarget = makeData (caps, {}, false);
    EXPECT_EQ (import (*cutTarget, unterminated).status, SysEx::fileStepPacket | SysEx::fileIncomplete);
    EXPECT_EQ (cutTarget->getNumPresets(), 0);

    EXPECT_EQ (import (*makeData (caps, {}, false), Bytes (p3.begin(), p3.end() - 18)).status,
               SysEx::fileStepPacket | SysEx::fileIncomplete);

    // Whole and sound, but with one step more than the product holds.
    auto roomier = caps;
    roomier.maxPresetSteps = caps.maxPresetSteps + 1;
    auto tooLong = makeData (caps, {}, false);
    const auto longResult = import (*tooLong, presetBytes (*makePreset (roomier, 3, "Long", roomier.maxPresetSteps)));
    EXPECT_EQ (longResult.status, SysEx::fileStepPacket | SysEx::fileOverflow);
    EXPECT_EQ (tooLong->getNumPresets(), 0);

    // Setup one packet short at its end: nothing changes.
    auto withSetup = makeData (caps, {});
    const auto before = withSetup->getSetup().getMD5();
    auto values = withSetup->getSetup().getValues();
    auto changedSetup = withSetup->getSetup();
    values.set (0, 99);
    changedSetup.setValues (values);
    const auto setup = setupBytes (changedSetup);
    EXPECT_EQ (import (*withSetup, Bytes (setup.begin(), setup.begin() + 20)).status, SysEx::fileSetup | SysEx::fileIncomplete);
    EXPECT_EQ (withSetup->getSetup().getMD5(), before);

    // Preset numbers that are no user slot: slot 0, or beyond the last.
    for (auto number : { 0, 8, 300 })
    {
        auto numbered = makePreset (caps, number, "N", 1);
        auto data = makeData (caps, {}, false);
        EXPECT_EQ (import (*data, presetBytes (*numbered)).status, SysEx::fileNotASlot) << number;
        EXPECT_EQ (data->getNumPresets(), 0);
    }

    const auto missing = freshFolder ("none").getChildFile ("missing.syx");
    juce::SortedSet<int> changed;
    EXPECT_EQ (target->importSysEx (missing, changed, -1), SysEx::fileCannotOpen);
    const auto empty = missing.getSiblingFile ("empty.syx");
    ASSERT_TRUE (empty.create().wasOk());
    EXPECT_EQ (target->importSysEx (empty, changed, -1), 0u);
}

TEST (SysExFile, FirmwareStartIsSkippedOtherMessagesEndTheImport)
{
    const auto caps = smallCaps();
    auto source = makeData (caps, { 3 });
    const auto p3 = presetBytes (*source->getPreset (3));
    const Bytes firmware { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 };

    auto data = makeData (caps, {}, false);
    const auto result = import (*data, join ({ firmware, p3 }));
    EXPECT_EQ (result.status, SysEx::fileStepPacket);
    EXPECT_EQ (result.slots, (juce::Array<int> { 3 }));

    auto otherVersion = p3;
    otherVersion[10] = 0x09;
    EXPECT_EQ (import (*makeData (caps, {}, false), otherVersion).status, SysEx::filePresetOtherVersion);
}

TEST (SysExFile, FactoryBankDocument)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 0, 1, 3, 5 });
    data->getPreset (3)->addMidiMessage (*data->getPreset (1)->getMidiMessage (0));
    const auto file = freshFolder ("bank").getChildFile ("bank.xml");

    ASSERT_TRUE (data->saveFactoryBank (file));
    const auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "factoryBank");
    ASSERT_EQ (xml->getNumChildElements(), 2);
    EXPECT_EQ (xml->getChildElement (0)->getIntAttribute ("number"), 1);
    EXPECT_EQ (xml->getChildElement (1)->getIntAttribute ("number"), 5);
    EXPECT_EQ (xml->getChildElement (1)->getStringAttribute ("md5"), data->getPreset (5)->getMD5String());
    EXPECT_EQ (data->getPreset (5)->getMD5String().length(), 32);
    EXPECT_TRUE (file.loadFileAsString().startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_FALSE (data->saveFactoryBank (file.getParentDirectory()));
}
