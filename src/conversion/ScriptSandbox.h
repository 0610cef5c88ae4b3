#pragma once

#include "conversion/ScriptRunner.h"
#include "model/DeviceData.h"

#include <functional>
#include <memory>

/** Runs the steps of one conversion, each a script with its script objects,
    in a child process of this one.

    The script engine allocates inside single statements without ever looking
    at a limit (an array index far past the end, text doubled a thousand
    times in one expression), and when an allocation fails it writes through
    a null pointer. No check inside the process can hold that, so the scripts
    run in a host process (the program hostName, beside this one) whose
    address space is limited and whose resident memory is watched from here:
    a script that goes too far ends the host, never the program. A stop
    request ends the host at once. The host is started fresh, never forked
    from this program: a copy of a program with threads may hang on a lock
    one of them held.

    The host is started with the first step and serves every later step of
    the same thread until it is gone; it sees the reference data as it was when
    it was started. It ends with the thread that started it (a killed program
    too), and gets none of this program's descriptors and little of its
    environment. */
class ScriptSandbox
{
public:
    struct Outcome
    {
        juce::Result result { juce::Result::ok() };   // the engine's outcome, or why the run ended
        juce::String reportedError;                   // what the script passed to "scriptError"
        std::unique_ptr<DeviceMidiData> converted;    // what the script wrote, when it ran to its end
        bool stopped = false;                         // ended by a stop request
    };

    /** reference: the unit being converted, seen by "ReferenceData" (may be null).
        shouldStop is asked on the calling thread while a step runs. */
    ScriptSandbox (const DeviceData* reference, std::function<bool()> shouldStop);
    ~ScriptSandbox();

    /** Runs the script on a preset or a setup, converting to the target block. */
    Outcome run (const juce::String& script, const DeviceMidiData& data, const CapsBlock& targetBlock, int timeLimitMs);

    /** False where no host is started (other systems, thread-checking
        builds): the steps then run in this process, without the limits. */
    static bool runsInChildProcess() noexcept;

    /** The host program's file name, and its main: serves the sandbox that
        started it; a failure status when it was not started by one. */
    static constexpr const char* hostName = "belvora_script_host";
    static int runHost (int argc, char* argv[]);

    /** How much the host may grow, resident or in address space, before it is ended. */
    static constexpr juce::int64 memoryLimit = 512 * 1024 * 1024;

    /** The same step on a runner of this process, without the copy's limits. */
    static Outcome runHere (ScriptRunner& runner, const DeviceData* reference, const juce::String& script,
                            const DeviceMidiData& data, const CapsBlock& targetBlock, int timeLimitMs,
                            const std::function<bool()>& shouldStop = {});

private:
    class Child;

    const DeviceData* reference;
    std::function<bool()> shouldStop;
    std::unique_ptr<Child> child;
    std::unique_ptr<ScriptRunner> localRunner;   // where no child process can be made

    JUCE_DECLARE_NON_COPYABLE (ScriptSandbox)
};
