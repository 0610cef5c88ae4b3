#pragma once

// Source trees of named, tagged presets for the preset search's tests and benchmark.

#include "model/DeviceData.h"
#include "model/DeviceDataArchive.h"
#include "model/SourceTree.h"
#include "../support/SmallCaps.h"   // relative: the benchmarks include this file too

#include <vector>

namespace SearchFixtures
{
    struct PresetSample
    {
        int slot;
        juce::String name;
        int tags = 0;
    };

    inline CapsBlock capsWith (int numPresets)
    {
        auto caps = smallTestCaps();
        caps.numPresets = numPresets;
        caps.presetNameLength = 24;
        return caps;
    }

    inline std::unique_ptr<Preset> makePreset (const CapsBlock& caps, const PresetSample& sample)
    {
        auto preset = std::make_unique<Preset> (caps);
        PresetName header;
        header.number = sample.slot;
        header.formatVersion = caps.presetVersion;
        header.nameLength = caps.presetNameLength;
        header.tags = sample.tags;
        const auto ascii = sample.name.toStdString();
        header.setFromBytes (reinterpret_cast<const uint8_t*> (ascii.data()), (int) ascii.size());
        preset->setNameBytes (header);
        return preset;
    }

    inline std::unique_ptr<DeviceData> makeData (const std::vector<PresetSample>& presets, int numPresets = 40)
    {
        const auto caps = capsWith (numPresets);
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 2, 0, 3, 41, 7), caps, nullptr);   // a build: saveable

        for (const auto& sample : presets)
            data->setPreset (sample.slot, makePreset (caps, sample));

        return data;
    }

    /** A "node" below parent holding a working copy of the presets. */
    inline juce::ValueTree addDataNode (juce::ValueTree parent, const juce::String& label,
                                        const std::vector<PresetSample>& presets, int numPresets = 40)
    {
        auto node = SourceTree::createDataNode (label, new DataSet (nullptr, makeData (presets, numPresets)));
        parent.appendChild (node, nullptr);
        return node;
    }

    /** A backup of the presets saved in the folder and read back as the
        program opens one: its data file's slots not read yet. */
    inline juce::ValueTree addBackupNode (juce::ValueTree parent, const juce::File& folder, const juce::String& label,
                                          const std::vector<PresetSample>& presets, int numPresets = 40)
    {
        const auto archiveFile = folder.getChildFile (label + ".xml");

        if (! DeviceDataArchive (*makeData (presets, numPresets), label, {}).save (archiveFile))
            return {};

        const auto xml = juce::XmlDocument::parse (archiveFile);

        if (xml == nullptr)
            return {};

        auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (*xml, folder));
        parent.appendChild (node, nullptr);
        return node;
    }

    /** The unit "Vesper", two backups in a group "2026" below "Backups" and a pack in "Cloud". */
    struct Tree
    {
        Tree()
        {
            auto deviceCategory = SourceTree::findNode (root, SourceTreeIds::deviceCategory);
            auto backups = SourceTree::findNode (root, SourceTreeIds::archiveCategory);
            auto cloud = SourceTree::findNode (root, SourceTreeIds::cloudCategory);
            auto group = SourceTree::createNode (SourceTreeIds::group, "2026");
            backups.appendChild (group, nullptr);

            device = addDataNode (deviceCategory, "Vesper",
                                  { { 1, "Big Reverb", 0b001 }, { 2, "Acoustic Guitar", 0b010 }, { 3, "Vox", 0 }, { 5, "Clean Double", 0b101 } });
            firstBackup = addDataNode (group, "Vesper_000001",
                                       { { 1, "Big Reverb", 0 }, { 4, "Harmony 3rds", 0b100 } });
            secondBackup = addDataNode (group, "Reverb Set",
                                        { { 2, "Plate Verb", 0b010 } });
            pack = addDataNode (cloud, "Live Vox 2.0",
                                { { 1, "Vox Stack", 0b011 }, { 7, "Big Reverb", 0b001 } });
        }

        juce::Array<juce::ValueTree> devices() const   { return { device }; }
        juce::Array<juce::ValueTree> backups() const   { return { firstBackup, secondBackup }; }
        juce::Array<juce::ValueTree> clouds() const    { return { pack }; }

        juce::ValueTree root { SourceTree::createRoot ("Vesper", true) };
        juce::ValueTree device, firstBackup, secondBackup, pack;
    };
}
