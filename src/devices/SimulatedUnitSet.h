#pragma once

#include "devices/SimulatedUnit.h"
#include "devices/VirtualMidiBackend.h"

#include <memory>
#include <vector>

/** Virtual MIDI ports with simulated units on them, in place of the machine's
    ports. BELVORA_SIMULATED_UNITS chooses them: a count (the sample products
    taken in turn) or a comma-separated list of product ids (decimal or 0x hex).
    With BELVORA_SIMULATED_UNITS_LOG naming a folder, each unit's received
    messages are written there as "unit-<index>.syx" when the set goes. */
class SimulatedUnitSet : public VirtualMidiBackend
{
public:
    SimulatedUnitSet() = default;
    ~SimulatedUnitSet() override;

    /** Null when the variable is not set or names no unit. */
    static std::shared_ptr<SimulatedUnitSet> createFromEnvironment();

    /** The product ids a setting stands for. */
    static juce::Array<int> parseSetting (const juce::String& setting);

    SimulatedUnit& addUnit (const SimulatedUnit::Profile& profile);
    int getNumUnits() const { return static_cast<int> (units.size()); }
    SimulatedUnit& getUnit (int index) { return *units[static_cast<size_t> (index)]; }

private:
    void writeLogs (const juce::File& folder) const;

    std::vector<std::unique_ptr<SimulatedUnit>> units;
};
