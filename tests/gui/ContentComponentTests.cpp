// The content component inside the running program: commands, menus, the
// questions before risky steps, and what every notification leads to. The
// program runs against the local content and simulated units (needs a display).

#include "content/ContentManager.h"
#include "firmware/FirmwareUpdateThread.h"
#include "devices/DeviceCaps.h"
#include "gui/CommandDialogs.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPage.h"
#include "gui/devicepage/DevicePage.h"
#include "gui/dialogs/FirmwareChooserDialog.h"
#include "gui/widgets/MidiDeviceStatusButton.h"
#include "gui/RunningAppFixture.h"
#include "model/DeviceData.h"
#include "model/Preset.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{
    class ContentTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";
        }

        /** One Vesper (unless the options name other units), connected at start-up, its data downloaded ("auto"). */
        std::unique_ptr<RunningApp> startSynced (RunningApp::Options options = RunningApp::Options())
        {
            if (options.units == RunningApp::Options().units)
                options.units = "0x12";

            auto running = std::make_unique<RunningApp> (options);
            EXPECT_TRUE (running->start());
            // A generous bound: under a loaded machine the scan, connection and download take their time.
            EXPECT_TRUE (running->waitFor ([&] { return ! running->content().getDataPage().isSyncNeeded(); }, 120000));
            return running;
        }

        /** With the "previous" method, which stores no workspace yet: the data downloaded by hand. */
        std::unique_ptr<RunningApp> startWithThePreviousMethod()
        {
            RunningApp::Options options;
            options.settings.set ("dataSyncMethod", "previous");
            options.units = "0x12";
            auto running = std::make_unique<RunningApp> (options);
            EXPECT_TRUE (running->start());
            EXPECT_TRUE (downloadByHand (*running));
            return running;
        }

        /** Once the unit is connected, its data downloaded by command. */
        static bool downloadByHand (RunningApp& r)
        {
            if (! r.waitFor ([&] { return r.content().getDataPage().getDeviceDataSet() != nullptr; }))
                return false;

            r.perform (CommandIDs::downloadDeviceData);
            return r.waitFor ([&] { return ! r.content().getDataPage().isSyncNeeded(); });
        }

        static DeviceData& workspace (RunningApp& r)
        {
            return *r.content().getDataPage().getDeviceDataSet()->getWorkingData();
        }

        /** One Vesper, not connected yet, once the catalogue offers its beta firmware (build 150,
            offered in developer mode): the connection comes when the images are there. */
        std::unique_ptr<RunningApp> startWithNewFirmwareListed()
        {
            RunningApp::Options options;
            options.units = "0x12";
            options.settings.set ("dataSyncMethod", "manual");
            options.commandLine = "developer";
            options.settings.set ("autoConnectAtStartup", "0");
            auto running = std::make_unique<RunningApp> (options);
            EXPECT_TRUE (running->start());
            EXPECT_TRUE (running->waitFor ([] { return Nexus::getContentManager()->getLatestFirmwareUpdate (0x12).version.build == 150; }));
            return running;
        }
    };

    /** Every notification of the core as the content component broadcast it. */
    struct Recorder : BelvoraChangeListener
    {
        explicit Recorder (BelvoraContentComponent& c) : content (c)   { content.addChangeListener (this); }
        ~Recorder() override                                            { content.removeChangeListener (this); }

        void changeNotify (const ChangeInfo& info) override
        {
            if (info.kind == ChangeInfo::notification && info.message.code != 0x7fff0)
            {
                notes.push_back (info.message);

                if (onNote)
                    onNote (info.message);
            }
        }

        /** The commands that ended with that code, in order. */
        std::vector<int> commandsEndedWith (int code) const
        {
            std::vector<int> commands;

            for (auto& m : notes)
                if (m.code == code)
                    commands.push_back (m.command.command);

            return commands;
        }

        int count (int code) const
        {
            return (int) std::count_if (notes.begin(), notes.end(), [code] (auto& m) { return m.code == code; });
        }

        BelvoraContentComponent& content;
        std::vector<DeviceInfoMessage> notes;
        std::function<void (const DeviceInfoMessage&)> onNote;   // called as each one is broadcast, before it is acted on
    };

    /** A left click in the middle of the component, through its window as the platform delivers one. */
    void clickWithMouse (juce::Component& target)
    {
        auto* peer = target.getPeer();
        ASSERT_NE (peer, nullptr);
        const auto at = peer->getComponent().getLocalPoint (&target, target.getLocalBounds().getCentre()).toFloat();
        const auto start = juce::Time::currentTimeMillis();

        const auto send = [&] (juce::ModifierKeys mods, juce::int64 when)
        {
            juce::ModifierKeys::currentModifiers = mods;
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, mods, juce::MouseInputSource::defaultPressure,
                                    juce::MouseInputSource::defaultOrientation, when);
        };

        send ({}, start);
        send (juce::ModifierKeys::leftButtonModifier, start + 10);
        send ({}, start + 20);
    }

    /** Acts in each firmware chooser once it is up (the chooser runs its own modal loop). */
    struct ChooserDriver : juce::Timer
    {
        explicit ChooserDriver (std::function<void (FirmwareChooserDialog&)> f) : action (std::move (f))   { startTimer (5); }
        ~ChooserDriver() override                                                                           { stopTimer(); }

        void timerCallback() override
        {
            auto* chooser = dynamic_cast<FirmwareChooserDialog*> (juce::ModalComponentManager::getInstance()->getModalComponent (0));

            if (chooser == nullptr || chooser == handled.getComponent() || ! chooser->isShowing())
                return;

            handled = chooser;
            ++opened;
            action (*chooser);
        }

        static juce::Button* buttonOf (FirmwareChooserDialog& chooser, const juce::String& name)
        {
            for (auto* child : chooser.getChooserContent().getChildren())
                if (auto* b = dynamic_cast<juce::Button*> (child); b != nullptr && b->getName() == name)
                    return b;

            return nullptr;
        }

        std::function<void (FirmwareChooserDialog&)> action;
        juce::Component::SafePointer<juce::Component> handled;
        int opened = 0;
    };

    bool isActive (BelvoraContentComponent& content, int id)
    {
        juce::ApplicationCommandInfo info (id);
        content.getCommandInfo (id, info);
        return (info.flags & juce::ApplicationCommandInfo::isDisabled) == 0;
    }

    juce::ApplicationCommandInfo infoOf (BelvoraContentComponent& content, int id)
    {
        juce::ApplicationCommandInfo info (id);
        content.getCommandInfo (id, info);
        return info;
    }

    struct MenuEntry
    {
        int id;
        juce::String text;
        bool enabled, ticked;
    };

    std::vector<MenuEntry> entriesOf (const juce::PopupMenu& menu)
    {
        std::vector<MenuEntry> entries;

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            auto& item = it.getItem();
            entries.push_back ({ item.isSeparator ? -1 : item.itemID, item.text, item.isEnabled, item.isTicked });
        }

        return entries;
    }
}

//==============================================================================
TEST_F (ContentTest, CommandTextsKeysAndEnablingFollowTheStateAndTheUnit)
{
    RunningApp::Options options;
    options.units = "0x12";
    options.settings.set ("autoConnectAtStartup", "0");
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    auto& content = running.content();

    juce::Array<juce::CommandID> ids;
    content.getAllCommands (ids);
    ASSERT_EQ (ids.size(), 28);

    // No command comes with a key of its own.
    auto* manager = MainAppWindow::getApplicationCommandManager();
    ASSERT_TRUE (running.waitFor ([&] { return manager->getCommandForID (CommandIDs::scanForDevices) != nullptr; }));

    for (auto id : ids)
        EXPECT_TRUE (manager->getKeyMappings()->getKeyPressesAssignedToCommand (id).isEmpty()) << juce::String::toHexString (id);

    // Nothing connected: the unit's commands are greyed and "Disconnect" names nobody.
    ASSERT_EQ (running.devices().getActiveIndex(), -1);
    EXPECT_EQ (infoOf (content, CommandIDs::disconnectDevice).shortName, "Disconnect");
    EXPECT_FALSE (isActive (content, CommandIDs::disconnectDevice));

    for (auto id : { CommandIDs::downloadDeviceData, CommandIDs::applyChanges, CommandIDs::restoreSetup, CommandIDs::sendDirectToDevice,
                     CommandIDs::restoreToDevice, CommandIDs::updateFirmware, CommandIDs::showFirmwareUpdates, CommandIDs::generatePresetChecksums })
        EXPECT_FALSE (isActive (content, id)) << juce::String::toHexString (id);

    EXPECT_TRUE (isActive (content, CommandIDs::scanForDevices));
    EXPECT_TRUE (isActive (content, CommandIDs::connectSelectedDevice));

    ASSERT_TRUE (content.connectToDevice (0));
    EXPECT_EQ (infoOf (content, CommandIDs::disconnectDevice).shortName, "Disconnect Vesper");
    EXPECT_EQ (infoOf (content, CommandIDs::disconnectDevice).description, "Belvora will close and relinquish control over the device");
    EXPECT_TRUE (isActive (content, CommandIDs::downloadDeviceData));

    // Connecting waits for idle or a firmware update; disconnecting in a rescan-due state needs a unit.
    content.setAppState (AppState::rescanNeeded);
    EXPECT_FALSE (isActive (content, CommandIDs::connectSelectedDevice));
    EXPECT_TRUE (isActive (content, CommandIDs::disconnectDevice));
    content.setAppState (AppState::firmwareUpdate);
    EXPECT_TRUE (isActive (content, CommandIDs::connectSelectedDevice));
    EXPECT_FALSE (isActive (content, CommandIDs::disconnectDevice));
    content.setAppState (AppState::scanning);
    EXPECT_FALSE (isActive (content, CommandIDs::connectSelectedDevice));
    content.setAppState (AppState::idle);

    // The developer profile item turns into its opposite once a profile is set.
    const auto profile = TestEnvironment::getHome().getChildFile ("profile.xml");
    ASSERT_TRUE (profile.replaceWithText ("<x/>"));
    {
        const FileChoosers::ScopedResponder chooser ([&] (const FileChoosers::Request& r)
        {
            EXPECT_EQ (r.title, "Custom Device Data");
            EXPECT_EQ (r.patterns, "*.xml");
            return juce::Array<juce::File> { profile };
        });

        EXPECT_EQ (infoOf (content, CommandIDs::useCustomDeviceProfile).shortName, "Use Custom Device Profile...");
        running.perform (CommandIDs::useCustomDeviceProfile);
    }

    EXPECT_EQ (running.settings().getValue ("developerControlDescriptorUri"), profile.getFullPathName());
    EXPECT_EQ (running.titles(), juce::StringArray { "Notice" });
    EXPECT_EQ (running.boxes.back().message, "You must restart Belvora for this change to take effect.");

    const auto disable = infoOf (content, CommandIDs::useCustomDeviceProfile);
    EXPECT_EQ (disable.shortName, "Disable Custom Device Profile");
    EXPECT_EQ (disable.description, "Unlink the custom profile you're using and use the official descriptor");
    EXPECT_NE (disable.flags & juce::ApplicationCommandInfo::isTicked, 0);

    running.perform (CommandIDs::useCustomDeviceProfile);
    EXPECT_TRUE (running.settings().getValue ("developerControlDescriptorUri").isEmpty());

    // Performing broadcasts first; an unknown id is still broadcast, and refused.
    PerformedCommands performed (content);
    EXPECT_FALSE (content.perform (juce::ApplicationCommandTarget::InvocationInfo (0x12345)));
    EXPECT_TRUE (content.perform (juce::ApplicationCommandTarget::InvocationInfo (CommandIDs::signIn)));
    EXPECT_EQ (performed.ids, (std::vector<int> { 0x12345, CommandIDs::signIn }));
}

TEST_F (ContentTest, MenusHoldTheirCommandItemsWithLiveTexts)
{
    RunningApp::Options options;
    options.units = "0x12";
    options.commandLine = "developer";
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    auto& content = running.content();
    auto* manager = MainAppWindow::getApplicationCommandManager();
    ASSERT_TRUE (running.waitFor ([&] { return manager->getCommandForID (CommandIDs::showAbout) != nullptr; }));

    EXPECT_EQ (content.getMenuBarNames(), (juce::StringArray { "Account", "Tools", "Help", "Developer" }));

    const auto help = entriesOf (content.getMenuForIndex (2, "ignored"));
    ASSERT_EQ (help.size(), 6u);
    EXPECT_EQ (help[0].text, "Belvora Help");
    EXPECT_EQ (help[1].text, "Marrowell Support");
    EXPECT_EQ (help[2].id, -1);
    EXPECT_EQ (help[3].text, "Show MIDI Devices...");
    EXPECT_EQ (help[3].id, CommandIDs::showMidiDevicesHelp);
    EXPECT_EQ (help[4].id, -1);
    EXPECT_EQ (help[5].text, "About Belvora");

    const auto tools = entriesOf (content.getMenuForIndex (1, {}));
    ASSERT_EQ (tools.size(), 1u);
    EXPECT_EQ (tools[0].text, "Options...");

    const auto account = entriesOf (content.getMenuForIndex (0, {}));
    ASSERT_EQ (account.size(), 3u);
    EXPECT_EQ (account[0].text, "Sign In");
    EXPECT_EQ (account[2].id, juce::StandardApplicationCommandIDs::quit);

    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() >= 0; }));
    const auto developer = entriesOf (content.getMenuForIndex (3, {}));
    ASSERT_EQ (developer.size(), 2u);
    EXPECT_EQ (developer[0].text, "Use Custom Device Profile...");
    EXPECT_FALSE (developer[0].ticked);
    EXPECT_EQ (developer[1].text, "Generate Preset MD5 Checksums...");
    EXPECT_TRUE (developer[1].enabled);

    EXPECT_TRUE (entriesOf (content.getMenuForIndex (4, {})).empty());

    // The developer icon is there with the switch.
    EXPECT_TRUE (content.getDeveloperButton().isVisible());

    // The help icon pops its menu up beside it when pressed by keys with the
    // pointer far away; choosing nothing closes it.
    juce::Desktop::setMousePosition (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->totalArea.getBottomLeft() - juce::Point<int> (0, 1));
    bool fired = false;
    juce::Rectangle<int> menu;
    juce::MessageManager::callAsync ([&]
    {
        fired = true;
        if (auto* shown = juce::ModalComponentManager::getInstance()->getModalComponent (0))
            menu = shown->getScreenBounds();
        juce::PopupMenu::dismissAllActiveMenus();
    });
    running.perform (CommandIDs::showHelpMenu);
    ASSERT_TRUE (running.waitFor ([&] { return fired; }));
    EXPECT_TRUE (menu.expanded (2).intersects (content.getHelpButton().getScreenBounds())) << menu.toString();
}

TEST_F (ContentTest, ChecksumProfileIsWrittenForTheUnitsData)
{
    auto running = startSynced();
    const auto file = TestEnvironment::getHome().getChildFile ("bank.xml");

    const FileChoosers::ScopedResponder chooser ([&] (const FileChoosers::Request& r)
    {
        EXPECT_EQ (r.title, "Export Preset Signatures");
        EXPECT_EQ (r.mode, FileChoosers::Mode::saveFile);
        EXPECT_TRUE (r.warnAboutOverwriting);
        return juce::Array<juce::File> { file };
    });

    running->perform (CommandIDs::generatePresetChecksums);
    ASSERT_TRUE (running->waitFor ([&] { return file.existsAsFile(); })) << "written on the writes thread";
    auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "factoryBank");
    EXPECT_EQ (xml->getNumChildElements(), running->devices().getActiveDeviceData()->getNumPresets());
    EXPECT_TRUE (running->boxes.empty());

    // A file that cannot be written is said so, and the one there is left as it was.
    const FileChoosers::ScopedResponder intoTheFile ([&] (const FileChoosers::Request&)
    {
        return juce::Array<juce::File> { file.getChildFile ("inside.xml") };
    });
    const auto before = file.loadFileAsString();
    running->perform (CommandIDs::generatePresetChecksums);
    ASSERT_TRUE (running->waitFor ([&] { return ! running->boxes.empty(); }));
    EXPECT_EQ (running->boxes[0].title, "Export Error");
    EXPECT_TRUE (running->boxes[0].message.contains ("(the system said: not a directory)")) << running->boxes[0].message;
    EXPECT_EQ (file.loadFileAsString(), before);
}

//==============================================================================
TEST_F (ContentTest, QuitAsksAboutUnsentEditsUnlessNothingIsLostOrItIsForced)
{
    auto running = startSynced();
    auto& content = running->content();
    Recorder recorder (content);

    workspace (*running).deletePreset (3);
    running->answers["Changes Will Be Lost"] = 1;   // "Cancel"
    EXPECT_FALSE (content.requestQuit (false));
    ASSERT_EQ (running->boxes.size(), 1u);
    EXPECT_EQ (running->boxes[0].buttons, (juce::StringArray { "Quit Anyway", "Cancel" }));
    EXPECT_EQ (running->boxes[0].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ (running->boxes[0].message, "Your preset edits have not been transferred to Vesper yet. If you quit now, these changes "
                                          "will be discarded. To avoid losing your changes use the 'Apply' or 'Backup' functions on the toolbar.");
    EXPECT_EQ (recorder.count (DeviceInfoMessage::aboutToQuit), 0) << "nothing broadcast after Cancel";

    // A forced quit asks nothing and says so; the pages close their sources (a download ending meanwhile notes after it).
    const auto lastQuit = [&] { return std::find_if (recorder.notes.rbegin(), recorder.notes.rend(), [] (const auto& m) { return m.code == DeviceInfoMessage::aboutToQuit; })->value1; };
    EXPECT_TRUE (content.requestQuit (true));
    EXPECT_EQ (running->boxes.size(), 1u);
    ASSERT_EQ (recorder.count (DeviceInfoMessage::aboutToQuit), 1);
    EXPECT_EQ (lastQuit(), 1);
    EXPECT_EQ (content.getDataPage().getDeviceDataSet(), nullptr);

    // Nothing left to lose: no question.
    EXPECT_TRUE (content.requestQuit (false));
    EXPECT_EQ (running->boxes.size(), 1u);
    ASSERT_EQ (recorder.count (DeviceInfoMessage::aboutToQuit), 2);
    EXPECT_EQ (lastQuit(), 0);
}

TEST_F (ContentTest, QuitWhileADownloadRefillsTheWorkspaceAsksNothing)
{
    auto running = startSynced();
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->content().getDataPage().isBusy());
    EXPECT_TRUE (running->content().requestQuit (false)) << "the emptied workspace holds no edits";
    EXPECT_TRUE (running->boxes.empty());
}

TEST_F (ContentTest, QuitWithThePreviousSyncMethodKeepsTheEditsWithoutAsking)
{
    auto holder = startWithThePreviousMethod();
    auto& running = *holder;

    workspace (running).deletePreset (2);
    EXPECT_TRUE (running.content().requestQuit (false));
    EXPECT_TRUE (running.boxes.empty());

    // Quitting saved the workspace with the edit, and the unit's data beside it.
    const juce::File folder (running.devices().getActiveDeviceDataFolder());
    auto working = DeviceData::loadFromFile (folder.getChildFile ("working.mwd"));
    auto synced = DeviceData::loadFromFile (folder.getChildFile ("sync.mwd"));
    ASSERT_NE (working, nullptr);
    ASSERT_NE (synced, nullptr);
    EXPECT_FALSE (working->isPresetSlotUsed (2));
    EXPECT_TRUE (synced->isPresetSlotUsed (2));
}

TEST_F (ContentTest, DisconnectSwitchAndRestoreAskBeforeDroppingUnsentEdits)
{
    RunningApp::Options options;
    options.units = "0x12,0x12";
    auto running = startSynced (options);
    auto& content = running->content();
    auto& devices = running->devices();
    const auto active = devices.getActiveIndex();
    ASSERT_GE (active, 0);

    const auto message = [] (const juce::String& verb)
    {
        return "Your preset edits have not been transferred to Vesper yet. If you " + verb + " now, these changes "
               "will be discarded. To avoid losing your changes use the 'Apply' or 'Backup' functions on the toolbar.";
    };

    workspace (*running).deletePreset (3);
    running->answers["Changes Will Be Lost"] = 1;   // "Cancel": everything stays as it was

    running->perform (CommandIDs::disconnectDevice);
    ASSERT_EQ (running->boxes.size(), 1u);
    EXPECT_EQ (running->boxes[0].title, "Changes Will Be Lost");
    EXPECT_EQ (running->boxes[0].message, message ("disconnect"));
    EXPECT_EQ (running->boxes[0].buttons, (juce::StringArray { "Disconnect Anyway", "Cancel" }));
    EXPECT_EQ (devices.getActiveIndex(), active);

    // Another unit's tile chosen: asked, and on "Cancel" the chosen tile shows the active unit again.
    auto& tiles = content.getDevicePage().getDevicePanel();
    ASSERT_TRUE (running->waitFor ([&] { return devices.getNumIdentifiedDevices() == 2 && tiles.getNumButtons() == 2; }));
    const auto other = 1 - active;
    auto* otherTile = tiles.getButton (other);
    ASSERT_NE (otherTile, nullptr);
    otherTile->setToggleState (true, juce::dontSendNotification);
    content.getDevicePage().getDevicePanel().getButton (active)->setToggleState (false, juce::dontSendNotification);
    running->perform (CommandIDs::connectSelectedDevice);
    ASSERT_EQ (running->boxes.size(), 2u);
    EXPECT_EQ (running->boxes[1].message, message ("switch to another device"));
    EXPECT_EQ (running->boxes[1].buttons, (juce::StringArray { "Switch Anyway", "Cancel" }));
    EXPECT_EQ (devices.getActiveIndex(), active);
    EXPECT_FALSE (otherTile->getToggleState());
    EXPECT_EQ (content.getDevicePage().getSelectedDeviceIndex(), active);

    // A backup restored to the unit: asked, and "Cancel" sends nothing.
    Recorder recorder (content);
    content.getDataPage().sendDataToDevice (devices.getActiveDeviceData()->clone (false), true);
    ASSERT_EQ (running->boxes.size(), 3u);
    EXPECT_EQ (running->boxes[2].message, message ("restore"));
    EXPECT_EQ (running->boxes[2].buttons, (juce::StringArray { "Restore Anyway", "Cancel" }));
    running->drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::commandDone), 0);
    EXPECT_FALSE (workspace (*running).isPresetSlotUsed (3)) << "the edit is still there";

    // Presets sent from a backup over the edited slot: asked too, as they replace it in the workspace.
    content.getDataPage().sendDataToDevice (devices.getActiveDeviceData()->clone (false), false);
    ASSERT_EQ (running->boxes.size(), 4u);
    EXPECT_EQ (running->boxes[3].message, message ("send"));
    EXPECT_EQ (running->boxes[3].buttons, (juce::StringArray { "Send Anyway", "Cancel" }));
    running->drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::commandDone), 0);
    EXPECT_FALSE (workspace (*running).isPresetSlotUsed (3));

    // One that leaves the edited slot alone goes out without a question.
    auto onlyFive = devices.getActiveDeviceData()->clone (false);
    onlyFive->deleteAllPresets();
    onlyFive->copyPreset (5, *devices.getActiveDeviceData());
    content.getDataPage().sendDataToDevice (std::move (onlyFive), false);
    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 1; }));
    EXPECT_EQ (running->boxes.size(), 4u);

    // "Disconnect Anyway" goes ahead.
    running->answers["Changes Will Be Lost"] = 0;
    running->perform (CommandIDs::disconnectDevice);
    EXPECT_EQ (running->boxes.size(), 5u);
    EXPECT_EQ (devices.getActiveIndex(), -1);

    // A unit whose connection was lost is let go with "Later" without a question.
    ASSERT_TRUE (content.connectToDevice (active));
    ASSERT_TRUE (running->waitFor ([&] { return ! content.getDataPage().isSyncNeeded() && ! content.getDataPage().isBusy(); }));
    workspace (*running).deletePreset (3);
    running->answers["USB Device Connection Lost"] = 1;   // "Later"
    running->notify (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {}));
    ASSERT_TRUE (running->waitFor ([&] { return devices.getActiveIndex() == -1; }));
    EXPECT_EQ (running->titles().joinIntoString ("|"), "Changes Will Be Lost|Changes Will Be Lost|Changes Will Be Lost|Changes Will Be Lost|Changes Will Be Lost|USB Device Connection Lost");

    // The unit lost while a question before a send is open, then the send confirmed: the
    // sources it was about are closed, nothing goes out, and the pages stay usable.
    const std::vector<std::pair<juce::String, std::function<void()>>> sends
    {
        { "Changes Will Be Lost", [&] { content.getDataPage().sendDataToDevice (devices.getActiveDeviceData()->clone (false), true); } },
        { "Changes Will Be Lost", [&] { content.getDataPage().sendDataToDevice (devices.getActiveDeviceData()->clone (false), false); } },
        { "Changes Will Be Lost", [&]
        {
            // A preset chosen in a backup, sent over an edited slot of the workspace.
            auto& page = content.getDataPage();
            page.getBrowser().backupDeviceData (true, true, true);
            const auto backups = page.getBrowser().getBackupsNode();
            workspace (*running).deletePreset (5);
            SearchTarget& target = page;
            target.selectItemFor (backups.getChild (backups.getNumChildren() - 1));
            target.setSelectedPresets ({ 5 });
            ASSERT_EQ (page.getSelectedPresetIndices(), juce::Array<int> { 5 });
            running->perform (CommandIDs::sendDirectToDevice);
        } },
        { "Confirm Send Setup", [&] { running->perform (CommandIDs::restoreSetup); } },
        { "Apply Changes", [&] { running->perform (CommandIDs::applyChanges); } },
    };

    for (const auto& [asked, send] : sends)
    {
        running->perform (CommandIDs::scanForDevices);
        ASSERT_TRUE (running->waitFor ([&]
        {
            return running->application().getAppState() == AppState::idle && devices.getActiveIndex() >= 0
                && ! content.getDataPage().isSyncNeeded() && ! content.getDataPage().isBusy();
        }, 120000));

        if (asked == "Changes Will Be Lost")
            workspace (*running).deletePreset (3);

        const Alerts::ScopedChoiceResponder lostMeanwhile { [&, asked = asked] (const Alerts::Box& box)
        {
            running->boxes.push_back (box);

            if (box.title == asked)
                running->notify (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {}));

            return box.title == "USB Device Connection Lost" ? 1 : 0;   // "Later", then go ahead
        } };

        send();
        running->drain();
        EXPECT_EQ (devices.getActiveIndex(), -1) << asked;
        EXPECT_TRUE (content.getDevicePage().isEnabled()) << asked;
        EXPECT_FALSE (running->statusBar().isProgressShown()) << asked;
    }
}

TEST_F (ContentTest, WithThePreviousSyncMethodDisconnectKeepsTheEditsWithoutAskingButRestoreAsks)
{
    auto holder = startWithThePreviousMethod();
    auto& running = *holder;

    workspace (running).deletePreset (2);
    running.answers["Changes Will Be Lost"] = 1;
    running.content().getDataPage().sendDataToDevice (running.devices().getActiveDeviceData()->clone (false), true);
    EXPECT_EQ (running.titles(), juce::StringArray { "Changes Will Be Lost" });

    running.perform (CommandIDs::disconnectDevice);
    EXPECT_EQ (running.boxes.size(), 1u);
    EXPECT_EQ (running.devices().getActiveIndex(), -1);
}

//==============================================================================
TEST_F (ContentTest, ScanEndConnectsTheRememberedUnitElseTheFirstUsableOne)
{
    RunningApp::Options options;
    options.units = "0x12,0x12";
    options.settings.set ("lastConnectedDevice", "10000002");
    options.settings.set ("dataSyncMethod", "manual");
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() >= 0; }));
    EXPECT_EQ (running.devices().getDeviceSerial (-1), 10000002);
    EXPECT_TRUE (running.content().isPresetsTabEnabled());
    EXPECT_EQ (running.statusBar().getConnectionText(), "Vesper");
    EXPECT_EQ (running.statusBar().getFirmwareText(), "1.4.00 build 140");

    // A rescan with the remembered unit gone takes the first usable one.
    running.content().connectToDevice (-1);
    EXPECT_EQ (running.statusBar().getConnectionText(), "Nothing Connected");
    EXPECT_FALSE (running.content().isPresetsTabEnabled());
    running.settings().setValue ("lastConnectedDevice", 5);
    running.perform (CommandIDs::scanForDevices);
    EXPECT_EQ (running.application().getAppState(), AppState::scanning);
    ASSERT_TRUE (running.waitFor ([&] { return running.application().getAppState() == AppState::idle; }));
    EXPECT_EQ (running.devices().getActiveIndex(), 0);
    EXPECT_EQ (running.settings().getIntValue ("lastConnectedDevice"), running.devices().getDeviceSerial (0));
    EXPECT_TRUE (running.boxes.empty());
}

// A unit identified once its capabilities came late does not bring back a connection the user closed.
TEST_F (ContentTest, UnitIdentifiedLateDoesNotUndoADisconnect)
{
    RunningApp::Options options;
    options.units = "0x12,0x1A";
    options.settings.set ("dataSyncMethod", "manual");
    options.contentSettles = false;
    RunningApp running (options);
    running.server.setAnswer ("/Belvora2/QuillDuo/caps.xml", LocalServer::Answer::silence());
    ASSERT_TRUE (running.start());
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == 0; }));

    running.perform (CommandIDs::disconnectDevice);
    ASSERT_EQ (running.devices().getActiveIndex(), -1);
    Recorder recorder (running.content());
    running.server.clearAnswers();
    ASSERT_TRUE (running.waitFor ([&] { return recorder.count (DeviceInfoMessage::scanFinished) > 0; }, 120000));
    EXPECT_TRUE (running.devices().isDeviceUsable (1));
    EXPECT_EQ (running.devices().getActiveIndex(), -1);
}

TEST_F (ContentTest, UnitWhoseProductFilesFailIsToldUnavailableNotInUse)
{
    RunningApp::Options options;
    options.units = "0x12";
    RunningApp running (options);

    for (auto* file : { "caps.xml", "images/vesper.png", "images/vesper_black.png", "firmware.xml", "rules.xml", "packs/vesper_presets.zip" })
        running.server.setAnswer (juce::String ("/Belvora2/Vesper/") + file, LocalServer::Answer::error (404));

    ASSERT_TRUE (running.start());
    ASSERT_TRUE (running.waitFor ([&] { return running.titles().contains ("Product Information Unavailable"); }));
    EXPECT_FALSE (running.titles().contains ("Device In Use"));
    EXPECT_FALSE (running.titles().contains ("Device Scan Failed"));

    for (auto& box : running.boxes)
    {
        if (box.title == "Product Information Unavailable")
        {
            EXPECT_TRUE (box.message.contains ("Vesper")) << box.message;
        }
    }
}

TEST_F (ContentTest, ScanThatFindsNoUnitSaysWhy)
{
    RunningApp::Options options;
    options.units = "";
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    ASSERT_EQ (running.titles(), juce::StringArray { "Device Scan" }) << "the scan at start-up found nothing either";

    bool faqOpened = false;
    running.content().setOpeners ({ {}, {}, {}, {}, [&] (const juce::URL&) { faqOpened = true; }, {} });
    running.answers["Device Scan"] = 1;   // "More Info..."
    running.perform (CommandIDs::scanForDevices);
    ASSERT_TRUE (running.waitFor ([&] { return running.boxes.size() == 2; }));
    EXPECT_EQ (running.boxes[1].title, "Device Scan");
    EXPECT_TRUE (running.boxes[1].message.startsWith ("There are no MIDI capable devices available to Belvora."));
    EXPECT_EQ (running.boxes[1].buttons, (juce::StringArray { "Ok", "More Info..." }));
    EXPECT_TRUE (faqOpened);
}

TEST (CommandDialogs, ScanResultNamesTheUnitInUseOrWhyNoneWasFound)
{
    std::vector<Alerts::Box> boxes;
    const Alerts::ScopedResponder responder ([&] (const Alerts::Box& b) { boxes.push_back (b); return true; });

    CommandDialogs::ScanFacts inUse { 2, 1, { "Vesper", "Quill Duo" } };
    EXPECT_FALSE (CommandDialogs::showDeviceScanResult (nullptr, inUse));
    EXPECT_EQ (boxes.back().title, "Device In Use");
    EXPECT_TRUE (boxes.back().message.startsWith ("Vesper is being used by another application.\n\nNote: some applications"));

    CommandDialogs::ScanFacts busy { 2, 1, {} };
    CommandDialogs::showDeviceScanResult (nullptr, busy);
    EXPECT_EQ (boxes.back().title, "Device Scan");
    EXPECT_TRUE (boxes.back().message.contains ("not available to Belvora. The most likely cause"));

    // A unit that answered holds its port: what failed was its product's download.
    CommandDialogs::ScanFacts unavailable { 2, 0, { "Quill Duo" }, { "Vesper" } };
    CommandDialogs::showDeviceScanResult (nullptr, unavailable);
    EXPECT_EQ (boxes.back().title, "Product Information Unavailable");
    EXPECT_TRUE (boxes.back().message.startsWith ("The product information for Vesper is unavailable"));

    CommandDialogs::ScanFacts none { 1, 0, {} };
    CommandDialogs::showDeviceScanResult (nullptr, none);
    EXPECT_TRUE (boxes.back().message.contains ("try repeating the scan and/or restarting your device."));
    EXPECT_TRUE (boxes.back().message.endsWith ("click the 'More Info' button."));
}

TEST (CommandDialogs, SendSetupAndFirmwareQuestionsReadAsTheyShould)
{
    std::vector<Alerts::Box> boxes;
    int answer = 1;
    const Alerts::ScopedChoiceResponder responder ([&] (const Alerts::Box& b) { boxes.push_back (b); return answer; });

    EXPECT_FALSE (CommandDialogs::confirmSendSetup (nullptr, "Vesper", false, {}));
    EXPECT_EQ (boxes.back().message, "Are you sure you want to send\nsetup data to Vesper?");
    EXPECT_EQ (boxes.back().buttons, (juce::StringArray { "Yes", "No" }));

    CommandDialogs::confirmSendSetup (nullptr, "Vesper", true, "Gig");
    EXPECT_EQ (boxes.back().message, "Are you sure you want to send setup data to Vesper?\n\nNote: the setup data from 'Gig' will be sent "
                                     "to Vesper and replace your workspace data. To retain the current workspace setup, choose \"No\" "
                                     "and make a new backup first.");

    EXPECT_EQ (CommandDialogs::askInstallNewFirmware (nullptr, "Vesper"), CommandDialogs::yes);
    EXPECT_EQ (boxes.back().title, "New Firmware Available");
    EXPECT_EQ (boxes.back().buttons, (juce::StringArray { "Show Details...", "Yes", "No" }));
    EXPECT_TRUE (boxes.back().message.endsWith ("Do you want to update now?\n\rWARNING:  Do not stop the update once it starts. "
                                                "Halting the transfer or turning off Vesper before it completes could result in data "
                                                "loss or an inoperative device. Vesper will restart on its own after the update is complete."));

    answer = 0;
    EXPECT_EQ (CommandDialogs::confirmFirmwareUpdate (nullptr, "Vesper", true), CommandDialogs::showDetails);
    EXPECT_EQ (boxes.back().buttons, (juce::StringArray { "Show Details...", "Start Update", "Cancel" }));
    EXPECT_EQ (CommandDialogs::confirmFirmwareUpdate (nullptr, "Vesper", false), CommandDialogs::yes);
    EXPECT_EQ (boxes.back().buttons, (juce::StringArray { "Start Update", "Cancel" }));

    answer = -1;   // closed
    EXPECT_EQ (CommandDialogs::askInstallNewFirmware (nullptr, "Vesper"), CommandDialogs::no);
    EXPECT_FALSE (CommandDialogs::confirmReinstallFirmware (nullptr, "Vesper"));
    EXPECT_EQ (boxes.back().title, "Firmware Update!");
    EXPECT_TRUE (boxes.back().message.startsWith ("Your firmware is already up to date. Do you want to reapply the update anyway?"));
}

//==============================================================================
TEST_F (ContentTest, ApplyChangesWritesThenDeletesAndKeepsThePagesOffUntilTheReadBack)
{
    auto running = startSynced();
    auto& content = running->content();
    auto& work = workspace (*running);
    Recorder recorder (content);

    // Nothing changed: a warning, nothing sent.
    running->perform (CommandIDs::applyChanges);
    EXPECT_EQ (running->titles(), juce::StringArray { "Apply Changes" });
    EXPECT_EQ (running->boxes.back().message, "There are no changes to apply.");
    running->drain();
    EXPECT_TRUE (recorder.commandsEndedWith (DeviceInfoMessage::commandDone).empty());

    // Two presets renamed, one deleted.
    const auto live = running->devices().getActiveDeviceData();
    for (auto slot : { 4, 6 })
    {
        work.getPreset (slot)->setName ("Edited " + juce::String (slot));
        work.setPresetModified (slot, true);
    }
    work.deletePreset (9);

    // The write's end leaves the pages off while the delete waits: as the delete
    // reports its first slot, the write's end has been acted on.
    int pagesOnWhileDeleting = -1;
    recorder.onNote = [&] (const DeviceInfoMessage& m)
    {
        if (m.code == DeviceInfoMessage::presetDeleteSent && pagesOnWhileDeleting < 0)
            pagesOnWhileDeleting = content.getDevicePage().isEnabled() || content.getDataPage().isEnabled() ? 1 : 0;
    };

    running->perform (CommandIDs::applyChanges);
    EXPECT_TRUE (content.isDeletePending());
    EXPECT_EQ (running->statusBar().totalSteps, 4);
    EXPECT_FALSE (content.getDataPage().isEnabled());

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 3; }));
    EXPECT_EQ (recorder.commandsEndedWith (DeviceInfoMessage::commandDone),
               (std::vector<int> { DeviceCommandMessage::writeGivenPresets, DeviceCommandMessage::deletePresets, DeviceCommandMessage::readPresets }));
    EXPECT_EQ (pagesOnWhileDeleting, 0);
    EXPECT_FALSE (content.isDeletePending());
    EXPECT_TRUE (content.getDevicePage().isEnabled());
    EXPECT_FALSE (running->statusBar().isProgressShown());

    // The unit has what the workspace has.
    auto& unit = running->unit (0);
    EXPECT_EQ (unit.getPreset (4)->getName(), "Edited 4");
    EXPECT_EQ (unit.getPreset (6)->getName(), "Edited 6");
    EXPECT_EQ (unit.getPreset (9), nullptr);
    EXPECT_NE (unit.getPreset (5), nullptr);
    EXPECT_FALSE (content.getDataPage().getDeviceDataSet()->isModified());
    EXPECT_NE (live, nullptr);
}

TEST_F (ContentTest, FailedWriteClearsThePendingDeleteResetsTheUnitAndEndsTheProgress)
{
    auto running = startSynced();
    auto& content = running->content();
    auto& work = workspace (*running);
    Recorder recorder (content);

    SimulatedUnit::Faults faults;
    faults.writeStatusForSlot[4] = 0x7f;   // anything but acceptance
    running->unit (0).setFaults (faults);

    work.getPreset (4)->setName ("Rejected");
    work.setPresetModified (4, true);
    work.deletePreset (9);
    running->perform (CommandIDs::applyChanges);
    ASSERT_TRUE (content.isDeletePending());

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandFailed) == 1; }));
    running->drain();
    EXPECT_FALSE (content.isDeletePending());
    EXPECT_TRUE (content.getDataPage().isEnabled());
    EXPECT_TRUE (content.getDevicePage().isEnabled());
    EXPECT_FALSE (running->statusBar().isProgressShown());
    EXPECT_TRUE (running->titles().contains ("Device Error") || running->titles().contains ("Internal Error"));
    EXPECT_NE (running->unit (0).getPreset (9), nullptr) << "the delete queued behind the failed write never ran";

    // The unit runs commands again.
    running->unit (0).setFaults ({});
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return recorder.commandsEndedWith (DeviceInfoMessage::commandDone).size() == 1; }));
    EXPECT_EQ (recorder.commandsEndedWith (DeviceInfoMessage::commandDone)[0], DeviceCommandMessage::readAll);
}

TEST_F (ContentTest, RestoreSetupCountsOneStepAndAFailedOneLeavesTheUnitUsable)
{
    auto running = startSynced();
    auto& content = running->content();
    auto& bar = running->statusBar();
    Recorder recorder (content);

    // A download leaves its own count behind (the page takes its data once it is on disk).
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 1 && ! content.getDataPage().isBusy(); }));
    ASSERT_NE (bar.totalSteps, 1);

    running->perform (CommandIDs::restoreSetup);
    ASSERT_EQ (running->titles(), juce::StringArray { "Confirm Send Setup" });
    EXPECT_EQ (running->boxes.back().message, "Are you sure you want to send\nsetup data to Vesper?");
    EXPECT_EQ (bar.totalSteps, 1);
    EXPECT_EQ (bar.doneSteps, 0);
    EXPECT_TRUE (bar.isProgressShown());

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 2; }));
    running->drain();
    EXPECT_FALSE (bar.isProgressShown()) << "the setup's last packet ends the progress";
    EXPECT_TRUE (content.getDataPage().isEnabled());

    // "No" sends nothing.
    running->answers["Confirm Send Setup"] = 1;
    running->perform (CommandIDs::restoreSetup);
    running->drain();
    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_EQ (recorder.count (DeviceInfoMessage::commandDone), 2);

    // An incomplete setup is not offered: the unit would never take it.
    const auto boxesBefore = running->boxes.size();
    const auto version = workspace (*running).getSetup().getSetupDataVersion();
    workspace (*running).getSetup().setSetupDataVersion (0);
    running->perform (CommandIDs::restoreSetup);
    running->drain();
    EXPECT_EQ (running->boxes.size(), boxesBefore);
    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_EQ (recorder.count (DeviceInfoMessage::commandDone), 2);
    workspace (*running).getSetup().setSetupDataVersion (version);

    // A rejected setup: the pages come back, the progress goes, the unit works again.
    SimulatedUnit::Faults faults;
    faults.setupWriteStatus = 0x7f;
    running->unit (0).setFaults (faults);
    running->answers.clear();
    running->perform (CommandIDs::restoreSetup);
    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandFailed) == 1; }));
    running->drain();
    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_TRUE (content.getDataPage().isEnabled());
    EXPECT_TRUE (content.getDevicePage().isEnabled());

    running->unit (0).setFaults ({});
    running->perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 3; }));
}

TEST_F (ContentTest, DisconnectingForgetsAPendingDelete)
{
    auto running = startSynced();
    auto& content = running->content();
    workspace (*running).deletePreset (5);

    running->unit (0).stallReceiving();
    running->perform (CommandIDs::applyChanges);
    ASSERT_TRUE (content.isDeletePending());

    running->perform (CommandIDs::disconnectDevice);
    EXPECT_FALSE (content.isDeletePending());
    EXPECT_EQ (running->devices().getActiveIndex(), -1);
    EXPECT_EQ (running->statusBar().getConnectionText(), "Nothing Connected");
    EXPECT_EQ (content.getTabs().getCurrentTabIndex(), content.getDevicesTabIndex());
    running->unit (0).resumeReceiving();
}

TEST_F (ContentTest, SendDirectSendsTheImageOrNothingWithoutASelection)
{
    auto running = startSynced();
    auto& content = running->content();
    Recorder recorder (content);

    running->perform (CommandIDs::sendDirectToDevice);
    running->drain();
    EXPECT_TRUE (recorder.notes.empty() || recorder.count (DeviceInfoMessage::commandDone) == 0);

    // An image of two presets and the setup, as an import would hand it over.
    const auto live = running->devices().getActiveDeviceData();
    auto image = live->createCopy ({ 2, 3 }, true, true);
    image->getPreset (2)->setName ("From File");
    content.getDataPage().sendDataToDevice (std::move (image), false);
    EXPECT_EQ (running->statusBar().totalSteps, 3);

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 1; }));
    EXPECT_EQ (recorder.commandsEndedWith (DeviceInfoMessage::commandDone)[0], DeviceCommandMessage::writeAllOfData);
    EXPECT_EQ (running->unit (0).getPreset (2)->getName(), "From File");
    EXPECT_EQ (workspace (*running).getPreset (2)->getName(), "From File");
    EXPECT_EQ (content.getDataPage().getPendingSendData(), nullptr);

    // An incomplete setup stays home: it is no step, and the progress ends with the presets.
    running->drain();
    auto partial = live->createCopy ({ 2, 3 }, true, true);
    ASSERT_GT (partial->getSetup().getNumMidiMessages(), 0);
    partial->getSetup().setSetupDataVersion (0);
    content.getDataPage().sendDataToDevice (std::move (partial), false);
    EXPECT_EQ (running->statusBar().totalSteps, 2);

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 2; }));
    running->drain();
    EXPECT_FALSE (running->statusBar().isProgressShown());

    // The same for a restored image, which holds every preset so that nothing is deleted.
    auto whole = live->createCopy (workspace (*running).getUsedPresetIndices(), true, true);
    whole->getSetup().setSetupDataVersion (0);
    const auto presets = whole->getNumPresets();
    content.getDataPage().sendDataToDevice (std::move (whole), true);
    EXPECT_EQ (running->statusBar().totalSteps, presets);

    ASSERT_TRUE (running->waitFor ([&] { return recorder.count (DeviceInfoMessage::commandDone) == 3; }));
    running->drain();
    EXPECT_FALSE (running->statusBar().isProgressShown());
}

//==============================================================================
TEST_F (ContentTest, NotificationsAreBroadcastFirstThenActedOn)
{
    RunningApp::Options options;
    options.units = "0x12";
    options.settings.set ("dataSyncMethod", "manual");
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    auto& content = running.content();
    auto& bar = running.statusBar();
    auto& app = running.application();
    Recorder recorder (content);

    // Lost connection and port changes mean nothing while scanning or updating.
    for (auto state : { AppState::scanning, AppState::firmwareUpdate })
    {
        app.setAppState (state);
        running.notify (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {}));
        running.notify (DeviceInfoMessage (DeviceInfoMessage::portsChanged, 0, 0, {}));
        EXPECT_EQ (app.getAppState(), state);
    }

    EXPECT_EQ (recorder.count (DeviceInfoMessage::activeDeviceLost), 2);
    EXPECT_TRUE (running.boxes.empty()) << running.titles().joinIntoString (", ");
    app.setAppState (AppState::idle);

    // Ports changed with the unit connected: a notice, the state says a rescan is due.
    ASSERT_GE (running.devices().getActiveIndex(), 0);
    running.notify (DeviceInfoMessage (DeviceInfoMessage::portsChanged, 0, 0, {}));
    EXPECT_EQ (app.getAppState(), AppState::rescanNeeded);
    ASSERT_EQ (running.titles(), juce::StringArray { "USB Device Change" });
    EXPECT_EQ (running.boxes.back().message, "A MIDI device change has been detected.\nThe connection to Vesper is still open, "
                                             "but you must rescan before switching to a different device.");

    // Content downloads show in the status bar; a failed one says so.
    running.notify (DeviceInfoMessage (DeviceInfoMessage::downloadStarted, 0, 0, "Vesper"));
    EXPECT_TRUE (bar.isProgressShown());
    EXPECT_EQ (bar.getStatusLabelText(), "Downloading");
    running.notify (DeviceInfoMessage (0x70001, 0, 0, {}));
    EXPECT_TRUE (bar.isProgressShown()) << "a download is still shown";
    running.notify (DeviceInfoMessage (DeviceInfoMessage::downloadFailed, 0, 0, "Vesper"));
    EXPECT_FALSE (bar.isProgressShown());
    EXPECT_EQ (running.boxes.back().title, "Download Failed");
    EXPECT_EQ (running.boxes.back().message, "Belvora was unable to synchronize content for Vesper and keeps trying by itself. With Vesper "
                                             "connected, Scan for Devices tries again at once. If the error persists, please contact Marrowell Support.");

    // Transfer progress: retries in the error colours, setup packets count only at the end.
    bar.setStatus (true, {}, {}, 0.0);
    bar.totalSteps = 2;
    bar.doneSteps = 0;
    running.notify (DeviceInfoMessage (DeviceInfoMessage::presetWriteTryFailed, 7, 2, {}));
    EXPECT_EQ (bar.doneSteps, 0);
    running.notify (DeviceInfoMessage (DeviceInfoMessage::setupPacketSent, 1, 3, {}));
    EXPECT_EQ (bar.doneSteps, 0);
    running.notify (DeviceInfoMessage (DeviceInfoMessage::setupPacketSent, 3, 3, {}));
    EXPECT_EQ (bar.doneSteps, 1);
    running.notify (DeviceInfoMessage (DeviceInfoMessage::presetWritten, 5, 0, "Lead"));
    EXPECT_FALSE (bar.isProgressShown());

    // The backup conversion's three endings.
    running.notify (DeviceInfoMessage (DeviceInfoMessage::backupConversionDone, 1, 0, {}));
    EXPECT_EQ (running.boxes.back().title, "Conversion Complete");
    running.notify (DeviceInfoMessage (DeviceInfoMessage::backupConversionDone, 0, 0, "stopped"));
    EXPECT_EQ (running.boxes.back().title, "Backup Conversion Interrupted");
    EXPECT_EQ (running.boxes.back().message, "Not all backups have been converted.\n\nInfo: stopped");
    running.notify (DeviceInfoMessage (DeviceInfoMessage::backupConversionDone, 0, 1, {}));
    EXPECT_EQ (running.boxes.back().title, "Backup Conversion Error");
    EXPECT_TRUE (running.boxes.back().message.endsWith ("please contact Marrowell support."));

    // A lost connection offers a rescan; "Later" disconnects.
    running.answers["USB Device Connection Lost"] = 1;
    running.notify (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {}));
    EXPECT_EQ (running.boxes.back().buttons, (juce::StringArray { "Scan Now", "Later" }));
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == -1; }));
    EXPECT_FALSE (content.isPresetsTabEnabled());

    // Messages that are not notifications are dropped.
    const auto before = recorder.notes.size();
    content.handleMessage (DeviceCommandMessage (DeviceCommandMessage::scan));
    EXPECT_EQ (recorder.notes.size(), before);
}

TEST_F (ContentTest, OptionsDialogOutcomesTellThePages)
{
    RunningApp::Options options;
    options.units = "0x12";
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    auto& content = running.content();
    Recorder recorder (content);

    BelvoraContentComponent::OptionsOutcome outcome;
    content.setOpeners ({ [&] (juce::Component*) { return outcome; }, {}, {}, {}, {}, {} });

    running.perform (CommandIDs::showOptions);
    running.drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::optionsChanged), 0) << "cancelled";

    outcome = { 1, false, false, false };
    running.perform (CommandIDs::showOptions);
    running.drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::optionsChanged), 1);
    EXPECT_EQ (recorder.count (DeviceInfoMessage::forgetKnownDevice), 0);
    EXPECT_TRUE (running.boxes.empty());

    outcome = { 1, true, true, true };
    running.settings().setValue ("presetCellButtonScale", 2.5);
    running.perform (CommandIDs::showOptions);
    running.drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::forgetKnownDevice), 1);
    EXPECT_EQ (recorder.count (DeviceInfoMessage::optionsChanged), 2);

    // The unit's own notices may come in between: find the two by their codes.
    const auto lastOf = [&] (int code)
    {
        const auto found = std::find_if (recorder.notes.rbegin(), recorder.notes.rend(), [code] (const auto& m) { return m.code == code; });
        return found == recorder.notes.rend() ? -1 : (int) (recorder.notes.rend() - found) - 1;
    };
    const auto forget = lastOf (DeviceInfoMessage::forgetKnownDevice), changed = lastOf (DeviceInfoMessage::optionsChanged);
    ASSERT_GE (forget, 0);
    EXPECT_EQ (recorder.notes[(size_t) forget].value1, 255) << "every known unit forgotten";
    EXPECT_LT (forget, changed) << "forgotten before the pages hear of the new options";
    EXPECT_EQ (running.settings().getDoubleValue ("presetCellButtonScale"), 1.0);
    EXPECT_EQ (running.settings().getValue ("presetButtonViewType"), "icon");
    EXPECT_EQ (running.titles(), juce::StringArray { "Restart Belvora" });
}

TEST_F (ContentTest, NewFirmwareIsOfferedOncePerUnitAndTheChoiceIsHonoured)
{
    auto app = startWithNewFirmwareListed();
    auto& running = *app;
    auto& content = running.content();

    running.answers["New Firmware Available"] = 2;   // "No"
    ASSERT_TRUE (content.connectToDevice (0));
    ASSERT_EQ (running.titles(), juce::StringArray { "New Firmware Available" });
    EXPECT_EQ (content.getUpdateElement().version.build, 150);
    EXPECT_TRUE (content.getUpdatedDeviceNames().contains ("Vesper"));

    // Asked once a run.
    content.connectToDevice (-1);
    ASSERT_TRUE (content.connectToDevice (0));
    EXPECT_EQ (running.boxes.size(), 1u);

    // The same build again is a reinstall; a custom file of that build is an update.
    auto same = content.getUpdateElement();
    same.version.build = 140;
    running.answers["Firmware Update!"] = 1;   // "Cancel"
    EXPECT_FALSE (content.confirmFirmwareUpdate (same, true));
    EXPECT_EQ (running.boxes.back().buttons, (juce::StringArray { "Start Update", "Cancel" }));
    EXPECT_TRUE (running.boxes.back().message.startsWith ("Your firmware is already up to date."));

    same.status = FirmwareUpdateElement::statusCustom;
    running.answers["Firmware Update!"] = 0;   // "Show Details..."
    int chooserRuns = 0;
    content.setOpeners ({ {}, [&] (juce::Component*, int productId, bool showCustom)
    {
        EXPECT_EQ (productId, 0x12);
        EXPECT_TRUE (showCustom);
        ++chooserRuns;
        return BelvoraContentComponent::FirmwareChoice();
    }, {}, {}, {}, {} });

    EXPECT_FALSE (content.confirmFirmwareUpdate (same, true));
    EXPECT_EQ (running.boxes.back().buttons, (juce::StringArray { "Show Details...", "Start Update", "Cancel" }));
    ASSERT_TRUE (running.waitFor ([&] { return chooserRuns == 1; })) << "the details open the chooser with its custom button";
}

TEST_F (ContentTest, NewFirmwareAcceptedOnConnectingIsInstalledFromTheWindow)
{
    auto app = startWithNewFirmwareListed();
    auto& running = *app;
    auto& content = running.content();

    // "Yes" to the question as the unit connects starts the update at once.
    running.answers["New Firmware Available"] = 1;
    ASSERT_TRUE (content.connectToDevice (0));
    ASSERT_TRUE (running.waitFor ([&] { return content.getFirmwareUpdate() != nullptr; }));
    EXPECT_EQ (running.application().getAppState(), AppState::firmwareUpdate);
    EXPECT_EQ (content.getDataPage().getDeviceDataSet(), nullptr) << "the workspace closes for the update";

    // The end is reported, and the rescan finds the unit with its new build.
    ASSERT_TRUE (running.waitFor ([&] { return content.getFirmwareUpdate() == nullptr; }, 60000));
    EXPECT_TRUE (running.titles().contains ("Firmware Update Complete"));
    EXPECT_TRUE (content.getUpdatedDeviceNames().contains ("Vesper"));
    EXPECT_TRUE (running.waitFor ([&]
    {
        return running.application().getAppState() == AppState::idle && running.devices().getNumIdentifiedDevices() == 1
            && running.devices().getDeviceVersion (0).build == 150;
    }));

    // Connected again, it is not asked about again.
    ASSERT_TRUE (content.connectToDevice (0));
    const auto titles = running.titles();
    EXPECT_EQ (std::count (titles.begin(), titles.end(), juce::String ("New Firmware Available")), 1);
    EXPECT_TRUE (running.statusBar().getFirmwareText().contains ("build 150"));
}

namespace
{
    // The update runs to its end and the unit comes back running the given build.
    void expectUpdateCompletesAt (RunningApp& running, int build)
    {
        ASSERT_TRUE (running.waitFor ([&] { return running.content().getFirmwareUpdate() == nullptr; }, 60000));
        EXPECT_TRUE (running.titles().contains ("Firmware Update Complete"));
        EXPECT_TRUE (running.waitFor ([&]
        {
            return running.application().getAppState() == AppState::idle && running.devices().getNumIdentifiedDevices() == 1
                && running.devices().getDeviceVersion (0).build == build;
        }));
    }
}

TEST_F (ContentTest, EachFirmwareQuestionIsAskedOnceWhicheverWayTheChooserWasOpened)
{
    auto app = startWithNewFirmwareListed();
    auto& running = *app;
    auto& content = running.content();

    running.answers["New Firmware Available"] = 2;   // "No"
    ASSERT_TRUE (content.connectToDevice (0));
    ASSERT_TRUE (downloadByHand (running));
    ASSERT_EQ (running.devices().getDeviceVersion (-1).build, 140);
    workspace (running).deletePreset (3);            // an edit the update would lose

    // The chooser as the user meets it: what it offers, then "Start Update" clicked.
    int offered = -1;
    ChooserDriver driver ([&] (FirmwareChooserDialog& chooser)
    {
        offered = chooser.getSelectedUpdate().version.build;

        if (auto* start = ChooserDriver::buttonOf (chooser, "Start Update"))
            clickWithMouse (*start);
    });

    // Opened from the menu: its "Start Update" is confirmed, each question once.
    running.boxes.clear();
    running.answers["Changes Will Be Lost"] = 0;     // "Update Anyway"
    running.answers["Firmware Update!"] = 1;         // "Cancel"
    running.perform (CommandIDs::showFirmwareUpdates);
    ASSERT_TRUE (running.waitFor ([&] { return running.boxes.size() >= 2; }));
    running.drain();
    EXPECT_EQ (driver.opened, 1);
    EXPECT_EQ (offered, 150) << "the build above the unit's, never an older one";
    EXPECT_EQ (running.titles(), (juce::StringArray { "Changes Will Be Lost", "Firmware Update!" }));
    EXPECT_EQ (content.getFirmwareUpdate(), nullptr);

    // Opened from the question's "Show Details...": both were answered already,
    // so the chooser's "Start Update" starts the update.
    running.boxes.clear();
    offered = -1;
    running.answers["Firmware Update!"] = 0;         // "Show Details..."
    running.perform (CommandIDs::updateFirmware);
    ASSERT_TRUE (running.waitFor ([&] { return content.getFirmwareUpdate() != nullptr || (driver.opened == 2 && running.boxes.size() > 2); }));
    EXPECT_EQ (driver.opened, 2);
    EXPECT_EQ (offered, 150);
    EXPECT_EQ (running.titles(), (juce::StringArray { "Changes Will Be Lost", "Firmware Update!" }));
    ASSERT_NE (content.getFirmwareUpdate(), nullptr);

    expectUpdateCompletesAt (running, 150);
}

TEST_F (ContentTest, TheNewFirmwareOffersDetailsAndTheChoosersStartIsTheOnlyAnswerNeeded)
{
    auto app = startWithNewFirmwareListed();
    auto& running = *app;
    auto& content = running.content();

    int offered = -1;
    ChooserDriver driver ([&] (FirmwareChooserDialog& chooser)
    {
        offered = chooser.getSelectedUpdate().version.build;

        if (auto* start = ChooserDriver::buttonOf (chooser, "Start Update"))
            clickWithMouse (*start);
    });

    running.answers["New Firmware Available"] = 0;   // "Show Details..."
    ASSERT_TRUE (content.connectToDevice (0));
    ASSERT_TRUE (running.waitFor ([&] { return content.getFirmwareUpdate() != nullptr; }));
    EXPECT_EQ (driver.opened, 1);
    EXPECT_EQ (offered, 150);
    EXPECT_EQ (content.getUpdateElement().version.build, 150);
    EXPECT_EQ (running.titles(), juce::StringArray { "New Firmware Available" });

    expectUpdateCompletesAt (running, 150);
}

TEST_F (ContentTest, CommandsOpenTheProgramsDialogsOverTheWindow)
{
    RunningApp::Options options;
    options.units = "0x12";
    options.settings.set ("dataSyncMethod", "manual");
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() >= 0; }));

    // Each dialog runs modally; whatever is in front is closed as Escape would.
    const auto titleOfDialogOpenedBy = [&] (int commandId)
    {
        juce::String title;
        bool closed = false;

        std::function<void()> closeWhenShown;
        closeWhenShown = [&]
        {
            if (auto* dialog = dynamic_cast<juce::DialogWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0)))
            {
                title = dialog->getName();
                dialog->exitModalState (0);
                closed = true;
            }
            else
            {
                juce::Timer::callAfterDelay (10, closeWhenShown);
            }
        };

        juce::MessageManager::callAsync (closeWhenShown);
        running.perform (commandId);
        running.waitFor ([&] { return closed; });
        return title;
    };

    EXPECT_EQ (titleOfDialogOpenedBy (CommandIDs::showMidiDevices), "MIDI Device List");
    EXPECT_EQ (titleOfDialogOpenedBy (CommandIDs::showMidiDevicesHelp), "MIDI Device List");
    EXPECT_EQ (titleOfDialogOpenedBy (CommandIDs::showAbout), "About Belvora");
    EXPECT_EQ (titleOfDialogOpenedBy (CommandIDs::showFirmwareUpdates), "Vesper Firmware Updates");
    EXPECT_EQ (titleOfDialogOpenedBy (CommandIDs::showOptions), "Options");

    // Closed without a choice: nothing follows.
    running.drain();
    EXPECT_EQ (running.content().getFirmwareUpdate(), nullptr);
    EXPECT_TRUE (running.boxes.empty());
}

TEST_F (ContentTest, FirmwareCommandsConfirmThenUpdateOrReportWhyNot)
{
    auto app = startWithNewFirmwareListed();
    auto& running = *app;
    auto& content = running.content();

    running.answers["New Firmware Available"] = 2;   // "No": the offered image is kept for later
    ASSERT_TRUE (content.connectToDevice (0));
    ASSERT_EQ (content.getUpdateElement().version.build, 150);

    // A file chosen in the chooser that holds no firmware: confirmed, then reported, then a rescan.
    const auto junk = TestEnvironment::getHome().getChildFile ("junk.syx");
    ASSERT_TRUE (junk.replaceWithText ("not firmware"));
    bool chooserShowedCustom = true;
    content.setOpeners ({ {}, [&] (juce::Component*, int, bool showCustom)
    {
        chooserShowedCustom = showCustom;
        return BelvoraContentComponent::FirmwareChoice { true, FirmwareUpdateElement::createFromFile (junk.getFullPathName(), content.getUpdateElement().version) };
    }, {}, {}, {}, {} });

    running.perform (CommandIDs::showFirmwareUpdates);
    EXPECT_FALSE (chooserShowedCustom);
    ASSERT_TRUE (running.titles().contains ("Firmware Update!"));
    EXPECT_EQ (running.boxes.back().buttons, (juce::StringArray { "Start Update", "Cancel" })) << "no details from the chooser itself";
    EXPECT_TRUE (content.getDescriptionReadDeviceNames().contains ("Vesper"));

    ASSERT_TRUE (running.waitFor ([&] { return running.titles().contains ("Firmware Update Error"); }));
    EXPECT_TRUE (running.boxes.back().message.contains ("valid firmware"));
    EXPECT_EQ (content.getFirmwareUpdate(), nullptr);
    ASSERT_TRUE (running.waitFor ([&] { return running.application().getAppState() == AppState::idle
                                               && running.devices().getNumIdentifiedDevices() == 1; }));

    // "Update firmware" asks with the details offered; "Start Update" installs the offered image.
    ASSERT_TRUE (content.connectToDevice (0));
    running.answers["Firmware Update!"] = 1;
    running.perform (CommandIDs::updateFirmware);
    EXPECT_EQ (running.boxes.back().buttons, (juce::StringArray { "Show Details...", "Start Update", "Cancel" }));
    ASSERT_NE (content.getFirmwareUpdate(), nullptr);
    EXPECT_EQ (running.application().getAppState(), AppState::firmwareUpdate);

    ASSERT_TRUE (running.waitFor ([&] { return content.getFirmwareUpdate() == nullptr; }, 60000));
    EXPECT_TRUE (running.titles().contains ("Firmware Update Complete"));
    ASSERT_TRUE (running.waitFor ([&]
    {
        return running.application().getAppState() == AppState::idle && running.devices().getNumIdentifiedDevices() == 1
            && running.devices().getDeviceVersion (0).build == 150;
    }));

    // Now the same build: a reinstall is asked about, and "Cancel" starts nothing.
    ASSERT_TRUE (content.connectToDevice (0));
    running.perform (CommandIDs::updateFirmware);
    EXPECT_TRUE (running.boxes.back().message.startsWith ("Your firmware is already up to date."));
    EXPECT_EQ (content.getFirmwareUpdate(), nullptr);
}

TEST_F (ContentTest, AnUpdateStoppedBeforeItsImageEndsQuietlyAndKeepsTheEditsAndTheUnitTakesTheBuildItIsSent)
{
    auto running = startSynced();
    auto& content = running->content();
    auto& devices = running->devices();
    const juce::File images (juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/firmware"));

    FirmwareUpdateElement chosen;
    content.setOpeners ({ {}, [&] (juce::Component*, int, bool) { return BelvoraContentComponent::FirmwareChoice { true, chosen }; },
                          {}, {}, {}, {} });

    const auto imageOf = [&] (const char* file, int build)
    {
        auto version = devices.getDeviceVersion (-1);
        version.build = static_cast<int16_t> (build);
        return FirmwareUpdateElement::createFromFile (images.getChildFile (file).getFullPathName(), version);
    };

    // Back to build 120: its older data formats cannot take the unit's data, so the update asks
    // first. "No" ends it before anything went to the unit: no report, no rescan, the edit stays.
    workspace (*running).deletePreset (3);
    chosen = imageOf ("vesper_1_2_0_b120.syx", 120);
    running->answers["Changes Will Be Lost"] = 0;   // "Update Anyway"
    running->answers["Firmware Update"] = 1;        // "No"
    Recorder recorder (content);
    running->perform (CommandIDs::showFirmwareUpdates);
    ASSERT_NE (content.getFirmwareUpdate(), nullptr);
    ASSERT_TRUE (running->waitFor ([&] { return content.getFirmwareUpdate() == nullptr; }, 60000));
    EXPECT_TRUE (running->titles().contains ("Firmware Update"));
    EXPECT_FALSE (running->titles().contains ("Firmware Update Interrupted"));
    running->drain();
    EXPECT_EQ (recorder.count (DeviceInfoMessage::scanFinished), 0);
    EXPECT_EQ (running->application().getAppState(), AppState::idle);
    ASSERT_GE (devices.getActiveIndex(), 0);
    EXPECT_EQ (devices.getDeviceVersion (-1).build, 140);
    ASSERT_NE (content.getDataPage().getDeviceDataSet(), nullptr);
    EXPECT_FALSE (workspace (*running).isPresetSlotUsed (3));
    EXPECT_TRUE (content.getDataPage().getDeviceDataSet()->isModified());

    // The files the update's start removed are written again, the edit in them.
    const juce::File unitFolder (devices.getActiveDeviceDataFolder());
    EXPECT_TRUE (running->waitFor ([&]
    {
        const auto stored = DeviceData::loadFromFile (unitFolder.getChildFile ("working.mwd"));
        return stored != nullptr && ! stored->isPresetSlotUsed (3) && unitFolder.getChildFile ("sync.mwd").existsAsFile();
    }));

    // The same build again: the unit comes back with the build of the image it was sent.
    running->boxes.clear();
    chosen = imageOf ("vesper_1_4_0_b140.syx", 140);
    running->perform (CommandIDs::showFirmwareUpdates);
    ASSERT_TRUE (running->waitFor ([&] { return content.getFirmwareUpdate() == nullptr; }, 60000));
    EXPECT_TRUE (running->titles().contains ("Firmware Update Complete")) << running->titles().joinIntoString (", ");
    ASSERT_TRUE (running->waitFor ([&] { return running->application().getAppState() == AppState::idle
                                                && devices.getNumIdentifiedDevices() == 1; }));
    EXPECT_EQ (devices.getDeviceVersion (0).build, 140);
}
