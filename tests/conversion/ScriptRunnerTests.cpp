#include "conversion/ScriptRunner.h"

#include <gtest/gtest.h>

namespace
{
    juce::Result runScript (const juce::String& script, int limitMs = 60000)
    {
        juce::DynamicObject::Ptr probe (new juce::DynamicObject());
        probe->setProperty ("seen", 0);
        ScriptRunner runner;
        return runner.execute (script, { { "Probe", probe } }, limitMs);
    }
}

TEST (ScriptRunner, RunsAScriptAndReportsItsErrors)
{
    EXPECT_TRUE (runScript ("var a = 1; for (var i = 0; i < 10; ++i) a += i; Probe.seen = a;").wasOk());
    EXPECT_TRUE (runScript ("var a = ;").failed());
    EXPECT_TRUE (runScript ("undefinedFunction();").failed());
}

TEST (ScriptRunner, EndlessLoopsEndAtTheTimeLimit)
{
    auto outcome = runScript ("while (true) {}", 200);
    ASSERT_TRUE (outcome.failed());
    EXPECT_TRUE (outcome.getErrorMessage().contains ("timed-out")) << outcome.getErrorMessage();
}

TEST (ScriptRunner, EndlessRecursionIsStoppedBeforeTheStackRunsOut)
{
    auto outcome = runScript ("function f (g) { return g (g) + 1; } f (f);");
    ASSERT_TRUE (outcome.failed());
    EXPECT_EQ (outcome.getErrorMessage(), "The script nested its calls too deeply.");
}

TEST (ScriptRunner, DeeplyNestedTextIsRefusedBeforeItRuns)
{
    EXPECT_TRUE (runScript ("var a = " + juce::String::repeatedString ("(", 100000) + "1;").failed());
    EXPECT_TRUE (runScript ("var a = " + juce::String::repeatedString ("[", 100000) + "1;").failed());

    // Brackets inside strings and comments do not count.
    EXPECT_TRUE (runScript ("var a = '" + juce::String::repeatedString ("((", 500) + "'; // " + juce::String::repeatedString ("{", 500)
                            + "\n/* " + juce::String::repeatedString ("[", 500) + " */ var b = \"\\\"(\";").wasOk());
    EXPECT_EQ (ScriptRunner::measureNesting ("f ([{ x: (1) }]);"), 4);
}

TEST (ScriptRunner, LongestChainsOfOperatorsTheSizeLimitAllowsStillRun)
{
    // Chains of operators recurse in the engine without brackets; the largest
    // script accepted must not overflow the runner's stack.
    const int length = 256 * 1024 - 16;
    EXPECT_TRUE (runScript ("var a = " + juce::String::repeatedString ("!", length) + "1;").wasOk());
    EXPECT_TRUE (runScript ("var a = 1" + juce::String::repeatedString ("+1", length / 2) + ";").wasOk());
}
