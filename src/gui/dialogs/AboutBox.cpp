#include "gui/dialogs/AboutBox.h"

#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"
#include "model/FirmwareVersion.h"
#include "resources/BinaryResources.h"

AboutBoxContent::AboutBoxContent()
    : logo (juce::ImageCache::getFromMemory (BinaryResources::about_logo_png, BinaryResources::about_logo_pngSize)),
      versionText (getApplicationVersionRecord().getVersionString())
{
    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt ((float) logo.getWidth() * s), juce::roundToInt ((float) logo.getHeight() * s));
}

void AboutBoxContent::paint (juce::Graphics& g)
{
    g.drawImage (logo, getLocalBounds().toFloat());

    juce::AttributedString text;
    text.setJustification (juce::Justification::centred);
    text.append ("Version: " + versionText, BVLookAndFeel::makeFont (WidgetMetrics::largeFontSize (*this), juce::Font::bold),
                 Palette::aboutBlue);

    juce::TextLayout layout;
    layout.createLayout (text, (float) getWidth());
    layout.draw (g, getLocalBounds().toFloat());
}

AboutBox::AboutBox (juce::Component* parent)
    : BelvoraDialog ("About Belvora", Palette::aboutBackgroundColour, std::make_unique<AboutBoxContent>(), parent)
{
}
