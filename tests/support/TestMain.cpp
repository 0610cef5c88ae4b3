// The main of every test program: a private HOME and configuration folder, the
// servers' addresses pointed at this machine, and JUCE's message system up.

#include "support/PrivateDisplay.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <memory>

namespace
{
    juce::JUCEApplicationBase* noApplication() { return nullptr; }
}

#if defined (__SANITIZE_THREAD__)
// JUCE's script engine can only be stopped from another thread by overwriting
// its deadline, an aligned 64-bit value the engine reads between statements;
// the library has no synchronised way, so ThreadSanitizer is told of this one.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:juce::JavascriptEngine::stop\n";
}
#endif

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    // First, so that the window manager keeps its log and cache in this home too.
    TestEnvironment::preparePrivateHome();

    // The window tests again under a window manager, on a display of their own.
    std::unique_ptr<PrivateDisplay> display;

    if (juce::SystemStats::getEnvironmentVariable ("BELVORA_TEST_OPENBOX", {}).isNotEmpty())
    {
        display = std::make_unique<PrivateDisplay>();

        if (! display->startWindowManager())
            return 1;

        TestEnvironment::setWindowManager (display->getWindowManager());
    }

    // With a creator function set, JUCE installs its own X error handlers, so
    // harmless X errors under Xvfb do not end the test program.
    juce::JUCEApplicationBase::createInstance = &noApplication;

    const juce::ScopedJuceInitialiser_GUI juce;
    const auto result = RUN_ALL_TESTS();
    TestEnvironment::runEndWork();

    TestEnvironment::removePrivateHome();
    return result;
}
