#pragma once

#include <juce_core/juce_core.h>

namespace platform
{

/** How the program fetches content, all in one place: what each kind of file
    may weigh, how long a transfer waits for a byte and a download for any,
    how long a file may hold the thread while others wait, how long a failure
    waits before it is asked again, and when the rest of a body may be joined
    to the part kept of it. WebRequest, the content reader, the catalogue and
    its download thread carry these out; durations are on the workers' clock
    (Clock::scaled) unless said otherwise. */
struct DownloadPolicy
{
    //==============================================================================
    // Limits by kind of file, in bytes: the same when it is fetched and when it is read.
    static constexpr juce::int64 maxDocumentBytes = 8 * 1024 * 1024;   // XML: the master descriptor and the product documents
    static constexpr juce::int64 maxScriptBytes = 256 * 1024;          // conversion scripts are small
    static constexpr juce::int64 maxFirmwareBytes = 64 * 1024 * 1024;  // an image is read as a SysEx file
    static constexpr juce::int64 maxPictureBytes = 8 * 1024 * 1024;
    static constexpr juce::int64 maxPackBytes = 32 * 1024 * 1024;      // a preset pack's zip
    static constexpr juce::int64 maxStreamBytes = 64 * 1024 * 1024;    // whatever is opened as a stream
    static constexpr juce::int64 maxKeptBytes = 64 * 1024 * 1024;      // the parts of bodies kept for their rest, together
    static constexpr juce::int64 maxStampBytes = 64 * 1024;            // the stamp an unpacked pack carries

    // A pack holds a few thousand presets at most (a few megabytes) and their pictures (a
    // few more): anything much larger, or that inflates far more than such content
    // compresses, is refused before a byte of it is written.
    static constexpr juce::int64 maxUnpackedBytes = 64 * 1024 * 1024;  // a pack's entries together
    static constexpr int maxPackEntries = 10000;
    static constexpr int maxUnpackRatio = 100;                         // unpacked to zip size

    /** A picture wider or taller than this is refused before it is decoded. */
    static constexpr int maxPictureSide = 4096;

    /** Redirects a transfer follows. */
    static constexpr int maxRedirects = 5;

    //==============================================================================
    // Silence and time-out.

    /** A transfer that names no wait of its own waits this long for a byte (real milliseconds). */
    static constexpr int defaultSilenceMs = 3000;

    /** A transfer sleeps at most this long between looks at what only a look can tell (whether to give way). */
    static constexpr int longestSleepMs = 1000;
    static constexpr int giveWayLookMs = 500;

    /** A content transfer that receives no byte for this long is dropped and asked again ... */
    static constexpr int silenceMs = 30000;

    /** ... but never waits past the user's download time-out (real milliseconds), which a
        download whose files bring no byte for that long fails at. */
    static int silenceLimitMs (int downloadTimeoutMs);

    //==============================================================================
    // Turns.

    /** A content request waits this long for a capability document, and a file's first
        turn lasts this long while others wait; never so short that a sound server could
        not answer. */
    static constexpr int preparationMs = 4000, shortestPreparationMs = 2000;
    static int preparationLimitMs();

    /** A file that does not come in its turn gets twice the turn the next time, up to this. */
    static constexpr int longestTurnMs = 12000;

    /** A product checked this recently (seconds, real time) is not queued again by a request. */
    static constexpr double minimumCheckSeconds = 5.0;

    //==============================================================================
    // Pauses by kind of failure.

    enum class Failure   // by the length of their first pause
    {
        none,
        server,    // no answer, silence, an error status, a broken transfer: asked again soon
        missing,   // the server says there is no such file
        refused    // the body failed its check, or passed its kind's limit
    };

    /** Of two failures, the one whose pause is shorter: a download is asked again for its most hopeful fault. */
    static Failure sooner (Failure a, Failure b);

    /** What an answer's status says of a failed transfer. */
    static Failure failureOfStatus (int status);

    /** The pause after a failure, told the last failure and the pause that followed it (0: none).
        A failing server is asked again after 5 s, then after twice the last pause up to 40 s.
        A missing file, often one being published, after 10 s, then after twice the last pause
        while it stays missing, up to the long pause. A refused body does not mend by itself:
        it waits the long pause. A try asked early (a new request) leaves the pause as it was.
        Unscaled milliseconds. */
    static constexpr int firstRetryMs = 5000, longestRetryMs = 40000, firstMissingRetryMs = 10000, longRetryMs = 10 * 60 * 1000;
    static int nextPauseMs (Failure failure, Failure lastFailure, int lastPauseMs, bool askedEarly);

    /** A failure is worth telling the user only once the download has failed for this long
        (failingForMs, on the workers' clock), or when its next try is at least this far off
        (nextPauseMs, unscaled): what the retries mend within a minute goes untold. */
    static constexpr int quietFailureMs = 60000;
    static bool isWorthTelling (int failingForMs, int nextPauseMs);

    //==============================================================================
    // Resuming a body from the part kept of it.

    /** What is known of the part kept, or of the rest a range answer (206) brings. */
    struct Span
    {
        juce::int64 start = 0, end = -1;   // first and last byte; end -1 when unknown
        juce::int64 total = -1;            // the whole body's length; -1 when unknown
        juce::int64 received = 0;          // the bytes that came
        juce::String validator;            // the body's strong entity tag or time of last change
    };

    /** A part is kept only when its rest can be told from another body's: a validator and a
        known total, and less than the whole. */
    static bool isWorthKeeping (const Span& part);

    /** The rest belongs after the part: it starts where the part ends, runs to the total's
        last byte, and comes from the same body (equal validators, equal totals). */
    static bool continues (const Span& part, const Span& rest);

    /** ... and it came whole: exactly as many bytes as it spans, nothing more or less. */
    static bool completes (const Span& part, const Span& rest);
};

} // namespace platform
