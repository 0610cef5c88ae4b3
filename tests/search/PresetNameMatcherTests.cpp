#include "search/PresetNameMatcher.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    juce::String utf8 (const char* text)   { return juce::String::fromUTF8 (text); }
}

//==============================================================================
TEST (PresetNameMatcher, TableHoldsEveryEntryOnceInItsOrder)
{
    PresetNameMatcher matcher;
    const auto& table = matcher.getReplacementTable();

    ASSERT_EQ (table.size(), 39);
    EXPECT_EQ (table.getAllKeys()[0], "&");
    EXPECT_EQ (table.getAllKeys()[2], ".");
    EXPECT_EQ (table.getAllValues()[2], "");    // set twice: kept its place, lost its value
    EXPECT_EQ (table.getAllKeys()[3], "+");
    EXPECT_EQ (table.getAllKeys()[4], " AND ");
    EXPECT_EQ (table.getAllKeys()[38], "  ");
    EXPECT_EQ (table.getAllValues()[38], " ");
    EXPECT_EQ (table[" dly "], " DELAY ");      // keys ignore case
}

TEST (PresetNameMatcher, NormalisationSpacesSeparatorsAndMapsWordForms)
{
    PresetNameMatcher m;

    EXPECT_EQ (m.normalise ("HARMONY-3RDS"), "HRMNY - 3RDS");
    EXPECT_EQ (m.normalise ("ACOUSTIC GUITAR"), "AC GTR");
    EXPECT_EQ (m.normalise ("YOU ARE FIRST"), "U R 1ST");
    EXPECT_EQ (m.normalise ("VOL.2 DOUBLE+DRIVE"), "VOL2 DBL + DRV");
    EXPECT_EQ (m.normalise ("ROCK&ROLL"), "ROCK & ROLL");
    EXPECT_EQ (m.normalise ("ROCK & ROLL"), m.normalise ("ROCK AND ROLL"));

    // Whole words only, and a word entry consumes the blank behind its word.
    EXPECT_EQ (m.normalise ("BIG REVERBS"), "BIG VERB");
    EXPECT_EQ (m.normalise ("REVERBSTUFF"), "REVERBSTUFF");
    EXPECT_EQ (m.normalise ("REV REV"), "VERB REV");

    // The blank-run entry halves a run once.
    EXPECT_EQ (m.normalise ("A     B"), "A   B");
    EXPECT_EQ (m.normalise ("A    B"), "A  B");

    // The search for keys is case-sensitive: lower case is left alone.
    EXPECT_EQ (m.normalise ("big reverb"), "big reverb");
}

TEST (PresetNameMatcher, PaddingAndPairsCountCharactersNotBytes)
{
    EXPECT_EQ (PresetNameMatcher::padWithBlanks ("Vox"), " Vox ");
    EXPECT_EQ (PresetNameMatcher::padWithBlanks (" Vox"), " Vox ");
    EXPECT_EQ (PresetNameMatcher::padWithBlanks (""), "  ");
    EXPECT_EQ (PresetNameMatcher::padWithBlanks (" "), " ");

    EXPECT_EQ (PresetNameMatcher::getLetterPairs ("ABA"), juce::StringArray ({ "AB", "BA" }));
    EXPECT_EQ (PresetNameMatcher::getLetterPairs ("A").size(), 0);
    EXPECT_EQ (PresetNameMatcher::getLetterPairs (utf8 ("\xc3\x89T\xc3\x89")).size(), 2);

    PresetNameMatcher m;
    EXPECT_FLOAT_EQ (m.getPairSimilarity ("abc", "ABC"), 1.0f);
    EXPECT_EQ (m.getPairSimilarity ("aaa", "aa"), 6.0f / 7.0f);   // "AA" twice on one side, once on the other: counted once
    EXPECT_TRUE (std::isnan (m.getPairSimilarity (" ", " ")));
}

TEST (PresetNameMatcher, ScoresOfTheReferenceExamples)
{
    PresetNameMatcher m;

    EXPECT_EQ (m.getScore ("Vox", "vox"), 1.0f);
    EXPECT_EQ (m.getScore ("Clean Double", "double clean"), 1.0f);
    EXPECT_EQ (m.getScore ("Vox", "xov"), 0.0f);
    EXPECT_EQ (juce::String (m.getScore ("Big Reverb", "verb"), 4), "0.7557");
    EXPECT_EQ (juce::String (m.getScore ("Acoustic Guitar", "ac gtr"), 4), "0.8116");
    EXPECT_EQ (juce::String (m.getScore ("Vox", "v"), 4), "0.6339");
}

TEST (PresetNameMatcher, ScoreEdges)
{
    PresetNameMatcher m;

    EXPECT_EQ (m.getScore ("", "vox"), 0.0f);
    EXPECT_EQ (m.getScore ("Vox", ""), 0.0f);
    EXPECT_EQ (m.getScore ("Vox", "VOX"), m.getScore ("Vox", "vox"));
    EXPECT_EQ (m.getScore (" Vox", "vox"), 1.0f);
    EXPECT_EQ (m.normalise ("ROCK & ROLL"), "ROCK & ROLL");

    // A long matching word lifts the score above 1.
    EXPECT_GT (m.getScore ("Supercalifragilistic", "supercalifragilistic"), 0.99f);
    EXPECT_GT (m.getScore ("Supercalifragilisticexpi mix", "supercalifragilisticexpi"), 1.0f);

    // Two single blanks: not a number, so never above any threshold.
    EXPECT_FALSE (m.getScore (" ", " ") > 0.35f);
}

TEST (PresetNameMatcher, PreparedQueryScoresLikeThePlainOne)
{
    PresetNameMatcher m;
    const juce::StringArray names { "Vox", "Big Reverb", "HARMONY-3RDS", utf8 ("Ch\xc5\x93ur \xc3\xa9t\xc3\xa9"), "", " ", "a  b  c" };
    const juce::StringArray queries { "v", "verb", "harm 3rds", utf8 ("\xc3\xa9t\xc3\xa9"), "- +", "  ", "a b" };

    for (const auto& q : queries)
    {
        const auto prepared = m.prepare (q);

        for (const auto& n : names)
        {
            const auto plain = m.getScore (n, q), fast = m.getScore (n, prepared);
            EXPECT_TRUE (plain == fast || (std::isnan (plain) && std::isnan (fast))) << n << " / " << q;
        }
    }
}
