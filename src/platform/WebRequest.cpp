#include "platform/WebRequest.h"

#include "platform/Clock.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <set>

// JUCE's own curl stream cannot be used here: its connect loop treats a
// signal that interrupts its select() as an error it never leaves, and spins
// at full load until another thread cancels the stream. So every transfer
// drives libcurl itself, looking at its stop conditions between short polls.

namespace platform
{
namespace
{
    std::atomic<bool> aborted { false };
    static_assert (std::atomic<bool>::is_always_lock_free, "abortAll runs in a signal handler");

    std::atomic<int> pendingGeneration { 0 };
    std::atomic<int> silenceLimitMs { DownloadPolicy::defaultSilenceMs };

    // The stops wake a transfer at once; only giveWay must be looked at.
    constexpr int longestPollMs = DownloadPolicy::longestSleepMs;

    // Written to by abortAll, never read: once it holds a byte, every wait of
    // every transfer ends at once. A pipe is what a signal handler may use.
    int abortPipeRead = -1;
    std::atomic<int> abortPipeWrite { -1 };

    void initialiseCurlOnce()
    {
        static const auto result = []
        {
            int fds[2] = { -1, -1 };

            if (::pipe2 (fds, O_NONBLOCK | O_CLOEXEC) == 0)
            {
                abortPipeRead = fds[0];
                abortPipeWrite.store (fds[1]);
            }

            return curl_global_init (CURL_GLOBAL_DEFAULT);
        }();

        juce::ignoreUnused (result);

        if (aborted.load())
            WebRequest::abortAll();
    }

    // The transfers under way, so that the quit can wake each one.
    std::mutex activeLock;
    std::set<CURLM*> active;

    /** While it lives, a stop of the transfer's worker, or the quit, wakes the transfer's wait. */
    struct Wakeable : private juce::Thread::Listener
    {
        Wakeable (CURLM* m, juce::Thread* w) : multi (m), worker (w)
        {
            {
                const std::lock_guard guard (activeLock);
                active.insert (multi);
            }

            if (worker != nullptr)
                worker->addListener (this);
        }

        ~Wakeable() override
        {
            // Once removed, no call of exitSignalSent runs or starts.
            if (worker != nullptr)
                worker->removeListener (this);

            const std::lock_guard guard (activeLock);
            active.erase (multi);
        }

        static void wakeAll()
        {
            const std::lock_guard guard (activeLock);

            for (auto* m : active)
                curl_multi_wakeup (m);
        }

    private:
        void exitSignalSent() override   { curl_multi_wakeup (multi); }

        CURLM* const multi;
        juce::Thread* const worker;
    };

    juce::int64 parseNumber (const juce::String& text)
    {
        return text.containsOnly ("0123456789") && text.isNotEmpty() && text.length() < 19 ? text.getLargeIntValue() : -1;
    }

    struct Transfer
    {
        explicit Transfer (const WebRequest::Options& o)
            : options (o),
              worker (o.worker != nullptr ? o.worker : juce::Thread::getCurrentThread()),
              silenceMs (o.timeoutMs > 0 ? o.timeoutMs : WebRequest::getSilenceLimitMs())
        {
        }

        bool hasRunOutOfTime() const
        {
            return options.totalLimitMs > 0 && Clock::now() - startedAt > (juce::uint32) options.totalLimitMs;
        }

        bool shouldStop() const
        {
            return aborted.load() || pendingGeneration.load() != generation || (worker != nullptr && worker->threadShouldExit());
        }

        bool hasBeenSilentTooLong() const
        {
            return Clock::now() - lastArrival.load() > (juce::uint32) silenceMs;
        }

        void arrived()
        {
            lastArrival = Clock::now();
        }

        static size_t receiveHeader (char* data, size_t size, size_t count, void* user)
        {
            auto& transfer = *static_cast<Transfer*> (user);
            transfer.arrived();
            transfer.readHeader (juce::String::fromUTF8 (data, (int) (size * count)).trim());
            return size * count;
        }

        // Each answer's headers replace the last one's: a redirect's say nothing of the body.
        void readHeader (const juce::String& line)
        {
            auto& r = response;

            if (line.startsWithIgnoreCase ("HTTP/"))
            {
                r.rangeStart = r.rangeEnd = r.totalLength = r.contentLength = -1;
                r.etag = r.lastModified = r.contentType = {};
                chunked = false;
                return;
            }

            const auto name = line.upToFirstOccurrenceOf (":", false, false).trim().toLowerCase();
            const auto value = line.fromFirstOccurrenceOf (":", false, false).trim();

            if (name == "etag")
                r.etag = value;
            else if (name == "last-modified")
                r.lastModified = value;
            else if (name == "content-type")
                r.contentType = value;
            else if (name == "content-length")
                r.contentLength = parseNumber (value);
            else if (name == "transfer-encoding")
                chunked = value.containsIgnoreCase ("chunked");
            else if (name == "content-range" && value.startsWithIgnoreCase ("bytes "))
            {
                // "bytes first-last/total", the total "*" when unknown.
                const auto range = value.substring (6);
                const auto span = range.upToFirstOccurrenceOf ("/", false, false);
                r.rangeStart = parseNumber (span.upToFirstOccurrenceOf ("-", false, false).trim());
                r.rangeEnd = parseNumber (span.fromFirstOccurrenceOf ("-", false, false).trim());
                r.totalLength = parseNumber (range.fromFirstOccurrenceOf ("/", false, false).trim());
            }
        }

        // Exactly what the headers announce: a range's bytes first to last, else its length.
        bool hasTheAnnouncedLength() const
        {
            const auto& r = response;
            const auto size = (juce::int64) r.body.getSize();

            if (r.status == 206)
                return r.rangeStart >= 0 && r.rangeEnd >= r.rangeStart && size == r.rangeEnd - r.rangeStart + 1;

            return r.contentLength < 0 || size == r.contentLength;
        }

        // libcurl fails a chunked body cut before its last chunk, and one cut short of its length.
        bool isEndKnown (long httpVersion) const
        {
            return response.contentLength >= 0 || response.rangeEnd >= 0 || chunked || httpVersion >= CURL_HTTP_VERSION_2_0;
        }

        // The whole body's limit, less what a range answer leaves out.
        juce::int64 bodyLimit() const
        {
            return options.maxBytes - juce::jmax ((juce::int64) 0, response.rangeStart);
        }

        int nextWaitMs() const
        {
            const auto now = Clock::now();
            auto wait = juce::jmin (longestPollMs, silenceMs - (int) (now - lastArrival.load()));

            if (options.totalLimitMs > 0)
                wait = juce::jmin (wait, options.totalLimitMs - (int) (now - startedAt));

            return juce::jmax (1, wait);
        }

        bool shouldGiveWay()
        {
            const auto now = Clock::now();

            if (options.giveWay == nullptr || now - lastGiveWayCheck < (juce::uint32) DownloadPolicy::giveWayLookMs)
                return false;

            lastGiveWayCheck = now;
            return options.giveWay();
        }

        static size_t receive (char* data, size_t size, size_t count, void* user)
        {
            auto& transfer = *static_cast<Transfer*> (user);
            const auto bytes = size * count;
            auto& body = transfer.response.body;
            transfer.arrived();

            if ((juce::int64) (body.getSize() + bytes) > transfer.bodyLimit())
            {
                transfer.response.overLimit = true;
                return 0;   // breaks the transfer off
            }

            body.append (data, bytes);
            transfer.response.lastByteAt = transfer.lastArrival.load();

            if (transfer.options.counter != nullptr)
                transfer.options.counter->fetch_add ((juce::int64) bytes);

            return bytes;
        }

        const WebRequest::Options& options;
        juce::Thread* const worker;
        const int generation = pendingGeneration.load();
        const int silenceMs;
        const juce::uint32 startedAt = Clock::now();
        std::atomic<juce::uint32> lastArrival { startedAt };
        juce::uint32 lastGiveWayCheck = startedAt;
        bool chunked = false;
        WebRequest::Response response;
    };

    struct EasyDeleter  { void operator() (CURL* c) const  { curl_easy_cleanup (c); } };
    struct MultiDeleter { void operator() (CURLM* m) const { curl_multi_cleanup (m); } };
    struct ListDeleter  { void operator() (curl_slist* l) const { curl_slist_free_all (l); } };

    bool configure (CURL* easy, const juce::String& address, const juce::String* form, Transfer& transfer,
                    std::unique_ptr<curl_slist, ListDeleter>& headers)
    {
        const auto& options = transfer.options;
        const auto* version = curl_version_info (CURLVERSION_NOW);
        const auto agent = juce::String ("curl/") + (version != nullptr ? version->version : "");

        auto ok = curl_easy_setopt (easy, CURLOPT_URL, address.toRawUTF8()) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_FOLLOWLOCATION, options.maxRedirects > 0 ? 1L : 0L) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_MAXREDIRS, (long) options.maxRedirects) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_CONNECTTIMEOUT_MS, (long) transfer.silenceMs) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t) options.maxBytes) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_FAILONERROR, 1L) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_USERAGENT, agent.toRawUTF8()) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_WRITEFUNCTION, &Transfer::receive) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_HEADERFUNCTION, &Transfer::receiveHeader) == CURLE_OK
               && curl_easy_setopt (easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK;

        // Without it, ending a transfer whose name lookup still runs waits for
        // that lookup, which a name server that never answers holds for as
        // long as it likes; with it, the lookup's thread finishes alone.
        if (ok)
            curl_easy_setopt (easy, CURLOPT_QUICK_EXIT, 1L);

        if (ok && form != nullptr)
            ok = curl_easy_setopt (easy, CURLOPT_POSTFIELDSIZE_LARGE, (curl_off_t) form->getNumBytesAsUTF8()) == CURLE_OK
              && curl_easy_setopt (easy, CURLOPT_COPYPOSTFIELDS, form->toRawUTF8()) == CURLE_OK;

        // A plain range, not libcurl's resume: that fails an answer of the
        // whole body, which is what a changed file or a server without ranges gives.
        if (ok && form == nullptr && options.rangeFrom > 0)
        {
            ok = curl_easy_setopt (easy, CURLOPT_RANGE, (juce::String (options.rangeFrom) + "-").toRawUTF8()) == CURLE_OK;

            if (ok && options.ifRange.isNotEmpty())
            {
                headers.reset (curl_slist_append (nullptr, ("If-Range: " + options.ifRange).toRawUTF8()));
                ok = headers != nullptr && curl_easy_setopt (easy, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
            }
        }

        return ok;
    }

    WebRequest::Response perform (const juce::String& address, const juce::String* form, const WebRequest::Options& options)
    {
        Transfer transfer (options);

        if (address.isEmpty() || transfer.shouldStop())
        {
            transfer.response.stopped = transfer.shouldStop();
            return transfer.response;
        }

        initialiseCurlOnce();
        std::unique_ptr<CURL, EasyDeleter> easy (curl_easy_init());
        std::unique_ptr<CURLM, MultiDeleter> multi (curl_multi_init());
        std::unique_ptr<curl_slist, ListDeleter> headers;

        if (easy == nullptr || multi == nullptr || ! configure (easy.get(), address, form, transfer, headers)
            || curl_multi_add_handle (multi.get(), easy.get()) != CURLM_OK)
            return transfer.response;

        const Wakeable wakeable (multi.get(), transfer.worker);
        curl_waitfd abortPipe { abortPipeRead, CURL_WAIT_POLLIN, 0 };
        const auto numExtraFds = abortPipeRead >= 0 ? 1u : 0u;

        int running = 0;
        auto state = curl_multi_perform (multi.get(), &running);

        while (state == CURLM_OK && running > 0)
        {
            if (transfer.shouldStop())
            {
                transfer.response.stopped = true;
                break;
            }

            // Besides a stop, only silence or the turn ends a transfer: a
            // slow server that keeps sending is waited for.
            if (transfer.hasRunOutOfTime() || transfer.shouldGiveWay())
            {
                transfer.response.overTime = true;
                break;
            }

            if (transfer.hasBeenSilentTooLong())
            {
                transfer.response.silent = true;
                break;
            }

            state = curl_multi_poll (multi.get(), &abortPipe, numExtraFds, transfer.nextWaitMs(), nullptr);

            if (state == CURLM_OK)
                state = curl_multi_perform (multi.get(), &running);
        }

        auto result = CURLE_RECV_ERROR;
        int left = 0;

        while (auto* message = curl_multi_info_read (multi.get(), &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get())
                result = message->data.result;

        long status = 0, httpVersion = 0;
        curl_easy_getinfo (easy.get(), CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo (easy.get(), CURLINFO_HTTP_VERSION, &httpVersion);
        curl_multi_remove_handle (multi.get(), easy.get());

        auto& response = transfer.response;
        response.status = (int) status;

        if (response.rangeStart < 0)
            response.totalLength = response.contentLength;

        response.overLimit = response.overLimit || result == CURLE_FILESIZE_EXCEEDED;
        response.complete = ! response.stopped && running == 0 && state == CURLM_OK && result == CURLE_OK && status > 0 && status < 400
                         && transfer.hasTheAnnouncedLength();
        response.endKnown = transfer.isEndKnown (httpVersion);
        return response;
    }
} // namespace

WebRequest::Response WebRequest::get (const juce::String& address, const Options& options)
{
    return perform (address, nullptr, options);
}

WebRequest::Response WebRequest::post (const juce::URL& url, const Options& options)
{
    const auto form = url.getQueryString().fromFirstOccurrenceOf ("?", false, false);
    return perform (url.toString (false), &form, options);
}

juce::String WebRequest::Response::getValidator() const
{
    if (etag.isNotEmpty() && ! etag.startsWith ("W/"))
        return etag;

    return lastModified;
}

void WebRequest::abortAll() noexcept
{
    aborted.store (true);

    if (const auto fd = abortPipeWrite.load(); fd >= 0)
        juce::ignoreUnused (::write (fd, "x", 1));
}

bool WebRequest::isAborted() noexcept
{
    return aborted.load();
}

void WebRequest::abortPending() noexcept
{
    pendingGeneration.fetch_add (1);
    Wakeable::wakeAll();
}

int WebRequest::getSilenceLimitMs() noexcept
{
    return silenceLimitMs.load();
}

void WebRequest::setSilenceLimitMs (int milliseconds) noexcept
{
    silenceLimitMs.store (milliseconds > 0 ? milliseconds : DownloadPolicy::defaultSilenceMs);
}

} // namespace platform
