// The look of the windows' own frame: title bar, its buttons and the resize grip.

#include "gui/BVLookAndFeel.h"

#include "gui/Palette.h"
#include "resources/BinaryResources.h"

namespace
{
    // The buttons' drawings are 10 pixels square at scale 1: drawn at the scale
    // rather than enlarged, they stay as sharp at scale 2.
    juce::Image windowButtonImage (const char* data, int size, float scale)
    {
        const auto side = juce::roundToInt (10.0f * scale);
        juce::Image image (juce::Image::ARGB, side, side, true);

        if (auto drawing = juce::Drawable::createFromImageData (data, (size_t) size))
        {
            juce::Graphics g (image);
            drawing->drawWithin (g, image.getBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
        }

        return image;
    }
}

void BVLookAndFeel::drawCornerResizer (juce::Graphics& g, int w, int h, bool, bool)
{
    if (auto grip = juce::Drawable::createFromImageData (BinaryResources::resize_grip_svg, (size_t) BinaryResources::resize_grip_svgSize))
    {
        const auto inset = pixels() (3.0f);
        grip->drawWithin (g, { 0.0f, 0.0f, (float) (w - inset), (float) (h - inset) }, juce::RectanglePlacement::centred, 1.0f);
    }
}

BVLookAndFeel::TitlePlace BVLookAndFeel::placeTitle (juce::Graphics& g, int w, int h, int titleSpaceX, int titleSpaceW,
                                                     const juce::Image* icon, bool drawTitleTextOnLeft, int textWidth,
                                                     float fontHeight, bool active)
{
    int iconW = 0, iconH = 0;

    if (icon != nullptr && icon->getHeight() > 0)
    {
        iconH = (int) fontHeight;
        iconW = icon->getWidth() * iconH / icon->getHeight() + 4;
    }

    TitlePlace place;
    place.width = juce::jmin (titleSpaceW, textWidth + iconW);
    place.x = drawTitleTextOnLeft ? titleSpaceX : juce::jmax (titleSpaceX, (w - place.width) / 2);

    if (place.x + place.width > titleSpaceX + titleSpaceW)
        place.x = titleSpaceX + titleSpaceW - place.width;

    if (iconW > 0)
    {
        g.setOpacity (active ? 1.0f : 0.6f);
        g.drawImageWithin (*icon, place.x, (h - iconH) / 2, iconW, iconH, juce::RectanglePlacement::centred, false);
        place.x += iconW;
        place.width -= iconW;
    }

    return place;
}

void BVLookAndFeel::drawTitleText (juce::DocumentWindow& window, juce::Graphics& g, TitlePlace place, int h, bool active)
{
    // The window's own colour first, then ours (the window may not be using this look-and-feel yet).
    if (window.isColourSpecified (juce::DocumentWindow::textColourId))
        g.setColour (window.findColour (juce::DocumentWindow::textColourId));
    else if (isColourSpecified (juce::DocumentWindow::textColourId))
        g.setColour (findColour (juce::DocumentWindow::textColourId));
    else
        g.setColour (window.getBackgroundColour().contrasting (active ? 0.7f : 0.4f));

    g.drawText (window.getName(), place.x + 3, 0, place.width, h, juce::Justification::centredLeft, true);
}

void BVLookAndFeel::drawDocumentWindowTitleBar (juce::DocumentWindow& window, juce::Graphics& g, int w, int h,
                                                int titleSpaceX, int titleSpaceW, const juce::Image* icon,
                                                bool drawTitleTextOnLeft)
{
    const auto active = window.isActiveWindow();

    g.setGradientFill (juce::ColourGradient (Palette::barWhiteColour, 0.0f, 0.0f,
                                             Palette::barDarkColour.withAlpha (active ? 1.0f : 0.05f), 0.0f, (float) h, false));
    g.fillAll();

    g.setColour (Palette::outlineColour);
    g.drawHorizontalLine (h - 1, 0.0f, (float) (w - 1));

    const auto font = makeFont ((float) h * 0.65f, juce::Font::bold);
    g.setFont (font);

    const auto place = placeTitle (g, w, h, titleSpaceX, titleSpaceW, icon, drawTitleTextOnLeft,
                                   juce::roundToInt (font.getStringWidthFloat (window.getName())), font.getHeight(), active);
    drawTitleText (window, g, place, h, active);
}

juce::Button* BVLookAndFeel::createDocumentWindowButton (int buttonType)
{
    const char* name = nullptr;
    const char* data = nullptr;
    int size = 0;

    switch (buttonType)
    {
        case juce::DocumentWindow::minimiseButton:
            name = "minimize"; data = BinaryResources::window_minimise_svg; size = BinaryResources::window_minimise_svgSize; break;
        case juce::DocumentWindow::maximiseButton:
            name = "maximize"; data = BinaryResources::window_maximise_svg; size = BinaryResources::window_maximise_svgSize; break;
        case juce::DocumentWindow::closeButton:
            name = "close"; data = BinaryResources::window_close_svg; size = BinaryResources::window_close_svgSize; break;
        default:
            return LookAndFeel_V3::createDocumentWindowButton (buttonType);
    }

    const auto image = windowButtonImage (data, size, getScale());
    auto* button = new juce::ImageButton (name);
    button->setImages (false, false, true,
                       image, 1.0f, juce::Colours::transparentBlack,
                       image, 1.0f, juce::Colour (0x80ffffff),
                       image, 1.0f, juce::Colour (0xa0ffffff));
    return button;
}
