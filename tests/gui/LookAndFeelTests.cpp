// The look-and-feel: colour table, fonts and metrics at UI scales 1 and 2, and
// the pixels of each drawing operation, drawn into images without a display.

#include "gui/BVApplicationFrameLaf.h"
#include "gui/BVLookAndFeel.h"
#include "gui/OptionsDialogLaf.h"
#include "gui/Palette.h"
#include "gui/SearchDialogLaf.h"
#include "gui/WidgetTestSupport.h"
#include "gui/widgets/Alerts.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace
{
    const float scales[] = { 1.0f, 2.0f };

    juce::Image draw (int w, int h, const std::function<void (juce::Graphics&)>& paint)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
        juce::Graphics g (image);
        paint (g);
        return image;
    }

    juce::uint32 at (const juce::Image& image, int x, int y) { return image.getPixelAt (x, y).getARGB(); }

    using WidgetTests::countPixels;
    using WidgetTests::near;

    bool isDark (juce::Colour c) { return c.getAlpha() > 128 && c.getBrightness() < 0.5f; }

    /** A tab bar of three tabs at the look-and-feel's depth, "Presets" in front. */
    struct TabBar
    {
        explicit TabBar (BVLookAndFeel& laf) : bar (juce::TabbedButtonBar::TabsAtTop)
        {
            bar.setLookAndFeel (&laf);
            for (auto* name : { "Devices", "Presets", "Updates" })
                bar.addTab (name, Palette::tabTopColour, -1);
            bar.setCurrentTabIndex (1);
            bar.setSize (juce::roundToInt (800.0f * laf.getScale()), (int) laf.getTabBarDepth());
        }

        ~TabBar() { bar.setLookAndFeel (nullptr); }

        juce::Image snapshot() { return bar.createComponentSnapshot (bar.getLocalBounds(), true, 1.0f); }

        juce::TabbedButtonBar bar;
    };
}

//==============================================================================
TEST (BVLookAndFeel, ColourTableHoldsThePalette)
{
    BVLookAndFeel laf (1.0f);

    EXPECT_EQ (laf.findColour (juce::DocumentWindow::textColourId), Palette::textColour);
    EXPECT_EQ (laf.findColour (juce::TooltipWindow::outlineColourId).getARGB(), 0x4c000000u);
    EXPECT_EQ (laf.findColour (juce::AlertWindow::textColourId).getARGB(), 0xff406a80u);
    EXPECT_EQ (laf.findColour (juce::TextEditor::outlineColourId).getARGB(), 0x00000000u);
    EXPECT_EQ (laf.findColour (juce::TextEditor::focusedOutlineColourId).getARGB(), 0xffc8c8c8u);
    EXPECT_EQ (laf.findColour (juce::GroupComponent::outlineColourId).getARGB(), 0xb342545eu);
    EXPECT_EQ (laf.findColour (juce::ComboBox::buttonColourId).getARGB(), 0xffc8c8c8u);
    EXPECT_EQ (laf.findColour (juce::ProgressBar::foregroundColourId).getARGB(), 0xffedce83u);
    EXPECT_EQ (laf.findColour (juce::Slider::backgroundColourId).getARGB(), 0xffffffffu);
    EXPECT_EQ (laf.findColour (BVLookAndFeel::frontTabTopColourId).getARGB(), 0xffcdd8deu);
    EXPECT_EQ (laf.findColour (BVLookAndFeel::tabTopColourId).getARGB(), 0xfffefefeu);
    EXPECT_EQ (laf.findColour (BVLookAndFeel::tabBottomColourId).getARGB(), 0xffdbe2e6u);
    EXPECT_EQ (laf.findColour (juce::DirectoryContentsDisplayComponent::highlightColourId), Palette::selectionColour);   // file chooser rows

    // Ids outside the table keep the framework's colours.
    EXPECT_EQ (laf.findColour (juce::ScrollBar::thumbColourId), juce::LookAndFeel_V3().findColour (juce::ScrollBar::thumbColourId));
}

TEST (BVLookAndFeel, FontsUseAnInstalledTypefaceAtEveryScale)
{
    const auto& name = BVLookAndFeel::getTypefaceName();
    EXPECT_TRUE (juce::Font::findAllTypefaceNames().contains (name) || name == juce::Font::getDefaultSansSerifFontName()) << name;
    EXPECT_NE (name, "Verdana");

    float widthAtOne = 0.0f;

    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        BVLookAndFeel laf (scale);

        EXPECT_FLOAT_EQ (laf.getAlertWindowFont().getHeight(), 14.0f * scale);
        EXPECT_FLOAT_EQ (laf.getAlertWindowMessageFont().getHeight(), 16.0f * scale);
        EXPECT_FLOAT_EQ (laf.getAlertWindowTitleFont().getHeight(), 16.0f * scale * 1.1f);
        EXPECT_TRUE (laf.getAlertWindowTitleFont().isBold());
        EXPECT_FLOAT_EQ (laf.getPopupMenuFont().getHeight(), 14.0f * scale);
        EXPECT_EQ (laf.getPopupMenuFont().getTypefaceName(), name);
        EXPECT_EQ (laf.getAlertWindowButtonHeight(), (int) (28.0f * scale));

        juce::ComboBox box;
        box.setSize (100, 10);
        EXPECT_FLOAT_EQ (laf.getComboBoxFont (box).getHeight(), 8.5f);

        juce::Slider slider;
        std::unique_ptr<juce::Label> textBox (laf.createSliderTextBox (slider));
        EXPECT_FLOAT_EQ (textBox->getFont().getHeight(), 14.0f * scale);
        EXPECT_EQ (textBox->getBorderSize().getLeft(), juce::roundToInt (5.0f * scale));

        // Menu items and separators grow with the scale: a separator is 10 pixels at scale 1.
        int itemWidth = 0, itemHeight = 0, separatorWidth = 0, separatorHeight = 0;
        laf.getIdealPopupMenuItemSize ("Refresh MIDI Devices", false, 0, itemWidth, itemHeight);
        laf.getIdealPopupMenuItemSize ({}, true, 0, separatorWidth, separatorHeight);
        EXPECT_EQ (itemHeight, juce::roundToInt (18.0f * scale));
        EXPECT_EQ (separatorHeight, juce::roundToInt (10.0f * scale));
        EXPECT_EQ (separatorWidth, juce::roundToInt (50.0f * scale));

        // Text really appears: a missing typeface would leave the image empty.
        const auto font = laf.getAlertWindowFont();
        const auto text = draw (200 * (int) scale, 30 * (int) scale, [&] (juce::Graphics& g)
        {
            g.setColour (juce::Colours::black);
            g.setFont (font);
            g.drawText ("Nothing Connected", 0, 0, 200 * (int) scale, 30 * (int) scale, juce::Justification::centredLeft);
        });
        EXPECT_GT (countPixels (text, text.getBounds(), isDark), 20);

        const auto width = font.getStringWidthFloat ("Nothing Connected");
        if (scale == 1.0f)
            widthAtOne = width;
        else
            EXPECT_NEAR (width, widthAtOne * 2.0f, widthAtOne * 0.1f);
    }
}

TEST (BVLookAndFeel, TabWidthsAndTooltipPlacement)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        BVLookAndFeel laf (scale);
        TabBar tabs (laf);
        auto* button = tabs.bar.getTabButton (1);
        const auto depth = (int) laf.getTabBarDepth();
        const auto textWidth = juce::roundToInt (BVLookAndFeel::makeFont (laf.getLargeFontSize()).getStringWidthFloat ("Presets"));

        EXPECT_EQ (laf.getTabButtonOverlap (depth), 0);
        EXPECT_EQ (laf.getTabButtonBestWidth (*button, depth), juce::jlimit (2 * depth, 8 * depth, 2 * textWidth));
        EXPECT_EQ (laf.getTabButtonBestWidth (*button, 1000), 2000);   // at least twice the depth
        EXPECT_EQ (laf.getTabButtonBestWidth (*button, 2), 16);       // at most eight times

        const juce::Rectangle<int> parent (0, 0, 1000, 800);
        const auto rightBelow = laf.getTooltipBounds ("Find a preset", { 700, 600 }, parent);
        const auto s = (int) scale;
        EXPECT_EQ (rightBelow.getRight(), 700 - 12 * s);
        EXPECT_EQ (rightBelow.getBottom(), 600 - 6 * s);

        const auto leftAbove = laf.getTooltipBounds ("Find a preset", { 100, 100 }, parent);
        EXPECT_EQ (leftAbove.getPosition(), juce::Point<int> (100 + 24 * s, 100 + 6 * s));
        EXPECT_EQ (leftAbove.getWidth(), rightBelow.getWidth());

        // A long tip wraps at the same words at every scale.
        const juce::String longTip ("Get presets and setup data from your device, then keep them as a backup on this computer");
        const auto wrapped = laf.getTooltipBounds (longTip, { 100, 100 }, parent);
        EXPECT_NEAR (wrapped.getHeight(), scale * (float) BVLookAndFeel (1.0f).getTooltipBounds (longTip, { 100, 100 }, parent).getHeight(), 3.0f)
            << "one line more or less at this scale";
    }

    OptionsDialogLaf options (1.0f);
    EXPECT_FLOAT_EQ (options.getTabBarDepth(), 14.0f * 1.8f);
}

//==============================================================================
TEST (LookAndFeelDrawing, ScrollbarShowsItsThumbOnlyWhenThereIsOne)
{
    for (auto scale : scales)
    {
        BVLookAndFeel laf (scale);
        juce::ScrollBar bar (true);
        bar.setLookAndFeel (&laf);
        const int w = (int) (14 * scale), h = (int) (200 * scale);

        const auto empty = draw (w, h, [&] (juce::Graphics& g) { laf.drawScrollbar (g, bar, 0, 0, w, h, true, 0, 0, false, false); });
        EXPECT_EQ (countPixels (empty, empty.getBounds(), [] (juce::Colour c) { return c != Palette::scrollbarColour; }), 0);

        const auto thumb = draw (w, h, [&] (juce::Graphics& g) { laf.drawScrollbar (g, bar, 0, 0, w, h, true, h / 4, h / 2, false, false); });
        EXPECT_NE (at (thumb, w / 2, h / 2), Palette::scrollbarColour.getARGB());
        EXPECT_EQ (at (thumb, w / 2, 2), Palette::scrollbarColour.getARGB());
        EXPECT_EQ (at (thumb, 0, h / 2), Palette::scrollbarColour.getARGB());   // inset by a quarter of the width

        const auto over = draw (w, h, [&] (juce::Graphics& g) { laf.drawScrollbar (g, bar, 0, 0, w, h, true, h / 4, h / 2, true, false); });
        EXPECT_LT (over.getPixelAt (w / 2, h / 2).getBrightness(), thumb.getPixelAt (w / 2, h / 2).getBrightness());
        bar.setLookAndFeel (nullptr);
    }
}

TEST (LookAndFeelDrawing, ButtonBackgroundsAndToggles)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        BVLookAndFeel laf (scale);
        juce::TextButton button ("OK");
        button.setLookAndFeel (&laf);
        const auto base = laf.findColour (juce::TextButton::buttonColourId);

        button.setSize (1, 20);
        EXPECT_EQ (countPixels (draw (1, 20, [&] (juce::Graphics& g) { laf.drawButtonBackground (g, button, base, false, false); }),
                                { 0, 0, 1, 20 }, [] (juce::Colour c) { return ! c.isTransparent(); }), 0);

        const int w = (int) (100 * scale), h = (int) (26 * scale);
        button.setSize (w, h);
        const auto normal = draw (w, h, [&] (juce::Graphics& g) { laf.drawButtonBackground (g, button, base, false, false); });
        EXPECT_TRUE (near (normal, w / 2, h / 2, base, 12));
        EXPECT_TRUE (near (normal, w / 2, 0, base.darker (0.4f), 40));   // the edge line

        const auto down = draw (w, h, [&] (juce::Graphics& g) { laf.drawButtonBackground (g, button, base, false, true); });
        EXPECT_LT (down.getPixelAt (w / 2, h / 2).getBrightness(), normal.getPixelAt (w / 2, h / 2).getBrightness());

        // Ticked: the tick reaches above its box.
        const auto tickBox = [&] (bool ticked)
        {
            return draw (40, 40, [&] (juce::Graphics& g) { laf.drawTickBox (g, button, 10.0f, 10.0f, 12.0f, 12.0f, ticked, true, false, false); });
        };
        EXPECT_TRUE (near (tickBox (false), 16, 16, Palette::editorBackgroundColour));
        EXPECT_EQ (countPixels (tickBox (false), { 10, 0, 20, 10 }, isDark), 0);
        EXPECT_GT (countPixels (tickBox (true), { 10, 0, 20, 10 }, isDark), 0);

        // A radio button draws a round mark, a plain toggle a box.
        juce::ToggleButton radio ("Radio"), check ("Check");
        radio.setRadioGroupId (1);
        for (auto* toggle : { &radio, &check })
        {
            toggle->setLookAndFeel (&laf);
            toggle->setToggleState (true, juce::dontSendNotification);
            toggle->setSize (w * 2, h);
        }

        const auto radioImage = radio.createComponentSnapshot (radio.getLocalBounds(), true, 1.0f);
        const auto checkImage = check.createComponentSnapshot (check.getLocalBounds(), true, 1.0f);
        const auto markSize = 0.75f * (float) h * 1.1f * 0.7f;
        const auto edge = (int) (4 * scale);   // the box's distance from the left, grown with the scale
        EXPECT_TRUE (isDark (radioImage.getPixelAt (edge + (int) (markSize / 2), h / 2)));   // the dot
        EXPECT_TRUE (near (radioImage, 5, 1, juce::Colours::transparentBlack, 0));
        EXPECT_TRUE (near (checkImage, edge, h / 2, laf.findColour (juce::TextButton::buttonColourId), 2));   // the box's edge
        EXPECT_TRUE (near (checkImage, edge - 2, h / 2, juce::Colours::transparentBlack, 0));

        radio.setLookAndFeel (nullptr);
        check.setLookAndFeel (nullptr);
        button.setLookAndFeel (nullptr);
    }
}

TEST (LookAndFeelDrawing, AlertBoxIconsByType)
{
    if (! TestEnvironment::hasDisplay())
        GTEST_SKIP() << "an alert window asks the display about always-on-top windows";

    // A box and its buttons as the look-and-feel makes them, at each scale.
    std::vector<juce::Array<juce::Rectangle<int>>> layouts;
    std::vector<juce::Image> icons;

    for (auto scale : scales)
    {
        BVLookAndFeel laf (scale);

        auto render = [&] (juce::MessageBoxIconType type)
        {
            std::unique_ptr<juce::AlertWindow> alert (laf.createAlertWindow ("Title", "A message of a few words.",
                                                                             "Start Update", "Cancel", {}, type, 2, nullptr));
            alert->setLookAndFeel (&laf);
            auto image = alert->createComponentSnapshot (alert->getLocalBounds(), true, 1.0f);

            if (type == juce::MessageBoxIconType::QuestionIcon)
            {
                layouts.push_back ({ alert->getLocalBounds() });

                for (auto* child : alert->getChildren())
                    if (auto* button = dynamic_cast<juce::TextButton*> (child))
                        layouts.back().add (button->getBounds());

                icons.push_back (image.getClippedImage ({ 0, 0, juce::roundToInt (100 * scale), juce::roundToInt (100 * scale) }));
            }

            alert->setLookAndFeel (nullptr);
            return image;
        };

        const auto none = render (juce::MessageBoxIconType::NoIcon);
        const auto question = render (juce::MessageBoxIconType::QuestionIcon);
        const auto warning = render (juce::MessageBoxIconType::WarningIcon);
        const auto info = render (juce::MessageBoxIconType::InfoIcon);

        EXPECT_TRUE (near (none, 10, 10, Palette::alertBackgroundColour, 0));
        EXPECT_FALSE (near (question, 10, 10, Palette::alertBackgroundColour, 2));   // the shade circle

        // Question blue, warning red, information green.
        const auto count = [] (const juce::Image& image, std::function<bool (int r, int g, int b)> test)
        {
            return countPixels (image, { 0, 0, 90, 90 }, [&] (juce::Colour c) { return test (c.getRed(), c.getGreen(), c.getBlue()); });
        };
        const auto blue = [] (int r, int, int b) { return b > r + 30; };
        const auto red = [] (int r, int, int b) { return r > b + 30; };
        const auto green = [] (int r, int g, int b) { return g > r + 20 && g > b + 20; };
        EXPECT_GT (count (question, blue), 50);
        EXPECT_EQ (count (question, red) + count (question, green), 0);
        EXPECT_GT (count (warning, red), 50);
        EXPECT_EQ (count (warning, blue) + count (warning, green), 0);
        EXPECT_GT (count (info, green), 50);
        EXPECT_EQ (count (info, red), 0);

        // The outline runs round the window.
        EXPECT_EQ (at (none, 0, none.getHeight() / 2), laf.findColour (juce::AlertWindow::outlineColourId).getARGB());
    }

    // At scale 2 the box is the scale-1 box twice as large: its size, its
    // buttons' places and sizes, and its icon (about four times the pixels).
    ASSERT_EQ (layouts.size(), 2u);
    ASSERT_EQ (layouts[0].size(), 3);
    ASSERT_EQ (layouts[1].size(), 3);

    for (int i = 0; i < 3; ++i)
    {
        const auto one = layouts[0][i], two = layouts[1][i];
        SCOPED_TRACE (i == 0 ? "box" : "button");
        EXPECT_NEAR (two.getX(), one.getX() * 2, 2);
        EXPECT_NEAR (two.getY(), one.getY() * 2, 2);
        EXPECT_NEAR (two.getWidth(), one.getWidth() * 2, 2);
        EXPECT_NEAR (two.getHeight(), one.getHeight() * 2, 2);
    }

    const auto shade = [] (const juce::Image& image)
    {
        return countPixels (image, image.getBounds(), [] (juce::Colour c) { return c.getBlue() > c.getRed() + 30; });
    };
    EXPECT_NEAR ((float) shade (icons[1]) / (float) shade (icons[0]), 4.0f, 0.4f);
}

// The framework moves a box's parts many times while buttons are added; the
// box puts them back without measuring its texts again for each move.
TEST (LookAndFeelDrawing, AlertBoxMeasuresItsTextsOncePerChange)
{
    if (! TestEnvironment::hasDisplay())
        GTEST_SKIP() << "an alert window asks the display about always-on-top windows";

    struct CountingLook : BVLookAndFeel
    {
        using BVLookAndFeel::BVLookAndFeel;
        juce::Array<int> getWidthsForTextButtons (juce::AlertWindow& w, const juce::Array<juce::TextButton*>& b) override
        {
            ++measures;
            return BVLookAndFeel::getWidthsForTextButtons (w, b);
        }

        int measures = 0;
    };

    for (auto scale : scales)
    {
        CountingLook laf (scale);
        juce::LookAndFeel::setDefaultLookAndFeel (&laf);
        {
            Alerts::Window box ("Title", "A message of a few words.", juce::MessageBoxIconType::QuestionIcon);

            for (auto* text : { "Yes", "No", "Cancel" })
                box.addButton (text, 0);

            // The framework measures once per button it adds; the box once
            // when made and once per part added (not once per move).
            EXPECT_LE (laf.measures, 7) << scale;

            juce::Component* first = nullptr;
            for (auto* child : box.getChildren())
                if (first == nullptr && dynamic_cast<juce::TextButton*> (child) != nullptr)
                    first = child;

            ASSERT_NE (first, nullptr);
            const auto placed = first->getBounds();
            const auto size = box.getBounds();
            first->setTopLeftPosition (0, 0);
            EXPECT_EQ (first->getBounds(), placed);
            EXPECT_EQ (box.getBounds(), size);
        }
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    }
}

TEST (LookAndFeelDrawing, TabsOutlinesAndFrontColours)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        BVLookAndFeel laf (scale);
        TabBar tabs (laf);
        const auto image = tabs.snapshot();
        const auto first = tabs.bar.getTabButton (0)->getBounds();
        const auto front = tabs.bar.getTabButton (1)->getBounds();
        const auto midY = first.getCentreY();

        EXPECT_TRUE (near (image, first.getX(), midY, Palette::outlineColour));          // left edge of the first tab only
        EXPECT_FALSE (near (image, front.getX(), midY, Palette::outlineColour, 10));
        EXPECT_TRUE (near (image, front.getRight() - 1, midY, Palette::outlineColour));
        EXPECT_TRUE (near (image, first.getCentreX(), first.getY(), Palette::outlineColour));
        EXPECT_TRUE (near (image, front.getX() + 3, midY, Palette::frontTabColour, 1));
        EXPECT_TRUE (near (image, first.getX() + 3, first.getY() + 2, Palette::tabTopColour, 6));
        EXPECT_TRUE (near (image, image.getWidth() - 3, 2, Palette::barLightColour, 4));   // bar background right of the tabs

        OptionsDialogLaf options (scale);
        TabBar dialogTabs (options);
        const auto dialogImage = dialogTabs.snapshot();
        EXPECT_TRUE (near (dialogImage, front.getX() + 3, midY, Palette::dialogBackgroundColour, 1));
        EXPECT_TRUE (dialogImage.getPixelAt (dialogImage.getWidth() - 3, 2).isTransparent());   // no bar background
    }
}

TEST (LookAndFeelDrawing, ProgressBars)
{
    BVLookAndFeel laf (2.0f);
    double value = 0.0;
    juce::ProgressBar bar (value);
    bar.setLookAndFeel (&laf);
    const auto background = laf.findColour (juce::ProgressBar::backgroundColourId);
    const auto foreground = laf.findColour (juce::ProgressBar::foregroundColourId);

    auto render = [&] (int w, int h, double progress, const juce::String& text)
    {
        return draw (juce::jmax (w, 1), juce::jmax (h, 1), [&] (juce::Graphics& g) { laf.drawProgressBar (g, bar, w, h, progress, text); });
    };

    const auto half = render (200, 20, 0.5, {});
    EXPECT_TRUE (near (half, 50, 10, foreground, 0));
    EXPECT_TRUE (near (half, 150, 10, background, 0));
    EXPECT_TRUE (near (half, 50, 0, background, 0));

    // Exactly 1.0 and negative values are "busy": stripes, not a full bar.
    for (auto busy : { 1.0, -1.0 })
    {
        const auto stripes = render (200, 20, busy, {});
        EXPECT_GT (countPixels (stripes, { 1, 10, 198, 1 }, [&] (juce::Colour c) { return c == background; }), 40);
        EXPECT_GT (countPixels (stripes, { 1, 10, 198, 1 }, [&] (juce::Colour c) { return c != background; }), 40);
    }

    // With the status bar's colours the text is black, else it contrasts.
    bar.setColour (juce::ProgressBar::backgroundColourId, Palette::statusProgressBackgroundColour);
    bar.setColour (juce::ProgressBar::foregroundColourId, Palette::statusProgressForegroundColour);
    const auto text = render (200, 30, 0.0, "WWWWWWWW");
    EXPECT_GT (countPixels (text, text.getBounds(), [] (juce::Colour c) { return c.getARGB() == 0xff000000u; }), 10);

    bar.setLookAndFeel (nullptr);
}

TEST (LookAndFeelDrawing, ProgressBarWithoutWidthOrHeightDrawsNothing)
{
    BVLookAndFeel laf (1.0f);
    double value = 1.0;
    juce::ProgressBar bar (value);

    for (auto size : { std::pair (200, 0), std::pair (0, 20), std::pair (0, 0), std::pair (-5, 20) })
    {
        // clang 14 cannot capture a structured binding
        const auto image = draw (10, 10, [&] (juce::Graphics& g) { laf.drawProgressBar (g, bar, size.first, size.second, 1.0, "busy"); });
        EXPECT_TRUE (image.getPixelAt (5, 5).isTransparent());
    }
}

TEST (LookAndFeelDrawing, PanelHeadersAndResizerBars)
{
    for (auto scale : scales)
    {
        const int w = (int) (200 * scale), h = (int) (24 * scale);
        const auto first = draw (w, h, [&] (juce::Graphics& g) { BVLookAndFeel::drawPanelBackground (g, { 0, 0, w, h }, "", false, true); });
        const auto next = draw (w, h, [&] (juce::Graphics& g) { BVLookAndFeel::drawPanelBackground (g, { 0, 0, w, h }, "", false, false); });
        const auto over = draw (w, h, [&] (juce::Graphics& g) { BVLookAndFeel::drawPanelBackground (g, { 0, 0, w, h }, "", true, false); });

        EXPECT_TRUE (near (first, w / 2, 0, Palette::panelShadeTopColour, 2));
        EXPECT_TRUE (near (next, w / 2, 0, Palette::panelShadeTopColour.overlaidWith (juce::Colours::black.withAlpha (0.1f)), 2));
        EXPECT_TRUE (near (first, w / 2, h - 1, Palette::panelShadeBottomColour.overlaidWith (juce::Colours::black.withAlpha (0.1f)), 4));
        EXPECT_LT (over.getPixelAt (w / 2, 2).getAlpha(), first.getPixelAt (w / 2, 2).getAlpha());

        BVLookAndFeel laf (scale);
        const auto bar = [&] (bool active)
        {
            return draw (8, 100, [&] (juce::Graphics& g) { laf.drawStretchableLayoutResizerBar (g, 8, 100, true, active, false); });
        };
        EXPECT_EQ (at (bar (false), 0, 0), 0xff939fa8u);
        EXPECT_EQ (at (bar (true), 0, 0), 0xffb1bac0u);
    }
}

TEST (LookAndFeelDrawing, GroupOutlineTableHeaderToolbarAndTooltip)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        BVLookAndFeel laf (scale);
        const int w = (int) (200 * scale), h = (int) (80 * scale);

        juce::GroupComponent group;
        group.setLookAndFeel (&laf);
        const auto lineY = juce::roundToInt (BVLookAndFeel::makeFont (laf.getFontSize()).getAscent() - 3.0f * scale);
        const auto closed = draw (w, h, [&] (juce::Graphics& g) { laf.drawGroupComponentOutline (g, w, h, {}, juce::Justification::left, group); });
        const auto titled = draw (w, h, [&] (juce::Graphics& g) { laf.drawGroupComponentOutline (g, w, h, "Export", juce::Justification::left, group); });
        const auto inGap = (int) (12 * scale);   // the gap for the text starts further in at a larger scale
        EXPECT_GT (closed.getPixelAt (inGap, lineY).getAlpha(), 60);   // no gap without a text
        EXPECT_LT (titled.getPixelAt (inGap, lineY).getAlpha(), closed.getPixelAt (inGap, lineY).getAlpha());
        group.setLookAndFeel (nullptr);

        juce::TableHeaderComponent header;
        header.addColumn ("Name", 1, w / 2);
        header.addColumn ("Score", 2, w / 2);
        header.setSize (w, 24);
        const auto headerImage = draw (w, 24, [&] (juce::Graphics& g) { laf.drawTableHeaderBackground (g, header); });
        EXPECT_EQ (at (headerImage, 10, 5), 0xffffffffu);
        EXPECT_TRUE (near (headerImage, 10, 23, juce::Colours::white.overlaidWith (Palette::tableHeaderShadeColour), 1));
        EXPECT_TRUE (near (headerImage, w / 2 - 1, 5, juce::Colours::white.overlaidWith (Palette::tableHeaderShadeColour), 1));
        EXPECT_EQ (at (headerImage, w - 1, 5), 0xffffffffu);   // not after the last column

        const auto column = draw (100, 24, [&] (juce::Graphics& g)
        {
            laf.drawTableHeaderColumn (g, header, "Name", 1, 100, 24, true, false, juce::TableHeaderComponent::sortedForwards);
        });
        EXPECT_EQ (at (column, 1, 1), Palette::tableSelectedRowColour.getARGB());
        const auto arrowRight = 100 - (int) (4 * scale);   // the column's text inset grows with the scale
        EXPECT_GT (countPixels (column, { arrowRight - 12, 0, 12, 24 }, isDark), 3);   // the sort arrow

        juce::Toolbar toolbar;
        toolbar.setSize (w, 60);
        const auto toolbarImage = draw (w, 60, [&] (juce::Graphics& g) { laf.paintToolbarBackground (g, w, 60, toolbar); });
        EXPECT_TRUE (near (toolbarImage, 5, 0, Palette::frontTabColour, 1));
        EXPECT_TRUE (near (toolbarImage, 5, 59, Palette::toolbarLightColour, 2));

        const auto tip = laf.getTooltipBounds ("Undo last edit", {}, { 0, 0, 1000, 1000 });
        const auto tipImage = draw (tip.getWidth(), tip.getHeight(), [&] (juce::Graphics& g) { laf.drawTooltip (g, "Undo last edit", tip.getWidth(), tip.getHeight()); });
        EXPECT_TRUE (near (tipImage, 0, tip.getHeight() / 2, Palette::tooltipBackgroundColour.overlaidWith (Palette::tooltipOutlineColour), 1));
        EXPECT_TRUE (near (tipImage, 2, 2, Palette::tooltipBackgroundColour, 0));
        EXPECT_GT (countPixels (tipImage, tipImage.getBounds(), isDark), 20);
    }
}

TEST (LookAndFeelDrawing, SliderAndCornerResizer)
{
    BVLookAndFeel laf (1.0f);
    juce::Slider twoValue (juce::Slider::TwoValueHorizontal, juce::Slider::NoTextBox);
    twoValue.setSize (200, 24);
    const auto thumbless = draw (200, 24, [&] (juce::Graphics& g)
    {
        laf.drawLinearSliderThumb (g, 0, 0, 200, 24, 100.0f, 50.0f, 150.0f, juce::Slider::TwoValueHorizontal, twoValue);
    });
    EXPECT_EQ (countPixels (thumbless, thumbless.getBounds(), [] (juce::Colour c) { return ! c.isTransparent(); }), 0);

    juce::Slider linear (juce::Slider::LinearHorizontal, juce::Slider::NoTextBox);
    linear.setSize (200, 24);
    EXPECT_EQ (laf.getSliderThumbRadius (linear), 12);
    const auto thumb = draw (200, 24, [&] (juce::Graphics& g)
    {
        laf.drawLinearSliderThumb (g, 0, 0, 200, 24, 100.0f, 0.0f, 0.0f, juce::Slider::LinearHorizontal, linear);
    });
    EXPECT_FALSE (thumb.getPixelAt (100, 12).isTransparent());
    EXPECT_TRUE (thumb.getPixelAt (100 + 11, 12 + 9).isTransparent());   // radius 12 - 2

    const auto grip = draw (20, 20, [&] (juce::Graphics& g) { laf.drawCornerResizer (g, 20, 20, false, false); });
    EXPECT_GT (countPixels (grip, grip.getBounds(), [] (juce::Colour c) { return c.getARGB() == 0xff788791u; }), 4);
    EXPECT_TRUE (grip.getPixelAt (1, 1).isTransparent());
}

TEST (LookAndFeelDrawing, TitleBarsAndWindowButtons)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        const int w = (int) (400 * scale), h = (int) (26 * scale);
        juce::DocumentWindow window ("Belvora 2", Palette::backgroundColour, juce::DocumentWindow::allButtons, false);

        BVLookAndFeel plain (scale);
        const auto bar = draw (w, h, [&] (juce::Graphics& g) { plain.drawDocumentWindowTitleBar (window, g, w, h, 0, w, nullptr, false); });
        EXPECT_TRUE (near (bar, 2, h - 1, Palette::outlineColour, 0));
        EXPECT_TRUE (near (bar, 2, 0, Palette::barWhiteColour, 4));
        EXPECT_GT (countPixels (bar, bar.getBounds(), [] (juce::Colour c) { return c.getBrightness() < 0.45f; }), 20);   // the name

        // The frame shows the wordmark (its blue "2") in place of the name; the window is inactive here.
        BVApplicationFrameLaf frame (scale);
        ASSERT_NE (frame.wordmark, nullptr);
        const auto framed = draw (w, h, [&] (juce::Graphics& g) { frame.drawDocumentWindowTitleBar (window, g, w, h, 0, w, nullptr, false); });
        EXPECT_TRUE (near (framed, 2, 0, Palette::barWhiteColour, 4));
        EXPECT_TRUE (near (framed, 2, h - 1, Palette::barLightColour, 3));
        EXPECT_GT (countPixels (framed, framed.getBounds(), [] (juce::Colour c) { return c.getBlue() > c.getRed() + 60; }), 3);

        // Without a wordmark the name is drawn in the text colour.
        frame.wordmark.reset();
        const auto named = draw (w, h, [&] (juce::Graphics& g) { frame.drawDocumentWindowTitleBar (window, g, w, h, 0, w, nullptr, false); });
        EXPECT_GT (countPixels (named, named.getBounds(), [] (juce::Colour c) { return c.getARGB() == 0xff42545eu; }), 3);
        EXPECT_EQ (countPixels (named, named.getBounds(), [] (juce::Colour c) { return c.getBlue() > c.getRed() + 60; }), 0);
    }

    BVLookAndFeel laf (1.0f);
    for (auto [type, name] : { std::pair (juce::DocumentWindow::minimiseButton, "minimize"),
                               std::pair (juce::DocumentWindow::maximiseButton, "maximize"),
                               std::pair (juce::DocumentWindow::closeButton, "close") })
    {
        std::unique_ptr<juce::Button> button (laf.createDocumentWindowButton (type));
        auto* image = dynamic_cast<juce::ImageButton*> (button.get());
        ASSERT_NE (image, nullptr) << name;
        EXPECT_EQ (image->getName(), name);
        EXPECT_EQ (image->getNormalImage().getWidth(), 10);
    }
}

TEST (LookAndFeelDrawing, SecondaryLooksChangeOnlyTheirOwnParts)
{
    SearchDialogLaf search (1.0f);
    const auto menu = draw (100, 60, [&] (juce::Graphics& g) { search.drawPopupMenuBackground (g, 100, 60); });
    for (auto [x, y] : { std::pair (0, 30), std::pair (99, 30), std::pair (50, 0), std::pair (50, 59) })
        EXPECT_EQ (at (menu, x, y), Palette::searchTextColour.getARGB());
    EXPECT_EQ (at (menu, 50, 30), Palette::searchBackgroundColour.getARGB());

    // Everything else is inherited: the same table and metrics.
    OptionsDialogLaf options (1.0f);
    EXPECT_EQ (options.findColour (juce::AlertWindow::backgroundColourId), Palette::alertBackgroundColour);
    EXPECT_FLOAT_EQ (options.getToolbarThickness(), 63.0f);
    EXPECT_FLOAT_EQ (search.getFontSize(), 14.0f);
}

TEST (LookAndFeelDrawing, RenderDrawableImage)
{
    juce::DrawableImage target;
    BVLookAndFeel::renderDrawableImage (target, nullptr, juce::Colours::red);
    EXPECT_FALSE (target.getImage().isValid());

    juce::DrawableRectangle square;
    square.setRectangle (juce::Parallelogram<float> (juce::Rectangle<float> (0.0f, 0.0f, 34.0f, 25.0f)));
    square.setFill (juce::Colours::blue);
    BVLookAndFeel::renderDrawableImage (target, &square, juce::Colours::white.withAlpha (0.3f));

    EXPECT_EQ (target.getImage().getWidth(), 34);
    EXPECT_EQ (target.getImage().getHeight(), 25);
    EXPECT_EQ (target.getOverlayColour(), juce::Colours::white.withAlpha (0.3f));
    EXPECT_EQ (at (target.getImage(), 17, 12), 0xff0000ffu);
}
