#include "conversion/ConversionGraph.h"

#include <unordered_set>

ConversionGraph::ConversionGraph (RuleSource source) : ruleSource (std::move (source)) {}

ConversionGraph::~ConversionGraph()
{
    masterReference.clear();
}

void ConversionGraph::addNode (int productId, int version)
{
    if (productId < 0 || productId >= 255 || version < 0 || nodes.size() >= maxNodes
         || indexOfNode (productId, version) >= 0)
        return;

    nodeIndex.emplace (keyOf (productId, version), nodes.size());

    auto* node = nodes.add (new Node());
    node->productId = (uint8_t) productId;
    node->version = version;
}

int ConversionGraph::indexOfNode (int productId, int version) const
{
    const auto found = nodeIndex.find (keyOf (productId, version));
    return found != nodeIndex.end() ? found->second : -1;
}

ConversionGraph::Node* ConversionGraph::findNode (int productId, int version) const
{
    return nodes[indexOfNode (productId, version)];
}

void ConversionGraph::addEdge (int fromIndex, int toProductId, int toVersion, const juce::String& scriptFile, int cost)
{
    // A negative cost would let the search walk a cycle for ever; the rule
    // reader refuses such rules, and the graph does not trust its source either.
    if (! ConversionRule::isUsableCost (cost))
        return;

    auto* from = nodes[fromIndex];
    auto* to = toVersion >= 0 ? findNode (toProductId, toVersion) : nullptr;

    if (from == nullptr || to == nullptr || from->indexOfTarget (to) >= 0)
        return;

    from->targets.add (to);
    from->scriptFiles.add (scriptFile);
    from->costs.add (cost);
}

void ConversionGraph::clear()
{
    nodeIndex.clear();
    nodes.clear();
}

void ConversionGraph::build (int productId, int kind)
{
    const auto rules = ruleSource != nullptr ? ruleSource (productId, kind) : juce::Array<ConversionRule>();

    juce::Array<int> touched;
    std::unordered_set<int> seen;
    auto touch = [this, &touched, &seen] (int pairProductId, int pairVersion)
    {
        auto index = indexOfNode (pairProductId, pairVersion);
        if (index < 0)
            index = nodes.size();

        if (seen.insert (index).second)
            touched.add (index);

        addNode (pairProductId, pairVersion);
    };

    for (auto& rule : rules)
    {
        touch (rule.sourceProductId, rule.sourceVersion);
        touch (rule.targetProductId, rule.targetVersion);
    }

    // The rules of each source pair, in rule order.
    std::unordered_map<juce::uint64, juce::Array<int>> rulesFrom;
    for (int i = 0; i < rules.size(); ++i)
        rulesFrom[keyOf (rules.getReference (i).sourceProductId, rules.getReference (i).sourceVersion)].add (i);

    for (auto index : touched)
    {
        auto* node = nodes[index];
        if (node == nullptr)
            continue;   // a pair that could not form a node

        const auto found = rulesFrom.find (keyOf (node->productId, node->version));
        if (found == rulesFrom.end())
            continue;

        for (auto i : found->second)
        {
            const auto& rule = rules.getReference (i);
            addEdge (index, rule.targetProductId, rule.targetVersion, rule.scriptFile, rule.cost);
        }
    }
}

juce::Array<int> ConversionGraph::collectLinkedProducts (int sourceProductId, int kind) const
{
    juce::Array<int> result, queue { sourceProductId };

    while (! queue.isEmpty())
    {
        auto product = queue.removeAndReturn (0);
        if (result.contains (product))
            continue;

        result.add (product);

        if (ruleSource == nullptr)
            continue;

        for (auto& rule : ruleSource (product, kind))
        {
            const int target = rule.targetProductId;
            if (target != rule.sourceProductId && ! result.contains (target) && ! queue.contains (target))
                queue.add (target);
        }
    }

    return result;
}

void ConversionGraph::buildFor (int sourceProductId, int targetProductId, int kind)
{
    clear();

    const auto products = sourceProductId == targetProductId ? juce::Array<int> { sourceProductId }
                                                             : collectLinkedProducts (sourceProductId, kind);
    for (auto product : products)
        build (product, kind);
}
