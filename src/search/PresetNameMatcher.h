#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <string>
#include <vector>

/** How close a preset name (or a data-set label) is to what the user typed:
    0 when they have nothing in common, 1.0 when they are the same once
    normalised. A blend of the letter-pair similarity of the raw and of the
    normalised upper-case texts, a boost for every query word found in the
    name, and a boost or penalty for the common prefix. All arithmetic is
    32-bit float, so scores near the search's thresholds come out the same
    everywhere.

    One matcher belongs to one thread: scoring reuses its scratch buffers. */
class PresetNameMatcher
{
public:
    /** Fills the replacement table. */
    PresetNameMatcher();

    /** Separators spaced out, long and short forms of effect words mapped onto
        one form, blank runs halved; applied in this order. Keys ignore case. */
    const juce::StringPairArray& getReplacementTable() const noexcept   { return table; }

    /** A query worked out once, for scoring many names against it. */
    struct Query
    {
        std::u32string upper;                  // the query in upper case
        std::vector<std::u32string> words;     // of the upper-case query, "-" and "+" left out
        std::vector<uint64_t> pairs, normalisedPairs;
    };

    Query prepare (const juce::String& query) const;

    /** name is the candidate, query what the user typed (the word boost takes
        the query's words, the prefix test asks whether the name starts with
        the query). 0 when either is empty; not clamped. */
    float getScore (const juce::String& name, const juce::String& query);
    float getScore (const juce::String& name, const Query& query);

    /** Of a text already in upper case: padded, the table applied entry by
        entry (each search resumes behind what it inserted), trimmed. */
    juce::String normalise (const juce::String& upperCaseText) const;

    /** Twice the shared letter pairs of the padded upper-case texts over all
        their pairs; not a number when neither has a pair. */
    float getPairSimilarity (const juce::String& a, const juce::String& b) const;

    static juce::StringArray getLetterPairs (const juce::String& text);

    /** One blank in front and one behind, where the text has none. */
    static juce::String padWithBlanks (const juce::String& text);

private:
    using Text = std::u32string;

    struct Entry
    {
        Text key, value;
        uint64_t characters;   // of charactersOf: a text lacking one cannot hold the key
    };

    static Text toText (const juce::String& s);
    static void assign (Text& t, const juce::String& s);
    static juce::String toString (const Text& t);
    static void pad (Text& t);
    static float pairSimilarity (const std::vector<uint64_t>& a, const std::vector<uint64_t>& b, std::vector<uint64_t>& scratch);

    /** A bit for each character from blank to underscore that the text holds. */
    static uint64_t charactersOf (const Text& t) noexcept;

    /** The framework's upper case of a character, ASCII from a table made at construction. */
    juce::juce_wchar upper (juce::juce_wchar c) const noexcept
    {
        return c < 128 ? (juce::juce_wchar) asciiUpper[(size_t) c] : juce::CharacterFunctions::toUpperCase (c);
    }

    void toUpper (Text& t) const;
    void appendPairs (const Text& paddedUpper, std::vector<uint64_t>& out) const;
    bool containsIgnoringCase (const Text& haystack, const Text& needle) const;
    void normaliseInPlace (Text& upperCase, Text& scratch) const;
    void pairsOf (const Text& upper, std::vector<uint64_t>& out, Text& scratch) const;

    juce::StringPairArray table { true };
    std::vector<Entry> entries;
    std::array<char32_t, 128> asciiUpper;

    // Scratch of getScore, reused between calls.
    Text name, normalised, work;
    std::vector<uint64_t> namePairs, normalisedPairs, remaining;

    JUCE_DECLARE_NON_COPYABLE (PresetNameMatcher)
};
