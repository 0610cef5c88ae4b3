#pragma once

#include "platform/DownloadPolicy.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>

namespace platform
{

/** The program's one way to talk HTTP: a GET, or a POST whose parameters go as
    a form body, through libcurl.

    A stop reaches a transfer in every phase (name lookup, connect, TLS,
    headers, body): it ends within a few tens of milliseconds when the thread
    that runs it is asked to exit, when the program quits (abortPending) or is
    interrupted (abortAll), or when its total limit passes. A name lookup
    still under way is then left to finish on libcurl's own thread, which
    cleans up after itself; nothing waits for it.

    Without a stop, a transfer waits for its first byte, and then between
    bytes, as long as its patience: one that keeps receiving, however slowly,
    goes on. The body is collected in memory and never grows past maxBytes.

    A transfer sleeps until the server sends, a stop wakes it or one of its
    limits is due: a transfer that waits costs about one wake-up a second. */
class WebRequest
{
public:
    struct Options
    {
        int timeoutMs = 0;                              // the longest wait for the first byte, and then between bytes; 0: the silence limit
        int totalLimitMs = 0;                           // the whole transfer, name lookup to last byte; 0: none
        int maxRedirects = DownloadPolicy::maxRedirects;
        juce::int64 maxBytes = DownloadPolicy::maxDocumentBytes;
        juce::Thread* worker = nullptr;                 // whose stop request ends the transfer; null: the calling thread
        std::atomic<juce::int64>* counter = nullptr;    // received body bytes are added as they arrive
        juce::int64 rangeFrom = 0;                      // asks for the body from this byte on (a GET only)
        juce::String ifRange;                           // with rangeFrom: the validator of the part kept; a changed body comes whole
        std::function<bool()> giveWay;                  // asked about once a second; true ends the transfer as its total limit does
    };

    struct Response
    {
        int status = 0;            // the final HTTP status; 0 when the server never answered
        bool complete = false;     // a status below 400 and exactly the body announced (when one was), within maxBytes
        bool endKnown = false;     // the body's end was announced (a length, a range, a chunked body's last chunk) or
                                   // framed (HTTP/2 and later): without, the body only stopped, and may be cut short
        bool stopped = false;      // ended by a stop request or abortAll (not by a limit)
        bool overTime = false;     // ended by totalLimitMs or giveWay
        bool silent = false;       // ended by the wait for a byte (timeoutMs)
        bool overLimit = false;    // the body was, or was announced, longer than maxBytes
        juce::uint32 lastByteAt = 0;    // when the last byte of the body came (Clock::now()); 0 when none did
        juce::MemoryBlock body;
        juce::int64 rangeStart = -1;    // the first and last byte of a 206 answer's body; -1 when it is the whole body
        juce::int64 rangeEnd = -1;
        juce::int64 totalLength = -1;   // the whole body's length as announced; -1 when unknown
        juce::int64 contentLength = -1; // this answer's body's length as announced; -1 when unknown
        juce::String etag, lastModified, contentType;

        /** What tells this body from a changed one in a later range request:
            a strong entity tag, else the time of its last change; empty when none. */
        juce::String getValidator() const;

        bool isErrorStatus() const noexcept { return status >= 400 && status <= 599; }
    };

    /** A GET of an address as given (only http and https). */
    static Response get (const juce::String& address, const Options& options);

    /** A POST of the address of url, its parameters as an urlencoded form body. */
    static Response post (const juce::URL& url, const Options& options);

    /** Ends every transfer in flight and refuses new ones, for good: the program
        is going. Safe to call from a signal handler. */
    static void abortAll() noexcept;

    static bool isAborted() noexcept;

    /** Ends every transfer in flight; later ones run. The program's quit calls
        it once its workers were asked to stop. */
    static void abortPending() noexcept;

    /** The patience of a transfer that names none of its own. */
    static int getSilenceLimitMs() noexcept;
    static void setSilenceLimitMs (int milliseconds) noexcept;   // 0: the download policy's default
};

} // namespace platform
