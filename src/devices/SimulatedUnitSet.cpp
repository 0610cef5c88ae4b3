#include "devices/SimulatedUnitSet.h"

namespace
{
    const int sampleProducts[] = { 0x12, 0x1A };
}

SimulatedUnitSet::~SimulatedUnitSet()
{
    // Tests that drive the whole program read what each unit was sent from here.
    const auto logFolder = juce::SystemStats::getEnvironmentVariable ("BELVORA_SIMULATED_UNITS_LOG", {});

    if (logFolder.isNotEmpty() && juce::File::isAbsolutePath (logFolder))
        writeLogs (juce::File (logFolder));

    units.clear();
}

void SimulatedUnitSet::writeLogs (const juce::File& folder) const
{
    if (! folder.isDirectory() && folder.createDirectory().failed())
        return;

    for (size_t i = 0; i < units.size(); ++i)
    {
        juce::MemoryOutputStream bytes;

        for (auto& message : units[i]->getLog())
            bytes.write (message.getRawData(), (size_t) message.getRawDataSize());

        folder.getChildFile ("unit-" + juce::String ((int) i) + ".syx").replaceWithData (bytes.getData(), bytes.getDataSize());
    }
}

juce::Array<int> SimulatedUnitSet::parseSetting (const juce::String& setting)
{
    juce::Array<int> ids;
    const auto text = setting.trim();

    if (text.isEmpty())
        return ids;

    if (text.containsOnly ("0123456789"))
    {
        const auto count = juce::jlimit (0, 16, text.getIntValue());

        for (int i = 0; i < count; ++i)
            ids.add (sampleProducts[i % 2]);

        return ids;
    }

    for (auto piece : juce::StringArray::fromTokens (text, ",", {}))
    {
        piece = piece.trim();
        const auto id = piece.startsWithIgnoreCase ("0x") ? piece.substring (2).getHexValue32() : piece.getIntValue();

        if (id > 0 && id < 0x7F && ids.size() < 16)
            ids.add (id);
    }

    return ids;
}

std::shared_ptr<SimulatedUnitSet> SimulatedUnitSet::createFromEnvironment()
{
    const auto ids = parseSetting (juce::SystemStats::getEnvironmentVariable ("BELVORA_SIMULATED_UNITS", {}));

    if (ids.isEmpty())
        return {};

    auto set = std::make_shared<SimulatedUnitSet>();
    juce::Array<int> seen;

    // Slow units, for tests that watch a transfer while it runs.
    SimulatedUnit::Faults faults;
    faults.presetReplyDelayMs = juce::jlimit (0, 2000, juce::SystemStats::getEnvironmentVariable ("BELVORA_SIMULATED_UNITS_PRESET_DELAY", {}).getIntValue());

    for (auto id : ids)
    {
        seen.add (id);
        set->addUnit (SimulatedUnit::sampleProfile (id, static_cast<int> (std::count (seen.begin(), seen.end(), id)))).setFaults (faults);
    }

    return set;
}

SimulatedUnit& SimulatedUnitSet::addUnit (const SimulatedUnit::Profile& profile)
{
    units.push_back (std::make_unique<SimulatedUnit> (*this, profile));
    return *units.back();
}
