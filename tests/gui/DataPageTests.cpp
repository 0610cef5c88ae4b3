// The data page in the running program with a simulated unit: the workspace
// filled by a download, backups made, deleted and brought back, what is sent
// to the unit, and the SysEx files written and read.

#include "DialogTestSupport.h"
#include "GridTestPage.h"
#include "RunningAppFixture.h"
#include "WidgetTestSupport.h"

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "archive/ArchiveFiles.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"
#include "conversion/ConversionTestData.h"
#include "devices/DeviceProfiler.h"
#include "gui/CommandDialogs.h"
#include "gui/CommandIDs.h"
#include "gui/Palette.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/DataPanels.h"
#include "gui/datapage/SourceTreeItem.h"
#include "gui/dialogs/DeviceInfoDialog.h"
#include "model/SourceTree.h"
#include "model/SysEx.h"
#include "support/FileSizeLimit.h"
#include "support/OddFiles.h"
#include "support/SlowDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <thread>

using namespace SourceTreeIds;

namespace
{
    class DataPageTest : public testing::Test
    {
    protected:
        /** One unit, its data downloaded into the workspace. */
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            RunningApp::Options options;
            options.units = "0x12";
            options.settings.set ("dataSyncMethod", "manual");
            running = std::make_unique<RunningApp> (options);
            ASSERT_TRUE (running->start());
            ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr; }));
            EXPECT_TRUE (page().getSyncButton().isVisible());
            EXPECT_EQ (page().getWorkspaceLabel(), "<need to sync>");

            running->perform (CommandIDs::downloadDeviceData);
            ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
        }

        void TearDown() override   { running.reset(); }

        DataPage& page()                  { return running->content().getDataPage(); }
        SourceDataBrowser& browser()      { return page().getBrowser(); }
        DeviceData& workspace()           { return *page().getDeviceDataSet()->getWorkingData(); }
        juce::ValueTree backups()         { return SourceTree::findChildWithCategory (page().getRootTree(), archiveCategory); }

        juce::ValueTree addBackup (juce::ValueTree parent, const DeviceData& data, const juce::String& title)
        {
            auto node = SourceTree::addArchiveNode (std::make_unique<DeviceDataArchive> (data, title, juce::String()));
            parent.appendChild (node, nullptr);
            return node;
        }

        void select (const juce::Array<juce::ValueTree>& nodes)
        {
            for (int i = 0; i < nodes.size(); ++i)
                if (auto* row = browser().findItemFor (browser().getRootItem(), nodes[i]))
                    row->setSelected (true, i == 0, juce::sendNotification);
        }

        juce::Array<int> userSlots()
        {
            return workspace().getUsedPresetIndicesInRange (1, workspace().getNumSlots() - 1);
        }

        std::unique_ptr<RunningApp> running;
    };

    bool filesExist (const juce::ValueTree& node)
    {
        const auto* backup = SourceTree::getArchive (node);
        return backup != nullptr && backup->getArchiveFile().existsAsFile() && backup->getDataFile().existsAsFile();
    }

    /** Both files out of the backup folder, waiting among the deleted ones. */
    bool filesAside (const juce::ValueTree& node, const juce::File& deletedFolder)
    {
        const auto* backup = SourceTree::getArchive (node);
        return backup != nullptr && ! backup->getArchiveFile().exists() && ! backup->getDataFile().exists()
            && deletedFolder.getChildFile (backup->getArchiveFile().getFileName()).existsAsFile()
            && deletedFolder.getChildFile (backup->getDataFile().getFileName()).existsAsFile();
    }
}

//==============================================================================
TEST_F (DataPageTest, DownloadFillsTheWorkspaceShownInTheGrid)
{
    EXPECT_FALSE (page().getSyncButton().isVisible());
    EXPECT_EQ (page().getWorkspaceLabel(), "Presets and Setup");
    EXPECT_EQ (page().getDeviceNode()[label].toString(), "Presets and Setup");
    EXPECT_EQ (page().getViewKind(), DataPage::viewPresetGrid);
    EXPECT_EQ (page().getSelectedSource(), page().getDeviceNode());
    EXPECT_GT (userSlots().size(), 0);
    EXPECT_TRUE (workspace().getSetup().isComplete());
    EXPECT_FALSE (page().getDeviceDataSet()->isModified());

    // The workspace's row tells the unit's presets against its slots.
    auto* row = browser().getTreeView().findRow (page().getDeviceNode());
    ASSERT_NE (row, nullptr);
    EXPECT_TRUE (row->getPresetCountText().startsWith ("Presets: " + juce::String (userSlots().size()) + "/"));

    // A group selected shows tiles; the toolbar follows what is shown.
    select ({ backups() });
    EXPECT_EQ (page().getViewKind(), DataPage::viewGroupTiles);
    EXPECT_FALSE (page().isToolbarItemEnabled (DataPage::exportItem));
    select ({ page().getDeviceNode() });
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::exportItem));

    // Backups named alike are told apart in the panel's header as in the lists.
    auto first = addBackup (backups(), *workspace().clone (false), "Twin");
    auto second = addBackup (backups(), *workspace().clone (false), "Twin");
    select ({ second });
    EXPECT_EQ (page().getViewTitle(), "Twin - 2");
    select ({ first });
    EXPECT_EQ (page().getViewTitle(), "Twin");
}

TEST_F (DataPageTest, TheGridFillsPresetByPresetWhileTheDownloadRuns)
{
    // The unit stops taking requests once the page has shown its third preset:
    // the download is held half-way, whatever the speed of either side.
    struct StallAtThirdPreset : BelvoraChangeListener
    {
        explicit StallAtThirdPreset (SimulatedUnit& u) : unit (u) {}

        void changeNotify (const ChangeInfo& info) override
        {
            if (info.kind == ChangeInfo::notification && info.message.code == DeviceInfoMessage::presetRead && ++seen == 3)
                unit.stallReceiving();
        }

        SimulatedUnit& unit;
        int seen = 0;
    } stall (running->unit (0));

    SimulatedUnit::Faults slow;
    slow.replyDelayMs = 200;
    running->unit (0).setFaults (slow);
    running->content().addChangeListener (&stall);
    const auto unitBefore = page().getDeviceDataSet()->getLiveData();

    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return stall.seen >= 3; }));
    ASSERT_TRUE (running->unit (0).waitForStalledSender (30000));
    running->drain();

    EXPECT_TRUE (page().isBusy()) << "the download has not ended";
    EXPECT_EQ (page().getViewKind(), DataPage::viewPresetGrid);
    EXPECT_EQ (page().getDeviceDataSet()->getLiveData(), unitBefore) << "the unit's data is only taken at the end";
    const auto arrived = userSlots();
    ASSERT_GE (arrived.size(), 3);

    auto& grid = page().getDataViewPanel().getPresetContainer();

    for (auto slot : arrived)
    {
        ASSERT_NE (grid.getButton (slot), nullptr);
        EXPECT_TRUE (grid.getButton (slot)->getButtonText().endsWith (workspace().getPreset (slot)->getName())) << "slot " << slot;
        EXPECT_EQ (workspace().getPreset (slot)->getName(), running->unit (0).getPreset (slot)->getName());
        EXPECT_FALSE (workspace().isPresetModified (slot));
    }

    running->content().removeChangeListener (&stall);
    running->unit (0).setFaults ({});
    running->unit (0).resumeReceiving();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy(); }));
    EXPECT_GT (userSlots().size(), arrived.size()) << "more came after the hold";
    EXPECT_FALSE (page().getDeviceDataSet()->isModified());
}

TEST_F (DataPageTest, DeletedBackupsKeepTheirFilesWhileAnUndoCanBringThemBack)
{
    auto& undo = page().getUndoManager();
    browser().backupDeviceData (true, true, true);
    browser().backupDeviceData (false, false, true);
    ASSERT_EQ (backups().getNumChildren(), 2);

    const auto all = backups().getChild (0);
    const auto user = backups().getChild (1);
    EXPECT_TRUE (all[label].toString().endsWith (" (All)"));
    EXPECT_TRUE (user[label].toString().endsWith (" (User)"));

    // The second goes into a group; the index writes both files of each backup.
    select ({ user });
    browser().createGroupFromSelected();
    const auto group = user.getParent();
    ASSERT_TRUE (group.hasType (SourceTreeIds::group));
    ASSERT_TRUE (page().getArchiveManager()->saveBackupIndexInBackground());
    page().getArchiveManager()->waitForBackgroundSaves();
    ASSERT_TRUE (filesExist (all));
    ASSERT_TRUE (filesExist (user));

    // Out of the folder at once, so that no kill brings it back; kept aside for an undo.
    const auto deletedFolder = page().getArchiveManager()->getDeletedFolder();
    select ({ all });
    browser().deleteSelected();
    EXPECT_FALSE (all.isAChildOf (page().getRootTree()));
    page().getArchiveManager()->waitForBackgroundSaves();
    EXPECT_TRUE (filesAside (all, deletedFolder)) << "the delete can still be undone";

    undo.undo();
    EXPECT_TRUE (all.isAChildOf (page().getRootTree()));
    ASSERT_TRUE (running->drain());
    page().getArchiveManager()->waitForBackgroundSaves();
    EXPECT_TRUE (filesExist (all));

    // The group goes with the backup inside it; closing the sources ends the undo history.
    const auto allFile = SourceTree::getArchive (all)->getDataFile();
    const auto userFile = SourceTree::getArchive (user)->getDataFile();
    select ({ all, group });
    browser().deleteSelected();
    page().getArchiveManager()->waitForBackgroundSaves();
    EXPECT_TRUE (filesAside (all, deletedFolder));

    page().closeSources (true, false);
    EXPECT_FALSE (deletedFolder.exists()) << "closing empties the deleted backups' folder";
    EXPECT_FALSE (allFile.existsAsFile());
    EXPECT_FALSE (userFile.existsAsFile()) << "a deleted group takes its backups' files along";
    EXPECT_FALSE (allFile.withFileExtension ("xml").existsAsFile());
}

TEST_F (DataPageTest, EveryChangeOfTheBackupsAndTheWorkspaceReachesTheDiskWithoutClosing)
{
    const auto indexFile = page().getArchiveManager()->getIndexFile();
    const auto indexText = [&] { return indexFile.loadFileAsString(); };

    // The change's message has ended and the writes it handed over are done.
    const auto written = [&] { return running->drain() && (page().getArchiveManager()->waitForBackgroundSaves(), true); };

    // Made: the index names it and both files are there once the message has ended.
    browser().backupDeviceData (true, true, true);
    const auto made = backups().getChild (0);
    ASSERT_TRUE (written());
    ASSERT_TRUE (filesExist (made));
    const auto entry = SourceTree::getArchive (made)->getArchiveFile();
    EXPECT_TRUE (indexText().contains (entry.getFullPathName()));

    // Renamed, grouped, deleted: each is written as it happens; the deleted files stay for an undo.
    page().setArchiveItemTitle (made, "Mine", true, true);
    ASSERT_TRUE (written());
    EXPECT_TRUE (entry.loadFileAsString().contains ("Mine"));

    // A description typed into the details is written once it is left, like a title.
    select ({ made });
    ASSERT_EQ (page().getDetailsItem(), made);
    auto& details = page().getDetailsPanel().getDataSetContainer();
    details.getDescriptionEditor().setText ("Sung at dawn", false);
    details.commitEdit (details.getDescriptionEditor());
    ASSERT_TRUE (written());
    EXPECT_TRUE (entry.loadFileAsString().contains ("Sung at dawn"));

    select ({ made });
    browser().createGroupFromSelected();
    ASSERT_TRUE (written());
    EXPECT_TRUE (indexText().contains ("<group name="));

    select ({ made.getParent() });
    browser().deleteSelected();
    ASSERT_TRUE (written());
    EXPECT_FALSE (indexText().contains (entry.getFullPathName()));
    EXPECT_TRUE (filesAside (made, page().getArchiveManager()->getDeletedFolder()));

    // The workspace: a rename is in its file a moment later, while the sources stay open.
    const auto slot = userSlots().getFirst();
    const auto workingFile = juce::File (running->devices().getActiveDeviceDataFolder()).getChildFile ("working.mwd");
    page().renamePresets (page().getDeviceNode(), { slot }, "Kept", true, true);
    EXPECT_TRUE (running->waitFor ([&]
    {
        const auto stored = DeviceData::loadFromFile (workingFile);
        return stored != nullptr && stored->isPresetSlotUsed (slot) && stored->getPreset (slot)->getName() == "Kept";
    }));
    EXPECT_NE (page().getDeviceDataSet(), nullptr);

    // Ended as Ctrl+C ends it, with no quit asked for first: the last edit is on disk too.
    page().renamePresets (page().getDeviceNode(), { slot }, "Last", true, true);
    running.reset();
    const auto stored = DeviceData::loadFromFile (workingFile);
    ASSERT_NE (stored, nullptr);
    EXPECT_EQ (stored->getPreset (slot)->getName(), "Last");
}

// A disk that stalls on the unit's files and the settings: the window answers while a save is
// held, at a download's end and at a close too, and what was asked is written in order.
TEST_F (DataPageTest, TheWindowAnswersWhileTheDiskHoldsASave)
{
    const juce::File folder (running->devices().getActiveDeviceDataFolder());
    const auto slot = userSlots().getFirst();
    const auto unitsName = workspace().getPreset (slot)->getName();
    const auto storedName = [&] (const char* name)
    {
        const auto stored = DeviceData::loadFromFile (folder.getChildFile (name));
        return stored != nullptr && stored->isPresetSlotUsed (slot) ? stored->getPreset (slot)->getName() : juce::String();
    };

    {
        // An edit's save is held, then a download ends: its data is written after that save,
        // and the page takes it once it is on disk.
        SlowDisk disk ({ "working.mwd", "sync.mwd" });
        page().renamePresets (page().getDeviceNode(), { slot }, "Held", true, true);
        page().saveWorkspace();
        ASSERT_TRUE (running->waitFor ([&] { return disk.heldCount() > 0; }));
        const auto before = page().getDeviceDataSet()->getLiveData();
        running->perform (CommandIDs::downloadDeviceData);
        ASSERT_TRUE (running->waitFor ([&]
        {
            const auto live = page().getDeviceDataSet()->getLiveData();
            return live != before && live == running->devices().getActiveDeviceData();
        }));
        EXPECT_TRUE (page().isBusy());
        EXPECT_TRUE (SlowDisk::answeredWhileHeld (disk.postAnswer())) << "the message thread waited for the disk";
    }

    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy() && ! page().isSyncNeeded(); }));
    EXPECT_EQ (storedName ("sync.mwd"), unitsName);
    EXPECT_EQ (workspace().getPreset (slot)->getName(), unitsName);
    EXPECT_TRUE (running->waitFor ([&] { return storedName ("working.mwd") == unitsName; })) << "the last state wins";

    // A close while the workspace and the settings are held a second: the window answers, and the
    // close sleeps until the writes tell it they ended, waking at most 50 times a second on its own
    // (beyond what the running program wakes for, measured first).
    const auto wakeUps = []
    {
        std::ifstream status ("/proc/thread-self/status");
        std::string line;
        while (std::getline (status, line) && line.rfind ("voluntary_ctxt_switches:", 0) != 0) {}
        return line.empty() ? 0L : std::stol (line.substr (24));
    };
    const auto perSecond = [&] (const std::function<void()>& run)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        const auto before = wakeUps();
        run();
        return (double) (wakeUps() - before) * 1000.0 / (juce::Time::getMillisecondCounterHiRes() - start);
    };
    const auto idle = perSecond ([] { juce::MessageManager::getInstance()->runDispatchLoopUntil (1000); });
    SlowDisk disk ({ "working.mwd", "Belvora 2.settings" });
    page().renamePresets (page().getDeviceNode(), { slot }, "Closed", true, true);
    running->settings().setValue ("exportFolder", "/closed");
    const auto answer = disk.postAnswer (false);
    std::thread letGo ([&disk] { while (disk.heldCount() == 0) std::this_thread::sleep_for (std::chrono::milliseconds (5));
                                 std::this_thread::sleep_for (std::chrono::seconds (1)); disk.letGo(); });
    const auto closing = perSecond ([&] { page().closeSources (true, false); });
    letGo.join();
    EXPECT_TRUE (SlowDisk::answeredWhileHeld (answer)) << "the close waited for the disk";
    EXPECT_LE (closing, idle + 60.0) << "wake-ups a second while the close waited";
    EXPECT_EQ (storedName ("working.mwd"), "Closed");
    EXPECT_TRUE (running->settings().getFile().loadFileAsString().contains ("/closed"));
}

// Ended as Ctrl+C ends it while a backup is dragged, a title typed, a menu and
// a dialog open: the title typed is kept, and no window of the program outlives it.
TEST_F (DataPageTest, AQuitInTheMiddleOfADragARenameAMenuAndADialogKeepsTheTitleAndLeavesNoWindow)
{
    browser().backupDeviceData (true, true, true);
    const auto made = backups().getChild (0);
    ASSERT_TRUE (running->drain());
    page().getArchiveManager()->waitForBackgroundSaves();
    const auto entry = SourceTree::getArchive (made)->getArchiveFile();
    ASSERT_TRUE (entry.existsAsFile());

    // A second backup dragged with the mouse, its button still held.
    browser().backupDeviceData (false, false, true);
    const auto dragged = backups().getChild (1);
    running->content().getTabs().setCurrentTabIndex (running->content().getPresetsTabIndex());
    ASSERT_TRUE (running->waitFor ([&] { return page().isShowing(); }));
    auto& window = running->window();
    const auto area = browser().getTreeView().findRow (dragged)->getItemPosition (true);
    const auto from = window.getLocalPoint (&browser().getTreeView(), area.getCentre()), to = from + juce::Point<int> (0, 60);
    const auto mouse = [&] (juce::Point<int> p, juce::ModifierKeys mods)
    {
        juce::ModifierKeys::currentModifiers = mods;
        window.getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, p.toFloat(), mods, juce::MouseInputSource::defaultPressure,
                                            juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
    };

    mouse (from, {});
    for (int i = 0; i <= 12; ++i)
        mouse (from + (to - from) * i / 12, juce::ModifierKeys::leftButtonModifier);

    ASSERT_TRUE (page().isDragAndDropActive());

    // The first backup's menu (a right click on the browser), then a dialog that runs no loop of its own.
    select ({ made });
    const juce::Point<float> at (20.0f, 40.0f);
    const auto now = juce::Time::getCurrentTime();
    browser().mouseUp (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), at, juce::ModifierKeys::rightButtonModifier,
                                         0.0f, 0.0f, 0.0f, 0.0f, 0.0f, &browser(), &browser(), now, at, now, 1, false));
    BelvoraDialog::launch (std::make_unique<DeviceInfoDialog> ("Vesper", FirmwareVersion(), ManufactureDate(), 77));
    ASSERT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 2);

    // Typed, neither confirmed nor left.
    browser().showRenameEditor (made, true);
    browser().getRenameEditor().setText ("Typed before the quit");
    running.reset();
    juce::ModifierKeys::currentModifiers = {};

    EXPECT_TRUE (entry.loadFileAsString().contains ("Typed before the quit"));
    EXPECT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 0);

    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        ADD_FAILURE() << "left on the screen: \"" << juce::Desktop::getInstance().getComponent (i)->getName() << "\"";

    EXPECT_TRUE (TestEnvironment::drainMessages());
}

// Tab moves through the window's controls; keys after a pop-up menu go where
// the user left them: a swap chosen from the drop menu is undone by Ctrl+Z, and
// the editor a backup's "Rename" opens takes the name typed next, the old one
// selected to be typed over.
TEST_F (DataPageTest, KeysAfterAMenuReachThePageAndTheEditorItOpened)
{
    using namespace DialogTests;
    const auto ctrl = juce::ModifierKeys::ctrlModifier;

    // Tab goes through the window's controls from the start (the help and options
    // buttons, the toolbar, the unit tiles), each ringed while it has the focus:
    // none is a stop that shows nothing.
    ASSERT_TRUE (running->waitFor ([&] { return running->window().getPeer()->isFocused(); }));
    juce::Array<juce::Component*> visited;
    std::map<juce::Component*, int> ringWhileFocused;
    const auto ringPixels = [] (juce::Component& c)
    {
        return WidgetTests::countPixels (WidgetTests::snapshot (c), c.getLocalBounds(), WidgetTests::hue (Palette::focusRingColour, 3));
    };

    for (int i = 0; i < 6; ++i)
    {
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
        auto* focused = juce::Component::getCurrentlyFocusedComponent();
        ASSERT_NE (focused, nullptr);
        visited.addIfNotAlreadyThere (focused);
        ringWhileFocused[focused] = ringPixels (*focused);
    }

    EXPECT_GE (visited.size(), 3) << "six Tabs moved the focus";
    juce::Component::unfocusAllComponents();

    for (auto* c : visited)
        EXPECT_GT (ringWhileFocused[c], ringPixels (*c)) << typeid (*c).name() << " \"" << c->getName() << "\" shows no focus";

    // With nothing focused (the control that had the focus went away), Tab brings the focus back in.
    juce::Component::unfocusAllComponents();
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::tabKey)));
    auto* focused = juce::Component::getCurrentlyFocusedComponent();
    EXPECT_TRUE (focused != nullptr && running->window().isParentOf (focused)) << "Tab with nothing focused";

    // The pages turned by keys, round the ends both ways, each shown with the focus on it.
    auto& tabs = running->content().getTabs();
    juce::StringArray shown;

    for (auto key : { juce::KeyPress (juce::KeyPress::tabKey, ctrl, 0), juce::KeyPress (juce::KeyPress::pageDownKey, ctrl, 0),
                      juce::KeyPress (juce::KeyPress::tabKey, ctrl | juce::ModifierKeys::shiftModifier, 0) })
        if (pressKey (key) && tabs.getCurrentContentComponent()->isParentOf (juce::Component::getCurrentlyFocusedComponent()))
            shown.add (tabs.getCurrentTabName());

    ASSERT_EQ (shown, juce::StringArray ({ "Presets", "Devices", "Presets" }));

    // Space on the options button and Escape in Options, by X keys, give the focus back to the button, from where
    // Tab goes on: without a window manager the system's focus came back late and put it on the window.
    auto& options = running->content().getOptionsButton();
    options.grabKeyboardFocus();
    WhenUp escape ("Options", [] (juce::Component&) { return keyOnScreen ("Escape"); });
    ASSERT_TRUE (keyOnScreen ("space") && running->waitFor ([&] { return escape.done && options.hasKeyboardFocus (false) && options.getPeer()->isFocused(); }));
    ASSERT_TRUE (keyOnScreen ("Tab") && running->waitFor ([&] { return running->content().getHelpButton().hasKeyboardFocus (false); }));

    // Once round the presets page, a preset's steps in the details: each stop but a text box (its caret
    // shows) wears its ring, and none lies inside another, which would show the same ring twice.
    page().getDataViewPanel().getPresetContainer().setSelectedPresets ({ 5 });
    juce::Array<juce::Component*> stops;
    const auto ringAround = [&] (juce::Component& c)
    {
        auto& window = running->window();
        const auto area = window.getLocalArea (&c, c.getLocalBounds()).expanded (2).getIntersection (window.getLocalBounds());
        return WidgetTests::countPixels (window.createComponentSnapshot (area, true, 1.0f), area.withZeroOrigin(),
                                         WidgetTests::hue (Palette::focusRingColour, 3));
    };

    while (pressKey (juce::KeyPress (juce::KeyPress::tabKey)) && stops.size() < 40
           && stops.addIfNotAlreadyThere (juce::Component::getCurrentlyFocusedComponent()))
        EXPECT_TRUE (dynamic_cast<juce::TextEditor*> (stops.getLast()) != nullptr || ringAround (*stops.getLast()) > 0) << typeid (*stops.getLast()).name() << " \"" << stops.getLast()->getName() << "\" shows no focus";

    EXPECT_TRUE (std::any_of (stops.begin(), stops.end(), [] (auto* c) { return dynamic_cast<StepButton*> (c) != nullptr; }));

    for (auto* outer : stops)
        for (auto* inner : stops)
            EXPECT_FALSE (outer != nullptr && outer->isParentOf (inner)) << typeid (*inner).name() << " is a stop inside another";

    auto& grid = page().getDataViewPanel().getPresetContainer();
    ASSERT_TRUE (grid.isShowing());
    ASSERT_TRUE (workspace().isPresetSlotUsed (5) && workspace().isPresetSlotUsed (6));
    const auto names = workspace().getPresetNames ({ 5, 6 });
    const auto centreOf = [&] (int slot) { return grid.getLocalPoint (grid.getButton (slot), grid.getButton (slot)->getLocalBounds().getCentre()); };

    // Cell 5 dragged onto cell 6, "Swap" chosen in the menu the drop opens.
    mouseAt (grid, centreOf (5), juce::ModifierKeys::leftButtonModifier);
    auto* peer = grid.getPeer();
    const auto send = [&] (juce::Point<int> p, juce::ModifierKeys mods)
    {
        juce::ModifierKeys::currentModifiers = mods;
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, peer->getComponent().getLocalPoint (&grid, p).toFloat(), mods,
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
    };

    send (centreOf (5), juce::ModifierKeys::leftButtonModifier);
    for (int i = 1; i <= 12; ++i)
        send (centreOf (5) + (centreOf (6) - centreOf (5)) * i / 12, juce::ModifierKeys::leftButtonModifier);
    send (centreOf (6), {});
    ASSERT_TRUE (chooseFromMenu ("Swap"));
    ASSERT_TRUE (running->waitFor ([&] { return workspace().getPresetNames ({ 5, 6 }) == juce::StringArray (names[1], names[0]); }));

    const auto keysReach = [] (juce::Component& c)
    {
        auto* now = juce::Component::getCurrentlyFocusedComponent();
        return now != nullptr && (now == &c || c.isParentOf (now)) && now->getPeer()->isFocused();
    };

    ASSERT_TRUE (running->waitFor ([&] { return keysReach (page()); }, 5000)) << "keys after the menu reach the page";
    ASSERT_TRUE (pressKey (juce::KeyPress ('z', ctrl, 0)));
    EXPECT_EQ (workspace().getPresetNames ({ 5, 6 }), names) << "Ctrl+Z undid the swap";

    // The selection's menu by the Menu key (as the X server sends it), through a submenu by the arrows.
    page().focusWorkspace();
    grid.setSelectedPresets ({ 5 });
    ASSERT_TRUE (pressKey (juce::KeyPress ('c', ctrl, 0)));
    grid.setSelectedPresets ({ 6 });
    ASSERT_TRUE (keyOnScreen ("Menu") && running->waitFor ([] { return menuItem ("Paste Special") != nullptr; }));
    ASSERT_TRUE (pickFromMenuByKeys ("Paste Special", juce::KeyPress::rightKey) && pickFromMenuByKeys ("Paste to Selected"));
    EXPECT_EQ (workspace().getPresetNames ({ 6 }), juce::StringArray (names[0]));

    // Return on Redo greys it out: the focus goes on to Undo beside it, where the next Return undoes again.
    ASSERT_TRUE (pressKey (juce::KeyPress ('z', ctrl, 0)) && workspace().getPresetNames ({ 6 }) == juce::StringArray (names[1]));
    auto* redo = toolbarItem (page().getToolbar(), DataPage::redoItem);
    ASSERT_TRUE (redo != nullptr && running->waitFor ([&] { return redo->isEnabled(); }));
    redo->grabKeyboardFocus();
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (workspace().getPresetNames ({ 6 }), juce::StringArray (names[0]));
    ASSERT_TRUE (running->waitFor ([&] { return toolbarItem (page().getToolbar(), DataPage::undoItem)->hasKeyboardFocus (false); }, 5000)) << "the focus went on to Undo";
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (workspace().getPresetNames ({ 6 }), juce::StringArray (names[1]));

    // Ctrl+F finds presets from the window's other controls too.
    WhenUp escapeFind ("Find Preset", [] (juce::Component&) { return pressKey (juce::KeyPress (juce::KeyPress::escapeKey)); });
    options.grabKeyboardFocus();
    ASSERT_TRUE (pressKey (juce::KeyPress ('f', ctrl, 0)) && running->waitFor ([&] { return escapeFind.done; }, 5000)) << "Find from the options button";

    // A backup renamed from its menu by keys alone.
    browser().backupDeviceData (true, true, true);
    const auto made = backups().getChild (0);
    ASSERT_TRUE (running->drain());
    auto& tree = browser().getTreeView();
    ASSERT_TRUE (running->waitFor ([&] { return tree.findRow (made) != nullptr; }));
    const auto row = tree.findRow (made)->getItemPosition (true).getCentre();
    mouseAt (tree, row, juce::ModifierKeys::leftButtonModifier);
    mouseAt (tree, row, juce::ModifierKeys::rightButtonModifier);
    ASSERT_TRUE (chooseFromMenu ("Rename"));

    auto& editor = browser().getRenameEditor();
    ASSERT_TRUE (running->waitFor ([&] { return keysReach (editor); }, 5000)) << "the editor has the focus";
    EXPECT_EQ (editor.getHighlightedText(), made[label].toString());
    ASSERT_TRUE (pressKey (juce::KeyPress ('a', ctrl, 0)));
    EXPECT_TRUE (grid.getSelectedPresets().size() <= 1) << "Ctrl+A selected the text, not the grid";
    ASSERT_TRUE (typeText ("Renamed by keys"));
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (made[label].toString(), "Renamed by keys");

    // Its menu by Shift+F10 beside the row, closed by Escape; "Rename" from it, then F2, take the name typed next.
    const auto shiftF10 = juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0);
    ASSERT_TRUE (pressKey (shiftF10) && menuItem ("Rename") != nullptr);
    EXPECT_TRUE (menuItem ("Rename")->getTopLevelComponent()->getScreenBounds().expanded (2).intersects (tree.localAreaToGlobal (tree.findRow (made)->getItemPosition (true))));
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::escapeKey)) && menuItem ("Rename") == nullptr);

    for (auto name : { "By its menu", "By F2" })
    {
        ASSERT_TRUE (running->waitFor ([&] { return keysReach (tree); }));
        ASSERT_TRUE (juce::String (name) == "By F2" ? pressKey (juce::KeyPress (juce::KeyPress::F2Key)) : pressKey (shiftF10) && pickFromMenuByKeys ("Rename"));
        ASSERT_TRUE (running->waitFor ([&] { return keysReach (editor); }, 5000));
        EXPECT_EQ (editor.getHighlightedText(), made[label].toString());
        ASSERT_TRUE (typeText (name) && pressKey (juce::KeyPress (juce::KeyPress::returnKey)));
        EXPECT_EQ (made[label].toString(), name);
    }

    // A transfer from the unit's menu greys the page out: the focus comes back to the tree after it.
    select ({ page().getDeviceNode() });
    ASSERT_TRUE (running->waitFor ([&] { return keysReach (tree); }));
    ASSERT_TRUE (pressKey (shiftF10) && pickFromMenuByKeys ("Get Preset and Setup Data From Vesper"));
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy() && page().isEnabled(); }));
    EXPECT_TRUE (running->waitFor ([&] { return keysReach (tree); }, 5000)) << "the focus is back on the tree";
}

TEST_F (DataPageTest, BackupsConvertBehindTheirWindowAndNothingMadeMeanwhileIsLost)
{
    auto* content = Nexus::getContentManager();
    const auto unitCaps = page().getCaps()->caps;
    ASSERT_EQ (unitCaps.presetVersion, 4) << "the sample unit converts from build 120's format";

    // An old-format backup whose conversion script loops until stopped, in the index beside the unit's set.
    const auto script = juce::File (Belvora::getScriptFolder (0x12)).getChildFile ("vesper_preset_3_to_4.js");
    ASSERT_TRUE (script.existsAsFile());
    ASSERT_TRUE (script.replaceWithText ("var i = 0; while (true) { ++i; }\n" + script.loadFileAsString()));

    const auto oldCaps = DeviceProfiler::createCaps (*content, 0x12, 120)->caps;
    auto* manager = page().getArchiveManager();
    const auto old = manager->getBackupFolder().getChildFile ("old.xml");
    const auto indexFile = manager->getIndexFile();
    running->content().connectToDevice (-1);

    ASSERT_TRUE (old.getParentDirectory().createDirectory());
    ASSERT_TRUE (DeviceDataArchive (*ConversionTestData::makeDeviceData (oldCaps, 120, { 1 }), "Old", "").save (old));
    ASSERT_TRUE (indexFile.replaceWithText ("<BACKUP nextFileNum=\"5\"><set presetVersion=\"3\" setupVersion=\"2\"><group><archive>"
                                            + old.getFullPathName() + "</archive></group></set></BACKUP>"));

    // Asked on connecting; "Yes" starts the conversion behind its window.
    running->answers["Mismatched Backup Data Found"] = 0;
    running->content().connectToDevice (0);
    const auto modalTitle = [] { auto* c = juce::ModalComponentManager::getInstance()->getModalComponent (0); return c != nullptr ? c->getName() : juce::String(); };
    ASSERT_TRUE (running->waitFor ([&] { return modalTitle() == "Converting Data"; }));
    manager = page().getArchiveManager();
    ASSERT_TRUE (manager->isConverting());
    EXPECT_EQ (backups().getNumChildren(), 0) << "the category is empty while the backups convert";

    // Something that still reaches the page meanwhile: a new backup, kept through the conversion's end.
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
    browser().backupDeviceData (true, true, true);
    ASSERT_EQ (backups().getNumChildren(), 1);

    manager->stopConversion();
    ASSERT_TRUE (running->waitFor ([&] { return modalTitle().isEmpty() && ! manager->isConverting(); }));
    running->drain();

    EXPECT_EQ (backups(), manager->getTree()) << "the page shows the manager's tree after the end";
    ASSERT_EQ (backups().getNumChildren(), 1);
    const auto kept = SourceTree::getArchive (backups().getChild (0));
    ASSERT_NE (kept, nullptr);
    EXPECT_TRUE (kept->getArchiveFile().existsAsFile());
    EXPECT_TRUE (indexFile.loadFileAsString().contains (kept->getArchiveFile().getFullPathName()));
    EXPECT_TRUE (indexFile.loadFileAsString().contains (old.getFullPathName())) << "the old one keeps its place";
}

TEST_F (DataPageTest, DataPreparedForTheUnitIsNeverKeptForALaterSend)
{
    const auto slot = userSlots().getFirst();
    auto data = workspace().createCopy ({ slot }, false, false);
    data->getPreset (slot)->setName ("Sent");

    page().sendDataToDevice (std::move (data), false);
    EXPECT_EQ (page().getPendingSendData(), nullptr);
    ASSERT_TRUE (running->waitFor ([&] { return workspace().getPreset (slot)->getName() == "Sent"; }));
    EXPECT_EQ (page().getDeviceDataSet()->getLiveData()->getPreset (slot)->getName(), "Sent") << "what was sent is the unit's now";
    EXPECT_FALSE (page().getDeviceDataSet()->isModified());

    // A send that cannot run leaves nothing behind either.
    page().closeSources (false, false);
    page().sendDataToDevice (running->devices().getActiveDeviceData()->clone (false), false);
    EXPECT_EQ (page().getPendingSendData(), nullptr);
}

// A disk that cannot take the saves: told when it happens, once for a run of
// failures, and when it is over; a close asks before it goes without them.
TEST_F (DataPageTest, AFailedSaveIsToldWhenItFailsAndClosingAsksToTryAgain)
{
    // A file where the unit's folder should be: neither workspace file can be written.
    const juce::File folder (running->devices().getActiveDeviceDataFolder());
    const auto block = [&] { return folder.deleteRecursively() && folder.replaceWithText ("in the way"); };
    const auto unblock = [&] { return folder.deleteFile() && folder.createDirectory(); };
    const auto count = [&] (const juce::String& title)
    {
        const auto titles = running->titles();
        return (int) std::count (titles.begin(), titles.end(), title);
    };
    const auto slot = userSlots().getFirst();
    const auto rename = [&] (const juce::String& name)
    {
        page().renamePresets (page().getDeviceNode(), { slot }, name, true, true);
        page().saveWorkspace();
        page().waitForWorkspaceSaves();
        return running->drain();
    };
    const auto storedName = [&]
    {
        const auto stored = DeviceData::loadFromFile (folder.getChildFile ("working.mwd"));
        return stored != nullptr && stored->isPresetSlotUsed (slot) ? stored->getPreset (slot)->getName() : juce::String();
    };

    ASSERT_TRUE (block());
    ASSERT_TRUE (rename ("First"));
    ASSERT_TRUE (running->waitFor ([&] { return count ("File Error") == 1; }));
    EXPECT_TRUE (running->boxes.back().message.contains ("the workspace of " + page().getDeviceName()));
    ASSERT_TRUE (rename ("Second"));
    EXPECT_EQ (count ("File Error"), 1) << "one box for the failing run, not one per edit";

    // Room again, and the next save is a backup's (the edits' own save has
    // failed too): the workspace is written with it, and only then is "Saved"
    // told, once.
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isWorkspaceSaveDue(); }));
    page().waitForWorkspaceSaves();
    ASSERT_TRUE (running->drain());
    ASSERT_EQ (count ("Saved"), 0);
    ASSERT_TRUE (unblock());
    browser().backupDeviceData (false, false, true);
    ASSERT_TRUE (running->drain());
    page().getArchiveManager()->waitForBackgroundSaves();
    page().waitForWorkspaceSaves();
    ASSERT_TRUE (running->waitFor ([&] { return count ("Saved") == 1; }));
    EXPECT_EQ (storedName(), "Second");
    ASSERT_TRUE (rename ("Third"));
    EXPECT_EQ (storedName(), "Third");
    EXPECT_EQ (count ("Saved"), 1);

    // New data of the unit that cannot be written (a folder stands where its file goes), and a
    // save handed over before that failure was known, which leaves the unit's data alone: the
    // failure stands, no "Saved", until a save writes the data.
    const auto syncFile = folder.getChildFile ("sync.mwd");
    ASSERT_TRUE (syncFile.deleteRecursively() && syncFile.createDirectory());
    auto sent = workspace().clone (false);
    sent->getPreset (slot)->setName ("Sent");
    running->notify (DeviceInfoMessage (DeviceInfoMessage::commandDone,
                                        DeviceCommandMessage (DeviceCommandMessage::writeGivenPresets,
                                                              std::shared_ptr<const DeviceData> (std::move (sent)), { slot })));
    page().saveWorkspace();
    page().saveWorkspace();
    page().waitForWorkspaceSaves();
    ASSERT_TRUE (running->drain());
    ASSERT_TRUE (running->waitFor ([&] { return count ("File Error") == 2; }));
    EXPECT_TRUE (running->boxes.back().message.contains (UnsavedWork::unitDataItem (page().getDeviceName())));
    EXPECT_EQ (count ("Saved"), 1) << "the unit's data is not on disk";

    // A download writes the unit's data itself: then the next save ends the failing run.
    ASSERT_TRUE (syncFile.deleteRecursively());
    page().syncWithDevice();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy() && syncFile.existsAsFile(); }));
    ASSERT_TRUE (rename ("Fourth"));
    ASSERT_TRUE (running->waitFor ([&] { return count ("Saved") == 2; }));

    // A backup that cannot be written is named the same way.
    {
        const FileSizeLimit::Scoped full (512);
        browser().backupDeviceData (true, true, true);
        ASSERT_TRUE (running->drain());
        page().getArchiveManager()->waitForBackgroundSaves();
    }

    ASSERT_TRUE (running->waitFor ([&] { return count ("File Error") == 3; }));
    const auto* made = SourceTree::getArchive (backups().getChild (backups().getNumChildren() - 1));
    const auto madeFile = made->getArchiveFile();
    EXPECT_TRUE (running->boxes.back().message.contains ("the backup \"" + made->getTitle() + "\""));
    EXPECT_FALSE (madeFile.existsAsFile() || madeFile.withFileExtension ("mwd").existsAsFile());

    // At close: the user frees the space and tries again, and all of it is written. Closing the
    // box (or Escape) tries again too: only "Quit Anyway" leaves the disk full of nothing.
    ASSERT_TRUE (block());
    page().renamePresets (page().getDeviceNode(), { slot }, "Last", true, true);
    juce::StringArray buttons;
    const Alerts::ScopedChoiceResponder freeSpace { [&] (const Alerts::Box& box)
    {
        running->boxes.push_back (box);
        const bool first = buttons.isEmpty();
        buttons = box.buttons;
        return first || unblock() ? -1 : 1;
    } };

    page().closeSources (true, false, true);
    EXPECT_EQ (buttons, juce::StringArray ({ "Try Again", "Quit Anyway" }));
    EXPECT_EQ (storedName(), "Last");
    EXPECT_TRUE (madeFile.existsAsFile() && madeFile.withFileExtension ("mwd").existsAsFile());
    EXPECT_EQ (page().getDeviceDataSet(), nullptr);

    // A unit connects while the box of a close is up: the close still saves and closes what it
    // held, and the unit's sources open once it has ended.
    running->notify (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 1, 0, {}));
    ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr; }));
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
    const auto* closing = page().getDeviceDataSet();
    ASSERT_TRUE (block());
    page().renamePresets (page().getDeviceNode(), { slot }, "Lost", true, true);
    int asked = 0;
    const Alerts::ScopedChoiceResponder connectMeanwhile { [&] (const Alerts::Box& box)
    {
        running->boxes.push_back (box);
        ++asked;
        running->notify (DeviceInfoMessage (DeviceInfoMessage::connectedDeviceChanged, 1, 0, {}));
        EXPECT_EQ (page().getDeviceDataSet(), closing) << "nothing opens under the box";
        return unblock() ? 0 : -1;
    } };

    page().closeSources (true, false);
    EXPECT_EQ (asked, 1);
    EXPECT_EQ (storedName(), "Lost");
    EXPECT_EQ (page().getDeviceDataSet(), nullptr);
    ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr; }));
    const Alerts::ScopedChoiceResponder answerOk { [&] (const Alerts::Box& box) { running->boxes.push_back (box); return 0; } };
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));

    // The settings are saved like the rest: a timed save that fails is named, a backup's
    // save writes them once there is room, and only then is "Saved" told, once.
    const auto settingsFile = running->settings().getFile();
    const auto blockSettings = [&] { return settingsFile.deleteRecursively() && settingsFile.createDirectory(); };
    const auto storedSetting = [&]
    {
        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        options.ignoreCaseOfKeyNames = false;
        options.doNotSave = true;
        return settingsFile.existsAsFile() ? juce::PropertiesFile (settingsFile, options).getValue ("exportFolder") : juce::String();
    };
    const int errorsBefore = count ("File Error"), savedBefore = count ("Saved");
    ASSERT_TRUE (blockSettings());
    running->settings().setValue ("exportFolder", "/first");
    ASSERT_TRUE (running->waitFor ([&] { return count ("File Error") == errorsBefore + 1; }));
    EXPECT_TRUE (running->boxes.back().message.contains (UnsavedWork::settingsItem()));
    ASSERT_TRUE (settingsFile.deleteRecursively());
    browser().backupDeviceData (false, false, true);
    ASSERT_TRUE (running->drain());
    page().getArchiveManager()->waitForBackgroundSaves();
    page().waitForWorkspaceSaves();
    ASSERT_TRUE (running->waitFor ([&] { return count ("Saved") == savedBefore + 1; }));
    EXPECT_EQ (storedSetting(), "/first");
    ASSERT_TRUE (running->drain());
    EXPECT_EQ (count ("Saved"), savedBefore + 1);

    // At close the settings are written too, or asked about.
    ASSERT_TRUE (blockSettings());
    running->settings().setValue ("exportFolder", "/last");
    buttons.clear();
    const Alerts::ScopedChoiceResponder freeSettings { [&] (const Alerts::Box& box)
    {
        running->boxes.push_back (box);
        buttons = box.buttons;
        EXPECT_TRUE (box.message.contains (UnsavedWork::settingsItem()));
        return settingsFile.deleteRecursively() ? 0 : -1;
    } };

    page().closeSources (true, false, true);
    EXPECT_EQ (buttons, juce::StringArray ({ "Try Again", "Quit Anyway" }));
    EXPECT_EQ (storedSetting(), "/last");
}

//==============================================================================
TEST_F (DataPageTest, ExportWritesTheChosenPresetsAndAsksBeforeReplacing)
{
    const auto folder = TestEnvironment::getHome().getChildFile ("export-test");   // this program's own: copies run side by side
    folder.deleteRecursively();
    const auto slots = userSlots();
    ASSERT_GE (slots.size(), 2);

    DataPage::ExportRequest asked;
    DataPage::ExportChoice choice;
    choice.accepted = true;
    choice.folder = folder.getFullPathName();
    choice.suffix = "date";
    int replaceQuestions = 0;
    int replaceAnswer = 0;

    DataPage::Dialogs dialogs;
    dialogs.exportDialog = [&] (DataPage&, const DataPage::ExportRequest& request) { asked = request; return choice; };
    dialogs.replaceFile = [&] (DataPage&, const juce::String& title, const juce::String&, bool) { EXPECT_EQ (title, "Replace File"); ++replaceQuestions; return replaceAnswer; };
    page().setDialogs (dialogs);

    page().setSelection (page().getDeviceNode(), { slots[0], slots[1] });

    // Written on the writes thread: the window answers while the disk holds the last file, and tells once it is written.
    SlowDisk disk (juce::StringArray ("Preset_" + juce::String (slots[1]) + "_date.syx"));
    const auto answer = disk.postAnswer (false);
    page().exportData();
    EXPECT_TRUE (SlowDisk::answeredWhileHeld (answer)) << "the message thread waited for the disk";
    EXPECT_TRUE (running->boxes.empty()) << "told before the last file was written";

    // An export meanwhile asks about the file being written too ("No" to each: nothing more is written).
    page().exportData();
    EXPECT_EQ (replaceQuestions, 2);
    disk.letGo();
    ASSERT_TRUE (running->waitFor ([&] { return ! running->boxes.empty(); }));

    EXPECT_EQ (asked.sourceNames[0], "Workspace");
    EXPECT_TRUE (asked.presetsSelected);
    const auto first = folder.getChildFile ("Preset_" + juce::String (slots[0]) + "_date.syx");
    EXPECT_TRUE (first.existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("Preset_" + juce::String (slots[1]) + "_date.syx").existsAsFile());
    EXPECT_EQ (running->titles(), juce::StringArray ("Export"));
    EXPECT_EQ (Belvora::getUserSettings().getValue ("exportFolder"), folder.getFullPathName());

    // "No" with apply to all: nothing is written and nothing said.
    replaceAnswer = 2;
    const auto before = first.getLastModificationTime();
    page().exportData();
    EXPECT_EQ (replaceQuestions, 3);
    EXPECT_EQ (first.getLastModificationTime(), before);
    EXPECT_EQ (running->titles().size(), 1);

    // A setup that is not there is an internal error.
    auto noSetup = addBackup (backups(), *workspace().createCopy (slots, false, false), "No Setup");
    choice.sourceId = 2;
    choice.setupData = true;
    choice.fileName = "setup.syx";
    page().exportData();
    ASSERT_EQ (running->boxes.size(), 2u);
    EXPECT_EQ (running->boxes.back().message, "An internal error occurred. The source data is corrupt. Please restart Belvora and try again.");

    // Presets selected in another source than the one preselected are not offered as a selection.
    select ({ noSetup });
    page().setSelection (noSetup, { slots[0] });
    ASSERT_EQ (page().getSelectedPresetIndices(), juce::Array<int> { slots[0] });
    select ({ noSetup, backups() });
    page().exportData();
    EXPECT_EQ (asked.selectedSource, 0);
    EXPECT_FALSE (asked.presetsSelected);

    // A folder that cannot be made is said so, as a file that cannot be written is: each with what the system said.
    choice = { true, {}, "all.syx", {}, 1, false, true, true };
    for (const auto& [into, told] : { std::pair (first.getChildFile ("inside"), "(the system said: not a directory). "
                                                                                 "Please make sure the folder is there and can be written to."),
                                      std::pair (folder, "(the system said: an I/O error). Please make sure the drive is connected and works: it may be failing.") })
    {
        SafeSave::setFolderSync ([&] (const juce::File& synced) { return synced == folder ? EIO : 0; });
        choice.folder = into.getFullPathName();
        const auto boxes = running->boxes.size();
        page().exportData();
        ASSERT_TRUE (running->waitFor ([&] { return running->boxes.size() == boxes + 1; }));
        SafeSave::setFolderSync ({});
        EXPECT_EQ (running->boxes.back().message, juce::String ("An error occurred while saving the data ") + told);
    }

    folder.deleteRecursively();
}

TEST_F (DataPageTest, ImportKeepsItsStartSlotAndTellsOfFilesItSkips)
{
    const auto folder = TestEnvironment::getHome().getChildFile ("import-test");   // this program's own: copies run side by side
    folder.deleteRecursively();
    folder.createDirectory();
    const auto slots = userSlots();

    // A setup file (it fills no preset slot), then one preset.
    const auto setupFile = folder.getChildFile ("setup.syx");
    const auto presetFile = folder.getChildFile ("preset.syx");
    ASSERT_TRUE (workspace().exportSetup (setupFile));
    ASSERT_TRUE (workspace().exportPreset (presetFile, slots[0], false));
    const auto name = workspace().getPreset (slots[0])->getName();

    const auto start = slots.getLast();
    workspace().deletePreset (start);

    DataPage::ImportChoice choice;
    choice.accepted = true;
    choice.files = { setupFile, presetFile };
    choice.destinationId = 3;
    choice.startId = start + 2;

    DataPage::ImportRequest asked;
    DataPage::Dialogs dialogs;
    dialogs.importDialog = [&] (DataPage&, const DataPage::ImportRequest& request) { asked = request; return choice; };
    page().setDialogs (dialogs);
    page().importData();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }));

    EXPECT_EQ (asked.destinationNames[2], "To Workspace");
    ASSERT_TRUE (workspace().isPresetSlotUsed (start));
    EXPECT_EQ (workspace().getPreset (start)->getName(), name) << "the preset went to the slot chosen, not to slot 1";
    EXPECT_EQ (running->titles(), juce::StringArray ("Import"));
    EXPECT_EQ (Belvora::getUserSettings().getValue ("lastImportFile"), setupFile.getFullPathName());

    page().undo();
    EXPECT_FALSE (workspace().isPresetSlotUsed (start));

    // A file of step packets alone is no data to import: the user is told.
    const uint8_t stepPacket[] { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x12, 0x21, 0x00, 0x00, 0xF7 };
    const auto stepFile = folder.getChildFile ("step.syx");
    ASSERT_TRUE (stepFile.replaceWithData (stepPacket, sizeof (stepPacket)));
    choice.files = { stepFile };
    page().importData();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }));
    EXPECT_TRUE (running->titles().contains ("Import Error"));
    EXPECT_TRUE (running->boxes[1].message.startsWith ("Unable to import " + stepFile.getFullPathName()));

    // A preset of the older format (fewer slots) is converted on its way to a slot only the unit's format has.
    const auto packs = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/packs/vesper_presets.zip");
    ASSERT_TRUE (juce::ZipFile (packs).uncompressTo (folder.getChildFile ("v")).wasOk());
    const auto older = DeviceData::loadFromFile (folder.getChildFile ("v/welcome.mwd"));
    ASSERT_NE (older, nullptr);
    const auto olderFile = folder.getChildFile ("older.syx");
    ASSERT_TRUE (older->exportPreset (olderFile, older->getUsedPresetIndicesInRange (1, older->getNumSlots() - 1).getFirst(), false));
    const auto high = older->getNumSlots() + 1;
    ASSERT_LT (high, workspace().getNumSlots());
    workspace().deletePreset (high);
    choice.files = { olderFile };
    choice.startId = high + 2;
    running->boxes.clear();
    page().importData();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }, 60000));
    EXPECT_EQ (running->titles(), juce::StringArray ("Import"));
    EXPECT_TRUE (workspace().isPresetSlotUsed (high));

    // The backup it goes to is deleted while it converts: nothing is merged, and the import is no success.
    auto gone = addBackup (backups(), workspace(), "Gone");
    SourceTree::getDeviceData (gone)->deletePreset (high);
    juce::Array<juce::ValueTree> listed;
    SourceTree::collectNodes (backups(), listed);
    choice.destinationId = 4 + listed.indexOf (gone);
    running->boxes.clear();
    page().importData();
    ASSERT_TRUE (page().isImporting()) << "the file converts off the message thread";
    select ({ gone });
    browser().deleteSelected();
    ASSERT_FALSE (gone.isAChildOf (page().getRootTree()));
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }, 60000));
    EXPECT_EQ (running->titles(), juce::StringArray ("Import Error"));
    EXPECT_EQ (running->boxes[0].message, "Not all file(s) could be imported");
    page().undo();
    ASSERT_TRUE (gone.isAChildOf (page().getRootTree())) << "the undo brings the backup back as it was";
    EXPECT_FALSE (SourceTree::getDeviceData (gone)->isPresetSlotUsed (high));

    folder.deleteRecursively();
}

TEST_F (DataPageTest, AnImportOfNothingAddsNoBackupAndNamesEachFileWithItsReason)
{
    const auto folder = TestEnvironment::getHome().getChildFile ("refused-import-test");   // this program's own: copies run side by side
    folder.deleteRecursively();
    folder.createDirectory();

    // Another maker's SysEx, and a file that is no SysEx at all.
    const uint8_t otherMaker[] { 0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7 };
    const auto foreign = folder.getChildFile ("foreign.syx");
    const auto text = folder.getChildFile ("notes.syx");
    ASSERT_TRUE (foreign.replaceWithData (otherMaker, sizeof (otherMaker)));
    ASSERT_TRUE (text.replaceWithText ("no sysex here"));

    DataPage::ImportChoice choice;
    choice.accepted = true;
    choice.files = { foreign, text };
    choice.destinationId = 2;   // "<Create new backup...>"
    DataPage::Dialogs dialogs;
    dialogs.importDialog = [&] (DataPage&, const DataPage::ImportRequest&) { return choice; };
    page().setDialogs (dialogs);

    const auto backupsBefore = backups().getNumChildren();
    page().importData();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }));

    EXPECT_EQ (backups().getNumChildren(), backupsBefore) << "no empty backup";
    ASSERT_EQ (running->titles(), juce::StringArray ("Import Error"));
    const auto message = running->boxes[0].message;
    EXPECT_TRUE (message.startsWith ("Not all file(s) could be imported"));
    EXPECT_TRUE (message.contains (foreign.getFullPathName() + ": Invalid SysEx data encountered.")) << message;
    EXPECT_TRUE (message.contains (text.getFullPathName() + ": ")) << message;

    folder.deleteRecursively();
}

TEST_F (DataPageTest, EditsAfterASentChangeAreStillTintedOnTheUnitsData)
{
    auto& grid = page().getDataViewPanel().getPresetContainer();
    const auto slots = userSlots();
    ASSERT_EQ (page().getSelectedSource(), page().getDeviceNode());
    ASSERT_TRUE (grid.isShowingActiveDevice());

    // "Apply Changes" done: what was sent stands for the unit's data from now on.
    page().renamePresets (page().getDeviceNode(), { slots[0] }, "First", true, true);
    const DeviceCommandMessage command (DeviceCommandMessage::writeAllOfData, std::shared_ptr<const DeviceData> (workspace().clone (false)), {});
    running->notify (DeviceInfoMessage (DeviceInfoMessage::commandDone, command));
    page().notifyPresetDataChanged (page().getDeviceNode(), juce::Array<int>());   // every button refreshed
    EXPECT_FALSE (grid.getButton (slots[0])->isHighlighted());

    page().renamePresets (page().getDeviceNode(), { slots[1] }, "Second", true, true);
    running->drain();
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::applyChanges));
    EXPECT_TRUE (grid.isShowingActiveDevice());
    EXPECT_TRUE (grid.getButton (slots[1])->isHighlighted()) << "the later edit is tinted";
}

TEST_F (DataPageTest, AnImportedSetupReplacesTheDestinationsOwnAndUndoBringsItBack)
{
    const auto folder = TestEnvironment::getHome().getChildFile ("setup-import-test");   // this program's own: copies run side by side
    folder.deleteRecursively();
    folder.createDirectory();

    const auto setupFile = folder.getChildFile ("setup.syx");
    ASSERT_TRUE (workspace().exportSetup (setupFile));
    const auto imported = workspace().getSetup().getMD5String();

    auto values = workspace().getSetup().getValues();
    ASSERT_FALSE (values.isEmpty());
    values.set (0, values[0] == 0 ? 1 : 0);
    ASSERT_TRUE (workspace().getSetup().setValues (values));
    const auto own = workspace().getSetup().getMD5String();
    ASSERT_NE (own, imported);

    auto withoutSetup = workspace().clone (false);
    withoutSetup->clearSetup();
    const auto backup = addBackup (backups(), *withoutSetup, "No Setup");

    DataPage::ImportChoice choice;
    choice.accepted = true;
    choice.files = { setupFile };
    choice.startId = 1;
    DataPage::Dialogs dialogs;
    dialogs.importDialog = [&] (DataPage&, const DataPage::ImportRequest&) { return choice; };
    page().setDialogs (dialogs);

    const auto import = [&] (int destinationId)
    {
        choice.destinationId = destinationId;
        running->boxes.clear();
        page().importData();
        ASSERT_TRUE (running->waitFor ([&] { return ! page().isImporting(); }));
        EXPECT_EQ (running->titles(), juce::StringArray ("Import"));
    };

    import (3);
    EXPECT_EQ (workspace().getSetup().getMD5String(), imported);
    page().undo();
    EXPECT_EQ (workspace().getSetup().getMD5String(), own) << "undo brings back the setup the workspace had";
    page().redo();
    EXPECT_EQ (workspace().getSetup().getMD5String(), imported);

    import (4);
    const auto* backupData = SourceTree::getDeviceData (backup);
    ASSERT_NE (backupData, nullptr);
    EXPECT_EQ (backupData->getSetup().getMD5String(), imported);
    page().undo();
    EXPECT_FALSE (backupData->getSetup().isComplete()) << "a backup without a setup has none again";

    folder.deleteRecursively();
}

TEST_F (DataPageTest, AFailedReadEmptiesTheWorkspaceAndTheUnitsDataAndAsksForASync)
{
    SimulatedUnit::Faults failing;
    failing.readStatus = 0x7f;
    running->unit (0).setFaults (failing);

    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy(); }));
    running->drain();

    EXPECT_TRUE (page().isSyncNeeded());
    EXPECT_EQ (page().getWorkspaceLabel(), "<need to sync>");
    EXPECT_TRUE (page().getSyncButton().isVisible());
    EXPECT_FALSE (page().getBrowser().isVisible());
    EXPECT_EQ (workspace().getNumPresets(), 0);
    EXPECT_EQ (page().getDeviceDataSet()->getLiveData(), nullptr);
    ASSERT_FALSE (running->boxes.empty());
    EXPECT_TRUE (running->boxes.back().message.contains ("\nCode: "));

    // Emptied by the program, not edited by the user: nothing to lose, so nothing is asked.
    EXPECT_FALSE (page().getDeviceDataSet()->isModified());
    running->boxes.clear();
    EXPECT_TRUE (running->content().askDiscardChanges (CommandDialogs::Discard::firmwareUpdate));
    EXPECT_TRUE (running->content().askDiscardChanges (CommandDialogs::Discard::quit));

    // The sync button clicked: the keys go on to the workspace that takes its place.
    running->unit (0).setFaults ({});
    running->content().getTabs().setCurrentTabIndex (running->content().getPresetsTabIndex());
    ASSERT_TRUE (running->waitFor ([&] { return page().isShowing() && running->window().getPeer()->isFocused(); }));
    auto& sync = page().getSyncButton();
    EXPECT_TRUE (sync.isEnabled()) << "the failure left the sync button disabled";
    DialogTests::mouseAt (sync, sync.getLocalBounds().getCentre(), juce::ModifierKeys::leftButtonModifier);
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
    EXPECT_TRUE (running->boxes.empty()) << running->titles().joinIntoString ("|");
    EXPECT_GT (workspace().getNumPresets(), 0);

    auto& grid = page().getDataViewPanel().getPresetContainer();
    ASSERT_TRUE (DialogTests::pressKey (juce::KeyPress ('a', juce::ModifierKeys::ctrlModifier, 0)));
    EXPECT_EQ (grid.getSelectedPresets().size(), workspace().getNumPresets()) << "Ctrl+A after the sync button";
    grid.setSelectedPresets ({});

    // An edit after that still counts.
    workspace().deletePreset (userSlots().getFirst());
    EXPECT_TRUE (page().getDeviceDataSet()->isModified());
    running->answers["Changes Will Be Lost"] = 1;   // "Cancel"
    EXPECT_FALSE (running->content().askDiscardChanges (CommandDialogs::Discard::firmwareUpdate));
    EXPECT_EQ (running->titles(), juce::StringArray ("Changes Will Be Lost"));
}

TEST_F (DataPageTest, FailuresOfTheUnitAreTitledByWhatWentWrong)
{
    const auto slot = userSlots().getFirst();

    for (const auto& [status, title] : std::vector<std::pair<int, juce::String>> { { 3, "Memory Full" },
                                                                                    { 4, "Incompatible Data" },
                                                                                    { 6, "Device Error" },
                                                                                    { 0x7f, "Internal Error" } })
    {
        SimulatedUnit::Faults faults;
        faults.writeStatusForSlot[slot] = status;
        running->unit (0).setFaults (faults);
        running->boxes.clear();

        workspace().getPreset (slot)->setName ("Edited " + juce::String (status));
        workspace().setPresetModified (slot, true);
        running->perform (CommandIDs::applyChanges);
        ASSERT_TRUE (running->waitFor ([&] { return ! running->boxes.empty(); })) << title;
        running->drain();

        EXPECT_EQ (running->boxes.back().title, title);
        EXPECT_TRUE (running->boxes.back().message.contains ("\nCode: "));
        EXPECT_EQ (workspace().getPreset (slot)->getName(), "Edited " + juce::String (status)) << "a failed write keeps the edit";
        running->unit (0).setFaults ({});
    }
}

TEST_F (DataPageTest, SyncingAsksBeforeItDiscardsEdits)
{
    const auto slot = userSlots().getFirst();
    workspace().deletePreset (slot);

    running->answers["Changes Will Be Lost"] = 1;   // "Cancel"
    page().syncWithDevice();
    EXPECT_EQ (running->titles(), juce::StringArray ("Changes Will Be Lost"));
    EXPECT_EQ (running->boxes.back().buttons, (juce::StringArray { "Continue", "Cancel" }));
    EXPECT_FALSE (page().isBusy());
    EXPECT_FALSE (workspace().isPresetSlotUsed (slot));

    running->answers["Changes Will Be Lost"] = 0;   // "Continue"
    page().syncWithDevice();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
    EXPECT_TRUE (workspace().isPresetSlotUsed (slot)) << "the unit's data replaced the edit";

    // Nothing to lose: no question.
    running->boxes.clear();
    page().syncWithDevice();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isSyncNeeded() && ! page().isBusy(); }));
    EXPECT_TRUE (running->boxes.empty());

    // A unit without presets is offered "Synchronize With" in its workspace's menu: that asks as well.
    const auto kept = workspace().clone (false);
    for (int i = 1; i < kept->getNumSlots(); ++i)
        running->unit (0).setPreset (i, nullptr);
    page().syncWithDevice();
    ASSERT_TRUE (running->waitFor ([&] { return ! page().isBusy() && workspace().getNumPresets() == 0; }));
    page().pastePresets (page().getDeviceNode(), { slot }, *kept, true, true);
    running->content().getTabs().setCurrentTabIndex (running->content().getPresetsTabIndex());
    select ({ page().getDeviceNode() });
    ASSERT_TRUE (running->waitFor ([&] { browser().getTreeView().grabKeyboardFocus(); return browser().getTreeView().hasKeyboardFocus (true); }));
    running->answers["Changes Will Be Lost"] = 1;   // "Cancel"
    ASSERT_TRUE (DialogTests::pressKey (juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0))
                 && DialogTests::pickFromMenuByKeys ("Synchronize With Vesper"));
    EXPECT_EQ (running->titles(), juce::StringArray ("Changes Will Be Lost"));
    EXPECT_TRUE (workspace().isPresetSlotUsed (slot)) << "the edit is kept";
}

TEST_F (DataPageTest, ThePreviousMethodBringsBackTheStoredWorkspaceAndNeverDropsIt)
{
    running->settings().setValue ("dataSyncMethod", "previous");
    const auto slot = userSlots().getFirst();
    workspace().deletePreset (slot);

    const juce::File folder (running->devices().getActiveDeviceDataFolder());
    const auto syncFile = folder.getChildFile ("sync.mwd");
    const auto workingFile = folder.getChildFile ("working.mwd");

    const auto reconnect = [&]
    {
        running->content().connectToDevice (-1);
        ASSERT_EQ (page().getDeviceDataSet(), nullptr);
        ASSERT_TRUE (syncFile.existsAsFile() && workingFile.existsAsFile()) << "closing saved the workspace and the unit's data";
    };

    // The edit comes back from the stored files, without a download and without the sync button.
    reconnect();
    running->content().connectToDevice (0);
    ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr; }));
    running->drain();
    EXPECT_FALSE (page().isSyncNeeded());
    EXPECT_FALSE (page().getSyncButton().isVisible());
    EXPECT_FALSE (workspace().isPresetSlotUsed (slot));
    EXPECT_TRUE (page().getDeviceDataSet()->getLiveData()->isPresetSlotUsed (slot));

    // Without the unit's stored data the edits stay the workspace, and the unit's own data is read beside them:
    // a sync now asks before it drops them.
    reconnect();
    ASSERT_TRUE (syncFile.deleteFile());
    const auto reopen = [&]
    {
        running->content().connectToDevice (0);
        ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr && syncFile.existsAsFile(); }));
        running->drain();
        EXPECT_FALSE (page().isSyncNeeded());
        EXPECT_FALSE (page().getSyncButton().isVisible());
        EXPECT_TRUE (workingFile.existsAsFile());
        EXPECT_FALSE (workspace().isPresetSlotUsed (slot)) << "the edit is kept";
        EXPECT_TRUE (page().getDeviceDataSet()->getLiveData()->isPresetSlotUsed (slot)) << "the unit's data was read";
        EXPECT_TRUE (page().getDeviceDataSet()->isModified()) << "the edit is still to be sent";
        const auto read = DeviceData::loadFromFile (syncFile);
        EXPECT_TRUE (read != nullptr && read->isPresetSlotUsed (slot));
    };
    reopen();
    EXPECT_FALSE (running->titles().contains ("File Error")) << "nothing was damaged";

    // An unreadable one is moved aside as it is and named, once.
    running->content().connectToDevice (-1);
    ASSERT_TRUE (syncFile.replaceWithText ("not a workspace"));
    reopen();
    const auto aside = folder.getChildFile ("sync.mwd.damaged");
    EXPECT_EQ (aside.loadFileAsString(), "not a workspace");
    ASSERT_EQ (running->titles().indexOf ("File Error"), running->titles().size() - 1);
    EXPECT_TRUE (running->boxes.back().message.contains (aside.getFullPathName()));

    // A read of the unit's data that fails says so and leaves the workspace as it was.
    running->content().connectToDevice (-1);
    ASSERT_TRUE (syncFile.deleteFile());
    const auto presets = DeviceData::loadFromFile (workingFile)->getNumPresets();
    SimulatedUnit::Faults refusing;
    refusing.readStatus = 6;
    running->unit (0).setFaults (refusing);
    running->boxes.clear();
    running->content().connectToDevice (0);
    ASSERT_TRUE (running->waitFor ([&] { return ! running->boxes.empty(); }));
    running->drain();
    running->unit (0).setFaults ({});
    EXPECT_FALSE (page().isSyncNeeded());
    EXPECT_EQ (workspace().getNumPresets(), presets);
    EXPECT_FALSE (workspace().isPresetSlotUsed (slot));

    // A folder, a link loop (no missing file) or a file that fails to read in place of either is
    // moved aside the same way and named when the unit comes, not at the first edit.
    for (const auto kind : { OddFiles::Kind::folder, OddFiles::Kind::loop, OddFiles::Kind::failing })
    for (const auto& odd : { workingFile, syncFile })
    {
        running->content().connectToDevice (-1);
        ASSERT_TRUE (OddFiles::put (kind, odd));
        running->boxes.clear();
        running->content().connectToDevice (0);
        ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("File Error"); })) << odd.getFileName() << OddFiles::nameOf (kind);
        running->drain();
        const auto box = running->boxes[(size_t) running->titles().indexOf ("File Error")];
        EXPECT_TRUE (box.message.contains (odd.getFullPathName()) && box.message.contains (".damaged")) << box.message;
        EXPECT_FALSE (odd.isDirectory() || odd.isSymbolicLink());
    }

    // A folder that cannot be looked into (failing, or without permission), the unit's or the backups'
    // (with the unit's in it), is named once: the sync offered then is no fresh start in silence. Once
    // nothing was said.
    const juce::Array<juce::File> folders { folder, page().getArchiveManager()->getBackupFolder() };

    for (const bool failing : { true, false })
    for (const auto& hidden : folders)
    {
        running->content().connectToDevice (-1);
        const OddFiles::WithoutPrivilege unprivileged (TestEnvironment::getHome(), ! failing);

        if (! unprivileged.active)
            GTEST_SKIP() << "the user cannot be changed here: a folder without permission is not tried";

        ASSERT_TRUE (OddFiles::hide (hidden, failing));
        running->boxes.clear();
        running->content().connectToDevice (0);
        ASSERT_TRUE (running->waitFor ([&] { return page().getDeviceDataSet() != nullptr && ! running->boxes.empty(); }));
        running->drain();
        ASSERT_EQ (running->titles(), juce::StringArray ("File Error"));
        EXPECT_TRUE (running->boxes[0].message.endsWith (":\n\n" + hidden.getFullPathName())) << running->boxes[0].message;
        EXPECT_TRUE (page().isSyncNeeded() && page().getSyncButton().isVisible());

        // A sync then cannot save the unit's data: told as the system said it, no permission not as a full drive.
        if (hidden == folder)
        {
            running->perform (CommandIDs::downloadDeviceData);
            ASSERT_TRUE (running->waitFor ([&] { return running->titles().size() == 2; }));
            const auto told = running->boxes.back().message;
            EXPECT_TRUE (told.endsWith (failing ? "(the system said: not a directory). Please make sure the folder is there and can be written to."
                                                : "(the system said: no permission). Please make sure the folder can be written to.")) << told;
        }

        running->content().connectToDevice (-1);
        ASSERT_TRUE (OddFiles::show (hidden, failing));
    }
}

TEST_F (DataPageTest, AStoredWorkspaceOfAnotherFirmwareIsNoDamagedFile)
{
    running->settings().setValue ("dataSyncMethod", "previous");
    const auto slot = userSlots().getFirst();
    workspace().deletePreset (slot);

    const juce::File folder (running->devices().getActiveDeviceDataFolder());
    running->content().connectToDevice (-1);
    int oldBuild = 0;

    // The files as the firmware before an update left them.
    for (const bool working : { true, false })
    {
        auto stored = DeviceData::loadFromFile (folder.getChildFile (working ? "working.mwd" : "sync.mwd"));
        ASSERT_NE (stored, nullptr);
        auto older = stored->getFirmwareVersion();
        oldBuild = --older.build;

        DeviceData before (stored->getProductName(), older, stored->getCapsBlock(), nullptr);
        before.copyPresetsFrom (*stored);
        before.setSetup (stored->getSetup(), false);
        ASSERT_EQ (before.saveWorkingFile (folder, working), DeviceData::saved);
    }

    const auto stored = folder.getChildFile ("working.mwd").loadFileAsString();
    const auto kept = folder.getChildFile ("working for firmware build " + juce::String (oldBuild) + ".mwd");

    running->boxes.clear();
    running->content().connectToDevice (0);
    ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Converted"); })) << running->titles().joinIntoString (", ");
    running->drain();

    EXPECT_FALSE (running->titles().contains ("File Error")) << running->titles().joinIntoString (", ");
    EXPECT_TRUE (folder.findChildFiles (juce::File::findFiles, false, "*.damaged").isEmpty());
    EXPECT_EQ (kept.loadFileAsString(), stored) << "kept as it was, out of the way of the workspace's saves";
    EXPECT_TRUE (running->boxes.back().message.contains (kept.getFullPathName()));

    // The converted workspace is the workspace; the unit's data is read beside it.
    ASSERT_TRUE (running->waitFor ([&]
    {
        const auto read = DeviceData::loadFromFile (folder.getChildFile ("sync.mwd"));
        return read != nullptr && read->getFirmwareVersion().build != oldBuild;
    })) << "the unit's data was read";
    running->drain();
    EXPECT_FALSE (page().isSyncNeeded());
    EXPECT_FALSE (workspace().isPresetSlotUsed (slot)) << "the edit came along";
    EXPECT_TRUE (page().getDeviceDataSet()->getLiveData()->isPresetSlotUsed (slot));

    // A stored workspace of another firmware than the unit runs now, as "working.mwd"
    // with the unit's data beside it; its box once the unit is back.
    const auto storeOtherFirmware = [&] (int buildStep, int presetVersionStep)
    {
        running->content().connectToDevice (-1);
        const auto unit = DeviceData::loadFromFile (folder.getChildFile ("sync.mwd"));
        auto caps = unit->getCapsBlock();
        caps.presetVersion += presetVersionStep;
        const auto build = unit->getFirmwareVersion().build + buildStep;

        EXPECT_EQ (ConversionTestData::makeDeviceData (caps, build, { 1, 2, 3 })->saveWorkingFile (folder, true), DeviceData::saved);
        running->boxes.clear();
        running->content().connectToDevice (0);
        return std::make_pair (folder.getChildFile ("working for firmware build " + juce::String (build) + ".mwd"),
                               folder.getChildFile ("working.mwd").loadFileAsString());
    };
    const auto boxTitled = [&] (const juce::String& title)
    {
        const auto at = running->titles().indexOf (title);
        return at >= 0 ? running->boxes[(size_t) at] : Alerts::Box {};
    };

    // The unit went back to an earlier firmware: the workspace's is no earlier one.
    storeOtherFirmware (2, 0);
    ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Converted") || running->titles().contains ("Workspace Kept"); }))
        << running->titles().joinIntoString (", ");
    running->drain();
    for (const auto& title : { "Workspace Converted", "Workspace Kept" })
        EXPECT_FALSE (boxTitled (title).message.contains ("earlier")) << boxTitled (title).message;

    // Data of a version no conversion covers: the file is kept as it was, and named.
    const auto [unconverted, unconvertedText] = storeOtherFirmware (-3, 7);
    ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Kept"); })) << running->titles().joinIntoString (", ");
    running->drain();
    EXPECT_FALSE (running->titles().contains ("Workspace Converted"));
    EXPECT_FALSE (running->titles().contains ("File Error")) << running->titles().joinIntoString (", ");
    EXPECT_TRUE (folder.findChildFiles (juce::File::findFiles, false, "*.damaged").isEmpty());
    EXPECT_EQ (unconverted.loadFileAsString(), unconvertedText);
    EXPECT_TRUE (boxTitled ("Workspace Kept").message.contains (unconverted.getFullPathName()));
    EXPECT_TRUE (page().isSyncNeeded()) << "the unit's data is offered, not a workspace made of nothing";

    // A copy kept for the conversion whose folder then refuses the sync is none: not converted, and the cause named.
    const auto build = DeviceData::loadFromFile (folder.getChildFile ("sync.mwd"))->getFirmwareVersion().build;
    const auto copy = folder.getChildFile ("working for firmware build " + juce::String (build - 2) + ".mwd");
    SafeSave::setFolderSync ([&] (const juce::File& synced) { return synced == folder && copy.exists() ? EIO : 0; });
    storeOtherFirmware (-2, 0);
    ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Not Converted"); })) << running->titles().joinIntoString (", ");
    SafeSave::setFolderSync ({});
    const auto told = boxTitled ("Workspace Not Converted").message;
    EXPECT_TRUE (told.endsWith ("could not be made (the system said: an I/O error). Please make sure the drive is connected and works: it may be failing.")) << told;
}

// A stop at any moment of a stored workspace's conversion (a kill, or a quit in order)
// leaves the stored file where the next start converts it again. Once it was moved
// aside first, and a stop before the end left nothing that a start looked at.
TEST_F (DataPageTest, AStoredWorkspaceOutlivesAConversionStoppedAtAnyMoment)
{
    running->settings().setValue ("dataSyncMethod", "previous");
    const juce::File folder (running->devices().getActiveDeviceDataFolder());
    const auto script = juce::File (Belvora::getScriptFolder (0x12)).getChildFile ("vesper_preset_3_to_4.js");
    const auto scriptText = script.loadFileAsString();
    const auto workingFile = folder.getChildFile ("working.mwd"), kept = folder.getChildFile ("working for firmware build 120.mwd");
    running->content().connectToDevice (-1);

    const auto oldCaps = DeviceProfiler::createCaps (*Nexus::getContentManager(), 0x12, 120)->caps;
    ASSERT_EQ (ConversionTestData::makeDeviceData (oldCaps, 120, { 1, 2, 3 })->saveWorkingFile (folder, true), DeviceData::saved);
    const auto stored = workingFile.loadFileAsString();
    ASSERT_TRUE (script.replaceWithText ("var i = 0; while (true) { ++i; }\n" + scriptText));   // until stopped
    running->content().connectToDevice (0);
    ASSERT_TRUE (running->waitFor ([&] { return page().isConvertingWorkspace() && kept.existsAsFile(); }));
    EXPECT_TRUE (workingFile.loadFileAsString() == stored && kept.loadFileAsString() == stored);

    // Said on the page, and no sync offered that would replace it.
    EXPECT_TRUE (page().getConversionNote().isVisible() && ! page().getSyncButton().isVisible());
    running->perform (CommandIDs::downloadDeviceData);
    EXPECT_FALSE (page().isBusy());

    running->notify (DeviceInfoMessage (DeviceInfoMessage::aboutToQuit, 0, 0, {}));
    EXPECT_EQ (workingFile.loadFileAsString(), stored) << "nothing written over it, no workspace made of nothing";

    // The next start converts it, keeping the copy made before, and writes the converted form at once.
    ASSERT_TRUE (script.replaceWithText (scriptText));
    running->content().connectToDevice (-1);
    running->content().connectToDevice (0);
    ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Converted"); })) << running->titles().joinIntoString (", ");
    EXPECT_TRUE (running->boxes.back().message.contains (kept.getFullPathName()) && kept.loadFileAsString() == stored);
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, "working for*").size(), 1);
    ASSERT_TRUE (running->waitFor ([&]
    {
        const auto converted = DeviceData::loadFromFile (workingFile);
        return converted != nullptr && converted->getFirmwareVersion().build != 120 && converted->isPresetSlotUsed (2);
    }));

    // A disk that takes no link to the stored file (it lies on another disk) and has no room for
    // a copy: it is not converted but stays as it is, told, and a sync tries again first.
    running->content().connectToDevice (-1);
    const juce::TemporaryFile elsewhere (juce::File ("/dev/shm/belvora.mwd"));
    const auto away = elsewhere.getFile();
    struct Unlink { juce::File link; ~Unlink() { if (link.isSymbolicLink()) link.deleteFile(); } } const unlinkFirst { workingFile };   // before the close writes through it
    ASSERT_TRUE (kept.moveFileTo (away) && workingFile.deleteFile() && away.createSymbolicLink (workingFile, false));
    if (struct stat a {}, b {}; ::stat (away.getFullPathName().toRawUTF8(), &a) != 0 || ::stat (folder.getFullPathName().toRawUTF8(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "the link refused needs /dev/shm on a disk of its own";
    {
        const FileSizeLimit::Scoped full (512);
        running->boxes.clear();
        running->content().connectToDevice (0);
        ASSERT_TRUE (running->waitFor ([&] { return running->boxes.size() == 1; }));
        running->perform (CommandIDs::downloadDeviceData);   // tries again first
        ASSERT_TRUE (running->waitFor ([&] { return running->boxes.size() == 2; }));

        // A firmware update that ends before it touches the unit leaves it as it is too.
        running->content().setAppState (AppState::firmwareUpdate);
        running->content().setAppState (AppState::idle);
        page().firmwareUpdateEnded (true);
        ASSERT_TRUE (running->waitFor ([&] { return running->boxes.size() == 3; }));
    }
    EXPECT_EQ (running->titles(), juce::StringArray ("Workspace Not Converted", "Workspace Not Converted", "Workspace Not Converted"));
    EXPECT_TRUE (running->boxes[0].message.contains ("no room") && running->boxes[0].message.contains (workingFile.getFullPathName()));
    EXPECT_TRUE (workingFile.isSymbolicLink() && workingFile.loadFileAsString() == stored && ! kept.exists() && ! page().isBusy());

    // A stop leaves it where the next start, with room, converts it; and a kept copy without
    // its stored file (an earlier version moved the file itself aside) is converted too.
    for (const bool keptAlone : { false, true })
    {
        running->notify (DeviceInfoMessage (DeviceInfoMessage::aboutToQuit, 0, 0, {}));
        running->content().connectToDevice (-1);
        ASSERT_TRUE (! keptAlone || workingFile.deleteFile());
        running->boxes.clear();
        running->content().connectToDevice (0);
        ASSERT_TRUE (running->waitFor ([&] { return running->titles().contains ("Workspace Converted"); }));
        EXPECT_TRUE (running->boxes.back().message.contains (kept.getFullPathName()));
        EXPECT_TRUE (running->waitFor ([&] { const auto data = DeviceData::loadFromFile (workingFile); return data != nullptr && data->getFirmwareVersion().build != 120; }));
    }
}

TEST_F (DataPageTest, ACompletedSendOfGivenPresetsNeverTakesTheSetup)
{
    const auto slot = userSlots().getFirst();
    const auto setupBefore = workspace().getSetup().getMD5();

    auto sent = workspace().clone (false);
    sent->getPreset (slot)->setName ("Given");
    sent->clearSetup();

    const DeviceCommandMessage command (DeviceCommandMessage::writeGivenPresets, std::shared_ptr<const DeviceData> (std::move (sent)), { slot });
    running->notify (DeviceInfoMessage (DeviceInfoMessage::commandDone, command));

    EXPECT_EQ (workspace().getPreset (slot)->getName(), "Given");
    EXPECT_TRUE (workspace().getSetup().isComplete()) << "the sent data held no setup, and none was taken";
    EXPECT_EQ (workspace().getSetup().getMD5(), setupBefore);
    EXPECT_EQ (page().getDeviceDataSet()->getLiveData()->getPreset (slot)->getName(), "Given");
}

TEST_F (DataPageTest, ToolbarFollowsWhatTheGridShows)
{
    const auto slots = userSlots();

    // A gap in the workspace: space can be optimized, as one undoable step.
    workspace().deletePreset (slots[1]);
    page().refreshToolbarState (true);
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::optimizeSpace));
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::backupAll));
    EXPECT_FALSE (page().isToolbarItemEnabled (DataPage::sendSelected));

    page().handleToolbarItem (DataPage::optimizeSpace);
    EXPECT_FALSE (workspace().hasGaps());
    running->drain();
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::undoItem));
    page().handleToolbarItem (DataPage::undoItem);
    EXPECT_TRUE (workspace().hasGaps());
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::redoItem));

    // "Select User" on the toolbar and "Select User Presets" in the grid pick the same slots.
    auto& grid = page().getDataViewPanel().getPresetContainer();
    workspace().setPresetModified (slots[0], true);
    page().handleToolbarItem (DataPage::selectUser);
    const auto byToolbar = page().getSelectedPresetIndices();
    EXPECT_TRUE (byToolbar.contains (slots[0]));
    grid.setSelectedPresets ({});
    grid.performMenuCommand (101, nullptr);
    EXPECT_EQ (grid.getSelectedPresets(), byToolbar);
    EXPECT_EQ (byToolbar, PresetButtonContainer::getUserPresetSlots (workspace()));

    page().setSelection (page().getDeviceNode(), { slots[0] });
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::sendSelected));
    EXPECT_TRUE (page().isToolbarItemEnabled (DataPage::backupSelected));

    // A read-only pack in the grid: nothing to optimize there, and the button does nothing.
    auto cloud = SourceTree::findChildWithCategory (page().getRootTree(), cloudCategory);
    ASSERT_TRUE (cloud.isValid());
    auto pack = addBackup (cloud, *workspace().clone (false), "Pack");
    select ({ pack });
    EXPECT_EQ (page().getSelectedSource(), pack);
    EXPECT_FALSE (page().isToolbarItemEnabled (DataPage::optimizeSpace));
    page().handleToolbarItem (DataPage::optimizeSpace);
    EXPECT_TRUE (SourceTree::getDeviceData (pack)->hasGaps());
    EXPECT_FALSE (page().isToolbarItemEnabled (DataPage::backupSelected));
}

TEST_F (DataPageTest, ThePresetGridWorksByKeysWhereverThePointerIs)
{
    using namespace DialogTests;
    const auto ctrl = juce::ModifierKeys::ctrlModifier;
    auto& grid = page().getDataViewPanel().getPresetContainer();
    auto& view = page().getDataViewPanel().getViewport();
    const auto md5s = [&] { return GridTests::md5s (page().getDeviceNode()); };
    const auto ringOn = [] (juce::Component& c) { return WidgetTests::countPixels (WidgetTests::snapshot (c), c.getLocalBounds(), WidgetTests::hue (Palette::focusRingColour, 3)) > 0; };

    running->content().getTabs().setCurrentTabIndex (running->content().getPresetsTabIndex());
    ASSERT_TRUE (running->waitFor ([&] { return running->window().getPeer()->isFocused() && grid.isShowing(); }));
    page().focusWorkspace();
    ASSERT_TRUE (view.hasKeyboardFocus (true));
    ASSERT_TRUE (workspace().isPresetSlotUsed (2) && workspace().isPresetSlotUsed (4));

    // A clipboard, then nothing chosen, the grid scrolled to its end and the pointer on its last slot:
    // neither Ctrl+V, the toolbar's Paste nor the Paste of the menu opened by keys overwrites a slot.
    grid.setSelectedPresets ({ 3 });
    ASSERT_TRUE (grid.copySelected());
    grid.setSelectedPresets ({});
    view.setViewPosition (0, grid.getHeight());
    juce::Desktop::setMousePosition (grid.getButton (grid.getNumButtons() - 1)->getScreenBounds().getCentre());
    const auto before = md5s();

    pressKey (juce::KeyPress ('v', ctrl, 0));
    page().handleToolbarItem (DataPage::pasteItem);
    {
        const GridMenus::ScopedResponder paste ([] (const juce::PopupMenu& menu)
        {
            bool enabled = false;
            return GridMenus::findItem (menu, 105, nullptr, &enabled) && enabled ? 105 : 0;
        });
        ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0)));
    }
    EXPECT_EQ (md5s(), before);

    // Home, Right and Space select preset 2; Ctrl+X, Right, Right and Ctrl+V move it to 4, ringed there.
    const auto moved = workspace().getPresetNames ({ 2 });
    for (auto code : { juce::KeyPress::homeKey, juce::KeyPress::homeKey, juce::KeyPress::rightKey, juce::KeyPress::spaceKey })
        ASSERT_TRUE (pressKey (juce::KeyPress (code)));
    EXPECT_EQ (grid.getSelectedPresets(), juce::Array<int> ({ 2 }));
    ASSERT_TRUE (pressKey (juce::KeyPress ('x', ctrl, 0)));
    ASSERT_TRUE (pressKey (juce::KeyPress (juce::KeyPress::rightKey)) && pressKey (juce::KeyPress (juce::KeyPress::rightKey)));
    ASSERT_TRUE (pressKey (juce::KeyPress ('v', ctrl, 0)));
    EXPECT_FALSE (workspace().isPresetSlotUsed (2));
    EXPECT_EQ (workspace().getPresetNames ({ 4 }), moved);
    EXPECT_TRUE (ringOn (*grid.getButton (4)));
    EXPECT_FALSE (ringOn (*grid.getButton (2)));
    EXPECT_TRUE (view.getViewArea().contains (grid.getButton (4)->getBounds()));

    ASSERT_TRUE (pressKey (juce::KeyPress ('z', ctrl, 0)));
    EXPECT_EQ (md5s(), before) << "one undo takes the whole move back";

    // "Copy ... To Workspace" asks where: dismissed, the workspace is as it was; replacing is a choice.
    auto backupData = workspace().createCopy ({ 1 }, true, false);
    backupData->getPreset (1)->setName ("From The Backup");
    select ({ addBackup (backups(), *backupData, "One Preset") });
    int choice = 0;
    const GridMenus::ScopedResponder where ([&] (const juce::PopupMenu&) { return choice; });

    browser().performTreeMenuItem (13);
    EXPECT_EQ (md5s(), before);
    choice = 1;
    browser().performTreeMenuItem (13);
    EXPECT_EQ (workspace().getPreset (1)->getName(), "From The Backup");
}

TEST_F (DataPageTest, SearchHitsAreShownInTheBrowserAndTheGrid)
{
    auto backup = addBackup (backups(), *workspace().clone (false), "Found Here");
    SearchTarget& target = page();

    EXPECT_TRUE (target.selectItemFor (backup));
    EXPECT_EQ (page().getSelectedNode(), backup);
    EXPECT_EQ (page().getSelectedSource(), backup);

    target.setSelectedPresets ({ userSlots()[1] });
    EXPECT_EQ (page().getSelectedPresetIndices(), juce::Array<int> { userSlots()[1] });

    // A hit's backup deleted meanwhile is not found, and what the page shows stays.
    select ({ page().getDeviceNode() });
    backups().removeChild (backup, nullptr);
    EXPECT_FALSE (target.selectItemFor (backup));
    EXPECT_EQ (page().getSelectedSource(), page().getDeviceNode());
}

TEST_F (DataPageTest, ABackupWithADamagedBodyIsNamedWhenOpenedAndMarked)
{
    // A backup whose data file keeps its head but lost its body, as a crash might leave it.
    const auto folder = TestEnvironment::getHome().getChildFile ("damaged");
    ASSERT_TRUE (folder.createDirectory());
    const auto file = folder.getChildFile ("Broken.xml");
    ASSERT_TRUE (DeviceDataArchive (workspace(), "Broken", {}).save (file));
    const auto data = file.withFileExtension ("mwd");
    juce::MemoryBlock bytes;
    ASSERT_TRUE (data.loadFileAsData (bytes));
    bytes.setSize (bytes.getSize() / 2);
    ASSERT_TRUE (data.replaceWithData (bytes.getData(), bytes.getSize()));

    auto loaded = ArchiveFiles::load (file);
    ASSERT_NE (loaded, nullptr);
    ASSERT_TRUE (loaded->isValid()) << "its head is sound: it is listed";
    auto node = SourceTree::addArchiveNode (std::move (loaded));
    backups().appendChild (node, nullptr);
    auto* row = dynamic_cast<SourceTreeItem*> (browser().findItemFor (browser().getRootItem(), node));
    ASSERT_NE (row, nullptr);
    EXPECT_EQ (row->getShownLabel(), "Broken");

    select ({ node });
    ASSERT_EQ (running->titles(), juce::StringArray { "Damaged Backup" });
    EXPECT_TRUE (running->boxes[0].message.contains (data.getFullPathName()));
    EXPECT_EQ (row->getShownLabel(), "Broken (damaged)");
    EXPECT_EQ (data.getSize(), (juce::int64) bytes.getSize()) << "the file is left as it is";

    // Named once: coming back to it asks nothing more.
    select ({ page().getDeviceNode() });
    select ({ node });
    EXPECT_EQ (running->boxes.size(), 1u);

    // A data file missing at that moment is not called damaged, and the
    // backup opens once the file is back.
    const auto away = folder.getChildFile ("away.mwd");
    const auto kept = folder.getChildFile ("Kept.xml");
    ASSERT_TRUE (DeviceDataArchive (workspace(), "Kept", {}).save (kept));
    ASSERT_TRUE (kept.withFileExtension ("mwd").moveFileTo (away));
    auto missing = SourceTree::addArchiveNode (ArchiveFiles::load (kept));
    backups().appendChild (missing, nullptr);
    auto* missingRow = dynamic_cast<SourceTreeItem*> (browser().findItemFor (browser().getRootItem(), missing));
    ASSERT_NE (missingRow, nullptr);
    EXPECT_EQ (missingRow->getShownLabel(), "Kept (data missing)");

    select ({ missing });
    ASSERT_EQ (running->titles(), (juce::StringArray { "Damaged Backup", "Backup Data Missing" }));
    EXPECT_TRUE (running->boxes[1].message.contains (kept.withFileExtension ("mwd").getFullPathName()));
    EXPECT_TRUE (kept.existsAsFile()) << "nothing renamed";

    // The file put back, a click on the row still selected looks again: the
    // backup opens, in the grid too.
    auto& grid = page().getDataViewPanel().getPresetContainer();
    const auto slot = userSlots().getFirst();
    ASSERT_EQ (grid.getItem(), missing);
    EXPECT_FALSE (grid.getButton (slot)->isEnabled()) << "nothing to show yet";

    ASSERT_TRUE (away.moveFileTo (kept.withFileExtension ("mwd")));
    running->content().getTabs().setCurrentTabIndex (running->content().getPresetsTabIndex());
    ASSERT_TRUE (running->waitFor ([&] { return page().isShowing(); }));
    ASSERT_TRUE (running->drain());
    browser().getTreeView().scrollToKeepItemVisible (missingRow);
    auto& window = running->window();
    const auto at = window.getLocalPoint (&browser().getTreeView(), browser().getTreeView().findRow (missing)->getItemPosition (true).getCentre());

    for (auto mods : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), juce::ModifierKeys() })
    {
        juce::ModifierKeys::currentModifiers = mods;
        window.getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at.toFloat(), mods, juce::MouseInputSource::defaultPressure,
                                            juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
    }

    ASSERT_TRUE (running->drain());
    EXPECT_TRUE (missingRow->isSelected());
    EXPECT_EQ (missingRow->getShownLabel(), "Kept");
    ASSERT_NE (SourceTree::getDataSet (missing)->getWorkingData(), nullptr) << "it opens";
    ASSERT_EQ (grid.getItem(), missing);
    EXPECT_TRUE (grid.getButton (slot)->isEnabled());
    EXPECT_TRUE (grid.getButton (slot)->getButtonText().endsWith (workspace().getPreset (slot)->getName()));
    EXPECT_EQ (running->boxes.size(), 2u);

    select ({ page().getDeviceNode() });
    select ({ missing });
    EXPECT_EQ (missingRow->getShownLabel(), "Kept");
    EXPECT_TRUE (grid.getButton (slot)->getButtonText().endsWith (workspace().getPreset (slot)->getName()));
    EXPECT_EQ (running->boxes.size(), 2u);
}

TEST (DataPageSources, CloudIsShownOnlyWhenTheServerWasReached)
{
    if (! TestEnvironment::hasDisplay())
        GTEST_SKIP() << "needs a display";

    RunningApp::Options options;
    options.units = "0x12";
    options.settings.set ("dataSyncMethod", "manual");

    auto hasCloud = [] (RunningApp& running)
    {
        auto& page = running.content().getDataPage();
        return SourceTree::findChildWithCategory (page.getRootTree(), cloudCategory).isValid();
    };

    {
        RunningApp online (options);
        ASSERT_TRUE (online.start());
        ASSERT_TRUE (online.waitFor ([&] { return online.content().getDataPage().getDeviceDataSet() != nullptr
                                                  && Nexus::getContentManager()->isProductReady (0x12); }));
        EXPECT_TRUE (hasCloud (online));
    }

    // The same home without the server: the stored content serves, the packs do not.
    options.online = false;
    options.keepHome = true;
    RunningApp offline (options);
    ASSERT_TRUE (offline.start());
    ASSERT_TRUE (offline.waitFor ([&] { return offline.content().getDataPage().getDeviceDataSet() != nullptr; }));
    EXPECT_FALSE (Nexus::getContentManager()->isOnline());
    EXPECT_FALSE (hasCloud (offline));
    EXPECT_TRUE (SourceTree::findChildWithCategory (offline.content().getDataPage().getRootTree(), archiveCategory).isValid());
}
