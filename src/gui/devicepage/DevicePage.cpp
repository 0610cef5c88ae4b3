#include "gui/devicepage/DevicePage.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "devices/DeviceManager.h"
#include "devices/DeviceProfiler.h"
#include "gui/BVLookAndFeel.h"
#include "gui/CommandIDs.h"
#include "gui/MainAppWindow.h"
#include "gui/Palette.h"
#include "gui/widgets/MidiDeviceStatusButton.h"

namespace
{
    AppState appState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::idle;
    }

    bool onlyShowMakersDevices()
    {
        return Belvora::getUserSettings().getBoolValue ("onlyShowMwdDevices", true);
    }
}

DevicePage::DevicePage()
{
    setOpaque (true);
}

DevicePage::~DevicePage()
{
    clearTiles();
}

int DevicePage::getSelectedDeviceIndex() const
{
    for (int i = 0; i < tiles.size(); ++i)
        if (tiles.getUnchecked (i)->getToggleState())
            return tileIndices[i];

    return -1;
}

void DevicePage::clearTiles()
{
    tiles.clear();
    tileIndices.clearQuick();
}

void DevicePage::rebuildDeviceList()
{
    clearTiles();

    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr)
        return;

    auto* app = Belvora::getInstance();
    const MidiDeviceStatusButton::Services services { Nexus::getContentManager(), app != nullptr ? app->getNexus() : nullptr, {} };

    for (int i = 0; i < devices->getNumDevices(); ++i)
    {
        auto* tile = tiles.add (std::make_unique<MidiDeviceStatusButton> (devices->getDevice (i), services));
        tileIndices.add (i);
        tile->setRadioGroupId (100);
        tile->setClickingTogglesState (true);
        tile->addListener (this);
        addAndMakeVisible (tile);
    }

    filterTiles();
}

void DevicePage::filterTiles()
{
    const bool onlyKnown = onlyShowMakersDevices();

    for (auto* tile : tiles)
        tile->setVisible (! onlyKnown || tile->isKnownProduct());

    resized();
}

void DevicePage::refreshTiles()
{
    for (auto* tile : tiles)
        tile->updateFromDevice();
}

//==============================================================================
void DevicePage::changeNotify (const ChangeInfo& info)
{
    if (info.kind == ChangeInfo::appStateChanged)
    {
        switch (static_cast<AppState> (info.newAppState))
        {
            case AppState::idle:
                if (info.oldAppState == static_cast<int> (AppState::firmwareUpdate))
                    rebuildDeviceList();

                setEnabled (true);
                break;

            case AppState::scanning:
            case AppState::firmwareUpdate:
                clearTiles();
                setEnabled (false);
                break;

            case AppState::rescanNeeded:
                refreshTiles();
                break;

            case AppState::starting:
                break;
        }

        return;
    }

    if (info.kind != ChangeInfo::notification)
        return;

    const auto& m = info.message;

    switch (m.code)
    {
        case DeviceInfoMessage::forgetKnownDevice:
            if (auto* profiler = Nexus::getDeviceProfiler())
            {
                if ((m.value1 & 0xff) == 0xff && m.value2 == -1)
                    profiler->removeDisconnectedDevices();
                else
                    profiler->removeDevice (m.value1 & 0xff, m.value2);
            }
            break;

        case DeviceInfoMessage::optionsChanged:
        case DeviceInfoMessage::scanFinished:
            filterTiles();
            break;

        case DeviceInfoMessage::devicesMade:
        {
            const auto state = appState();

            if (state == AppState::idle || state == AppState::scanning)
                rebuildDeviceList();

            if (state != AppState::idle)
                setEnabled (false);
            break;
        }

        case DeviceInfoMessage::downloadStarted:
        case DeviceInfoMessage::downloadFinished:
        case DeviceInfoMessage::downloadFailed:
            refreshTiles();
            break;

        default:
            break;
    }
}

void DevicePage::buttonClicked (juce::Button* button)
{
    const auto at = tiles.indexOf (dynamic_cast<MidiDeviceStatusButton*> (button));

    if (at < 0)
        return;

    auto* devices = Nexus::getDeviceManager();
    const auto index = tileIndices[at];
    const auto mods = juce::ModifierKeys::getCurrentModifiers();

    if (devices == nullptr || index < 0 || ! devices->isDeviceUsable (index) || mods.isRightButtonDown())
        return;

    button->setToggleState (true, juce::dontSendNotification);

    if (auto* target = MainAppWindow::getApplicationCommandManager()->getFirstCommandTarget (CommandIDs::connectSelectedDevice))
        target->invokeDirectly (CommandIDs::connectSelectedDevice, true);
}

//==============================================================================
void DevicePage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::backgroundColour);
}

void DevicePage::resized()
{
    const auto scale = BVLookAndFeel::of (*this) != nullptr ? BVLookAndFeel::of (*this)->getScale() : BVLookAndFeel::Defaults::scale;
    const auto gap = juce::roundToInt (10.0f * scale);
    int x = gap, y = gap, rowHeight = 0;

    for (auto* tile : tiles)
    {
        if (! tile->isVisible())
            continue;

        if (x > gap && x + tile->getWidth() > getWidth())
        {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }

        tile->setTopLeftPosition (x, y);
        x += tile->getWidth() + gap;
        rowHeight = juce::jmax (rowHeight, tile->getHeight());
    }
}
