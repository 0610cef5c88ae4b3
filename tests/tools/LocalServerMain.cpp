// Serves a content tree on 127.0.0.1 so Belvora can run without the maker's
// servers. Usage: belvora_local_server [--port N] [--root FOLDER] [--silent PATH]...
// A path given with --silent (for example /Belvora2/Vesper/caps.xml) is
// accepted and never answered, as a server that hangs would. Prints "Listening on http://127.0.0.1:<port>" once it accepts requests and
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
    juce::StringArray silentPaths;

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

    std::signal (SIGINT, onSignal);
    std::signal (SIGTERM, onSignal);

    std::printf ("Listening on %s\n", server.getBaseUrl().toRawUTF8());
    std::fflush (stdout);

    while (stopRequested == 0)
        std::this_thread::sleep_for (std::chrono::milliseconds (100));

    server.stop();
    return 0;
}
