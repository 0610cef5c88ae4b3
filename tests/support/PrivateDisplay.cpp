#include "support/PrivateDisplay.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
    juce::File findOnPath (const juce::String& program)
    {
        for (auto& folder : juce::StringArray::fromTokens (juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin"), ":", {}))
            if (auto file = juce::File::createFileWithoutCheckingPath (folder).getChildFile (program); file.existsAsFile())
                return file;

        return {};
    }

    /** Reads the display number Xvfb writes once it takes connections; empty when
        it ended first or stayed silent far longer than any start takes. */
    juce::String readDisplayNumber (int fd)
    {
        std::string number;
        char c = 0;

        for (;;)
        {
            pollfd ready { fd, POLLIN, 0 };
            const auto polled = ::poll (&ready, 1, 60000);

            if (polled < 0 && errno == EINTR)
                continue;

            if (polled <= 0 || ::read (fd, &c, 1) != 1)
                return {};

            if (c == '\n')
                return number.empty() ? juce::String() : juce::String (number);

            number += c;
        }
    }
}

PrivateDisplay::PrivateDisplay()
{
    const auto xvfb = findOnPath ("Xvfb");

    if (xvfb == juce::File())
        return;

    int numberPipe[2];

    if (::pipe2 (numberPipe, O_CLOEXEC) != 0)
        return;

    // Everything the child needs is made before the fork: between fork and exec
    // only async-signal-safe calls (the test program has threads).
    const std::string path (xvfb.getFullPathName().toStdString()), numberFd ("3");
    const char* argv[] = { path.c_str(), "-displayfd", numberFd.c_str(), "-screen", "0", "1280x1024x24",
                           "-nolisten", "tcp", "-noreset", nullptr };
    const auto nothing = ::open ("/dev/null", O_RDWR | O_CLOEXEC);
    const auto parent = ::getpid();

    server = ::fork();

    if (server == 0)
    {
        // Ends with the thread that started it, which is the test's: nothing is left
        // behind when the test program is killed.
        ::prctl (PR_SET_PDEATHSIG, SIGKILL);

        if (::getppid() != parent)
            ::_exit (127);

        ::dup2 (nothing, 0);
        ::dup2 (nothing, 1);
        ::dup2 (nothing, 2);
        ::dup2 (numberPipe[1], 3);   // never 3 itself (the read end comes first), so close-on-exec is cleared
        ::close_range (4, ~0u, 0);   // no pipe of ctest's held open by the server
        ::execv (path.c_str(), const_cast<char* const*> (argv));
        ::_exit (127);
    }

    ::close (numberPipe[1]);
    ::close (nothing);

    if (server < 0)
    {
        server = 0;
        ::close (numberPipe[0]);
        return;
    }

    const auto number = readDisplayNumber (numberPipe[0]);
    ::close (numberPipe[0]);

    if (number.isEmpty())
        stop();
    else
        name = ":" + number;
}

PrivateDisplay::~PrivateDisplay()
{
    if (madeCurrent)
    {
        if (hadDisplay)
            ::setenv ("DISPLAY", earlierDisplay.toRawUTF8(), 1);
        else
            ::unsetenv ("DISPLAY");
    }

    stop();
}

void PrivateDisplay::makeCurrent()
{
    jassert (isReady() && ! madeCurrent);

    if (const auto* earlier = std::getenv ("DISPLAY"))
    {
        hadDisplay = true;
        earlierDisplay = earlier;
    }

    ::setenv ("DISPLAY", name.toRawUTF8(), 1);
    madeCurrent = true;
}

// It runs its start-up command once it manages the screen.
bool PrivateDisplay::startWindowManager()
{
    const auto ready = juce::File::createTempFile ("openbox-ready");
    const std::string startup ("touch " + ready.getFullPathName().toStdString());
    const char* argv[] = { "openbox", "--sm-disable", "--startup", startup.c_str(), nullptr };

    if (! isReady())
        return false;

    makeCurrent();

    // What it says of its menus and themes is no test's matter.
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init (&quiet);
    ::posix_spawn_file_actions_addopen (&quiet, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2 (&quiet, 1, 2);
    const auto spawned = ::posix_spawnp (&windowManager, "openbox", &quiet, nullptr, const_cast<char* const*> (argv), environ);
    ::posix_spawn_file_actions_destroy (&quiet);

    if (spawned != 0)
        return false;

    for (int i = 0; i < 6000 && ! ready.existsAsFile(); ++i)
        ::usleep (10000);

    return ready.existsAsFile() && ready.deleteFile();
}

void PrivateDisplay::stop()
{
    if (windowManager > 0)   // stopped or not
    {
        ::kill (windowManager, SIGKILL);
        ::waitpid (windowManager, nullptr, 0);
    }

    if (server <= 0)
        return;

    ::kill (server, SIGTERM);

    // Xvfb ends within moments of the request; one that does not is not waited on for ever.
    for (int i = 0; i < 500; ++i)
    {
        if (::waitpid (server, nullptr, WNOHANG) == server)
        {
            server = 0;
            return;
        }

        ::usleep (10000);
    }

    ::kill (server, SIGKILL);
    ::waitpid (server, nullptr, 0);
    server = 0;
}
