// Ctrl-C while a transfer is in flight: the program itself, started against a
// content server that accepts and never answers. Needs a display.

#include "support/LocalServer.h"
#include "support/ProgramProcess.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace
{
    class Interrupt : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            home = TestEnvironment::getHome().getChildFile ("interrupted");
            home.deleteRecursively();
            dataFolder().createDirectory();
            ASSERT_TRUE (server.start());
        }

        void TearDown() override
        {
            program.kill();
            server.stop();
            home.deleteRecursively();
        }

        juce::File dataFolder() const { return home.getChildFile (".config/Marrowell/Belvora 2"); }

        /** The sample descriptor as an earlier start would have kept it, and one known unit. */
        void keepEarlierStart()
        {
            const auto descriptor = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/masterDescriptor.xml");
            dataFolder().getChildFile ("masterDescriptor.xml")
                .replaceWithText (descriptor.loadFileAsString().replace ("${SERVER}", server.getBaseUrl()));
            dataFolder().getChildFile ("deviceList.xml")
                .replaceWithText ("<DEVICE_MANAGER><device name=\"Vesper\" id=\"18\" serial=\"10000077\" version=\"1.4.0 build 140\" "
                                  "activated=\"1\"/></DEVICE_MANAGER>");
        }

        void silence (const juce::String& path) { server.setAnswer (path, LocalServer::Answer::silence()); }

        void start()
        {
            ASSERT_TRUE (program.start (BELVORA_PROGRAM, server.getBaseUrl()));
        }

        /** Starts the program and waits until it asks for path; false when it
            ended first (only one instance runs: another one may be open). */
        bool startAndWaitForRequestTo (const juce::String& path)
        {
            start();
            int status = 0;
            return TestEnvironment::runMessageLoopUntil ([&] { return server.countRequests (path) > 0 || program.hasEnded (status); }, 60000)
                && program.isRunning();
        }

        /** Interrupts the program and waits, within a generous limit, for it to end. */
        bool interruptEndsIt()
        {
            program.signal (SIGINT);
            int status = 0;

            if (! TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 120000))
            {
                program.kill();
                return false;
            }

            return WIFEXITED (status) || (WIFSIGNALED (status) && WTERMSIG (status) == SIGINT);
        }

        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
        juce::File home;
        ProgramProcess program { TestEnvironment::getHome().getChildFile ("interrupted") };
    };
}

// One program at a time: it refuses to run twice.
TEST_F (Interrupt, EndsTheProgramWhileATransferIsAwaited)
{
    keepEarlierStart();
    silence ("/belvora-2/php/tracking-1.0/db_bv_run.php");

    // On the message thread, at start-up.
    silence ("/Belvora2/masterDescriptor.xml");

    if (! startAndWaitForRequestTo ("/Belvora2/masterDescriptor.xml"))
        GTEST_SKIP() << "the program did not start: is another one open?";

    EXPECT_TRUE (interruptEndsIt());

    // On the download thread, for a known unit.
    server.clearAnswer ("/Belvora2/masterDescriptor.xml");
    silence ("/Belvora2/Vesper/caps.xml");

    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/Vesper/caps.xml"));
    EXPECT_TRUE (interruptEndsIt());
}
