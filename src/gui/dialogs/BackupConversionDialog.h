#pragma once

#include "archive/ConversionProgress.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The window of a running backup conversion: "Converting Data", the
    conversion's status, a progress bar and one button, "Stop!". It follows
    the conversion and closes once the conversion has ended; "Stop!" asks the
    conversion to stop and the window stays until it has, so the work is
    never cut off in the middle of writing a backup. The conversion reports
    its outcome itself (0x85001). */
class BackupConversionDialog : private juce::Timer
{
public:
    static constexpr int refreshIntervalMs = 100;

    explicit BackupConversionDialog (std::shared_ptr<ConversionProgress> progress, juce::Component* centreAround = nullptr);
    ~BackupConversionDialog() override;

    /** Shows the window modally without waiting; it deletes itself when the conversion has ended. */
    static void launch (std::shared_ptr<ConversionProgress> progress, juce::Component* centreAround = nullptr);

    /** Puts the window into the modal state and starts following the conversion. */
    void show();

    bool isShowing() const;
    juce::AlertWindow& getWindow() noexcept              { return *window; }
    juce::Button* getStopButton() const noexcept         { return stopButton; }

    /** What the window shows now: its progress (-1 while unknown) and message. */
    double getShownProgress() const noexcept             { return shownProgress; }
    const juce::String& getShownMessage() const noexcept { return shownMessage; }

private:
    void timerCallback() override;
    void refresh();
    void close();

    std::shared_ptr<ConversionProgress> progress;
    double shownProgress = -1.0;
    juce::String shownMessage;
    std::unique_ptr<juce::AlertWindow> window;
    juce::Button* stopButton = nullptr;
    bool deleteWhenClosed = false;

    JUCE_DECLARE_NON_COPYABLE (BackupConversionDialog)
};
