// The device page's unit tile: the state icon rules, the menu and what its
// items do, the card's pixels in each state at scales 1 and 2, and a tile
// whose unit a rescan replaced or freed.

#include "app/Belvora.h"
#include "content/ContentManager.h"
#include "devices/DeviceFlags.h"
#include "gui/Palette.h"
#include "gui/widgets/MidiDeviceStatusButton.h"
#include "gui/ShownTile.h"
#include "gui/WidgetTestSupport.h"
#include "support/ContentFixture.h"
#include "support/DeviceTestRig.h"
#include "support/SettingsFixture.h"

using namespace WidgetTests;
using Icon = MidiDeviceStatusButton::StateIcon;
using Bit = DeviceFlags::Bit;

namespace
{
    constexpr uint32_t connected = Bit::identified | Bit::portsOpen;

    MidiDeviceStatusButton::RememberedUnit remembered (int productId = 0x12)
    {
        return { productId, "Vesper", FirmwareVersion (0, 1, 4, 0, 140), { 2016, 1, 2 }, 10000007, false };
    }

    struct MenuItem
    {
        int id;
        juce::String text;
        bool enabled;
        bool operator== (const MenuItem&) const = default;
    };

    std::vector<MenuItem> itemsOf (const juce::PopupMenu& menu)
    {
        std::vector<MenuItem> items;
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            items.push_back ({ it.getItem().itemID, it.getItem().text, it.getItem().isEnabled });
        return items;
    }

    juce::MouseEvent doubleClickOn (juce::Component& c)
    {
        const auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), { 20.0f, 20.0f }, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                 &c, &c, now, { 20.0f, 20.0f }, now, 2, false };
    }

    /** Posts a marker after what a tile may have posted, so "nothing came" can be seen without waiting for time. */
    std::vector<int> codesUpToMarker (NotificationLog& log)
    {
        constexpr int marker = 0x7ffff;
        log.postMessage (new DeviceInfoMessage (marker, 0, 0, {}));
        EXPECT_TRUE (log.waitFor (marker));

        std::vector<int> codes;
        for (auto code : log.codes())
            if (code != marker)
                codes.push_back (code);
        log.clear();
        return codes;
    }

    class TileTest : public SettingsFixture {};
}

//==============================================================================
TEST (MidiDeviceStatusButton, StateIconRules)
{
    const auto idle = AppState::idle, lost = AppState::rescanNeeded;
    const auto choose = [] (uint32_t flags, AppState state = AppState::idle, bool offline = false, bool pending = false)
    {
        return MidiDeviceStatusButton::chooseStateIcon (flags, offline, pending, state);
    };

    // Open ports win over everything, even a lost connection elsewhere.
    EXPECT_EQ (choose (connected), Icon::connected);
    EXPECT_EQ (choose (connected, lost), Icon::connected);
    EXPECT_EQ (choose (connected | Bit::identifying), Icon::question);
    EXPECT_EQ (choose (Bit::portsOpen | Bit::scanning), Icon::question);

    EXPECT_EQ (choose (Bit::identified, lost), Icon::connectionLost);
    EXPECT_EQ (choose (0, lost, true), Icon::connectionLost);

    // Busy comes before the fault rules.
    EXPECT_EQ (choose (Bit::portFailure | Bit::readingInfo), Icon::busy);
    EXPECT_EQ (choose (Bit::identified, idle, false, true), Icon::busy);

    EXPECT_EQ (choose (Bit::unknownProduct), Icon::question);
    EXPECT_EQ (choose (Bit::namesProduct), Icon::question);
    EXPECT_EQ (choose (Bit::namesProduct | Bit::identified), Icon::idle);
    EXPECT_EQ (choose (Bit::identified), Icon::idle);
    EXPECT_EQ (choose (0), Icon::idle);

    EXPECT_EQ (choose (0, idle, true), Icon::unavailable);
    EXPECT_EQ (choose (Bit::noAnswer), Icon::unavailable);
    EXPECT_EQ (choose (Bit::noPort), Icon::unavailable);
    EXPECT_EQ (choose (Bit::readingInfo), Icon::error);
    EXPECT_EQ (choose (Bit::contentNotReady | Bit::noAnswer), Icon::error);
}

TEST (MidiDeviceStatusButton, SizeFollowsTheScaleDownToAFloor)
{
    for (auto [scale, w, h] : { std::tuple { 1.0f, 220, 160 }, { 2.0f, 440, 320 }, { 0.2f, 66, 48 } })
    {
        ScopedLookAndFeel look (scale);
        ShownTile tile (ShownTile::unitWith (0));
        EXPECT_EQ (tile.getBounds(), juce::Rectangle<int> (w, h)) << scale;
        EXPECT_FLOAT_EQ (tile.getScale(), juce::jmax (0.3f, scale));
    }
}

TEST (MidiDeviceStatusButton, OfflineTileShowsTheRememberedUnitAndItsMenu)
{
    MidiDeviceStatusButton tile (remembered(), {});
    EXPECT_EQ (tile.getName(), "Vesper device button");
    EXPECT_TRUE (tile.isOffline());
    EXPECT_TRUE (tile.isKnownProduct());
    EXPECT_EQ (tile.getStateIcon(), Icon::unavailable);
    EXPECT_FALSE (tile.getToggleState());

    EXPECT_EQ (itemsOf (tile.createMenu()), (std::vector<MenuItem> {
        { 1, "Show last known device information", true },
        { 2, "Show product manual...", true },
        { 3, "Remove Vesper as a known device", true } }));

    MidiDeviceStatusButton unknown (remembered (255), {});
    EXPECT_EQ (itemsOf (unknown.createMenu()), (std::vector<MenuItem> {
        { 1, "Show last known device information", true },
        { 3, "Remove Vesper as a known device", true } }));
}

TEST (MidiDeviceStatusButton, UnidentifiedUnitShowsTheGenericPictureAndNoInformation)
{
    ShownTile tile (ShownTile::unitWith (Bit::scanning), {}, juce::Image (juce::Image::RGB, 300, 100, true));
    EXPECT_EQ (tile.getName(), "device button");
    EXPECT_FALSE (tile.isKnownProduct());
    EXPECT_EQ (tile.getPictureBounds().getWidth(), 110);   // 183 x 132 scaled to half the height
    EXPECT_EQ (tile.getPictureBounds().getHeight(), 80);
    EXPECT_EQ (itemsOf (tile.createMenu()), (std::vector<MenuItem> { { 1, "Show device information", false } }));

    tile.show (Bit::namesProduct);
    EXPECT_TRUE (tile.isKnownProduct());
    EXPECT_EQ (tile.getPictureBounds().getWidth(), 145);   // the wide picture, 0.66 of the width

    tile.show (Bit::identified);
    EXPECT_EQ (tile.getProductId(), 0x12);
    EXPECT_EQ (tile.getSerialNumber(), 10000001);
    EXPECT_EQ (itemsOf (tile.createMenu()), (std::vector<MenuItem> { { 1, "Show device information", true },
                                                                     { 2, "Show product manual...", true } }));
}

TEST (MidiDeviceStatusButton, PictureWithoutAreaFallsBackToTheGenericPicture)
{
    ShownTile tile (ShownTile::unitWith (Bit::identified), {}, juce::Image());
    EXPECT_EQ (tile.getPictureBounds(), juce::Rectangle<int> (tile.getPictureBounds().getX(), tile.getPictureBounds().getY(), 110, 80));
    EXPECT_TRUE (snapshot (tile).isValid());
}

TEST_F (TileTest, ToggleFollowsOpenPortsAndALostConnectionDisablesTheTile)
{
    Belvora app;
    ShownTile tile (ShownTile::unitWith (connected));
    EXPECT_TRUE (tile.getToggleState());
    EXPECT_EQ (tile.getStateIcon(), Icon::connected);

    app.setAppState (AppState::rescanNeeded);
    tile.updateFromDevice();
    EXPECT_TRUE (tile.isEnabled());
    EXPECT_EQ (tile.getStateIcon(), Icon::connected);

    tile.show (Bit::identified);
    EXPECT_FALSE (tile.getToggleState());
    EXPECT_FALSE (tile.isEnabled());
    EXPECT_EQ (tile.getStateIcon(), Icon::connectionLost);
}

TEST_F (TileTest, DoubleClickAsksForPresetsOnlyWhenConnected)
{
    NotificationLog hub;
    ShownTile tile (ShownTile::unitWith (Bit::identified), { nullptr, &hub, {} });

    tile.mouseDoubleClick (doubleClickOn (tile));
    EXPECT_TRUE (codesUpToMarker (hub).empty());

    tile.show (connected);
    tile.mouseDoubleClick (doubleClickOn (tile));
    EXPECT_EQ (codesUpToMarker (hub), (std::vector<int> { DeviceInfoMessage::showPresets }));
}

TEST_F (TileTest, ForgettingARememberedUnitTellsTheHubWhichOne)
{
    NotificationLog hub;
    MidiDeviceStatusButton tile (remembered(), { nullptr, &hub, {} });

    tile.handleMenuResult (0);   // dismissed
    EXPECT_TRUE (codesUpToMarker (hub).empty());

    tile.handleMenuResult (MidiDeviceStatusButton::forgetDevice);
    ASSERT_TRUE (hub.waitFor (DeviceInfoMessage::forgetKnownDevice));
    const auto note = hub.notes().front();
    EXPECT_EQ (note.value1, 0x12);
    EXPECT_EQ (note.value2, 10000007);
}

//==============================================================================
TEST_F (TileTest, CardPixels)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        ShownTile tile (ShownTile::unitWith (connected), {}, juce::Image (juce::Image::RGB, 183, 132, true));

        const auto mid = juce::roundToInt (60 * scale);
        const auto face = tile.getFaceRect();
        const auto frame = tile.getIconFrame();
        const auto faceX = (int) face.getX() + 2;

        // Connected: accent rim, plain face, the icon in its bubble straddling the card's lower edge.
        auto image = snapshot (tile);
        EXPECT_TRUE (near (image, 1, mid, Palette::accentBlueColour));
        EXPECT_TRUE (near (image, faceX, mid, Palette::deviceButtonGrey));
        EXPECT_TRUE (near (image, (int) frame.getX(), (int) frame.getCentreY(), Palette::accentBlueColour, 12));
        EXPECT_GT (image.getPixelAt ((int) frame.getCentreX(), (int) frame.getBottom() - 2).getAlpha(), 200);

        // Under the mouse and pressed.
        image = paintAs (tile, true, false);
        EXPECT_TRUE (near (image, 1, mid, Palette::accentBlueColour));
        EXPECT_TRUE (near (image, faceX, mid, Palette::deviceButtonGrey.brighter (0.4f)));
        image = paintAs (tile, true, true);
        EXPECT_TRUE (near (image, faceX, mid, Palette::deviceButtonGrey.brighter (0.4f).brighter (0.4f)));

        tile.show (Bit::identified);
        image = paintAs (tile, true, false);
        EXPECT_TRUE (near (image, 1, mid, Palette::steelBlueColour));
        image = snapshot (tile);
        EXPECT_TRUE (near (image, 1, mid, Palette::deviceButtonDim));

        // A unit that did not answer keeps no press look.
        tile.show (Bit::identified | Bit::noAnswer);
        image = paintAs (tile, false, true);
        EXPECT_TRUE (near (image, faceX, mid, Palette::deviceButtonGrey));

        // Identifying: the spinner over the face.
        tile.show (Bit::identifying);
        image = snapshot (tile);
        EXPECT_GT (countPixels (image, face.reduced (face.getWidth() / 4, face.getHeight() / 4).toNearestInt(),
                                hue (Palette::deviceButtonCyan, 40)), 5);
    }
}

TEST_F (TileTest, DisabledAndOfflineCards)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const auto mid = juce::roundToInt (60 * scale);

        {
            Belvora app;
            app.setAppState (AppState::rescanNeeded);
            ShownTile lost (ShownTile::unitWith (Bit::identified));
            const auto image = snapshot (lost);
            EXPECT_NEAR (image.getPixelAt (1, mid).getAlpha(), 230, 8);
            EXPECT_NEAR (image.getPixelAt ((int) lost.getFaceRect().getX() + 2, mid).getAlpha(), 247, 4);
        }

        // Offline: no bubble, no press look, a grey picture, the update badge when one is offered.
        auto unit = remembered();
        unit.updateAvailable = true;
        MidiDeviceStatusButton offline (unit, {});
        const auto frame = offline.getIconFrame();
        auto image = paintAs (offline, false, true);
        EXPECT_LT (image.getPixelAt ((int) frame.getCentreX(), (int) frame.getBottom() - 2).getAlpha(), 100);
        EXPECT_TRUE (near (image, (int) offline.getFaceRect().getX() + 2, mid, Palette::deviceButtonGrey));

        const auto picture = offline.getPictureBounds();
        const auto centre = image.getPixelAt (picture.getCentreX(), picture.getCentreY());
        EXPECT_EQ (centre.getRed(), centre.getGreen());
        EXPECT_EQ (centre.getGreen(), centre.getBlue());

        const auto name = juce::Rectangle<int> (0, (int) offline.getFaceRect().getY() + 4, image.getWidth(), (int) (14 * scale) + 2);
        EXPECT_GT (countPixels (image, name, [] (juce::Colour c) { return c.getAlpha() > 200 && c.getBrightness() < 0.4f; }), 5);

        const auto badge = offline.getBadgeRect();
        EXPECT_GT (countPixels (image, badge.toNearestInt(), hue (juce::Colour (0xffffc837), 30)), 10);
    }
}

//==============================================================================
class TileContentTest : public ContentFixture
{
protected:
    void SetUp() override
    {
        ContentFixture::SetUp();
        auto& content = startCatalogueQuietly();
        ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    }

    struct IdleThread : juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    } worker;
};

TEST_F (TileContentTest, IdentifiedUnitTakesNamePictureAndUpdateFromTheCatalogue)
{
    juce::Array<juce::URL> opened;
    const MidiDeviceStatusButton::Services services { catalogue.get(), nullptr, [&] (const juce::URL& url) { opened.add (url); } };

    ShownTile black (ShownTile::unitWith (Bit::identified, vesper, 20000001), services);
    EXPECT_EQ (black.getDeviceName(), "Vesper Black");
    EXPECT_TRUE (black.isUpdateAvailable());   // build 140 is listed, the unit has 120

    const auto expected = catalogue->getProductImage (vesper, "Vesper Black");
    EXPECT_NE (black.getPictureBounds().getWidth(), 110);
    EXPECT_NEAR ((double) black.getPictureBounds().getWidth() / black.getPictureBounds().getHeight(),
                 (double) expected.getWidth() / expected.getHeight(), 0.05);

    black.handleMenuResult (MidiDeviceStatusButton::showProductManual);
    ASSERT_EQ (opened.size(), 1);
    EXPECT_EQ (opened[0].toString (false), catalogue->getManualUrl (vesper));

    auto current = ShownTile::unitWith (Bit::identified, vesper);
    current.version = FirmwareVersion (0, 1, 4, 0, 140);
    ShownTile upToDate (current, services);
    EXPECT_EQ (upToDate.getDeviceName(), "Vesper");
    EXPECT_FALSE (upToDate.isUpdateAvailable());
}

//==============================================================================
namespace
{
    /** Counts the change messages that reach it. */
    struct CountingTile : MidiDeviceStatusButton
    {
        using MidiDeviceStatusButton::MidiDeviceStatusButton;

        void changeListenerCallback (juce::ChangeBroadcaster* source) override
        {
            ++calls;
            MidiDeviceStatusButton::changeListenerCallback (source);
        }

        int calls = 0;
    };

    class RescanTest : public SettingsFixture
    {
    protected:
        void SetUp() override
        {
            SettingsFixture::SetUp();
            rig.addUnit (SimulatedUnit::sampleProfile (0x12));
            ASSERT_TRUE (rig.scan());
        }

        DeviceRig rig;
    };
}

TEST_F (RescanTest, TileStaysWithTheUnitItRegisteredWithAcrossARescan)
{
    auto old = rig.device (0);   // someone else still holds the old unit
    auto first = std::make_unique<CountingTile> (old, MidiDeviceStatusButton::Services {});
    EXPECT_EQ (first->getDeviceName(), "Vesper");
    EXPECT_TRUE (first->isKnownProduct());

    ASSERT_TRUE (rig.scan());
    auto replacement = rig.device (0);
    ASSERT_NE (replacement, old);
    CountingTile second (replacement, {});

    first->calls = second.calls = 0;
    old->sendChangeMessage();
    replacement->sendChangeMessage();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return first->calls > 0 && second.calls > 0; }));

    // Gone, it must have left the unit it listened to, and only that one.
    first.reset();
    second.calls = 0;
    old->sendChangeMessage();
    replacement->sendChangeMessage();
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return second.calls > 0; }));
    EXPECT_EQ (second.calls, 1);
}

TEST_F (RescanTest, TileWhoseUnitWasFreedRepaintsAsNoUnit)
{
    std::weak_ptr<DeviceObject> probe = rig.device (0);
    auto tile = std::make_unique<MidiDeviceStatusButton> (rig.device (0), MidiDeviceStatusButton::Services {});
    EXPECT_TRUE (tile->isKnownProduct());

    ASSERT_TRUE (rig.scan());
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return probe.expired(); }));

    tile->updateFromDevice();
    EXPECT_EQ (tile->getDeviceFlags(), 0u);
    EXPECT_EQ (tile->getDeviceName(), "Vesper");
    EXPECT_FALSE (tile->getToggleState());
    EXPECT_TRUE (snapshot (*tile).isValid());
    tile.reset();
}
