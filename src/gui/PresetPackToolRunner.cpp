#include "gui/PresetPackToolRunner.h"

#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"

PresetPackToolRunner::PresetPackToolRunner (const ContentManager& content)
    : juce::Thread ("Preset Pack Tool"),
      tool (content, [this] (const PresetPackTool::Notice& notice) { report (notice); })
{
}

PresetPackToolRunner::~PresetPackToolRunner()
{
    tool.stop();
    signalThreadShouldExit();
    shown.set();
    stopThread (-1);
    cancelPendingUpdate();
}

bool PresetPackToolRunner::selectAndConvert()
{
    if (busy)
        return false;

    FileChoosers::Request request;
    request.mode = FileChoosers::Mode::chooseFolder;
    request.title = "Select Preset Source Folder";

    const auto chosen = FileChoosers::choose (request);

    if (chosen.isEmpty())
        return false;

    return start ([folder = chosen.getFirst()] (PresetPackTool& t) { t.convertPacksIn (folder); });
}

bool PresetPackToolRunner::convertPack (const juce::File& presetsFile)
{
    if (busy)
        return false;

    auto file = presetsFile;

    if (! file.existsAsFile())
    {
        FileChoosers::Request request;
        request.mode = FileChoosers::Mode::openFile;
        request.title = "Select Source Pack";

        const auto chosen = FileChoosers::choose (request);

        if (chosen.isEmpty())
            return false;

        file = chosen.getFirst();
    }

    return start ([file] (PresetPackTool& t) { t.convertPack (file); });
}

bool PresetPackToolRunner::start (Work newWork, std::function<void()> whenFinished)
{
    JUCE_ASSERT_MESSAGE_THREAD

    if (busy || newWork == nullptr)
        return false;

    stopThread (-1);   // the last work has ended: this only joins its thread

    {
        const std::lock_guard<std::mutex> hold (lock);
        notices.clear();
        workDone = false;
    }

    work = std::move (newWork);
    onFinished = std::move (whenFinished);
    busy = startThread();
    return busy;
}

//==============================================================================
void PresetPackToolRunner::run()
{
    work (tool);

    {
        const std::lock_guard<std::mutex> hold (lock);
        workDone = true;
    }

    triggerAsyncUpdate();
}

void PresetPackToolRunner::report (const PresetPackTool::Notice& notice)
{
    {
        const std::lock_guard<std::mutex> hold (lock);
        notices.push_back (notice);
    }

    triggerAsyncUpdate();

    // The box is up as long as the user likes; a stop ends the wait.
    while (! shown.wait (100))
        if (threadShouldExit())
            return;
}

std::optional<PresetPackTool::Notice> PresetPackToolRunner::takeNotice()
{
    const std::lock_guard<std::mutex> hold (lock);

    if (notices.empty())
        return std::nullopt;

    auto notice = notices.front();
    notices.pop_front();
    return notice;
}

void PresetPackToolRunner::handleAsyncUpdate()
{
    // A box's own loop may deliver the next update: the loop below shows it.
    if (showing)
        return;

    while (auto notice = takeNotice())
    {
        showing = true;
        auto* over = juce::Component::getCurrentlyFocusedComponent();

        if (notice->kind == PresetPackTool::Notice::Kind::warning)
            Alerts::showWarning (over, notice->title, notice->message);
        else
            Alerts::showInfo (over, notice->title, notice->message);

        showing = false;
        shown.set();
    }

    bool finished = false;

    {
        const std::lock_guard<std::mutex> hold (lock);
        finished = std::exchange (workDone, false);
    }

    if (finished && busy)
    {
        busy = false;

        if (auto callback = std::exchange (onFinished, nullptr))
            callback();
    }
}
