// The application as the user sees it: started with the sample content and the
// simulated units, then photographed.

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "gallery/Gallery.h"
#include "gui/MainAppWindow.h"
#include "support/TestEnvironment.h"

namespace
{
    std::unique_ptr<juce::Component> photographMainWindow (BVLookAndFeel& laf)
    {
        juce::Image photo;

        if (TestEnvironment::hasDisplay())
        {
            Belvora::releaseAppProperties();
            TestEnvironment::clearHome();
            Belvora::configureAppProperties();
            Belvora::getAppProperties().getUserSettings()->setValue ("uiScalingFactor", (double) laf.getScale());

            {
                Belvora app (MainAppWindow::getUserInterfaceFactory());
                app.initialise ("");

                if (auto* window = MainAppWindow::of (app.getNexus()))
                {
                    TestEnvironment::runMessageLoopUntil ([&] { return app.getAppState() == AppState::idle; });
                    photo = window->createComponentSnapshot (window->getLocalBounds(), true, 1.0f);
                }

                app.shutdown();
            }

            Belvora::releaseAppProperties();
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
    }
}

BELVORA_SCREEN ("Windows/Main window", photographMainWindow);
