// The "Devices" tab inside the running program: tiles for the units on the
// simulated ports and for remembered units, following units that are plugged
// in and pulled out while the page is shown; clicks with synthesized mouse
// input, the page's menu and filter, the toolbar, and the concertina's sizes.
// Needs a display.

#include "archive/CloudArchiveManager.h"
#include "content/ContentManager.h"
#include "devices/DeviceProfiler.h"
#include "devices/SimulatedUnitSet.h"
#include "DialogTestSupport.h"
#include "gui/CommandIDs.h"
#include "gui/datapage/DataPage.h"
#include "gui/devicepage/DevicePage.h"
#include "gui/RunningAppFixture.h"
#include "gui/ToolbarItemFactories.h"
#include "gui/widgets/MidiDeviceStatusButton.h"
#include "model/DeviceData.h"

#include <gtest/gtest.h>

namespace
{
    class DevicePageTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";
        }

        static RunningApp::Options optionsFor (const juce::String& units, bool autoConnect = false)
        {
            RunningApp::Options options;
            options.units = units;
            options.settings.set ("dataSyncMethod", "manual");
            options.settings.set ("autoConnectAtStartup", autoConnect ? "1" : "0");
            return options;
        }

        static SimulatedUnitSet& unitsOf (RunningApp& running)
        {
            return dynamic_cast<SimulatedUnitSet&> (running.devices().getBackend());
        }

        static bool settled (RunningApp& running, int present, int offline)
        {
            auto& page = running.content().getDevicePage();
            return running.application().getAppState() == AppState::idle && page.getDevicePanel().getNumButtons() == present
                && page.getOfflinePanel().getNumButtons() == offline;
        }

        static juce::StringArray namesIn (DeviceButtonPanel& panel)
        {
            juce::StringArray names;

            for (int i = 0; i < panel.getNumButtons(); ++i)
                names.add (panel.getButton (i)->getDeviceName());

            return names;
        }

        static juce::ToolbarItemComponent* item (DevicePage& page, int id)   { return DialogTests::toolbarItem (page.getToolbar(), id); }

        /** The tile of the device-manager entry at that index. */
        static MidiDeviceStatusButton* tileOf (DevicePage& page, int deviceIndex)
        {
            auto& panel = page.getDevicePanel();

            for (int i = 0; i < panel.getNumButtons(); ++i)
                if (DevicePage::getDeviceIndex (*panel.getButton (i)) == deviceIndex)
                    return panel.getButton (i);

            return nullptr;
        }

        /** A mouse event through the window's peer, as the platform delivers one. */
        static void send (juce::Component& target, juce::Point<int> at, juce::ModifierKeys mods, juce::int64 when)
        {
            auto* peer = target.getPeer();
            ASSERT_NE (peer, nullptr);
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, peer->getComponent().getLocalPoint (&target, at).toFloat(),
                                    mods, juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, when);
        }

        /** The pointer over the spot, then the button down. */
        static void press (juce::Component& target, juce::ModifierKeys button, juce::Point<int> at, juce::int64 when)
        {
            send (target, at, {}, when);
            juce::ModifierKeys::currentModifiers = button;
            send (target, at, button, when + 10);
        }

        /** `heldAtRelease` is what the platform reports as held when the click is reported. */
        static void release (juce::Component& target, juce::Point<int> at, juce::int64 when, juce::ModifierKeys heldAtRelease = {})
        {
            juce::ModifierKeys::currentModifiers = heldAtRelease;
            send (target, at, {}, when);
            juce::ModifierKeys::currentModifiers = {};
        }

        static void click (juce::Component& target, juce::ModifierKeys button, juce::Point<int> at,
                           juce::ModifierKeys heldAtRelease = {})
        {
            const auto t = juce::Time::currentTimeMillis();
            press (target, button, at, t);
            release (target, at, t + 20, heldAtRelease);
        }

        static void leftClick (juce::Component& target, juce::ModifierKeys heldAtRelease = {})
        {
            click (target, juce::ModifierKeys::leftButtonModifier, target.getLocalBounds().getCentre(), heldAtRelease);
        }

        static int count (const std::vector<int>& ids, int id)
        {
            return (int) std::count (ids.begin(), ids.end(), id);
        }
    };

    /** The menu's entries as "id text" lines, "-" for a separator and a trailing " *" when ticked. */
    juce::StringArray entriesOf (const juce::PopupMenu& menu)
    {
        juce::StringArray entries;

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            auto& i = it.getItem();
            entries.add (i.isSeparator ? juce::String ("-") : "0x" + juce::String::toHexString (i.itemID) + " " + i.text + (i.isTicked ? " *" : ""));
        }

        return entries;
    }
}

//==============================================================================
TEST_F (DevicePageTest, TilesFollowUnitsPluggedInAndPulledOutWhileShown)
{
    RunningApp running (optionsFor ("0x12,0x12"));
    ASSERT_TRUE (running.start());
    auto& page = running.content().getDevicePage();
    ASSERT_TRUE (page.isShowing());
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 2, 0); }));
    EXPECT_EQ (namesIn (page.getDevicePanel()), juce::StringArray ({ "Vesper", "Vesper" }));
    EXPECT_EQ (page.getSelectedDeviceIndex(), -1);
    EXPECT_TRUE (page.isEnabled());

    // The page keeps no unit of its own: once a rescan replaced the units, the old ones are freed.
    const std::weak_ptr<DeviceObject> firstUnit = running.devices().getDevice (0);
    ASSERT_FALSE (firstUnit.expired());

    // A unit is plugged in: the change is noticed, "Scan Now" is answered, a third tile comes.
    auto& units = unitsOf (running);
    units.addUnit (SimulatedUnit::sampleProfile (0x12, 3));
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 3, 0); }));
    EXPECT_TRUE (running.titles().contains ("USB Device Change"));
    EXPECT_TRUE (firstUnit.expired());

    // One is pulled out: it is remembered, so it shows among the offline units.
    units.getUnit (1).unplug();
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 2, 1); }));
    auto* offline = page.getOfflinePanel().getButton (0);
    EXPECT_TRUE (offline->isOffline());
    EXPECT_EQ (offline->getSerialNumber(), 10000002);
    EXPECT_EQ (offline->getDeviceName(), "Vesper");
    EXPECT_EQ (DevicePage::getDeviceIndex (*offline), -1);

    // Back in, it is present again and no longer offline.
    units.getUnit (1).plugIn();
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 3, 0); }));

    for (int i = 0; i < 3; ++i)
        EXPECT_NE (tileOf (page, i), nullptr) << "a tile for every entry, index " << i;

    // A firmware update empties the present units' panel until it ends.
    running.content().setAppState (AppState::firmwareUpdate);
    EXPECT_EQ (page.getDevicePanel().getNumButtons(), 0);
    EXPECT_FALSE (page.isEnabled());
    running.content().setAppState (AppState::idle);
    EXPECT_EQ (page.getDevicePanel().getNumButtons(), 3);
    EXPECT_TRUE (page.isEnabled());

    // The connected one is pulled out: one box tells the lost connection, no device error before it.
    ASSERT_TRUE (running.content().connectToDevice (running.devices().indexOfDeviceWithSerial (10000002)));
    ASSERT_TRUE (running.waitFor ([&] { return running.content().getDataPage().getDeviceDataSet() != nullptr; }));
    running.boxes.clear();
    units.getUnit (1).unplug();
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == -1 && settled (running, 2, 1); }));
    EXPECT_EQ (running.titles().joinIntoString ("|"), "USB Device Connection Lost");
}

TEST_F (DevicePageTest, TileShowsItsProductsPictureOnceItArrivesAfterTheUnit)
{
    auto options = optionsFor ("0x12", true);   // connected: the presets page is open too
    options.contentSettles = false;
    RunningApp running (options);

    // A picture comes late (the product's pictures are shown together) and
    // the product's other files never: the unit is listed without them, and
    // only the download's status can tell the page.
    const auto images = juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Vesper/images");
    juce::MemoryBlock png;
    ASSERT_TRUE (images.getChildFile ("vesper.png").loadFileAsData (png));
    auto late = LocalServer::Answer();
    late.body.assign (static_cast<const char*> (png.getData()), png.getSize());
    late.trickleMs = 10000 / (int) png.getSize();   // never silent for long: it is not dropped
    running.server.setAnswer ("/Belvora2/Vesper/images/vesper.png", late);

    running.server.setAnswer ("/Belvora2/Vesper/firmware.xml", LocalServer::Answer::silence());
    ASSERT_TRUE (running.start());
    auto& page = running.content().getDevicePage();
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 1, 0); }));
    EXPECT_TRUE (running.devices().isDeviceUsable (0));

    auto pictureCentre = [&]
    {
        auto* tile = tileOf (page, 0);
        const auto snapshot = tile->createComponentSnapshot (tile->getLocalBounds());
        const auto area = tile->getPictureBounds();
        return snapshot.getPixelAt (area.getCentreX(), area.getCentreY());
    };

    auto isPlaceholder = [] (juce::Colour c)
    {
        const juce::Colour card (0xff42545e);   // the middle of the catalogue's stand-in picture
        return std::abs (c.getRed() - card.getRed()) + std::abs (c.getGreen() - card.getGreen()) + std::abs (c.getBlue() - card.getBlue()) < 40;
    };

    auto* content = Nexus::getContentManager();
    ASSERT_NE (tileOf (page, 0), nullptr);
    EXPECT_TRUE (content->getProductImage (0x12, "Vesper") == content->getDefaultPicture());
    EXPECT_TRUE (isPlaceholder (pictureCentre()));

    ASSERT_TRUE (running.waitFor ([&] { return ! (content->getProductImage (0x12, "Vesper") == content->getDefaultPicture()); }, 60000));
    EXPECT_TRUE (running.waitFor ([&] { return ! isPlaceholder (pictureCentre()); }));

    // The presets page, opened before, shows the picture and the packs that came meanwhile.
    auto& data = running.content().getDataPage();
    EXPECT_TRUE (running.waitFor ([&] { return data.getUnitPicture() == content->getProductImage (0x12, "Vesper"); }));
    EXPECT_TRUE (running.waitFor ([&] { auto* cloud = data.getCloudManager(); return cloud != nullptr && cloud->getTree().getNumChildren() > 0; }));
}

TEST_F (DevicePageTest, LeftClickOrSpaceOnAUsableTileConnectsItOtherClicksDoNot)
{
    RunningApp running (optionsFor ("0x12,0x12,0x12"));
    ASSERT_TRUE (running.start());
    auto& page = running.content().getDevicePage();
    PerformedCommands performed (running.content());

    // The third unit goes: it becomes an offline tile.
    unitsOf (running).getUnit (2).unplug();
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 2, 1); }));

    // A right click held over the release does not connect, nor does an offline tile.
    leftClick (*tileOf (page, 1), juce::ModifierKeys::rightButtonModifier);
    leftClick (*page.getOfflinePanel().getButton (0));
    running.drain();
    EXPECT_EQ (count (performed.ids, CommandIDs::connectSelectedDevice), 0);
    EXPECT_EQ (running.devices().getActiveIndex(), -1);
    EXPECT_FALSE (tileOf (page, 1)->getToggleState()) << "a refused click leaves no tile selected";

    // A plain left click selects and connects.
    leftClick (*tileOf (page, 1));
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == 1; }));
    EXPECT_EQ (count (performed.ids, CommandIDs::connectSelectedDevice), 1);
    EXPECT_EQ (page.getSelectedDeviceIndex(), 1);

    // Space on another, focused, moves the connection as a click does; the first tile lets go of its selection.
    ASSERT_TRUE (running.waitFor ([&] { tileOf (page, 0)->grabKeyboardFocus(); return tileOf (page, 0)->hasKeyboardFocus (false); }));
    ASSERT_TRUE (DialogTests::pressKey (juce::KeyPress (juce::KeyPress::spaceKey)));
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == 0; }));
    EXPECT_TRUE (running.waitFor ([&] { return ! tileOf (page, 1)->getToggleState(); }));
    EXPECT_EQ (page.getSelectedDeviceIndex(), 0);

    // The disconnect item lets go of it.
    leftClick (*item (page, DeviceToolbarItemFactory::disconnect));
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == -1; }));
    EXPECT_FALSE (item (page, DeviceToolbarItemFactory::disconnect)->isEnabled());

    // Forgetting the remembered unit takes its tile away.
    const auto serial = page.getOfflinePanel().getButton (0)->getSerialNumber();
    running.notify (DeviceInfoMessage (DeviceInfoMessage::forgetKnownDevice, 0x12, serial, {}));
    EXPECT_EQ (page.getOfflinePanel().getNumButtons(), 0);
}

TEST_F (DevicePageTest, MenuOnEmptySpaceAndTheFilterOfForeignPorts)
{
    RunningApp running (optionsFor ("0x12", true));
    ASSERT_TRUE (running.start());
    auto& page = running.content().getDevicePage();
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == 0; }));

    // Another maker's instrument on a port pair of its own.
    auto& ports = unitsOf (running);
    ports.addInput ("Other Synth");
    ports.addOutput ("Other Synth", [] (const juce::MidiMessage&) {});
    ASSERT_TRUE (running.waitFor ([&] { return running.titles().contains ("USB Device Change"); }));
    running.perform (CommandIDs::scanForDevices);
    ASSERT_TRUE (running.waitFor ([&] { return settled (running, 2, 0) && running.devices().getActiveIndex() >= 0; }));

    auto& panel = page.getDevicePanel();
    EXPECT_TRUE (panel.getButton (0)->isKnownProduct()) << "known products first";
    EXPECT_FALSE (panel.getButton (1)->isKnownProduct());
    EXPECT_FALSE (panel.getButton (1)->isVisible()) << "hidden by default";

    const auto filter = DevicePage::onlyShowMakersDevicesItem;
    EXPECT_EQ (entriesOf (page.createMenu()),
               juce::StringArray ({ "0x36000 Refresh MIDI Devices", "0x36003 Show MIDI Device Information", "-",
                                    "0x36002 Disconnect Vesper", "-", "0xa Only Show Marrowell Devices *" }));

    page.handleMenuResult (filter);
    EXPECT_FALSE (running.settings().getBoolValue ("onlyShowMwdDevices", true));
    EXPECT_TRUE (panel.getButton (1)->isVisible());
    EXPECT_EQ (entriesOf (page.createMenu())[5], "0xa Only Show Marrowell Devices");

    // The options dialog's change is followed as well.
    running.settings().setValue ("onlyShowMwdDevices", true);
    running.notify (DeviceInfoMessage (DeviceInfoMessage::optionsChanged, 0, 0, {}));
    EXPECT_FALSE (panel.getButton (1)->isVisible());

    // "Update" with no newer build listed shows the builds.
    PerformedCommands performed (running.content());
    int chooserRuns = 0;
    running.content().setOpeners ({ {}, [&] (juce::Component*, int, bool) { ++chooserRuns; return BelvoraContentComponent::FirmwareChoice(); },
                                    {}, {}, {}, {} });
    ASSERT_FALSE (Nexus::getContentManager()->isFirmwareUpdateAvailable (0x12, running.devices().getDeviceVersion (-1).build));
    page.buttonClicked (item (page, DeviceToolbarItemFactory::update));
    ASSERT_TRUE (running.waitFor ([&] { return chooserRuns == 1; }));
    EXPECT_EQ (performed.ids, std::vector<int> { CommandIDs::showFirmwareBuilds });

    // Nothing connected: the two command items and the filter.
    running.content().connectToDevice (-1);
    EXPECT_EQ (entriesOf (page.createMenu()),
               juce::StringArray ({ "0x36000 Refresh MIDI Devices", "0x36003 Show MIDI Device Information", "-",
                                    "0xa Only Show Marrowell Devices *" }));

    // A right click on empty space opens it on the release, under the pointer: held a second,
    // the press chooses nothing from it. One on a tile opens the tile's own menu, on the release too.
    auto& viewport = panel.getViewport();
    const juce::Point<int> empty (viewport.getWidth() - 20, viewport.getHeight() - 20);
    const auto right = juce::ModifierKeys::rightButtonModifier;

    for (auto* target : { static_cast<juce::Component*> (&viewport), static_cast<juce::Component*> (panel.getButton (0)) })
    {
        const auto at = target == &viewport ? empty : target->getLocalBounds().getCentre();
        const auto t = juce::Time::currentTimeMillis();
        press (*target, right, at, t);
        EXPECT_FALSE (juce::PopupMenu::dismissAllActiveMenus()) << "nothing opens on the press";
        release (*target, at, t + 1000);
        running.drain();
        EXPECT_EQ (performed.ids.size(), 1u) << "no command chosen";
        EXPECT_TRUE (running.settings().getBoolValue ("onlyShowMwdDevices", false)) << "the filter not toggled";
        EXPECT_TRUE (juce::PopupMenu::dismissAllActiveMenus()) << "the menu still open after the release";
        ASSERT_TRUE (running.waitFor ([] { return ! juce::PopupMenu::dismissAllActiveMenus(); }));
    }

    running.content().setAppState (AppState::rescanNeeded);
    click (viewport, juce::ModifierKeys::rightButtonModifier, empty);
    EXPECT_FALSE (juce::PopupMenu::dismissAllActiveMenus()) << "only while ready";
    running.content().setAppState (AppState::idle);
}

TEST_F (DevicePageTest, ToolbarItemsFollowTheUnitAndTheState)
{
    auto options = optionsFor ("0x12");
    options.commandLine = "developer";   // the beta firmware is offered
    RunningApp running (options);
    ASSERT_TRUE (running.start());
    auto& content = running.content();
    auto& page = content.getDevicePage();
    PerformedCommands performed (content);

    EXPECT_EQ (page.getToolbar().getNumItems(), 3);
    EXPECT_TRUE (item (page, DeviceToolbarItemFactory::scan)->isEnabled());
    EXPECT_FALSE (item (page, DeviceToolbarItemFactory::disconnect)->isEnabled());
    EXPECT_FALSE (item (page, DeviceToolbarItemFactory::update)->isEnabled());

    // "Update" without a unit does nothing, even when it is clicked regardless.
    page.buttonClicked (item (page, DeviceToolbarItemFactory::update));
    running.drain();
    EXPECT_TRUE (performed.ids.empty());

    ASSERT_TRUE (running.waitFor ([&] { return Nexus::getContentManager()->getLatestFirmwareUpdate (0x12).version.build == 150; }));
    running.answers["New Firmware Available"] = 2;   // "No"
    running.answers["Firmware Update!"] = 2;         // "Cancel"
    ASSERT_TRUE (content.connectToDevice (0));
    EXPECT_TRUE (item (page, DeviceToolbarItemFactory::disconnect)->isEnabled());
    EXPECT_TRUE (item (page, DeviceToolbarItemFactory::update)->isEnabled());

    // A rescan is due: no firmware items, but the unit can still be let go.
    content.setAppState (AppState::rescanNeeded);
    EXPECT_TRUE (item (page, DeviceToolbarItemFactory::disconnect)->isEnabled());
    EXPECT_FALSE (item (page, DeviceToolbarItemFactory::update)->isEnabled());
    content.setAppState (AppState::idle);
    EXPECT_TRUE (item (page, DeviceToolbarItemFactory::update)->isEnabled());

    // A newer build is listed: "Update" asks to install it. (Until the unit's version
    // is known, it would open the list of builds instead.)
    ASSERT_TRUE (running.waitFor ([&] { return Nexus::getContentManager()->isFirmwareUpdateAvailable (0x12, running.devices().getDeviceVersion (-1).build); }));
    leftClick (*item (page, DeviceToolbarItemFactory::update));
    ASSERT_TRUE (running.waitFor ([&] { return count (performed.ids, CommandIDs::updateFirmware) == 1; }));
    EXPECT_EQ (running.titles()[running.titles().size() - 1], "Firmware Update!");

    // "Custom" (not on the default toolbar) shows the builds with the custom file's choice.
    int chooserRuns = 0;
    content.setOpeners ({ {}, [&] (juce::Component*, int, bool showCustom)
    {
        EXPECT_TRUE (showCustom);
        ++chooserRuns;
        return BelvoraContentComponent::FirmwareChoice();
    }, {}, {}, {}, {} });

    DeviceToolbarItemFactory factory;
    std::unique_ptr<juce::ToolbarItemComponent> custom (factory.createItem (DeviceToolbarItemFactory::custom));
    page.buttonClicked (custom.get());
    ASSERT_TRUE (running.waitFor ([&] { return chooserRuns == 1; }));
    EXPECT_EQ (count (performed.ids, CommandIDs::showFirmwareBuilds), 1);

    // Scan and Info.
    leftClick (*item (page, DeviceToolbarItemFactory::scan));
    ASSERT_TRUE (running.waitFor ([&] { return count (performed.ids, CommandIDs::scanForDevices) == 1; }));
    ASSERT_TRUE (running.waitFor ([&] { return running.application().getAppState() == AppState::idle; }));
    EXPECT_FALSE (running.titles().contains ("Changes Will Be Lost")) << "nothing unsent, nothing asked";
}

// A scan reads the unit anew: however it is asked for, it asks first while edits are unsent, and "Cancel" keeps them.
TEST_F (DevicePageTest, EveryScanAsksFirstWhileEditsAreUnsentAndCancelKeepsThem)
{
    RunningApp running (optionsFor ("0x12", true));
    ASSERT_TRUE (running.start());
    auto& page = running.content().getDevicePage();
    auto& data = running.content().getDataPage();
    ASSERT_TRUE (running.waitFor ([&] { return data.getDeviceDataSet() != nullptr; }));
    running.perform (CommandIDs::downloadDeviceData);
    ASSERT_TRUE (running.waitFor ([&] { return ! data.isSyncNeeded() && ! data.isBusy(); }));
    data.renamePresets (data.getDeviceNode(), { 1 }, "Unsent", true, true);
    const auto edited = [&] { auto* set = data.getDeviceDataSet(); return set != nullptr && set->getWorkingData()->getPreset (1)->getName() == "Unsent"; };

    {
        const Alerts::ScopedChoiceResponder onScreen ({});   // the boxes themselves, answered by keys
        const auto cancelled = [&] (std::function<void()> scan, int key)
        {
            DialogTests::WhenUp question ("Changes Will Be Lost", [key] (juce::Component&) { return DialogTests::pressKey (juce::KeyPress (key)); });
            scan();
            const bool asked = running.waitFor ([&] { return question.done; });
            running.drain();
            return asked && question.focused == "Cancel";
        };

        auto& viewport = page.getDevicePanel().getViewport();
        ASSERT_TRUE (cancelled ([&] { leftClick (*item (page, DeviceToolbarItemFactory::scan)); }, juce::KeyPress::returnKey));
        ASSERT_TRUE (cancelled ([&] { click (viewport, juce::ModifierKeys::rightButtonModifier, { viewport.getWidth() - 20, viewport.getHeight() - 20 });
                                      ASSERT_TRUE (DialogTests::chooseFromMenu ("Refresh MIDI Devices")); }, juce::KeyPress::escapeKey));
        EXPECT_TRUE (edited() && data.getUndoManager().canUndo() && running.devices().getActiveIndex() == 0);
        EXPECT_EQ (running.application().getAppState(), AppState::idle);

        // Lost, the unit leaves its workspace stored with the edit: "Cancel" lets it go as "Later" does, the rescan still due.
        const auto scanNow = [] (juce::Component& box) { DialogTests::buttonWithText (box, "Scan Now")->triggerClick(); return true; };
        DialogTests::WhenUp lost ("USB Device Connection Lost", scanNow), changed ("USB Device Change", scanNow);
        ASSERT_TRUE (cancelled ([&] { running.notify (DeviceInfoMessage (DeviceInfoMessage::activeDeviceLost, 0, 0, {})); }, juce::KeyPress::returnKey));
        EXPECT_EQ (running.devices().getActiveIndex(), -1);
        ASSERT_TRUE (cancelled ([&] { running.notify (DeviceInfoMessage (DeviceInfoMessage::portsChanged, 0, 0, {})); }, juce::KeyPress::escapeKey));
        EXPECT_EQ (running.application().getAppState(), AppState::rescanNeeded);
    }

    // With "previous" the stored workspace comes back with the unit: nothing to ask, and the edit is there.
    running.settings().setValue ("dataSyncMethod", "previous");
    leftClick (*item (page, DeviceToolbarItemFactory::scan));
    ASSERT_TRUE (running.waitFor ([&] { return running.devices().getActiveIndex() == 0 && ! data.isSyncNeeded() && edited(); }));
    EXPECT_FALSE (running.titles().contains ("Changes Will Be Lost"));
}

TEST_F (DevicePageTest, ConcertinaGivesTheOfflineUnitsTheirRowsAtBothScales)
{
    for (auto scale : { 1.0f, 2.0f })
    {
        SCOPED_TRACE (scale);
        auto options = optionsFor ("0x12,0x12");
        options.settings.set ("uiScalingFactor", juce::String (scale));
        RunningApp running (options);
        ASSERT_TRUE (running.start());
        auto& page = running.content().getDevicePage();

        unitsOf (running).getUnit (1).unplug();
        ASSERT_TRUE (running.waitFor ([&] { return settled (running, 1, 1); }));

        const auto s = [scale] (float v) { return (int) (v * scale); };
        const auto header = s (20.0f);
        auto& concertina = page.getConcertina();
        auto& devices = page.getDevicePanel();
        auto& offline = page.getOfflinePanel();
        EXPECT_EQ (page.getToolbar().getHeight(), s (63.0f));
        EXPECT_EQ (concertina.getY(), s (63.0f) + 1);
        EXPECT_EQ (concertina.getBottom(), page.getHeight());
        EXPECT_EQ (devices.getY(), header);
        EXPECT_EQ (offline.getY(), header);

        // The offline panel is as high as its one row of tiles when everything fits; otherwise
        // the present units get the room and the offline panel shows its header only.
        const auto row = s (160.0f) + 2 * juce::roundToInt (10.0f * scale);
        EXPECT_EQ (offline.getContainer().getHeight(), row);
        const auto fits = row + 2 * header + devices.getContainer().getHeight() < concertina.getHeight();
        EXPECT_EQ (fits, scale == 1.0f) << "the window's default size";

        if (! fits)
        {
            EXPECT_EQ (offline.getHeight(), 0);
            EXPECT_EQ (devices.getHeight(), concertina.getHeight() - 2 * header);
            running.window().setSize (running.window().getWidth(), running.window().getHeight() + 2 * row);
            page.rebuildOfflineDeviceList();
        }

        EXPECT_EQ (offline.getHeight(), row);
        EXPECT_EQ (devices.getHeight(), concertina.getHeight() - 2 * header - row);

        // A height the user dragged the offline panel to is kept when the page grows.
        concertina.setPanelSize (&offline, row / 2, false);
        page.setSize (page.getWidth(), page.getHeight() + 100);
        EXPECT_EQ (offline.getHeight(), row / 2);
        EXPECT_EQ (devices.getHeight(), concertina.getHeight() - 2 * header - row / 2);
    }
}
