#include "support/PrivateDisplay.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

    void endChild (pid_t& child)
    {
        if (child <= 0)
            return;

        ::kill (child, SIGTERM);

        // Either ends within moments of the request; one that does not is not waited on for ever.
        for (int i = 0; i < 500 && ::waitpid (child, nullptr, WNOHANG) != child; ++i)
            ::usleep (10000);

        if (::waitpid (child, nullptr, WNOHANG) == 0)
        {
            ::kill (child, SIGKILL);
            ::waitpid (child, nullptr, 0);
        }

        child = 0;
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

void PrivateDisplay::stop()
{
    endChild (windowManager);
    endChild (server);
}

bool PrivateDisplay::startWindowManager()
{
    const auto openbox = findOnPath ("openbox");
    const auto ready = juce::File::createTempFile ("openbox-ready");

    if (! isReady() || openbox == juce::File() || windowManager > 0)
        return false;

    // It runs its start-up command once it manages the screen.
    const std::string path (openbox.getFullPathName().toStdString()), startup ("touch " + ready.getFullPathName().toStdString()),
                      display ("DISPLAY=" + name.toStdString());
    const char* argv[] = { path.c_str(), "--sm-disable", "--startup", startup.c_str(), nullptr };
    std::vector<char*> environment { const_cast<char*> (display.c_str()) };

    for (auto** e = environ; *e != nullptr; ++e)
        if (std::strncmp (*e, "DISPLAY=", 8) != 0)
            environment.push_back (*e);

    environment.push_back (nullptr);
    const auto nothing = ::open ("/dev/null", O_RDWR | O_CLOEXEC);
    const auto parent = ::getpid();
    windowManager = ::fork();

    if (windowManager == 0)
    {
        ::prctl (PR_SET_PDEATHSIG, SIGKILL);

        if (::getppid() != parent)
            ::_exit (127);

        ::dup2 (nothing, 0);
        ::dup2 (nothing, 1);
        ::dup2 (nothing, 2);
        ::execve (path.c_str(), const_cast<char* const*> (argv), environment.data());
        ::_exit (127);
    }

    ::close (nothing);

    for (int i = 0; windowManager > 0 && i < 6000 && ! ready.existsAsFile(); ++i)
        if (::waitpid (windowManager, nullptr, WNOHANG) == windowManager)
            windowManager = 0;
        else
            ::usleep (10000);

    const bool started = ready.existsAsFile() && windowManager > 0;
    ready.deleteFile();
    return started;
}
