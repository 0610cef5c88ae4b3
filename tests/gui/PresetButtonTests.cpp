// The preset grid's buttons: which background a state picks, the shared
// painters, step counts from data that may be empty or gone, nearest-button
// search, and the pixels of both views at scales 1 and 2.

#include "devices/SimulatedUnit.h"
#include "gui/Palette.h"
#include "gui/widgets/PresetButton.h"
#include "gui/WidgetTestSupport.h"
#include "model/DeviceData.h"
#include "support/SmallCaps.h"

using namespace WidgetTests;
using Image = PresetButtonHelper::Image;

namespace
{
    /** Slot 2 holds a factory preset, slot 3 a changed one of three steps; the others are empty. */
    std::shared_ptr<DeviceData> sampleData()
    {
        const auto caps = smallTestCaps();
        auto bank = std::make_shared<FactoryBank> (caps.numPresets - 1);
        auto data = std::make_shared<DeviceData> ("Small", FirmwareVersion(), caps, bank);

        data->setPreset (2, SimulatedUnit::makePreset (caps, 2, 1, "Factory"));
        data->setPreset (3, SimulatedUnit::makePreset (caps, 3, 3, "Three"));
        bank->setEntry (2, data->getPreset (2)->getMD5String());
        return data;
    }

    std::unique_ptr<PresetButton> selectableButton (int slot, const std::shared_ptr<DeviceData>& data, const juce::String& text)
    {
        auto button = std::make_unique<PresetButton> (slot);
        button->setUnselectable (false);
        button->setPresetData (data, false);
        button->setButtonText (text);
        return button;
    }

    juce::Colour shaded (juce::Colour base, juce::Colour over) { return base.overlaidWith (over); }
}

//==============================================================================
TEST (PresetButton, BackgroundFollowsSelectionHighlightAndDifference)
{
    auto data = sampleData();
    PresetButton button (3);
    EXPECT_EQ (button.getButtonText(), "<empty>");
    EXPECT_TRUE (button.isUnselectable());
    EXPECT_EQ (button.chooseImage(), Image::unselectable);

    button.setHighlighted (true);
    EXPECT_EQ (button.chooseImage(), Image::unselectable);          // highlight needs the data flag
    button.setPresetData (data, true);
    EXPECT_EQ (button.chooseImage(), Image::unselectableHighlighted);

    button.setUnselectable (false);
    EXPECT_EQ (button.chooseImage(), Image::highlighted);
    button.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (button.chooseImage(), Image::highlightedSelected);

    // Highlighted without the flag: the difference rule decides.
    button.setPresetData (data, false);
    EXPECT_EQ (button.chooseImage(), Image::selectedDiffers);
    button.setToggleState (false, juce::dontSendNotification);
    EXPECT_EQ (button.chooseImage(), Image::differs);

    button.setSlotNumber (2);   // the factory preset
    EXPECT_EQ (button.chooseImage(), Image::normal);
    button.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (button.chooseImage(), Image::selected);
}

TEST (PresetButton, EmptySlotsAndDataThatWentAwayShowNoSteps)
{
    auto data = sampleData();
    PresetButton button (3);
    button.setUnselectable (false);
    button.setSize (125, 25);

    button.setPresetData (data, false);
    EXPECT_EQ (button.getNumSteps(), 3);

    button.setSlotNumber (5);     // empty slot
    EXPECT_EQ (button.getNumSteps(), 0);
    button.setSlotNumber (500);   // no such slot
    EXPECT_EQ (button.getNumSteps(), 0);
    EXPECT_EQ (button.chooseImage(), Image::normal);

    button.setSlotNumber (3);
    data.reset();                 // the grid's data was replaced meanwhile
    EXPECT_EQ (button.getNumSteps(), 0);
    EXPECT_EQ (button.chooseImage(), Image::normal);

    for (auto view : { PresetButton::cellView, PresetButton::iconView })
    {
        juce::OwnedArray<PresetButton> buttons;
        buttons.add (selectableButton (3, nullptr, "Gone"));
        PresetButton::setAllViewModes (buttons, view);
        buttons[0]->setSize (152, 95);
        EXPECT_TRUE (snapshot (*buttons[0]).isValid());
        EXPECT_EQ (buttons[0]->isOpaque(), view == PresetButton::cellView) << "a tile leaves the grid showing around it";
    }
}

TEST (PresetButton, PaintersAreSharedAndGoWithTheirLastButton)
{
    std::weak_ptr<CellButtonHelper> cell;
    std::weak_ptr<IconButtonHelper> icon;

    {
        PresetButton a (1), b (2);
        EXPECT_EQ (&a.getCellPainter(), &b.getCellPainter());
        EXPECT_EQ (&a.getIconPainter(), &b.getIconPainter());
        cell = CellButtonHelper::getInstance();
        icon = IconButtonHelper::getInstance();
        EXPECT_EQ (cell.lock().get(), &a.getCellPainter());
    }

    EXPECT_TRUE (cell.expired());
    EXPECT_TRUE (icon.expired());
}

TEST (PresetButton, PaintersRenderForTheButtonSize)
{
    auto cell = CellButtonHelper::getInstance();
    auto icon = IconButtonHelper::getInstance();

    EXPECT_EQ (cell->getImage (Image::normal).getBounds(), juce::Rectangle<int> (125, 25));
    EXPECT_TRUE (near (cell->getImage (Image::normal), 60, 0, Palette::presetCellGreyBlue, 2));
    EXPECT_TRUE (near (cell->getImage (Image::normal), 60, 24, Palette::presetCellSlate, 2));
    EXPECT_TRUE (near (cell->getImage (Image::unselectableHighlighted), 60, 12, Palette::presetCellRose, 0));

    // Icon tiles are two thirds of the button; selection does not change them.
    EXPECT_EQ (icon->getImage (Image::normal).getBounds(), juce::Rectangle<int> (100, 63));
    EXPECT_EQ (icon->getImage (Image::selected).getPixelAt (50, 30), icon->getImage (Image::normal).getPixelAt (50, 30));

    cell->setButtonSize (250, 50);
    EXPECT_EQ (cell->getImage (Image::unselectable).getBounds(), juce::Rectangle<int> (250, 50));
    EXPECT_FALSE (cell->getImage (0).isValid());
    EXPECT_FALSE (cell->getImage (9).isValid());
    cell->setButtonSize (125, 25);
}

TEST (PresetButton, UnrenderedPainterDrawsThePageBackgroundInsteadOfFailing)
{
    PresetButton button (1);
    button.setUnselectable (false);
    button.setSize (125, 25);
    button.getCellPainter().setButtonSize (0, 0);

    EXPECT_FALSE (button.getCellPainter().getImage (Image::normal).isValid());
    const auto image = snapshot (button);
    // A cell is opaque, so the grid paints nothing under it: it covers its place itself.
    EXPECT_TRUE (button.isOpaque());
    EXPECT_TRUE (near (image, 60, 12, Palette::backgroundColour));
    EXPECT_TRUE (near (image, 0, 12, Palette::presetGridSlate));

    button.getCellPainter().setButtonSize (125, 25);
}

//==============================================================================
TEST (PresetButton, FindNearestNeverPicksTheHiddenButton)
{
    juce::OwnedArray<PresetButton> buttons;
    EXPECT_EQ (PresetButton::findNearest (buttons, { 0, 0 }), nullptr);

    buttons.add (std::make_unique<PresetButton> (0));
    buttons[0]->setBounds (0, 0, 100, 20);
    EXPECT_EQ (PresetButton::findNearest (buttons, { 500, 500 }), buttons[0]);

    // A grid of two rows of two, button 0 hidden on top of button 1.
    for (int slot = 1; slot <= 4; ++slot)
    {
        buttons.add (std::make_unique<PresetButton> (slot));
        buttons[slot]->setBounds (((slot - 1) % 2) * 100, ((slot - 1) / 2) * 20, 100, 20);
    }

    EXPECT_EQ (PresetButton::findNearest (buttons, { 10, 5 }), buttons[1]);
    EXPECT_EQ (PresetButton::findNearest (buttons, { 160, 28 }), buttons[4]);
    EXPECT_EQ (PresetButton::findNearest (buttons, { 40, 22 }), buttons[3]);
    EXPECT_EQ (PresetButton::findNearest (buttons, { 100, 10 }), buttons[1]);   // equally near 1 and 2: the first
    EXPECT_EQ (PresetButton::findNearest (buttons, { 200, 20 }), buttons[4]);   // right of and below the last's top-right
    EXPECT_EQ (PresetButton::findNearest (buttons, { 0, 40 }), buttons[4]);     // below the last row
}

TEST (PresetButton, SetAllViewModesLeavesAnEmptyOrHeadlessListAlone)
{
    juce::OwnedArray<PresetButton> buttons;
    PresetButton::setAllViewModes (buttons, PresetButton::iconView);

    buttons.add (nullptr);
    buttons.add (std::make_unique<PresetButton> (1));
    PresetButton::setAllViewModes (buttons, PresetButton::iconView);
    EXPECT_EQ (buttons[1]->getViewMode(), PresetButton::cellView);

    buttons.remove (0);
    buttons.add (std::make_unique<PresetButton> (2));
    PresetButton::setAllViewModes (buttons, PresetButton::iconView);
    EXPECT_EQ (buttons[0]->getViewMode(), PresetButton::iconView);
    EXPECT_EQ (buttons[1]->getViewMode(), PresetButton::iconView);
}

//==============================================================================
TEST (PresetButton, IconViewKeepsTheIconBelowTheTopEdge)
{
    juce::OwnedArray<PresetButton> holder;
    auto* b = holder.add (std::make_unique<PresetButton> (3));
    PresetButton::setAllViewModes (holder, PresetButton::iconView);
    b->setSize (152, 95);

    // Without our look-and-feel the small font is 13: the icon would start at y 1 and is held at 4.
    EXPECT_EQ (b->getIconPosition(), juce::Point<int> (23, 4));
    EXPECT_EQ (b->getNameBox(), juce::Rectangle<float> (7.5f, 68.0f, 132.0f, 22.0f));

    PresetButton::setAllViewModes (holder, PresetButton::cellView);
    EXPECT_FLOAT_EQ (b->getFont().getHeight(), 95.0f * 0.44f);
}

TEST (PresetButton, CellViewPixels)
{
    auto data = sampleData();

    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const auto w = juce::roundToInt (125 * scale), h = juce::roundToInt (25 * scale);

        auto three = selectableButton (3, data, "Three");
        three->getCellPainter().setButtonSize (w, h);
        three->setSize (w, h);
        const auto painted = three->getCellPainter().getImage (Image::differs);

        auto image = snapshot (*three);
        EXPECT_TRUE (near (image, 0, h / 2, Palette::presetGridSlate));
        EXPECT_TRUE (near (image, w - 1, h / 2, Palette::presetGridSlate));
        EXPECT_TRUE (near (image, w / 2, h - 1, Palette::presetGridSlate));
        EXPECT_TRUE (near (image, w - 30, h - 3, painted.getPixelAt (w - 30, h - 3)));
        EXPECT_GT (countPixels (image, { 6, 4, w / 2, h - 8 }, hue (Palette::presetGridWhite, 30)), 5);

        // Three steps: a shaded mark with the count in the top-right corner, as large as the cell is.
        const auto px = [scale] (int v) { return juce::roundToInt ((float) v * scale); };
        const juce::Point<int> inMark (w - px (10), px (2));
        EXPECT_TRUE (near (image, inMark.x, inMark.y, shaded (painted.getPixelAt (inMark.x, inMark.y), juce::Colours::black.withAlpha (0.15f))));
        EXPECT_GT (countPixels (image, { w - px (11), px (1), px (10), px (9) }, hue (Palette::presetGridWhite, 60)), 2 * px (1));

        // Selected: the brighter image and black text.
        three->setToggleState (true, juce::dontSendNotification);
        image = snapshot (*three);
        EXPECT_TRUE (near (image, w - 30, h - 3, three->getCellPainter().getImage (Image::selectedDiffers).getPixelAt (w - 30, h - 3)));
        EXPECT_GT (countPixels (image, { 6, 4, w / 2, h - 8 }, [] (juce::Colour c) { return c.getBrightness() < 0.3f; }), 5);

        // One step: no mark. Disabled but selectable: veiled.
        auto factory = selectableButton (2, data, "Factory");
        factory->setSize (w, h);
        factory->setEnabled (false);
        const auto plain = factory->getCellPainter().getImage (Image::normal);
        image = snapshot (*factory);
        EXPECT_TRUE (near (image, w - 6, 4, shaded (plain.getPixelAt (w - 6, 4), juce::Colours::white.withAlpha (0.4f))));

        // Disabled and unselectable: not veiled.
        factory->setUnselectable (true);
        image = snapshot (*factory);
        EXPECT_TRUE (near (image, w - 6, 4, Palette::presetCellPaleSlate));

        // A cell laid out wider than the painted picture is painted to its right edge.
        three->setSize (w + 20, h);
        image = snapshot (*three);
        EXPECT_TRUE (near (image, w + 12, h - 3, three->getCellPainter().getImage (Image::selectedDiffers).getPixelAt (w - 30, h - 3)));

        three->getCellPainter().setButtonSize (125, 25);
    }
}

TEST (PresetButton, IconViewPixels)
{
    auto data = sampleData();
    std::vector<float> nameFont;

    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const auto w = juce::roundToInt (152 * scale), h = juce::roundToInt (95 * scale);

        juce::OwnedArray<PresetButton> buttons;
        auto* three = buttons.add (selectableButton (3, data, "Three"));
        three->getIconPainter().setButtonSize (w, h);
        PresetButton::setAllViewModes (buttons, PresetButton::iconView);
        three->setSize (w, h);

        const auto tile = three->getIconPainter().getImage (Image::differs);
        const auto at = three->getIconPosition();
        nameFont.push_back (three->getFont().getHeight());
        const auto middle = at + juce::Point<int> (tile.getWidth() / 2, tile.getHeight() / 2);

        // The number sits where the tile has no pale bars: nothing there is as bright as they are.
        float bars = 0.0f, underNumber = 0.0f;
        const auto numberArea = three->getNumberBox().toNearestInt() - at;

        for (int y = tile.getHeight() * 2 / 5; y < tile.getHeight() * 7 / 10; ++y)
            for (int x = 0; x < tile.getWidth(); ++x)
                bars = juce::jmax (bars, tile.getPixelAt (x, y).getBrightness());

        for (int y = numberArea.getY(); y < numberArea.getBottom(); ++y)
            for (int x = numberArea.getX(); x < numberArea.getRight(); ++x)
                underNumber = juce::jmax (underNumber, tile.getPixelAt (x, y).getBrightness());

        EXPECT_LT (underNumber, bars - 0.1f);

        // Neither selected nor under the mouse: no card, only picture and texts.
        auto image = snapshot (*three);
        EXPECT_EQ (image.getPixelAt (1, h / 2).getAlpha(), 0);
        EXPECT_TRUE (near (image, middle.x, middle.y, tile.getPixelAt (middle.x - at.x, middle.y - at.y)));
        EXPECT_GT (countPixels (image, three->getNameBox().toNearestInt(), hue (Palette::textColour, 30)), 5);
        EXPECT_GT (countPixels (image, three->getNumberBox().toNearestInt(), hue (Palette::presetGridWhite, 40)), 3);

        // The step count follows the slot number: "3:" is narrower than the box's first half.
        const auto numberBox = three->getNumberBox().toNearestInt();
        EXPECT_GT (countPixels (image, numberBox.withTrimmedLeft (juce::roundToInt (three->getFont().getStringWidthFloat ("3:"))),
                               hue (Palette::presetGridWhite, 40)), 3);

        // Selected: accent rim and the pale face.
        three->setToggleState (true, juce::dontSendNotification);
        image = snapshot (*three);
        EXPECT_TRUE (near (image, 0, h / 2, Palette::accentBlueColour));
        EXPECT_TRUE (near (image, 2, h / 2, Palette::backgroundColour.brighter (0.4f)));

        // Disabled: rim at 0.9, picture at 0.6 over the face.
        three->setEnabled (false);
        image = snapshot (*three);
        EXPECT_NEAR (image.getPixelAt (0, h / 2).getAlpha(), 230, 8);
        const auto face = Palette::backgroundColour.brighter (0.4f).withAlpha (0.6f);
        const auto expected = Palette::accentBlueColour.withAlpha (0.9f).overlaidWith (face)
                                  .overlaidWith (tile.getPixelAt (middle.x - at.x, middle.y - at.y).withMultipliedAlpha (0.6f));
        EXPECT_TRUE (near (image, middle.x, middle.y, expected, 6));

        three->getIconPainter().setButtonSize (152, 95);
    }

    EXPECT_FLOAT_EQ (nameFont[1], 2.0f * nameFont[0]) << "the name grows with the tile, not with the scale once more";
}
