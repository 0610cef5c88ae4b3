#include "conversion/ConversionGraph.h"
#include "conversion/ConversionPathFinder.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
    ConversionRule preset (int fromProduct, int fromVersion, int toProduct, int toVersion, int cost, const char* script,
                           int kind = ConversionRule::presetData)
    {
        return { kind, (uint8_t) fromProduct, fromVersion, (uint8_t) toProduct, toVersion, cost, {}, script };
    }

    /** Rules per product, filtered by kind as the catalogue does. */
    struct Rules
    {
        std::map<int, juce::Array<ConversionRule>> byProduct;

        void add (const ConversionRule& r) { byProduct[r.sourceProductId].add (r); }

        ConversionGraph::RuleSource source() const
        {
            return [this] (int product, int kind)
            {
                juce::Array<ConversionRule> result;
                if (auto it = byProduct.find (product); it != byProduct.end())
                    for (auto& r : it->second)
                        if (r.kind == kind)
                            result.add (r);
                return result;
            };
        }
    };

    /** The script files of the cheapest chain, joined with blanks. */
    juce::String chain (const Rules& rules, int fromProduct, int fromVersion, int toProduct, int toVersion,
                        int kind = ConversionRule::presetData)
    {
        ConversionGraph graph (rules.source());
        graph.buildFor (fromProduct, toProduct, kind);
        ConversionPathFinder finder (graph);

        const auto path = finder.getPath (fromProduct, fromVersion, toProduct, toVersion);
        juce::StringArray scripts;
        for (int i = 1; i < path.size(); ++i)
        {
            auto* from = path[i - 1];
            scripts.add (from->scriptFiles[from->indexOfTarget (path[i])]);
        }
        return path.isEmpty() ? juce::String ("none") : scripts.joinIntoString (" ");
    }
}

TEST (ConversionGraph, CheapestChainWinsOverFewerSteps)
{
    Rules rules;
    rules.add (preset (1, 1, 1, 4, 10, "direct"));
    rules.add (preset (1, 1, 1, 2, 1, "a"));
    rules.add (preset (1, 2, 1, 3, 1, "b"));
    rules.add (preset (1, 3, 1, 4, 1, "c"));

    EXPECT_EQ (chain (rules, 1, 1, 1, 4), "a b c");
    EXPECT_EQ (chain (rules, 1, 2, 1, 4), "b c");
    EXPECT_EQ (chain (rules, 1, 4, 1, 1), "none");
}

TEST (ConversionGraph, FirstRuleOfAPairWins)
{
    Rules rules;
    rules.add (preset (1, 1, 1, 2, 7, "first"));
    rules.add (preset (1, 1, 1, 2, 1, "second"));

    ConversionGraph graph (rules.source());
    graph.build (1, ConversionRule::presetData);

    ASSERT_EQ (graph.getNumNodes(), 2);
    auto* node = graph.findNode (1, 1);
    ASSERT_EQ (node->targets.size(), 1);
    EXPECT_EQ (node->scriptFiles[0], "first");
    EXPECT_EQ (node->costs[0], 7);
}

TEST (ConversionGraph, EqualTotalsKeepTheFirstPredecessorAndTiesExpandTheLastNode)
{
    // Two routes of total 2 into node 4: via 2 and via 3. Nodes 2 and 3 sit at
    // the same distance, and the later one in breadth-first order (3) is
    // expanded first, so its edge sets the predecessor of 4 and keeps it.
    Rules rules;
    rules.add (preset (1, 1, 1, 2, 1, "to2"));
    rules.add (preset (1, 1, 1, 3, 1, "to3"));
    rules.add (preset (1, 2, 1, 4, 1, "2to4"));
    rules.add (preset (1, 3, 1, 4, 1, "3to4"));

    EXPECT_EQ (chain (rules, 1, 1, 1, 4), "to3 3to4");
}

TEST (ConversionGraph, CrossProductChainsFollowTargetProductsTransitively)
{
    // Product 1 reaches product 3 only through product 2's rules.
    Rules rules;
    rules.add (preset (1, 1, 1, 2, 1, "1:1-2"));
    rules.add (preset (1, 2, 2, 5, 1, "1:2-p2:5"));
    rules.add (preset (2, 5, 3, 9, 1, "p2:5-p3:9"));
    rules.add (preset (3, 9, 3, 10, 1, "p3:9-10"));

    EXPECT_EQ (chain (rules, 1, 1, 3, 10), "1:1-2 1:2-p2:5 p2:5-p3:9 p3:9-10");

    // A request within one product looks at that product's rules only.
    EXPECT_EQ (chain (rules, 2, 5, 2, 5), "");
    EXPECT_EQ (chain (rules, 1, 1, 1, 2), "1:1-2");
}

TEST (ConversionGraph, UnusablePairsAndKindsNeverFormNodesOrEdges)
{
    Rules rules;
    rules.add (preset (1, 1, 255, 2, 1, "unknown product"));
    rules.add (preset (1, -1, 1, 2, 1, "no source"));
    rules.add (preset (1, 1, 1, -1, 1, "no target"));
    rules.add (preset (1, 1, 1, 2, 1, "other kind", ConversionRule::otherData));
    rules.add (preset (1, 1, 1, 2, 1, "setup", ConversionRule::setupData));

    ConversionGraph graph (rules.source());
    graph.buildFor (1, 1, ConversionRule::presetData);
    EXPECT_EQ (graph.getNumNodes(), 2);   // (1,1) and the target of "no source"
    EXPECT_EQ (graph.indexOfNode (255, 2), -1);
    EXPECT_TRUE (graph.findNode (1, 1)->targets.isEmpty());

    EXPECT_EQ (chain (rules, 1, 1, 1, 2), "none");
    EXPECT_EQ (chain (rules, 1, 1, 1, 2, ConversionRule::setupData), "setup");
    EXPECT_EQ (chain (rules, 1, 2, 1, 2), "") << "known only as a target, still its own chain";
    EXPECT_EQ (chain (rules, 1, 9, 1, 2), "none");
    EXPECT_EQ (chain (rules, 1, 1, 1, 7), "none");
}

TEST (ConversionGraph, NegativeAndHugeCostsCannotHangOrWrapTheSearch)
{
    // Such rules never leave the rule reader, but the graph must hold even
    // when a rule source hands them over.
    Rules rules;
    rules.add (preset (1, 1, 1, 1, -1, "self"));
    rules.add (preset (1, 1, 1, 2, 1, "a"));
    rules.add (preset (1, 2, 1, 1, -5, "back"));
    rules.add (preset (1, 2, 1, 3, 0x7FFFFFF0, "huge"));
    rules.add (preset (1, 3, 1, 4, 0x7FFFFFF0, "huge again"));

    ConversionGraph graph (rules.source());
    graph.build (1, ConversionRule::presetData);
    EXPECT_TRUE (graph.findNode (1, 1)->targets.size() == 1);
    EXPECT_TRUE (graph.findNode (1, 2)->targets.isEmpty());

    EXPECT_EQ (chain (rules, 1, 1, 1, 2), "a");
    EXPECT_EQ (chain (rules, 1, 1, 1, 4), "none");
}

TEST (ConversionGraph, HugeRuleDocumentsAreCappedSoTheSearchCannotHang)
{
    // Far more rules than any real document holds: searched whole, this
    // chain alone would keep a conversion busy for hours.
    Rules rules;
    const int length = 20000;
    for (int v = 0; v < length; ++v)
        rules.add (preset (1, v, 1, v + 1, 1, "step"));

    ConversionGraph graph (rules.source());
    graph.buildFor (1, 1, ConversionRule::presetData);
    EXPECT_EQ (graph.getNumNodes(), ConversionGraph::maxNodes);

    ConversionPathFinder finder (graph);
    EXPECT_EQ (finder.getPath (1, 0, 1, ConversionGraph::maxNodes - 1).size(), ConversionGraph::maxNodes);
    EXPECT_TRUE (finder.getPath (1, 0, 1, length).isEmpty());
}

TEST (ConversionGraph, SumsOfLargeCostsDoNotWrapRound)
{
    // Within the allowed range, many steps still add up without wrapping.
    Rules rules;
    for (int v = 1; v < 2200; ++v)
        rules.add (preset (1, v, 1, v + 1, ConversionRule::maxCost, "step"));
    rules.add (preset (1, 1, 1, 2200, ConversionRule::maxCost, "direct"));

    EXPECT_EQ (chain (rules, 1, 1, 1, 2200), "direct");
}

TEST (ConversionPathFinder, SecondTargetReusesTheSearchAndAGoneGraphGivesNothing)
{
    Rules rules;
    rules.add (preset (1, 1, 1, 2, 1, "a"));
    rules.add (preset (1, 2, 1, 3, 1, "b"));

    auto graph = std::make_unique<ConversionGraph> (rules.source());
    graph->buildFor (1, 1, ConversionRule::presetData);
    ConversionPathFinder finder (*graph);

    EXPECT_EQ (finder.getPath (1, 1, 1, 3).size(), 3);
    EXPECT_EQ (finder.getPath (1, 1, 1, 2).size(), 2);
    EXPECT_EQ (finder.getPath (1, 1, 1, 3).size(), 3);
    EXPECT_TRUE (finder.getPath (1, 1, 1, 9).isEmpty());

    graph.reset();
    EXPECT_TRUE (finder.getPath (1, 1, 1, 3).isEmpty());
}

TEST (ConversionRule, CostsOutsideTheUsableRangeAreRefusedWhenRead)
{
    auto parse = [] (const char* xml)
    {
        auto element = juce::parseXML (juce::String (xml));
        return ConversionRule::parse (7, *element, "/tmp/js");
    };

    EXPECT_EQ (parse ("<preset source='1' target='2' script='x/a.js'/>").cost, 1);

    auto usable = parse ("<preset source='1' target='2' cost='0' script='x/a.js'/>");
    EXPECT_EQ (usable.cost, 0);
    EXPECT_EQ (usable.sourceVersion, 1);

    for (auto* text : { "<preset source='1' target='2' cost='-1' script='x/a.js'/>",
                        "<preset source='1' target='2' cost='-5' script='x/a.js'/>",
                        "<preset source='1' target='2' cost='1000001' script='x/a.js'/>",
                        "<preset source='1' target='2' cost='4294967296' script='x/a.js'/>",
                        "<preset source='1' target='2' cost='-2147483648' script='x/a.js'/>",
                        "<preset source='1' target='2' cost='99999999999999999999999' script='x/a.js'/>" })
    {
        auto refused = parse (text);
        EXPECT_EQ (refused.sourceVersion, -1) << text;
        EXPECT_EQ (refused.targetVersion, -1) << text;
    }
}
