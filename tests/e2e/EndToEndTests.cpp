// The real program, started as a user starts it, against two simulated units
// and the local content server, driven with real mouse and key events
// (xdotool). What the units were sent and what the program wrote are read
// once it has quit. Needs a display (run under xvfb-run) and xdotool.

#include "model/DeviceData.h"
#include "model/SysEx.h"
#include "support/LocalServer.h"
#include "support/ProgramProcess.h"
#include "support/TestEnvironment.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace
{
    class EndToEnd : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            if (run ({ "xdotool", "version" }).isEmpty())
                GTEST_SKIP() << "needs xdotool (scripts/setup installs it)";

            home = TestEnvironment::getHome().getChildFile ("e2e");
            home.deleteRecursively();
            dataFolder().createDirectory();
            ASSERT_TRUE (server.start());
        }

        void TearDown() override
        {
            program.kill();
            server.stop();
            home.deleteRecursively();
        }

        juce::File dataFolder() const   { return home.getChildFile (".config/Marrowell/Belvora 2"); }
        juce::File unitLogs() const     { return home.getChildFile ("unit-logs"); }

        /** Settings as a user's earlier runs would have left them. */
        void storeSettings (const std::map<juce::String, juce::String>& values)
        {
            juce::XmlElement properties ("PROPERTIES");

            for (auto& [key, val] : values)
            {
                auto* value = properties.createNewChildElement ("VALUE");
                value->setAttribute ("name", key);
                value->setAttribute ("val", val);
            }

            ASSERT_TRUE (properties.writeTo (dataFolder().getChildFile ("Belvora 2.settings")));
        }

        /** A tool's output; a tool that hangs is ended rather than holding the test for ever. */
        static juce::String run (const juce::StringArray& command)
        {
            juce::ChildProcess process;

            if (! process.start (command, juce::ChildProcess::wantStdOut))
                return {};

            if (! process.waitForProcessToFinish (10000))
                process.kill();

            return process.readAllProcessOutput().trim();
        }

        void start()
        {
            ASSERT_TRUE (program.start (BELVORA_PROGRAM, server.getBaseUrl(),
                                        { "BELVORA_SIMULATED_UNITS=2", "BELVORA_SIMULATED_UNITS_LOG=" + unitLogs().getFullPathName() }));
        }

        /** Starts the program and returns its main window once it is drawn (a window is
            mapped black before its first paint, and takes no keys until then). */
        juce::String openWindow()
        {
            start();
            const auto window = findWindow ("Belvora 2");

            if (window.isNotEmpty())
                waitForPhoto (window, [] (const juce::Image& photo) { return brightness (photo.getPixelAt (500, 15)) > 600
                                                                             && darkestIn (photo, devicesTabLabel) < 400; });
            return window;
        }

        bool hasEnded()
        {
            const bool wasRunning = program.isRunning();
            int status = 0;

            if (! program.hasEnded (status))
                return false;

            if (wasRunning)
                exitedNormally = WIFEXITED (status) && WEXITSTATUS (status) == 0;

            return true;
        }

        void quit (const juce::String& window)
        {
            keys (window, { "ctrl+q" });
            ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
            EXPECT_TRUE (exitedNormally);
        }

        static bool waitFor (std::function<bool()> condition, int timeoutMs = 30000)
        {
            return TestEnvironment::runMessageLoopUntil (std::move (condition), timeoutMs);
        }

        /** The program's window (the first visible one of that name), once it is there. */
        juce::String findWindow (const juce::String& title)
        {
            juce::String id;
            waitFor ([&] { return (id = searchWindow (title)).isNotEmpty() || hasEnded(); });
            return id;
        }

        /** A visible window of that name now, if there is one. */
        static juce::String searchWindow (const juce::String& title)
        {
            return run ({ "xdotool", "search", "--onlyvisible", "--name", "^" + title + "$" }).upToFirstOccurrenceOf ("\n", false, false);
        }

        static bool isShown (const juce::String& title)
        {
            return searchWindow (title).isNotEmpty();
        }

        bool waitUntilGone (const juce::String& title)
        {
            return waitFor ([&] { return ! isShown (title); });
        }

        /** A pop-up menu or list of the program (the framework names their windows "menu"). */
        juce::String findMenu() const
        {
            return run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (program.getPid()), "--name", "^menu$" })
                       .upToFirstOccurrenceOf ("\n", false, false);
        }

        /** True once a menu is shown. It is modal from then on: keys to the main window go to it. */
        bool waitForMenu()
        {
            return waitFor ([&] { return findMenu().isNotEmpty(); });
        }

        juce::Rectangle<int> geometryOf (const juce::String& window)
        {
            const auto lines = juce::StringArray::fromLines (run ({ "xdotool", "getwindowgeometry", "--shell", window }));
            const auto value = [&] (int line) { return lines[line].fromFirstOccurrenceOf ("=", false, false).getIntValue(); };
            return { value (1), value (2), value (3), value (4) };
        }

        juce::Point<int> originOf (const juce::String& window)
        {
            return geometryOf (window).getPosition();
        }

        /** Moves the pointer to a point of the screen. Without --sync, which waits for a
            motion that never comes when the pointer is there already. */
        void moveMouse (juce::Point<int> screen)
        {
            run ({ "xdotool", "mousemove", juce::String (screen.x), juce::String (screen.y) });
            waitFor ([&]
            {
                const auto lines = juce::StringArray::fromLines (run ({ "xdotool", "getmouselocation", "--shell" }));
                return lines[0] == "X=" + juce::String (screen.x) && lines[1] == "Y=" + juce::String (screen.y);
            }, 5000);
        }

        /** A left click at a point of the window, in the window's own coordinates. Without a
            window manager nothing focuses a window that is clicked: the click does it. */
        void click (const juce::String& window, int x, int y)
        {
            run ({ "xdotool", "windowfocus", "--sync", window });
            moveMouse (originOf (window) + juce::Point<int> (x, y));
            run ({ "xdotool", "click", "1" });
        }

        /** "Presets" once the tab is enabled (the unit's connection has settled), then the
            big button that asks for the unit's data. True once the download wrote the
            unit's data and the page is idle again. */
        bool downloadFromThePresetsTab (const juce::String& window)
        {
            if (! reached (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, presetsTabLabel) < 400; }), "the presets tab enabled"))
                return false;

            click (window, 155, 15);

            if (! reached (waitForPhoto (window, [] (const juce::Image& photo) { return photo.getPixelAt (syncButton.x, syncButton.y) == juce::Colour (0xff788791); }),
                           "the presets tab's big button"))
                return false;

            click (window, syncButton.x, syncButton.y);
            return reached (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); }), "the unit's data written")
                && reached (waitUntilIdle (window), "the page idle after the download");
        }

        /** Says which step of a helper did not come about. */
        static bool reached (bool ok, const char* what)
        {
            if (! ok)
                ADD_FAILURE() << "not reached: " << what;

            return ok;
        }

        /** Until no transfer runs: the status bar shows no progress and the toolbar is enabled. */
        bool waitUntilIdle (const juce::String& window)
        {
            return waitForPhoto (window, [] (const juce::Image& photo) { return ! showsProgress (photo) && darkestIn (photo, getDataIcon) < 400; });
        }

        /** The transfer a question or dialog started when it was answered: the pages are
            disabled before the dialog's window goes, and enabled again at the transfer's end. */
        bool waitForTransferStartedBy (const juce::String& dialog, const juce::String& window)
        {
            return reached (waitUntilGone (dialog), "the dialog gone") && reached (waitUntilIdle (window), "the page idle after the transfer");
        }

        /** A drag with the left button, in steps, between two points of the window. */
        void drag (const juce::String& window, juce::Point<int> from, juce::Point<int> to)
        {
            const auto origin = originOf (window);
            moveMouse (origin + from);
            run ({ "xdotool", "mousedown", "1" });

            for (int i = 1; i <= 12; ++i)
                moveMouse (origin + from + (to - from) * i / 12);

            run ({ "xdotool", "mouseup", "1" });
        }

        /** The unit's data downloaded, then "Backup All" and "Backup User": two rows under "Backups". */
        juce::String openWindowWithTwoBackups()
        {
            // "previous" keeps unsent edits between runs: quitting asks nothing.
            storeSettings ({ { "dataSyncMethod", "previous" } });
            const auto window = openWindow();

            if (window.isEmpty() || ! downloadFromThePresetsTab (window))
                return {};

            click (window, 422, 60);

            if (! reached (waitForBackupRow (window, 0), "the first backup's row"))
                return {};

            click (window, 296, 60);
            return reached (waitForBackupRow (window, 1), "the second backup's row") ? window : juce::String();
        }

        /** The rows under "Backups" (with the unit's data shown above them). */
        static int backupRowY (int row)     { return 279 + 24 * row; }

        bool waitForBackupRow (const juce::String& window, int row)
        {
            // Right of "Cloud", which the new rows push down.
            const juce::Rectangle<int> title (130, backupRowY (row) - 7, 110, 14);
            return waitForPhoto (window, [title] (const juce::Image& photo) { return darkestIn (photo, title) < 400; });
        }

        /** What each backup of the index file holds ("All", "User"), in the index's order. */
        juce::StringArray backupKindsInIndex() const
        {
            juce::StringArray kinds;
            const auto index = juce::parseXML (findFile ("*_backup.xml"));

            if (index != nullptr)
                for (auto* set : index->getChildWithTagNameIterator ("set"))
                    if (auto* group = set->getChildByName ("group"))
                        for (auto* archive : group->getChildWithTagNameIterator ("archive"))
                            if (const auto entry = juce::parseXML (juce::File (archive->getAllSubText().trim())))
                                kinds.add (entry->getChildElementAllSubText ("title", {}).fromLastOccurrenceOf ("(", false, false).upToFirstOccurrenceOf (")", false, false));

            return kinds;
        }

        void keys (const juce::String& window, const juce::StringArray& sequence)
        {
            run ({ "xdotool", "windowfocus", "--sync", window });

            for (auto& k : sequence)
                run ({ "xdotool", "key", k });
        }

        juce::Image photograph (const juce::String& window)
        {
            const auto file = home.getChildFile ("photo.png");
            run ({ "import", "-window", window, file.getFullPathName() });
            return juce::ImageFileFormat::loadFrom (file);
        }

        bool waitForPhoto (const juce::String& window, std::function<bool (const juce::Image&)> test, int timeoutMs = 30000)
        {
            return waitFor ([&]
            {
                const auto photo = photograph (window);
                return photo.isValid() && test (photo);
            }, timeoutMs);
        }

        /** Whether the status bar shows a progress bar. */
        static bool showsProgress (const juce::Image& photo)
        {
            const juce::Colour bar (0xff828e98), fill (0xffedce83);

            for (int y = photo.getHeight() - 22; y < photo.getHeight() - 6; y += 2)
                for (int x = 300; x < photo.getWidth() - 150; x += 4)
                    if (const auto c = photo.getPixelAt (x, y); c == bar || c == fill)
                        return true;

            return false;
        }

        static int brightness (juce::Colour c)
        {
            return c.getRed() + c.getGreen() + c.getBlue();
        }

        /** The darkest pixel of an area: text and icons drawn disabled are pale. */
        static int darkestIn (const juce::Image& photo, juce::Rectangle<int> area)
        {
            int darkest = 765;

            for (int y = area.getY(); y < juce::jmin (area.getBottom(), photo.getHeight()); ++y)
                for (int x = area.getX(); x < juce::jmin (area.getRight(), photo.getWidth()); ++x)
                    darkest = juce::jmin (darkest, brightness (photo.getPixelAt (x, y)));

            return darkest;
        }

        /** How many pixels of an area of the window's photo have that colour. */
        int countColour (const juce::String& window, juce::Rectangle<int> area, juce::Colour colour)
        {
            const auto photo = photograph (window);
            int n = 0;

            if (photo.isValid())
                for (int y = area.getY(); y < juce::jmin (area.getBottom(), photo.getHeight()); ++y)
                    for (int x = area.getX(); x < juce::jmin (area.getRight(), photo.getWidth()); ++x)
                        n += photo.getPixelAt (x, y) == colour ? 1 : 0;

            return n;
        }

        juce::File findFile (const juce::String& name) const
        {
            auto found = home.findChildFiles (juce::File::findFiles, true, name);
            return found.isEmpty() ? juce::File() : found.getFirst();
        }

        /** The commands of the messages a unit received, in order. */
        juce::Array<int> receivedCommands (int unit) const
        {
            juce::MemoryBlock bytes;
            unitLogs().getChildFile ("unit-" + juce::String (unit) + ".syx").loadFileAsData (bytes);

            juce::Array<int> commands;
            const auto* b = static_cast<const uint8_t*> (bytes.getData());

            for (size_t i = 0; i + 6 < bytes.getSize(); ++i)
                if (b[i] == SysEx::startByte)
                    commands.add (b[i + 6]);

            return commands;
        }

        int connectionEvents() const
        {
            return server.countRequests ("/belvora-2/php/tracking-1.0/db_device_connect.php");
        }

        // Places of the main window at scale 1.
        static inline const juce::Rectangle<int> devicesTabLabel { 10, 6, 80, 18 }, presetsTabLabel { 130, 6, 55, 18 },
                                                 getDataIcon { 12, 36, 40, 30 }, redoIcon { 792, 36, 40, 30 };
        static inline const juce::Point<int> syncButton { 510, 300 };   // the arrow of the presets tab's big button

        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
        juce::File home;
        ProgramProcess program { TestEnvironment::getHome().getChildFile ("e2e") };
        bool exitedNormally = false;
    };
}

// One program at a time: it refuses to run twice.
TEST_F (EndToEnd, UnitConnectsDataComesDownAndTheSetupGoesBackFromTheWindow)
{
    storeSettings ({ { "dataSyncMethod", "manual" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";

    // The scan at start-up finds both units and connects the first.
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));
    ASSERT_TRUE (downloadFromThePresetsTab (window)) << "the download wrote the unit's data";

    auto synced = DeviceData::loadFromFile (findFile ("sync.mwd"));
    ASSERT_NE (synced, nullptr);
    EXPECT_EQ (synced->getProductName(), "Vesper");
    EXPECT_GT (synced->getNumPresets(), 0);
    EXPECT_TRUE (synced->getSetup().isComplete());

    // "Send Setup" on the toolbar; the question is answered with the Return key.
    click (window, 227, 60);
    const auto question = findWindow ("Confirm Send Setup");
    ASSERT_TRUE (question.isNotEmpty());
    keys (question, { "Return" });
    ASSERT_TRUE (waitForTransferStartedBy ("Confirm Send Setup", window));

    // Ctrl+Q quits; quitting writes the workspace and its unit's data.
    quit (window);

    const auto sent = receivedCommands (0);
    EXPECT_EQ (sent.getFirst(), SysEx::cmdIdentity);
    EXPECT_GE (sent.indexOf (SysEx::cmdPresetRequest), 0) << "the download asked for the presets";
    EXPECT_GE (sent.indexOf (SysEx::cmdSetupRequest), 0) << "and for the setup";
    EXPECT_EQ ((int) std::count (sent.begin(), sent.end(), (int) SysEx::cmdSetupData), synced->getSetup().getNumMidiMessages()) << "the whole setup went back to the unit";
    EXPECT_LT (sent.indexOf (SysEx::cmdSetupRequest), sent.indexOf (SysEx::cmdSetupData));
    EXPECT_EQ (receivedCommands (1).indexOf (SysEx::cmdPresetRequest), -1) << "the other unit was only identified";

    EXPECT_TRUE (findFile ("working.mwd").existsAsFile());
}

TEST_F (EndToEnd, MenusOpenFromTheIconsAndAnswerTheKeyboard)
{
    storeSettings ({ { "dataSyncMethod", "manual" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    // The help icon at the right end of the tab bar pops its menu up (a window of its
    // own); its last item is "About Belvora".
    click (window, 1020 - 10 - 8, 15);
    ASSERT_TRUE (waitForMenu());

    // The menu has the keyboard now.
    run ({ "xdotool", "key", "Up", "Return" });
    const auto about = findWindow ("About Belvora");
    ASSERT_TRUE (about.isNotEmpty());

    keys (about, { "Escape" });
    ASSERT_TRUE (waitUntilGone ("About Belvora"));

    quit (window);
    EXPECT_FALSE (findFile ("working.mwd").existsAsFile()) << "nothing was downloaded, so nothing is kept";
}

TEST_F (EndToEnd, ASecondProgramHandsOverAndEndsQuietly)
{
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";

    ProgramProcess second { home.getChildFile ("second") };
    ASSERT_TRUE (second.start (BELVORA_PROGRAM, server.getBaseUrl()));

    int status = -1;
    ASSERT_TRUE (waitFor ([&] { return second.hasEnded (status); }));
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0) << "the second program crashed";
    EXPECT_FALSE (second.getDataFolder().getChildFile ("Belvora 2.settings").existsAsFile()) << "it touched no settings";
    EXPECT_FALSE (hasEnded()) << "the first one still runs";

    quit (window);
}

TEST_F (EndToEnd, ClickOnTheSecondUnitsTileConnectsItAndItsDataComesDown)
{
    storeSettings ({ { "dataSyncMethod", "auto" }, { "autoConnectAtStartup", "0" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";

    // The devices tab at scale 1: the second tile spans x 240 to 460 of the page and starts
    // below the tab bar, the toolbar and the panel's header. Its rim shows once the scan is done.
    const juce::Rectangle<int> secondTile (245, 130, 210, 150);
    const juce::Colour rim (0xff80919c), connectedRim (0xff086da6);
    ASSERT_TRUE (waitFor ([&] { return countColour (window, secondTile, rim) > 100; })) << "the tiles after the scan";
    EXPECT_EQ (connectionEvents(), 0) << "nothing connects by itself";

    click (window, 350, 215);
    ASSERT_TRUE (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); })) << "connected, the unit's data came down";
    EXPECT_GT (countColour (window, secondTile, connectedRim), 100) << "the tile shows its unit connected";

    auto synced = DeviceData::loadFromFile (findFile ("sync.mwd"));
    ASSERT_NE (synced, nullptr);
    EXPECT_EQ (synced->getProductName(), "Quill Duo");

    quit (window);
    EXPECT_GE (receivedCommands (1).indexOf (SysEx::cmdPresetRequest), 0) << "the clicked unit was read";
    EXPECT_EQ (receivedCommands (0).indexOf (SysEx::cmdPresetRequest), -1) << "the first unit was only identified";
}

TEST_F (EndToEnd, PresetsGoThroughABackupAndASysExFileBackToTheUnit)
{
    const auto exportFolder = home.getChildFile ("exports");
    const auto today = juce::Time::getCurrentTime();
    const auto exported = exportFolder.getChildFile (juce::String::formatted ("AllPresets_%d_%d_%d.syx", today.getDayOfMonth(), today.getMonth() + 1, today.getYear()));
    storeSettings ({ { "dataSyncMethod", "manual" }, { "exportFolder", exportFolder.getFullPathName() },
                     { "lastImportFile", exported.getFullPathName() } });
    ASSERT_TRUE (exportFolder.createDirectory());
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    ASSERT_TRUE (downloadFromThePresetsTab (window)) << "the download wrote the unit's data";

    // "Backup All", then the new backup renamed in place: a double click, a name, Return.
    click (window, 422, 60);
    ASSERT_TRUE (waitForBackupRow (window, 0)) << "the backup is in the browser";
    click (window, 160, backupRowY (0));
    run ({ "xdotool", "click", "--repeat", "2", "--delay", "80", "1" });
    const auto editing = [] (const juce::Image& photo) { return photo.getPixelAt (100, backupRowY (0)) == juce::Colour (0xfffdfeff); };
    ASSERT_TRUE (waitForPhoto (window, editing)) << "the title is being edited";
    run ({ "xdotool", "key", "ctrl+a" });
    run ({ "xdotool", "type", "Mine" });
    run ({ "xdotool", "key", "Return" });
    ASSERT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo) { return ! editing (photo); }));

    // "Export": all presets of the selected backup into one file; a message of the same title says so.
    click (window, 944, 60);
    const auto exportDialog = findWindow ("Export");
    ASSERT_TRUE (exportDialog.isNotEmpty());
    click (exportDialog, 387, 312);
    ASSERT_TRUE (waitFor ([&] { return exported.existsAsFile(); })) << "the export wrote its file";
    juce::String exportMessage;
    ASSERT_TRUE (waitFor ([&] { exportMessage = searchWindow ("Export"); return exportMessage.isNotEmpty() && exportMessage != exportDialog; }));
    keys (exportMessage, { "Return" });
    ASSERT_TRUE (waitUntilGone ("Export"));

    // "Import": the exported file (the last one imported) sent directly to the unit.
    click (window, 881, 60);
    const auto importDialog = findWindow ("Import");
    ASSERT_TRUE (importDialog.isNotEmpty());
    // The destination list opens on "To Workspace", two below "<Send directly to ...>".
    click (importDialog, 150, 157);
    ASSERT_TRUE (waitForMenu()) << "the list is open";
    run ({ "xdotool", "key", "Up", "Up", "Return" });
    ASSERT_TRUE (waitFor ([&] { return findMenu().isEmpty(); }));
    click (importDialog, 387, 202);
    ASSERT_TRUE (waitForTransferStartedBy ("Import", window)) << "the send ended";

    // "Get Data" reads the unit back; what it read replaces the unit's data file.
    const auto readBefore = findFile ("sync.mwd").getLastModificationTime();
    click (window, 32, 60);
    ASSERT_TRUE (waitFor ([&] { return findFile ("sync.mwd").getLastModificationTime() != readBefore; })) << "the download ended";
    ASSERT_TRUE (waitUntilIdle (window));

    quit (window);

    // The unit was read, sent the file's presets, and read again.
    juce::Array<juce::MidiMessage> messages;
    ASSERT_TRUE (SysEx::readFile (exported, messages));
    const auto fileData = (int) std::count_if (messages.begin(), messages.end(), [] (const juce::MidiMessage& m) { return m.getRawData()[6] == SysEx::cmdPresetData; });
    const auto received = receivedCommands (0);
    const auto firstData = received.indexOf (SysEx::cmdPresetData);
    EXPECT_GT (fileData, 0);
    EXPECT_EQ ((int) std::count (received.begin(), received.end(), (int) SysEx::cmdPresetData), fileData) << "every preset of the file went to the unit";
    ASSERT_GE (firstData, 0);
    EXPECT_LT (received.indexOf (SysEx::cmdPresetRequest), firstData);
    EXPECT_NE (std::find (received.begin() + firstData, received.end(), (int) SysEx::cmdPresetRequest), received.end()) << "and was read back after";

    auto synced = DeviceData::loadFromFile (findFile ("sync.mwd"));
    ASSERT_NE (synced, nullptr);
    EXPECT_GT (synced->getNumPresets(), 0);

    // The backup and its new name were written when the program quit.
    const auto index = findFile ("*_backup.xml");
    ASSERT_TRUE (index.existsAsFile()) << "the backup index was written";
    bool renamed = false;

    for (auto& f : index.getParentDirectory().findChildFiles (juce::File::findFiles, false, "*.xml"))
        renamed = renamed || (f != index && f.loadFileAsString().contains ("Mine"));

    EXPECT_TRUE (renamed) << "the backup's archive file holds its new title";
    EXPECT_EQ (index.getParentDirectory().findChildFiles (juce::File::findFiles, false, "*.mwd").size(), 1);
}

TEST_F (EndToEnd, APresetDraggedInTheGridWithTheMouseLandsWhereItWasDropped)
{
    // "previous" keeps unsent edits between runs: quitting asks nothing.
    storeSettings ({ { "dataSyncMethod", "previous" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "1.0" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (downloadFromThePresetsTab (window));

    // The grid fills the workspace panel right of the browser (30 % of the width and the
    // bar), under the tab bar, the toolbar and the panel's header: cells of 125 x 25
    // sharing their edges, as many to a row as fit.
    const auto width = 1020, gridX = 306 + 8, gridY = 31 + 64 + 20;
    const auto columns = (width - gridX) / 125, cellWidth = (width - gridX) / columns;
    const auto centreOf = [&] (int slot)
    {
        const auto i = slot - 1;
        return juce::Point<int> (gridX + (i % columns) * (cellWidth - 1) + cellWidth / 2, gridY + (i / columns) * 24 + 12);
    };

    const auto from = centreOf (1), to = centreOf (columns + 3);
    click (window, from.x, from.y);   // selects slot 1

    drag (window, from, to);

    // The drop menu has the keyboard: its first item ("Move" or, without deleting on the unit, "Paste").
    ASSERT_TRUE (waitForMenu()) << "the drop menu came up";
    run ({ "xdotool", "key", "Down", "Return" });
    ASSERT_TRUE (waitFor ([&] { return findMenu().isEmpty(); }));

    quit (window);

    const auto unit = DeviceData::loadFromFile (findFile ("sync.mwd"));
    const auto work = DeviceData::loadFromFile (findFile ("working.mwd"));
    ASSERT_NE (unit, nullptr);
    ASSERT_NE (work, nullptr);
    const auto target = columns + 3;
    ASSERT_TRUE (unit->isPresetSlotUsed (1));
    ASSERT_TRUE (! unit->isPresetSlotUsed (target) || unit->getPreset (target)->getName() != unit->getPreset (1)->getName())
        << "the unit's own preset there would pass for the dropped one";
    ASSERT_TRUE (work->isPresetSlotUsed (target)) << "the dropped preset is in the slot it was dropped on";
    EXPECT_EQ (work->getPreset (target)->getName(), unit->getPreset (1)->getName());

    for (int slot = 2; slot < work->getNumSlots(); ++slot)
    {
        if (slot != target)
        {
            EXPECT_EQ (work->getPreset (slot) != nullptr, unit->getPreset (slot) != nullptr) << "slot " << slot << " untouched";
        }
    }
}


TEST_F (EndToEnd, ABackupDraggedInTheBrowserMovesAmongTheBackups)
{
    const auto window = openWindowWithTwoBackups();
    ASSERT_TRUE (window.isNotEmpty());

    // The first row onto the lower half of the second: after it, among the backups.
    drag (window, { 160, backupRowY (0) }, { 160, backupRowY (1) + 7 });

    quit (window);
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "User", "All" }));
}

TEST_F (EndToEnd, UndoPutsABackupDraggedInTheBrowserBack)
{
    const auto window = openWindowWithTwoBackups();
    ASSERT_TRUE (window.isNotEmpty());

    drag (window, { 160, backupRowY (0) }, { 160, backupRowY (1) + 7 });
    click (window, 749, 60);   // "Undo"
    ASSERT_TRUE (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, redoIcon) < 400; })) << "the move was undone";

    quit (window);
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "All", "User" }));
}

TEST_F (EndToEnd, ABackupAndARenamedPresetOutliveAKilledProgram)
{
    storeSettings ({ { "dataSyncMethod", "previous" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "1.0" } });
    auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (downloadFromThePresetsTab (window));

    // The first preset of the workspace renamed in its details: a double click on its cell, a name, Return.
    const juce::Point<int> firstCell (306 + 8 + 40, 31 + 64 + 20 + 12);
    click (window, firstCell.x, firstCell.y);
    run ({ "xdotool", "click", "--repeat", "2", "--delay", "80", "1" });
    run ({ "xdotool", "key", "ctrl+a" });
    run ({ "xdotool", "type", "Kept" });
    run ({ "xdotool", "key", "Return" });

    // "Backup All".
    click (window, 422, 60);
    ASSERT_TRUE (waitForBackupRow (window, 0)) << "the backup is in the browser";

    // Both reach the disk while the program runs on; then it is killed outright.
    const auto firstPresetName = [this]
    {
        const auto work = DeviceData::loadFromFile (findFile ("working.mwd"));
        return work != nullptr && work->getPreset (1) != nullptr ? work->getPreset (1)->getName() : juce::String();
    };

    ASSERT_TRUE (waitFor ([&] { return firstPresetName() == "Kept" && backupKindsInIndex() == juce::StringArray ({ "All" }); }))
        << "working.mwd holds \"" << firstPresetName() << "\", the index " << backupKindsInIndex().size() << " backups";
    program.kill();

    // Started again: the stored workspace comes back without a download (the big sync button
    // shows only while the page waits for one), and the backups are read back into the browser.
    const auto indexFile = findFile ("*_backup.xml");
    const auto killedAt = indexFile.getLastModificationTime();
    window = openWindow();
    ASSERT_TRUE (window.isNotEmpty());
    ASSERT_TRUE (reached (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, presetsTabLabel) < 400; }), "the presets tab enabled"));
    click (window, 155, 15);
    EXPECT_TRUE (waitForPhoto (window, [] (const juce::Image& photo) { return photo.getPixelAt (syncButton.x, syncButton.y) != juce::Colour (0xff788791); }))
        << "the stored workspace is shown, not the big sync button";

    // Quitting writes the index from the browser's tree: the backup was in it.
    quit (window);
    EXPECT_GT (indexFile.getLastModificationTime(), killedAt);
    EXPECT_EQ (firstPresetName(), "Kept");
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "All" }));
}
