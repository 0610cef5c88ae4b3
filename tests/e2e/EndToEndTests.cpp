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

        static juce::String run (const juce::StringArray& command)
        {
            juce::ChildProcess process;

            if (! process.start (command))
                return {};

            auto output = process.readAllProcessOutput();
            process.waitForProcessToFinish (10000);
            return output.trim();
        }

        void start()
        {
            ASSERT_TRUE (program.start (BELVORA_PROGRAM, server.getBaseUrl(),
                                        { "BELVORA_SIMULATED_UNITS=2", "BELVORA_SIMULATED_UNITS_LOG=" + unitLogs().getFullPathName() }));
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

        static bool waitFor (std::function<bool()> condition, int timeoutMs = 30000)
        {
            return TestEnvironment::runMessageLoopUntil (std::move (condition), timeoutMs);
        }

        /** The program's window (the first visible one of that name), once it is there. */
        juce::String findWindow (const juce::String& title)
        {
            juce::String id;
            waitFor ([&]
            {
                id = run ({ "xdotool", "search", "--onlyvisible", "--name", "^" + title + "$" }).upToFirstOccurrenceOf ("\n", false, false);
                return id.isNotEmpty() || hasEnded();
            });
            return id;
        }

        juce::Point<int> originOf (const juce::String& window)
        {
            const auto lines = juce::StringArray::fromLines (run ({ "xdotool", "getwindowgeometry", "--shell", window }));
            return { lines[1].fromFirstOccurrenceOf ("=", false, false).getIntValue(),
                     lines[2].fromFirstOccurrenceOf ("=", false, false).getIntValue() };
        }

        /** A left click at a point of the window, in the window's own coordinates. Without a
            window manager nothing focuses a window that is clicked: the click does it. */
        void click (const juce::String& window, int x, int y)
        {
            run ({ "xdotool", "windowfocus", "--sync", window });
            const auto origin = originOf (window);
            run (juce::StringArray { "xdotool", "mousemove", "--sync", juce::String (origin.x + x), juce::String (origin.y + y) });
            run ({ "xdotool", "click", "1" });
        }

        /** "Presets", then the big button that asks for the unit's data; the pages are
            enabled once the unit's connection has settled, so the clicks are tried again
            until then. True once the download wrote the unit's data. */
        bool downloadFromThePresetsTab (const juce::String& window, int waitPerAttemptMs)
        {
            for (int attempt = 0; attempt < 5; ++attempt)
            {
                click (window, 155, 15);
                click (window, 510, 31 + (734 - 31 - 29) / 2);

                if (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); }, waitPerAttemptMs))
                    return true;
            }

            return false;
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

        /** Whether the status bar shows a progress bar now. */
        bool showsProgress (const juce::String& window)
        {
            const auto photo = photograph (window);

            if (! photo.isValid())
                return false;

            const juce::Colour bar (0xff828e98), fill (0xffedce83);

            for (int y = photo.getHeight() - 22; y < photo.getHeight() - 6; y += 2)
                for (int x = 300; x < photo.getWidth() - 150; x += 4)
                    if (const auto c = photo.getPixelAt (x, y); c == bar || c == fill)
                        return true;

            return false;
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
    start();

    const auto window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";

    // The scan at start-up finds both units and connects the first.
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    // "Presets", then the big button that asks for the unit's data.
    click (window, 155, 15);
    click (window, 510, 31 + (734 - 31 - 29) / 2);
    ASSERT_TRUE (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); })) << "the download wrote the unit's data";

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
    waitFor ([&] { return showsProgress (window); }, 3000);
    ASSERT_TRUE (waitFor ([&] { return ! showsProgress (window); }));

    // Ctrl+Q quits; quitting writes the workspace and its unit's data.
    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);

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
    start();

    const auto window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    // The help icon at the right end of the tab bar pops its menu up (a window of its
    // own); its last item is "About Belvora".
    const auto windowsShown = [&] { return juce::StringArray::fromLines (run ({ "xdotool", "search", "--onlyvisible", "--pid",
                                                                                juce::String (program.getPid()), "" })).size(); };
    const auto before = windowsShown();
    bool menuShown = false;

    for (int attempt = 0; attempt < 5 && ! menuShown; ++attempt)
    {
        click (window, 1020 - 10 - 8, 15);
        menuShown = waitFor ([&] { return windowsShown() > before; }, 3000);
    }

    // The menu has the keyboard now.
    ASSERT_TRUE (menuShown);
    run ({ "xdotool", "key", "Up", "Return" });
    const auto about = findWindow ("About Belvora");
    ASSERT_TRUE (about.isNotEmpty());

    keys (about, { "Escape" });
    ASSERT_TRUE (waitFor ([&] { return run ({ "xdotool", "search", "--onlyvisible", "--name", "^About Belvora$" }).isEmpty(); }));

    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);
    EXPECT_FALSE (findFile ("working.mwd").existsAsFile()) << "nothing was downloaded, so nothing is kept";
}

TEST_F (EndToEnd, ASecondProgramHandsOverAndEndsQuietly)
{
    start();
    const auto window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";

    ProgramProcess second { home.getChildFile ("second") };
    ASSERT_TRUE (second.start (BELVORA_PROGRAM, server.getBaseUrl()));

    int status = -1;
    ASSERT_TRUE (waitFor ([&] { return second.hasEnded (status); }));
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0) << "the second program crashed";
    EXPECT_FALSE (second.getDataFolder().getChildFile ("Belvora 2.settings").existsAsFile()) << "it touched no settings";
    EXPECT_FALSE (hasEnded()) << "the first one still runs";

    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);
}

TEST_F (EndToEnd, ClickOnTheSecondUnitsTileConnectsItAndItsDataComesDown)
{
    storeSettings ({ { "dataSyncMethod", "auto" }, { "autoConnectAtStartup", "0" } });
    start();

    const auto window = findWindow ("Belvora 2");
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

    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);
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
    start();

    const auto window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    ASSERT_TRUE (downloadFromThePresetsTab (window, 6000)) << "the download wrote the unit's data";
    waitFor ([&] { return ! showsProgress (window); }, 5000);

    // "Backup All", then the new backup renamed in place: a double click, a name, Return.
    click (window, 422, 60);
    click (window, 160, 279);
    run ({ "xdotool", "click", "--repeat", "2", "--delay", "80", "1" });
    run ({ "xdotool", "key", "ctrl+a" });
    run ({ "xdotool", "type", "Mine" });
    run ({ "xdotool", "key", "Return" });

    // "Export": all presets of the selected backup into one file.
    click (window, 944, 60);
    const auto exportDialog = findWindow ("Export");
    ASSERT_TRUE (exportDialog.isNotEmpty());
    click (exportDialog, 387, 312);
    ASSERT_TRUE (waitFor ([&] { return exported.existsAsFile(); })) << "the export wrote its file";
    waitFor ([&] { return run ({ "xdotool", "search", "--onlyvisible", "--name", "^Export$" }).isNotEmpty(); }, 3000);
    keys (findWindow ("Export"), { "Return" });

    // "Import": the exported file (the last one imported) sent directly to the unit.
    click (window, 881, 60);
    const auto importDialog = findWindow ("Import");
    ASSERT_TRUE (importDialog.isNotEmpty());
    // The destination list opens on "To Workspace", two below "<Send directly to ...>".
    click (importDialog, 150, 157);
    run ({ "xdotool", "key", "Up", "Up", "Return" });
    click (importDialog, 387, 202);
    waitFor ([&] { return showsProgress (window); }, 3000);
    ASSERT_TRUE (waitFor ([&] { return ! showsProgress (window); })) << "the send ended";

    // "Get Data" reads the unit back.
    click (window, 32, 60);
    waitFor ([&] { return showsProgress (window); }, 3000);
    ASSERT_TRUE (waitFor ([&] { return ! showsProgress (window); })) << "the download ended";

    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);

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
    start();

    const auto window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start: is another one open?";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    ASSERT_TRUE (downloadFromThePresetsTab (window, 10000));
    waitFor ([&] { return ! showsProgress (window); }, 5000);

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

    const auto origin = originOf (window);
    const auto moveTo = [&] (juce::Point<int> p)
    {
        run (juce::StringArray { "xdotool", "mousemove", "--sync", juce::String (origin.x + p.x), juce::String (origin.y + p.y) });
    };

    moveTo (from);
    run ({ "xdotool", "mousedown", "1" });

    for (int i = 1; i <= 12; ++i)
        moveTo (from + (to - from) * i / 12);

    run ({ "xdotool", "mouseup", "1" });

    // The drop menu has the keyboard: its first item ("Move" or, without deleting on the unit, "Paste").
    const auto windowsShown = [&] { return juce::StringArray::fromLines (run ({ "xdotool", "search", "--onlyvisible", "--pid",
                                                                                juce::String (program.getPid()), "" })).size(); };
    ASSERT_TRUE (waitFor ([&] { return windowsShown() > 1; }, 5000)) << "the drop menu came up";
    run ({ "xdotool", "key", "Down", "Return" });
    waitFor ([&] { return windowsShown() == 1; }, 5000);

    keys (window, { "ctrl+q" });
    ASSERT_TRUE (waitFor ([&] { return hasEnded(); }));
    EXPECT_TRUE (exitedNormally);

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
