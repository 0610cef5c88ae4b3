#pragma once

#include "archive/PresetPackTool.h"
#include "platform/Event.h"

#include <juce_events/juce_events.h>

#include <deque>
#include <mutex>
#include <optional>

/** The preset-pack tool as the user starts it: the source is asked for with
    the program's choosers, the tool then works on a thread of its own, and
    its boxes are shown one after the other on the message thread while it
    waits for each, as it would for a box of its own. Message thread. */
class PresetPackToolRunner : private juce::Thread,
                             private juce::AsyncUpdater
{
public:
    using Work = std::function<void (PresetPackTool&)>;

    explicit PresetPackToolRunner (const ContentManager& content);

    /** Stops the tool (a running script at once) and waits for its thread. */
    ~PresetPackToolRunner() override;

    /** "Select Preset Source Folder", then every pack in it. False when cancelled or busy. */
    bool selectAndConvert();

    /** One pack description, asked for with "Select Source Pack" when it does
        not exist. False when cancelled or busy. */
    bool convertPack (const juce::File& presetsFile);

    /** Runs work with the tool on the runner's thread, then onFinished on the
        message thread. False while earlier work runs. */
    bool start (Work work, std::function<void()> onFinished = {});

    bool isBusy() const noexcept                         { return busy; }

private:
    void run() override;
    void handleAsyncUpdate() override;

    /** The tool's reporter: on the runner's thread, returns once the box was shown. */
    void report (const PresetPackTool::Notice& notice);
    std::optional<PresetPackTool::Notice> takeNotice();

    PresetPackTool tool;
    Work work;
    std::function<void()> onFinished;
    bool busy = false;            // message thread
    bool showing = false;         // message thread: a box is up

    std::mutex lock;
    std::deque<PresetPackTool::Notice> notices;   // under lock
    bool workDone = false;                        // under lock
    platform::Event shown;

    JUCE_DECLARE_NON_COPYABLE (PresetPackToolRunner)
};
