// The custom buttons in each of their states, and the about box and device
// information dialog. Product pictures and names come from the sample content.

#include "base/MessageTarget.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "devices/DeviceFlags.h"
#include "devices/SimulatedUnit.h"
#include "app/Belvora.h"
#include "model/SourceTreeIds.h"
#include "gallery/Gallery.h"
#include "gui/Palette.h"
#include "gui/ShownTile.h"
#include "gui/dialogs/AboutBox.h"
#include "gui/dialogs/DeviceInfoDialog.h"
#include "gui/widgets/ArchiveButton.h"
#include "gui/widgets/PresetButton.h"
#include "gui/widgets/TextOnlyButton.h"
#include "gui/widgets/ToolbarButtonEx.h"
#include "model/DeviceData.h"
#include "resources/BinaryResources.h"
#include "support/TestEnvironment.h"

using namespace Gallery;
using Bit = DeviceFlags::Bit;

namespace
{
    //==============================================================================
    // Device tiles

    /** The catalogue of the sample content, made once for every tile screen. */
    const ContentManager& sampleContent()
    {
        struct Quiet : MessageTarget { void handleMessage (const juce::Message&) override {} };
        static Quiet quiet;
        static const auto content = []
        {
            auto made = std::make_unique<ContentManager> (ContentManager::Setup(), quiet, [] (int) {});
            made->waitUntilConnected ({});
            if (auto* downloads = made->getDownloadThread())
                downloads->stopThread (5000);

            struct Idle : juce::Thread { Idle() : juce::Thread ("gallery downloader") {} void run() override {} } worker;

            for (auto product : { 0x12, 0x1A })
                made->downloadProductContent (product, &worker);

            return made;
        }();

        return *content;
    }

    /** A component on a background of that colour, in the button state asked for. */
    template <typename Widget>
    std::unique_ptr<juce::Component> onBackground (std::unique_ptr<Widget> widget, juce::Colour background, int gap,
                                                   juce::Button::ButtonState state = juce::Button::buttonNormal)
    {
        struct Page : Painter
        {
            using Painter::Painter;
            std::unique_ptr<juce::Component> shown;
        };

        auto page = std::make_unique<Page> (widget->getWidth() + 2 * gap, widget->getHeight() + 2 * gap,
                                            [background] (juce::Graphics& g, Painter&) { g.fillAll (background); });
        widget->setTopLeftPosition (gap, gap);
        page->addAndMakeVisible (*widget);

        // After it is shown: showing a button sets its state from the mouse.
        if constexpr (std::is_base_of_v<juce::Button, Widget>)
            widget->setState (state);

        page->shown = std::move (widget);
        return page;
    }

    std::unique_ptr<juce::Component> tileScreen (std::unique_ptr<MidiDeviceStatusButton> tile,
                                                 juce::Button::ButtonState state = juce::Button::buttonNormal)
    {
        const auto gap = juce::roundToInt (12.0f * tile->getScale());
        return onBackground (std::move (tile), Palette::backgroundColour, gap, state);
    }

    std::unique_ptr<juce::Component> presentTile (uint32_t flags, int productId = 0x12, int serial = 10000001,
                                                  juce::Button::ButtonState state = juce::Button::buttonNormal,
                                                  bool offerUpdate = false)
    {
        auto unit = ShownTile::unitWith (flags, productId, serial);
        unit.name = productId == 0x1A ? "Quill Duo" : "Vesper";
        unit.version = offerUpdate ? FirmwareVersion (0, 1, 2, 0, 120) : FirmwareVersion (0, 1, 4, 0, 140);
        return tileScreen (std::make_unique<ShownTile> (unit, MidiDeviceStatusButton::Services { &sampleContent() }), state);
    }

    std::unique_ptr<juce::Component> offlineTile (bool updateAvailable)
    {
        const MidiDeviceStatusButton::RememberedUnit unit { 0x1A, "Quill Duo", FirmwareVersion (0, 2, 1, 0, 210),
                                                            { 2019, 5, 17 }, 30000004, updateAvailable };
        return tileScreen (std::make_unique<MidiDeviceStatusButton> (unit, MidiDeviceStatusButton::Services { &sampleContent() }));
    }

    /** The application state that a lost connection brings, for one tile. */
    std::unique_ptr<juce::Component> tileAfterLostConnection()
    {
        Belvora app;
        app.setAppState (AppState::rescanNeeded);
        return presentTile (Bit::identified);
    }

    constexpr uint32_t connected = Bit::identified | Bit::portsOpen;
}

BELVORA_SCREEN ("Widgets/Device tile: connected", [] (BVLookAndFeel&) { return presentTile (connected); });
BELVORA_SCREEN ("Widgets/Device tile: connected, under the mouse", [] (BVLookAndFeel&) { return presentTile (connected, 0x12, 10000001, juce::Button::buttonOver); });
BELVORA_SCREEN ("Widgets/Device tile: identified, pressed", [] (BVLookAndFeel&) { return presentTile (Bit::identified, 0x12, 20000001, juce::Button::buttonDown); });
BELVORA_SCREEN ("Widgets/Device tile: identified, update offered", [] (BVLookAndFeel&) { return presentTile (Bit::identified, 0x12, 20000001, juce::Button::buttonNormal, true); });
BELVORA_SCREEN ("Widgets/Device tile: identifying", [] (BVLookAndFeel&) { return presentTile (Bit::identifying); });
BELVORA_SCREEN ("Widgets/Device tile: product named, not identified", [] (BVLookAndFeel&) { return presentTile (Bit::namesProduct, 0x1A); });
BELVORA_SCREEN ("Widgets/Device tile: unknown product", [] (BVLookAndFeel&) { return presentTile (Bit::unknownProduct); });
BELVORA_SCREEN ("Widgets/Device tile: port failure (busy)", [] (BVLookAndFeel&) { return presentTile (Bit::portFailure); });
BELVORA_SCREEN ("Widgets/Device tile: content not ready (error)", [] (BVLookAndFeel&) { return presentTile (Bit::identified | Bit::contentNotReady); });
BELVORA_SCREEN ("Widgets/Device tile: no answer", [] (BVLookAndFeel&) { return presentTile (Bit::noAnswer); });
BELVORA_SCREEN ("Widgets/Device tile: connection lost (disabled)", [] (BVLookAndFeel&) { return tileAfterLostConnection(); });
BELVORA_SCREEN ("Widgets/Device tile: offline", [] (BVLookAndFeel&) { return offlineTile (false); });
BELVORA_SCREEN ("Widgets/Device tile: offline, update offered", [] (BVLookAndFeel&) { return offlineTile (true); });

namespace
{
    //==============================================================================
    // Preset buttons

    /** Slot 2 holds a factory preset, slot 3 a changed one of three steps. */
    std::shared_ptr<DeviceData> samplePresets()
    {
        const auto profile = SimulatedUnit::sampleProfile (0x12);
        auto bank = std::make_shared<FactoryBank> (profile.caps.numPresets - 1);
        auto data = std::make_shared<DeviceData> ("Vesper", profile.version, profile.caps, bank);

        data->setPreset (2, SimulatedUnit::makePreset (profile.caps, 2, 1, "Warm Hall"));
        data->setPreset (3, SimulatedUnit::makePreset (profile.caps, 3, 3, "Octave Stack"));
        bank->setEntry (2, data->getPreset (2)->getMD5String());
        return data;
    }

    struct PresetState
    {
        int slot = 2;
        bool selected = false, highlighted = false, unselectable = false, enabled = true, over = false;
    };

    /** One button of the grid in a state, with the grid's data and sizes. */
    std::unique_ptr<juce::Component> presetScreen (BVLookAndFeel& laf, int view, PresetState state)
    {
        struct Screen : Painter
        {
            using Painter::Painter;
            std::shared_ptr<DeviceData> data;
            juce::OwnedArray<PresetButton> buttons;
        };

        const auto s = laf.getScale();
        const auto w = juce::roundToInt ((view == PresetButton::cellView ? 125.0f : 152.0f) * s);
        const auto h = juce::roundToInt ((view == PresetButton::cellView ? 25.0f : 95.0f) * s);
        const auto gap = px (laf, 12.0f);
        const auto background = view == PresetButton::cellView ? Palette::presetGridWhite : Palette::backgroundColour;

        auto screen = std::make_unique<Screen> (w + 2 * gap, h + 2 * gap, [background] (juce::Graphics& g, Painter&) { g.fillAll (background); });
        screen->data = samplePresets();
        auto* button = screen->buttons.add (std::make_unique<PresetButton> (state.slot));

        button->getCellPainter().setButtonSize (juce::roundToInt (125.0f * s), juce::roundToInt (25.0f * s));
        button->getIconPainter().setButtonSize (juce::roundToInt (152.0f * s), juce::roundToInt (95.0f * s));
        button->setPresetData (screen->data, true);
        button->setUnselectable (state.unselectable);
        button->setHighlighted (state.highlighted);
        button->setToggleState (state.selected, juce::dontSendNotification);
        button->setEnabled (state.enabled);

        const auto* preset = screen->data->getPreset (state.slot);
        button->setButtonText (preset != nullptr ? preset->getName() : juce::String ("<empty>"));

        PresetButton::setAllViewModes (screen->buttons, view);
        button->setBounds (gap, gap, w, h);
        screen->addAndMakeVisible (button);
        button->setState (state.over ? juce::Button::buttonOver : juce::Button::buttonNormal);
        return screen;
    }

    std::unique_ptr<juce::Component> cell (BVLookAndFeel& laf, PresetState state) { return presetScreen (laf, PresetButton::cellView, state); }
    std::unique_ptr<juce::Component> icon (BVLookAndFeel& laf, PresetState state) { return presetScreen (laf, PresetButton::iconView, state); }
}

BELVORA_SCREEN ("Widgets/Preset cell: factory preset", [] (BVLookAndFeel& laf) { return cell (laf, { 2 }); });
BELVORA_SCREEN ("Widgets/Preset cell: factory preset, selected", [] (BVLookAndFeel& laf) { return cell (laf, { 2, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: changed, three steps", [] (BVLookAndFeel& laf) { return cell (laf, { 3 }); });
BELVORA_SCREEN ("Widgets/Preset cell: changed, selected", [] (BVLookAndFeel& laf) { return cell (laf, { 3, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: highlighted", [] (BVLookAndFeel& laf) { return cell (laf, { 2, false, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: highlighted, selected", [] (BVLookAndFeel& laf) { return cell (laf, { 2, true, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: unselectable", [] (BVLookAndFeel& laf) { return cell (laf, { 5, false, false, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: unselectable, highlighted", [] (BVLookAndFeel& laf) { return cell (laf, { 5, false, true, true }); });
BELVORA_SCREEN ("Widgets/Preset cell: disabled", [] (BVLookAndFeel& laf) { return cell (laf, { 3, false, false, false, false }); });
BELVORA_SCREEN ("Widgets/Preset icon: factory preset", [] (BVLookAndFeel& laf) { return icon (laf, { 2 }); });
BELVORA_SCREEN ("Widgets/Preset icon: under the mouse", [] (BVLookAndFeel& laf) { return icon (laf, { 2, false, false, false, true, true }); });
BELVORA_SCREEN ("Widgets/Preset icon: changed, three steps, selected", [] (BVLookAndFeel& laf) { return icon (laf, { 3, true }); });
BELVORA_SCREEN ("Widgets/Preset icon: highlighted", [] (BVLookAndFeel& laf) { return icon (laf, { 2, false, true }); });
BELVORA_SCREEN ("Widgets/Preset icon: unselectable", [] (BVLookAndFeel& laf) { return icon (laf, { 5, false, false, true }); });
BELVORA_SCREEN ("Widgets/Preset icon: unselectable, highlighted", [] (BVLookAndFeel& laf) { return icon (laf, { 5, false, true, true }); });
BELVORA_SCREEN ("Widgets/Preset icon: disabled, selected", [] (BVLookAndFeel& laf) { return icon (laf, { 3, true, false, false, false }); });

namespace
{
    //==============================================================================
    // Toolbar and text-only buttons

    std::unique_ptr<juce::Drawable> embeddedDrawable (const char* name)
    {
        int size = 0;
        const auto* data = BinaryResources::getNamedResource (name, size);
        return data != nullptr ? juce::Drawable::createFromImageData (data, (size_t) size) : nullptr;
    }

    /** Three toolbar buttons in one style on the toolbar's background: plain, toggled, disabled. */
    std::unique_ptr<juce::Component> toolbarScreen (BVLookAndFeel& laf, juce::Toolbar::ToolbarItemStyle style, bool over)
    {
        struct Screen : Painter
        {
            using Painter::Painter;
            juce::OwnedArray<ToolbarButtonEx> buttons;
        };

        const auto depth = (int) laf.getToolbarThickness();
        auto screen = std::make_unique<Screen> (depth * 3, depth, nullptr);

        auto* undo = screen->buttons.add (std::make_unique<ToolbarButtonEx> (1, "Undo", embeddedDrawable ("toolbar_undo_svg")));
        auto* view = screen->buttons.add (std::make_unique<ToolbarButtonEx> (2, "Icon View", embeddedDrawable ("toolbar_view_cells_svg"),
                                                                             embeddedDrawable ("toolbar_view_icons_svg")));
        auto* send = screen->buttons.add (std::make_unique<ToolbarButtonEx> (3, "Send Selected", embeddedDrawable ("toolbar_send_selected_svg")));
        view->setToggleState (true, juce::dontSendNotification);
        send->setEnabled (false);

        for (int i = 0; i < screen->buttons.size(); ++i)
        {
            auto* b = screen->buttons[i];
            b->setStyle (style);
            b->setBounds (i * depth, 0, depth, depth);
            b->buttonStateChanged();
            screen->addAndMakeVisible (b);
        }

        undo->setState (over ? juce::Button::buttonOver : juce::Button::buttonNormal);

        screen->draw = [s = screen.get(), depth] (juce::Graphics& g, Painter&)
        {
            juce::Toolbar bar;
            bar.setSize (s->getWidth(), depth);
            s->getLookAndFeel().paintToolbarBackground (g, s->getWidth(), depth, bar);
        };

        return screen;
    }

    std::unique_ptr<juce::Component> linkScreen (BVLookAndFeel& laf, bool enabled, juce::Button::ButtonState state)
    {
        auto button = std::make_unique<TextOnlyButton> ("Clear all tags", "Clears the tag selection", juce::Justification::centredLeft);
        button->setColour (juce::HyperlinkButton::textColourId, Palette::textColour);
        button->setSize (px (laf, 200.0f), px (laf, 20.0f));
        button->setSize (button->getBestWidth(), button->getHeight());
        button->setEnabled (enabled);
        return onBackground (std::move (button), Palette::backgroundColour, px (laf, 12.0f), state);
    }
}

BELVORA_SCREEN ("Widgets/Toolbar buttons: icons with text", [] (BVLookAndFeel& laf) { return toolbarScreen (laf, juce::Toolbar::iconsWithText, false); });
BELVORA_SCREEN ("Widgets/Toolbar buttons: icons with text, first under the mouse", [] (BVLookAndFeel& laf) { return toolbarScreen (laf, juce::Toolbar::iconsWithText, true); });
BELVORA_SCREEN ("Widgets/Toolbar buttons: icons only", [] (BVLookAndFeel& laf) { return toolbarScreen (laf, juce::Toolbar::iconsOnly, false); });
BELVORA_SCREEN ("Widgets/Toolbar buttons: text only", [] (BVLookAndFeel& laf) { return toolbarScreen (laf, juce::Toolbar::textOnly, false); });
BELVORA_SCREEN ("Widgets/Text-only button", [] (BVLookAndFeel& laf) { return linkScreen (laf, true, juce::Button::buttonNormal); });
BELVORA_SCREEN ("Widgets/Text-only button: under the mouse", [] (BVLookAndFeel& laf) { return linkScreen (laf, true, juce::Button::buttonOver); });
BELVORA_SCREEN ("Widgets/Text-only button: pressed", [] (BVLookAndFeel& laf) { return linkScreen (laf, true, juce::Button::buttonDown); });
BELVORA_SCREEN ("Widgets/Text-only button: disabled", [] (BVLookAndFeel& laf) { return linkScreen (laf, false, juce::Button::buttonOver); });

namespace
{
    //==============================================================================
    // Backup tiles

    std::unique_ptr<juce::Component> archiveScreen (BVLookAndFeel& laf, const char* label, const char* picture,
                                                    juce::Button::ButtonState state, bool selected = false, bool enabled = true)
    {
        juce::ValueTree node (SourceTreeIds::node);
        node.setProperty (SourceTreeIds::label, label, nullptr);

        auto tile = std::make_unique<ArchiveButton> (node, picture != nullptr ? embeddedDrawable (picture) : nullptr);
        tile->setToggleState (selected, juce::dontSendNotification);
        tile->setEnabled (enabled);
        return onBackground (std::move (tile), Palette::backgroundColour, px (laf, 12.0f), state);
    }

    constexpr auto normal = juce::Button::buttonNormal;
}

BELVORA_SCREEN ("Widgets/Backup tile", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Vesper_000012", "archive_default_svg", normal); });
BELVORA_SCREEN ("Widgets/Backup tile: under the mouse", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Vesper_000012", "archive_default_svg", juce::Button::buttonOver); });
BELVORA_SCREEN ("Widgets/Backup tile: pressed", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Before the tour", "archive_icon_star", juce::Button::buttonDown); });
BELVORA_SCREEN ("Widgets/Backup tile: selected, long label", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Live Vox 2.0 factory presets and the studio set", "archive_icon_Live_Vox_2_0", normal, true); });
BELVORA_SCREEN ("Widgets/Backup tile: selected, disabled", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Vesper_000012", "archive_default_svg", normal, true, false); });
BELVORA_SCREEN ("Widgets/Backup tile: no picture", [] (BVLookAndFeel& laf) { return archiveScreen (laf, "Imported", nullptr, normal, true); });

//==============================================================================
// Dialogs: the whole window with a display, its content without one.

BELVORA_SCREEN ("Dialogs/About", [] (BVLookAndFeel&) -> std::unique_ptr<juce::Component>
{
    if (TestEnvironment::hasDisplay())
        return std::make_unique<AboutBox> (nullptr);

    return std::make_unique<AboutBoxContent>();
});

BELVORA_SCREEN ("Dialogs/Device information", [] (BVLookAndFeel&) -> std::unique_ptr<juce::Component>
{
    const FirmwareVersion version (0, 1, 4, 0, 140, 3);
    const ManufactureDate date { 2015, 6, 3 };

    if (TestEnvironment::hasDisplay())
        return std::make_unique<DeviceInfoDialog> ("Vesper Black", version, date, 20000001);

    return std::make_unique<DeviceInfoComp> ("Vesper Black", version, date, 20000001, false);
});

BELVORA_SCREEN ("Dialogs/Device information: nothing known", [] (BVLookAndFeel&) -> std::unique_ptr<juce::Component>
{
    if (TestEnvironment::hasDisplay())
        return std::make_unique<DeviceInfoDialog> ("Unit 7", FirmwareVersion(), ManufactureDate(), 0);

    return std::make_unique<DeviceInfoComp> ("Unit 7", FirmwareVersion(), ManufactureDate(), 0, false);
});
