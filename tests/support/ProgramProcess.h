#pragma once

#include <juce_core/juce_core.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

/** The Belvora program run as a process of its own, as a user starts it: a
    private home, the content and tracking of a local server, and whatever
    else the test sets; everything else of the test's environment but the
    program's own variables. Killed when the object goes, if still running. */
class ProgramProcess
{
public:
    explicit ProgramProcess (juce::File homeFolder) : home (std::move (homeFolder)) {}
    ~ProgramProcess()   { kill(); }

    juce::File getHome() const          { return home; }
    juce::File getDataFolder() const    { return home.getChildFile (".config/Marrowell/Belvora 2"); }
    pid_t getPid() const noexcept       { return child; }
    bool isRunning() const noexcept     { return child > 0; }

    /** Starts the program; extra variables are "NAME=value" lines, in place of
        the test's own of those names. What it writes to standard error goes to
        errorFile when one is given. */
    bool start (const juce::String& program, const juce::String& serverBase, const juce::StringArray& extraVariables = {},
                const juce::File& errorFile = {})
    {
        std::vector<std::string> variables;

        const auto isExtra = [&] (const std::string& entry)
        {
            for (auto& extra : extraVariables)
                if (entry.rfind (extra.upToFirstOccurrenceOf ("=", true, false).toStdString(), 0) == 0)
                    return true;

            return false;
        };

        for (auto** e = environ; *e != nullptr; ++e)
        {
            const std::string entry (*e);
            if (entry.rfind ("HOME=", 0) != 0 && entry.rfind ("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind ("BELVORA_", 0) != 0 && ! isExtra (entry))
                variables.push_back (entry);
        }

        variables.push_back ("HOME=" + home.getFullPathName().toStdString());
        variables.push_back ("XDG_CONFIG_HOME=" + home.getChildFile (".config").getFullPathName().toStdString());
        variables.push_back ("BELVORA_CONTENT_URL=" + (serverBase + "/Belvora2").toStdString());
        variables.push_back ("BELVORA_TRACKING_URL=" + (serverBase + "/belvora-2").toStdString());

        for (auto& extra : extraVariables)
            variables.push_back (extra.toStdString());

        std::vector<char*> envp;
        for (auto& v : variables)
            envp.push_back (v.data());
        envp.push_back (nullptr);

        std::string path (program.toStdString());
        char* argv[] = { path.data(), nullptr };
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init (&actions);
        const std::string errorPath (errorFile.getFullPathName().toStdString());

        if (errorFile != juce::File())
            ::posix_spawn_file_actions_addopen (&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

        // As from a terminal, even when the tests run under nohup.
        posix_spawnattr_t attributes;
        sigset_t hangUp;
        ::posix_spawnattr_init (&attributes);
        sigemptyset (&hangUp);
        sigaddset (&hangUp, SIGHUP);
        ::posix_spawnattr_setsigdefault (&attributes, &hangUp);
        ::posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSIGDEF);
        const bool started = ::posix_spawn (&child, path.c_str(), &actions, &attributes, argv, envp.data()) == 0;
        ::posix_spawnattr_destroy (&attributes);
        ::posix_spawn_file_actions_destroy (&actions);
        return started;
    }

    /** True once the program ended (or never ran), with its wait status. */
    bool hasEnded (int& status)
    {
        if (child <= 0)
            return true;

        if (::waitpid (child, &status, WNOHANG) != child)
            return false;

        child = 0;
        return true;
    }

    void signal (int number)
    {
        if (child > 0)
            ::kill (child, number);
    }

    /** The signal twice, the second once the first is taken (sent at once, they
        would merge), as a closing terminal's shell and kernel send it. */
    void signalTwice (int number)
    {
        signal (number);
        const juce::File status ("/proc/" + juce::String (child) + "/status");

        for (int look = 0; look < 100000 && (status.loadFileAsString().fromFirstOccurrenceOf ("ShdPnd:", false, false)
                                                  .upToFirstOccurrenceOf ("\n", false, false).getHexValue64() & (1LL << (number - 1))) != 0; ++look)
            std::this_thread::yield();

        signal (number);
    }

    void kill()
    {
        if (child <= 0)
            return;

        ::kill (child, SIGKILL);
        ::waitpid (child, nullptr, 0);
        child = 0;
    }

private:
    juce::File home;
    pid_t child = 0;
};
