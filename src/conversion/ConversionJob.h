#pragma once

#include "conversion/DataConversionManager.h"

#include <functional>
#include <memory>

/** One whole-unit conversion on a thread of its own, so that whoever starts
    it (the message thread above all) never waits on a script.

    Progress goes to the listeners, the outcome to the completion callback,
    both on the job's thread: a caller on the message thread posts from
    there. Deleting the job stops it and waits for its thread, which a stop
    ends within a few milliseconds; never delete it from its own callback. */
class ConversionJob : private juce::Thread
{
public:
    struct Outcome
    {
        std::unique_ptr<DeviceData> converted;   // null when the job failed or was cancelled
        ConversionResult result;
    };

    using Completion = std::function<void (Outcome)>;

    /** The job keeps the source alive while it runs. */
    ConversionJob (const ContentManager& content, std::shared_ptr<const DeviceData> source,
                   int targetProductId, const FirmwareVersion& targetVersion);
    ~ConversionJob() override;

    /** Before start only. */
    void addListener (DataConversionManager::Listener* listener)   { manager.addListener (listener); }

    /** Starts the job once; false when it was started before or no thread could be made. */
    bool start (Completion onFinished);

    /** Asks the job to end; any thread, returns at once. The outcome is then cancelled. */
    void stop();

    bool isRunning() const                                          { return isThreadRunning(); }

private:
    void run() override;

    DataConversionManager manager;
    const std::shared_ptr<const DeviceData> source;
    const int targetProductId;
    const FirmwareVersion targetVersion;
    Completion completion;
    bool started = false;

    JUCE_DECLARE_NON_COPYABLE (ConversionJob)
};
