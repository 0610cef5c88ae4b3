#pragma once

#include <juce_data_structures/juce_data_structures.h>
#include <juce_events/juce_events.h>

#include <memory>
#include <vector>

class DeviceData;

/** The values the preset search works with: a hit, the snapshot a search
    reads, the message that carries a search's hits, and their orders. */
namespace PresetSearch
{
    /** The preset number of a hit that is the data set itself (slot 0 can hold a preset). */
    constexpr int dataSetHit = -1;

    /** Scores must exceed this for a hit. */
    constexpr float hitThreshold = 0.35f;

    /** The locations, as their filter names them, in searching order. */
    enum Location { device, backups, cloud, numLocations };
    const char* getLocationName (int location);

    /** Where hits of equal rank and name go: units, then backups, then any other category. */
    int getCategoryOrder (const juce::ValueTree& node);

    /** One search hit. Plain values: copying copies everything. */
    struct Result
    {
        Result() = default;

        /** Builds the location text from the node's ancestors. */
        Result (int presetNumber, const juce::String& name, const juce::ValueTree& node, float rank);

        bool isDataSetHit() const noexcept   { return presetNumber == dataSetHit; }

        juce::ValueTree dataSet;            // the source-tree node of the data set the hit lies in
        float rank = 0.0f;                  // the similarity, 1.0 for an empty query
        int presetNumber = dataSetHit;      // the slot, or dataSetHit
        juce::String name;                  // the preset's name, or the data set's label
        juce::String location;

        int dataSetIndex = -1;              // into the searched snapshot, until the node is filled in
        int categoryOrder = 2;              // getCategoryOrder of the node
    };

    using Results = juce::Array<Result>;

    /** The labels of the node's ancestors below the root, outermost first,
        joined by " - ", and for a preset hit the node's own label behind them. */
    juce::String locationOf (const juce::ValueTree& node, bool forPresetHit);

    //==============================================================================
    /** What a search reads: for every data set its label, where its hits
        lie, and the number, name and tags of every used slot. Taken on the
        message thread, then only read, so a search never touches data that
        the user interface may change meanwhile. A backup whose data was not
        read yet is taken as its data file, which the search reads itself:
        taking a snapshot never reads the disk. */
    struct Snapshot
    {
        struct Preset
        {
            int slot;
            juce::String name;
            uint32_t tags;
        };

        struct DataSet
        {
            int location;                   // Location
            int categoryOrder;
            juce::String label;
            juce::String dataSetLocation, presetLocation;
            std::vector<Preset> presets;
            juce::File dataFile;            // a backup's data file not read yet; then no presets here
        };

        std::vector<DataSet> dataSets;      // devices, backups, cloud, each in its array's order

        /** The used slots of the data, ascending. */
        static std::vector<Preset> presetsOf (const DeviceData& data);

        /** Reads the nodes' device data held in memory, or a backup's data file
            to be read later (a node without either is skipped, so the indices
            follow the nodes that were taken). The taken nodes, in order, go to
            `taken` when given. Message thread. */
        static std::shared_ptr<const Snapshot> take (const juce::Array<juce::ValueTree>& deviceNodes,
                                                     const juce::Array<juce::ValueTree>& backupNodes,
                                                     const juce::Array<juce::ValueTree>& cloudNodes,
                                                     juce::Array<juce::ValueTree>* taken = nullptr);
    };

    //==============================================================================
    /** The hits of one search, posted by its thread. */
    class ResultsMessage : public juce::Message
    {
    public:
        ResultsMessage (int searchId, Results hits) : search (searchId), results (std::move (hits)) {}

        const int search;    // which search found them: a stopped search's late hits are dropped
        Results results;
    };

    //==============================================================================
    /** An order of hits for the results table. A strict weak order, so the
        framework's (unstable) sort is safe; forwards is +1, backwards -1. */
    class ResultsComparer
    {
    public:
        explicit ResultsComparer (int dir) : direction (dir) {}
        virtual ~ResultsComparer() = default;

        /** Negative puts first before second. */
        virtual int compareElements (const Result& first, const Result& second) const;

        /** The comparer of a results table column (1 rank, 2 number, 3 name,
            4 location); null for another column. */
        static std::unique_ptr<ResultsComparer> forColumn (int columnId, int direction);

    protected:
        const int direction;
    };

    class CompareResultsByRank : public ResultsComparer
    {
    public:
        using ResultsComparer::ResultsComparer;
        int compareElements (const Result&, const Result&) const override;
    };

    class CompareResultsByNumber : public ResultsComparer
    {
    public:
        using ResultsComparer::ResultsComparer;
        int compareElements (const Result&, const Result&) const override;
    };

    class CompareResultsByName : public ResultsComparer
    {
    public:
        using ResultsComparer::ResultsComparer;
        int compareElements (const Result&, const Result&) const override;
    };

    class CompareResultsByPath : public ResultsComparer
    {
    public:
        using ResultsComparer::ResultsComparer;
        int compareElements (const Result&, const Result&) const override;
    };

    /** Sorts by that column; nothing for another column. */
    void sort (Results& results, int columnId, int direction);
}
