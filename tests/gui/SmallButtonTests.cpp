// The link-style text button and the toolbar button: fonts, colours by state,
// which drawable shows in which style, and where drawable and label go.

#include "gui/Palette.h"
#include "gui/widgets/TextOnlyButton.h"
#include "gui/widgets/ToolbarButtonEx.h"
#include "gui/WidgetTestSupport.h"

using namespace WidgetTests;

namespace
{
    std::unique_ptr<juce::Drawable> square (juce::Colour colour)
    {
        auto d = std::make_unique<juce::DrawableRectangle>();
        d->setRectangle (juce::Parallelogram<float> (juce::Rectangle<float> (0.0f, 0.0f, 10.0f, 10.0f)));
        d->setFill (colour);
        return d;
    }
}

//==============================================================================
TEST (TextOnlyButton, FontFollowsTheHeightUnlessFixed)
{
    TextOnlyButton button ("Clear all", "clears", juce::Justification::centredLeft);
    EXPECT_EQ (button.getName(), "Clear all");
    EXPECT_EQ (button.getTooltip(), "clears");
    EXPECT_EQ (button.getMouseCursor(), juce::MouseCursor (juce::MouseCursor::PointingHandCursor));

    button.setSize (80, 20);
    EXPECT_FLOAT_EQ (button.getFontToUse().getHeight(), 14.0f);
    EXPECT_TRUE (button.getFontToUse().isUnderlined());

    button.setSize (80, 40);
    EXPECT_FLOAT_EQ (button.getFontToUse().getHeight(), 28.0f);

    button.setFont (BVLookAndFeel::makeFont (11.0f), false);
    EXPECT_FLOAT_EQ (button.getFontToUse().getHeight(), 11.0f);
}

TEST (TextOnlyButton, DisabledIsFaintAndDoesNotDarkenUnderTheMouse)
{
    TextOnlyButton button ("Link", {}, juce::Justification::centred);
    const auto base = juce::Colour (0xcc2060a0);
    button.setColour (juce::HyperlinkButton::textColourId, base);

    EXPECT_EQ (button.getTextColourFor (false, false), base);
    EXPECT_EQ (button.getTextColourFor (true, false), base.darker (0.4f));
    EXPECT_EQ (button.getTextColourFor (true, true), base.darker (1.3f));

    button.setEnabled (false);
    EXPECT_EQ (button.getTextColourFor (true, true), base.withMultipliedAlpha (0.4f));
    EXPECT_EQ (button.getTextColourFor (false, false).getAlpha(), base.withMultipliedAlpha (0.4f).getAlpha());
}

TEST (TextOnlyButton, DrawsOnlyItsTextJustifiedAsAsked)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        TextOnlyButton button ("Reset", {}, juce::Justification::right);
        button.setColour (juce::HyperlinkButton::textColourId, juce::Colours::blue);
        button.setSize (juce::roundToInt (200 * scale), juce::roundToInt (20 * scale));

        const auto image = snapshot (button);
        const auto half = image.getWidth() / 2;
        EXPECT_EQ (countPixels (image, { 0, 0, half, image.getHeight() }, [] (juce::Colour c) { return c.getAlpha() > 0; }), 0);
        EXPECT_GT (countPixels (image, { half, 0, half, image.getHeight() }, hue (juce::Colours::blue, 60)), 10);
    }
}

//==============================================================================
TEST (ToolbarButtonEx, DrawableByStyleAndToggle)
{
    auto normal = square (juce::Colours::red);
    auto toggled = square (juce::Colours::green);
    auto* normalPtr = normal.get();
    auto* toggledPtr = toggled.get();

    ToolbarButtonEx withToggled (7, "Cells", std::move (normal), std::move (toggled));
    EXPECT_EQ (withToggled.getCurrentImage(), nullptr);   // none until laid out

    withToggled.setSize (63, 63);
    EXPECT_EQ (withToggled.getCurrentImage(), normalPtr);
    EXPECT_TRUE (withToggled.isParentOf (normalPtr));

    withToggled.setToggleState (true, juce::dontSendNotification);
    withToggled.buttonStateChanged();
    EXPECT_EQ (withToggled.getCurrentImage(), toggledPtr);
    EXPECT_FALSE (withToggled.isParentOf (normalPtr));

    withToggled.setStyle (juce::Toolbar::textOnly);
    EXPECT_EQ (withToggled.getCurrentImage(), nullptr);
    EXPECT_EQ (withToggled.getNumChildComponents(), 0);

    auto single = square (juce::Colours::red);
    auto* singlePtr = single.get();
    ToolbarButtonEx withoutToggled (8, "Icons", std::move (single));
    withoutToggled.setSize (63, 63);
    withoutToggled.setToggleState (true, juce::dontSendNotification);
    withoutToggled.buttonStateChanged();
    EXPECT_EQ (withoutToggled.getCurrentImage(), singlePtr);

    int preferred = 0, least = 0, most = 0;
    EXPECT_TRUE (withoutToggled.getToolbarItemSizes (58, false, preferred, least, most));
    EXPECT_EQ (preferred, 58);
    EXPECT_EQ (least, 58);
    EXPECT_EQ (most, 58);

    withoutToggled.setEnabled (false);
    EXPECT_NEAR (singlePtr->getAlpha(), 0.5f, 0.01f);
    withoutToggled.setEnabled (true);
    EXPECT_FLOAT_EQ (singlePtr->getAlpha(), 1.0f);
}

TEST (ToolbarButtonEx, PaintsDrawableInItsBoxAndLabelBelow)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const auto depth = (int) look.laf.getToolbarThickness();

        ToolbarButtonEx button (3, "Undo", square (juce::Colours::red));
        button.setStyle (juce::Toolbar::iconsWithText);
        button.setSize (depth, depth);

        const auto box = ToolbarButtonEx::getImageBox (button.getContentArea(), juce::Toolbar::iconsWithText).toNearestInt();
        auto image = snapshot (button);
        EXPECT_TRUE (near (image, box.getCentreX(), box.getCentreY(), juce::Colours::red));
        EXPECT_EQ (countPixels (image, box.withY (box.getBottom() + 2).withHeight (1), hue (juce::Colours::red)), 0);

        const auto label = ToolbarButtonEx::getLabelRows (depth, button.getContentArea(), juce::Toolbar::iconsWithText);
        EXPECT_GT (countPixels (image, { 0, box.getBottom() + 1, depth, label.getEnd() - box.getBottom() - 1 },
                                hue (Palette::toolbarLabelTextColour, 60)), 5);

        button.setEnabled (false);
        image = snapshot (button);
        EXPECT_NEAR (image.getPixelAt (box.getCentreX(), box.getCentreY()).getAlpha(), 128, 3);
    }
}
