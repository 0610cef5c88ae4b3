#include "ModelFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ModelFixtures;

TEST (DeviceData, SlotsAndRanges)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 2, 5 });

    EXPECT_EQ (data->createPreset (caps.numPresets), nullptr);
    EXPECT_EQ (data->setPreset (-1, makePreset (caps, 1, "X", 1)), nullptr);
    EXPECT_FALSE (data->isModified());
    EXPECT_EQ (data->getNumSlots(), 8);

    EXPECT_EQ (data->getEmptyPresetIndices(), (juce::Array<int> { 1, 3, 4, 6, 7 }));
    data->setPreset (0, makePreset (caps, 0, "Zero", 1));
    EXPECT_EQ (data->getUsedPresetIndices(), (juce::Array<int> { 0, 2, 5 }));
    EXPECT_EQ (data->getEmptyPresetIndices(), (juce::Array<int> { 1, 3, 4, 6, 7 }));
    EXPECT_EQ (data->getNumPresets(), 3);
    EXPECT_EQ (data->getUsedPresetIndicesInRange (-4, 4), (juce::Array<int> { 0, 2 }));
    EXPECT_EQ (data->getUsedPresetIndicesInRange (3, 100), (juce::Array<int> { 5 }));
    EXPECT_EQ (data->getPresetNames ({ 2, 3, 99 }), juce::StringArray ({ "P2", "", "" }));
    EXPECT_TRUE (data->hasGaps());

    data->clearModified (false);
    data->setPresetModified (5, true);
    EXPECT_TRUE (data->isModified());
    data->setPresetModified (5, false);
    EXPECT_TRUE (data->isModified());   // clearing a preset never clears the data
}

TEST (DeviceData, ModifiedFlags)
{
    auto data = makeData (smallCaps(), { 1, 5 });
    data->setPresetModified (5, true);
    data->clearModified (true);
    EXPECT_TRUE (data->isModified());
    EXPECT_TRUE (data->isPresetModified (5));

    data->clearModified (false);
    EXPECT_FALSE (data->isModified());
    EXPECT_FALSE (data->isPresetModified (5));

    data->getSetup().setModified (true);
    EXPECT_TRUE (data->isModified());
}

TEST (DeviceData, CopiesSwapsAndTargets)
{
    const auto caps = smallCaps();
    auto a = makeData (caps, { 1, 2 });
    auto b = makeData (caps, { 3 });

    b->copyPresetTo (6, 1, *a);
    ASSERT_TRUE (b->isPresetSlotUsed (6));
    EXPECT_EQ (b->getPreset (6)->getNumber(), 6);
    EXPECT_EQ (b->getPreset (6)->getName(), "P1");
    EXPECT_TRUE (b->getPreset (6)->isModified());

    // Targets outside the slots are refused, whatever the source.
    b->clearModified (false);
    b->copyPresetTo (8, 1, *a);
    b->copyPresetTo (-1, 1, *a);
    a->setPreset (0, makePreset (caps, 0, "Zero", 1));
    auto small = caps;
    small.numPresets = 3;
    DeviceData shortData ("Vox One", FirmwareVersion(), small, nullptr);
    shortData.copyPreset (3, *b);
    EXPECT_FALSE (b->isModified());
    EXPECT_EQ (shortData.getNumPresets(), 0);

    b->copyPreset (2, *a);
    EXPECT_EQ (b->getPreset (2)->getName(), "P2");

    b->swapPresets (2, 4, *b);
    EXPECT_TRUE (b->isPresetSlotUsed (2));   // one side empty: nothing
    b->swapPresets (2, 3, *b);
    EXPECT_EQ (b->getPreset (2)->getName(), "P3");
    EXPECT_EQ (b->getPreset (2)->getNumber(), 2);
    EXPECT_EQ (b->getPreset (3)->getNumber(), 3);

    EXPECT_EQ (b->appendPresetSteps (2, 3, *b), 2);
    EXPECT_EQ (b->getPreset (2)->getNumSteps(), 4);

    auto c = makeData (caps, {}, false);
    c->copyPresetsFrom (*a);
    EXPECT_EQ (c->getUsedPresetIndices(), (juce::Array<int> { 0, 1, 2 }));
    EXPECT_TRUE (c->getSetup().isComplete());

    auto copy = a->createCopy ({ 2, 5 }, false, true);
    EXPECT_EQ (copy->getUsedPresetIndices(), (juce::Array<int> { 2 }));
    EXPECT_FALSE (copy->getSetup().isComplete());
    EXPECT_FALSE (copy->isModified());
    EXPECT_EQ (a->clone (true)->getUsedPresetIndices(), a->getUsedPresetIndices());
}

TEST (DeviceData, Setup)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, {});
    auto other = makeSetup (caps);
    other.setSetupDataVersion (6);
    EXPECT_FALSE (data->setSetup (other, true));
    EXPECT_EQ (data->getSetup().getSetupDataVersion(), 5);

    auto fresh = makeData (caps, {}, false);
    EXPECT_FALSE (fresh->setSetup (other, true));
    EXPECT_TRUE (fresh->setSetup (makeSetup (caps), true));
    EXPECT_TRUE (fresh->isModified());

    fresh->clearSetup();
    EXPECT_FALSE (fresh->getSetup().isComplete());
}

TEST (DeviceData, DefragmentKeepsOrderAndItsRange)
{
    auto data = makeData (smallCaps(), { 2, 4, 6, 7 });
    data->defragment (5);
    EXPECT_EQ (slotNames (*data), "P2 P4 - - - P6 P7");
    EXPECT_EQ (data->getPreset (1)->getNumber(), 1);
    EXPECT_EQ (data->getPreset (2)->getNumber(), 2);
    EXPECT_EQ (data->getPreset (6)->getNumber(), 6);

    data->defragment (100);
    EXPECT_EQ (slotNames (*data), "P2 P4 P6 P7 - - -");
    EXPECT_FALSE (data->hasGaps());
}

TEST (DeviceData, InsertPushesUpToTheNextGap)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 1, 2, 4 });
    auto source = makeData (caps, { 3 });
    source->getPreset (3)->setName ("X");

    EXPECT_EQ (data->getInsertIndices (1, 1), (juce::Array<int> { 1, 2, 3 }));

    // The example of slots 1 A, 2 B, 3 empty, 4 D; this used to loop for ever.
    data->insertPresets (1, { 3 }, *source);
    EXPECT_EQ (slotNames (*data), "X P1 P2 P4 - - -");
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ (data->getPreset (i)->getNumber(), i);

    // Pushed beyond the last slot: lost, and no endless loop either.
    auto full = makeData (caps, { 1, 2, 3, 4, 5, 6, 7 });
    full->insertPresets (6, { 3, 3 }, *source);
    EXPECT_EQ (slotNames (*full), "P1 P2 P3 P4 P5 X X");

    // Slot 0 is no place to insert; neither is a slot beyond the end.
    auto untouched = makeData (caps, { 1 });
    untouched->insertPresets (0, { 3 }, *source);
    untouched->insertPresets (8, { 3 }, *source);
    EXPECT_EQ (slotNames (*untouched), "P1 - - - - - -");
    EXPECT_FALSE (untouched->isModified());
}

TEST (DeviceData, InsertFromItselfTakesTheOriginals)
{
    auto data = makeData (smallCaps(), { 1, 2, 3 });
    data->insertPresets (1, { 3, 1 }, *data);
    EXPECT_EQ (slotNames (*data), "P3 P1 P1 P2 P3 - -");
}

TEST (DeviceData, FactoryReferenceAndChanges)
{
    const auto caps = smallCaps();
    auto data = makeData (caps, { 1, 2 });
    EXPECT_TRUE (data->isPresetDifferent (1));
    EXPECT_FALSE (data->isPresetDifferent (3));

    auto bank = std::make_shared<FactoryBank> (caps.numPresets);
    bank->setEntry (1, data->getPreset (1)->getMD5String());
    DeviceData withBank ("Vox One", FirmwareVersion(), caps, bank);
    withBank.setPreset (1, std::make_unique<Preset> (*data->getPreset (1)));
    withBank.copyPresetTo (2, 1, withBank);
    withBank.setPreset (2, std::make_unique<Preset> (*data->getPreset (1)));

    EXPECT_FALSE (withBank.isPresetDifferent (1));
    EXPECT_TRUE (withBank.isPresetDifferent (2));
    EXPECT_EQ (withBank.getDifferentPresetIndices(), (juce::Array<int> { 2 }));

    auto unit = makeData (caps, { 1, 2, 3 });
    auto edited = unit->clone (true);
    edited->deletePreset (3);
    edited->getPreset (2)->setName ("New");
    juce::Array<int> removed, changed;
    edited->getChangedPresetIndices (*unit, removed, changed);
    EXPECT_EQ (removed, (juce::Array<int> { 3 }));
    EXPECT_EQ (changed, (juce::Array<int> { 2 }));
}

TEST (DeviceData, OneSnapshotIsReadOnSeveralThreadsAtOnce)
{
    // A unit's thread and the interface share one const snapshot; the md5s it
    // has not computed yet are filled in by whichever reader comes first.
    const auto caps = smallCaps();
    const auto expected = makeData (caps, { 1, 2, 3, 5 });
    auto bank = std::make_shared<FactoryBank> (caps.numPresets);
    bank->setEntry (2, expected->getPreset (2)->getMD5String());

    const auto makeUnit = [&]
    {
        auto unit = std::make_unique<DeviceData> ("Vox One", FirmwareVersion (0, 2, 0, 3, 41, 7), caps, bank);

        for (auto i : { 1, 2, 3, 5 })
            unit->setPreset (i, makePreset (caps, i, "P" + juce::String (i), 2, i * 100));

        unit->setSetup (makeSetup (caps), false);
        return unit;
    };

    for (int round = 0; round < 10; ++round)
    {
        const std::shared_ptr<const DeviceData> snapshot = makeUnit();
        std::atomic<bool> go { false };
        std::atomic<int> agreed { 0 };
        std::vector<std::thread> readers;

        for (int t = 0; t < 4; ++t)
        {
            readers.emplace_back ([&, t]
            {
                while (! go.load())
                    std::this_thread::yield();

                const auto slot = 1 + t % 3;

                if (snapshot->getPreset (slot)->getMD5() != expected->getPreset (slot)->getMD5()
                     || snapshot->getSetup().getMD5() != expected->getSetup().getMD5()
                     || snapshot->getDifferentPresetIndices() != juce::Array<int> { 1, 3, 5 })
                    return;

                // Copies made meanwhile take the digests along or compute their own.
                const auto copy = snapshot->clone (t % 2 == 0);

                if (copy->getPreset (5)->getMD5String() == expected->getPreset (5)->getMD5String())
                    ++agreed;
            });
        }

        go = true;

        for (auto& r : readers)
            r.join();

        EXPECT_EQ (agreed.load(), 4);
    }

    // Copies share the factory bank and keep the maker's name.
    const auto copy = makeUnit()->clone (true);
    EXPECT_EQ (copy->getFactoryBank(), bank);
    EXPECT_EQ (copy->getProductName(), "Vox One");
    EXPECT_EQ (copy->getDifferentPresetIndices(), (juce::Array<int> { 1, 3, 5 }));
}

TEST (DeviceData, WeakReferencesTurnNull)
{
    auto data = makeData (smallCaps(), {});
    juce::WeakReference<DeviceData> ref (data.get());
    EXPECT_EQ (ref.get(), data.get());
    data.reset();
    EXPECT_EQ (ref.get(), nullptr);
}
