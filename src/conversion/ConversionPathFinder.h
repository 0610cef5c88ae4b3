#pragma once

#include "conversion/ConversionGraph.h"

#include <unordered_map>

/** The cheapest-path search over one conversion graph. A second target from
    the same source reuses the distances of the first search. */
class ConversionPathFinder
{
public:
    using Node = ConversionGraph::Node;

    explicit ConversionPathFinder (ConversionGraph& graph);

    /** The nodes from source to target on the cheapest path; empty when there is none. */
    juce::Array<Node*> getPath (int sourceProductId, int sourceVersion, int targetProductId, int targetVersion);

    void reset();

    /** Distances are capped here: a sum that would pass it counts as unreachable. */
    static constexpr int unreachable = 0x7FFFFFFF;

private:
    bool graphIsGone() const;
    void collectReachable (int productId, int version);
    void findShortestPaths (int sourceProductId, int sourceVersion, int targetProductId, int targetVersion);
    void relaxEdges (int u);
    Node* takeNextNode (juce::Array<Node*>& unvisited) const;
    void buildPath (int targetProductId, int targetVersion);
    int indexOfReachable (int productId, int version) const;
    int indexOfReachable (const Node* node) const;

    juce::WeakReference<ConversionGraph> graph;
    juce::Array<Node*> reachable;
    std::unordered_map<const Node*, int> reachableIndex;   // node -> its index in reachable
    juce::Array<Node*> path;
    juce::Array<int> distances;
    juce::Array<int> predecessors;
    int sourceProductId = 255, sourceVersion = -1, targetProductId = 255, targetVersion = -1;
    bool pathValid = false;

    JUCE_DECLARE_NON_COPYABLE (ConversionPathFinder)
};
