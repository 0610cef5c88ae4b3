#pragma once

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
}
