#include "ModelFixtures.h"

#include <gtest/gtest.h>
#include <juce_cryptography/juce_cryptography.h>

using namespace ModelFixtures;

namespace
{
    juce::SparseSet<int> indices (std::initializer_list<int> list)
    {
        juce::SparseSet<int> set;

        for (auto i : list)
            set.addRange ({ i, i + 1 });

        return set;
    }

    // The first value of each step, which makePreset sets to base + step * 10.
    juce::Array<int> stepMarks (const Preset& p)
    {
        juce::Array<int> marks;

        for (int s = 0; s < p.getNumSteps(); ++s)
            marks.add (p.getStepValues (s)[0]);

        return marks;
    }

    juce::Array<int> packetIndices (const Preset& p)
    {
        juce::Array<int> result;

        for (int i = 0; i < p.getNumMidiMessages(); ++i)
            result.add (p.getMidiMessage (i)->getRawData()[7]);

        return result;
    }

    juce::MemoryBlock recordOf (const DeviceMidiData& data)
    {
        juce::MemoryOutputStream out;
        EXPECT_TRUE (data.writeToStream (out));
        return out.getMemoryBlock();
    }

    template <typename T>
    bool readRecord (T& target, const juce::MemoryBlock& block, int skip)
    {
        juce::MemoryInputStream in (block, false);
        in.skipNextBytes (skip);
        return target.readFromStream (in);
    }
}

TEST (PresetName, NameRules)
{
    auto caps = smallCaps();
    auto p = makePreset (caps, 3, "Warm", 1);
    EXPECT_EQ (p->getName(), "Warm");

    const auto md5 = p->getMD5();
    EXPECT_TRUE (p->setName ("Warm"));
    EXPECT_FALSE (p->isModified());
    EXPECT_EQ (p->getMD5(), md5);

    EXPECT_TRUE (p->setName (juce::String::fromUTF8 ("Caf\xc3\xa9 Bar")));
    EXPECT_EQ (p->getName(), "Caf");
    EXPECT_TRUE (p->isModified());

    EXPECT_TRUE (p->setName ("A name much longer than fifteen"));
    EXPECT_EQ (p->getName(), "A name much lon");

    Preset unnamed (caps);
    EXPECT_FALSE (unnamed.setName ("X"));
    EXPECT_FALSE (unnamed.setNumber (4));

    PresetName n;
    n.nameLength = 8;
    const uint8_t raw[] = { 'A', 'b', 0x80, 'c' };
    n.setFromBytes (raw, 4);
    EXPECT_EQ (n.toString(), "Ab");
}

TEST (Preset, StreamRecordRoundTripsAndChecksCounts)
{
    auto caps = smallCaps();
    auto p = makePreset (caps, 4, "Stack", 2, 7);
    p->setModified (true);
    const auto record = recordOf (*p);

    // Field 1 is the caller's slot marker; the reader starts after it.
    Preset back (caps);
    ASSERT_TRUE (readRecord (back, record, 4));
    EXPECT_TRUE (back.isModified());
    EXPECT_EQ (back.getName(), "Stack");
    EXPECT_EQ (back.getNumber(), 4);
    EXPECT_EQ (back.getStepValues (1), (juce::Array<int> { 17, 18, 19, 20 }));
    EXPECT_EQ (back.getMD5(), p->getMD5());

    // Two steps of three packets expect six; five is incomplete and refused.
    caps.numSyxPackagesPerPresetStep = 3;
    Preset wrongShape (caps);
    EXPECT_FALSE (readRecord (wrongShape, record, 4));
    EXPECT_EQ (wrongShape.getExpectedNumMessages(), 6);
}

TEST (Preset, StreamReaderRefusesCorruptRecords)
{
    const auto caps = smallCaps();
    const auto record = recordOf (*makePreset (caps, 4, "Stack", 2));
    const auto* bytes = static_cast<const uint8_t*> (record.getData());

    auto patched = [&] (int offset, int32_t value)
    {
        juce::MemoryBlock copy (record);
        juce::ByteOrder::littleEndianInt (&value);
        copy.copyFrom (&value, offset, 4);
        return copy;
    };

    // Offsets: 4 count, 8 flag, 9 reserved, 13 hasName, 14 number, 18 version, 22 nameLength.
    const int secondCount = 14 + 12 + 15 + 8;
    const int firstPacketSize = secondCount + 4;
    ASSERT_EQ ((int) juce::ByteOrder::littleEndianInt (bytes + secondCount), 4);

    Preset target (caps);
    EXPECT_FALSE (readRecord (target, patched (22, 0x7FFFFFF0), 4));            // name length
    EXPECT_FALSE (readRecord (target, patched (22, -3), 4));
    EXPECT_FALSE (readRecord (target, patched (4, 0x7FFFFFFF), 4));             // counts differ
    EXPECT_FALSE (readRecord (target, patched (firstPacketSize, 0x7FFFFFFF), 4)); // packet beyond the data
    EXPECT_FALSE (readRecord (target, patched (firstPacketSize, 0), 4));

    juce::MemoryBlock truncated (record.getData(), record.getSize() - 3);
    EXPECT_FALSE (readRecord (target, truncated, 4));

    // A huge count with matching fields ends as soon as the data does.
    auto huge = patched (4, 0x7FFFFFFF);
    int32_t big = 0x7FFFFFFF;
    huge.copyFrom (&big, secondCount, 4);
    EXPECT_FALSE (readRecord (target, huge, 4));

    // Without packets per step any step count expects no packets; a negative one
    // must still be refused, or later step edits overflow on it.
    auto noPackets = caps;
    noPackets.numSyxPackagesPerPresetStep = 0;
    Preset negative (noPackets);
    auto header = makePreset (caps, 4, "Neg", 0)->getNameBlock();
    header.numSteps = -5;
    negative.setNameBytes (header);
    Preset negativeBack (noPackets);
    EXPECT_FALSE (readRecord (negativeBack, recordOf (negative), 4));
}

TEST (Preset, StepEdits)
{
    const auto caps = smallCaps();   // at most 5 steps
    const auto source = makePreset (caps, 1, "Src", 3, 1000);

    auto p = makePreset (caps, 2, "Dst", 4);
    EXPECT_EQ (p->insertSteps (*source, 1, indices ({ 0, 2 })), 2);
    EXPECT_EQ (stepMarks (*p), (juce::Array<int> { 0, 1000, 1020, 10, 20 }));
    EXPECT_EQ (packetIndices (*p), (juce::Array<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }));
    EXPECT_TRUE (p->isModified());

    // A full preset takes nothing at its end.
    EXPECT_EQ (p->insertSteps (*source, -1, indices ({ 0 })), 0);
    EXPECT_EQ (p->getNumSteps(), 5);

    auto q = makePreset (caps, 2, "Dst", 2);
    EXPECT_EQ (q->appendAllSteps (*source), 3);
    EXPECT_EQ (stepMarks (*q), (juce::Array<int> { 0, 10, 1000, 1010, 1020 }));
    EXPECT_EQ (q->appendAllSteps (*source), 0);

    const auto remaining = q->removeSteps (indices ({ 1, 3 }));
    EXPECT_EQ (remaining.size(), 3);
    EXPECT_EQ (remaining[0], 0);
    EXPECT_EQ (remaining[1], 2);
    EXPECT_EQ (remaining[2], 4);
    EXPECT_EQ (stepMarks (*q), (juce::Array<int> { 0, 1000, 1020 }));
    EXPECT_EQ (packetIndices (*q), (juce::Array<int> { 0, 1, 2, 3, 4, 5 }));
    EXPECT_TRUE (q->isComplete());

    EXPECT_TRUE (q->setStepValues (3, { 5, 6, 7, 8 }));
    EXPECT_EQ (q->getNumSteps(), 4);
    EXPECT_TRUE (q->setStepValues (0, { 9, 9, 9 }));
    EXPECT_EQ (q->getStepValues (0), (juce::Array<int> { 9, 9, 9, 0 }));

    // Values for only one of the step's two packets leave the step as it was.
    EXPECT_FALSE (q->setStepValues (1, { 9, 9 }));
    EXPECT_EQ (q->getStepValues (1)[0], 1000);
    EXPECT_FALSE (q->setStepValues (0, { 1, 2, 3, 4, 5 }));
    EXPECT_FALSE (q->setStepValues (6, { 1 }));
}

TEST (Preset, StepCountOverTheLimitNeverGoesNegative)
{
    auto caps = smallCaps();
    const auto source = makePreset (caps, 1, "Src", 1);
    auto p = makePreset (caps, 2, "Dst", 4);

    // The product now allows fewer steps than the preset already has.
    caps.maxPresetSteps = 2;
    p->setCapsBlock (caps);
    const auto before = stepMarks (*p);

    EXPECT_EQ (p->insertSteps (*source, -1, indices ({ 0 })), 0);
    EXPECT_EQ (p->insertSteps (*source, 3, indices ({ 0 })), 0);
    EXPECT_EQ (p->getNumSteps(), 4);
    EXPECT_EQ (stepMarks (*p), before);
}

TEST (Preset, FailedReplaceChangesNothing)
{
    const auto caps = smallCaps();
    auto p = makePreset (caps, 2, "Dst", 2);
    auto half = makePreset (caps, 1, "Half", 1, 500);
    half->removeSteps ({});

    // A source whose step lacks its second packet.
    Preset partial (caps);
    auto header = half->getNameBlock();
    partial.setNameBytes (header);
    partial.addMidiMessage (*half->getMidiMessage (0));
    p->setModified (false);
    const auto before = p->getMD5();

    EXPECT_FALSE (p->replaceStep (partial, 1));
    EXPECT_EQ (p->getMD5(), before);
    EXPECT_FALSE (p->isModified());

    EXPECT_TRUE (p->replaceStep (*half, 1));
    EXPECT_EQ (stepMarks (*p), (juce::Array<int> { 0, 500 }));
    EXPECT_EQ (packetIndices (*p), (juce::Array<int> { 0, 1, 2, 3 }));
}

TEST (Preset, FarOffSourceStepsAddNothing)
{
    const auto source = makePreset (smallCaps(), 1, "Src", 2);
    auto p = makePreset (smallCaps(), 2, "Dst", 1);
    juce::SparseSet<int> far;
    far.addRange ({ 0x40000000, 0x40000001 });

    EXPECT_EQ (p->appendSteps (*source, far), 1);
    EXPECT_EQ (p->getNumMidiMessages(), 2);
    EXPECT_FALSE (p->isComplete());
}

TEST (Preset, RemoveIgnoresStepsOutsideThePreset)
{
    auto p = makePreset (smallCaps(), 2, "Dst", 3);
    const auto remaining = p->removeSteps (indices ({ -2, 1, 3, 40 }));
    EXPECT_EQ (remaining.size(), 2);
    EXPECT_EQ (stepMarks (*p), (juce::Array<int> { 0, 20 }));
    EXPECT_TRUE (p->isComplete());
}

TEST (Preset, ContentMd5)
{
    const auto caps = smallCaps();
    auto a = makePreset (caps, 2, "Same", 2);
    auto b = makePreset (caps, 2, "Same", 2);
    b->setModified (true);
    EXPECT_EQ (a->getMD5(), b->getMD5());

    // The md5 of the packet digests followed by the digest of the name record.
    juce::MemoryOutputStream digests, nameRecord;

    for (int i = 0; i < a->getNumMidiMessages(); ++i)
        digests.write (juce::MD5 (a->getMidiMessage (i)->getRawData(), (size_t) a->getMidiMessage (i)->getRawDataSize()).getChecksumDataArray(), 16);

    a->getNameBlock().writeRecord (nameRecord);
    digests.write (juce::MD5 (nameRecord.getData(), nameRecord.getDataSize()).getChecksumDataArray(), 16);
    EXPECT_EQ (a->getMD5String(), juce::MD5 (digests.getData(), digests.getDataSize()).toHexString());

    b->setName ("Other");
    EXPECT_NE (a->getMD5(), b->getMD5());
}

TEST (SetupData, RecordsValuesAndCompleteness)
{
    const auto caps = smallCaps();
    auto setup = makeSetup (caps);
    EXPECT_TRUE (setup.isComplete());
    EXPECT_EQ (setup.getValues(), (juce::Array<int> { 1, 2, 3, 4 }));

    SetupData back (caps);
    ASSERT_TRUE (readRecord (back, recordOf (setup), 0));
    EXPECT_FALSE (back.isModified());
    EXPECT_EQ (back.getSetupDataVersion(), 5);
    EXPECT_EQ (back.getMD5(), setup.getMD5());

    SetupData empty (caps);
    EXPECT_EQ (recordOf (empty).getSize(), 4u);
    ASSERT_TRUE (readRecord (back, recordOf (empty), 0));
    EXPECT_EQ (back.getNumMidiMessages(), 0);
    EXPECT_FALSE (back.isModified());
    EXPECT_EQ (back.getSetupDataVersion(), -1);

    // One packet short: refused, and what was read stays flagged.
    auto oneShort = recordOf (setup);
    int32_t one = 1;
    oneShort.copyFrom (&one, 4, 4);
    EXPECT_FALSE (readRecord (back, oneShort, 0));
    EXPECT_TRUE (back.isModified());

    SetupData fresh (caps);
    EXPECT_FALSE (fresh.setValues ({ 1, 2, 3, 4 }));   // no version yet
    fresh.setSetupDataVersion (5);
    EXPECT_TRUE (fresh.setValues ({ 4, 3, 2, 1 }));
    EXPECT_NE (fresh.getMD5(), setup.getMD5());
    EXPECT_FALSE (fresh.setValues ({ 1, 2, 3, 4, 5 }));

    // Too few values for the packet count: the packets go, and so does their md5.
    auto cut = makeSetup (caps);
    (void) cut.getMD5();
    EXPECT_FALSE (cut.setValues ({ 1 }));
    EXPECT_EQ (cut.getNumMidiMessages(), 0);
    EXPECT_EQ (cut.getMD5(), SetupData (caps).getMD5());

    EXPECT_TRUE (setup.isCompatible (fresh));
    fresh.setSetupDataVersion (6);
    EXPECT_FALSE (setup.isCompatible (fresh));
}
