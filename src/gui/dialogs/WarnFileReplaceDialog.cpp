#include "gui/dialogs/WarnFileReplaceDialog.h"

#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"
#include "resources/BinaryResources.h"

FileReplaceComponent::FileReplaceComponent (const juce::String& text, bool showApplyToAll)
    : picture (juce::ImageCache::getFromMemory (BinaryResources::replace_prompt_png, BinaryResources::replace_prompt_pngSize)),
      message (text)
{
    noButton.setName ("textButtonNo");
    yesButton.setName ("textButtonYes");
    applyToAllToggle.setName ("toggleButtonApplyToAll");

    for (auto* b : std::initializer_list<juce::Button*> { &noButton, &yesButton, &applyToAllToggle })
    {
        addAndMakeVisible (b);
        b->addListener (this);
    }

    applyToAllToggle.setExplicitFocusOrder (1);
    yesButton.setExplicitFocusOrder (2);
    noButton.setExplicitFocusOrder (3);
    applyToAllToggle.setVisible (showApplyToAll);

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt (450.0f * s), juce::roundToInt (160.0f * s));
}

FileReplaceComponent::~FileReplaceComponent() = default;

juce::Rectangle<int> FileReplaceComponent::getPictureArea()
{
    const auto g = WidgetMetrics::gap (*this);
    const auto side = juce::roundToInt (100.0f * WidgetMetrics::scale (*this));
    return { g, g, side, side };
}

void FileReplaceComponent::resized()
{
    const auto [h, s, g] = WidgetMetrics::sizes (*this);

    const auto bh = juce::roundToInt (h * 2.0f);
    const auto th = juce::roundToInt (h / 0.75f);
    const auto bw = WidgetMetrics::textButtonWidth (juce::roundToInt (60.0f * s), bh, { &noButton, &yesButton });

    noButton.setBounds (getWidth() - bw - g, getHeight() - bh - g, bw, bh);
    yesButton.setBounds (noButton.getBounds().translated (-(g + bw), 0));

    const auto tw = juce::roundToInt (BVLookAndFeel::makeFont (h).getStringWidthFloat (applyToAllToggle.getButtonText())) + 2 * bh;
    applyToAllToggle.setBounds (yesButton.getX() - juce::roundToInt ((float) tw * 1.15f), yesButton.getY() + (bh - th) / 2, tw, th);
}

void FileReplaceComponent::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black.withAlpha (0.9f));
    g.drawImage (picture, getPictureArea().toFloat(), juce::RectanglePlacement::centred);

    auto area = getLocalBounds().withBottom (noButton.getY());
    area.removeFromLeft (juce::roundToInt (60.0f * WidgetMetrics::scale (*this)));

    juce::AttributedString text;
    text.setJustification (juce::Justification::centred);
    text.append (message, BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this)), Palette::dialogTextColour);

    juce::TextLayout layout;
    layout.createLayout (text, (float) (area.getWidth() - WidgetMetrics::gap (*this)));
    layout.draw (g, area.toFloat());
}

void FileReplaceComponent::buttonClicked (juce::Button* button)
{
    if (button == &applyToAllToggle)
        return;

    const auto forAll = applyToAllToggle.getToggleState() ? 2 : 0;
    BelvoraDialog::closeWith (*this, (button == &yesButton ? yes : no) | forAll);
}

//==============================================================================
WarnFileReplaceDialog::WarnFileReplaceDialog (juce::Component* parent, const juce::String& title, const juce::String& message,
                                              bool showApplyToAll)
    : BelvoraDialog (title, Palette::dialogBackgroundColour, std::make_unique<FileReplaceComponent> (message, showApplyToAll), parent)
{
}

juce::String WarnFileReplaceDialog::messageFor (const juce::File& file)
{
    return "'" + file.getFullPathName() + "' already exists.\n\nDo you want to replace the existing file?";
}
