#include "conversion/ConversionPathFinder.h"

ConversionPathFinder::ConversionPathFinder (ConversionGraph& g) : graph (&g) {}

bool ConversionPathFinder::graphIsGone() const
{
    return graph.get() == nullptr;
}

void ConversionPathFinder::reset()
{
    reachable.clear();
    reachableIndex.clear();
    path.clear();
    distances.clear();
    predecessors.clear();
    sourceProductId = targetProductId = 255;
    sourceVersion = targetVersion = -1;
    pathValid = false;
}

int ConversionPathFinder::indexOfReachable (int productId, int version) const
{
    for (int i = 0; i < reachable.size(); ++i)
        if (reachable.getUnchecked (i)->hasPair (productId, version))
            return i;

    return -1;
}

int ConversionPathFinder::indexOfReachable (const Node* node) const
{
    const auto found = reachableIndex.find (node);
    return found != reachableIndex.end() ? found->second : -1;
}

void ConversionPathFinder::collectReachable (int productId, int version)
{
    reachable.clear();
    reachableIndex.clear();

    auto* g = graph.get();
    auto* source = g != nullptr ? g->findNode (productId, version) : nullptr;
    if (source == nullptr)
        return;

    auto add = [this] (Node* node)
    {
        if (reachableIndex.emplace (node, reachable.size()).second)
            reachable.add (node);
    };

    add (source);

    for (int i = 0; i < reachable.size(); ++i)
        for (auto* target : reachable.getUnchecked (i)->targets)
            add (target);
}

void ConversionPathFinder::relaxEdges (int u)
{
    auto* node = reachable.getUnchecked (u);

    for (int e = 0; e < node->targets.size(); ++e)
    {
        const int v = indexOfReachable (node->targets.getUnchecked (e));
        if (v < 0)
            continue;

        // Summed wide, so huge costs cannot wrap round into a "cheaper" total.
        const auto total = (int64_t) distances.getUnchecked (u) + node->costs.getUnchecked (e);
        if (total < distances.getUnchecked (v))
        {
            distances.set (v, (int) total);
            predecessors.set (v, u);
        }
    }
}

ConversionPathFinder::Node* ConversionPathFinder::takeNextNode (juce::Array<Node*>& unvisited) const
{
    Node* chosen = nullptr;
    int best = unreachable - 1;

    // "<=" on purpose: of equal distances the last in breadth-first order goes first.
    for (auto* node : unvisited)
    {
        const int d = distances.getUnchecked (indexOfReachable (node));
        if (d <= best)
        {
            best = d;
            chosen = node;
        }
    }

    return chosen;
}

void ConversionPathFinder::findShortestPaths (int srcProduct, int srcVersion, int dstProduct, int dstVersion)
{
    reset();
    collectReachable (srcProduct, srcVersion);
    if (reachable.isEmpty())
        return;

    sourceProductId = srcProduct;
    sourceVersion = srcVersion;
    targetProductId = dstProduct;
    targetVersion = dstVersion;

    distances.insertMultiple (0, unreachable, reachable.size());
    predecessors.insertMultiple (0, -1, reachable.size());
    distances.set (0, 0);

    auto unvisited = reachable;
    auto* current = unvisited.getFirst();

    while (! unvisited.isEmpty() && current != nullptr)
    {
        const int u = indexOfReachable (current);
        relaxEdges (u);

        if (current->hasPair (dstProduct, dstVersion))
            buildPath (dstProduct, dstVersion);

        unvisited.removeFirstMatchingValue (current);
        current = takeNextNode (unvisited);
    }
}

void ConversionPathFinder::buildPath (int dstProduct, int dstVersion)
{
    path.clear();

    // At most one visit per reachable node: a predecessor cycle ends the walk
    // instead of spinning for ever.
    for (int k = indexOfReachable (dstProduct, dstVersion), steps = 0; k >= 0; k = predecessors[k])
    {
        if (++steps > reachable.size())
        {
            path.clear();
            break;
        }

        path.insert (0, reachable.getUnchecked (k));
    }

    if (! path.isEmpty() && path.getFirst()->hasPair (sourceProductId, sourceVersion))
    {
        targetProductId = dstProduct;
        targetVersion = dstVersion;
        pathValid = true;
        return;
    }

    targetProductId = 255;
    targetVersion = -1;
    pathValid = false;
}

juce::Array<ConversionPathFinder::Node*> ConversionPathFinder::getPath (int srcProduct, int srcVersion,
                                                                        int dstProduct, int dstVersion)
{
    if (graphIsGone())
        reset();

    if (srcProduct != sourceProductId || srcVersion != sourceVersion)
        findShortestPaths (srcProduct, srcVersion, dstProduct, dstVersion);

    if (dstProduct == targetProductId && dstVersion == targetVersion && pathValid)
        return path;

    buildPath (dstProduct, dstVersion);
    return pathValid ? path : juce::Array<Node*>();
}
