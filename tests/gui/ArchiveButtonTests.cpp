// The backup group's tile: label and size, where the icon fits whatever its
// shape (or when there is none), and the card's pixels at scales 1 and 2.

#include "model/SourceTreeIds.h"
#include "gui/Palette.h"
#include "gui/widgets/ArchiveButton.h"
#include "gui/WidgetTestSupport.h"

using namespace WidgetTests;

namespace
{
    juce::ValueTree item (const juce::String& label)
    {
        juce::ValueTree node (SourceTreeIds::node);
        node.setProperty (SourceTreeIds::label, label, nullptr);
        return node;
    }

    std::unique_ptr<juce::Drawable> block (float w, float h, juce::Colour colour = juce::Colours::red)
    {
        auto d = std::make_unique<juce::DrawableRectangle>();
        d->setRectangle (juce::Parallelogram<float> (juce::Rectangle<float> (0.0f, 0.0f, w, h)));
        d->setFill (colour);
        return d;
    }
}

TEST (ArchiveButton, LabelAndSizeFollowTheFont)
{
    ArchiveButton labelled (item ("Before the tour"), nullptr);
    EXPECT_EQ (labelled.getButtonText(), "Before the tour");
    EXPECT_EQ (labelled.getName(), "Before the tour");
    EXPECT_EQ (labelled.getBounds(), juce::Rectangle<int> (150, 165));
    EXPECT_EQ (labelled.getNode().getProperty (SourceTreeIds::label).toString(), "Before the tour");

    ArchiveButton unlabelled (juce::ValueTree (SourceTreeIds::node), nullptr);
    EXPECT_EQ (unlabelled.getButtonText(), "");

    ScopedLookAndFeel look (1.5f);   // a 21-point font
    ArchiveButton large (item ("x"), nullptr);
    EXPECT_EQ (large.getBounds(), juce::Rectangle<int> (225, 247));
}

TEST (ArchiveButton, IconsFitInsideTheFaceAboveTheLabel)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        const auto fh = 14.0f * scale;

        ArchiveButton wide (item ("wide"), block (400.0f, 100.0f));
        ArchiveButton tall (item ("tall"), block (100.0f, 400.0f));
        ArchiveButton square (item ("square"), block (256.0f, 256.0f));

        const auto face = wide.getFaceBox();
        EXPECT_NEAR (wide.getIconBox().getWidth(), face.getWidth() * 0.87f, 0.01f);
        EXPECT_NEAR (tall.getIconBox().getHeight(), face.getHeight() - 3.0f * fh, 0.01f);

        for (auto* tile : { &wide, &tall, &square })
        {
            const auto box = tile->getIconBox();
            EXPECT_TRUE (face.contains (box)) << tile->getName();
            EXPECT_LE (box.getBottom(), (float) tile->getLabelBox().getY()) << tile->getName();
            EXPECT_NEAR (box.getCentreX(), face.getCentreX(), 0.01f);
        }
    }
}

TEST (ArchiveButton, MissingOrFlatIconsDrawNoIcon)
{
    auto flat = std::make_unique<juce::DrawablePath>();
    juce::Path line;
    line.startNewSubPath (0.0f, 10.0f);
    line.lineTo (50.0f, 10.0f);
    flat->setPath (line);

    std::vector<std::unique_ptr<juce::Drawable>> icons;
    icons.push_back (nullptr);
    icons.push_back (std::move (flat));
    icons.push_back (block (0.0f, 0.0f));

    for (auto& icon : icons)
    {
        ArchiveButton tile (item ("no picture"), std::move (icon));
        tile.setToggleState (true, juce::dontSendNotification);
        EXPECT_TRUE (tile.getIconBox().isEmpty());
        EXPECT_TRUE (snapshot (tile).isValid());
    }
}

TEST (ArchiveButton, CardPixels)
{
    for (auto scale : scales)
    {
        SCOPED_TRACE (scale);
        ScopedLookAndFeel look (scale);
        ArchiveButton tile (item ("Studio set"), block (256.0f, 256.0f));
        const auto h = tile.getHeight();
        const auto middle = tile.getIconBox().getCentre().toInt();

        // Neither selected, pressed nor under the mouse: icon and label only.
        auto image = snapshot (tile);
        EXPECT_EQ (image.getPixelAt (1, h / 2).getAlpha(), 0);
        EXPECT_TRUE (near (image, middle.x, middle.y, juce::Colours::red));
        EXPECT_GT (countPixels (image, tile.getLabelBox(), hue (Palette::textColour, 40)), 5);

        const auto over = paintAs (tile, true, false);
        EXPECT_TRUE (near (over, 0, h / 2, Palette::steelBlueColour));
        EXPECT_TRUE (near (over, 2, h / 2, Palette::archiveTilePale));

        tile.setToggleState (true, juce::dontSendNotification);
        image = snapshot (tile);
        EXPECT_TRUE (near (image, 0, h / 2, Palette::accentBlueColour));
        EXPECT_TRUE (near (image, 2, h / 2, Palette::backgroundColour.brighter (0.4f)));

        tile.setEnabled (false);
        image = snapshot (tile);
        EXPECT_NEAR (image.getPixelAt (0, h / 2).getAlpha(), 230, 8);
        const auto face = Palette::accentBlueColour.withAlpha (0.9f).overlaidWith (Palette::backgroundColour.brighter (0.4f).withAlpha (0.6f));
        EXPECT_TRUE (near (image, middle.x, middle.y, face.overlaidWith (juce::Colours::red.withAlpha (0.6f)), 6));
    }
}
