#include "gui/widgets/ArchiveButton.h"

#include "model/SourceTreeIds.h"
#include "gui/Palette.h"
#include "gui/widgets/TileCard.h"
#include "gui/widgets/WidgetMetrics.h"

ArchiveButton::ArchiveButton (const juce::ValueTree& itemNode, std::unique_ptr<juce::Drawable> itemIcon)
    : juce::Button (itemNode.getProperty (SourceTreeIds::label).toString()),
      node (itemNode),
      font (BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this))),
      icon (std::move (itemIcon))
{
    setButtonText (getName());

    const auto scale = font.getHeight() / 14.0f;
    setSize ((int) (150.0f * scale), (int) (165.0f * scale));
}

ArchiveButton::~ArchiveButton() = default;

juce::Rectangle<int> ArchiveButton::getLabelBox() const
{
    const auto fh = font.getHeight();
    return { (int) (faceBox.getX() + fh * 0.5f), (int) (faceBox.getBottom() - (2.0f * fh + 1.0f)),
             (int) (faceBox.getWidth() - fh), (int) (2.0f * fh) };
}

void ArchiveButton::resized()
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    const auto s = font.getHeight() / 14.0f;
    shadowBox = { 5.0f * s, 5.0f * s, w - 10.0f * s, h - 10.0f * s };
    bodyBox = { 0.0f, 0.0f, w - 5.0f * s, h - 5.0f * s };
    faceBox = { 1.0f * s, 1.0f * s, w - 7.0f * s, h - 7.0f * s };
    iconBox = {};

    const auto bounds = icon != nullptr ? icon->getDrawableBounds() : juce::Rectangle<float>();
    const auto fh = font.getHeight();
    const auto roomWidth = faceBox.getWidth() * 0.87f, roomHeight = faceBox.getHeight() - 3.0f * fh;

    if (bounds.getWidth() <= 0.0f || bounds.getHeight() <= 0.0f || roomWidth <= 0.0f || roomHeight <= 0.0f)
        return;

    // Whichever side meets the room above the label first decides, so the icon never overflows.
    const auto ratio = bounds.getWidth() / bounds.getHeight();
    auto iconWidth = roomWidth, iconHeight = roomWidth / ratio;

    if (ratio < roomWidth / roomHeight)
    {
        iconHeight = roomHeight;
        iconWidth = roomHeight * ratio;
    }

    iconBox = { faceBox.getCentreX() - iconWidth / 2.0f, faceBox.getCentreY() - (fh * 0.9f + iconHeight / 2.0f), iconWidth, iconHeight };
}

void ArchiveButton::paintButton (juce::Graphics& g, bool isMouseOver, bool isButtonDown)
{
    const auto enabled = isEnabled();

    if (getToggleState() || isButtonDown || isMouseOver)
    {
        const auto chosen = getToggleState() || isButtonDown;
        const auto s = font.getHeight() / 14.0f;
        const TileCard card { shadowBox, bodyBox, faceBox, 2.0f * s, 2.0f * s, 1.0f * s, s };
        card.draw (g, chosen ? Palette::accentBlueColour : Palette::steelBlueColour,
                   chosen ? Palette::backgroundColour.brighter (0.4f) : Palette::archiveTilePale, isButtonDown, enabled);
    }

    g.setColour (Palette::textColour.withMultipliedAlpha (TileCard::contentAlpha (enabled)));
    g.setFont (font);
    g.drawFittedText (getButtonText(), getLabelBox(), juce::Justification::centred, 2, 0.6f);

    if (icon != nullptr && ! iconBox.isEmpty())
        icon->drawWithin (g, iconBox, juce::RectanglePlacement::centred, TileCard::contentAlpha (enabled));
}
