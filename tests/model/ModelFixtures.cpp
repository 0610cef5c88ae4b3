#include "ModelFixtures.h"

#include "support/SmallCaps.h"

#include "support/TestEnvironment.h"

namespace ModelFixtures
{
    CapsBlock smallCaps()
    {
        return smallTestCaps();
    }

    std::vector<uint8_t> bytesOf (const juce::MidiMessage& m)
    {
        return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
    }

    std::vector<uint8_t> bytesOf (const juce::MemoryBlock& block)
    {
        const auto* b = static_cast<const uint8_t*> (block.getData());
        return { b, b + block.getSize() };
    }

    std::unique_ptr<Preset> makePreset (const CapsBlock& caps, int number, const juce::String& name, int steps, int base)
    {
        auto preset = std::make_unique<Preset> (caps);
        PresetName header;
        header.number = number;
        header.formatVersion = caps.presetVersion;
        header.nameLength = caps.presetNameLength;
        header.setFromBytes (reinterpret_cast<const uint8_t*> (name.toRawUTF8()), (int) name.getNumBytesAsUTF8());
        header.tags = 0x15;
        header.numSteps = 0;
        preset->setNameBytes (header);

        for (int s = 0; s < steps; ++s)
            preset->setStepValues (s, { base + s * 10, base + s * 10 + 1, base + s * 10 + 2, base + s * 10 + 3 });

        preset->setModified (false);
        return preset;
    }

    SetupData makeSetup (const CapsBlock& caps)
    {
        SetupData setup (caps);
        setup.setSetupDataVersion (caps.setupVersion);
        juce::Array<int> values;

        for (int i = 1; i <= caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4; ++i)
            values.add (i);

        setup.setValues (values);
        setup.setModified (false);
        return setup;
    }

    std::unique_ptr<DeviceData> makeData (const CapsBlock& caps, const juce::Array<int>& slots, bool withSetup)
    {
        auto data = std::make_unique<DeviceData> ("Vox One", FirmwareVersion (0, 2, 0, 3, 41, 7), caps, nullptr);

        for (auto i : slots)
            data->setPreset (i, makePreset (caps, i, "P" + juce::String (i), 2, i * 100));

        if (withSetup)
            data->setSetup (makeSetup (caps), false);

        data->clearModified (false);
        return data;
    }

    juce::String slotNames (const DeviceData& data)
    {
        juce::StringArray names;

        for (int i = 1; i < data.getNumSlots(); ++i)
            names.add (data.isPresetSlotUsed (i) ? data.getPreset (i)->getName() : "-");

        return names.joinIntoString (" ");
    }

    juce::File freshFolder (const juce::String& name)
    {
        auto folder = TestEnvironment::getHome().getChildFile ("model").getChildFile (name);
        folder.deleteRecursively();
        folder.createDirectory();
        return folder;
    }

    juce::File writeBytes (const juce::File& file, const std::vector<uint8_t>& bytes)
    {
        file.replaceWithData (bytes.data(), bytes.size());
        return file;
    }
}
