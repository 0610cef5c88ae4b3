#include "gui/dialogs/AboutBox.h"

#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"
#include "model/FirmwareVersion.h"
#include "resources/BinaryResources.h"

AboutBoxContent::AboutBoxContent()
    : logo (juce::ImageCache::getFromMemory (BinaryResources::about_logo_png, BinaryResources::about_logo_pngSize)),
      versionText (getApplicationVersionRecord().getVersionString())
{
    // The picture's lower part is empty: the box ends as far below the picture's
    // content as that content starts below the top.
    const auto background = logo.getPixelAt (0, 0);
    const auto rowIsEmpty = [&] (int y)
    {
        for (int x = 0; x < logo.getWidth(); ++x)
        {
            const auto c = logo.getPixelAt (x, y);

            if (std::abs (c.getRed() - background.getRed()) + std::abs (c.getGreen() - background.getGreen())
                  + std::abs (c.getBlue() - background.getBlue()) > 24)
                return false;
        }

        return true;
    };

    auto top = 0, bottom = logo.getHeight();

    while (bottom > 0 && rowIsEmpty (bottom - 1))
        --bottom;

    while (top < bottom && rowIsEmpty (top))
        ++top;

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt ((float) logo.getWidth() * s), juce::roundToInt ((float) juce::jmin (logo.getHeight(), bottom + top) * s));
}

juce::Rectangle<float> AboutBoxContent::getLogoArea()
{
    const auto s = WidgetMetrics::scale (*this);
    return { (float) getWidth(), (float) logo.getHeight() * s };
}

void AboutBoxContent::paint (juce::Graphics& g)
{
    g.drawImage (logo, getLogoArea());

    juce::AttributedString text;
    text.setJustification (juce::Justification::centred);
    text.append ("Version: " + versionText, BVLookAndFeel::makeFont (WidgetMetrics::largeFontSize (*this), juce::Font::bold),
                 Palette::aboutBlue);

    juce::TextLayout layout;
    layout.createLayout (text, (float) getWidth());
    layout.draw (g, getLogoArea());
}

AboutBox::AboutBox (juce::Component* parent)
    : BelvoraDialog ("About Belvora", Palette::aboutBackgroundColour, std::make_unique<AboutBoxContent>(), parent)
{
}
