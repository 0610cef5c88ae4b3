#include "search/SearchThread.h"

#include "model/DeviceDataArchive.h"

SearchThread::SearchThread (juce::MessageListener& listener, std::shared_ptr<const PresetSearch::Snapshot> data,
                            Filter searchFilter, const juce::String& text, int id)
    : juce::Thread ("searchThread"),
      owner (listener), snapshot (std::move (data)), filter (std::move (searchFilter)), query (text), searchId (id)
{
}

SearchThread::~SearchThread()
{
    stopThread (-1);
}

uint64_t SearchThread::allTagsOf (int numTags) noexcept
{
    if (numTags <= 0)
        return 0;

    return numTags >= 64 ? ~(uint64_t) 0 : ((uint64_t) 1 << numTags) - 1;
}

bool SearchThread::passesTags (uint32_t tags, uint64_t tagMask, int numTags) noexcept
{
    if (numTags == 0)
        return true;

    if (tags == 0)
        return tagMask == 0 || tagMask == allTagsOf (numTags);

    return (tagMask & tags) != 0;
}

std::optional<PresetSearch::Results> SearchThread::search (const PresetSearch::Snapshot& snapshot, const Filter& filter,
                                                           const juce::String& query, PresetNameMatcher& matcher)
{
    using namespace PresetSearch;
    Results results;
    const auto prepared = matcher.prepare (query);
    const auto emptyQuery = query.isEmpty();

    for (int location = 0; location < numLocations; ++location)
    {
        if (juce::Thread::currentThreadShouldExit())
            return {};

        if (! filter.locations.contains (getLocationName (location)))
            continue;

        for (int index = 0; index < (int) snapshot.dataSets.size(); ++index)
        {
            const auto& dataSet = snapshot.dataSets[(size_t) index];

            if (dataSet.location != location)
                continue;

            // A backup not read yet is read here, into this search's own copy;
            // one that cannot be read has no hits.
            std::vector<Snapshot::Preset> read;

            if (dataSet.dataFile != juce::File())
            {
                if (juce::Thread::currentThreadShouldExit())
                    return {};

                const auto data = DeviceDataArchive::readDataFile (dataSet.dataFile);

                if (data == nullptr)
                    continue;

                read = Snapshot::presetsOf (*data);
            }

            const auto& presets = dataSet.dataFile != juce::File() ? read : dataSet.presets;

            if (! emptyQuery)
            {
                const auto score = matcher.getScore (dataSet.label, prepared);

                if (score > hitThreshold)
                {
                    Result hit;
                    hit.rank = score;
                    hit.name = dataSet.label;
                    hit.location = dataSet.dataSetLocation;
                    hit.dataSetIndex = index;
                    hit.categoryOrder = dataSet.categoryOrder;
                    results.add (std::move (hit));
                }
            }

            for (const auto& preset : presets)
            {
                if (juce::Thread::currentThreadShouldExit())
                    return {};

                if (! passesTags (preset.tags, filter.tagMask, filter.numTags))
                    continue;

                const auto score = emptyQuery ? 1.0f : matcher.getScore (preset.name, prepared);

                if (emptyQuery || score > hitThreshold)
                {
                    Result hit;
                    hit.rank = score;
                    hit.presetNumber = preset.slot;
                    hit.name = preset.name;
                    hit.location = dataSet.presetLocation;
                    hit.dataSetIndex = index;
                    hit.categoryOrder = dataSet.categoryOrder;
                    results.add (std::move (hit));
                }
            }
        }
    }

    if (juce::Thread::currentThreadShouldExit())
        return {};

    return results;
}

void SearchThread::run()
{
    if (auto results = search (*snapshot, filter, query, matcher))
        owner.postMessage (new PresetSearch::ResultsMessage (searchId, std::move (*results)));
}
