// The look-and-feel's pages: palette, pictures and every drawn element.

#include <cerrno>
#include "app/Belvora.h"
#include "gallery/Gallery.h"
#include "gui/BVApplicationFrameLaf.h"
#include "gui/OptionsDialogLaf.h"
#include "gui/Palette.h"
#include "gui/SearchDialogLaf.h"
#include "gui/widgets/Alerts.h"
#include "gui/datapage/DataPage.h"
#include "gui/datapage/UnsavedWork.h"
#include "platform/InstanceLock.h"
#include "resources/BinaryResources.h"

#include <cstdlib>
#include <cstring>

using namespace Gallery;

namespace
{
    struct Swatch { const char* name; juce::Colour colour; };

    const Swatch swatches[] =
    {
        { "textColour", Palette::textColour }, { "backgroundColour", Palette::backgroundColour }, { "outlineColour", Palette::outlineColour },
        { "alertTextColour", Palette::alertTextColour }, { "focusedOutlineColour", Palette::focusedOutlineColour },
        { "popupHeaderTextColour", Palette::popupHeaderTextColour }, { "tooltipOutlineColour", Palette::tooltipOutlineColour },
        { "toolbarButtonDownColour", Palette::toolbarButtonDownColour }, { "buttonOnColour", Palette::buttonOnColour },
        { "toolbarLabelTextColour", Palette::toolbarLabelTextColour }, { "buttonColour", Palette::buttonColour },
        { "buttonTextColour", Palette::buttonTextColour }, { "progressBarBackgroundColour", Palette::progressBarBackgroundColour },
        { "popupTextColour", Palette::popupTextColour }, { "buttonOnTextColour", Palette::buttonOnTextColour },
        { "popupBackgroundColour", Palette::popupBackgroundColour }, { "editorBackgroundColour", Palette::editorBackgroundColour },
        { "editorShadowColour", Palette::editorShadowColour }, { "toolbarButtonOverColour", Palette::toolbarButtonOverColour },
        { "tabFrontTextColour", Palette::tabFrontTextColour }, { "editorHighlightColour", Palette::editorHighlightColour },
        { "progressBarForegroundColour", Palette::progressBarForegroundColour }, { "tooltipTextColour", Palette::tooltipTextColour },
        { "popupHighlightColour", Palette::popupHighlightColour }, { "tooltipBackgroundColour", Palette::tooltipBackgroundColour },
        { "popupHighlightedTextColour", Palette::popupHighlightedTextColour }, { "toolbarSeparatorColour", Palette::toolbarSeparatorColour },
        { "frontTabColour", Palette::frontTabColour }, { "tabTopColour", Palette::tabTopColour }, { "tabBottomColour", Palette::tabBottomColour },
        { "barLightColour", Palette::barLightColour }, { "barWhiteColour", Palette::barWhiteColour }, { "barDarkColour", Palette::barDarkColour },
        { "panelShadeBottomColour", Palette::panelShadeBottomColour }, { "panelShadeTopColour", Palette::panelShadeTopColour },
        { "resizerBarColour", Palette::resizerBarColour }, { "toolbarLightColour", Palette::toolbarLightColour },
        { "alertShadeColour", Palette::alertShadeColour }, { "progressTextColour", Palette::progressTextColour },
        { "tableHeaderShadeColour", Palette::tableHeaderShadeColour }, { "tableHeaderLineColour", Palette::tableHeaderLineColour },
        { "statusProgressBackgroundColour", Palette::statusProgressBackgroundColour },
        { "statusProgressForegroundColour", Palette::statusProgressForegroundColour },
        { "statusErrorBackgroundColour", Palette::statusErrorBackgroundColour },
        { "statusErrorForegroundColour", Palette::statusErrorForegroundColour }, { "statusTextColour", Palette::statusTextColour },
        { "statusBackgroundColour", Palette::statusBackgroundColour }, { "browserSelectionColour", Palette::browserSelectionColour },
        { "cellBlueShadeTopColour", Palette::cellBlueShadeTopColour }, { "cellBlueShadeBottomColour", Palette::cellBlueShadeBottomColour },
        { "presetButtonLightColour", Palette::presetButtonLightColour }, { "presetButtonDarkColour", Palette::presetButtonDarkColour },
        { "cellGreyShadeTopColour", Palette::cellGreyShadeTopColour }, { "cellGreyShadeBottomColour", Palette::cellGreyShadeBottomColour },
        { "cellGoldShadeTopColour", Palette::cellGoldShadeTopColour }, { "cellGoldShadeBottomColour", Palette::cellGoldShadeBottomColour },
        { "cellGreyEdgeColour", Palette::cellGreyEdgeColour }, { "cellBlueEdgeColour", Palette::cellBlueEdgeColour },
        { "cellGoldEdgeColour", Palette::cellGoldEdgeColour }, { "cellFillColour", Palette::cellFillColour },
        { "cellMarkColour", Palette::cellMarkColour }, { "presetButtonShadowColour", Palette::presetButtonShadowColour },
        { "tileAccentColour", Palette::tileAccentColour }, { "tileDarkColour", Palette::tileDarkColour }, { "tileLightColour", Palette::tileLightColour },
        { "deviceStatusPaleColour", Palette::deviceStatusPaleColour }, { "deviceStatusCyanColour", Palette::deviceStatusCyanColour },
        { "deviceStatusGreyColour", Palette::deviceStatusGreyColour }, { "deviceStatusDarkColour", Palette::deviceStatusDarkColour },
        { "deviceListRedColour", Palette::deviceListRedColour }, { "deviceListGreyColour", Palette::deviceListGreyColour },
        { "deviceListMutedRedColour", Palette::deviceListMutedRedColour }, { "firmwareListTextColour", Palette::firmwareListTextColour },
        { "firmwareListRowColour", Palette::firmwareListRowColour }, { "aboutAccentColour", Palette::aboutAccentColour },
        { "searchFieldBackgroundColour", Palette::searchFieldBackgroundColour }, { "searchBarColour", Palette::searchBarColour },
        { "updateErrorTextColour", Palette::updateErrorTextColour }, { "tableAlternateRowColour", Palette::tableAlternateRowColour },
        { "tableSelectedRowColour", Palette::tableSelectedRowColour }, { "firmwareLinkColour", Palette::firmwareLinkColour },
        { "firmwareTextColour", Palette::firmwareTextColour }, { "editorTextLightColour", Palette::editorTextLightColour },
        { "editorOutlineColour", Palette::editorOutlineColour }, { "groupOutlineColour", Palette::groupOutlineColour },
        { "dropIndicatorColour", Palette::dropIndicatorColour }, { "iconLightColour", Palette::iconLightColour },
        { "iconDarkColour", Palette::iconDarkColour }, { "scrollbarColour", Palette::scrollbarColour },
    };

    std::unique_ptr<juce::Component> paletteSheet (BVLookAndFeel& laf)
    {
        const auto cellW = px (laf, 250.0f), cellH = px (laf, 28.0f), columns = 4, inset = px (laf, 3.0f), textGap = px (laf, 8.0f);
        const auto rows = ((int) std::size (swatches) + columns - 1) / columns;

        return std::make_unique<Painter> (cellW * columns, cellH * rows, [=] (juce::Graphics& g, Painter&)
        {
            g.fillAll (Palette::backgroundColour);
            g.setFont (BVLookAndFeel::makeFont (11.0f * (float) cellH / 28.0f));

            for (int i = 0; i < (int) std::size (swatches); ++i)
            {
                const juce::Rectangle<int> cell ((i % columns) * cellW, (i / columns) * cellH, cellW, cellH);
                auto chip = cell.reduced (inset).removeFromLeft (cellH * 2);
                g.setColour (juce::Colours::white);
                g.fillRect (chip);
                g.setColour (juce::Colours::black);
                g.fillRect (chip.removeFromRight (chip.getWidth() / 2));
                g.setColour (swatches[i].colour);
                g.fillRect (cell.reduced (inset).removeFromLeft (cellH * 2));
                g.setColour (Palette::textColour);
                g.drawFittedText (juce::String (swatches[i].name) + "\n" + swatches[i].colour.toDisplayString (true),
                                  cell.withTrimmedLeft (cellH * 2 + textGap), juce::Justification::centredLeft, 2);
            }
        });
    }

    std::unique_ptr<juce::Component> pictureSheet (BVLookAndFeel& laf)
    {
        const auto cell = px (laf, 120.0f), label = px (laf, 16.0f), columns = 8;
        const auto rows = (BinaryResources::namedResourceListSize + columns - 1) / columns;

        return std::make_unique<Painter> (cell * columns, (cell + label) * rows, [=] (juce::Graphics& g, Painter&)
        {
            g.fillAll (Palette::backgroundColour);
            g.setFont (BVLookAndFeel::makeFont ((float) label * 0.6f));

            for (int i = 0; i < BinaryResources::namedResourceListSize; ++i)
            {
                const auto* name = BinaryResources::namedResourceList[i];
                juce::Rectangle<int> box ((i % columns) * cell, (i / columns) * (cell + label), cell, cell + label);
                const auto area = box.withHeight (cell).reduced (cell / 10).toFloat();
                int size = 0;
                const auto* data = BinaryResources::getNamedResource (name, size);

                g.setColour (juce::String (name).startsWith ("status_") ? Palette::statusBackgroundColour : Palette::barWhiteColour);
                g.fillRect (area.expanded ((float) cell / 20.0f));

                if (auto drawable = juce::Drawable::createFromImageData (data, (size_t) size))
                    drawable->drawWithin (g, area, juce::RectanglePlacement::centred, 1.0f);

                g.setColour (Palette::textColour);
                g.drawFittedText (name, box.removeFromBottom (label), juce::Justification::centred, 1, 0.5f);
            }
        });
    }

    std::unique_ptr<juce::Component> buttonSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);
        const auto w = px (laf, 110.0f), h = px (laf, 26.0f);

        sheet->row ("Text buttons: normal, on, disabled, connected");
        sheet->make<juce::TextButton> (w, h, "Scan");
        sheet->make<juce::TextButton> (w, h, "On").setToggleState (true, juce::dontSendNotification);
        sheet->make<juce::TextButton> (w, h, "Disabled").setEnabled (false);
        auto& left = sheet->make<juce::TextButton> (w, h, "Left");
        left.setConnectedEdges (juce::Button::ConnectedOnRight);
        sheet->make<juce::TextButton> (w, h, "Right").setConnectedEdges (juce::Button::ConnectedOnLeft);

        sheet->row ("Button backgrounds: normal, under the mouse, pressed, focused");
        for (int state = 0; state < 4; ++state)
            sheet->add (std::make_unique<Painter> (w, h, [state, &laf] (juce::Graphics& g, Painter& p)
            {
                juce::TextButton b ("b");
                b.setSize (p.getWidth(), p.getHeight());
                auto colour = laf.findColour (juce::TextButton::buttonColourId);
                if (state == 3) colour = colour.withMultipliedSaturation (1.3f);
                laf.drawButtonBackground (g, b, colour, state == 1, state == 2);
            }), w, h);

        sheet->row ("Toggle buttons: check box off, on, disabled; radio off, on");
        sheet->make<juce::ToggleButton> (w + h, h, "Option");
        sheet->make<juce::ToggleButton> (w + h, h, "Chosen").setToggleState (true, juce::dontSendNotification);
        auto& disabled = sheet->make<juce::ToggleButton> (w + h, h, "Disabled");
        disabled.setToggleState (true, juce::dontSendNotification);
        disabled.setEnabled (false);
        sheet->make<juce::ToggleButton> (w + h, h, "Radio").setRadioGroupId (1);
        auto& radio = sheet->make<juce::ToggleButton> (w + h, h, "Radio on");
        radio.setRadioGroupId (1);
        radio.setToggleState (true, juce::dontSendNotification);

        return sheet->finish (std::move (sheet));
    }

    struct Tabs : juce::TabbedComponent
    {
        Tabs (BVLookAndFeel& laf, int width) : juce::TabbedComponent (juce::TabbedButtonBar::TabsAtTop)
        {
            setLookAndFeel (&laf);
            setTabBarDepth ((int) laf.getTabBarDepth());
            setOutline (0);
            for (auto* name : { "Devices", "Presets", "Updates" })
                addTab (name, Palette::tabTopColour, new juce::Component(), true);
            setCurrentTabIndex (1);
            setSize (width, (int) laf.getTabBarDepth() + px (laf, 24.0f));
        }

        ~Tabs() override { setLookAndFeel (nullptr); }
    };

    std::unique_ptr<juce::Component> tabSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);
        auto& options = sheet->own<OptionsDialogLaf> (laf.getScale());
        const auto w = px (laf, 420.0f);
        sheet->row ("Main window tabs (\"Presets\" in front)");
        sheet->add (std::make_unique<Tabs> (laf, w), w, (int) laf.getTabBarDepth() + px (laf, 24.0f));
        sheet->row ("Options dialog tabs");
        auto optionTabs = std::make_unique<Tabs> (options, w);
        auto* background = new Painter (w, optionTabs->getHeight(), [] (juce::Graphics& g, Painter&) { g.fillAll (Palette::dialogBackgroundColour); });
        background->addAndMakeVisible (*optionTabs.release());
        sheet->add (std::unique_ptr<juce::Component> (background), w, background->getHeight());
        background->getChildComponent (0)->setTopLeftPosition (0, 0);
        return sheet->finish (std::move (sheet));
    }

    std::unique_ptr<juce::Component> menuSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);
        auto& search = sheet->own<SearchDialogLaf> (laf.getScale());
        const auto itemH = juce::roundToInt (laf.getPopupMenuFont().getHeight() * 1.6f);
        const auto w = px (laf, 240.0f), h = itemH * 7 + 8;

        for (auto* menuLaf : { static_cast<BVLookAndFeel*> (&laf), static_cast<BVLookAndFeel*> (&search) })
        {
            sheet->row (menuLaf == &laf ? "Popup menu" : "Search dialog popup menu");
            sheet->add (std::make_unique<Painter> (w, h, [menuLaf, itemH] (juce::Graphics& g, Painter& p)
            {
                menuLaf->drawPopupMenuBackground (g, p.getWidth(), p.getHeight());
                juce::Rectangle<int> area (4, 4, p.getWidth() - 8, itemH);
                menuLaf->drawPopupMenuSectionHeader (g, area, "Backups");
                auto item = [&] (const char* text, bool sep, bool active, bool over, bool ticked, bool sub)
                {
                    area.translate (0, itemH);
                    menuLaf->drawPopupMenuItem (g, area, sep, active, over, ticked, sub, text, sep ? "" : "Ctrl+B", nullptr, nullptr);
                };
                item ("New Backup", false, true, false, false, false);
                item ("Rename", false, true, true, false, false);
                item ("Show All", false, true, false, true, false);
                item ("", true, true, false, false, false);
                item ("Move To", false, true, false, false, true);
                item ("Delete", false, false, false, false, false);
            }), w, h);
        }

        return sheet->finish (std::move (sheet));
    }

    std::unique_ptr<juce::Component> scrollSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);
        const auto t = px (laf, 14.0f), l = px (laf, 200.0f);

        sheet->row ("Scroll bars: vertical, horizontal, under the mouse, no thumb");
        auto& vertical = sheet->make<juce::ScrollBar> (t, l, true);
        vertical.setRangeLimits (0.0, 100.0);
        vertical.setCurrentRange (20.0, 30.0);
        auto& horizontal = sheet->make<juce::ScrollBar> (l, t, false);
        horizontal.setRangeLimits (0.0, 100.0);
        horizontal.setCurrentRange (50.0, 40.0);

        sheet->add (std::make_unique<Painter> (t, l, [&laf, l, t] (juce::Graphics& g, Painter&)
        {
            juce::ScrollBar bar (true);
            laf.drawScrollbar (g, bar, 0, 0, t, l, true, l / 3, l / 3, true, false);
        }), t, l);
        sheet->add (std::make_unique<Painter> (t, l, [&laf, l, t] (juce::Graphics& g, Painter&)
        {
            juce::ScrollBar bar (true);
            laf.drawScrollbar (g, bar, 0, 0, t, l, true, 0, 0, false, false);
        }), t, l);

        return sheet->finish (std::move (sheet));
    }

    // A progress bar shows its value only after its timer ran: draw the states directly.
    void addProgress (Sheet& sheet, BVLookAndFeel& laf, double value, const juce::String& text,
                      juce::Colour background = {}, juce::Colour foreground = {})
    {
        const auto w = px (laf, 240.0f), h = px (laf, 20.0f);
        sheet.add (std::make_unique<Painter> (w, h, [=, &laf] (juce::Graphics& g, Painter& p)
        {
            double unused = 0.0;
            juce::ProgressBar bar (unused);
            bar.setLookAndFeel (&laf);
            if (! background.isTransparent()) bar.setColour (juce::ProgressBar::backgroundColourId, background);
            if (! foreground.isTransparent()) bar.setColour (juce::ProgressBar::foregroundColourId, foreground);
            laf.drawProgressBar (g, bar, p.getWidth(), p.getHeight(), value, text);
            bar.setLookAndFeel (nullptr);
        }), w, h);
    }

    std::unique_ptr<juce::Component> progressSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);

        sheet->row ("Progress: 40 %, with text, busy");
        addProgress (*sheet, laf, 0.4, {});
        addProgress (*sheet, laf, 0.7, "Reading presets");
        addProgress (*sheet, laf, -1.0, {});

        sheet->row ("Status bar colours: normal, error");
        addProgress (*sheet, laf, 0.55, "Preset 11 of 20", Palette::statusProgressBackgroundColour, Palette::statusProgressForegroundColour);
        addProgress (*sheet, laf, 0.3, "Time-out", Palette::statusErrorBackgroundColour, Palette::statusErrorForegroundColour);

        return sheet->finish (std::move (sheet));
    }

    std::unique_ptr<juce::Component> panelSheet (BVLookAndFeel& laf)
    {
        auto sheet = std::make_unique<Sheet> (laf);
        const auto w = px (laf, 260.0f), h = px (laf, 24.0f);

        sheet->row ("Panel headers: first, following, under the mouse");
        for (int state = 0; state < 3; ++state)
            sheet->add (std::make_unique<Painter> (w, h, [state] (juce::Graphics& g, Painter& p)
            {
                BVLookAndFeel::drawPanelBackground (g, p.getLocalBounds(), state == 0 ? "Workspace" : "Details", state == 2, state == 0);
            }), w, h);

        sheet->row ("Concertina panel");
        auto& concertina = sheet->make<juce::ConcertinaPanel> (w, h * 5);
        for (auto* name : { "Source", "Details" })
        {
            auto* c = new juce::Component (name);
            concertina.addPanel (-1, c, true);
            concertina.setCustomPanelHeader (c, nullptr, false);
            concertina.setPanelHeaderSize (c, h);
        }

        sheet->row ("Layout resizer bar: normal, under the mouse");
        for (int state = 0; state < 2; ++state)
            sheet->add (std::make_unique<Painter> (px (laf, 8.0f), h * 4, [state, &laf] (juce::Graphics& g, Painter& p)
            {
                laf.drawStretchableLayoutResizerBar (g, p.getWidth(), p.getHeight(), true, state == 1, false);
            }), px (laf, 8.0f), h * 4);

        return sheet->finish (std::move (sheet));
    }

    struct Factory : juce::ToolbarItemFactory
    {
        void getAllToolbarItemIds (juce::Array<int>& ids) override { ids.addArray ({ 1, 2, 3, 4 }); }
        void getDefaultItemSet (juce::Array<int>& ids) override { ids.addArray ({ 1, 2, -1, 3, 4 }); }

        juce::ToolbarItemComponent* createItem (int id) override
        {
            const std::pair<const char*, const char*> items[] = { { "Get", BinaryResources::toolbar_get_data_svg },
                                                                  { "Apply", BinaryResources::toolbar_apply_changes_svg },
                                                                  { "Undo", BinaryResources::toolbar_undo_svg },
                                                                  { "Redo", BinaryResources::toolbar_redo_svg } };
            const auto& [label, svg] = items[id - 1];
            return new juce::ToolbarButton (id, label, juce::Drawable::createFromImageData (svg, std::strlen (svg)), {});
        }
    };

    std::unique_ptr<juce::Component> widgetSheet (BVLookAndFeel& laf)
    {
        static Factory factory;
        auto sheet = std::make_unique<Sheet> (laf);
        const auto w = px (laf, 220.0f), h = px (laf, 24.0f);

        sheet->row ("Group, sliders (horizontal, two-value), text editor, combo box");
        auto& group = sheet->make<juce::GroupComponent> (w, h * 3, "group", "Export");
        group.setText ("Export");
        auto& slider = sheet->make<juce::Slider> (w, h, juce::Slider::LinearHorizontal, juce::Slider::NoTextBox);
        slider.setValue (0.4 * slider.getMaximum());
        auto& twoValue = sheet->make<juce::Slider> (w, h, juce::Slider::TwoValueHorizontal, juce::Slider::NoTextBox);
        twoValue.setMinAndMaxValues (2.0, 7.0);
        auto& editor = sheet->make<juce::TextEditor> (w, h);
        editor.setFont (BVLookAndFeel::makeFont (laf.getFontSize()));   // as every field of the program sets it
        editor.setText ("Vocal Lead");
        auto& combo = sheet->make<juce::ComboBox> (w, h);
        combo.addItem ("Cell view", 1);
        combo.setSelectedId (1);

        sheet->row ("Tooltip, table header with a sorted column, corner resizer");
        const juce::String tip ("Get presets and setup data from your device");
        const auto tipBounds = laf.getTooltipBounds (tip, {}, { 0, 0, 2000, 2000 });
        sheet->add (std::make_unique<Painter> (tipBounds.getWidth(), tipBounds.getHeight(), [&laf, tip] (juce::Graphics& g, Painter& p)
        {
            laf.drawTooltip (g, tip, p.getWidth(), p.getHeight());
        }), tipBounds.getWidth(), tipBounds.getHeight());

        auto& header = sheet->make<juce::TableHeaderComponent> (w + h * 2, h);
        header.addColumn ("Name", 1, w / 2);
        header.addColumn ("Location", 2, w / 2);
        header.addColumn ("Score", 3, h * 2);
        header.setSortColumnId (1, true);
        sheet->add (std::make_unique<Painter> (h, h, [&laf] (juce::Graphics& g, Painter& p)
        {
            g.fillAll (Palette::backgroundColour);
            laf.drawCornerResizer (g, p.getWidth(), p.getHeight(), false, false);
        }), h, h);

        sheet->row ("Toolbar");
        auto& toolbar = sheet->make<juce::Toolbar> (w * 2, (int) laf.getToolbarThickness());
        toolbar.setStyle (juce::Toolbar::iconsWithText);
        toolbar.addDefaultItems (factory);

        return sheet->finish (std::move (sheet));
    }

    std::unique_ptr<juce::Component> alert (BVLookAndFeel& laf, juce::MessageBoxIconType type, const juce::String& title,
                                            const juce::String& message, juce::StringArray buttons)
    {
        auto window = std::make_unique<Alerts::Window> (title, message, type);
        window->setLookAndFeel (&laf);

        for (int i = 0; i < buttons.size(); ++i)
            window->addButton (buttons[i], buttons.size() - i - 1);

        return window;
    }

    // The box of a start that could not take the data folder's lock, with the program's own texts.
    std::unique_ptr<juce::Component> refusedStart (BVLookAndFeel& laf, bool anotherCopy)
    {
        const auto scratch = juce::File::createTempFile ("refused-start");
        std::unique_ptr<platform::InstanceLock> first;

        if (anotherCopy)
            first = std::make_unique<platform::InstanceLock> (scratch);
        else
            scratch.replaceWithText ("a file where a folder should be");

        const platform::InstanceLock refused (anotherCopy ? scratch : scratch.getChildFile ("Belvora 2.lock"));

        // A user's data folder rather than the gallery's long temporary one.
        const auto home = juce::SystemStats::getEnvironmentVariable ("HOME", {});
        const auto configuration = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});
        ::setenv ("HOME", "/home/marie", 1);
        ::setenv ("XDG_CONFIG_HOME", "/home/marie/.config", 1);
        const auto text = Belvora::getStartRefusal (refused);
        ::setenv ("HOME", home.toRawUTF8(), 1);
        ::setenv ("XDG_CONFIG_HOME", configuration.toRawUTF8(), 1);
        first.reset();
        scratch.deleteFile();

        return alert (laf, juce::MessageBoxIconType::WarningIcon, text.title, text.message, { "OK" });
    }

    struct Frame : juce::DocumentWindow
    {
        Frame (std::unique_ptr<BVLookAndFeel> frameLaf, const juce::String& title, bool withIcon)
            : juce::DocumentWindow (title, Palette::backgroundColour, allButtons, false), look (std::move (frameLaf))
        {
            auto& laf = *look;
            setLookAndFeel (&laf);
            setUsingNativeTitleBar (false);
            setTitleBarHeight ((int) (laf.getFontSize() * 1.8571428f + 1.0e-3f));

            if (withIcon)
                setIcon (juce::ImageCache::getFromMemory (BinaryResources::app_icon_png, BinaryResources::app_icon_pngSize));

            setSize (px (laf, 480.0f), px (laf, 120.0f));
        }

        ~Frame() override { setLookAndFeel (nullptr); }

        std::unique_ptr<BVLookAndFeel> look;
    };

    std::unique_ptr<juce::Component> frame (BVLookAndFeel& laf, bool wordmark, bool icon)
    {
        auto look = wordmark ? std::make_unique<BVApplicationFrameLaf> (laf.getScale()) : std::make_unique<BVLookAndFeel> (laf.getScale());
        return std::make_unique<Frame> (std::move (look), "Belvora 2", icon);
    }
}

BELVORA_SCREEN ("Look and feel/Palette", paletteSheet);
BELVORA_SCREEN ("Look and feel/Pictures", pictureSheet);
BELVORA_SCREEN ("Look and feel/Buttons", buttonSheet);
BELVORA_SCREEN ("Look and feel/Tabs", tabSheet);
BELVORA_SCREEN ("Look and feel/Menus", menuSheet);
BELVORA_SCREEN ("Look and feel/Scroll bars", scrollSheet);
BELVORA_SCREEN ("Look and feel/Progress bars", progressSheet);
BELVORA_SCREEN ("Look and feel/Panel headers", panelSheet);
BELVORA_SCREEN ("Look and feel/Other widgets", widgetSheet);

BELVORA_SCREEN ("Dialogs/Alert, information", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::InfoIcon, "USB Device Change",
                  "A MIDI device change has been detected.\nThe connection to Vesper is still open, but you must rescan before switching to a different device.", { "OK" }); });
BELVORA_SCREEN ("Dialogs/Alert, warning", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "USB Device Connection Lost",
                  "The MIDI connection to your device has been lost.\nPlease rescan MIDI devices.", { "Scan Now", "Later" }); });
BELVORA_SCREEN ("Dialogs/Alert, question with three buttons", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::QuestionIcon, "New Firmware Available",
                  "There is a new version of firmware available for Vesper. Do you want to update now?", { "Show Details...", "Yes", "No" }); });
BELVORA_SCREEN ("Dialogs/Alert, no icon", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::NoIcon, "Error", "Can't find icon: archive_icon_Retro", { "OK" }); });

BELVORA_SCREEN ("Dialogs/Save failed while working", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "File Error",
                  UnsavedWork::failedMessage ({ UnsavedWork::workspaceItem ("Vesper"), UnsavedWork::backupItem ("Vesper 2026-12-08 14:02 (All)"),
                                                UnsavedWork::indexItem() }, { ENOSPC }), { "OK" }); });
BELVORA_SCREEN ("Dialogs/Save failed, saved again", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::InfoIcon, "Saved", UnsavedWork::savedMessage(), { "OK" }); });
BELVORA_SCREEN ("Dialogs/Save failed at quit", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "File Error",
                  UnsavedWork::closingMessage ({ UnsavedWork::workspaceItem ("Vesper"), UnsavedWork::unitDataItem ("Vesper"),
                                                 UnsavedWork::backupItem ("Vesper 2026-12-08 14:02 (All)") }, true, { EACCES }),
                  { "Try Again", UnsavedWork::closeAnywayText (true) }); });

BELVORA_SCREEN ("Dialogs/Start refused: another copy running", [] (BVLookAndFeel& laf) { return refusedStart (laf, true); });
BELVORA_SCREEN ("Dialogs/Start refused: data folder cannot be written", [] (BVLookAndFeel& laf) { return refusedStart (laf, false); });

BELVORA_SCREEN ("Dialogs/Workspace of an earlier firmware converted", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::InfoIcon, "Workspace Converted",
                  DataPage::getWorkspaceConvertedText ("Vesper", "1.2.00 build 118", true, "1.3.00 build 130",
                                                       juce::File ("/home/marie/.config/Marrowell/Belvora 2/Vesper/data/1234/working for firmware build 118.mwd")),
                  { "OK" }); });
BELVORA_SCREEN ("Dialogs/Workspace of a later firmware converted (the unit went back)", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::InfoIcon, "Workspace Converted",
                  DataPage::getWorkspaceConvertedText ("Vesper", "1.4.00 build 142", false, "1.4.00 build 140",
                                                       juce::File ("/home/marie/.config/Marrowell/Belvora 2/Vesper/data/1234/working for firmware build 142.mwd")),
                  { "OK" }); });
BELVORA_SCREEN ("Dialogs/Workspace of an earlier firmware kept", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "Workspace Kept",
                  DataPage::getWorkspaceKeptText ("Vesper", "1.2.00 build 118", true, "1.3.00 build 130",
                                                  juce::File ("/home/marie/.config/Marrowell/Belvora 2/Vesper/data/1234/working for firmware build 118.mwd")),
                  { "OK" }); });
BELVORA_SCREEN ("Dialogs/Workspace not converted for want of room", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "Workspace Not Converted",
                  DataPage::getWorkspaceNotConvertedText ("Vesper", "1.2.00 build 118", true,
                                                          juce::File ("/home/marie/.config/Marrowell/Belvora 2/Vesper/data/1234/working.mwd"), ENOSPC),
                  { "OK" }); });

BELVORA_SCREEN ("Dialogs/Backup data missing", [] (BVLookAndFeel& laf) {
    return alert (laf, juce::MessageBoxIconType::WarningIcon, "Backup Data Missing",
                  DataPage::getDataMissingText ("Before the show",
                                                juce::File ("/home/marie/.config/Marrowell/Belvora 2/Vesper/data/Before the show.mwd")),
                  { "OK" }); });

BELVORA_SCREEN ("Windows/Main window frame with wordmark", [] (BVLookAndFeel& laf) { return frame (laf, true, true); });
BELVORA_SCREEN ("Windows/Main window frame without icon", [] (BVLookAndFeel& laf) { return frame (laf, true, false); });
BELVORA_SCREEN ("Windows/Dialog frame", [] (BVLookAndFeel& laf) { return frame (laf, false, true); });
