#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <mutex>

/** What a running backup conversion shows and how it is asked to stop,
    shared by the worker and whoever shows it (a progress window), so that
    either may go first. Any thread. */
class ConversionProgress
{
public:
    /** -1 while the length of the work is unknown, else 0 to 1. */
    double getProgress() const noexcept                 { return progress.load(); }
    juce::String getStatus() const;
    bool isFinished() const noexcept                    { return finished.load(); }

    /** Asks the conversion to end at the next step, a running script at once. */
    void requestStop();
    bool isStopRequested() const noexcept               { return stopRequested.load(); }

    // The worker's side.
    void setProgress (double value) noexcept            { progress.store (value); }
    void setStatus (const juce::String& text);
    void setFinished() noexcept                         { finished.store (true); }

    /** What requestStop does besides noting it, while the worker runs; none
        once it has ended. Called under the lock that setStopHandler takes, so
        a handler being removed is never called afterwards. */
    void setStopHandler (std::function<void()> handler);

private:
    std::atomic<double> progress { -1.0 };
    std::atomic<bool> finished { false };
    std::atomic<bool> stopRequested { false };

    mutable std::mutex lock;
    juce::String status;
    std::function<void()> stopHandler;
};
