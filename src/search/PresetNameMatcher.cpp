#include "search/PresetNameMatcher.h"

#include <limits>

namespace
{
    // Separators first, so that joined words become blank-delimited words for
    // the word entries; the blank-run entry last. "." is set twice: the second
    // set keeps its place and empties its value.
    const char* const replacements[][2] =
    {
        { "&", " & " },  { "-", " - " },  { ".", " . " },  { "+", " + " },  { ".", "" },
        { " AND ", " & " },
        { " DRIVE ", " DRV " },
        { " CLEAN ", " CLN " },
        { " DOUBLE ", " DBL " },
        { " GUITAR ", " GTR " },
        { " REVERB ", " VERB " },  { " VRB ", " VERB " },  { " REV ", " VERB " },  { " REVERBS ", " VERB " },
        { " DLY ", " DELAY " },
        { " ACOU ", " AC " },  { " ACOUS ", " AC " },  { " ACOUST ", " AC " },  { " ACOUSTI ", " AC " },  { " ACOUSTIC ", " AC " },
        { " OCTAVE ", " OCT " },
        { " HARM ", " HRMNY " },  { " HARMONY ", " HRMNY " },  { " HMNY ", " HRMNY " },
        { " GENDER ", " GNDR " },
        { " HARDTUNE ", " HTUNE " },
        { " YOU ", " U " },
        { " ARE ", " R " },
        { " FIRST ", " 1ST " },  { " SECOND ", " 2ND " },  { " THIRD ", " 3RD " },  { " THIRDS ", " 3RDS " },
        { " FOURTH ", " 4TH " },  { " FIFTH ", " 5TH " },  { " FIFTHS ", " 5THS " },  { " SIXTH ", " 6TH " },
        { " SEVENTH ", " 7TH " },
        { " LOOS ", " LOOSE " },
        { " YUR ", " YOUR " },
        { "  ", " " }
    };

    constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
}

//==============================================================================
PresetNameMatcher::PresetNameMatcher()
{
    for (size_t c = 0; c < asciiUpper.size(); ++c)
        asciiUpper[c] = (char32_t) juce::CharacterFunctions::toUpperCase ((juce::juce_wchar) c);

    for (const auto& r : replacements)
        table.set (r[0], r[1]);

    const auto& keys = table.getAllKeys();
    const auto& values = table.getAllValues();

    for (int i = 0; i < keys.size(); ++i)
    {
        auto key = toText (keys[i]);
        const auto characters = charactersOf (key);
        entries.push_back ({ std::move (key), toText (values[i]), characters });
    }
}

//==============================================================================
void PresetNameMatcher::assign (Text& t, const juce::String& s)
{
    t.clear();

    for (auto p = s.getCharPointer(); ! p.isEmpty();)
        t.push_back ((char32_t) p.getAndAdvance());
}

PresetNameMatcher::Text PresetNameMatcher::toText (const juce::String& s)
{
    Text t;
    assign (t, s);
    return t;
}

juce::String PresetNameMatcher::toString (const Text& t)
{
    juce::String s;
    s.preallocateBytes (t.size() * 4);

    for (auto c : t)
        s += juce::String::charToString ((juce::juce_wchar) c);

    return s;
}

uint64_t PresetNameMatcher::charactersOf (const Text& t) noexcept
{
    uint64_t found = 0;

    for (auto c : t)
        if (c >= 32 && c < 96)
            found |= (uint64_t) 1 << (c - 32);

    return found;
}

void PresetNameMatcher::toUpper (Text& t) const
{
    for (auto& c : t)
        c = (char32_t) upper ((juce::juce_wchar) c);
}

void PresetNameMatcher::pad (Text& t)
{
    if (t.empty())
    {
        t = U"  ";
        return;
    }

    const auto blankInFront = t.front() == U' ';
    const auto blankBehind = t.back() == U' ';

    if (! blankInFront)
        t.insert (t.begin(), U' ');

    if (! blankBehind)
        t.push_back (U' ');
}

void PresetNameMatcher::appendPairs (const Text& t, std::vector<uint64_t>& out) const
{
    // Pairs compare ignoring case: both characters as the framework folds them.
    for (size_t i = 0; i + 1 < t.size(); ++i)
        out.push_back (((uint64_t) (uint32_t) upper ((juce::juce_wchar) t[i]) << 32)
                       | (uint32_t) upper ((juce::juce_wchar) t[i + 1]));
}

float PresetNameMatcher::pairSimilarity (const std::vector<uint64_t>& a, const std::vector<uint64_t>& b,
                                         std::vector<uint64_t>& scratch)
{
    const auto total = a.size() + b.size();

    if (total == 0)
        return notANumber;   // two single blanks: such a candidate must never pass

    // Each pair of b is used at most once; which equal one goes first does not change the count.
    scratch.assign (b.begin(), b.end());
    int matches = 0;

    for (auto p : a)
    {
        for (size_t j = 0; j < scratch.size(); ++j)
        {
            if (scratch[j] == p)
            {
                ++matches;
                scratch[j] = scratch.back();
                scratch.pop_back();
                break;
            }
        }
    }

    return (float) matches * 2.0f / (float) total;
}

bool PresetNameMatcher::containsIgnoringCase (const Text& haystack, const Text& needle) const
{
    if (needle.empty())
        return true;

    if (needle.size() > haystack.size())
        return false;

    for (size_t start = 0; start + needle.size() <= haystack.size(); ++start)
    {
        size_t i = 0;

        while (i < needle.size() && upper ((juce::juce_wchar) haystack[start + i]) == upper ((juce::juce_wchar) needle[i]))
            ++i;

        if (i == needle.size())
            return true;
    }

    return false;
}

void PresetNameMatcher::normaliseInPlace (Text& t, Text& scratch) const
{
    pad (t);
    auto characters = charactersOf (t);

    for (const auto& entry : entries)
    {
        if ((entry.characters & characters) != entry.characters)
            continue;

        auto found = t.find (entry.key);

        if (found == Text::npos)
            continue;

        // Every occurrence from the left; the search resumes behind the
        // inserted value, so inserted text is never searched again.
        scratch.clear();
        size_t from = 0;

        while (found != Text::npos)
        {
            scratch.append (t, from, found - from);
            scratch.append (entry.value);
            from = found + entry.key.size();
            found = t.find (entry.key, from);
        }

        scratch.append (t, from, Text::npos);
        t.swap (scratch);
        characters = charactersOf (t);
    }

    size_t first = 0, end = t.size();

    while (first < end && juce::CharacterFunctions::isWhitespace ((juce::juce_wchar) t[first]))
        ++first;

    while (end > first && juce::CharacterFunctions::isWhitespace ((juce::juce_wchar) t[end - 1]))
        --end;

    t.erase (end);
    t.erase (0, first);
}

void PresetNameMatcher::pairsOf (const Text& upperCase, std::vector<uint64_t>& out, Text& scratch) const
{
    scratch = upperCase;
    pad (scratch);
    out.clear();
    appendPairs (scratch, out);
}

//==============================================================================
PresetNameMatcher::Query PresetNameMatcher::prepare (const juce::String& query) const
{
    Query q;
    q.upper = toText (query);
    toUpper (q.upper);

    Text scratch;
    pairsOf (q.upper, q.pairs, scratch);

    auto normalisedQuery = q.upper;
    normaliseInPlace (normalisedQuery, scratch);
    pairsOf (normalisedQuery, q.normalisedPairs, scratch);

    // Words at every blank; an empty word is always found and adds nothing.
    size_t start = 0;

    while (start <= q.upper.size())
    {
        auto end = q.upper.find (U' ', start);

        if (end == Text::npos)
            end = q.upper.size();

        auto word = q.upper.substr (start, end - start);

        if (! word.empty() && word != U"-" && word != U"+")
            q.words.push_back (std::move (word));

        start = end + 1;
    }

    return q;
}

float PresetNameMatcher::getScore (const juce::String& candidate, const juce::String& query)
{
    if (candidate.isEmpty() || query.isEmpty())
        return 0.0f;

    return getScore (candidate, prepare (query));
}

float PresetNameMatcher::getScore (const juce::String& candidate, const Query& query)
{
    if (candidate.isEmpty() || query.upper.empty())
        return 0.0f;

    assign (name, candidate);
    toUpper (name);

    normalised = name;
    normaliseInPlace (normalised, work);

    pairsOf (name, namePairs, work);
    pairsOf (normalised, normalisedPairs, work);

    auto s = 0.25f * pairSimilarity (namePairs, query.pairs, remaining)
           + 0.75f * pairSimilarity (normalisedPairs, query.normalisedPairs, remaining);

    // Query words found anywhere in the padded normalised name.
    work = normalised;
    pad (work);

    for (const auto& word : query.words)
        if (containsIgnoringCase (work, word))
            s = s + (float) word.size() * 0.07f * (1.0f - s);

    // The common prefix, up to five characters: a boost per equal step, a
    // penalty (smaller the later) where it first differs after the first.
    for (size_t i = 1; i <= 5; ++i)
    {
        const auto length = std::min (i, query.upper.size());

        if (name.compare (0, length, query.upper, 0, length) == 0 && name.size() >= length)
        {
            s = s + (1.0f - s) * 0.1f;
            continue;
        }

        if (i > 1)
            s = s * (1.0f - (float) (6 - i) * 0.04f);

        break;
    }

    return s;
}

//==============================================================================
juce::String PresetNameMatcher::normalise (const juce::String& upperCaseText) const
{
    auto t = toText (upperCaseText);
    Text scratch;
    normaliseInPlace (t, scratch);
    return toString (t);
}

float PresetNameMatcher::getPairSimilarity (const juce::String& a, const juce::String& b) const
{
    auto ta = toText (a), tb = toText (b);
    toUpper (ta);
    toUpper (tb);

    std::vector<uint64_t> pa, pb, scratch;
    Text padded;
    pairsOf (ta, pa, padded);
    pairsOf (tb, pb, padded);
    return pairSimilarity (pa, pb, scratch);
}

juce::StringArray PresetNameMatcher::getLetterPairs (const juce::String& text)
{
    juce::StringArray pairs;
    const auto length = text.length();

    for (int i = 0; i + 1 < length; ++i)
        pairs.add (text.substring (i, i + 2));

    return pairs;
}

juce::String PresetNameMatcher::padWithBlanks (const juce::String& text)
{
    auto t = toText (text);
    pad (t);
    return toString (t);
}
