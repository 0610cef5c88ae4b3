#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <sys/types.h>

/** Process-wide test setup and helpers shared by every test program. */
namespace TestEnvironment
{
    /** Points HOME and XDG_CONFIG_HOME at a fresh temporary folder and the
        content and tracking addresses at a closed port on 127.0.0.1. */
    void preparePrivateHome();
    void removePrivateHome();

    /** The private home folder of this test program. */
    juce::File getHome();

    /** Deletes everything below the private home (settings, data folder). */
    void clearHome();

    /** Runs the message loop until the condition holds or the time runs out. */
    bool runMessageLoopUntil (std::function<bool()> condition, int timeoutMs = 10000);

    /** Posts a marker to the message queue and runs the loop until it arrives: whatever
        was posted before it has been handled. */
    bool drainMessages();

    /** True when a display is available for windows. */
    bool hasDisplay();

    /** This test program spawned afresh for the test under way, variable ("NAME=value") added, its report sent nowhere; -1 if it failed. */
    pid_t spawnThisTest (const juce::String& variable);

    /** With BELVORA_TEST_OPENBOX set the window tests run under openbox: held
        back (as a slow window manager is) or let go on; nothing without one. */
    void setWindowManager (pid_t process);
    void pauseWindowManager (bool paused);

    /** Work to do once the tests ran, while the framework is still up. Returns
        true, so a test program can register from a static initialiser. */
    bool atEnd (std::function<void()> work);
    void runEndWork();
}
