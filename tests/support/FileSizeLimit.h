#pragma once

#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

/** A disk that fills up, for tests: they run as root, so a read-only folder
    stops nothing, but a file size limit does. A write past the limit then
    fails instead of killing the process. */
namespace FileSizeLimit
{
    /** Runs body in a child process whose files cannot grow past limit bytes;
        the child's exit code (the body's result), -1 when it did not exit. */
    inline int inChild (rlim_t limit, const std::function<int()>& body)
    {
        const auto child = fork();

        if (child == 0)
        {
            std::signal (SIGXFSZ, SIG_IGN);
            const rlimit fileSize { limit, limit };
            _exit (setrlimit (RLIMIT_FSIZE, &fileSize) == 0 ? body() : 99);
        }

        int status = 0;
        if (waitpid (child, &status, 0) != child)
            return -1;

        return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
    }

    /** While it lives, no file of this process grows past the limit: for work
        on threads of its own, which a child process would not have. */
    class Scoped
    {
    public:
        explicit Scoped (rlim_t limit)
        {
            getrlimit (RLIMIT_FSIZE, &previous);
            previousHandler = std::signal (SIGXFSZ, SIG_IGN);
            const rlimit lowered { limit, previous.rlim_max };
            setrlimit (RLIMIT_FSIZE, &lowered);
        }

        ~Scoped()
        {
            setrlimit (RLIMIT_FSIZE, &previous);
            std::signal (SIGXFSZ, previousHandler);
        }

        Scoped (const Scoped&) = delete;
        Scoped& operator= (const Scoped&) = delete;

    private:
        rlimit previous {};
        void (*previousHandler) (int) = nullptr;
    };

    /** While it lives, a disk that hangs: the first write that would make a
        file of this process grow stops its thread until resume(). The kernel
        signals the writing thread itself, whose handler waits there. */
    class Stall
    {
    public:
        Stall()
        {
            if (::pipe (wake) != 0)
                wake[0] = wake[1] = -1;

            resumed = false;
            stalled = false;
            struct sigaction action {};
            action.sa_handler = onTooLarge;
            sigemptyset (&action.sa_mask);
            sigaction (SIGXFSZ, &action, &previousAction);
            getrlimit (RLIMIT_FSIZE, &previous);
            const rlimit none { 0, previous.rlim_max };
            setrlimit (RLIMIT_FSIZE, &none);
        }

        ~Stall()
        {
            resume();
            setrlimit (RLIMIT_FSIZE, &previous);
            sigaction (SIGXFSZ, &previousAction, nullptr);
            ::close (wake[0]);
            ::close (wake[1]);
        }

        Stall (const Stall&) = delete;
        Stall& operator= (const Stall&) = delete;

        /** Whether a write has stopped, waiting for the resume. */
        bool hasStalled() const   { return stalled; }

        /** Lets the stopped write go on (it fails, the file being too large) and every later one fail at once. */
        void resume()
        {
            if (! resumed.exchange (true))
                (void) ::write (wake[1], "x", 1);
        }

    private:
        static void onTooLarge (int)
        {
            if (resumed)
                return;

            stalled = true;
            char byte = 0;

            while (::read (wake[0], &byte, 1) < 0 && errno == EINTR) {}
        }

        static inline int wake[2] { -1, -1 };
        static inline std::atomic<bool> resumed { false }, stalled { false };
        struct sigaction previousAction {};
        rlimit previous {};
    };
}
