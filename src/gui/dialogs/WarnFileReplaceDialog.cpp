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

    // Grows downwards when a long path takes more lines than the question leaves room for.
    const auto needed = juce::roundToInt ((float) getLines().size() * textFont().getHeight());

    if (needed > getTextArea().getHeight())
        setSize (getWidth(), getHeight() + needed - getTextArea().getHeight());
}

FileReplaceComponent::~FileReplaceComponent() = default;

juce::Rectangle<int> FileReplaceComponent::getPictureArea()
{
    const auto g = WidgetMetrics::gap (*this);
    const auto side = juce::roundToInt (100.0f * WidgetMetrics::scale (*this));
    return { g, g, side, side };
}

juce::Rectangle<int> FileReplaceComponent::getTextArea()
{
    const auto [h, s, g] = WidgetMetrics::sizes (*this);
    const auto buttonTop = getHeight() - juce::roundToInt (h * 2.0f) - g;
    return { getPictureArea().getRight() + g, g, getWidth() - getPictureArea().getRight() - 2 * g, juce::jmax (0, buttonTop - 2 * g) };
}

juce::Font FileReplaceComponent::textFont()
{
    return BVLookAndFeel::makeFont (WidgetMetrics::fontSize (*this));
}

juce::StringArray FileReplaceComponent::getLines()
{
    const auto font = textFont();
    const auto width = (float) getTextArea().getWidth();
    const auto fits = [&] (const juce::String& t) { return font.getStringWidthFloat (t) <= width; };
    juce::StringArray lines;

    for (auto& paragraph : juce::StringArray::fromLines (message))
    {
        juce::String line;

        for (auto word : juce::StringArray::fromTokens (paragraph, " ", {}))
        {
            if (line.isNotEmpty() && fits (line + " " + word))
            {
                line << " " << word;
                continue;
            }

            if (line.isNotEmpty())
                lines.add (std::exchange (line, {}));

            while (! fits (word))
            {
                auto cut = word.length() - 1;

                while (cut > 1 && ! fits (word.substring (0, cut)))
                    --cut;

                if (const auto slash = word.substring (0, cut).lastIndexOfChar ('/'); slash > 0)
                    cut = slash + 1;

                lines.add (word.substring (0, cut));
                word = word.substring (cut);
            }

            line = word;
        }

        lines.add (line);
    }

    return lines;
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

    const auto font = textFont();
    const auto lines = getLines();
    auto area = getTextArea().withSizeKeepingCentre (getTextArea().getWidth(), juce::roundToInt ((float) lines.size() * font.getHeight()));

    g.setColour (Palette::dialogTextColour);
    g.setFont (font);

    for (auto& line : lines)
        g.drawText (line, area.removeFromTop (juce::roundToInt (font.getHeight())), juce::Justification::centred, true);
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
    // Return keeps the file; "Yes" takes a move to it.
    openOn (static_cast<FileReplaceComponent*> (getContentComponent())->getKeepButton());
}

juce::String WarnFileReplaceDialog::messageFor (const juce::File& file)
{
    return "'" + file.getFullPathName() + "' already exists.\n\nDo you want to replace the existing file?";
}
