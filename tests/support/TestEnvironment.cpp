#include "support/TestEnvironment.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

namespace TestEnvironment
{

namespace
{
    juce::File home;
    pid_t windowManager = 0;

    // "none" is what a test program without a display is given below.
    bool displayGiven()
    {
        const auto* display = std::getenv ("DISPLAY");
        return display != nullptr && *display != 0 && std::strcmp (display, "none") != 0;
    }

    void setEnv (const char* name, const juce::String& value)
    {
        ::setenv (name, value.toRawUTF8(), 1);
    }
}

void preparePrivateHome()
{
    home = juce::File::createTempFile ("belvora-test-home");
    home.createDirectory();
    home.getChildFile (".config").createDirectory();

    setEnv ("HOME", home.getFullPathName());
    setEnv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName());

    // The framework asks gsettings for the theme as its windowing starts, and
    // waits 0.2 s at most: on a busy machine gsettings runs on after this home
    // is removed and makes it again for its cache (".cache/dconf/user"). The
    // settings held in memory answer the same for an empty home, and write
    // nothing (for the program started by the end-to-end tests too).
    setEnv ("GSETTINGS_BACKEND", "memory");

    // Nothing in a test may reach a real server; port 9 on this machine refuses.
    setEnv ("BELVORA_CONTENT_URL", "http://127.0.0.1:9/Belvora2");
    setEnv ("BELVORA_TRACKING_URL", "http://127.0.0.1:9/belvora-2");

    // Without a display JUCE tries ":0", which may be the private server of another
    // test, gone when that test ends; a name that does not parse connects nowhere.
    if (! displayGiven())
        setEnv ("DISPLAY", "none");
}

pid_t spawnThisTest (const juce::String& variable)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    auto self = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toStdString();
    auto filter = std::string ("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    auto added = variable.toStdString();
    std::string env ("/usr/bin/env");   // which adds the variable to this environment and becomes the program
    char* const arguments[] = { env.data(), added.data(), self.data(), filter.data(), nullptr };
    posix_spawn_file_actions_t quiet;   // its own test report would read as this one's
    ::posix_spawn_file_actions_init (&quiet);
    ::posix_spawn_file_actions_addopen (&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    const auto started = ::posix_spawn (&child, env.c_str(), &quiet, nullptr, arguments, environ) == 0;
    ::posix_spawn_file_actions_destroy (&quiet);
    return started ? child : -1;
}

void removePrivateHome()
{
    if (home.isDirectory())
        home.deleteRecursively();
}

juce::File getHome()
{
    return home;
}

void clearHome()
{
    for (const auto& entry : home.findChildFiles (juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
        entry.isDirectory() ? entry.deleteRecursively() : entry.deleteFile();

    home.getChildFile (".config").createDirectory();
}

bool runMessageLoopUntil (std::function<bool()> condition, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= deadline)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

bool drainMessages()
{
    // Shared: the marker may run after a timed-out wait has returned.
    const auto seen = std::make_shared<std::atomic<bool>> (false);
    juce::MessageManager::callAsync ([seen] { *seen = true; });
    return runMessageLoopUntil ([seen] { return seen->load(); });
}

bool hasDisplay()
{
    return displayGiven();
}

void setWindowManager (pid_t process)    { windowManager = process; }

void pauseWindowManager (bool paused)
{
    if (windowManager > 0)
        ::kill (windowManager, paused ? SIGSTOP : SIGCONT);
}

static std::vector<std::function<void()>>& endWork()
{
    static std::vector<std::function<void()>> work;
    return work;
}

bool atEnd (std::function<void()> work)
{
    endWork().push_back (std::move (work));
    return true;
}

void runEndWork()
{
    for (auto& work : endWork())
        work();
}

}
