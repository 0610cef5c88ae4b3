#include "conversion/ScriptRunner.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
    juce::Result runScript (ScriptRunner& runner, const juce::String& script, int limitMs = 60000)
    {
        juce::DynamicObject::Ptr probe (new juce::DynamicObject());
        juce::Array<ScriptRunner::NamedObject> objects;
        objects.add ({ "Probe", probe });
        return runner.execute (script, objects, limitMs);
    }

    juce::Result runScript (const juce::String& script, int limitMs = 60000)
    {
        ScriptRunner runner;
        return runScript (runner, script, limitMs);
    }

    // The thread checker records whole stacks and gives up on very deep ones.
   #if defined (__SANITIZE_THREAD__)
    constexpr bool deepStacksRecordable = false;
   #elif defined (__has_feature)
    constexpr bool deepStacksRecordable = ! __has_feature (thread_sanitizer);
   #else
    constexpr bool deepStacksRecordable = true;
   #endif

    const char* const endlessRecursion = "function f (g) { return g (g) + 1; } f (f);";
}

TEST (ScriptRunner, RunsAScriptAndReportsItsErrors)
{
    EXPECT_TRUE (runScript ("var a = 1; for (var i = 0; i < 10; ++i) a += i; Probe.seen = a;").wasOk());
    EXPECT_TRUE (runScript ("var a = ;").failed());
    EXPECT_TRUE (runScript ("undefinedFunction();").failed());

    // A brace that closes nothing would leave the rest unread, and unrun.
    EXPECT_TRUE (runScript ("var a = 1; } undefinedFunction();").failed());

    // Read whole without running any of it.
    EXPECT_EQ (ScriptRunner::compile ("undefinedFunction(); while (true) { var s = '}'; }"), ScriptRunner::Reading::reads);
    EXPECT_EQ (ScriptRunner::compile ("var a = ;"), ScriptRunner::Reading::refused);
}

// A check whose thread cannot start (no process left for its user, root made nobody) says nothing of the script: in a fresh copy of this program.
TEST (ScriptRunner, CompileThatCannotStartCannotTell)
{
    if (juce::SystemStats::getEnvironmentVariable ("BELVORA_NO_THREADS", {}).isNotEmpty())
    {
        TestEnvironment::removePrivateHome();
        const rlimit none { 0, 0 };
        const auto limited = ::setrlimit (RLIMIT_NPROC, &none) == 0 && (::getuid() != 0 || ::setuid (65534) == 0);
        ::_exit (limited && ScriptRunner::compile ("var a = ;") == ScriptRunner::Reading::undecided ? 0 : 1);
    }

    int status = -1;
    const auto child = TestEnvironment::spawnThisTest ("BELVORA_NO_THREADS=1");
    ASSERT_TRUE (child > 0 && ::waitpid (child, &status, 0) == child);
    EXPECT_EQ (status, 0);
}

TEST (ScriptRunner, EndlessLoopsEndAtTheTimeLimit)
{
    auto outcome = runScript ("while (true) {}", 200);
    ASSERT_TRUE (outcome.failed());
    EXPECT_TRUE (outcome.getErrorMessage().contains ("timed-out")) << outcome.getErrorMessage();
}

TEST (ScriptRunner, EndlessRecursionIsStoppedBeforeTheStackRunsOut)
{
    if (! deepStacksRecordable)
        GTEST_SKIP();

    ScriptRunner runner;
    auto outcome = runScript (runner, endlessRecursion);
    ASSERT_TRUE (outcome.failed());
    EXPECT_EQ (outcome.getErrorMessage(), "The script nested its calls too deeply.");

    // The same runner goes on: a longer run afterwards is not taken for a deep one.
    EXPECT_TRUE (runScript (runner, "var n = 0; for (var i = 0; i < 200000; ++i) n += i;").wasOk());
    EXPECT_EQ (runScript (runner, endlessRecursion).getErrorMessage(), "The script nested its calls too deeply.");
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

TEST (ScriptRunner, NumbersTooLongForTheEnginesIntegersAreRefused)
{
    // The engine would overflow its integers reading these.
    EXPECT_EQ (runScript ("var a = 1e2092547409;").getErrorMessage(), "The script holds a number too large to read.");
    EXPECT_TRUE (runScript ("var a = 2.5E-99999999999;").failed());
    EXPECT_TRUE (runScript ("var a = '7.e+12345678901' * 1;").failed()) << "text may become a number";
    EXPECT_TRUE (runScript ("var a = [1111111111111111111];").failed());
    EXPECT_TRUE (ScriptRunner::hasUnreadableNumber ("[1111111111111111111ersresetCo (v, 0);")) << "an 'e' without digits ends the number";
    EXPECT_TRUE (runScript ("var a = 0x8000000000000000;").failed());
    EXPECT_TRUE (runScript ("var a = 01234567012345670123456;").failed());

    // The longest numbers the engine reads, long fractions, and digits in names still run.
    EXPECT_TRUE (runScript ("var a = 1e300 * 1e-000000000000400 + 5e999999999 + 999999999999999999 + 0x00000fffffffffffffff"
                            " + 3.14159265358979323846264338327950288 + .5e-0000000000007;"
                            " var x1e12345678901 = 0, y12345678901234567890 = 1;").wasOk());
}

TEST (ScriptRunner, LongestChainsOfOperatorsTheSizeLimitAllowsEndWithoutOverflow)
{
    if (! deepStacksRecordable)
        GTEST_SKIP();

    // Chains of operators recurse in the engine without brackets; the largest
    // script accepted either runs or is stopped, and the runner goes on.
    const int length = 256 * 1024 - 16;
    ScriptRunner runner;
    runScript (runner, "var a = " + juce::String::repeatedString ("!", length) + "1;");
    runScript (runner, "var a = 1" + juce::String::repeatedString ("+1", length / 2) + ";");
    EXPECT_TRUE (runScript (runner, "var a = !!!1 + 1 + 1;").wasOk());
}

namespace
{
    /** A native object whose methods throw what a failing allocation or a broken native would. */
    struct Thrower : public juce::DynamicObject
    {
        Thrower()
        {
            setMethod ("allocate", [] (const juce::var::NativeFunctionArgs&) -> juce::var { throw std::bad_alloc(); });
            setMethod ("fail", [] (const juce::var::NativeFunctionArgs&) -> juce::var { throw std::runtime_error ("native"); });
        }
    };

    juce::Result runWith (ScriptRunner& runner, const juce::String& script, juce::DynamicObject* object,
                          const std::function<bool()>& shouldStop = {})
    {
        juce::Array<ScriptRunner::NamedObject> objects;
        objects.add ({ "Probe", object });
        return runner.execute (script, objects, 60000, shouldStop);
    }
}

TEST (ScriptRunner, AnythingThrownEndsTheRunWithAnOutcomeAndTheRunnerGoesOn)
{
    ScriptRunner runner;
    juce::DynamicObject::Ptr thrower (new Thrower());

    EXPECT_EQ (runWith (runner, "var a = [1, 2]; Probe.allocate();", thrower.get()).getErrorMessage(), ScriptRunner::outOfMemoryMessage);
    EXPECT_EQ (runWith (runner, "Probe.fail();", thrower.get()).getErrorMessage(), "The script failed unexpectedly.");
    EXPECT_TRUE (runScript (runner, "var a = 1;").wasOk());
}

TEST (ScriptRunner, ValuesThatExplodeWhenCopiedAreRefusedByJsonAndClone)
{
    ScriptRunner runner;
    juce::DynamicObject::Ptr probe (new juce::DynamicObject());

    // A few kilobytes that share their parts 2^40 times. (Cycles are refused
    // too, but they leak in the engine, so they are tried in a sandbox.)
    for (auto* script : { "var a = [1]; for (var i = 0; i < 40; ++i) a = [a, a]; JSON.stringify (a);",
                          "var a = [1]; for (var i = 0; i < 40; ++i) a = [a, a]; var c = a.clone();",
                          "var o = { x: 1 }; for (var i = 0; i < 80; ++i) o = { x: o }; JSON.stringify (o);" })
    {
        const auto outcome = runWith (runner, script, probe.get());
        EXPECT_TRUE (outcome.getErrorMessage().contains ("cyclic")) << script << ": " << outcome.getErrorMessage();
    }

    // Shared parts that fit are written out as the engine always did.
    ASSERT_TRUE (runWith (runner, "var p = [1, 'x']; Probe.text = JSON.stringify ({ a: p, b: p }); Probe.copy = Probe.clone();",
                          probe.get()).wasOk());
    juce::DynamicObject::Ptr expected (new juce::DynamicObject());
    expected->setProperty ("a", juce::Array<juce::var> { 1, "x" });
    expected->setProperty ("b", juce::Array<juce::var> { 1, "x" });
    EXPECT_EQ (probe->getProperty ("text").toString(), juce::JSON::toString (juce::var (expected.get())));
    EXPECT_NE (probe->getProperty ("copy").getDynamicObject(), nullptr);
}

TEST (ScriptRunner, CyclesAScriptBuildsAreFreedWithTheRun)
{
    ScriptRunner runner;
    juce::DynamicObject::Ptr probe (new juce::DynamicObject());

    // Arrays and objects that hold themselves, and the caller's object inside them.
    ASSERT_TRUE (runWith (runner, "var a = [Probe]; a.push (a); var o = { p: Probe }; o.self = o; var b = [o, a]; b.push (b);",
                          probe.get()).wasOk());

    // Nothing the script built still holds the caller's object.
    EXPECT_EQ (probe->getReferenceCount(), 1);
}

TEST (ScriptRunner, TextThatBypassesTheChecksCannotBeRun)
{
    // eval and exec would parse text built at run time, which no check saw.
    for (auto* script : { "eval ('1 + 1');", "exec ('var a = 1;');", "trace (1);" })
        EXPECT_TRUE (runScript (script).failed()) << script;
}

TEST (ScriptRunner, ArrayIndicesWrittenTooLargeAreRefusedBeforeTheRun)
{
    for (auto* script : { "var a = []; a[2000000000] = 1;", "var a = []; a [ 1e9 ] = 1;", "var a = [[]]; a[0][0x7fffffff] = 1;",
                          "var a = []; (a)[1000000] = 1;", "var a = []; a[.5e7] = 2;" })
    {
        EXPECT_TRUE (ScriptRunner::hasHugeLiteralIndex (script)) << script;
        EXPECT_TRUE (runScript (script).getErrorMessage().contains ("index")) << script;
    }

    // Arrays that hold large numbers, indices below the limit, text and comments run.
    EXPECT_TRUE (runScript ("var a = [2000000000, 1e9]; var b = []; b[999999] = a[0]; var t = 'a[2000000000]'; // a[3000000000]\n"
                            "if (b.length != 1000000) undefinedFunction();").wasOk());
}

TEST (ScriptRunner, IndexOfAndCharCodeAtStayWithinTheirArrayAndText)
{
    // The engine's own read before the array and outside the text for these.
    ScriptRunner runner;
    juce::DynamicObject::Ptr probe (new juce::DynamicObject());
    ASSERT_TRUE (runWith (runner, "var a = [5, 6, 7]; var z = 0;"
                                  "Probe.found = [a.indexOf (5, -1), a.indexOf (7, -1), a.indexOf (6, -100000), a.indexOf (6, 1 / z), a.indexOf (6)];"
                                  "var s = 'ab'; Probe.codes = [s.charCodeAt (-1), s.charCodeAt (1), s.charCodeAt (100000), s.charCodeAt (-1 / z)];",
                          probe.get()).wasOk());

    EXPECT_EQ (juce::JSON::toString (probe->getProperty ("found"), true), "[-1, 2, 1, -1, 1]");
    EXPECT_EQ (juce::JSON::toString (probe->getProperty ("codes"), true), "[0, 98, 0, 0]");
}

TEST (ScriptRunner, MemoryGrowingStatementByStatementStopsTheRun)
{
    ScriptRunner runner;
    const auto outcome = runScript (runner, "var s = '0123456789'; for (var i = 0; i < 10; ++i) s = s + s;"
                                            "var a = []; while (true) a.push (s + a.length);");
    EXPECT_EQ (outcome.getErrorMessage(), ScriptRunner::outOfMemoryMessage);
    EXPECT_TRUE (runScript (runner, "var a = [1, 2, 3];").wasOk());
}

TEST (ScriptRunner, StopRequestEndsARunningScript)
{
    ScriptRunner runner;
    juce::WaitableEvent started;
    juce::DynamicObject::Ptr probe (new juce::DynamicObject());
    probe->setMethod ("started", [&started] (const juce::var::NativeFunctionArgs&) { started.signal(); return juce::var(); });

    // Without the stop this would run for the whole minute.
    const auto outcome = runWith (runner, "Probe.started(); while (true) {}", probe.get(), [&started] { return started.wait (0); });
    EXPECT_EQ (outcome.getErrorMessage(), ScriptRunner::stoppedMessage);
    EXPECT_TRUE (runner.wasStoppedOnRequest());

    EXPECT_TRUE (runScript (runner, "var a = 1;").wasOk());
    EXPECT_FALSE (runner.wasStoppedOnRequest());
}
