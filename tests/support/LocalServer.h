#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

/** A small HTTP server on 127.0.0.1 for tests and for trying the program
    without the maker's servers. It serves a folder tree for GET, answers POST
    with an empty 200, records every request in order, and lets a test script
    the answer of any path (a fixed body, an error status, a delay, a body cut
    short or trickling in, or no answer at all). In served ".xml" files the text "${SERVER}"
    is replaced by the server's address, so documents can name other files.
    A body of status 200 carries an entity tag (of its bytes) and is given in
    part to a range request, unless the tag of an If-Range differs. */
class LocalServer
{
public:
    struct Request
    {
        juce::String method;   // "GET", "POST", ...
        juce::String path;     // decoded, without the query
        std::vector<std::pair<juce::String, juce::String>> parameters;   // query first, then form, in order
        std::string body;
        juce::String range;    // the Range header; empty when none

        /** The first parameter of that name; empty when there is none. */
        juce::String getParameter (const juce::String& name) const;
        bool hasParameter (const juce::String& name) const;
    };

    struct Answer
    {
        int status = 200;
        std::string body;
        juce::String contentType { "application/octet-stream" };
        int delayMs = 0;          // wait before answering
        int truncateAfter = -1;   // announce the whole body, send only this many bytes, then close
        bool stall = false;       // with truncateAfter: hold the connection there instead, as a stalled server does
        bool noLength = false;    // announce no length and close after the whole body (truncateAfter aside): a body that just stops
        int trickleMs = 0;        // send the body one byte at a time, this long apart
        bool noAnswer = false;    // hold the connection until the server stops
        bool ranges = true;       // a range request gets its range; false: the whole body
        int forRequests = 0;      // > 0: the answer of only the next this many requests, then cleared

        /** A range request answered wrongly (206, If-Range ignored): a range that ends short of
            the last byte, a body shorter than the range, 50 bytes past it, or no entity tag (on no answer). */
        enum class RangeFault { none, endsShort, bodyShort, bodyLong, noTag } rangeFault = RangeFault::none;

        static Answer text (const juce::String& body, int status = 200);
        static Answer error (int status);
        static Answer silence();
    };

    /** Serves files below root (may be empty: then only scripted answers and 404s). */
    explicit LocalServer (const juce::File& root = {});
    ~LocalServer();

    /** Listens on 127.0.0.1; port 0 picks a free one. False when it cannot bind. */
    bool start (int port = 0);
    void stop();

    int getPort() const;

    /** "http://127.0.0.1:<port>" */
    juce::String getBaseUrl() const;

    void setRoot (const juce::File& root);

    /** Scripts the answer for one path (any method); replaces an earlier one. */
    void setAnswer (const juce::String& path, const Answer& answer);
    void clearAnswer (const juce::String& path);
    void clearAnswers();

    std::vector<Request> getRequests() const;
    std::vector<Request> getRequests (const juce::String& method, const juce::String& path) const;
    int countRequests (const juce::String& path) const;
    void clearRequests();

    /** Waits until at least count requests were recorded. */
    bool waitForRequests (int count, int timeoutMs = 10000) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;

    JUCE_DECLARE_NON_COPYABLE (LocalServer)
};
