// Serves a content tree on 127.0.0.1 so Belvora can run without the maker's
// servers. Usage: belvora_local_server [--port N] [--root FOLDER] [--silent PATH]...
//                 [--delay PATH=MS]... [--trickle PATH=MS]...
// A path given with --silent (for example /Belvora2/Vesper/caps.xml) is
// accepted and never answered, as a server that hangs would. One given with
// --delay is answered MS milliseconds late, as a slow link does; one given
// with --trickle sends its file one byte every MS milliseconds. Prints
// "Listening on http://127.0.0.1:<port>" once it accepts requests and
// runs until it gets SIGINT or SIGTERM. POST requests are answered with an
// empty 200, so the same server can take the usage-tracking requests.

#include "support/LocalServer.h"

#include <csignal>
#include <cstdio>
#include <thread>

namespace
{
    volatile std::sig_atomic_t stopRequested = 0;

    void onSignal (int)
    {
        stopRequested = 1;
    }

    juce::File defaultRoot()
    {
        return juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content");
    }
}

int main (int argc, char* argv[])
{
    int port = 0;
    auto root = defaultRoot();
    juce::StringArray silentPaths, delayed, trickled;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const juce::String option (argv[i]);
        const auto value = juce::String::fromUTF8 (argv[i + 1]);

        if (option == "--port")
            port = value.getIntValue();
        else if (option == "--root")
            root = juce::File::getCurrentWorkingDirectory().getChildFile (value);
        else if (option == "--silent")
            silentPaths.add (value);
        else if (option == "--delay")
            delayed.add (value);
        else if (option == "--trickle")
            trickled.add (value);
    }

    if (! root.isDirectory())
    {
        std::fprintf (stderr, "No content folder at %s\n", root.getFullPathName().toRawUTF8());
        return 1;
    }

    LocalServer server (root);

    for (auto& path : silentPaths)
        server.setAnswer (path, LocalServer::Answer::silence());

    if (! server.start (port))
    {
        std::fprintf (stderr, "Cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }

    // The file of PATH=MS as served, with that pause before it or between its bytes.
    auto slowAnswer = [&] (const juce::String& entry, bool trickle)
    {
        const auto path = entry.upToLastOccurrenceOf ("=", false, false);
        const auto file = root.getChildFile (path.trimCharactersAtStart ("/"));
        juce::MemoryBlock data;
        LocalServer::Answer answer;
        answer.status = file.loadFileAsData (data) ? 200 : 404;
        answer.body = file.hasFileExtension ("xml") ? data.toString().replace ("${SERVER}", server.getBaseUrl()).toStdString()
                                                    : std::string (static_cast<const char*> (data.getData()), data.getSize());
        (trickle ? answer.trickleMs : answer.delayMs) = entry.fromLastOccurrenceOf ("=", false, false).getIntValue();
        server.setAnswer (path, answer);
    };

    for (auto& entry : delayed)
        slowAnswer (entry, false);

    for (auto& entry : trickled)
        slowAnswer (entry, true);

    std::signal (SIGINT, onSignal);
    std::signal (SIGTERM, onSignal);

    std::printf ("Listening on %s\n", server.getBaseUrl().toRawUTF8());
    std::fflush (stdout);

    while (stopRequested == 0)
        std::this_thread::sleep_for (std::chrono::milliseconds (100));

    server.stop();
    return 0;
}
