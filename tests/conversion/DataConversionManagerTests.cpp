#include "ConversionTestData.h"

#include "support/ContentFixture.h"
#include "content/ProductDocumentCache.h"
#include "conversion/ConversionJob.h"
#include "conversion/DataConversionManager.h"
#include "conversion/ScriptSandbox.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "support/OddFiles.h"

using namespace ConversionTestData;
using Bits = std::vector<int>;

namespace
{
    struct IdleThread : public juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    };

    /** Records listener calls, shared by several listeners to see their order. */
    struct CallLog : public DataConversionManager::Listener
    {
        CallLog (juce::StringArray& l, const char* n) : log (l), name (n) {}

        void conversionProgress (int done, int total) override  { log.add (name + juce::String (done) + "/" + juce::String (total)); }
        void conversionFinished() override                      { log.add (name + "finished"); }

        juce::StringArray& log;
        juce::String name;
    };

    Bits setBits (const ConversionResult& result)
    {
        Bits bits;
        for (int i = 0; i < 64; ++i)
            if (result.isBitSet (i))
                bits.push_back (i);
        return bits;
    }

    /** A header like the source's, for another block and format version. */
    PresetName headerFor (const Preset& source, const CapsBlock& block, int version, int tags)
    {
        PresetName header;
        header.number = source.getNumber();
        header.formatVersion = version;
        header.nameLength = block.presetNameLength;
        header.tags = tags;
        header.numSteps = 0;
        const auto name = source.getName();
        header.setFromBytes (reinterpret_cast<const uint8_t*> (name.toRawUTF8()), name.length());
        return header;
    }

    // What the sample content's scripts do, written out once more.
    std::unique_ptr<Preset> vesperFormat4 (const Preset& source, const CapsBlock& block)
    {
        auto preset = std::make_unique<Preset> (block);
        preset->setNameBytes (headerFor (source, block, 4, source.getTags()));

        for (int s = 0; s < source.getNumSteps(); ++s)
        {
            auto values = source.getStepValues (s);
            values.set (14, 100);
            values.set (15, values[15] * 8);
            preset->setStepValues (s, values);
        }
        return preset;
    }

    std::unique_ptr<Preset> quillFormat2 (const Preset& vesper4, const CapsBlock& block)
    {
        auto preset = std::make_unique<Preset> (block);
        preset->setNameBytes (headerFor (vesper4, block, 2, 0));

        auto values = vesper4.getStepValues (0);
        values.set (15, values[15] / 8);
        preset->setStepValues (0, values);
        return preset;
    }
}

class DataConversion : public ContentFixture
{
protected:
    static constexpr int vesperOld = 120, vesperNew = 140, quillOld = 210, quillNew = 250;

    void SetUp() override
    {
        ContentFixture::SetUp();
        served = copyContentTree();

        auto& content = startCatalogueQuietly();
        for (auto product : { vesper, quill })
        {
            ASSERT_TRUE (content.downloadProductContent (product, &worker));
        }

        manager = std::make_unique<DataConversionManager> (content);
    }

    void TearDown() override
    {
        manager.reset();
        DataConversionManager::setScriptTimeLimit (60000);
        ContentFixture::TearDown();
    }

    CapsBlock capsAt (int productId, int build) const
    {
        return DeviceProfiler::createCaps (*catalogue, productId, build)->caps;
    }

    static juce::File script (const char* product, const char* name)
    {
        return productFolder (product).getChildFile ("js").getChildFile (name);
    }

    static void replaceScript (const char* name, const juce::String& text)
    {
        ASSERT_TRUE (script ("Vesper", name).replaceWithText (text));
    }

    /** A Vesper unit of the older firmware with presets in the given slots. */
    std::unique_ptr<DeviceData> vesperUnit (const juce::Array<int>& slots)
    {
        return makeDeviceData (capsAt (vesper, vesperOld), vesperOld, slots);
    }

    static juce::File presetScript()    { return script ("Vesper", "vesper_preset_3_to_4.js"); }

    std::unique_ptr<DeviceData> convertToNewer (const DeviceData& source)
    {
        return manager->convertDeviceData (source, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew));
    }

    static ConversionRule vesperPresetStep (const juce::File& file, int targetVersion = 4)
    {
        ConversionRule step;
        step.kind = ConversionRule::presetData;
        step.sourceProductId = step.targetProductId = (uint8_t) vesper;
        step.sourceVersion = 3;
        step.targetVersion = targetVersion;
        step.scriptFile = file.getFullPathName();
        return step;
    }

    juce::File served;
    IdleThread worker;
    std::unique_ptr<DataConversionManager> manager;
};

//==============================================================================
TEST_F (DataConversion, ChainsFollowTheCheapestRulesAcrossProducts)
{
    juce::Array<ConversionRule> steps;

    ASSERT_TRUE (manager->findConversionChain (steps, vesper, 3, quill, 2, ConversionRule::presetData));
    ASSERT_EQ (steps.size(), 2);
    EXPECT_EQ (steps[0].scriptFile, script ("Vesper", "vesper_preset_3_to_4.js").getFullPathName());
    EXPECT_EQ (steps[1].scriptFile, script ("Vesper", "vesper_preset_4_to_quill_duo_2.js").getFullPathName());
    EXPECT_EQ (steps[1].targetProductId, quill);
    EXPECT_EQ (steps[1].cost, 5);
    EXPECT_TRUE (steps[1].script.isEmpty());

    EXPECT_TRUE (manager->findConversionChain (steps, quill, 7, quill, 7, ConversionRule::presetData));
    EXPECT_TRUE (steps.isEmpty()) << "equal pairs need no step, even without rules";

    EXPECT_FALSE (manager->findConversionChain (steps, vesper, 2, quill, 2, ConversionRule::setupData));
    EXPECT_FALSE (manager->findConversionChain (steps, quill, 2, vesper, 4, ConversionRule::presetData));
    EXPECT_TRUE (steps.isEmpty());

    EXPECT_TRUE (manager->checkConversion (vesper, 3, quill, 2, ConversionRule::presetData));
    EXPECT_FALSE (manager->checkConversion (vesper, 2, quill, 2, ConversionRule::setupData));
    EXPECT_EQ (setBits (manager->getResult()), Bits { 0 });
}

TEST_F (DataConversion, RuleDocumentsWithNegativeOrHugeCostsCannotHangTheSearch)
{
    // A self-rule of cost -1 and a pair 3 -> 4 (1) with 4 -> 3 (-5), served
    // and read like any downloaded document.
    const juce::String script = "script=\"${SERVER}/Belvora2/Vesper/js/vesper_preset_3_to_4.js\"/>\n";
    for (auto* file : { "Belvora2/Vesper/rules.xml", "Belvora2/masterDescriptor.xml" })
    {
        auto f = served.getChildFile (file);
        ASSERT_TRUE (f.replaceWithText (f.loadFileAsString().replace ("vesper-rules-2", "vesper-rules-3")
                                          .replace ("<rulesKey>vesper-rules-3</rulesKey>",
                                                    "<rulesKey>vesper-rules-3</rulesKey>\n"
                                                    "<preset source=\"3\" target=\"3\" cost=\"-1\" " + script
                                                    + "<preset source=\"4\" target=\"3\" cost=\"-5\" " + script
                                                    + "<preset source=\"4\" target=\"9\" cost=\"99999999999\" " + script)));
    }

    manager.reset();
    auto& content = startCatalogueQuietly();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    manager = std::make_unique<DataConversionManager> (content);
    ASSERT_TRUE (productFolder ("Vesper").getChildFile ("rules.xml").loadFileAsString().contains ("cost=\"-5\""));
    EXPECT_EQ (content.getConversionRules (vesper, ConversionRule::presetData).size(), 2);

    juce::Array<ConversionRule> steps;
    EXPECT_TRUE (manager->findConversionChain (steps, vesper, 3, vesper, 4, ConversionRule::presetData));
    EXPECT_EQ (steps.size(), 1);
    EXPECT_FALSE (manager->findConversionChain (steps, vesper, 4, vesper, 3, ConversionRule::presetData));
}

//==============================================================================
TEST_F (DataConversion, WholeUnitConvertsToTheNewerFirmware)
{
    auto source = vesperUnit ({ 1, 2, 5, 19 });
    juce::StringArray log;
    CallLog first (log, "a:"), second (log, "b:");
    manager->addListener (&first);
    manager->addListener (&second);
    manager->addListener (&first);

    auto target = convertToNewer (*source);
    ASSERT_NE (target, nullptr);
    EXPECT_TRUE (setBits (manager->getResult()).empty()) << manager->getResult().getErrorText();

    const auto block = capsAt (vesper, vesperNew);
    EXPECT_EQ (target->getCapsBlock(), block);
    EXPECT_EQ (target->getFirmwareVersion().build, vesperNew);
    EXPECT_EQ (target->getUsedPresetIndices(), (juce::Array<int> { 1, 2, 5, 19 }));

    for (auto slot : { 1, 2, 5, 19 })
    {
        const auto* converted = target->getPreset (slot);
        const auto expected = vesperFormat4 (*source->getPreset (slot), block);
        EXPECT_EQ (converted->getMD5String(), expected->getMD5String()) << slot;
        EXPECT_EQ (converted->getName(), source->getPreset (slot)->getName());
        EXPECT_EQ (converted->getNumber(), slot);
        EXPECT_EQ (converted->getCapsBlock(), block);
        EXPECT_TRUE (converted->isComplete());
    }

    EXPECT_EQ (target->getSetup().getSetupDataVersion(), 3);
    auto setupValues = source->getSetup().getValues();
    setupValues.set (23, 440);
    EXPECT_EQ (target->getSetup().getValues(), setupValues);
    EXPECT_FALSE (target->isModified());

    EXPECT_EQ (log, (juce::StringArray { "b:1/4", "a:1/4", "b:2/4", "a:2/4", "b:3/4", "a:3/4", "b:4/4", "a:4/4",
                                         "b:finished", "a:finished" }));
}

TEST_F (DataConversion, CrossProductConversionTakesTwoStepsAndReportsTheMissingSetupChain)
{
    auto source = vesperUnit ({ 1, 4, 11 });
    auto target = manager->convertDeviceData (*source, quill, FirmwareVersion (0, 2, 5, 0, quillNew));

    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 8 }) << "presets stored, no setup chain";
    EXPECT_EQ (manager->getResult().getErrorText(), "An error occurred during setup conversion.");

    const auto vesperBlock4 = capsAt (vesper, vesperNew);
    const auto quillBlock = capsAt (quill, quillNew);
    for (auto slot : { 1, 4, 11 })
    {
        const auto expected = quillFormat2 (*vesperFormat4 (*source->getPreset (slot), vesperBlock4), quillBlock);
        EXPECT_EQ (target->getPreset (slot)->getMD5String(), expected->getMD5String()) << slot;
        EXPECT_EQ (target->getPreset (slot)->getName(), ("Preset " + juce::String (slot)).substring (0, 12));
    }

    EXPECT_FALSE (target->getSetup().isComplete());
}

TEST_F (DataConversion, QuillDuoUnitConvertsToItsNewerFirmware)
{
    const auto oldBlock = capsAt (quill, quillOld), newBlock = capsAt (quill, quillNew);
    auto source = makeDeviceData (oldBlock, quillOld, { 1, 5, 39 });

    auto target = manager->convertDeviceData (*source, quill, FirmwareVersion (0, 2, 5, 0, quillNew));
    ASSERT_NE (target, nullptr);
    EXPECT_TRUE (setBits (manager->getResult()).empty()) << manager->getResult().getErrorText();
    EXPECT_EQ (target->getNumSlots(), 50);

    for (auto slot : { 1, 5, 39 })
    {
        const auto& original = *source->getPreset (slot);
        Preset expected (newBlock);
        expected.setNameBytes (headerFor (original, newBlock, 2, original.getTags()));
        auto values = original.getStepValues (0);
        values.set (1, juce::jlimit (0, 4, values[1]));
        expected.setStepValues (0, values);
        EXPECT_EQ (target->getPreset (slot)->getMD5String(), expected.getMD5String()) << slot;
    }

    auto setupValues = source->getSetup().getValues();
    setupValues.set (23, 10);
    EXPECT_EQ (target->getSetup().getValues(), setupValues);
    EXPECT_EQ (target->getSetup().getSetupDataVersion(), 2);
}

TEST_F (DataConversion, EqualVersionsCopyTheUnitAndAUnitWithoutPresetsConvertsOnlyItsSetup)
{
    auto source = vesperUnit ({ 0, 3, 7 });
    juce::StringArray log;
    CallLog listener (log, "");
    manager->addListener (&listener);

    auto target = manager->convertDeviceData (*source, vesper, FirmwareVersion (0, 1, 2, 0, vesperOld));
    ASSERT_NE (target, nullptr);
    EXPECT_TRUE (setBits (manager->getResult()).empty());
    for (auto slot : { 0, 3, 7 })
        EXPECT_EQ (target->getPreset (slot)->getMD5String(), source->getPreset (slot)->getMD5String());
    EXPECT_EQ (target->getSetup().getMD5String(), source->getSetup().getMD5String());
    EXPECT_EQ (log, (juce::StringArray { "1/3", "2/3", "3/3", "finished" }));

    log.clear();
    source = vesperUnit ({});
    target = manager->convertDeviceData (*source, quill, FirmwareVersion (0, 2, 5, 0, quillNew));
    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 0 }) << "no setup chain and no presets";

    target = convertToNewer (*source);
    ASSERT_NE (target, nullptr);
    EXPECT_TRUE (setBits (manager->getResult()).empty());
    EXPECT_EQ (target->getSetup().getSetupDataVersion(), 3);
    EXPECT_EQ (log, juce::StringArray { "finished" });
}

TEST_F (DataConversion, MissingChainOrCapabilitiesFailTheJob)
{
    auto quillUnit = makeDeviceData (capsAt (quill, quillNew), quillNew, { 2 });

    EXPECT_EQ (manager->convertDeviceData (*quillUnit, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew)), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 0 });
    EXPECT_EQ (manager->getResult().getErrorText(), "There are insufficient definitions available to perform the conversion.");

    EXPECT_EQ (manager->convertDeviceData (*quillUnit, 0, FirmwareVersion (0, 1, 4, 0, vesperNew)), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 3 });
}

//==============================================================================
TEST_F (DataConversion, ScriptFailuresEndInExecutionAndInternalBits)
{
    auto source = vesperUnit ({ 1, 2 });
    const FirmwareVersion newer (0, 1, 4, 0, vesperNew);

    const std::pair<const char*, const char*> cases[] = {
        { "var a = ;",                                       "" },
        { "undefinedFunction();",                            "" },
        { "Belvora.scriptError ('Preset ' + 1 + ' is odd.');", "Preset 1 is odd." },
        { "Belvora.scriptError();",                          "Unspecified error." },
    };

    for (auto& [code, text] : cases)
    {
        replaceScript ("vesper_preset_3_to_4.js", code);
        EXPECT_EQ (manager->convertDeviceData (*source, vesper, newer), nullptr) << code;
        EXPECT_EQ (setBits (manager->getResult()), (Bits { 16, 31 })) << code;

        const auto error = manager->getResult().getErrorText();
        if (*text != 0)
            EXPECT_EQ (error, text);
        else
            EXPECT_TRUE (error.startsWith ("Line 1")) << error;
    }

    // An empty error text is no error.
    replaceScript ("vesper_preset_3_to_4.js", "Belvora.scriptError ('');");
    auto target = manager->convertDeviceData (*source, vesper, newer);
    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 5 }) << "the script wrote no preset";
}

TEST_F (DataConversion, RunawayScriptIsStoppedAtTheTimeLimit)
{
    DataConversionManager::setScriptTimeLimit (300);
    replaceScript ("vesper_setup_2_to_3.js", "var i = 0; while (true) { ++i; }");

    auto source = vesperUnit ({});
    auto target = convertToNewer (*source);

    ASSERT_NE (target, nullptr) << "a failed setup does not end the job";
    EXPECT_EQ (setBits (manager->getResult()), (Bits { 9, 16, 31 }));
    EXPECT_TRUE (manager->getResult().getErrorText().contains ("timed-out")) << manager->getResult().getErrorText();
    EXPECT_FALSE (target->getSetup().isComplete());
}

TEST_F (DataConversion, StepsReportMissingEmptyOrUnprofiledScripts)
{
    auto preset = makePreset (capsAt (vesper, vesperOld), 3, "Lead", 2);
    const auto missing = TestEnvironment::getHome().getChildFile ("missing.js");
    const auto empty = TestEnvironment::getHome().getChildFile ("empty.js");
    ASSERT_TRUE (empty.replaceWithText (""));

    EXPECT_EQ (manager->convertPreset (*preset, { vesperPresetStep (missing) }), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 1 });
    EXPECT_EQ (manager->getResult().getErrorText(), "The conversion definition is invalid.");

    EXPECT_EQ (manager->convertPreset (*preset, { vesperPresetStep (empty) }), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 2 });

    // Broken UTF-8 (here a Latin-1 byte, then a cut sequence) is no script text and never runs.
    const auto broken = TestEnvironment::getHome().getChildFile ("broken.js");
    for (const char* tail : { "// caf\xe9 au lait", "// \xe2" })
    {
        const juce::String text ("Belvora.scriptError ('ran');\n");
        juce::MemoryBlock bytes (text.toRawUTF8(), text.getNumBytesAsUTF8());
        bytes.append (tail, std::strlen (tail));
        ASSERT_TRUE (broken.replaceWithData (bytes.getData(), bytes.getSize()));

        EXPECT_EQ (manager->convertPreset (*preset, { vesperPresetStep (broken) }), nullptr) << tail;
        EXPECT_EQ (setBits (manager->getResult()), Bits { 2 }) << tail;
    }

    // A pipe, a folder or a huge file where the script belongs is no script, and is never waited on or read whole.
    const auto odd = TestEnvironment::getHome().getChildFile ("odd.js");
    for (auto kind : OddFiles::allKinds)
    {
        ASSERT_TRUE (OddFiles::put (kind, odd));
        bool converted = true;
        OddFiles::expectEndsBounded (kind, odd, [&] { converted = manager->convertPreset (*preset, { vesperPresetStep (odd) }) != nullptr; }, "a script");
        EXPECT_FALSE (converted) << OddFiles::nameOf (kind);
        EXPECT_NE (setBits (manager->getResult()), Bits {}) << OddFiles::nameOf (kind);
    }

    odd.deleteRecursively();

    // No build profile holds preset format 9: the base definition's block is not one for it.
    EXPECT_EQ (manager->convertPreset (*preset, { vesperPresetStep (presetScript(), 9) }), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 3 });

    manager->clearResult();
    EXPECT_FALSE (manager->checkConversion (vesper, 3, vesper, 9, ConversionRule::presetData));
    EXPECT_FALSE (manager->checkConversion (vesper, 3, vesper, 4, ConversionRule::presetData)) << "bits are not cleared first";
    manager->clearResult();
    EXPECT_TRUE (manager->checkConversion (vesper, 3, vesper, 4, ConversionRule::presetData));
}

TEST_F (DataConversion, ScriptAsLargeAsADownloadTakesIsReadAndOneByteMoreIsNeitherTakenNorKept)
{
    // The served script, grown by a comment to exactly the limit.
    const auto file = served.getChildFile ("Belvora2/Vesper/js/vesper_preset_3_to_4.js");
    const auto text = file.loadFileAsString() + "\n//" + juce::String::repeatedString ("x", (int) platform::DownloadPolicy::maxScriptBytes);
    ASSERT_TRUE (file.replaceWithData (text.toRawUTF8(), (size_t) platform::DownloadPolicy::maxScriptBytes) && presetScript().deleteFile());
    ASSERT_TRUE (catalogue->downloadProductContent (vesper, &worker));
    EXPECT_NE (manager->convertPreset (*makePreset (capsAt (vesper, vesperOld), 3, "Lead", 2), { vesperPresetStep (presetScript()) }), nullptr);

    ASSERT_TRUE (file.appendText ("x") && presetScript().deleteFile());
    EXPECT_FALSE (catalogue->downloadProductContent (vesper, &worker));
    ASSERT_TRUE (file.copyFileTo (presetScript()));
    EXPECT_FALSE (catalogue->isContentComplete (vesper, ContentManager::conversionRules));
}

TEST_F (DataConversion, ConvertedPresetKeepsItsWholeHeaderTakesItsSlotNumberAndSeesTheUnit)
{
    // Copies the steps, numbers the preset 99, takes its tags from the setup and preset 1.
    replaceScript ("vesper_preset_3_to_4.js",
                   "if (ReferenceData.getProductId() === undefined) Belvora.scriptError ('No unit.');"
                   "var h = PresetConversion.getHeader(); var n = h.steps;"
                   "h.number = 99; h.version = 4; h.steps = 0;"
                   "h.tags = ReferenceData.getSetup()[0] + ReferenceData.getPreset (1).steps + (ReferenceData.isPresetAvailable (9) ? 1000 : 0);"
                   "PresetConversion.setHeader (h);"
                   "for (var s = 0; s < n; ++s) PresetConversion.setStep (PresetConversion.getStep (s), s);");

    auto source = vesperUnit ({ 1, 6 });
    auto target = convertToNewer (*source);
    ASSERT_NE (target, nullptr);

    const auto* converted = target->getPreset (6);
    EXPECT_EQ (converted->getNumber(), 6);
    EXPECT_EQ (converted->getName(), "Preset 6");
    EXPECT_EQ (converted->getNameBlock().formatVersion, 4);
    EXPECT_EQ (converted->getTags(), source->getSetup().getValues()[0] + 2);

    // Outside a whole-unit job there is no unit to see.
    EXPECT_EQ (manager->convertPreset (*source->getPreset (6), { vesperPresetStep (presetScript()) }), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), (Bits { 16, 31 }));
    EXPECT_EQ (manager->getResult().getErrorText(), "No unit.");
}

TEST_F (DataConversion, PresetsAScriptLeftUnfinishedAreNeverStored)
{
    auto source = vesperUnit ({ 1, 2 });   // two and three steps

    // A header that promises steps the script never wrote.
    replaceScript ("vesper_preset_3_to_4.js", "var h = PresetConversion.getHeader(); h.version = 4; PresetConversion.setHeader (h);");
    EXPECT_EQ (convertToNewer (*source), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 7 });
    EXPECT_EQ (manager->getResult().getErrorText(), "An error occurred during preset conversion.");

    // Nothing written: an empty preset of the target format, which no slot takes.
    replaceScript ("vesper_preset_3_to_4.js", "// nothing");
    const auto single = manager->convertPreset (*source->getPreset (1), { vesperPresetStep (presetScript()) });
    ASSERT_NE (single, nullptr);
    EXPECT_FALSE (single->hasName());
    EXPECT_EQ (single->getCapsBlock(), capsAt (vesper, vesperNew));
    EXPECT_TRUE (setBits (manager->getResult()).empty());

    auto target = convertToNewer (*source);
    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 5 });
    EXPECT_TRUE (target->getUsedPresetIndices().isEmpty());
    EXPECT_TRUE (target->getSetup().isComplete());

    // A setup given its version but not its values is refused too, not stored half-made.
    replaceScript ("vesper_setup_2_to_3.js", "SetupConversion.setVersion (3);");
    target = convertToNewer (*vesperUnit ({}));
    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { 9 });
    EXPECT_EQ (target->getSetup().getNumMidiMessages(), 0);
}

//==============================================================================
TEST_F (DataConversion, RunawayScriptsFailTheirStepAndLaterJobsStillRun)
{
    if (! ScriptSandbox::runsInChildProcess())
        GTEST_SKIP() << "no child process here to hold the limits";

    auto source = vesperUnit ({ 1, 2 });
    const auto setupScript = script ("Vesper", "vesper_setup_2_to_3.js").loadFileAsString();
    const auto presetScriptText = presetScript().loadFileAsString();
    const juce::StringArray fromOutside { ScriptRunner::outOfMemoryMessage, "The script crashed the script engine." };

    // A failed setup does not end the job; a failed preset does.
    replaceScript ("vesper_setup_2_to_3.js", "var n = 2000000000; var a = []; a[n] = 1;");
    auto target = convertToNewer (*source);
    ASSERT_NE (target, nullptr);
    EXPECT_EQ (setBits (manager->getResult()), (Bits { 9, 16, 31 }));
    EXPECT_TRUE (fromOutside.contains (manager->getResult().getErrorText())) << manager->getResult().getErrorText();
    EXPECT_EQ (target->getUsedPresetIndices(), (juce::Array<int> { 1, 2 }));

    replaceScript ("vesper_preset_3_to_4.js", "var s = 'xxxxxxxx';" + juce::String::repeatedString ("s = s + s;", 40));
    EXPECT_EQ (convertToNewer (*source), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), (Bits { 16, 31 }));
    EXPECT_TRUE (fromOutside.contains (manager->getResult().getErrorText())) << manager->getResult().getErrorText();

    replaceScript ("vesper_setup_2_to_3.js", setupScript);
    replaceScript ("vesper_preset_3_to_4.js", presetScriptText);
    ASSERT_NE (convertToNewer (*source), nullptr);
    EXPECT_TRUE (setBits (manager->getResult()).empty());
}

TEST_F (DataConversion, StopBetweenPresetsEndsTheJobCancelledWithNothingKept)
{
    /** Stops the job after the second preset, the way a caller on another thread would. */
    struct Stopper : public CallLog
    {
        Stopper (juce::StringArray& l, std::function<void()> s) : CallLog (l, ""), stop (std::move (s)) {}

        void conversionProgress (int done, int total) override
        {
            CallLog::conversionProgress (done, total);
            if (done == 2)
                stop();
        }

        std::function<void()> stop;
    };

    auto source = vesperUnit ({ 1, 2, 5, 19 });
    juce::StringArray log;
    Stopper stopper (log, [this] { manager->stop(); });
    manager->addListener (&stopper);

    EXPECT_EQ (convertToNewer (*source), nullptr);
    EXPECT_EQ (setBits (manager->getResult()), Bits { ConversionErrorBits::cancelled });
    EXPECT_EQ (manager->getResult().getErrorText(), "The conversion was cancelled.");
    EXPECT_EQ (log, (juce::StringArray { "1/4", "2/4" }));

    // A stopped manager stays stopped.
    EXPECT_EQ (convertToNewer (*source), nullptr);
    EXPECT_TRUE (manager->getResult().wasCancelled());

    // A job on a thread that is asked to exit ends the same way.
    struct Worker : public juce::Thread
    {
        Worker() : juce::Thread ("conversion worker") {}
        void run() override  { converted = convert(); }

        std::function<std::unique_ptr<DeviceData>()> convert;
        std::unique_ptr<DeviceData> converted;
    };

    Worker converter;
    DataConversionManager threaded (*catalogue);
    log.clear();
    Stopper exitAsker (log, [] { juce::Thread::getCurrentThread()->signalThreadShouldExit(); });
    threaded.addListener (&exitAsker);
    converter.convert = [&] { return threaded.convertDeviceData (*source, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew)); };

    ASSERT_TRUE (converter.startThread());
    ASSERT_TRUE (converter.waitForThreadToExit (60000));
    EXPECT_EQ (converter.converted, nullptr);
    EXPECT_EQ (setBits (threaded.getResult()), Bits { ConversionErrorBits::cancelled });
    EXPECT_EQ (log, (juce::StringArray { "1/4", "2/4" }));
}

//==============================================================================
namespace
{
    /** Waits for a job's completion, which comes on the job's thread. */
    struct Completion
    {
        ConversionJob::Completion callback()
        {
            return [this] (ConversionJob::Outcome o)
            {
                outcome = std::move (o);
                thread = juce::Thread::getCurrentThreadId();
                done.signal();
            };
        }

        bool wait()     { return done.wait (120000); }

        juce::WaitableEvent done;
        ConversionJob::Outcome outcome;
        juce::Thread::ThreadID thread = nullptr;
    };

    struct ProgressSignal : public DataConversionManager::Listener
    {
        void conversionProgress (int, int) override  { progressed.signal(); }
        void conversionFinished() override          {}

        juce::WaitableEvent progressed;
    };
}

TEST_F (DataConversion, JobRunsOffTheCallingThreadAndHandsOverItsOutcome)
{
    std::shared_ptr<const DeviceData> source = vesperUnit ({ 1, 2, 5 });
    const auto expected = convertToNewer (*source);
    ASSERT_NE (expected, nullptr);

    ConversionJob job (*catalogue, source, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew));
    juce::StringArray log;
    CallLog listener (log, "");
    job.addListener (&listener);

    Completion completion;
    ASSERT_TRUE (job.start (completion.callback()));
    EXPECT_FALSE (job.start ({})) << "a job runs once";
    ASSERT_TRUE (completion.wait());

    EXPECT_NE (completion.thread, juce::Thread::getCurrentThreadId());
    ASSERT_NE (completion.outcome.converted, nullptr);
    EXPECT_FALSE (completion.outcome.result.hasErrors());
    for (auto slot : { 1, 2, 5 })
        EXPECT_EQ (completion.outcome.converted->getPreset (slot)->getMD5String(), expected->getPreset (slot)->getMD5String());
    EXPECT_EQ (log, (juce::StringArray { "1/3", "2/3", "3/3", "finished" }));
}

TEST_F (DataConversion, StoppingAJobInterruptsItsRunningScript)
{
    // Longer than the test may run: only the stop can end the loop.
    DataConversionManager::setScriptTimeLimit (10 * 60 * 1000);
    replaceScript ("vesper_preset_3_to_4.js", "if (PresetConversion.getHeader().number == 2) while (true) {}\n"
                                              + presetScript().loadFileAsString());

    std::shared_ptr<const DeviceData> source = vesperUnit ({ 1, 2, 5 });
    ConversionJob job (*catalogue, source, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew));
    ProgressSignal progress;
    job.addListener (&progress);

    Completion completion;
    ASSERT_TRUE (job.start (completion.callback()));
    ASSERT_TRUE (progress.progressed.wait (120000));   // preset 1 is done; preset 2 loops
    job.stop();
    ASSERT_TRUE (completion.wait());

    EXPECT_EQ (completion.outcome.converted, nullptr);
    EXPECT_EQ (setBits (completion.outcome.result), Bits { ConversionErrorBits::cancelled });

    // Stopped before it starts: cancelled at once.
    ConversionJob early (*catalogue, source, vesper, FirmwareVersion (0, 1, 4, 0, vesperNew));
    early.stop();
    Completion earlyCompletion;
    ASSERT_TRUE (early.start (earlyCompletion.callback()));
    ASSERT_TRUE (earlyCompletion.wait());
    EXPECT_TRUE (earlyCompletion.outcome.result.wasCancelled());
}
