#include "platform/WebRequest.h"

#include <curl/curl.h>

#include <memory>

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
    std::atomic<int> silenceLimitMs { WebRequest::defaultSilenceLimitMs };

    // How long one wait for the server lasts before the stop conditions are looked at again.
    constexpr int pollMs = 20;

    void initialiseCurlOnce()
    {
        static const auto result = curl_global_init (CURL_GLOBAL_DEFAULT);
        juce::ignoreUnused (result);
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
            return options.totalLimitMs > 0 && juce::Time::getMillisecondCounter() - startedAt > (juce::uint32) options.totalLimitMs;
        }

        bool shouldStop() const
        {
            return aborted.load() || pendingGeneration.load() != generation || (worker != nullptr && worker->threadShouldExit());
        }

        bool hasBeenSilentTooLong() const
        {
            return juce::Time::getMillisecondCounter() - lastArrival.load() > (juce::uint32) silenceMs;
        }

        void arrived()
        {
            lastArrival = juce::Time::getMillisecondCounter();
        }

        static size_t receiveHeader (char*, size_t size, size_t count, void* user)
        {
            static_cast<Transfer*> (user)->arrived();
            return size * count;
        }

        static size_t receive (char* data, size_t size, size_t count, void* user)
        {
            auto& transfer = *static_cast<Transfer*> (user);
            const auto bytes = size * count;
            auto& body = transfer.response.body;
            transfer.arrived();

            if ((juce::int64) (body.getSize() + bytes) > transfer.options.maxBytes)
                return 0;   // breaks the transfer off

            body.append (data, bytes);

            if (transfer.options.counter != nullptr)
                transfer.options.counter->fetch_add ((juce::int64) bytes);

            return bytes;
        }

        const WebRequest::Options& options;
        juce::Thread* const worker;
        const int generation = pendingGeneration.load();
        const int silenceMs;
        const juce::uint32 startedAt = juce::Time::getMillisecondCounter();
        std::atomic<juce::uint32> lastArrival { startedAt };
        WebRequest::Response response;
    };

    struct EasyDeleter  { void operator() (CURL* c) const  { curl_easy_cleanup (c); } };
    struct MultiDeleter { void operator() (CURLM* m) const { curl_multi_cleanup (m); } };

    bool configure (CURL* easy, const juce::String& address, const juce::String* form, Transfer& transfer)
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

        if (easy == nullptr || multi == nullptr || ! configure (easy.get(), address, form, transfer)
            || curl_multi_add_handle (multi.get(), easy.get()) != CURLM_OK)
            return transfer.response;

        int running = 0;
        auto state = curl_multi_perform (multi.get(), &running);

        while (state == CURLM_OK && running > 0)
        {
            if (transfer.shouldStop())
            {
                transfer.response.stopped = true;
                break;
            }

            // Besides a stop, only silence or the total limit ends a transfer:
            // a slow server that keeps sending is waited for.
            if (transfer.hasRunOutOfTime())
            {
                transfer.response.overTime = true;
                break;
            }

            if (transfer.hasBeenSilentTooLong())
                break;

            state = curl_multi_poll (multi.get(), nullptr, 0, pollMs, nullptr);

            if (state == CURLM_OK)
                state = curl_multi_perform (multi.get(), &running);
        }

        auto result = CURLE_RECV_ERROR;
        int left = 0;

        while (auto* message = curl_multi_info_read (multi.get(), &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get())
                result = message->data.result;

        long status = 0;
        curl_easy_getinfo (easy.get(), CURLINFO_RESPONSE_CODE, &status);
        curl_multi_remove_handle (multi.get(), easy.get());

        auto& response = transfer.response;
        response.status = (int) status;
        response.complete = ! response.stopped && running == 0 && state == CURLM_OK && result == CURLE_OK && status > 0 && status < 400;
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

void WebRequest::abortAll() noexcept
{
    aborted.store (true);
}

bool WebRequest::isAborted() noexcept
{
    return aborted.load();
}

void WebRequest::abortPending() noexcept
{
    pendingGeneration.fetch_add (1);
}

int WebRequest::getSilenceLimitMs() noexcept
{
    return silenceLimitMs.load();
}

void WebRequest::setSilenceLimitMs (int milliseconds) noexcept
{
    silenceLimitMs.store (milliseconds > 0 ? milliseconds : defaultSilenceLimitMs);
}

} // namespace platform
