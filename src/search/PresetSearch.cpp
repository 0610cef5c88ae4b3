#include "search/PresetSearch.h"

#include "model/DeviceData.h"
#include "model/SourceTree.h"

namespace PresetSearch
{
    const char* getLocationName (int location)
    {
        switch (location)
        {
            case device:   return "Device";
            case backups:  return "Backups";
            case cloud:    return "Cloud";
            default:       break;
        }

        return "";
    }

    int getCategoryOrder (const juce::ValueTree& node)
    {
        const auto category = SourceTree::getCategoryOf (node).category;

        if (category == juce::var (SourceTreeIds::deviceCategory))
            return 0;

        return category == juce::var (SourceTreeIds::archiveCategory) ? 1 : 2;
    }

    juce::String locationOf (const juce::ValueTree& node, bool forPresetHit)
    {
        juce::String text;

        if (forPresetHit)
            text = node[SourceTreeIds::label].toString();

        for (auto current = node; current.isValid() && ! current.getParent().hasType (SourceTreeIds::root);)
        {
            current = current.getParent();

            if (! current.isValid())
                break;

            text = current[SourceTreeIds::label].toString() + " - " + text;
        }

        return text.endsWith (" - ") ? text.dropLastCharacters (3) : text;
    }

    Result::Result (int number, const juce::String& hitName, const juce::ValueTree& node, float score)
        : dataSet (node), rank (score), presetNumber (number), name (hitName),
          location (locationOf (node, number != dataSetHit)), categoryOrder (getCategoryOrder (node))
    {
    }

    //==============================================================================
    std::vector<Snapshot::Preset> Snapshot::presetsOf (const DeviceData& data)
    {
        std::vector<Preset> presets;
        const auto used = data.getUsedPresetIndices();
        presets.reserve ((size_t) used.size());

        for (auto slot : used)
            if (const auto* preset = data.getPreset (slot))
                presets.push_back ({ slot, preset->getName(), (uint32_t) preset->getTags() });

        return presets;
    }

    namespace
    {
        /** A backup's data file when its data was not read yet (nor copied to edit). */
        juce::File unreadDataFileOf (const ::DataSet& set)
        {
            const auto* archive = set.getArchive();
            return set.hasWorkingData() || archive == nullptr ? juce::File() : archive->getPendingDataFile();
        }
    }

    std::shared_ptr<const Snapshot> Snapshot::take (const juce::Array<juce::ValueTree>& deviceNodes,
                                                    const juce::Array<juce::ValueTree>& backupNodes,
                                                    const juce::Array<juce::ValueTree>& cloudNodes,
                                                    juce::Array<juce::ValueTree>* taken)
    {
        auto snapshot = std::make_shared<Snapshot>();
        const juce::Array<juce::ValueTree>* arrays[] = { &deviceNodes, &backupNodes, &cloudNodes };

        for (int location = 0; location < numLocations; ++location)
        {
            for (const auto& node : *arrays[location])
            {
                auto* set = SourceTree::getDataSet (node);

                if (set == nullptr)
                    continue;

                // Reading a backup's data here would hold the message thread for the whole disk scan.
                auto dataFile = unreadDataFileOf (*set);
                const auto* data = dataFile == juce::File() ? set->getWorkingData() : nullptr;

                if (data == nullptr && dataFile == juce::File())
                    continue;

                snapshot->dataSets.push_back ({ location, getCategoryOrder (node), node[SourceTreeIds::label].toString(),
                                                locationOf (node, false), locationOf (node, true),
                                                data != nullptr ? presetsOf (*data) : std::vector<Preset>(),
                                                std::move (dataFile) });

                if (taken != nullptr)
                    taken->add (node);
            }
        }

        return snapshot;
    }

    //==============================================================================
    namespace
    {
        int compareFloats (float a, float b) noexcept
        {
            return a < b ? -1 : (b < a ? 1 : 0);
        }

        /** Higher rank first, whatever the direction. */
        int higherRankFirst (const Result& first, const Result& second) noexcept
        {
            return compareFloats (second.rank, first.rank);
        }
    }

    int ResultsComparer::compareElements (const Result&, const Result&) const
    {
        return 0;
    }

    int CompareResultsByRank::compareElements (const Result& first, const Result& second) const
    {
        if (auto byRank = compareFloats (second.rank, first.rank))
            return byRank * direction;

        if (auto byName = first.name.compare (second.name))
            return byName;

        // Every unknown category ranks alike and the location always decides
        // last, so the order stays strict and weak for any tree.
        if (auto byCategory = first.categoryOrder - second.categoryOrder)
            return byCategory;

        return first.location.compare (second.location);
    }

    int CompareResultsByNumber::compareElements (const Result& first, const Result& second) const
    {
        if (first.presetNumber != second.presetNumber)
            return first.presetNumber < second.presetNumber ? -direction : direction;

        return higherRankFirst (first, second);
    }

    int CompareResultsByName::compareElements (const Result& first, const Result& second) const
    {
        if (auto byName = first.name.compare (second.name))
            return byName * direction;

        return higherRankFirst (first, second);
    }

    int CompareResultsByPath::compareElements (const Result& first, const Result& second) const
    {
        if (auto byPath = first.location.compare (second.location))
            return byPath * direction;

        return higherRankFirst (first, second);
    }

    std::unique_ptr<ResultsComparer> ResultsComparer::forColumn (int columnId, int direction)
    {
        switch (columnId)
        {
            case 1:  return std::make_unique<CompareResultsByRank> (direction);
            case 2:  return std::make_unique<CompareResultsByNumber> (direction);
            case 3:  return std::make_unique<CompareResultsByName> (direction);
            case 4:  return std::make_unique<CompareResultsByPath> (direction);
            default: break;
        }

        return nullptr;
    }

    void sort (Results& results, int columnId, int direction)
    {
        // The framework's sort would copy both records for every comparison.
        if (auto comparer = ResultsComparer::forColumn (columnId, direction))
            std::sort (results.begin(), results.end(),
                       [&c = *comparer] (const Result& a, const Result& b) { return c.compareElements (a, b) < 0; });
    }
}
