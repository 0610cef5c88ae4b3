// The MIDI device list: its rows and texts, sizes, colours, and what it reads
// from a device manager and the known-device list.

#include "tracking/EventTracker.h"
#include "devices/DeviceProfiler.h"
#include "gui/DialogFixtures.h"
#include "gui/DialogTestSupport.h"
#include "gui/Palette.h"
#include "gui/WidgetTestSupport.h"
#include "support/ContentFixture.h"
#include "support/DeviceTestRig.h"

using namespace DialogFixtures;
using namespace DialogTests;
using namespace WidgetTests;
using Bit = DeviceFlags::Bit;

TEST (MidiDevicesComp, NothingFoundIsASmallTableWithItsMessage)
{
    for (auto scale : scales)
    {
        ScopedLookAndFeel look (scale);
        MidiDevicesComp list (MidiDeviceTable {});
        const auto px = [scale] (int v) { return juce::roundToInt ((float) v * scale); };
        EXPECT_EQ (list.getBounds(), juce::Rectangle<int> (px (400), px (150)));

        const auto image = snapshot (list);
        EXPECT_GT (countPixels (image, { px (100), px (60), px (200), px (30) }, hue (Palette::dialogTextColour, 20)), 30);
        EXPECT_EQ (countPixels (image, { 0, 0, px (400), px (50) }, hue (Palette::dialogTextColour, 20)), 0);
    }
}

TEST (MidiDevicesComp, RowsTextsAndSize)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        MidiDevicesComp list (sampleDeviceTable());
        using C = MidiDevicesComp::Column;

        ASSERT_EQ (list.getNumRows(), 7);
        EXPECT_EQ (list.getOfflineCount(), 2);

        // Identified units show serial and version; serial 0 is "Not Set"; others show neither.
        EXPECT_EQ (list.getText (0, C::serialNumber), "10000001");
        EXPECT_EQ (list.getText (0, C::version), "1.4.00 build 140");
        EXPECT_EQ (list.getText (0, C::status), "Connected");
        EXPECT_EQ (list.getText (1, C::serialNumber), "Not Set");
        EXPECT_EQ (list.getText (1, C::status), "Ready");
        EXPECT_EQ (list.getText (2, C::serialNumber), "");
        EXPECT_EQ (list.getText (2, C::version), "");
        EXPECT_EQ (list.getText (2, C::status), "<Scanning Device>");
        EXPECT_EQ (list.getText (5, C::inputName), "");
        EXPECT_EQ (list.getText (5, C::status), "Offline");
        EXPECT_EQ (list.getText (6, C::version), "2.1.00 build 210");

        const auto fontHeight = 14.0f * scale;
        const auto gap = juce::roundToInt (10 * scale);
        float widths = 0;

        for (int c = 0; c < C::numColumns; ++c)
        {
            EXPECT_GE (list.getColumnWidth ((C) c), 108.0f);
            widths += list.getColumnWidth ((C) c);
        }

        // Every size grows with the scale: scale 2 is scale 1 twice as large.
        EXPECT_EQ (list.getWidth(), juce::roundToInt (16 * scale) + (int) widths);
        EXPECT_EQ (list.getHeight(), (int) ((float) gap + scale + 2 * fontHeight + 7 * (fontHeight + 8 * scale)));

        // The offline rows start one (scaled) pixel lower, below the line that ends the port pairs.
        EXPECT_FLOAT_EQ (list.getRowY (5) - list.getRowY (4), fontHeight + 9 * scale);
        EXPECT_FLOAT_EQ (list.getRowY (6) - list.getRowY (5), fontHeight + 8 * scale);

        // A connected unit's row is drawn bold: its columns fit the bold texts whole.
        auto connectedOnly = sampleDeviceTable();
        connectedOnly.rows.resize (1);
        MidiDevicesComp one (connectedOnly);
        const auto bold = BVLookAndFeel::makeFont (fontHeight + 0.8f * scale, juce::Font::bold);

        for (auto c : { C::version, C::status, C::serialNumber })
            EXPECT_GE (one.getColumnWidth (c) - 9.0f, bold.getStringWidthFloat (one.getText (0, c))) << one.getText (0, c);
    }
}

TEST (MidiDevicesComp, ColoursFollowTheFirstStateThatApplies)
{
    EXPECT_EQ (MidiDevicesComp::getTextColour (Bit::portsOpen | Bit::portFailure, false), Palette::midiStateBlue);
    EXPECT_EQ (MidiDevicesComp::getTextColour (Bit::portFailure | Bit::identified, false), Palette::midiListRose);
    EXPECT_EQ (MidiDevicesComp::getTextColour (Bit::identified | Bit::unknownProduct, false), Palette::midiStateSteel);
    EXPECT_EQ (MidiDevicesComp::getTextColour (Bit::unknownProduct, false), Palette::midiListRed);
    EXPECT_EQ (MidiDevicesComp::getTextColour (Bit::identified, true), Palette::midiListGrey);

    // Drawn: a unit still identifying in grey, on the pale band of an even row.
    ScopedLookAndFeel look (1.0f);
    MidiDevicesComp list (sampleDeviceTable());
    const auto image = snapshot (list);
    const auto y = juce::roundToInt (list.getRowY (2));
    EXPECT_GT (countPixels (image, { 8, y, list.getWidth() - 16, 22 }, hue (Palette::midiStateGrey, 12)), 20);
    EXPECT_TRUE (near (image, 9, juce::roundToInt (list.getRowY (0)) + 1, Palette::paleE7EDF1));
    EXPECT_TRUE (near (image, 9, juce::roundToInt (list.getRowY (1)) + 1, Palette::dialogBackgroundColour));
}

//==============================================================================
class MidiDeviceTableTest : public ContentFixture {};

TEST_F (MidiDeviceTableTest, PortPairsThenRememberedUnitsNotConnected)
{
    auto& content = startCatalogueQuietly();
    ASSERT_TRUE (content.requestProductContent (vesper));

    // Remembered: the unit that is plugged in, one that is not, and an entry without a product.
    juce::File (Belvora::getDeviceListFile()).replaceWithText (
        "<DEVICE_MANAGER>"
        "<device name=\"Vesper\" id=\"18\" activated=\"1\" detection=\"1\" version=\"0.1.4.0.140.0\" serial=\"10000001\" manufacture=\"2024.03.15\"/>"
        "<device name=\"Vesper\" id=\"18\" activated=\"1\" detection=\"2\" version=\"0.1.2.0.120.0\" serial=\"10000042\" manufacture=\"2023.01.02\"/>"
        "<device name=\"Gone\" id=\"255\" activated=\"0\" detection=\"3\" version=\"0.1.0.0.1.0\" serial=\"5\" manufacture=\"2020.01.01\"/>"
        "</DEVICE_MANAGER>");

    EventTracker::Setup quiet;
    quiet.developerMode = true;
    EventTracker tracker (quiet);
    DeviceProfiler profiler (content, tracker, {});
    profiler.initialise();

    DeviceRig rig;
    rig.addUnit (SimulatedUnit::sampleProfile (vesper));
    ASSERT_TRUE (rig.scan());
    profiler.setConnectionQuery ([&rig] (int id, int serial) { return rig.manager->isDeviceConnected (id, serial); });

    const auto table = MidiDeviceTable::read (rig.manager.get(), &profiler, &content);
    ASSERT_EQ (table.rows.size(), 2u);

    auto& present = table.rows[0];
    EXPECT_EQ (present.name, "Vesper");
    EXPECT_EQ (present.inputName, "Vesper");
    EXPECT_EQ (present.serial, 10000001);
    EXPECT_FALSE (present.offline);
    EXPECT_NE (present.flags & Bit::identified, 0);

    auto& offline = table.rows[1];
    EXPECT_TRUE (offline.offline);
    EXPECT_EQ (offline.serial, 10000042);
    EXPECT_EQ (offline.version.build, 120);
    EXPECT_EQ (offline.name, DeviceProfiler::getProductDisplayName (content, vesper, 10000042));

    // Without services there is nothing to list.
    EXPECT_TRUE (MidiDeviceTable::read (nullptr, nullptr, nullptr).rows.empty());
}

TEST_F (MidiDeviceTableTest, DialogIsTheTableInAWindow)
{
    if (! TestEnvironment::hasDisplay())
        GTEST_SKIP() << "needs a display";

    MidiDevicesDialog dialog (sampleDeviceTable());
    EXPECT_EQ (dialog.getName(), "MIDI Device List");
    EXPECT_EQ (dialog.getBackgroundColour(), Palette::dialogBackgroundColour);
    ASSERT_NE (dynamic_cast<MidiDevicesComp*> (dialog.getContentComponent()), nullptr);

    const auto result = runModally (dialog, [] (BelvoraDialog& d)
    {
        static_cast<juce::Component&> (d).keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    });
    EXPECT_EQ (result, 0);
}
