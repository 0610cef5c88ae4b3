#pragma once

#include "content/ConversionRule.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <unordered_map>

/** The graph of one conversion request: a node per (product id, data version)
    pair, an edge per usable rule, weighted by the rule's cost. */
class ConversionGraph
{
public:
    struct Node
    {
        uint8_t productId = 255;
        int version = -1;

        // Three parallel lists, one entry per edge, in insertion order.
        juce::Array<Node*> targets;
        juce::StringArray scriptFiles;
        juce::Array<int> costs;

        bool hasPair (int otherProductId, int otherVersion) const noexcept
        {
            return productId == otherProductId && version == otherVersion;
        }
        int indexOfTarget (const Node* target) const noexcept { return targets.indexOf (const_cast<Node*> (target)); }
    };

    /** Where the rules of a product come from: (product id, kind) -> rules in document order. */
    using RuleSource = std::function<juce::Array<ConversionRule> (int productId, int kind)>;

    explicit ConversionGraph (RuleSource source);
    ~ConversionGraph();

    void addNode (int productId, int version);
    int indexOfNode (int productId, int version) const;
    Node* findNode (int productId, int version) const;
    void addEdge (int fromIndex, int toProductId, int toVersion, const juce::String& scriptFile, int cost);
    void clear();

    /** Adds one product's rules of one kind. */
    void build (int productId, int kind);

    /** Clears the graph and adds the rules of every product linked to the source. */
    void buildFor (int sourceProductId, int targetProductId, int kind);

    int getNumNodes() const noexcept { return nodes.size(); }

    /** Rule documents hold a handful of rules; a graph larger than this comes
        from a broken or hostile document and gets no more nodes, so that the
        search over it stays quick. */
    static constexpr int maxNodes = 4096;

private:
    juce::Array<int> collectLinkedProducts (int sourceProductId, int kind) const;
    static juce::uint64 keyOf (int productId, int version) noexcept   { return ((juce::uint64) (juce::uint32) productId << 32) | (juce::uint32) version; }

    RuleSource ruleSource;
    juce::OwnedArray<Node> nodes;
    std::unordered_map<juce::uint64, int> nodeIndex;   // (product id, version) -> index in nodes

    JUCE_DECLARE_WEAK_REFERENCEABLE (ConversionGraph)
    JUCE_DECLARE_NON_COPYABLE (ConversionGraph)
};
