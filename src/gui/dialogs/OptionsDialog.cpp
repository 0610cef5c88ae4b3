#include "gui/dialogs/OptionsDialog.h"

#include "gui/Palette.h"
#include "gui/widgets/NavigationKeys.h"
#include "gui/widgets/WidgetMetrics.h"

OptionsContent::OptionsContent()
{
    setLookAndFeel (&laf);

    tabs.addTab ("General", Palette::lafNearWhite, &generalPage, false);
    tabs.addTab ("Devices", Palette::lafNearWhite, &devicePage, false);
    tabs.addTab ("Data", Palette::lafNearWhite, &dataPage, false);
    tabs.setTabBarDepth (juce::roundToInt (laf.getTabBarDepth()));
    addAndMakeVisible (tabs);

    for (int i = 0; i < tabs.getNumTabs(); ++i)
        if (auto* page = dynamic_cast<OptionsComponentPage*> (tabs.getTabContentComponent (i)))
            pages.add (page);

    for (auto* b : { &okButton, &cancelButton, &restoreButton })
    {
        b->addListener (this);
        addAndMakeVisible (b);
    }

    for (auto* page : pages)
        for (auto* child : page->getChildren())
            if (dynamic_cast<juce::ToggleButton*> (child) != nullptr)
                child->addKeyListener (&returnPassesToggles);

    const auto s = laf.getScale();
    setSize (juce::roundToInt (550.0f * s), juce::roundToInt (300.0f * s));
}

float OptionsContent::surroundingScale()
{
    return WidgetMetrics::surroundingScale();
}

OptionsContent::~OptionsContent()
{
    setLookAndFeel (nullptr);
}

void OptionsContent::buttonClicked (juce::Button* button)
{
    if (button == &okButton)
    {
        for (auto* page : pages)
            page->apply();

        BelvoraDialog::closeWith (*this, 1);
    }
    else if (button == &cancelButton)
    {
        BelvoraDialog::closeWith (*this, 0);
    }
    else if (button == &restoreButton)
    {
        restoreDefaultsPressed = true;

        for (auto* page : pages)
            page->restoreDefaults();
    }
}

void OptionsContent::resized()
{
    const auto g = laf.getMargin();
    const auto w = getWidth(), h = getHeight();
    const auto buttonHeight = juce::roundToInt (2.0f * laf.getFontSize());
    const auto buttonWidth = juce::jmax (juce::roundToInt (60.0f * laf.getScale()),
                                         laf.getTextButtonWidthToFitText (cancelButton, buttonHeight));

    cancelButton.setBounds (w - buttonWidth - g, h - buttonHeight - g, buttonWidth, buttonHeight);
    okButton.setBounds (cancelButton.getBounds().translated (-(buttonWidth + g), 0));
    restoreButton.setBounds (g, cancelButton.getY(), buttonWidth + 2 * g, buttonHeight);
    tabs.setBounds (getLocalBounds().reduced (g).withTrimmedBottom (buttonHeight + g));
}

bool OptionsContent::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress (juce::KeyPress::returnKey))
    {
        okButton.triggerClick();
        return true;
    }

    return NavigationKeys::turnPage (tabs, key);
}

bool OptionsContent::ReturnPassesToggles::keyPressed (const juce::KeyPress& key, juce::Component* origin)
{
    auto* content = origin != nullptr ? origin->findParentComponentOfClass<OptionsContent>() : nullptr;
    return key == juce::KeyPress (juce::KeyPress::returnKey) && content != nullptr && content->keyPressed (key);
}

//==============================================================================
OptionsDialog::OptionsDialog (juce::Component* parent)
    : BelvoraDialog ("Options", Palette::optionsTabColour, std::make_unique<OptionsContent>(), parent)
{
}

OptionsContent& OptionsDialog::getOptionsContent() const
{
    return *dynamic_cast<OptionsContent*> (getContentComponent());
}
