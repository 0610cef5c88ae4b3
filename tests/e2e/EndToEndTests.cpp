// The real program, started as a user starts it, against two simulated units
// and the local content server, driven with real mouse and key events
// (xdotool). What the units were sent and what the program wrote are read
// once it has quit. Each test has an X display of its own (Xvfb), so tests
// run side by side without taking each other's pointer or keyboard; needs
// xdotool.

#include "content/ContentReader.h"
#include "model/DeviceData.h"
#include "model/SysEx.h"
#include "support/LocalServer.h"
#include "support/OddFiles.h"
#include "support/PrivateDisplay.h"
#include "support/ProgramProcess.h"
#include "support/TestEnvironment.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

namespace
{
    class EndToEnd : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! display.isReady())
                GTEST_SKIP() << "needs Xvfb (scripts/setup installs it)";

            display.makeCurrent();

            if (run ({ "xdotool", "version" }).isEmpty())
                GTEST_SKIP() << "needs xdotool (scripts/setup installs it)";

            home = TestEnvironment::getHome().getChildFile ("e2e");
            home.deleteRecursively();
            dataFolder().createDirectory();
            ASSERT_TRUE (server.start());
        }

        void TearDown() override
        {
            // What the program asked of the server, for a failure that started there.
            if (HasFailure())
            {
                std::cerr << "requests to the local server:\n";

                for (const auto& request : server.getRequests())
                    std::cerr << "  " << request.method << " " << request.path << "\n";

                // A box in the way is the commonest cause: its title says which.
                std::cerr << "windows shown:\n  "
                          << run ({ "xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@" }).replace ("\n", "\n  ") << "\n";
            }

            // What the program showed and wrote, kept for a look at a failure.
            if (const auto keep = juce::SystemStats::getEnvironmentVariable ("BELVORA_E2E_KEEP", {}); HasFailure() && keep.isNotEmpty())
            {
                const auto folder = juce::File (keep).getNonexistentChildFile ("failed", {});
                folder.createDirectory();
                run ({ "import", "-window", "root", folder.getChildFile ("screen.png").getFullPathName() });
                home.copyDirectoryTo (folder.getChildFile ("home"));
            }
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

        void start (const juce::StringArray& environment = {})
        {
            // The windows of a program that ended stay until the X server reads its hang-up:
            // found by title meanwhile, they would be taken for the new one's and soon be gone.
            if (lastPid > 0 && ! program.isRunning())
                waitFor ([&] { return run ({ "xdotool", "search", "--pid", juce::String (lastPid) }).isEmpty(); }, 10000);

            juce::StringArray variables { "BELVORA_SIMULATED_UNITS=2", "BELVORA_SIMULATED_UNITS_LOG=" + unitLogs().getFullPathName() };
            variables.addArray (environment);
            ASSERT_TRUE (program.start (BELVORA_PROGRAM, server.getBaseUrl(), variables));
            lastPid = program.getPid();
        }

        /** Starts the program and returns its main window once it is drawn (a window is
            mapped black before its first paint, and takes no keys until then). */
        juce::String openWindow (const juce::StringArray& environment = {})
        {
            start (environment);
            const auto window = findWindow ("Belvora 2");

            if (window.isNotEmpty())
                waitForPhoto (window, showsItsTabs);
            return window;
        }

        /** The main window with its tab bar drawn. */
        static bool showsItsTabs (const juce::Image& photo)
        {
            return brightness (photo.getPixelAt (500, 15)) > 600 && darkestIn (photo, devicesTabLabel) < 400;
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
            ASSERT_TRUE (repeatUntil ([&] { if (isShown ("Belvora 2")) keys (window, { "ctrl+q" }); }, [&] { return hasEnded(); }));
            EXPECT_TRUE (exitedNormally);
        }

        static bool waitFor (std::function<bool()> condition, int timeoutMs = 30000)
        {
            return TestEnvironment::runMessageLoopUntil (std::move (condition), timeoutMs);
        }

        /** The program's window (the first visible one of that name), once it is drawn: a
            window is mapped black before its first paint, and takes no input until then. */
        juce::String findWindow (const juce::String& title)
        {
            juce::String id;
            bool drawn = false;
            waitFor ([&] { return (drawn = (id = searchWindow (title)).isNotEmpty() && isDrawn (photograph (id))) || hasEnded(); });
            return drawn ? id : juce::String();
        }

        /** Whether a window shows anything yet. */
        static bool isDrawn (const juce::Image& photo)
        {
            for (int y = 0; y < photo.getHeight(); y += 2)
                for (int x = 0; x < photo.getWidth(); x += 2)
                    if (brightness (photo.getPixelAt (x, y)) > 90)
                        return true;

            return false;
        }

        /** Sends an input again until its effect shows: an input that reaches a window
            before the window is ready is lost. Each try waits long enough for a slow
            machine; the effect must be one a second input cannot undo. */
        bool repeatUntil (std::function<void()> input, std::function<bool()> effect, int timeoutMs = 30000)
        {
            const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

            do
            {
                input();

                if (waitFor (effect, 10000))
                    return true;
            }
            while (juce::Time::getMillisecondCounter() < deadline && ! hasEnded());

            return false;
        }

        /** Keys to a window until the window is gone. */
        bool keysUntilGone (const juce::String& window, const juce::String& title, const juce::StringArray& sequence)
        {
            return repeatUntil ([&] { if (isShown (title)) keys (window, sequence); }, [&] { return ! isShown (title); });
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

        /** True once a menu is shown and drawn. It is modal from then on: keys to the main window go to it. */
        bool waitForMenu()
        {
            return waitFor ([&] { return menuShown(); });
        }

        bool menuShown()
        {
            const auto menu = findMenu();
            return menu.isNotEmpty() && isDrawn (photograph (menu));
        }

        /** A key to the open menu, again until the menu shows it moved its highlight. */
        bool moveInMenu (const juce::String& key)
        {
            const auto menu = findMenu();
            const auto before = photograph (menu);
            return menu.isNotEmpty()
                && repeatUntil ([&] { run ({ "xdotool", "key", key }); }, [&] { return ! samePicture (photograph (menu), before); });
        }

        /** Return to the open menu until it is gone. */
        bool chooseInMenu()
        {
            return repeatUntil ([&] { if (findMenu().isNotEmpty()) run ({ "xdotool", "key", "Return" }); }, [&] { return findMenu().isEmpty(); });
        }

        static bool samePicture (const juce::Image& a, const juce::Image& b)
        {
            if (! a.isValid() || ! b.isValid() || a.getBounds() != b.getBounds())
                return false;

            for (int y = 0; y < a.getHeight(); ++y)
                for (int x = 0; x < a.getWidth(); ++x)
                    if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                        return false;

            return true;
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
            waitForPhoto (window, isDrawn);
            run ({ "xdotool", "windowfocus", "--sync", window });
            moveMouse (originOf (window) + juce::Point<int> (x, y));
            run ({ "xdotool", "click", "1" });
        }

        /** "Presets" once the tab is enabled (the unit's connection has settled), then the
            big button that asks for the unit's data. True once the download wrote the
            unit's data and the page is idle again. */
        bool downloadFromThePresetsTab (const juce::String& window)
        {
            if (! startDownloadFromThePresetsTab (window))
                return false;

            // A download that did not start, or ended in the big button again, is asked for again.
            if (! reached (repeatUntil ([&] { clickBigButton (window); }, [&] { return findFile ("sync.mwd").existsAsFile(); }, 60000),
                           "the unit's data written"))
                return false;

            return reached (waitUntilIdle (window), "the page idle after the download");
        }

        /** Opens the presets tab and clicks its big button until the page takes the click. */
        bool startDownloadFromThePresetsTab (const juce::String& window)
        {
            if (! reached (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, presetsTabLabel) < 400; }), "the presets tab enabled"))
                return false;

            if (! reached (repeatUntil ([&] { click (window, 155, 15); }, [&] { return showsBigButton (window); }), "the presets tab's big button"))
                return false;

            return reached (repeatUntil ([&] { clickBigButton (window); },
                                         [&] { return ! showsBigButton (window) || findFile ("sync.mwd").existsAsFile(); }), "the download started");
        }

        /** The big button, if it is drawn enabled, clicked; then the pointer is taken off it:
            under the pointer the button is drawn darker, as if it were gone. */
        void clickBigButton (const juce::String& window)
        {
            if (! showsBigButton (window))
                return;

            click (window, syncButton.x, syncButton.y);
            moveMouse (originOf (window) + pointerRest);
        }

        /** The big button drawn enabled, the pointer off it. */
        bool showsBigButton (const juce::String& window)
        {
            const auto photo = photograph (window);
            return photo.isValid() && photo.getPixelAt (syncButton.x, syncButton.y) == juce::Colour (0xff788791);
        }

        /** A toolbar item, once it is enabled (its icon drawn dark). */
        bool clickToolbar (const juce::String& window, int x)
        {
            const juce::Rectangle<int> icon (x - 20, 36, 40, 30);
            if (! reached (waitForPhoto (window, [icon] (const juce::Image& photo) { return darkestIn (photo, icon) < 400; }), "the toolbar item enabled"))
                return false;

            click (window, x, 60);
            return true;
        }

        /** A toolbar item that opens a window of that title, clicked again until the window is drawn. */
        juce::String openFromToolbar (const juce::String& window, int x, const juce::String& title)
        {
            juce::String opened;
            repeatUntil ([&] { if (! isShown (title)) clickToolbar (window, x); },
                         [&] { return (opened = searchWindow (title)).isNotEmpty() && isDrawn (photograph (opened)); });
            return opened;
        }

        /** Says which step of a helper did not come about, and which boxes of the program
            stood in its way. */
        bool reached (bool ok, const char* what) const
        {
            if (! ok)
                ADD_FAILURE() << "not reached: " << what << "; shown: " << shownWindowTitles().joinIntoString (", ");

            return ok;
        }

        juce::StringArray shownWindowTitles() const
        {
            juce::StringArray titles;

            for (auto& id : juce::StringArray::fromLines (run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (program.getPid()), "--name", "." })))
                if (id.isNotEmpty())
                    titles.add ("\"" + run ({ "xdotool", "getwindowname", id }) + "\"");

            return titles;
        }

        /** Until no transfer runs: the status bar shows no progress and the toolbar is enabled. */
        bool waitUntilIdle (const juce::String& window)
        {
            return waitForPhoto (window, [] (const juce::Image& photo) { return ! showsProgress (photo) && darkestIn (photo, getDataIcon) < 400; });
        }

        /** Where the title of a backup row ends ("(User)" ends further right than "(All)"); the
            title is drawn pale while its row is dragged, on a lighter ground once selected. */
        static int titleEndOfRow (const juce::Image& photo, int row)
        {
            const auto y0 = backupRowY (row) - 8;
            std::map<juce::uint32, int> colours;

            for (int y = y0; y < y0 + 16; ++y)
                for (int x = 80; x < 300; ++x)
                    ++colours[photo.getPixelAt (x, y).getARGB()];

            const auto ground = brightness (juce::Colour (std::max_element (colours.begin(), colours.end(),
                                                                            [] (auto& a, auto& b) { return a.second < b.second; })->first));
            int end = -1;

            for (int y = y0; y < y0 + 16; ++y)
                for (int x = 80; x < 300; ++x)
                    if (std::abs (brightness (photo.getPixelAt (x, y)) - ground) > 100)
                        end = juce::jmax (end, x);

            return end;
        }

        /** The first backup dragged below the second, once the browser shows them swapped. */
        bool dragFirstBackupBelowSecond (const juce::String& window)
        {
            if (! reached (waitUntilIdle (window), "the page idle before the drag"))
                return false;

            const auto before = photograph (window);
            const auto first = titleEndOfRow (before, 0), second = titleEndOfRow (before, 1);

            if (! reached (first > 0 && std::abs (first - second) > 3, "two backup rows of different titles"))
                return false;

            const auto endsOfRows = [&] (int end0, int end1)
            {
                const auto photo = photograph (window);
                return photo.isValid() && std::abs (titleEndOfRow (photo, 0) - end0) <= 1 && std::abs (titleEndOfRow (photo, 1) - end1) <= 1;
            };

            if (! reached (dragUntilCarried (window, { 160, backupRowY (0) }, { 160, backupRowY (1) + 7 }, true), "the row carried below the second"))
                return false;

            // The image gone too: the drag is over, not only shown dropped.
            return reached (waitFor ([&] { return endsOfRows (second, first) && ! dragImage (window, true).has_value(); }), "the rows swapped");
        }

        enum class Drag { notStarted, stalled, carried };

        /** A drag with the left button between two points of the window, made as a person
            makes it: pressed, moved a little until the drag shows, moved on in steps, each
            once the image that the drag carries shows where the last one put it, released
            once it shows at the drop point. A program running late would otherwise drop
            where it had got to: while a drag runs, the framework reads the button's state
            as it is now, not as it was when the moves it has still to handle were made. */
        Drag drag (const juce::String& window, juce::Point<int> from, juce::Point<int> to, bool imageInAWindow)
        {
            waitForPhoto (window, isDrawn);
            run ({ "xdotool", "windowfocus", "--sync", window });
            const auto origin = originOf (window);
            moveMouse (origin + from);
            windowsBeforeDrag = programWindows();
            photoBeforeDrag = photograph (window);
            pressedCell = { gridX + (from.x - gridX) / (gridCellWidth - 1) * (gridCellWidth - 1), gridY + (from.y - gridY) / 24 * 24, gridCellWidth, 25 };
            run ({ "xdotool", "mousedown", "1" });

            // One move a few pixels on starts the drag. The image shows first where the press
            // was, then keeps its place from the pointer: the next step tells that place.
            const auto first = from + (to - from) / 4, second = first + (to - first) / 8;
            moveMouse (origin + first);
            std::optional<juce::Point<int>> image, started;

            if (! waitFor ([&] { return (started = dragImage (window, imageInAWindow)).has_value(); }, 10000))
            {
                run ({ "xdotool", "mouseup", "1" });
                return Drag::notStarted;
            }

            // The image moved by this step from where it showed, be that the press or the first step.
            moveMouse (origin + second);
            bool carried = reached (waitFor ([&]
            {
                return (image = dragImage (window, imageInAWindow)).has_value()
                    && (*image - *started == second - first || *image - *started == second - from);
            }), "the drag image following the pointer");
            const auto offset = carried ? *image - (origin + second) : juce::Point<int>();

            // The image's last row or column may fall on a grid line of its own colour, which
            // hides it from the photo: found one pixel short, it is still where it belongs.
            const auto at = [] (std::optional<juce::Point<int>> found, juce::Point<int> expected)
            {
                return found.has_value() && std::abs (found->x - expected.x) <= 1 && std::abs (found->y - expected.y) <= 1
                    && found->x <= expected.x && found->y <= expected.y;
            };

            for (int i = 2; i <= 8 && carried; ++i)
            {
                const auto point = first + (to - first) * i / 8;
                moveMouse (origin + point);
                carried = waitFor ([&] { return at (image = dragImage (window, imageInAWindow), origin + point + offset); });

                if (! carried)
                    ADD_FAILURE() << "the drag image not at " << (point + offset).toString() << " but at "
                                  << (image.has_value() ? (*image - origin).toString() : juce::String ("none"));
            }

            run ({ "xdotool", "mouseup", "1" });
            return carried ? Drag::carried : Drag::stalled;
        }

        /** A drag made again while none started (a press that came before the window was ready
            is lost). True once one was carried to its drop point and released there. */
        bool dragUntilCarried (const juce::String& window, juce::Point<int> from, juce::Point<int> to, bool imageInAWindow)
        {
            for (int attempt = 0; attempt < 3; ++attempt)
            {
                if (const auto made = drag (window, from, to, imageInAWindow); made != Drag::notStarted)
                    return made == Drag::carried;
            }

            return false;
        }

        /** The windows of the program on the screen. */
        juce::StringArray programWindows() const
        {
            auto ids = juce::StringArray::fromLines (run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (program.getPid()) }));
            ids.removeEmptyStrings();
            return ids;
        }

        /** Where the image that a drag carries shows on the screen, while one shows: the
            browser's is a window of its own (its top left corner), the grid's is drawn in
            the main window (the bottom right corner of what differs from before the press). */
        std::optional<juce::Point<int>> dragImage (const juce::String& window, bool imageInAWindow)
        {
            if (imageInAWindow)
            {
                for (auto& id : programWindows())
                    if (id != window && ! windowsBeforeDrag.contains (id))
                        return geometryOf (id).getPosition();

                return {};
            }

            // The grid's: what differs in the grid from the photo before the press, but for the
            // pressed cell (a press selects it) and the focus ring the press draws along the
            // panel's edges.
            const auto photo = photograph (window);
            const auto grid = juce::Rectangle<int> (gridX, gridY, 1020 - gridX, 6 * 24).withTrimmedLeft (4).withTrimmedTop (4).withTrimmedRight (4);
            juce::Point<int> corner { -1, -1 };
            int n = 0;

            if (photo.isValid() && photo.getBounds() == photoBeforeDrag.getBounds())
                for (int y = grid.getY(); y < grid.getBottom(); ++y)
                    for (int x = grid.getX(); x < grid.getRight(); ++x)
                        if (! pressedCell.contains (x, y) && photo.getPixelAt (x, y) != photoBeforeDrag.getPixelAt (x, y))
                        {
                            corner = { juce::jmax (corner.x, x), juce::jmax (corner.y, y) };
                            ++n;
                        }

            if (n < 20)
                return {};

            return originOf (window) + corner;
        }

        // The grid in the cell view fills the workspace panel right of the browser (30 % of
        // the width and the bar), under the tab bar, the toolbar and the panel's header:
        // cells of 125 x 25 sharing their edges, as many to a row as fit.
        static constexpr int gridX = 306 + 8, gridY = 31 + 64 + 20;
        static constexpr int gridColumns = (1020 - gridX) / 125, gridCellWidth = (1020 - gridX) / gridColumns;

        static juce::Point<int> gridCellCentre (int slot)
        {
            const auto i = slot - 1;
            return { gridX + (i % gridColumns) * (gridCellWidth - 1) + gridCellWidth / 2, gridY + (i / gridColumns) * 24 + 12 };
        }

        /** Slot 1 of the workspace dragged onto slot gridColumns + 3 and dropped there with the
            drop menu's first item ("Move" or, without deleting on the unit, "Paste"). */
        bool dragFirstPresetInTheGrid (const juce::String& window)
        {
            const auto from = gridCellCentre (1), to = gridCellCentre (gridColumns + 3);

            // The press selects slot 1: the drag carries the selected presets.
            if (! reached (dragUntilCarried (window, from, to, false), "the preset carried to its slot")
                || ! reached (waitForMenu(), "the drop menu"))
                return false;

            // The drop menu has the keyboard.
            return reached (moveInMenu ("Down"), "the drop menu's first item") && reached (chooseInMenu(), "the drop menu gone");
        }

        /** The unit's data downloaded, then "Backup All" and "Backup User": two rows under "Backups". */
        juce::String openWindowWithTwoBackups()
        {
            // "previous" keeps unsent edits between runs: quitting asks nothing.
            storeSettings ({ { "dataSyncMethod", "previous" } });
            const auto window = openWindow();

            if (window.isEmpty() || ! downloadFromThePresetsTab (window))
                return {};

            if (! clickToolbar (window, 422) || ! reached (waitForBackupRow (window, 0), "the first backup's row"))
                return {};

            if (! clickToolbar (window, 296))
                return {};

            return reached (waitForBackupRow (window, 1), "the second backup's row") ? window : juce::String();
        }

        /** The rows under "Backups" (with the unit's data shown above them). */
        static int backupRowY (int row)     { return 279 + 24 * row; }

        /** The rename editor's white over the first backup's row. */
        static bool editingFirstBackup (const juce::Image& photo)   { return photo.getPixelAt (100, backupRowY (0)) == juce::Colour (0xfffdfeff); }

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

            // A capture cut short (the window changing under it) is no photo: the
            // framework's own reader would crash on it.
            juce::MemoryBlock bytes;
            return file.loadFileAsData (bytes) ? ContentReader::decodePicture (bytes) : juce::Image();
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

        /** Whether two photos agree in every pixel of an area. */
        static bool sameIn (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
        {
            if (! a.isValid() || ! b.isValid())
                return false;

            for (int y = area.getY(); y < juce::jmin (area.getBottom(), a.getHeight(), b.getHeight()); ++y)
                for (int x = area.getX(); x < juce::jmin (area.getRight(), a.getWidth(), b.getWidth()); ++x)
                    if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                        return false;

            return true;
        }

        /** A photo of the window once an area of it stays as it is from one photo to the next. */
        juce::Image settledPhoto (const juce::String& window, juce::Rectangle<int> area)
        {
            auto last = photograph (window);
            juce::Image settled;

            waitFor ([&]
            {
                auto next = photograph (window);

                if (sameIn (last, next, area))
                    settled = next;

                last = next;
                return settled.isValid();
            });

            return settled;
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
        static inline const juce::Point<int> pointerRest { 600, 15 };   // the tab bar right of the tabs, where nothing lights up

        PrivateDisplay display;   // the last to go: after the program
        LocalServer server { juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content") };
        juce::File home;
        ProgramProcess program { TestEnvironment::getHome().getChildFile ("e2e") };
        bool exitedNormally = false;
        pid_t lastPid = 0;
        juce::StringArray windowsBeforeDrag;
        juce::Image photoBeforeDrag;
        juce::Rectangle<int> pressedCell;
    };
}

TEST_F (EndToEnd, TheGridShowsPresetsBeforeTheDownloadEnds)
{
    // Units that take a while over each preset, so the download can be watched.
    storeSettings ({ { "dataSyncMethod", "manual" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "1.0" } });
    const auto window = openWindow ({ "BELVORA_SIMULATED_UNITS_PRESET_DELAY=150" });
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));
    ASSERT_TRUE (startDownloadFromThePresetsTab (window));

    // A cell with a preset is shaded top to bottom; an empty one is flat.
    const auto holdsPreset = [] (const juce::Image& photo, int slot)
    {
        // Between the name and the step count at the right end.
        const auto x = gridX + ((slot - 1) % gridColumns) * (gridCellWidth - 1) + 112, y = gridY + ((slot - 1) / gridColumns) * 24;
        return photo.getPixelAt (x, y + 4) != photo.getPixelAt (x, y + 20);
    };

    const auto lastSlot = 29;   // the sample unit fills every user slot
    EXPECT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo)
    {
        return showsProgress (photo) && holdsPreset (photo, 1) && holdsPreset (photo, 2) && ! holdsPreset (photo, lastSlot);
    })) << "the first presets shown while the download still runs";

    ASSERT_TRUE (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); }));
    ASSERT_TRUE (waitUntilIdle (window));
    EXPECT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo) { return holdsPreset (photo, 1) && holdsPreset (photo, lastSlot); }))
        << "every preset once it has ended";

    quit (window);
}

TEST_F (EndToEnd, UnitConnectsDataComesDownAndTheSetupGoesBackFromTheWindow)
{
    storeSettings ({ { "dataSyncMethod", "manual" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";

    // The scan at start-up finds both units and connects the first.
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));
    ASSERT_TRUE (downloadFromThePresetsTab (window)) << "the download wrote the unit's data";

    auto synced = DeviceData::loadFromFile (findFile ("sync.mwd"));
    ASSERT_NE (synced, nullptr);
    EXPECT_EQ (synced->getProductName(), "Vesper");
    EXPECT_GT (synced->getNumPresets(), 0);
    EXPECT_TRUE (synced->getSetup().isComplete());

    // "Send Setup" on the toolbar; the question is answered with the Return key.
    const auto question = openFromToolbar (window, 227, "Confirm Send Setup");
    ASSERT_TRUE (question.isNotEmpty());
    ASSERT_TRUE (keysUntilGone (question, "Confirm Send Setup", { "Return" }));
    ASSERT_TRUE (waitUntilIdle (window)) << "the transfer ended";

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
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    // The help icon at the right end of the tab bar pops its menu up (a window of its
    // own); its last item is "About Belvora".
    ASSERT_TRUE (repeatUntil ([&] { if (findMenu().isEmpty()) click (window, 1020 - 10 - 8, 15); }, [&] { return menuShown(); }));

    // The menu has the keyboard now.
    ASSERT_TRUE (moveInMenu ("Up"));
    ASSERT_TRUE (chooseInMenu());
    const auto about = findWindow ("About Belvora");
    ASSERT_TRUE (about.isNotEmpty());
    ASSERT_TRUE (keysUntilGone (about, "About Belvora", { "Escape" }));

    quit (window);
    EXPECT_FALSE (findFile ("working.mwd").existsAsFile()) << "nothing was downloaded, so nothing is kept";
}

TEST_F (EndToEnd, KeysPressedWhileAScanGreysOutTheirPageActOnceItIsThere)
{
    storeSettings ({ { "dataSyncMethod", "manual" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";

    // At once, each key once, while the start's scan greys out the presets page: it turns, then Find opens there.
    keys (window, { "ctrl+Tab", "ctrl+f" });
    const auto find = findWindow ("Find Preset");
    ASSERT_TRUE (find.isNotEmpty());
    ASSERT_TRUE (keysUntilGone (find, "Find Preset", { "Escape" }));
    quit (window);
}

TEST_F (EndToEnd, AScanStartedFromTheKeysGivesScanTheKeysBack)
{
    // The first start: the unit connected is read at once, greying the page out once more.
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }) && waitUntilIdle (window));

    // Scan and Disconnect lead the devices tab's toolbar; the first tile shows the unit connected.
    const juce::Rectangle<int> scanItem { 0, 32, 66, 60 }, firstTile { 15, 130, 210, 150 };
    const auto scanRinged = [&] { return countColour (window, scanItem, juce::Colour (0xff2b6cb0)) > 100; };
    const auto connected = [&] { return countColour (window, firstTile, juce::Colour (0xff086da6)) > 100; };
    ASSERT_TRUE (repeatUntil ([&] { keys (window, { "Tab" }); }, scanRinged));

    // Disconnect by keys: greyed out, it hands the keys back to Scan.
    keys (window, { "Tab", "space" });
    ASSERT_TRUE (waitFor ([&] { return ! connected() && scanRinged(); }));

    // Space scans, and the scan connects the unit again: Scan has the keys once it is done.
    keys (window, { "space" });
    ASSERT_TRUE (waitFor (connected));
    EXPECT_TRUE (waitFor ([&] { return scanRinged() && waitUntilIdle (window); }));
    quit (window);
}

TEST_F (EndToEnd, OneProgramRunsPerHomeAndASecondStartThereSaysSo)
{
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";

    // The same home: refused with one line, and the first one goes on.
    ProgramProcess again { home };
    const auto errors = home.getChildFile ("second-start.txt");
    ASSERT_TRUE (again.start (BELVORA_PROGRAM, server.getBaseUrl(), {}, errors));

    // Started from a desktop menu, nobody reads standard error: a box on the display says it too.
    int status = -1;
    const auto answerRefusal = [&] (ProgramProcess& refused, const juce::String& title)
    {
        const auto refusalBox = [&] { return run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (refused.getPid()),
                                                    "--name", "^" + title + "$" }).upToFirstOccurrenceOf ("\n", false, false); };
        juce::String box;
        return waitFor ([&] { return ((box = refusalBox()).isNotEmpty() && isDrawn (photograph (box))) || refused.hasEnded (status); })
            && box.isNotEmpty()
            && repeatUntil ([&] { if (refusalBox() == box) keys (box, { "Return" }); }, [&] { return refused.hasEnded (status); });
    };
    const auto linesOf = [] (const juce::File& file)
    {
        juce::StringArray lines;

        for (const auto& line : juce::StringArray::fromLines (file.loadFileAsString()))
            if (line.startsWith ("Belvora"))
                lines.add (line);

        return lines;
    };

    ASSERT_TRUE (answerRefusal (again, "Belvora Is Already Running")) << "it ended without showing why";
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 1) << "a refused start is no success";
    const auto said = "Belvora is already running with the data folder \"" + dataFolder().getFullPathName() + "\"; this start ends.";
    EXPECT_EQ (linesOf (errors), juce::StringArray (said)) << errors.loadFileAsString();
    EXPECT_FALSE (hasEnded()) << "the first one still runs";

    // A configuration folder that cannot be written (root writes anywhere, but not below a file) is no copy running.
    const auto blockedHome = home.getChildFile ("blocked");
    ASSERT_TRUE (blockedHome.createDirectory().wasOk() && blockedHome.getChildFile (".config").replaceWithText ("not a folder"));
    ProgramProcess blocked { blockedHome };
    const auto blockedErrors = home.getChildFile ("blocked-start.txt");
    ASSERT_TRUE (blocked.start (BELVORA_PROGRAM, server.getBaseUrl(), {}, blockedErrors));
    ASSERT_TRUE (answerRefusal (blocked, "Data Folder Cannot Be Written")) << "it ended without showing why";
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 1);
    const auto blockedLines = linesOf (blockedErrors);
    ASSERT_EQ (blockedLines.size(), 1) << blockedErrors.loadFileAsString();
    EXPECT_TRUE (blockedLines[0].startsWith ("Belvora cannot write to its data folder \"" + blocked.getDataFolder().getFullPathName() + "\""));

    // Another home (another user, another profile): a program of its own, at the same time.
    ProgramProcess other { home.getChildFile ("other") };
    ASSERT_TRUE (other.start (BELVORA_PROGRAM, server.getBaseUrl(), { "BELVORA_SIMULATED_UNITS=1" }));
    juce::String otherWindow;
    ASSERT_TRUE (waitFor ([&] { return (otherWindow = run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (other.getPid()),
                                                             "--name", "^Belvora 2$" })).isNotEmpty() || other.hasEnded (status); }));
    ASSERT_TRUE (other.isRunning()) << "it ended instead";
    otherWindow = otherWindow.upToFirstOccurrenceOf ("\n", false, false);
    ASSERT_TRUE (waitForPhoto (otherWindow, showsItsTabs));
    EXPECT_FALSE (hasEnded());

    // Keys only while its window is there: once it has gone, they would reach the first one.
    const auto otherShown = [&] { return run ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (other.getPid()), "--name", "^Belvora 2$" }).isNotEmpty(); };
    ASSERT_TRUE (repeatUntil ([&] { if (otherShown()) keys (otherWindow, { "ctrl+q" }); }, [&] { return other.hasEnded (status); }));
    EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0);
    EXPECT_TRUE (other.getDataFolder().getChildFile ("Belvora 2.settings").existsAsFile()) << "it ran in its own home";

    quit (window);
}

// A copy already running for another user (here on another display, against no
// server) takes nothing this one needs: it starts, its unit's data comes down.
TEST_F (EndToEnd, AnotherCopyRunningFirstLeavesThisOneItsStartAndItsUnits)
{
    PrivateDisplay elsewhere;
    ASSERT_TRUE (elsewhere.isReady());
    ProgramProcess first { home.getChildFile ("first") };
    ASSERT_TRUE (first.start (BELVORA_PROGRAM, "http://127.0.0.1:9", { "BELVORA_SIMULATED_UNITS=1", "DISPLAY=" + elsewhere.getName() }));
    int status = 0;
    ASSERT_TRUE (waitFor ([&] { return run ({ "env", "DISPLAY=" + elsewhere.getName(), "xdotool", "search", "--onlyvisible", "--name", "^Belvora 2$" })
                                           .isNotEmpty() || first.hasEnded (status); }));
    ASSERT_TRUE (first.isRunning()) << "it ended instead";

    storeSettings ({ { "dataSyncMethod", "manual" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty());
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));
    ASSERT_TRUE (downloadFromThePresetsTab (window));
    quit (window);

    EXPECT_FALSE (first.hasEnded (status)) << "the first copy still runs";
}

TEST_F (EndToEnd, ClickOnTheSecondUnitsTileConnectsItAndItsDataComesDown)
{
    storeSettings ({ { "dataSyncMethod", "auto" }, { "autoConnectAtStartup", "0" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";

    // The devices tab at scale 1: the second tile spans x 240 to 460 of the page and starts
    // below the tab bar, the toolbar and the panel's header. Its rim shows once the scan is done.
    const juce::Rectangle<int> secondTile (245, 130, 210, 150);
    const juce::Colour rim (0xff80919c), connectedRim (0xff086da6);
    const auto pointerAway = [&] { moveMouse ({ juce::jmin (1279, geometryOf (window).getRight() + 20), 1000 }); };   // a rim under the pointer looks otherwise
    pointerAway();
    ASSERT_TRUE (waitFor ([&] { return countColour (window, secondTile, rim) > 100; })) << "the tiles after the scan";
    EXPECT_EQ (connectionEvents(), 0) << "nothing connects by itself";

    click (window, 350, 215);
    pointerAway();
    ASSERT_TRUE (waitFor ([&] { return findFile ("sync.mwd").existsAsFile(); })) << "connected, the unit's data came down";
    EXPECT_TRUE (waitFor ([&] { return countColour (window, secondTile, connectedRim) > 100; })) << "the tile shows its unit connected";

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
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));

    ASSERT_TRUE (downloadFromThePresetsTab (window)) << "the download wrote the unit's data";

    // "Backup All", then the new backup renamed in place: a double click, a name, Return.
    ASSERT_TRUE (clickToolbar (window, 422));
    ASSERT_TRUE (waitForBackupRow (window, 0)) << "the backup is in the browser";
    ASSERT_TRUE (repeatUntil ([&]
    {
        click (window, 160, backupRowY (0));
        run ({ "xdotool", "click", "--repeat", "2", "--delay", "80", "1" });
    }, [&] { const auto photo = photograph (window); return photo.isValid() && editingFirstBackup (photo); })) << "the title is being edited";
    run ({ "xdotool", "key", "ctrl+a" });
    run ({ "xdotool", "type", "Mine" });
    run ({ "xdotool", "key", "Return" });
    ASSERT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo) { return ! editingFirstBackup (photo); }));

    // "Export": all presets of the selected backup into one file; a message of the same title says so.
    const auto exportDialog = openFromToolbar (window, 944, "Export");
    ASSERT_TRUE (exportDialog.isNotEmpty());
    ASSERT_TRUE (repeatUntil ([&] { if (searchWindow ("Export") == exportDialog) click (exportDialog, 387, 312); }, [&] { return exported.existsAsFile(); }))
        << "the export wrote its file";
    juce::String exportMessage;
    ASSERT_TRUE (waitFor ([&] { exportMessage = searchWindow ("Export"); return exportMessage.isNotEmpty() && exportMessage != exportDialog && isDrawn (photograph (exportMessage)); }));
    ASSERT_TRUE (keysUntilGone (exportMessage, "Export", { "Return" }));

    // "Import": the exported file (the last one imported) sent directly to the unit.
    const auto importDialog = openFromToolbar (window, 881, "Import");
    ASSERT_TRUE (importDialog.isNotEmpty());
    // The destination list opens on "To Workspace", two below "<Send directly to ...>".
    ASSERT_TRUE (repeatUntil ([&] { if (findMenu().isEmpty()) click (importDialog, 150, 157); }, [&] { return menuShown(); })) << "the list is open";
    ASSERT_TRUE (moveInMenu ("Up"));
    ASSERT_TRUE (moveInMenu ("Up"));
    ASSERT_TRUE (chooseInMenu());
    ASSERT_TRUE (repeatUntil ([&] { if (isShown ("Import")) click (importDialog, 387, 202); }, [&] { return ! isShown ("Import"); })) << "the send started";
    ASSERT_TRUE (waitUntilIdle (window)) << "the send ended";

    // "Get Data" reads the unit back; what it read replaces the unit's data file.
    // File times count whole seconds: the file is dated back, so a rewrite within the second shows too.
    const juce::Time longAgo (2000, 0, 1, 0, 0);
    ASSERT_TRUE (findFile ("sync.mwd").setLastModificationTime (longAgo));
    ASSERT_TRUE (repeatUntil ([&] { clickToolbar (window, 32); }, [&] { return findFile ("sync.mwd").getLastModificationTime() != longAgo; }))
        << "the download ended";
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
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (downloadFromThePresetsTab (window));

    ASSERT_TRUE (dragFirstPresetInTheGrid (window));
    quit (window);

    const auto unit = DeviceData::loadFromFile (findFile ("sync.mwd"));
    const auto work = DeviceData::loadFromFile (findFile ("working.mwd"));
    ASSERT_NE (unit, nullptr);
    ASSERT_NE (work, nullptr);
    const auto target = gridColumns + 3;
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
    ASSERT_TRUE (dragFirstBackupBelowSecond (window));

    quit (window);
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "User", "All" }));
}

TEST_F (EndToEnd, UndoPutsABackupDraggedInTheBrowserBack)
{
    const auto window = openWindowWithTwoBackups();
    ASSERT_TRUE (window.isNotEmpty());

    ASSERT_TRUE (dragFirstBackupBelowSecond (window));
    const auto redoEnabled = [&] { const auto photo = photograph (window); return photo.isValid() && darkestIn (photo, redoIcon) < 400; };
    ASSERT_TRUE (repeatUntil ([&] { if (! redoEnabled()) clickToolbar (window, 749); }, redoEnabled)) << "the move was undone";   // "Undo"

    quit (window);
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "All", "User" }));
}

TEST_F (EndToEnd, DisconnectingWithUnsentEditsAsksFirst)
{
    storeSettings ({ { "dataSyncMethod", "manual" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "1.0" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (downloadFromThePresetsTab (window));
    ASSERT_TRUE (dragFirstPresetInTheGrid (window)) << "an edit not sent to the unit";

    // "Disconnect" on the devices tab's toolbar (its second item), with the first tile
    // showing its unit connected.
    const juce::Rectangle<int> firstTile (15, 130, 210, 150);
    const juce::Colour connectedRim (0xff086da6);
    ASSERT_TRUE (repeatUntil ([&] { click (window, 50, 15); }, [&] { return countColour (window, firstTile, connectedRim) > 100; }))
        << "the devices tab, the unit connected";

    const auto askToDisconnect = [&]
    {
        juce::String question;
        repeatUntil ([&] { if (! isShown ("Changes Will Be Lost")) click (window, 95, 60); },
                     [&] { return (question = searchWindow ("Changes Will Be Lost")).isNotEmpty() && isDrawn (photograph (question)); });
        return question;
    };

    // "Cancel", where the box opens (Escape, or Return): the unit stays connected.
    for (auto* key : { "Escape", "Return" })
    {
        const auto question = askToDisconnect();
        ASSERT_TRUE (question.isNotEmpty()) << "asked before the edits go";
        ASSERT_TRUE (keysUntilGone (question, "Changes Will Be Lost", { key }));
        EXPECT_GT (countColour (window, firstTile, connectedRim), 100) << "still connected after " << key;
    }

    // "Disconnect Anyway" (Shift+Tab, then Return) disconnects.
    const auto question = askToDisconnect();
    ASSERT_TRUE (question.isNotEmpty());
    ASSERT_TRUE (keysUntilGone (question, "Changes Will Be Lost", { "shift+Tab", "Return" }));
    EXPECT_TRUE (waitFor ([&] { return countColour (window, firstTile, connectedRim) == 0; })) << "disconnected";

    quit (window);
}

TEST_F (EndToEnd, RightClicksOnABackupRowChooseNothingFromItsMenu)
{
    const auto window = openWindowWithTwoBackups();
    ASSERT_TRUE (window.isNotEmpty());

    click (window, 160, backupRowY (0));

    // Presses held from none to a second, released where they were pressed; the short ones
    // follow each other closely enough to count as double clicks. The window has the focus
    // back before each, as a window manager gives it back after a menu.
    const double holds[] = { 0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 1.0 };

    for (int i = 0; i < 20; ++i)
    {
        run ({ "xdotool", "windowfocus", "--sync", window });
        run ({ "xdotool", "mousedown", "3", "sleep", juce::String (holds[i % 7], 2), "mouseup", "3" });
        ASSERT_TRUE (waitForMenu()) << "the menu of right click " << i + 1;
        run ({ "xdotool", "key", "Escape" });
        ASSERT_TRUE (waitFor ([&] { return findMenu().isEmpty(); })) << "the menu closed by Escape, click " << i + 1;
        ASSERT_FALSE (editingFirstBackup (photograph (window))) << "quick right clicks are no double click, click " << i + 1;
    }

    // The rename editor's own menu opens from the press under the pointer: held half a second,
    // its release chooses nothing; a click on an item still chooses it ("Copy", the second).
    ASSERT_TRUE (repeatUntil ([&]
    {
        click (window, 160, backupRowY (0));
        run ({ "xdotool", "click", "--repeat", "2", "--delay", "80", "1" });
    }, [&] { const auto photo = photograph (window); return photo.isValid() && editingFirstBackup (photo); })) << "the title is being edited";
    run ({ "xdotool", "mousedown", "3", "sleep", "0.5", "mouseup", "3" });
    ASSERT_TRUE (waitForMenu()) << "the editor's menu open after the release";
    moveMouse (originOf (window) + juce::Point<int> (180, backupRowY (0) + 30));

    // The menu was drawn at the press: a click sent before the program has seen the release
    // reaches a menu still deaf to it, and only then is sent again.
    ASSERT_TRUE (repeatUntil ([&] { if (findMenu().isNotEmpty()) run ({ "xdotool", "click", "1" }); },
                              [&] { return findMenu().isEmpty(); })) << "the menu took the click";
    run ({ "xdotool", "key", "Escape" });
    ASSERT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo) { return ! editingFirstBackup (photo); }));

    // The index is written from the tree as the program quits.
    quit (window);
    EXPECT_EQ (backupKindsInIndex(), juce::StringArray ({ "All", "User" }));
    EXPECT_FALSE (findFile ("*_backup.xml").loadFileAsString().contains ("New Group")) << "no group was made";
}

TEST_F (EndToEnd, TheWheelOverAPresetScrollsTheGrid)
{
    // Big cells: the grid is taller than its panel.
    storeSettings ({ { "dataSyncMethod", "previous" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "4.0" } });
    const auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (downloadFromThePresetsTab (window));

    const juce::Rectangle<int> grid (306 + 8, 31 + 64 + 20, 600, 400);
    moveMouse (originOf (window) + grid.getTopLeft() + juce::Point<int> (100, 50));   // over slot 1
    const auto before = settledPhoto (window, grid);
    ASSERT_TRUE (before.isValid());

    run ({ "xdotool", "click", "5" });   // the wheel, one step down
    EXPECT_TRUE (waitForPhoto (window, [&] (const juce::Image& photo) { return ! sameIn (before, photo, grid); })) << "the grid scrolled";

    quit (window);

    quit (window);
}

TEST_F (EndToEnd, ABackupARenamedPresetAndADeleteOutliveAKilledProgram)
{
    storeSettings ({ { "dataSyncMethod", "previous" }, { "presetButtonViewType", "cell" }, { "presetCellButtonScale", "1.0" } });
    auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
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

    // A delete outlives a kill as well: once the index no longer names the backup, the
    // program is killed outright, and the next start does not bring the backup back.
    const auto dataFile = findFile ("Vesper_0*.mwd");
    ASSERT_TRUE (dataFile.existsAsFile());
    const auto named = [&] { return indexFile.loadFileAsString().contains (dataFile.getFileNameWithoutExtension()); };
    const auto openPresetsTab = [&]
    {
        window = openWindow();
        return window.isNotEmpty()
            && reached (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, presetsTabLabel) < 400; }), "the presets tab enabled");
    };

    // The backups come back folded: once their row is there, it is opened by its arrow
    // (clicked again only long after, for the arrow toggles).
    const auto backupsRowShown = [] (const juce::Image& photo) { return darkestIn (photo, { 68, backupRowY (0) - 33, 55, 14 }) < 400; };
    const auto firstRowShown = [] (const juce::Image& photo) { return darkestIn (photo, { 130, backupRowY (0) - 7, 110, 14 }) < 400; };
    ASSERT_TRUE (openPresetsTab());
    ASSERT_TRUE (repeatUntil ([&] { click (window, 155, 15); }, [&] { return waitForPhoto (window, backupsRowShown, 5000); })) << "the backups' row";
    ASSERT_TRUE (repeatUntil ([&] { if (! firstRowShown (photograph (window))) click (window, 14, backupRowY (0) - 26); },
                              [&] { return waitForPhoto (window, firstRowShown, 20000); }, 45000)) << "the backup's row";
    ASSERT_TRUE (repeatUntil ([&]
    {
        if (! named())
            return;

        click (window, 180, backupRowY (0));
        keys (window, { "Delete" });
    }, [&] { return ! named(); })) << "the index still names the backup";
    program.kill();

    // Started again: once the backups are read (their row shows), a clean quit writes the index from them.
    ASSERT_TRUE (openPresetsTab());
    ASSERT_TRUE (repeatUntil ([&] { click (window, 155, 15); }, [&] { return waitForPhoto (window, backupsRowShown, 5000); })) << "the backups' row";
    quit (window);
    EXPECT_FALSE (named()) << "the deleted backup came back";
    EXPECT_FALSE (dataFile.exists() || dataFile.withFileExtension ("xml").exists());
    EXPECT_EQ (findFile ("Vesper_0*.mwd"), juce::File()) << "its files are gone, from the folder of deleted backups too";
}

// Pipes where the program keeps its files (the settings, the unit's files, the
// product's picture and its pack's key): opening one would wait for a writer for
// ever. The start, the presets and the quit go on, and what was in the way is named.
TEST_F (EndToEnd, PipesInPlaceOfItsFilesHoldNeitherTheStartNorTheQuit)
{
    storeSettings ({ { "dataSyncMethod", "previous" } });
    auto window = openWindow();
    ASSERT_TRUE (window.isNotEmpty()) << "the program did not start";
    ASSERT_TRUE (waitFor ([&] { return connectionEvents() > 0; }));
    ASSERT_TRUE (downloadFromThePresetsTab (window));
    quit (window);

    const auto syncFile = findFile ("sync.mwd");
    const juce::Array<juce::File> pipes { dataFolder().getChildFile ("Belvora 2.settings"), syncFile, syncFile.getSiblingFile ("working.mwd"),
                                          dataFolder().getChildFile ("Vesper/vesper.png"), dataFolder().getChildFile ("Vesper/packs/.presetsKey") };

    for (const auto& file : pipes)
        ASSERT_TRUE (OddFiles::put (file == pipes[2] ? OddFiles::Kind::loop : OddFiles::Kind::pipe, file)) << file.getFullPathName();

    // The settings in the way are named at the start.
    start();
    const auto settingsBox = findWindow ("Settings");
    ASSERT_TRUE (settingsBox.isNotEmpty()) << "the start said nothing of its settings";
    ASSERT_TRUE (keysUntilGone (settingsBox, "Settings", { "Return" }));
    window = findWindow ("Belvora 2");
    ASSERT_TRUE (window.isNotEmpty()) << "no window after the settings' box";

    // The unit's files in the way are named once its presets are opened.
    ASSERT_TRUE (reached (waitForPhoto (window, [] (const juce::Image& photo) { return darkestIn (photo, presetsTabLabel) < 400; }), "the presets tab enabled"));
    ASSERT_TRUE (repeatUntil ([&] { if (! isShown ("File Error")) click (window, 155, 15); }, [&] { return isShown ("File Error"); })) << "nothing named";
    ASSERT_TRUE (keysUntilGone (searchWindow ("File Error"), "File Error", { "Return" }));
    quit (window);

    // Those the program owns went aside as they were; none stands in the way any more.
    const auto isPipe = [] (const juce::File& file)
    {
        struct stat info {};
        return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISFIFO (info.st_mode);
    };

    for (const auto& file : { pipes[0], pipes[1] })
    {
        EXPECT_TRUE (isPipe (file.getSiblingFile (file.getFileName() + ".damaged"))) << file.getFullPathName();
        EXPECT_FALSE (isPipe (file)) << file.getFullPathName();
    }
    EXPECT_TRUE (pipes[2].getSiblingFile ("working.mwd.damaged").isSymbolicLink() && ! pipes[2].isSymbolicLink()) << "a loop";
}
