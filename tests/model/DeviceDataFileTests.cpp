#include "ModelFixtures.h"

#include "model/SafeSave.h"
#include "model/SysEx.h"
#include "support/OddFiles.h"

#include <gtest/gtest.h>

using namespace ModelFixtures;

namespace
{
    juce::MemoryBlock contentOf (const juce::File& file)
    {
        juce::MemoryBlock block;
        file.loadFileAsData (block);
        return block;
    }

    // The head of a data file as an older program wrote it, with the 40-byte block when asked.
    juce::MemoryBlock legacyHead (const char* program, const char* name, const char* firmware, const CapsBlock& caps, bool memoryForm)
    {
        juce::MemoryOutputStream out;
        out.write (program, strlen (program) + 1);
        out.write (name, strlen (name) + 1);
        out.write (firmware, strlen (firmware) + 1);

        juce::MemoryOutputStream block;
        caps.writeToStream (block);
        const auto* b = static_cast<const uint8_t*> (block.getData());
        out.writeByte ((char) b[0]);

        if (memoryForm)
            out.write ("\0\0\0", 3);

        out.write (b + 1, 36);
        return out.getMemoryBlock();
    }
}

TEST (DeviceDataFile, LayoutAndRoundTrip)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 0, 3, 7 });
    data->setPresetModified (7, true);
    const auto file = freshFolder ("layout").getChildFile ("unit.mwd");

    ASSERT_EQ (data->saveToFile (file), DeviceData::saved);
    const auto bytes = bytesOf (contentOf (file));

    const std::string head ("0.1.1.0.136.0\0Vox One\0" "0.2.0.3.41.7\0", 13 + 1 + 8 + 13);
    ASSERT_GT (bytes.size(), head.size() + 37);
    EXPECT_EQ (std::string (bytes.begin(), bytes.begin() + (long) head.size()), head);
    EXPECT_EQ (bytes[head.size()], 0x21);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes.data() + head.size() + 37), 8u);

    auto back = DeviceData::loadFromFile (file);
    ASSERT_NE (back, nullptr);
    EXPECT_EQ (back->getCapsBlock(), caps);
    EXPECT_EQ (back->getFirmwareVersion(), FirmwareVersion (0, 2, 0, 3, 41, 7));
    EXPECT_EQ (back->getProductName(), "Vox One");
    EXPECT_EQ (back->getUsedPresetIndices(), (juce::Array<int> { 0, 3, 7 }));
    EXPECT_EQ (back->getPreset (3)->getMD5(), data->getPreset (3)->getMD5());
    EXPECT_EQ (back->getSetup().getValues(), data->getSetup().getValues());
    EXPECT_TRUE (back->isModified());
    EXPECT_TRUE (back->isPresetModified (7));
    EXPECT_TRUE (back->matchesFileHeader (file));

    // Stored unmodified, loaded unmodified.
    data->clearModified (false);
    ASSERT_EQ (data->saveToFile (file), DeviceData::saved);
    EXPECT_FALSE (DeviceData::loadFromFile (file)->isModified());

    EXPECT_FALSE (DeviceData ("Vox Two", back->getFirmwareVersion(), caps, nullptr).matchesFileHeader (file));
}

TEST (DeviceDataFile, OlderFilesHoldTheFortyByteBlock)
{
    const auto caps = smallCaps();
    const auto folder = freshFolder ("legacy");
    const auto tail = [] (juce::MemoryOutputStream& out) { out.writeInt (0); out.writeInt (-1); };

    for (auto [program, memoryForm] : { std::pair { "0.1.1.0.30.0", true }, std::pair { "0.1.1.0.31.0", false } })
    {
        juce::MemoryOutputStream out;
        out << legacyHead (program, "Vox One", "0.2.0.3.41.7", caps, memoryForm);
        tail (out);
        const auto file = folder.getChildFile (juce::String (program) + ".mwd");
        file.replaceWithData (out.getData(), out.getDataSize());

        auto data = DeviceData::loadFromFile (file);
        ASSERT_NE (data, nullptr) << program;
        EXPECT_EQ (data->getCapsBlock(), caps);
        EXPECT_EQ (data->getNumPresets(), 0);
    }
}

TEST (DeviceDataFile, BadFilesAreRefused)
{
    const auto caps = smallCaps();
    const auto folder = freshFolder ("bad");
    int n = 0;

    auto load = [&] (const juce::MemoryBlock& block)
    {
        const auto file = folder.getChildFile (juce::String (n++) + ".mwd");
        file.replaceWithData (block.getData(), block.getSize());
        return DeviceData::loadFromFile (file);
    };

    auto withTail = [] (juce::MemoryBlock head, std::initializer_list<int32_t> ints)
    {
        juce::MemoryOutputStream out;
        out << head;
        for (auto i : ints)
            out.writeInt (i);
        return out.getMemoryBlock();
    };

    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "", "0.2.0.3.41.7", caps, false), { 0, -1 })), nullptr);
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.0.7", caps, false), { 0, -1 })), nullptr);
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.0.0", "Vox", "0.2.0.3.41.7", caps, false), { 0, -1 })), nullptr);
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", caps, false), { -2, -1 })), nullptr);
    EXPECT_EQ (load (juce::MemoryBlock ("0.1.1.0.136.0", 13)), nullptr);
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0\xfb\xfb.3.41.7", caps, false), { 0, -1 })), nullptr);
    EXPECT_EQ (load (juce::MemoryBlock()), nullptr);
    EXPECT_EQ (DeviceData::loadFromFile (folder.getChildFile ("missing.mwd")), nullptr);

    // Empty markers beyond the caps' slots are read and ignored; a preset there is refused.
    EXPECT_NE (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", caps, false), { 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 })), nullptr);
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", caps, false), { 10, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0 })), nullptr);

    // A huge slot count or slot array ends with the data, without a huge allocation.
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", caps, false), { 0x7FFFFFFF, -1 })), nullptr);
    auto hugeCaps = caps;
    hugeCaps.numPresets = 0x7FFFFFFF;
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", hugeCaps, false), { 0, -1 })), nullptr);
    auto invalid = caps;
    invalid.setupVersion = 0;
    EXPECT_EQ (load (withTail (legacyHead ("0.1.1.0.136.0", "Vox", "0.2.0.3.41.7", invalid, false), { 0, -1 })), nullptr);

    // A preset record whose packets do not add up.
    auto data = makeData (caps, { 2 });
    const auto good = folder.getChildFile ("good.mwd");
    ASSERT_EQ (data->saveToFile (good), DeviceData::saved);
    auto block = contentOf (good);
    EXPECT_EQ (load (juce::MemoryBlock (block.getData(), block.getSize() - 5)), nullptr);
}

TEST (DeviceDataFile, APipeAFolderOrAHugeFileInPlaceOfADataFileIsRefusedAndGoesAside)
{
    const auto caps = smallCaps();
    const auto data = makeData (caps, { 2 });
    const auto file = freshFolder ("odd").getChildFile ("working.mwd");

    for (auto kind : OddFiles::allKinds)
    {
        ASSERT_TRUE (OddFiles::put (kind, file));
        DeviceData::FileInfo info;
        juce::SortedSet<int> changed;
        juce::Array<juce::MidiMessage> messages;
        bool loaded = true, headRead = true, matched = true, sysExRead = true;
        juce::uint32 imported = 0;

        // Every reader of a workspace, a unit's last data, a backup's data or a firmware image.
        OddFiles::expectEndsBounded (kind, file, [&]
        {
            loaded = DeviceData::loadFromFile (file) != nullptr;
            headRead = DeviceData::readFileInfo (file, info);
            matched = data->matchesFileHeader (file);
            imported = data->importSysEx (file, changed, -1);
            sysExRead = SysEx::readFile (file, messages);
        }, "reading data");

        EXPECT_FALSE (loaded || headRead || matched || sysExRead) << OddFiles::nameOf (kind);
        EXPECT_NE (imported & 0xFFFF0000, 0u) << OddFiles::nameOf (kind);

        // Out of the way whole, by name, however large: nothing is copied.
        const auto aside = SafeSave::moveAside (file);
        EXPECT_EQ (aside, file.getSiblingFile ("working.mwd.damaged")) << OddFiles::nameOf (kind);
        EXPECT_FALSE (file.exists()) << OddFiles::nameOf (kind);
        EXPECT_EQ (aside.isDirectory(), kind == OddFiles::Kind::folder);
        aside.deleteRecursively();
    }
}

TEST (DeviceDataFile, DataWithoutSlotsReadsBack)
{
    auto caps = smallCaps();
    caps.numPresets = 0;
    auto data = makeData (caps, {});
    const auto file = freshFolder ("noslots").getChildFile ("unit.mwd");

    ASSERT_EQ (data->saveToFile (file), DeviceData::saved);
    auto back = DeviceData::loadFromFile (file);
    ASSERT_NE (back, nullptr);
    EXPECT_EQ (back->getNumSlots(), 0);
    EXPECT_TRUE (back->getSetup().isComplete());
}

TEST (DeviceDataFile, OddNameLengthsOfABlockStillLoadBack)
{
    // A product's block may give a name length no name buffer is made for.
    for (auto length : { -1, 5000 })
    {
        auto caps = smallCaps();
        caps.presetNameLength = length;
        auto data = makeData (caps, { 2, 5 });
        const auto file = freshFolder ("oddnames").getChildFile ("unit.mwd");

        ASSERT_EQ (data->saveToFile (file), DeviceData::saved) << length;
        const auto back = DeviceData::loadFromFile (file);
        ASSERT_NE (back, nullptr) << length;
        EXPECT_EQ (back->getUsedPresetIndices(), (juce::Array<int> { 2, 5 }));
        EXPECT_EQ (back->getPreset (5)->getMD5(), data->getPreset (5)->getMD5());
        EXPECT_EQ (back->getPreset (5)->getStepValues (0), data->getPreset (5)->getStepValues (0));
    }
}

TEST (DeviceDataFile, PartOfASetupDoesNotMakeTheFileUnreadable)
{
    auto data = makeData (smallCaps(), { 1, 3 });
    auto& setup = data->getSetup();
    const auto first = *setup.getMidiMessage (0);
    setup.clear();
    setup.setSetupDataVersion (smallCaps().setupVersion);
    setup.addMidiMessage (first);
    const auto file = freshFolder ("partsetup").getChildFile ("unit.mwd");

    ASSERT_EQ (data->saveToFile (file), DeviceData::saved);
    const auto back = DeviceData::loadFromFile (file);
    ASSERT_NE (back, nullptr);
    EXPECT_EQ (back->getUsedPresetIndices(), (juce::Array<int> { 1, 3 }));
    EXPECT_EQ (back->getSetup().getNumMidiMessages(), 0);
}

TEST (DeviceDataFile, UnreadableHeadIsNotSavedAsSuccess)
{
    DeviceData data ({}, FirmwareVersion (0, 2, 0, 3, 41, 7), smallCaps(), nullptr);
    const auto file = freshFolder ("noname").getChildFile ("unit.mwd");
    file.replaceWithText ("old");

    EXPECT_EQ (data.saveToFile (file), DeviceData::writeFailed);
    EXPECT_EQ (file.loadFileAsString(), "old");

    // Nor is a head the reader refuses for its firmware build or its block.
    const DeviceData noBuild ("Vox One", FirmwareVersion (0, 2, 0, 3, 0, 7), smallCaps(), nullptr);
    EXPECT_EQ (noBuild.saveToFile (file), DeviceData::writeFailed);

    auto badCaps = smallCaps();
    badCaps.setupVersion = 0;
    const DeviceData invalid ("Vox One", FirmwareVersion (0, 2, 0, 3, 41, 7), badCaps, nullptr);
    EXPECT_EQ (invalid.saveToFile (file), DeviceData::writeFailed);
    EXPECT_EQ (file.loadFileAsString(), "old");
}

TEST (DeviceDataFile, SafeSaveKeepsTheOldFileOnFailure)
{
    const auto caps = smallCaps();
    const auto folder = freshFolder ("safe").getChildFile ("unit");
    auto data = makeData (caps, { 1, 2 });

    ASSERT_EQ (data->saveWorkingFile (folder, true), DeviceData::saved);
    ASSERT_EQ (data->saveWorkingFile (folder, false), DeviceData::saved);
    const auto working = folder.getChildFile ("working.mwd");
    EXPECT_TRUE (working.existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("sync.mwd").existsAsFile());
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false).size(), 2);
    const auto before = contentOf (working);

    // An incomplete preset blocks the save; the file keeps its old content.
    data->getPreset (2)->removeSteps ({});
    data->getPreset (2)->addMidiMessage (*data->getPreset (1)->getMidiMessage (0));
    EXPECT_EQ (data->saveWorkingFile (folder, true), DeviceData::presetIncomplete);
    EXPECT_EQ (contentOf (working), before);
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false).size(), 2);

    auto loaded = DeviceData::loadFromFile (working);
    ASSERT_NE (loaded, nullptr);
    EXPECT_EQ (loaded->getUsedPresetIndices(), (juce::Array<int> { 1, 2 }));
}
