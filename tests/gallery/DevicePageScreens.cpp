// The "Devices" tab as the user sees it: the program started with the sample
// content and simulated units, brought into a state, then photographed.

#include "devices/SimulatedUnitSet.h"
#include "gallery/Gallery.h"
#include "gui/CommandIDs.h"
#include "gui/devicepage/DevicePage.h"
#include "gui/widgets/WidgetMetrics.h"
#include "gui/RunningAppFixture.h"

namespace
{
    using Scene = std::function<void (RunningApp&, juce::Image& photo)>;

    Gallery::Maker photograph (juce::String units, Scene scene = {})
    {
        return [units, scene] (BVLookAndFeel& laf) -> std::unique_ptr<juce::Component>
        {
            juce::Image photo;

            if (TestEnvironment::hasDisplay())
            {
                RunningApp::Options options;
                options.units = units;
                options.settings.set ("uiScalingFactor", juce::String (laf.getScale()));
                options.settings.set ("dataSyncMethod", "manual");
                RunningApp running (options);

                if (running.start())
                {
                    running.drain();
                    running.statusBar().resetCounters();   // the activity lights flash in their own time
                    auto& window = running.window();
                    photo = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);

                    if (scene)
                        scene (running, photo);
                }
            }

            if (! photo.isValid())
            {
                photo = juce::Image (juce::Image::RGB, 320, 40, true);
                juce::Graphics g (photo);
                g.fillAll (juce::Colours::white);
                g.setColour (juce::Colours::black);
                g.drawText ("needs a display (run scripts/screens)", photo.getBounds(), juce::Justification::centred);
            }

            return std::make_unique<Gallery::Painter> (photo.getWidth(), photo.getHeight(), [photo] (juce::Graphics& g, Gallery::Painter&)
            {
                g.drawImageAt (photo, 0, 0);
            });
        };
    }

    void retake (RunningApp& running, juce::Image& photo)
    {
        running.statusBar().resetCounters();
        auto& window = running.window();
        photo = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);
    }

    // The second unit is pulled out while the first is connected: a rescan is due.
    void secondUnitPulledOut (RunningApp& running, juce::Image& photo)
    {
        dynamic_cast<SimulatedUnitSet&> (running.devices().getBackend()).getUnit (1).unplug();
        running.waitFor ([&] { return running.application().getAppState() == AppState::rescanNeeded; });
        running.drain();
        retake (running, photo);
    }

    // After the rescan the unit pulled out is one of the remembered units.
    void secondUnitOffline (RunningApp& running, juce::Image& photo)
    {
        secondUnitPulledOut (running, photo);
        running.perform (CommandIDs::scanForDevices);
        running.waitFor ([&]
        {
            auto& page = running.content().getDevicePage();
            return running.application().getAppState() == AppState::idle && page.getOfflinePanel().getNumButtons() == 1
                && running.devices().getActiveIndex() >= 0;
        });
        running.drain();
        retake (running, photo);
    }

    // A right click on the empty part of the page: the menu, drawn where it opened.
    void pageMenu (RunningApp& running, juce::Image& photo)
    {
        auto& window = running.window();
        auto& viewport = running.content().getDevicePage().getDevicePanel().getViewport();
        const auto at = window.getLocalPoint (&viewport, juce::Point<int> (viewport.getWidth() / 2 + juce::roundToInt (40.0f * WidgetMetrics::scale (window)),
                                                                             viewport.getHeight() / 2));
        running.content().getDevicePage().createMenu().showMenuAsync (
            juce::PopupMenu::Options().withTargetScreenArea (juce::Rectangle<int> (1, 1).withPosition (window.localPointToGlobal (at))));

        juce::Component* menu = nullptr;
        running.waitFor ([&]
        {
            for (int i = juce::Desktop::getInstance().getNumComponents(); --i >= 0;)
                if (auto* c = juce::Desktop::getInstance().getComponent (i); c != &window && c->isShowing())
                    menu = c;

            return menu != nullptr;
        }, 3000);

        if (menu == nullptr)
            return;

        const auto shot = menu->createComponentSnapshot (menu->getLocalBounds(), true, 1.0f);
        const auto where = window.getLocalPoint (nullptr, menu->getScreenPosition());
        juce::Graphics g (photo);
        g.drawImageAt (shot, where.x, where.y);
        juce::PopupMenu::dismissAllActiveMenus();
    }
}

BELVORA_SCREEN ("Device page/No unit", photograph (""));
BELVORA_SCREEN ("Device page/Two units, the first connected", photograph ("0x12,0x1A"));
BELVORA_SCREEN ("Device page/A unit pulled out, a rescan due", photograph ("0x12,0x12", secondUnitPulledOut));
BELVORA_SCREEN ("Device page/One unit present, one remembered offline", photograph ("0x12,0x12", secondUnitOffline));
BELVORA_SCREEN ("Device page/Menu on the empty part of the page", photograph ("0x12", pageMenu));
