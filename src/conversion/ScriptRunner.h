#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <utility>

/** Runs conversion scripts, each in a fresh script engine, on a thread of
    its own with a large stack, and waits for each.

    The engine is a tree-walking interpreter with no limit on recursion: a
    script that recurses without end, or text nested deeply enough, would
    overflow the caller's stack long before any time limit. So the script
    runs where the stack is large and watched: nesting is checked before the
    run, and a run whose stack use passes a mark is stopped like a run that
    took too long. A run whose process grows by more than memoryLimit is
    stopped the same way, and whatever the engine throws ends the run with a
    failure instead of leaving the caller waiting.

    The engine checks for a stop only between statements; a single statement
    can still allocate without bound. Scripts from outside therefore run in a
    ScriptSandbox, whose child process holds the real limits. */
class ScriptRunner : private juce::Thread
{
public:
    using NamedObject = std::pair<juce::Identifier, juce::DynamicObject::Ptr>;

    ScriptRunner();
    ~ScriptRunner() override;

    /** Registers the objects under their names, executes the script and
        releases the engine; the engine's outcome, or a failure of its own.
        shouldStop, when given, is asked on the calling thread while the
        script runs; once it says yes the script ends at its next statement. */
    juce::Result execute (const juce::String& script, const juce::Array<NamedObject>& objects, int timeLimitMs,
                          const std::function<bool()>& shouldStop = {});

    /** Runs work on the runner's thread, where it may run any number of
        scripts with runHere(), while the calling thread watches each of them
        as execute() does. Returns when work has returned. */
    void serve (const std::function<void()>& work, const std::function<bool()>& shouldStop = {});

    /** execute() for work running inside serve(), on the runner's thread. */
    juce::Result runHere (const juce::String& script, const juce::Array<NamedObject>& objects, int timeLimitMs);

    /** True when the last run was ended because shouldStop said so. */
    bool wasStoppedOnRequest() const noexcept   { return stoppedOnRequest; }

    /** Brackets nested more deeply than this are refused before the run. */
    static constexpr int maxNesting = 200;

    /** Growth of the process during one run past which the run is stopped. */
    static constexpr juce::int64 memoryLimit = 128 * 1024 * 1024;

    /** A subscript written as a number this large or larger is refused before
        the run: assigning to it makes the engine fill the array up to it. */
    static constexpr double maxLiteralIndex = 1000000.0;

    /** The checks of the text made before every run. */
    static juce::Result checkScript (const juce::String& script);

    /** Whether the engine reads the whole script, without running any of it;
        undecided when the check itself could not run to its end (its thread
        did not start, the process ran short of memory), which says nothing
        of the script. */
    enum class Reading { reads, refused, undecided };
    static Reading compile (const juce::String& script);

    /** The deepest nesting of brackets outside strings and comments. */
    static int measureNesting (const juce::String& script);

    /** True when a number in the text (strings and comments too, as text may
        become a number) has more digits than the engine can read without
        overflowing its integers. */
    static bool hasUnreadableNumber (const juce::String& script);

    /** True when a subscript outside strings and comments starts with a number
        of at least maxLiteralIndex. */
    static bool hasHugeLiteralIndex (const juce::String& script);

    /** True when a brace outside strings and comments closes none that is open. */
    static bool hasStrayClosingBrace (const juce::String& script);

    /** The size of a process (0: this one) in bytes; zeros when unknown. */
    struct ProcessSize
    {
        juce::int64 addressSpace = 0;
        juce::int64 resident = 0;
    };

    static ProcessSize getProcessSize (int processId = 0);

    static const char* const outOfMemoryMessage;
    static const char* const stoppedMessage;

private:
    enum class StopReason { none, request, depth, memory };

    /** What the watching thread knows of the run it looks at. */
    struct Watch
    {
        int run = -1;
        juce::int64 startResident = 0;
    };

    void run() override;
    juce::Result runEngine (const juce::String& script, const juce::Array<NamedObject>& objects, int timeLimitMs);
    StopReason checkRun (const std::function<bool()>& shouldStop, Watch& watch) const;
    const char* markPage() const;
    bool stackIsDeep() const;
    void forgetMarkPage() const;

    const std::function<void()>* task = nullptr;   // set while serve() runs
    bool stoppedOnRequest = false;                 // on the runner's thread, read after the run
    bool endedByItsSurroundings = false;           // the same: for what may lie outside the text (no thread, memory, a stop)
    juce::String lastCheckedScript;                // on the runner's thread

    juce::CriticalSection engineLock;
    juce::JavascriptEngine* engine = nullptr;      // alive while a run lasts
    StopReason stopReason = StopReason::none;      // why the watcher stopped that run; both under engineLock

    std::atomic<const char*> stackStart { nullptr };
    std::atomic<int> runsStarted { 0 };
    std::atomic<bool> running { false };
    juce::WaitableEvent workReady, finished;
};
