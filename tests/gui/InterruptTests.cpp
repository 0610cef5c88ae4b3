// Ctrl-C, or a closed window, while a transfer is in flight: the program
// itself, started against a server that accepts and never answers, on an X
// display of its own (Xvfb): closing a window by its title must not reach
// another test's.

#include "gui/WindowCloser.h"
#include "support/LocalServer.h"
#include "support/PrivateDisplay.h"
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
            if (! display.isReady())
                GTEST_SKIP() << "needs Xvfb (scripts/setup installs it)";

            display.makeCurrent();

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
            ended first. */
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

        PrivateDisplay display;   // the last to go: after the program
        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
        juce::File home;
        ProgramProcess program { TestEnvironment::getHome().getChildFile ("interrupted") };
    };
}

TEST_F (Interrupt, EndsTheProgramWhileATransferIsAwaited)
{
    keepEarlierStart();
    silence ("/belvora-2/php/tracking-1.0/db_bv_run.php");

    // On the message thread, at start-up.
    silence ("/Belvora2/masterDescriptor.xml");

    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/masterDescriptor.xml"));

    EXPECT_TRUE (interruptEndsIt());

    // On the download thread, for a known unit.
    server.clearAnswer ("/Belvora2/masterDescriptor.xml");
    silence ("/Belvora2/Vesper/caps.xml");

    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/Vesper/caps.xml"));
    EXPECT_TRUE (interruptEndsIt());

    // Stopped by the system (SIGTERM: a log-out, a service manager), it quits as
    // on Ctrl+C and writes what it keeps at its end; once it died on the spot.
    // (No settings and no last good copy of them: a start with only the copy would tell it.)
    const auto settingsFile = dataFolder().getChildFile ("Belvora 2.settings");
    const auto gone = [&] { return settingsFile.deleteFile() && settingsFile.getSiblingFile ("Belvora 2.settings.last").deleteFile(); };
    ASSERT_TRUE (gone());
    server.clearRequests();

    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/Vesper/caps.xml"));
    program.signal (SIGTERM);
    int status = 0;
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 120000));
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0) << "status " << status;
    EXPECT_TRUE (settingsFile.loadFileAsString().contains ("appWindowState"));

    // So does the terminal it was started from closing (SIGHUP); once it ended it on the spot too.
    // A closing terminal sends two (its shell's and the kernel's): once half of such closes ended
    // it by the second, as if insisting, with nothing saved.
    ASSERT_TRUE (gone());
    server.clearRequests();
    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/Vesper/caps.xml"));
    program.signalTwice (SIGHUP);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 120000));
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0) << "status " << status;
    EXPECT_TRUE (settingsFile.loadFileAsString().contains ("appWindowState"));

    // A second SIGTERM insists: it ends the program there and then (a fresh server: each silent answer holds one of its threads).
    server.stop();
    ASSERT_TRUE (server.start());
    ASSERT_TRUE (startAndWaitForRequestTo ("/Belvora2/Vesper/caps.xml"));
    program.signalTwice (SIGTERM);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 120000));
    EXPECT_TRUE (WIFSIGNALED (status) && WTERMSIG (status) == SIGTERM) << "status " << status;
}

// Whichever transfer waits on the server, closing the window ends the
// program at once and cleanly. Once a unit's thread stuck behind a silent
// product document was killed after 10 s and the program crashed, and a
// silent tracking server held the quit for 5 s.
TEST_F (Interrupt, ClosingTheWindowEndsTheProgramAtOnceWhicheverTransferIsAwaited)
{
    WindowCloser closer;
    ASSERT_TRUE (closer.isReady());

    for (auto* path : { "/Belvora2/masterDescriptor.xml", "/Belvora2/Vesper/caps.xml", "/Belvora2/Vesper/images/vesper.png",
                        "/Belvora2/Vesper/firmware.xml", "/Belvora2/Vesper/firmware/vesper_1_4_0_b140.syx",
                        "/Belvora2/Vesper/rules.xml", "/Belvora2/Vesper/js/vesper_preset_3_to_4.js",
                        "/Belvora2/Vesper/packs/vesper_presets.zip", "/belvora-2/php/tracking-1.0/db_bv_run.php" })
    {
        SCOPED_TRACE (path);

        // A fresh server: each silent answer holds one of its threads until it stops.
        server.stop();
        server.clearAnswers();
        server.clearRequests();
        ASSERT_TRUE (server.start());

        // A transfer that never ends by itself, one byte inside each silence limit: a quit
        // that waited on it would never end. The master descriptor is read before the
        // window opens, which comes all the same (once it never did).
        LocalServer::Answer endless;
        endless.body.assign (100000, ' ');
        endless.trickleMs = 500;
        server.setAnswer (path, endless);

        home.deleteRecursively();
        dataFolder().createDirectory();
        keepEarlierStart();

        // Units that are connected: their threads ask for their product's content too.
        ASSERT_TRUE (program.start (BELVORA_PROGRAM, server.getBaseUrl(), { "BELVORA_SIMULATED_UNITS=2" }));
        int status = 0;
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return server.countRequests (path) > 0 || program.hasEnded (status); }, 60000));

        ASSERT_TRUE (program.isRunning()) << "the program ended before it asked";

        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return closer.close ("Belvora 2"); }, 60000));
        const auto closedAt = juce::Time::getMillisecondCounterHiRes();

        // A close that reaches the window in the instant it appears may come
        // before the window takes it; the quit is timed from the first one.
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 5000)
                     || (closer.close ("Belvora 2") && TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 60000)));
        const auto quitMs = juce::Time::getMillisecondCounterHiRes() - closedAt;

        EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0) << "status " << status;
        std::printf ("quit while %s was awaited: %.0f ms\n", path, quitMs);
    }
}

// A first start without the server: the program says only that it cannot go on (code 2), never
// first that it is offline. It ends once the box is answered, and SIGTERM (or SIGHUP) ends it
// while the box is up. Once, in about half the runs, the quit
// was taken inside a box and the program slept on for good with its window still drawn,
// deaf to SIGTERM: so several runs of each.
TEST_F (Interrupt, StartWithoutAnyDescriptorShowsOnlyItsErrorAndEndsOnceAnsweredOrOnSIGTERM)
{
    WindowCloser closer;
    ASSERT_TRUE (closer.isReady());

    for (int run = 0; run < 8; ++run)
    {
        const bool terminate = run % 2 == 1;
        SCOPED_TRACE ("run " + std::to_string (run) + (terminate ? ", SIGTERM" : ", boxes answered"));

        home.deleteRecursively();
        dataFolder().createDirectory();
        ASSERT_TRUE (program.start (BELVORA_PROGRAM, "http://127.0.0.1:9", { "BELVORA_SIMULATED_UNITS=2" }));
        int status = 0;

        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return closer.isShown ("Error") || program.hasEnded (status); }, 60000));
        ASSERT_TRUE (program.isRunning()) << "status " << status;
        EXPECT_FALSE (closer.isShown ("No Internet Connection"));

        if (terminate)
            program.signal (run == 3 ? SIGHUP : SIGTERM);
        else
            ASSERT_TRUE (closer.close ("Error"));

        const auto ended = TestEnvironment::runMessageLoopUntil ([&] { return program.hasEnded (status); }, 60000);

        if (! ended)
            program.kill();

        ASSERT_TRUE (ended) << "the program did not end";
        EXPECT_TRUE (WIFEXITED (status)) << "status " << status;
    }
}
