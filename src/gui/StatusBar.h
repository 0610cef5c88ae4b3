#pragma once

#include "base/BelvoraChangeListener.h"
#include "gui/widgets/StatusProgressBar.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>
#include <memory>

/** One activity light of the status bar: lit for a moment whenever its counter grows. */
struct StatusBarIndicator
{
    StatusBarIndicator() = default;
    StatusBarIndicator (juce::Drawable* idle, juce::Drawable* lit) : idleIcon (idle), litIcon (lit), currentIcon (idle) {}

    juce::uint32 lastCount = 0;
    juce::uint32 count = 0;
    juce::Time litUntil = juce::Time::getCurrentTime();
    juce::Rectangle<float> bounds;
    juce::Drawable* idleIcon = nullptr;
    juce::Drawable* litIcon = nullptr;
    juce::Drawable* currentIcon = nullptr;
};

/** The strip along the bottom of the main window: what is connected, the text
    and progress of the running device operation, and four activity lights
    (MIDI out, MIDI in, two of the content catalogue's network counters). */
class StatusBar : public juce::Component,
                  public BelvoraChangeListener,
                  public juce::Timer
{
public:
    /** The counters the lights follow: MIDI sent, MIDI received, network 1 and 2. */
    using Counters = std::array<juce::uint32, 4>;

    /** What the bar reads of the services; an empty reader reads the running
        program's (the device manager, the content catalogue). */
    struct Sources
    {
        std::function<Counters()> counters;
        std::function<bool()> offline;                                          // the catalogue could not reach its server (read again when the start's read ends)
        std::function<bool (juce::String& name, juce::String& firmware)> activeUnit;   // false when none is active
    };

    explicit StatusBar (Sources sources = {});
    ~StatusBar() override;

    /** The bar shows text instead of a percentage, in the error colours when asked. */
    void setStatusText (const juce::String& text, bool error);

    void setStatus (bool show, const juce::String& labelText, const juce::String& barText, double value);
    void hideProgress();

    /** One step of the operation done; the progress hides once all are. */
    void advanceProgress();

    /** Takes the counters as they are now as the base, every light idle. */
    void resetCounters();

    bool isProgressShown() const noexcept                 { return progressBar.isVisible(); }
    juce::Rectangle<int> getProgressBarBounds() const     { return progressBar.getBounds(); }
    double getProgress() const noexcept                   { return progress; }
    void setProgress (double value)                       { progress = value; progressBar.valueChanged(); }
    const StatusProgressBar& getProgressBar() const noexcept   { return progressBar; }
    juce::String getConnectionText() const                { return connectionLabel.getText(); }
    juce::String getFirmwareText() const                  { return firmwareLabel.getText(); }
    juce::String getStatusLabelText() const               { return statusLabel.getText(); }
    bool isStatusLabelShown() const noexcept              { return statusLabel.isVisible(); }
    bool isShowingConnected() const noexcept              { return connectionIcon == connectedIcon.get(); }
    bool isShowingOffline() const noexcept                { return offlineIconShown != nullptr; }
    bool isLit (int indicator) const;
    bool isResting() const noexcept                       { return restingIntervalMs > 0; }
    const StatusBarIndicator& getIndicator (int index) const   { return indicators[(size_t) index]; }
    const juce::Array<int>& getSeparatorXs() const noexcept    { return separatorXs; }

    /** The steps of the running operation, set by the commands before they post it. */
    int totalSteps = 0;
    int doneSteps = 0;

    void changeNotify (const ChangeInfo& info) override;
    void timerCallback() override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void enablementChanged() override;

private:
    static Sources withDefaults (Sources sources);
    void setConnectionIcon (juce::Drawable* icon);
    void showOffline (bool offline);
    bool updateLights();   // true when a counter moved
    bool isAnyLit() const;
    void followLights (bool moved);
    void placeIcon (juce::Drawable* icon, juce::Rectangle<float> area);
    void styleLabel (juce::Label& label, float fontHeight, juce::Justification justification);
    static std::unique_ptr<juce::Drawable> loadIcon (const char* data, int size);

    const Sources sources;

    std::unique_ptr<juce::Drawable> connectedIcon, notConnectedIcon, midiIdleIcon, midiOutIcon, midiInIcon,
                                    netIdleIcon1, netActiveIcon1, netIdleIcon2, netActiveIcon2, offlineIcon;
    juce::Drawable* connectionIcon = nullptr;
    juce::Drawable* offlineIconShown = nullptr;

    juce::Label connectionLabel { {}, "Initializing" };
    juce::Label firmwareLabel;
    juce::Label statusLabel;
    double progress = 0.0;
    StatusProgressBar progressBar { progress };

    juce::Array<int> separatorXs;
    std::array<StatusBarIndicator, 4> indicators;

    // A lit light is followed at the pace the timer was started with, to go out in time; a dark one
    // only looks for the next byte once a second, so a trickle costs a look and a flash a byte. Once
    // nothing has moved for a while the lights stop looking: traffic comes with notifications, and
    // the next one starts them again at their pace.
    static constexpr int lookBetweenBytesMs = 1000, quietMsBeforeRest = 2000;
    int paceMs = 100;
    int quietMs = 0;
    int restingIntervalMs = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StatusBar)
};
