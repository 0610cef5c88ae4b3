// The application as the user sees it: started with the sample content and
// simulated units, brought into a state, then photographed.

#include "archive/ArchiveFiles.h"
#include "archive/CloudArchiveManager.h"
#include "conversion/ConversionTestData.h"
#include "devices/DeviceProfiler.h"
#include "gallery/AppPhotos.h"
#include "gui/CommandIDs.h"
#include "gui/Palette.h"
#include "gui/RunningAppFixture.h"
#include "gui/widgets/Alerts.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPanels.h"
#include "model/DeviceDataArchive.h"
#include "model/SourceTree.h"

namespace
{
    using AppPhotos::Scene;

    std::unique_ptr<juce::Component> pictureOf (const juce::Image& photo)
    {
        return std::make_unique<Gallery::Painter> (photo.getWidth(), photo.getHeight(), [photo] (juce::Graphics& g, Gallery::Painter&)
        {
            g.drawImageAt (photo, 0, 0);
        });
    }

    std::unique_ptr<juce::Component> needsADisplay()
    {
        juce::Image photo (juce::Image::RGB, 320, 40, true);
        juce::Graphics g (photo);
        g.fillAll (juce::Colours::white);
        g.setColour (juce::Colours::black);
        g.drawText ("needs a display (run scripts/screens)", photo.getBounds(), juce::Justification::centred);
        return pictureOf (photo);
    }

    /** A box the program showed, drawn over the middle of the photo as the user saw it. */
    void drawBox (const Alerts::Box& box, juce::Image& photo)
    {
        Alerts::Window alert (box.title, box.message, box.icon);

        for (auto& text : box.buttons)
            alert.addButton (text, 0);

        alert.setVisible (true);
        const auto shot = alert.createComponentSnapshot (alert.getLocalBounds(), true, 1.0f);
        const auto area = photo.getBounds().withSizeKeepingCentre (shot.getWidth(), shot.getHeight());
        juce::Graphics g (photo);
        g.setColour (juce::Colours::black.withAlpha (0.25f));
        g.fillRect (area.translated (4, 4));
        g.setColour (Palette::alertBackgroundColour);
        g.fillRect (area);
        g.drawImageAt (shot, area.getX(), area.getY());
    }

    /** What comes in its own time has come before the scene, so both scales start from the
        same state: the unit's preset packs in the cloud; the pointer rests off the window
        rather than on whatever lies under it. */
    void awaitContent (RunningApp& running)
    {
        const auto screen = juce::Desktop::getInstance().getDisplays().getTotalBounds (true);
        juce::Desktop::setMousePosition (screen.getBottomRight() - juce::Point<int> (1, 1));

        auto& page = running.content().getDataPage();
        running.waitFor ([&]
        {
            auto* cloud = page.getCloudManager();
            return cloud == nullptr || (! cloud->isLoading() && cloud->getTree().getNumChildren() > 0);
        }, 10000);

        running.drain();
    }

    /** Waits until what `moved` looks at has not moved for 300 ms and `done` holds:
        a slide or a bar runs at its own pace, whatever each step cost to paint at this scale.
        `moved` is true when it sees something other than at its last call. */
    void awaitRest (RunningApp& running, std::function<bool()> moved, std::function<bool()> done = [] { return true; })
    {
        auto restingSince = juce::Time::getMillisecondCounter();

        running.waitFor ([&]
        {
            if (moved())
                restingSince = juce::Time::getMillisecondCounter();

            return done() && juce::Time::getMillisecondCounter() - restingSince > 300;
        }, 5000);
    }

    /** The details panel grown (in steps of its own timing) to the height its page wants. */
    void awaitDetailsHeight (RunningApp& running)
    {
        auto& details = running.content().getDataPage().getDetailsPanel();
        auto* holder = details.getParentComponent();
        auto* panels = holder != nullptr ? holder->getParentComponent() : nullptr;

        if (panels == nullptr || details.getCurrentContainer() == nullptr)
            return;

        // The panels slide to a new split (150 ms): the photo waits until they rest there.
        juce::Array<juce::Rectangle<int>> last;

        awaitRest (running, [&]
        {
            juce::Array<juce::Rectangle<int>> now;

            for (auto* panel : panels->getChildren())
                now.add (panel->getBounds());

            return std::exchange (last, now) != now;
        }, [&] { return details.getHeight() == juce::jmin (details.getCurrentContainerHeight(), panels->getHeight() * 3 / 5); });
    }

    void drawLastBox (RunningApp& running, juce::Image& photo, BVLookAndFeel&)
    {
        if (! running.boxes.empty())
            drawBox (running.boxes.back(), photo);
    }

    void download (RunningApp& running)
    {
        running.perform (CommandIDs::downloadDeviceData);
        running.waitFor ([&] { return ! running.content().getDataPage().isSyncNeeded(); });
        running.content().getTabs().setCurrentTabIndex (running.content().getPresetsTabIndex());
    }

    // The download of the unit's presets photographed half-way: the unit holds the request
    // for preset 15 until the photo is taken, so both scales show the same step.
    void midTransfer (RunningApp& running)
    {
        auto& unit = running.unit (0);
        unit.stallAtPresetRequest (15);
        running.content().getTabs().setCurrentTabIndex (running.content().getPresetsTabIndex());

        // The command is refused while the page is still busy with what came before.
        for (int tries = 0; tries < 15; ++tries)
        {
            running.perform (CommandIDs::downloadDeviceData);

            if (running.waitFor ([&] { return running.statusBar().totalSteps > 0; }, 2000))
                break;
        }

        // The download reaches the held request only with the message loop running:
        // a wait on the unit alone would hold both until its time-out.
        running.waitFor ([&] { return unit.waitForStalledSender (0); });
        running.drain();

        // The bar slides to its value at its own pace (slower than a busy machine
        // paints): the photo waits until it rests there.
        auto& bar = running.statusBar();
        juce::Image last;

        awaitRest (running, [&]
        {
            const auto shot = bar.createComponentSnapshot (bar.getProgressBarBounds(), false, 1.0f);
            bool same = last.isValid() && shot.getBounds() == last.getBounds();

            for (int y = 0; same && y < shot.getHeight(); ++y)
                for (int x = 0; same && x < shot.getWidth(); ++x)
                    same = shot.getPixelAt (x, y) == last.getPixelAt (x, y);

            last = shot;
            return ! same;
        });
    }

    void resumeTransfer (RunningApp& running, juce::Image&, BVLookAndFeel&)
    {
        running.unit (0).resumeReceiving();
    }

    // A unit that rejects its setup: the retries in the status bar, then the unit's error.
    void rejectedSetup (RunningApp& running)
    {
        download (running);
        SimulatedUnit::Faults rejecting;
        rejecting.setupWriteStatus = 0x7f;
        running.unit (0).setFaults (rejecting);
        running.perform (CommandIDs::restoreSetup);
        running.waitFor ([&] { return ! running.boxes.empty() && running.boxes.back().title != "Confirm Send Setup"; });
        running.drain();
        running.statusBar().setStatus (true, {}, {}, 0.5);
        running.statusBar().setStatusText ("MIDI transmission error on setup data  (retry 2)", true);
    }

    // A start whose server is slow: the status bar says so until the read ends.
    void connecting (RunningApp& running)
    {
        running.statusBar().setStatus (true, "Connecting", "Marrowell server", 1.0);
    }

    void presetsTab (RunningApp& running)
    {
        running.content().getTabs().setCurrentTabIndex (running.content().getPresetsTabIndex());
        running.drain();
    }

    // Two backups of the unit, one of them in a new group whose name is being edited.
    void backupsAndAGroup (RunningApp& running)
    {
        download (running);
        auto& browser = running.content().getDataPage().getBrowser();
        browser.backupDeviceData (true, true, true);
        browser.backupDeviceData (false, false, true);
        const auto backups = SourceTree::findNode (running.content().getDataPage().getRootTree(), SourceTreeIds::archiveCategory);
        browser.selectItemFor (backups.getChild (1));
        browser.createGroupFromSelected();
        running.drain();
    }

    // A backup made now beside one the user named earlier, whose ".mwd" has since gone.
    void backupDataMissing (RunningApp& running)
    {
        download (running);
        auto& page = running.content().getDataPage();
        page.getBrowser().backupDeviceData (true, true, true);

        const auto folder = TestEnvironment::getHome().getChildFile ("earlier backups");
        folder.createDirectory();
        const auto file = folder.getChildFile ("Before the show.xml");
        DeviceDataArchive (*page.getDeviceDataSet()->getWorkingData(), "Before the show", {}).save (file);
        file.withFileExtension ("mwd").deleteFile();

        if (auto backup = ArchiveFiles::load (file))
            SourceTree::findNode (page.getRootTree(), SourceTreeIds::archiveCategory).appendChild (SourceTree::addArchiveNode (std::move (backup)), nullptr);

        running.drain();
    }

    // The unit's workspace as its earlier firmware stored it, being converted: the script runs until the photo is taken.
    void convertingStoredWorkspace (RunningApp& running)
    {
        download (running);
        const auto script = juce::File (Belvora::getScriptFolder (0x12)).getChildFile ("vesper_preset_3_to_4.js");
        const auto folder = running.devices().getActiveDeviceDataFolder();   // none once disconnected
        running.content().connectToDevice (-1);
        ConversionTestData::makeDeviceData (DeviceProfiler::createCaps (*Nexus::getContentManager(), 0x12, 120)->caps, 120, { 1 })
            ->saveWorkingFile (folder, true);
        script.replaceWithText ("while (true) {}\n" + script.loadFileAsString());
        running.settings().setValue ("dataSyncMethod", "previous");
        running.content().connectToDevice (0);
        running.waitFor ([&] { return running.content().getDataPage().isConvertingWorkspace(); });
        presetsTab (running);
    }

    // A backup selected: the panels show it.
    void backupSelected (RunningApp& running)
    {
        download (running);
        auto& browser = running.content().getDataPage().getBrowser();
        browser.backupDeviceData (true, true, true);
        browser.selectItemFor (SourceTree::findNode (running.content().getDataPage().getRootTree(), SourceTreeIds::archiveCategory).getChild (0));
        running.drain();
    }
}

namespace
{
    /** The data page after a download, started at the other scale, then given the
        scale being rendered and a new window size: what its layout makes of both. */
    std::unique_ptr<juce::Component> dataPageRescaled (BVLookAndFeel& laf)
    {
        if (! TestEnvironment::hasDisplay())
            return needsADisplay();

        RunningApp::Options options;
        options.units = "0x12";
        options.settings.set ("uiScalingFactor", laf.getScale() > 1.5f ? "1.0" : "2.0");
        options.settings.set ("dataSyncMethod", "manual");
        RunningApp running (options);

        if (! running.start())
            return needsADisplay();

        download (running);
        auto& page = running.content().getDataPage();
        page.getDataViewPanel().getPresetContainer().setSelectedPresets ({ 2 });
        running.drain();

        page.setLookAndFeel (&laf);
        auto& window = running.window();
        window.setSize (window.getWidth() + Gallery::px (laf, 40.0f), window.getHeight() + Gallery::px (laf, 30.0f));
        running.drain();

        auto photo = page.createComponentSnapshot (page.getLocalBounds(), true, 1.0f);
        page.setLookAndFeel (nullptr);
        return pictureOf (photo);
    }
}

BELVORA_SCREEN ("Data page/After a scale change and a resize", dataPageRescaled);

namespace
{
    /** A unit whose product's files the server fails, after the scan at start-up. */
    std::unique_ptr<juce::Component> productInformationUnavailable (BVLookAndFeel& laf)
    {
        if (! TestEnvironment::hasDisplay())
            return needsADisplay();

        RunningApp::Options options;
        options.units = "0x12";
        options.settings.set ("uiScalingFactor", juce::String (laf.getScale()));
        options.settings.set ("dataSyncMethod", "manual");
        RunningApp running (options);

        for (auto* file : { "caps.xml", "images/vesper.png", "images/vesper_black.png", "firmware.xml", "rules.xml", "packs/vesper_presets.zip" })
            running.server.setAnswer (juce::String ("/Belvora2/Vesper/") + file, LocalServer::Answer::error (404));

        const juce::String title ("Product Information Unavailable");

        if (! running.start() || ! running.waitFor ([&] { return running.titles().contains (title); }))
            return needsADisplay();

        running.drain();
        running.statusBar().resetCounters();   // the activity lights idle at both scales, as in the other photos
        auto& window = running.window();
        Gallery::checkText (window);
        auto photo = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);

        for (auto& box : running.boxes)
            if (box.title == title)
                drawBox (box, photo);

        return pictureOf (photo);
    }
}

BELVORA_SCREEN ("Main window/A unit whose product information is unavailable", productInformationUnavailable);

Gallery::Maker AppPhotos::photograph (juce::String units, Scene scene, TouchUp touchUp)
{
    return [units, scene, touchUp] (BVLookAndFeel& laf) -> std::unique_ptr<juce::Component>
    {
        if (! TestEnvironment::hasDisplay())
            return needsADisplay();

        RunningApp::Options options;
        options.units = units;
        options.settings.set ("uiScalingFactor", juce::String (laf.getScale()));
        options.settings.set ("dataSyncMethod", "manual");
        RunningApp running (options);

        if (! running.start())
            return needsADisplay();

        running.drain();
        awaitContent (running);

        if (scene)
            scene (running);

        awaitDetailsHeight (running);

        // The activity lights flash with traffic of their own timing: both scales show them idle.
        running.statusBar().resetCounters();

        auto& window = running.window();
        Gallery::checkText (window);
        auto photo = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);

        if (touchUp)
            touchUp (running, photo, laf);

        return pictureOf (photo);
    };
}

using AppPhotos::photograph;

BELVORA_SCREEN ("Data page/Waiting for the first download", photograph ("0x12", presetsTab));
BELVORA_SCREEN ("Data page/Backups and a group being named", photograph ("0x12", backupsAndAGroup));
BELVORA_SCREEN ("Data page/A backup selected", photograph ("0x12", backupSelected));
BELVORA_SCREEN ("Data page/A backup whose data file is missing", photograph ("0x12", backupDataMissing));
BELVORA_SCREEN ("Data page/Converting a stored workspace", photograph ("0x12", convertingStoredWorkspace));
BELVORA_SCREEN ("Main window/Without a unit", photograph ("", {}, drawLastBox));
BELVORA_SCREEN ("Main window/Two units, the first connected", photograph ("2", {}));
BELVORA_SCREEN ("Main window/Connecting to the content server", photograph ("2", connecting));
BELVORA_SCREEN ("Main window/Presets tab after a download", photograph ("0x12", download));
BELVORA_SCREEN ("Main window/During a transfer", photograph ("0x12", midTransfer, resumeTransfer));
BELVORA_SCREEN ("Main window/Showing an error", photograph ("0x12", rejectedSetup, drawLastBox));
