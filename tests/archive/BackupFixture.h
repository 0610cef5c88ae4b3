#pragma once

#include "base/BelvoraPaths.h"
#include "archive/LocalArchiveManager.h"
#include "conversion/ConversionTestData.h"
#include "conversion/DataConversionManager.h"
#include "devices/DeviceCaps.h"
#include "devices/DeviceProfiler.h"
#include "support/ContentFixture.h"

#include <juce_data_structures/juce_data_structures.h>

/** The sample product Vesper with its content (capabilities, rules and
    scripts) served locally, a clean backup folder, and helpers to store
    backups and write the backup index. Build 120 stores presets in format 3
    and setups in 2; build 140 in 4 and 3. */
class BackupFixture : public ContentFixture
{
protected:
    static constexpr int oldBuild = 120, newBuild = 140;

    struct IdleThread : public juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    };

    void SetUp() override
    {
        ContentFixture::SetUp();
        copyContentTree();

        auto& content = startCatalogueQuietly();
        ASSERT_TRUE (content.downloadProductContent (vesper, &worker));

        ASSERT_TRUE (folder().createDirectory());
    }

    void TearDown() override
    {
        manager.reset();
        DataConversionManager::setScriptTimeLimit (60000);
        ContentFixture::TearDown();
    }

    CapsBlock capsAt (int build) const
    {
        return DeviceProfiler::createCaps (*catalogue, vesper, build)->caps;
    }

    static FirmwareVersion versionOf (int build)
    {
        return FirmwareVersion (0, 1, build / 10 % 10, 0, build);
    }

    static juce::File indexFile()
    {
        return juce::File (BelvoraPaths::getBackupIndexFile ("Vesper"));
    }

    /** Data of a Vesper at the build, presets named after their slot or as given. */
    std::unique_ptr<DeviceData> unitData (int build, const juce::Array<int>& slots, const juce::String& presetName = {}) const
    {
        const auto block = capsAt (build);
        auto data = ConversionTestData::makeDeviceData (block, build, slots);

        if (presetName.isNotEmpty())
            for (auto slot : slots)
                data->setPreset (slot, ConversionTestData::makePreset (block, slot, presetName.toRawUTF8(), 2));

        data->clearModified (false);
        return data;
    }

    /** A backup stored as <name>.xml and <name>.mwd in the backup folder; its archive file. */
    juce::File store (const juce::String& name, int build, const juce::String& title,
                      const juce::Array<int>& slots = { 1, 2 }, const juce::String& presetName = {}) const
    {
        DeviceDataArchive archive (*unitData (build, slots, presetName), title, "");
        const auto file = folder().getChildFile (name + ".xml");
        EXPECT_TRUE (archive.save (file));
        return file;
    }

    static juce::String entry (const juce::File& file)
    {
        return "<archive>" + file.getFullPathName() + "</archive>";
    }

    static juce::String entry (const juce::String& name)
    {
        return entry (folder().getChildFile (name + ".xml"));
    }

    static juce::File folder()   { return juce::File (BelvoraPaths::getBackupDataFolder ("Vesper")); }

    static juce::String group (const juce::String& name, const juce::String& content)
    {
        return "<group name=\"" + name + "\">" + content + "</group>";
    }

    static juce::String set (int presetVersion, int setupVersion, const juce::String& content)
    {
        return "<set presetVersion=\"" + juce::String (presetVersion) + "\" setupVersion=\"" + juce::String (setupVersion)
               + "\"><group>" + content + "</group></set>";
    }

    static void writeIndex (const juce::String& sets, int nextFileNum = 3)
    {
        ASSERT_TRUE (indexFile().replaceWithText ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BACKUP nextFileNum=\""
                                                  + juce::String (nextFileNum) + "\">" + sets + "</BACKUP>"));
    }

    LocalArchiveManager& makeManager (int build)
    {
        manager.reset();
        manager = std::make_unique<LocalArchiveManager> (*catalogue, capsAt (build), "My Vesper", notes,
                                                         [this] (int code) { fatalError = code; });
        return *manager;
    }

    /** A tree or an index group as text: labels or file names, groups as name[...]. */
    static juce::String describe (const juce::ValueTree& node)
    {
        juce::StringArray parts;
        for (const auto& child : node)
            parts.add (child[SourceTreeIds::label].toString() + (child.hasType (SourceTreeIds::group) ? "[" + describe (child) + "]" : ""));
        return parts.joinIntoString (",");
    }

    static juce::String describe (const juce::XmlElement& group)
    {
        juce::StringArray parts;
        for (auto* child : group.getChildIterator())
            parts.add (child->hasTagName ("group") ? child->getStringAttribute ("name") + "[" + describe (*child) + "]"
                                                   : juce::File (child->getAllSubText()).getFileNameWithoutExtension());
        return parts.joinIntoString (",");
    }

    /** The index on disk: "4/3{...} 3/2{...}", sets in file order. */
    static juce::String describeIndexFile()
    {
        const auto xml = juce::XmlDocument::parse (indexFile());
        if (xml == nullptr)
            return "(none)";

        juce::StringArray sets;
        for (auto* s : xml->getChildWithTagNameIterator ("set"))
            sets.add (s->getStringAttribute ("presetVersion") + "/" + s->getStringAttribute ("setupVersion") + "{"
                      + (s->getChildByName ("group") != nullptr ? describe (*s->getChildByName ("group")) : juce::String()) + "}");
        return sets.joinIntoString (" ");
    }

    /** The preset format a stored backup's data file holds now. */
    static int storedPresetVersion (const juce::String& name)
    {
        const auto data = DeviceData::loadFromFile (folder().getChildFile (name + ".mwd"));
        return data != nullptr ? data->getCapsBlock().presetVersion : -1;
    }

    /** A save handed over as the program does, waited for: whether all the tree holds is on disk. */
    static bool saveAndWait (LocalArchiveManager& backups)
    {
        const bool handedOver = backups.saveBackupIndexInBackground();
        backups.waitForBackgroundSaves();
        return handedOver && backups.getUnsaved().isEmpty();
    }

    bool waitForConversionEnd (int timeoutMs = 60000)
    {
        return TestEnvironment::runMessageLoopUntil ([this] { return notes.hasCode (DeviceInfoMessage::backupConversionDone); }, timeoutMs);
    }

    DeviceInfoMessage conversionOutcome() const
    {
        for (const auto& m : notes.get())
            if (m.code == DeviceInfoMessage::backupConversionDone)
                return m;
        return {};
    }

    int countOutcomes() const
    {
        int n = 0;
        for (const auto& m : notes.get())
            n += m.code == DeviceInfoMessage::backupConversionDone ? 1 : 0;
        return n;
    }

    /** Makes the preset script loop for ever on presets whose name holds "Hang". */
    void makeScriptHangOn (const juce::String& word) const
    {
        const auto script = productFolder ("Vesper").getChildFile ("js").getChildFile ("vesper_preset_3_to_4.js");
        ASSERT_TRUE (script.replaceWithText ("if (PresetConversion.getHeader().name.indexOf ('" + word + "') >= 0) { var i = 0; while (true) { ++i; } }\n"
                                             + script.loadFileAsString()));
    }

    /** A conversion of a1 (which converts) and then h, on which the script
        loops until the conversion is stopped. */
    LocalArchiveManager& startConversionThatHangs()
    {
        makeScriptHangOn ("Hang");
        store ("a1", oldBuild, "A1");
        store ("h", oldBuild, "H", { 1 }, "Hang");
        writeIndex (set (3, 2, entry ("a1") + entry ("h")));

        auto& backups = makeManager (newBuild);
        EXPECT_TRUE (backups.startConversion (versionOf (newBuild)));
        return backups;
    }

    IdleThread worker;
    MessageRecorder notes;
    std::unique_ptr<LocalArchiveManager> manager;
    int fatalError = 0;
};
