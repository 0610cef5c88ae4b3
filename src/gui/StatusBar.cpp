#include "gui/StatusBar.h"

#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "gui/BVLookAndFeel.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "resources/BinaryResources.h"

#include <algorithm>
#include <utility>

namespace
{
    struct Metrics
    {
        float fontSize = BVLookAndFeel::Defaults::fontSize;
        float scale = BVLookAndFeel::Defaults::scale;
    };

    Metrics metricsOf (juce::Component& c)
    {
        if (auto* laf = BVLookAndFeel::of (c))
            return { laf->getFontSize(), laf->getScale() };

        return {};
    }

    int textWidth (const juce::Label& label)
    {
        return juce::roundToInt (label.getFont().getStringWidthFloat (label.getText())) + 1;
    }

    // The main window is the last of ours among the desktop's windows.
    bool mainWindowUsesNativeTitleBar()
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = desktop.getNumComponents(); --i >= 0;)
            if (auto* window = dynamic_cast<MainAppWindow*> (desktop.getComponent (i)))
                return window->isUsingNativeTitleBar();

        return true;
    }

    bool isAppInitialising()
    {
        auto* app = juce::JUCEApplicationBase::getInstance();
        return app != nullptr && app->isInitialising();
    }
}

StatusBar::Sources StatusBar::withDefaults (Sources s)
{
    if (s.counters == nullptr)
        s.counters = []
        {
            Counters counters {};

            if (auto* devices = Nexus::getDeviceManager())
            {
                int64_t sent = 0, received = 0;
                devices->getMidiByteCounts (sent, received);
                counters[0] = (juce::uint32) sent;
                counters[1] = (juce::uint32) received;
            }

            if (auto* content = Nexus::getContentManager())
            {
                counters[2] = (juce::uint32) content->getBytesSent();
                counters[3] = (juce::uint32) content->getBytesReceived();
            }

            return counters;
        };

    if (s.offline == nullptr)
        s.offline = []
        {
            auto* content = Nexus::getContentManager();
            return content != nullptr && ! content->isOnline() && ! content->isConnecting();
        };

    if (s.activeUnit == nullptr)
        s.activeUnit = [] (juce::String& name, juce::String& firmware)
        {
            auto* devices = Nexus::getDeviceManager();

            if (devices == nullptr || devices->getActiveIndex() < 0)
                return false;

            name = devices->getActiveDeviceDisplayName();
            firmware = devices->getDeviceVersion (-1).getVersionString();
            return true;
        };

    return s;
}

std::unique_ptr<juce::Drawable> StatusBar::loadIcon (const char* data, int size)
{
    return juce::Drawable::createFromImageData (data, (size_t) size);
}

StatusBar::StatusBar (Sources readers)
    : sources (withDefaults (std::move (readers)))
{
    using namespace BinaryResources;
    connectedIcon    = loadIcon (status_connected_svg, status_connected_svgSize);
    notConnectedIcon = loadIcon (status_not_connected_svg, status_not_connected_svgSize);
    midiIdleIcon     = loadIcon (status_midi_idle_svg, status_midi_idle_svgSize);
    midiOutIcon      = loadIcon (status_midi_out_svg, status_midi_out_svgSize);
    midiInIcon       = loadIcon (status_midi_in_svg, status_midi_in_svgSize);
    netIdleIcon1     = loadIcon (status_net1_idle_svg, status_net1_idle_svgSize);
    netActiveIcon1   = loadIcon (status_net1_active_svg, status_net1_active_svgSize);
    netIdleIcon2     = loadIcon (status_net2_idle_svg, status_net2_idle_svgSize);
    netActiveIcon2   = loadIcon (status_net2_active_svg, status_net2_active_svgSize);
    offlineIcon      = loadIcon (status_offline_svg, status_offline_svgSize);

    indicators = { StatusBarIndicator (midiIdleIcon.get(), midiOutIcon.get()),
                   StatusBarIndicator (midiIdleIcon.get(), midiInIcon.get()),
                   StatusBarIndicator (netIdleIcon1.get(), netActiveIcon1.get()),
                   StatusBarIndicator (netIdleIcon2.get(), netActiveIcon2.get()) };

    const auto m = metricsOf (*this);
    styleLabel (connectionLabel, m.fontSize, juce::Justification::centredLeft);
    styleLabel (firmwareLabel, 0.8f * m.fontSize, juce::Justification::bottomLeft);
    styleLabel (statusLabel, 0.8f * m.fontSize, juce::Justification::bottomLeft);

    progressBar.setColour (juce::ProgressBar::backgroundColourId, Palette::statusProgressBackgroundColour);
    progressBar.setColour (juce::ProgressBar::foregroundColourId, Palette::statusProgressForegroundColour);

    setConnectionIcon (notConnectedIcon.get());
    addAndMakeVisible (connectionLabel);
    addAndMakeVisible (firmwareLabel);
    addChildComponent (statusLabel);
    addChildComponent (progressBar);

    showOffline (sources.offline());
    resetCounters();
}

StatusBar::~StatusBar()
{
    stopTimer();
}

void StatusBar::styleLabel (juce::Label& label, float fontHeight, juce::Justification justification)
{
    label.setFont (BVLookAndFeel::makeFont (fontHeight));
    label.setJustificationType (justification);
    label.setColour (juce::Label::textColourId, Palette::statusTextColour);
    label.setColour (juce::Label::backgroundColourId, Palette::statusBackgroundColour);
    label.setMinimumHorizontalScale (1.0f);
    label.setBorderSize (juce::BorderSize<int> (0));
}

//==============================================================================
void StatusBar::setStatusText (const juce::String& text, bool error)
{
    progressBar.setColour (juce::ProgressBar::backgroundColourId, error ? Palette::statusErrorBackgroundColour
                                                                        : Palette::statusProgressBackgroundColour);
    progressBar.setColour (juce::ProgressBar::foregroundColourId, error ? Palette::statusErrorForegroundColour
                                                                        : Palette::statusProgressForegroundColour);
    progressBar.setTextToDisplay (text);
}

void StatusBar::setStatus (bool show, const juce::String& labelText, const juce::String& barText, double value)
{
    if (! show)
        return hideProgress();

    setStatusText (barText, false);
    progress = value;
    progressBar.valueChanged();
    statusLabel.setText (labelText, juce::dontSendNotification);
    statusLabel.setVisible (labelText.isNotEmpty());
    progressBar.setVisible (true);
    resized();
}

void StatusBar::hideProgress()
{
    statusLabel.setVisible (false);
    progressBar.setVisible (false);
    resized();
}

void StatusBar::advanceProgress()
{
    ++doneSteps;
    progress = totalSteps != 0 ? (double) doneSteps / (double) totalSteps : 1.0;
    progressBar.valueChanged();

    if (doneSteps >= totalSteps)
        hideProgress();
}

void StatusBar::resetCounters()
{
    const auto now = juce::Time::getCurrentTime();
    const auto counters = isAppInitialising() ? Counters {} : sources.counters();

    for (size_t i = 0; i < indicators.size(); ++i)
    {
        auto& indicator = indicators[i];
        indicator.count = counters[i];
        indicator.lastCount = indicator.count;
        indicator.litUntil = now;
        indicator.currentIcon = indicator.idleIcon;
    }
}

bool StatusBar::isLit (int index) const
{
    const auto& indicator = indicators[(size_t) index];
    return indicator.currentIcon != nullptr && indicator.currentIcon == indicator.litIcon;
}

//==============================================================================
void StatusBar::changeNotify (const ChangeInfo& info)
{
    if (isResting())
    {
        startTimer (std::exchange (restingIntervalMs, 0));
        quietMs = 0;
    }

    // Traffic comes with notifications: a light goes on with the first, not a tick later.
    if (isTimerRunning() && updateLights())
        followLights (true);

    if (info.kind != ChangeInfo::notification)
        return;

    const auto code = info.message.code;

    if (code == DeviceInfoMessage::descriptorRead)
        return showOffline (sources.offline());

    if (code != DeviceInfoMessage::connectedDeviceChanged && code != DeviceInfoMessage::scanFinished
        && code != DeviceInfoMessage::activeDeviceLost && code != DeviceInfoMessage::portsChanged)
        return;

    const bool nothingConnected = code == DeviceInfoMessage::connectedDeviceChanged && info.message.value1 == 0;
    juce::String name, firmware;

    if (! nothingConnected && sources.activeUnit (name, firmware))
    {
        setConnectionIcon (connectedIcon.get());
        connectionLabel.setText (name, juce::dontSendNotification);
        firmwareLabel.setText (firmware, juce::dontSendNotification);
        firmwareLabel.setVisible (true);
    }
    else
    {
        setConnectionIcon (notConnectedIcon.get());
        connectionLabel.setText ("Nothing Connected", juce::dontSendNotification);
        firmwareLabel.setText ({}, juce::dontSendNotification);
        firmwareLabel.setVisible (false);
    }

    resized();
    repaint();
}

void StatusBar::showOffline (bool offline)
{
    if (offline == (offlineIconShown != nullptr))
        return;

    if (offlineIconShown != nullptr)
        removeChildComponent (offlineIconShown);

    offlineIconShown = offline ? offlineIcon.get() : nullptr;

    if (offlineIconShown != nullptr)
        addAndMakeVisible (offlineIconShown);

    resized();
    repaint();
}

void StatusBar::setConnectionIcon (juce::Drawable* icon)
{
    if (connectionIcon == icon)
        return;

    if (connectionIcon != nullptr)
        removeChildComponent (connectionIcon);

    connectionIcon = icon;

    if (connectionIcon != nullptr)
        addAndMakeVisible (connectionIcon);
}

bool StatusBar::updateLights()
{
    const auto now = juce::Time::getCurrentTime();
    const auto counters = sources.counters();
    auto moved = false;

    for (size_t i = 0; i < indicators.size(); ++i)
    {
        auto& indicator = indicators[i];
        indicator.count = counters[i];

        // A counter that went down (a rebuilt device list) lights nothing.
        if (indicator.count > indicator.lastCount)
        {
            moved = true;
            indicator.lastCount = indicator.count;
            indicator.litUntil = now + juce::RelativeTime::seconds (0.099);
        }

        // Lit while its moment lasts, not at its end: a light re-based this very
        // millisecond (litUntil = now) stays dark.
        if (indicator.litUntil <= now && indicator.currentIcon == indicator.litIcon)
        {
            indicator.currentIcon = indicator.idleIcon;
            repaint (indicator.bounds.getSmallestIntegerContainer());
        }
        else if (indicator.litUntil > now && indicator.currentIcon == indicator.idleIcon)
        {
            indicator.currentIcon = indicator.litIcon;
            repaint (indicator.bounds.getSmallestIntegerContainer());
        }
    }

    return moved;
}

bool StatusBar::isAnyLit() const
{
    return std::any_of (indicators.begin(), indicators.end(), [] (const auto& i) { return i.currentIcon == i.litIcon; });
}

void StatusBar::timerCallback()
{
    const auto moved = updateLights();

    // The stripes of a download move while its bytes come, not while it waits.
    if (moved || isAnyLit())
        progressBar.step();

    followLights (moved);
}

void StatusBar::followLights (bool moved)
{
    if (! isTimerRunning())
        return;

    if (getTimerInterval() < lookBetweenBytesMs)
        paceMs = getTimerInterval();

    quietMs = moved ? 0 : quietMs + getTimerInterval();
    const auto lit = isAnyLit();

    if (! lit && quietMs >= quietMsBeforeRest)
    {
        restingIntervalMs = paceMs;
        stopTimer();
        return;
    }

    if (const auto wanted = lit ? paceMs : lookBetweenBytesMs; getTimerInterval() != wanted)
        startTimer (wanted);
}

//==============================================================================
void StatusBar::paint (juce::Graphics& g)
{
    g.fillAll (Palette::statusBackgroundColour);

    const size_t shown = offlineIconShown != nullptr ? 2 : indicators.size();

    for (size_t i = 0; i < shown; ++i)
        if (auto* icon = indicators[i].currentIcon)
            icon->drawWithin (g, indicators[i].bounds, juce::RectanglePlacement::centred, 1.0f);

    g.setColour (Palette::statusTextColour);

    for (auto x : separatorXs)
        g.drawVerticalLine (x, 4.0f, (float) (getHeight() - 4));
}

void StatusBar::placeIcon (juce::Drawable* icon, juce::Rectangle<float> area)
{
    if (icon == nullptr)
        return;

    icon->setInterceptsMouseClicks (false, false);
    icon->setTransformToFit (area, juce::RectanglePlacement::centred);
    icon->setAlpha (isEnabled() ? 1.0f : 0.5f);
}

void StatusBar::resized()
{
    const auto m = metricsOf (*this);
    const auto bounds = getLocalBounds();
    const int x0 = bounds.getX(), y0 = bounds.getY(), h = bounds.getHeight();
    const auto S = m.scale, F = m.fontSize;

    const int M = juce::roundToInt (10.0f * S);
    const int iconD = juce::roundToInt (0.55f * (float) h);
    const int wideW = juce::roundToInt (0.93f * (float) h);
    const int midY = y0 + h / 2;
    const int iconY = midY - iconD / 2;

    int right = getRight() - (2 * iconD + 4 * M) - juce::roundToInt (25.0f * S);

    if (! mainWindowUsesNativeTitleBar())
        right -= 15;

    separatorXs.clearQuick();
    int x = x0 + M;

    placeIcon (connectionIcon, { (float) M, (float) y0 + ((float) h - F) / 2.0f, F, F });
    x = juce::roundToInt (5.0f * S + F) + M;

    const int w1 = textWidth (connectionLabel);
    connectionLabel.setBounds (x, y0, w1, h);
    x += juce::roundToInt (3.0f * S) + w1;

    const int h1 = (int) connectionLabel.getFont().getHeight();
    const int w2 = textWidth (firmwareLabel);
    firmwareLabel.setBounds (x, y0 + h / 2 - h1 / 2, w2, h1);
    separatorXs.add (x + w2 + M);
    x = x + w2 + 2 * M;

    if (statusLabel.isVisible())
    {
        const int w3 = textWidth (statusLabel);
        statusLabel.setBounds (x, firmwareLabel.getY(), w3, firmwareLabel.getHeight());
        x += juce::roundToInt (7.0f * S) + w3;
    }

    if (progressBar.isVisible())
        progressBar.setBounds (x, y0 + juce::roundToInt (6.0f * S), right - x - M, h - juce::roundToInt (13.0f * S));

    separatorXs.add (right);
    const int g7 = juce::roundToInt (7.0f * S);
    indicators[0].bounds = juce::Rectangle<int> (right + g7, iconY, iconD, iconD).toFloat();
    indicators[1].bounds = juce::Rectangle<int> ((int) indicators[0].bounds.getX() + iconD + g7, iconY, iconD, iconD).toFloat();

    const int x1 = (int) indicators[1].bounds.getX() + iconD + g7;
    separatorXs.add (x1);
    const int x2 = x1 + g7;
    const int half = (iconD - 1) / 2;
    indicators[2].bounds = juce::Rectangle<int> (x2, midY - half, wideW, half).toFloat();
    indicators[3].bounds = juce::Rectangle<int> (x2, midY + 1, wideW, half).toFloat();

    placeIcon (offlineIconShown, juce::Rectangle<int> (x2, midY - half, wideW, iconD).toFloat());
}

void StatusBar::enablementChanged()
{
    resized();
}
