#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

/** The program's one way to talk HTTP: a GET, or a POST whose parameters go as
    a form body, through libcurl.

    A transfer never outlives a stop request: it ends within a few
    milliseconds when the thread that runs it is asked to exit, when the
    program quits (abortPending) or is interrupted (abortAll), whatever the
    server does. A server that accepts and then stays silent is given up once
    nothing has arrived for the silence limit; a slow one that keeps sending
    goes on. The body is collected in memory and never grows past maxBytes. */
class WebRequest
{
public:
    struct Options
    {
        int timeoutMs = 0;                              // to connect, and the longest stretch without data; 0: the silence limit
        int maxRedirects = 5;
        juce::int64 maxBytes = 8 * 1024 * 1024;
        juce::Thread* worker = nullptr;                 // whose stop request ends the transfer; null: the calling thread
        std::atomic<juce::int64>* counter = nullptr;    // received body bytes are added as they arrive
    };

    struct Response
    {
        int status = 0;            // the final HTTP status; 0 when the server never answered
        bool complete = false;     // a status below 400 and every byte of the body, within maxBytes
        bool stopped = false;      // ended by a stop request or abortAll
        juce::MemoryBlock body;

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

    /** How long a transfer may receive nothing before it is given up (also the
        time to connect): one limit for every transfer of the program. */
    static int getSilenceLimitMs() noexcept;
    static void setSilenceLimitMs (int milliseconds) noexcept;
    static constexpr int defaultSilenceLimitMs = 3000;
};
