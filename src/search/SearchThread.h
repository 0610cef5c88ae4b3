#pragma once

#include "search/PresetNameMatcher.h"
#include "search/PresetSearch.h"

#include <optional>

/** One search: scores every preset of the selected locations of a snapshot
    against the query, filtered by tags, and posts all hits in one
    PresetSearch::ResultsMessage to its owner. Reads the data files of the
    snapshot's backups not read yet. Runs once; a stop request ends it at the
    next check (before each location, each data file, each preset and the
    post) and then nothing is posted.

    Hits in a data set come as the data set itself (when its label matches),
    then its presets by ascending slot; data sets in snapshot order. Their
    nodes are left empty: the owner fills them in from dataSetIndex. */
class SearchThread : public juce::Thread
{
public:
    struct Filter
    {
        uint64_t tagMask = 0;               // bit n for tag n
        int numTags = 0;                    // of the product whose tags the filter shows; 0: no filter
        juce::StringArray locations;        // of "Device", "Backups", "Cloud"
    };

    /** owner must outlive the thread. Does not start it. */
    SearchThread (juce::MessageListener& owner, std::shared_ptr<const PresetSearch::Snapshot> snapshot,
                  Filter filter, const juce::String& query, int searchId);
    ~SearchThread() override;

    int getSearchId() const noexcept    { return searchId; }

    /** Every tag of numTags set (up to 64). */
    static uint64_t allTagsOf (int numTags) noexcept;

    /** Whether a preset with those tag bits passes the filter. */
    static bool passesTags (uint32_t tags, uint64_t tagMask, int numTags) noexcept;

    /** The hits of one search, or nothing when stopped before the end (the
        caller's thread is asked whether to exit; no thread: never). */
    static std::optional<PresetSearch::Results> search (const PresetSearch::Snapshot& snapshot, const Filter& filter,
                                                        const juce::String& query, PresetNameMatcher& matcher);

    void run() override;

private:
    juce::MessageListener& owner;
    const std::shared_ptr<const PresetSearch::Snapshot> snapshot;
    const Filter filter;
    const juce::String query;
    const int searchId;
    PresetNameMatcher matcher;

    JUCE_DECLARE_NON_COPYABLE (SearchThread)
};
