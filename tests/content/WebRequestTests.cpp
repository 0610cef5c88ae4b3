#include "content/WebRequest.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace
{
    // Runs one GET on a worker of its own, as the download thread does.
    struct Fetcher : public juce::Thread
    {
        explicit Fetcher (juce::String a) : juce::Thread ("test fetcher"), address (std::move (a)) {}

        void run() override
        {
            WebRequest::Options options;
            options.timeoutMs = 60000;   // longer than the test: only the stop request can end it
            options.worker = this;
            response = WebRequest::get (address, options);
        }

        juce::String address;
        WebRequest::Response response;
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
    WebRequest::abortPending();
    EXPECT_TRUE (pending.waitForThreadToExit (30000));
    EXPECT_TRUE (pending.response.stopped);

    server.setAnswer ("/doc", LocalServer::Answer::text ("after"));
    EXPECT_TRUE (WebRequest::get (url ("/doc"), {}).complete);
}

TEST_F (WebRequests, SilenceEndsATransferWhileATrickleGoesOn)
{
    struct ScopedSilenceLimit
    {
        explicit ScopedSilenceLimit (int ms)  { WebRequest::setSilenceLimitMs (ms); }
        ~ScopedSilenceLimit()                 { WebRequest::setSilenceLimitMs (WebRequest::defaultSilenceLimitMs); }
    } limit (1000);

    server.setAnswer ("/silent", LocalServer::Answer::silence());
    const auto silent = WebRequest::get (url ("/silent"), {});
    EXPECT_FALSE (silent.complete);
    EXPECT_FALSE (silent.stopped);
    EXPECT_EQ (silent.status, 0);

    // Longer in all than the limit, but never that long without a byte.
    auto slow = LocalServer::Answer::text ("twelve bytes");
    slow.trickleMs = 150;
    server.setAnswer ("/slow", slow);
    const auto trickled = WebRequest::get (url ("/slow"), {});
    EXPECT_TRUE (trickled.complete);
    EXPECT_EQ (trickled.body.toString(), "twelve bytes");
}

TEST_F (WebRequests, BodyStatusAndLimits)
{
    server.setAnswer ("/doc", LocalServer::Answer::text ("twelve bytes"));
    server.setAnswer ("/gone", LocalServer::Answer::error (404));

    std::atomic<juce::int64> counter { 0 };
    WebRequest::Options options;
    options.counter = &counter;

    const auto ok = WebRequest::get (url ("/doc"), options);
    EXPECT_TRUE (ok.complete);
    EXPECT_EQ (ok.status, 200);
    EXPECT_EQ (ok.body.toString(), "twelve bytes");
    EXPECT_EQ (counter.load(), 12);

    options.maxBytes = 11;
    EXPECT_FALSE (WebRequest::get (url ("/doc"), options).complete);

    const auto gone = WebRequest::get (url ("/gone"), {});
    EXPECT_FALSE (gone.complete);
    EXPECT_TRUE (gone.isErrorStatus());
    EXPECT_TRUE (gone.body.isEmpty());

    auto cut = LocalServer::Answer::text ("announced in full, sent in part");
    cut.truncateAfter = 4;
    server.setAnswer ("/cut", cut);
    EXPECT_FALSE (WebRequest::get (url ("/cut"), {}).complete);

    // Nothing but the web: a document naming a local file or another scheme gets nothing.
    EXPECT_EQ (WebRequest::get ("file:///etc/hostname", {}).status, 0);
    EXPECT_FALSE (WebRequest::get ("file:///etc/hostname", {}).complete);
}

TEST_F (WebRequests, PostSendsTheParametersAsAForm)
{
    server.setAnswer ("/form", LocalServer::Answer::text ("Yes"));

    const auto url = juce::URL (server.getBaseUrl() + "/form").withParameter ("serial", "77").withParameter ("name", "a b&c");
    const auto response = WebRequest::post (url, {});
    EXPECT_TRUE (response.complete);
    EXPECT_EQ (response.body.toString(), "Yes");

    const auto posts = server.getRequests ("POST", "/form");
    ASSERT_EQ (posts.size(), 1u);
    EXPECT_EQ (posts[0].getParameter ("serial"), "77");
    EXPECT_EQ (posts[0].getParameter ("name"), "a b&c");
}
