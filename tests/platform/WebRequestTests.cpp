#include "platform/WebRequest.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <netdb.h>

// A name lookup the tests can hold. libcurl resolves names on a thread of its
// own through getaddrinfo, which this program provides in place of the C
// library's: the held name waits until the test lets it go (or a minute
// passes) and then stands for this machine. Every other name goes to the C
// library, so nothing here ever asks a name server.
namespace
{
    const char* const heldName = "held-lookup.belvora.test";

    struct HeldLookups
    {
        std::mutex lock;
        std::condition_variable changed;
        bool released = true;
        int waiting = 0;
    };

    HeldLookups& heldLookups()
    {
        static HeldLookups lookups;
        return lookups;
    }

    /** Holds every lookup of heldName for as long as it lives. */
    struct HeldLookup
    {
        HeldLookup()   { set (false); }
        ~HeldLookup()
        {
            set (true);
            auto& h = heldLookups();
            std::unique_lock guard (h.lock);
            h.changed.wait (guard, [&h] { return h.waiting == 0; });
        }

        bool waitUntilHeld (int count)
        {
            auto& h = heldLookups();
            std::unique_lock guard (h.lock);
            return h.changed.wait_for (guard, std::chrono::seconds (30), [&] { return h.waiting >= count; });
        }

        bool isHeld()
        {
            auto& h = heldLookups();
            const std::lock_guard guard (h.lock);
            return h.waiting > 0;
        }

        static void set (bool released)
        {
            auto& h = heldLookups();
            const std::lock_guard guard (h.lock);
            h.released = released;
            h.changed.notify_all();
        }
    };
}

extern "C" int getaddrinfo (const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** result)
{
    using Lookup = int (*) (const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto next = reinterpret_cast<Lookup> (dlsym (RTLD_NEXT, "getaddrinfo"));

    if (node != nullptr && std::strcmp (node, heldName) == 0)
    {
        auto& h = heldLookups();
        std::unique_lock guard (h.lock);
        ++h.waiting;
        h.changed.notify_all();
        h.changed.wait_for (guard, std::chrono::minutes (1), [&h] { return h.released; });
        --h.waiting;
        h.changed.notify_all();
        node = "127.0.0.1";
    }

    return next (node, service, hints, result);
}

namespace
{
    // Runs one GET on a worker of its own, as the download thread does.
    struct Fetcher : public juce::Thread
    {
        explicit Fetcher (juce::String a) : juce::Thread ("test fetcher"), address (std::move (a)) {}

        void run() override
        {
            platform::WebRequest::Options options;
            options.timeoutMs = 60000;   // longer than the test: only the stop request can end it
            options.worker = this;
            response = platform::WebRequest::get (address, options);
        }

        juce::String address;
        platform::WebRequest::Response response;
    };

    class WebRequests : public testing::Test
    {
    protected:
        void SetUp() override    { ASSERT_TRUE (server.start()); }
        void TearDown() override { server.stop(); }

        juce::String url (const char* path) const { return server.getBaseUrl() + path; }

        LocalServer server;
    };
}

TEST_F (WebRequests, StopRequestEndsATransferTheServerNeverAnswers)
{
    server.setAnswer ("/silent", LocalServer::Answer::silence());
    Fetcher fetcher (url ("/silent"));
    fetcher.startThread();
    ASSERT_TRUE (server.waitForRequests (1));

    EXPECT_TRUE (fetcher.stopThread (30000));
    EXPECT_TRUE (fetcher.response.stopped);
    EXPECT_FALSE (fetcher.response.complete);

    // A worker already asked to stop starts nothing.
    Fetcher late (url ("/silent"));
    late.signalThreadShouldExit();
    late.run();
    EXPECT_TRUE (late.response.stopped);
    EXPECT_EQ (server.countRequests ("/silent"), 1);

    // The program's quit ends one in flight on any thread; later ones run.
    Fetcher pending (url ("/silent"));
    pending.startThread();
    ASSERT_TRUE (server.waitForRequests (2));
    platform::WebRequest::abortPending();
    EXPECT_TRUE (pending.waitForThreadToExit (30000));
    EXPECT_TRUE (pending.response.stopped);

    server.setAnswer ("/doc", LocalServer::Answer::text ("after"));
    EXPECT_TRUE (platform::WebRequest::get (url ("/doc"), {}).complete);
}

// A name server that never answers once held every stop for as long as it
// liked: ending the transfer waited for libcurl's lookup to finish.
TEST_F (WebRequests, StopEndsATransferWhoseNameLookupHangs)
{
    server.setAnswer ("/doc", LocalServer::Answer::text ("found"));
    const auto address = "http://" + juce::String (heldName) + ":" + juce::String (server.getPort()) + "/doc";

    {
        HeldLookup lookup;
        Fetcher fetcher (address);
        fetcher.startThread();
        ASSERT_TRUE (lookup.waitUntilHeld (1));

        fetcher.signalThreadShouldExit();
        EXPECT_TRUE (fetcher.waitForThreadToExit (20000));
        EXPECT_TRUE (fetcher.response.stopped);
        EXPECT_TRUE (lookup.isHeld()) << "the transfer waited for the lookup to end";

        // The quit's stop on any thread, and a transfer's own limit, alike.
        Fetcher pending (address);
        pending.startThread();
        ASSERT_TRUE (lookup.waitUntilHeld (2));
        platform::WebRequest::abortPending();
        EXPECT_TRUE (pending.waitForThreadToExit (20000));
        EXPECT_TRUE (pending.response.stopped);

        platform::WebRequest::Options bounded;
        bounded.totalLimitMs = 200;
        const auto limited = platform::WebRequest::get (address, bounded);
        EXPECT_FALSE (limited.complete);
        EXPECT_FALSE (limited.stopped);
        EXPECT_TRUE (lookup.isHeld());
    }

    // Once the name resolves, the same address serves its document.
    EXPECT_EQ (platform::WebRequest::get (address, {}).body.toString(), "found");
    EXPECT_EQ (server.countRequests ("/doc"), 1);
}

TEST_F (WebRequests, SilenceEndsATransferWhileATrickleGoesOn)
{
    struct ScopedSilenceLimit
    {
        explicit ScopedSilenceLimit (int ms)  { platform::WebRequest::setSilenceLimitMs (ms); }
        ~ScopedSilenceLimit()                 { platform::WebRequest::setSilenceLimitMs (0); }
    } limit (1000);

    server.setAnswer ("/silent", LocalServer::Answer::silence());
    const auto silent = platform::WebRequest::get (url ("/silent"), {});
    EXPECT_FALSE (silent.complete);
    EXPECT_FALSE (silent.stopped);
    EXPECT_EQ (silent.status, 0);

    // Longer in all than the limit, but never that long without a byte.
    auto slow = LocalServer::Answer::text ("twelve bytes");
    slow.trickleMs = 150;
    server.setAnswer ("/slow", slow);
    const auto trickled = platform::WebRequest::get (url ("/slow"), {});
    EXPECT_TRUE (trickled.complete);
    EXPECT_EQ (trickled.body.toString(), "twelve bytes");
}

TEST_F (WebRequests, BodyStatusAndLimits)
{
    server.setAnswer ("/doc", LocalServer::Answer::text ("twelve bytes"));
    server.setAnswer ("/gone", LocalServer::Answer::error (404));

    std::atomic<juce::int64> counter { 0 };
    platform::WebRequest::Options options;
    options.counter = &counter;

    const auto ok = platform::WebRequest::get (url ("/doc"), options);
    EXPECT_TRUE (ok.complete);
    EXPECT_EQ (ok.status, 200);
    EXPECT_EQ (ok.body.toString(), "twelve bytes");
    EXPECT_EQ (counter.load(), 12);

    options.maxBytes = 11;
    EXPECT_FALSE (platform::WebRequest::get (url ("/doc"), options).complete);

    const auto gone = platform::WebRequest::get (url ("/gone"), {});
    EXPECT_FALSE (gone.complete);
    EXPECT_TRUE (gone.isErrorStatus());
    EXPECT_TRUE (gone.body.isEmpty());

    auto cut = LocalServer::Answer::text ("announced in full, sent in part");
    cut.truncateAfter = 4;
    server.setAnswer ("/cut", cut);
    EXPECT_FALSE (platform::WebRequest::get (url ("/cut"), {}).complete);

    // Nothing but the web: a document naming a local file or another scheme gets nothing.
    EXPECT_EQ (platform::WebRequest::get ("file:///etc/hostname", {}).status, 0);
    EXPECT_FALSE (platform::WebRequest::get ("file:///etc/hostname", {}).complete);
}

TEST_F (WebRequests, PostSendsTheParametersAsAForm)
{
    server.setAnswer ("/form", LocalServer::Answer::text ("Yes"));

    const auto url = juce::URL (server.getBaseUrl() + "/form").withParameter ("serial", "77").withParameter ("name", "a b&c");
    const auto response = platform::WebRequest::post (url, {});
    EXPECT_TRUE (response.complete);
    EXPECT_EQ (response.body.toString(), "Yes");

    const auto posts = server.getRequests ("POST", "/form");
    ASSERT_EQ (posts.size(), 1u);
    EXPECT_EQ (posts[0].getParameter ("serial"), "77");
    EXPECT_EQ (posts[0].getParameter ("name"), "a b&c");
}
