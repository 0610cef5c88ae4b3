#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    struct Fetched
    {
        int status = 0;
        bool complete = false;
        juce::String body;
    };

    Fetched fetch (const juce::URL& url, bool post = false, int timeoutMs = 5000)
    {
        Fetched result;
        auto options = juce::URL::InputStreamOptions (post ? juce::URL::ParameterHandling::inPostData
                                                           : juce::URL::ParameterHandling::inAddress)
                           .withConnectionTimeoutMs (timeoutMs)
                           .withStatusCode (&result.status);

        if (auto stream = url.createInputStream (options))
        {
            result.body = stream->readEntireStreamAsString();
            result.complete = stream->isExhausted();
        }

        return result;
    }

    juce::File makeTree()
    {
        auto root = TestEnvironment::getHome().getChildFile ("served");
        root.getChildFile ("folder").createDirectory();
        root.getChildFile ("folder/file.txt").replaceWithText ("hello");
        TestEnvironment::getHome().getChildFile ("secret.txt").replaceWithText ("secret");
        return root;
    }
}

TEST (LocalServer, ServesFilesAndRecordsRequestsInOrder)
{
    LocalServer server (makeTree());
    ASSERT_TRUE (server.start());

    const auto file = fetch (juce::URL (server.getBaseUrl() + "/folder/file.txt?a=1&b=two%20words"));
    EXPECT_EQ (file.status, 200);
    EXPECT_EQ (file.body, "hello");

    EXPECT_EQ (fetch (juce::URL (server.getBaseUrl() + "/folder/missing.txt")).status, 404);
    EXPECT_EQ (fetch (juce::URL (server.getBaseUrl() + "/../secret.txt")).status, 404);

    const auto requests = server.getRequests();
    ASSERT_GE (requests.size(), 2u);
    EXPECT_EQ (requests[0].method, "GET");
    EXPECT_EQ (requests[0].path, "/folder/file.txt");
    ASSERT_EQ (requests[0].parameters.size(), 2u);
    EXPECT_EQ (requests[0].parameters[0].first, "a");
    EXPECT_EQ (requests[0].getParameter ("b"), "two words");
    EXPECT_EQ (requests[1].path, "/folder/missing.txt");
}

TEST (LocalServer, PostRecordsFormParametersInOrderAndAnswersEmpty)
{
    LocalServer server;
    ASSERT_TRUE (server.start());

    const auto url = juce::URL (server.getBaseUrl() + "/php/track.php")
                         .withParameter ("zeta", "1")
                         .withParameter ("alpha", "a b&c");
    const auto answer = fetch (url, true);
    EXPECT_EQ (answer.status, 200);
    EXPECT_TRUE (answer.body.isEmpty());

    const auto posts = server.getRequests ("POST", "/php/track.php");
    ASSERT_EQ (posts.size(), 1u);
    ASSERT_EQ (posts[0].parameters.size(), 2u);
    EXPECT_EQ (posts[0].parameters[0].first, "zeta");
    EXPECT_EQ (posts[0].parameters[1].second, "a b&c");

    server.setAnswer ("/php/track.php", LocalServer::Answer::text ("Yes"));
    EXPECT_EQ (fetch (url, true).body, "Yes");
}

TEST (LocalServer, ScriptedFailures)
{
    LocalServer server (makeTree());
    ASSERT_TRUE (server.start());
    const juce::URL url (server.getBaseUrl() + "/folder/file.txt");

    server.setAnswer ("/folder/file.txt", LocalServer::Answer::error (500));
    EXPECT_EQ (fetch (url).status, 500);

    auto cut = LocalServer::Answer::text ("0123456789");
    cut.truncateAfter = 4;
    server.setAnswer ("/folder/file.txt", cut);
    const auto truncated = fetch (url);
    EXPECT_LT (truncated.body.length(), 10);

    server.clearAnswer ("/folder/file.txt");
    EXPECT_EQ (fetch (url).body, "hello");
}

TEST (LocalServer, SilentPathEndsWhenTheServerStops)
{
    LocalServer server;
    ASSERT_TRUE (server.start());
    server.setAnswer ("/hang", LocalServer::Answer::silence());

    std::thread stopper ([&server] { server.waitForRequests (1); juce::Thread::sleep (50); server.stop(); });
    const auto answer = fetch (juce::URL (server.getBaseUrl() + "/hang"), false, 20000);
    stopper.join();
    EXPECT_NE (answer.status, 200);
    EXPECT_EQ (server.countRequests ("/hang"), 1);
}
