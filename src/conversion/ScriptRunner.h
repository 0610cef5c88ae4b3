#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <utility>

/** Runs conversion scripts, each in a fresh script engine, on a thread of
    its own with a large stack, and waits for each.

    The engine is a tree-walking interpreter with no limit on recursion: a
    script that recurses without end, or text nested deeply enough, would
    overflow the caller's stack long before any time limit. So the script
    runs where the stack is large and watched: nesting is checked before the
    run, and a run whose stack use passes a mark is stopped like a run that
    took too long. */
class ScriptRunner : private juce::Thread
{
public:
    using NamedObject = std::pair<juce::Identifier, juce::DynamicObject::Ptr>;

    ScriptRunner();
    ~ScriptRunner() override;

    /** Registers the objects under their names, executes the script and
        releases the engine; the engine's outcome, or a failure of its own. */
    juce::Result execute (const juce::String& script, const juce::Array<NamedObject>& objects, int timeLimitMs);

    /** Brackets nested more deeply than this are refused before the run. */
    static constexpr int maxNesting = 200;

    /** The deepest nesting of brackets outside strings and comments. */
    static int measureNesting (const juce::String& script);

    /** True when a number in the text (strings and comments too, as text may
        become a number) has more digits than the engine can read without
        overflowing its integers. */
    static bool hasUnreadableNumber (const juce::String& script);

private:
    void run() override;
    void runOnce();
    const char* markPage() const;
    bool stackIsDeep() const;
    void forgetMarkPage() const;

    juce::String script;
    juce::Array<NamedObject> objects;
    int timeLimitMs = 0;
    juce::Result outcome { juce::Result::ok() };
    bool stoppedForDepth = false;

    juce::CriticalSection engineLock;
    juce::JavascriptEngine* engine = nullptr;   // alive while the run lasts
    std::atomic<const char*> stackStart { nullptr };
    juce::WaitableEvent workReady, finished;
};
