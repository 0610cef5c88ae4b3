#include "gui/BVApplicationFrameLaf.h"

#include "gui/Palette.h"
#include "resources/BinaryResources.h"

BVApplicationFrameLaf::BVApplicationFrameLaf()
{
    loadWordmark();
}

BVApplicationFrameLaf::BVApplicationFrameLaf (float uiScale) : BVLookAndFeel (uiScale)
{
    loadWordmark();
}

BVApplicationFrameLaf::~BVApplicationFrameLaf() = default;

void BVApplicationFrameLaf::loadWordmark()
{
    juce::MemoryInputStream stream (BinaryResources::wordmark_svg, (size_t) BinaryResources::wordmark_svgSize, false);
    wordmark = juce::Drawable::createFromImageDataStream (stream);
}

void BVApplicationFrameLaf::drawDocumentWindowTitleBar (juce::DocumentWindow& window, juce::Graphics& g, int w, int h,
                                                        int titleSpaceX, int titleSpaceW, const juce::Image* icon,
                                                        bool drawTitleTextOnLeft)
{
    const auto active = window.isActiveWindow();

    g.setGradientFill (juce::ColourGradient (Palette::barWhiteColour, 0.0f, 0.0f, Palette::barLightColour, 0.0f, (float) h, false));
    g.fillAll();

    const auto font = makeFont ((float) h * 0.75f);
    g.setFont (font);

    // The wordmark is drawn at its own size times the scale, like every other picture.
    const auto markScale = getScale();
    const auto textW = wordmark != nullptr ? (int) (wordmark->getDrawableBounds().getWidth() * markScale)
                                           : juce::roundToInt (font.getStringWidthFloat (window.getName()));
    auto place = placeTitle (g, w, h, titleSpaceX, titleSpaceW, icon, drawTitleTextOnLeft, textW, font.getHeight(), active);

    if (wordmark == nullptr)
    {
        drawTitleText (window, g, place, h, active);
        return;
    }

    if (icon != nullptr)
        place.x += juce::roundToInt (6.0f * markScale);

    const auto markHeight = wordmark->getDrawableBounds().getHeight() * markScale;
    wordmark->draw (g, active ? 1.0f : 0.7f,
                    juce::AffineTransform::scale (markScale)
                        .translated ((float) place.x, ((float) h - markHeight) * 0.5f + markScale));
}
