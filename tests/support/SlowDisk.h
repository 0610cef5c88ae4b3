#pragma once

#include "model/SafeSave.h"
#include "support/TestEnvironment.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

/** A disk that stalls, for tests: each save of a file of the names given
    waits, whole in its temporary file, just before it replaces its target,
    until an answer lets it go (or long enough that a failing test still ends). */
class SlowDisk
{
public:
    explicit SlowDisk (juce::StringArray fileNames) : names (std::move (fileNames))
    {
        SafeSave::setBeforeReplace ([this] (const juce::File& target) { hold (target); });
    }

    ~SlowDisk()
    {
        letGo();
        SafeSave::setBeforeReplace ({});
        std::unique_lock lock (mutex);
        changed.wait (lock, [this] { return holding == 0; });
    }

    /** How many saves have been held so far. */
    int heldCount()     { const std::lock_guard lock (mutex); return held; }

    /** A message posted now that, once a save is held, notes whether it still is
        and lets the saves go (unless told not to: then letGo does): handled
        within a frame of the hold unless the message thread waits on the disk. */
    using Answer = std::shared_ptr<std::optional<bool>>;

    Answer postAnswer (bool andLetGo = true)   { auto answer = std::make_shared<std::optional<bool>>(); answerWhenHeld (answer, andLetGo); return answer; }

    void letGo()            { { const std::lock_guard lock (mutex); released = true; } changed.notify_all(); }

    /** Runs the message loop until the answer came: whether the save was still held then. */
    static bool answeredWhileHeld (const Answer& answer)
    {
        TestEnvironment::runMessageLoopUntil ([answer] { return answer->has_value(); }, 60000);
        return answer->value_or (false);
    }

private:
    void answerWhenHeld (Answer answer, bool andLetGo)
    {
        juce::MessageManager::callAsync ([this, answer, andLetGo]
        {
            if (heldCount() == 0)
                return answerWhenHeld (answer, andLetGo);

            { const std::lock_guard lock (mutex); *answer = holding > 0; }

            if (andLetGo)
                letGo();
        });
    }

    void hold (const juce::File& target)
    {
        std::unique_lock lock (mutex);

        if (released || ! names.contains (target.getFileName()))
            return;

        ++holding;
        ++held;
        changed.wait_for (lock, std::chrono::seconds (20), [this] { return released; });
        --holding;
        changed.notify_all();
    }

    const juce::StringArray names;
    std::mutex mutex;
    std::condition_variable changed;
    int holding = 0, held = 0;
    bool released = false;
};
