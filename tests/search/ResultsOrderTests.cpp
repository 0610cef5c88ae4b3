#include "search/SearchFixtures.h"
#include "search/PresetSearch.h"

#include <gtest/gtest.h>

using namespace SearchFixtures;
using namespace PresetSearch;

namespace
{
    juce::StringArray order (const Results& results)
    {
        juce::StringArray lines;

        for (const auto& r : results)
            lines.add (juce::String (r.rank, 2) + " " + juce::String (r.presetNumber) + " " + r.name + " @ " + r.location);

        return lines;
    }

    /** Irreflexive, asymmetric, transitive, and equivalence transitive: what std::sort needs. */
    void expectStrictWeakOrder (const ResultsComparer& c, const Results& all)
    {
        auto less = [&] (const Result& a, const Result& b) { return c.compareElements (a, b) < 0; };
        auto same = [&] (const Result& a, const Result& b) { return ! less (a, b) && ! less (b, a); };

        for (const auto& a : all)
        {
            EXPECT_FALSE (less (a, a));

            for (const auto& b : all)
            {
                if (less (a, b))
                {
                    EXPECT_FALSE (less (b, a));
                }

                for (const auto& x : all)
                {
                    if (less (a, b) && less (b, x))
                    {
                        EXPECT_TRUE (less (a, x)) << a.location << " < " << b.location << " < " << x.location;
                    }

                    if (same (a, b) && same (b, x))
                    {
                        EXPECT_TRUE (same (a, x)) << a.location << " ~ " << b.location << " ~ " << x.location;
                    }
                }
            }
        }
    }
}

TEST (PresetSearchOrder, ByRankBestFirstThenNameThenUnitsBackupsOthers)
{
    Tree tree;
    Results results;
    results.add (Result (7, "Big Reverb", tree.pack, 0.8f));
    results.add (Result (1, "Big Reverb", tree.firstBackup, 0.8f));
    results.add (Result (1, "Big Reverb", tree.device, 0.8f));
    results.add (Result (3, "Alpha", tree.pack, 0.8f));
    results.add (Result (2, "Zeta", tree.device, 0.9f));
    results.add (Result (4, "Low", tree.device, 0.4f));

    sort (results, 1, 1);
    EXPECT_EQ (order (results), juce::StringArray ({ "0.90 2 Zeta @ Vesper - Vesper",
                                                     "0.80 3 Alpha @ Cloud - Live Vox 2.0",
                                                     "0.80 1 Big Reverb @ Vesper - Vesper",
                                                     "0.80 1 Big Reverb @ Backups - 2026 - Vesper_000001",
                                                     "0.80 7 Big Reverb @ Cloud - Live Vox 2.0",
                                                     "0.40 4 Low @ Vesper - Vesper" }));

    // Backwards reverses only the rank; the ties keep their order.
    sort (results, 1, -1);
    EXPECT_EQ (order (results)[0], "0.40 4 Low @ Vesper - Vesper");
    EXPECT_EQ (order (results)[2], "0.80 1 Big Reverb @ Vesper - Vesper");
}

TEST (PresetSearchOrder, OtherColumnsReverseOnlyTheirKeyAndKeepTheBestRankFirst)
{
    Tree tree;
    Results results;
    results.add (Result (2, "Vox", tree.device, 0.5f));
    results.add (Result (2, "Vox", tree.firstBackup, 0.9f));
    results.add (Result (5, "Air", tree.device, 0.6f));
    results.add (Result (dataSetHit, "Reverb Set", tree.secondBackup, 0.7f));

    sort (results, 2, -1);
    EXPECT_EQ (order (results), juce::StringArray ({ "0.60 5 Air @ Vesper - Vesper",
                                                     "0.90 2 Vox @ Backups - 2026 - Vesper_000001",
                                                     "0.50 2 Vox @ Vesper - Vesper",
                                                     "0.70 -1 Reverb Set @ Backups - 2026" }));

    sort (results, 3, -1);
    EXPECT_EQ (order (results), juce::StringArray ({ "0.90 2 Vox @ Backups - 2026 - Vesper_000001",
                                                     "0.50 2 Vox @ Vesper - Vesper",
                                                     "0.70 -1 Reverb Set @ Backups - 2026",
                                                     "0.60 5 Air @ Vesper - Vesper" }));

    sort (results, 4, 1);
    EXPECT_EQ (order (results)[0], "0.70 -1 Reverb Set @ Backups - 2026");

    const auto before = order (results);
    sort (results, 9, 1);   // no such column
    EXPECT_EQ (order (results), before);
}

TEST (PresetSearchOrder, EveryOrderIsStrictAndWeakForAnyTree)
{
    Tree tree;
    auto loose = SourceTree::createDataNode ("Loose", nullptr);                // under no category
    auto odd = SourceTree::createNode (SourceTreeIds::category, "Odd");        // a category of no known kind
    odd.setProperty (SourceTreeIds::categoryProp, "elsewhere", nullptr);
    tree.root.appendChild (odd, nullptr);
    auto oddNode = addDataNode (odd, "Odd Set", {});

    Results all;

    for (const auto& node : { tree.device, tree.firstBackup, tree.pack, loose, oddNode })
    {
        all.add (Result (1, "Same", node, 0.8f));
        all.add (Result (1, "Same", node, 0.9f));
        all.add (Result (2, "Other", node, 0.8f));
    }

    // Same rank and name, unknown categories with locations in both orders.
    all.add (Result (1, "Same", loose, 0.8f));
    all.getReference (all.size() - 1).location = "zzz";
    all.add (Result (1, "Same", oddNode, 0.8f));
    all.getReference (all.size() - 1).location = "aaa";

    for (int column = 1; column <= 4; ++column)
        for (auto direction : { 1, -1 })
            expectStrictWeakOrder (*ResultsComparer::forColumn (column, direction), all);
}
