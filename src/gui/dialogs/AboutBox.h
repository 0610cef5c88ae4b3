#pragma once

#include "gui/dialogs/BelvoraDialog.h"

/** The logo with the program's version over it. */
class AboutBoxContent : public juce::Component
{
public:
    AboutBoxContent();

    const juce::String& getVersionText() const noexcept   { return versionText; }

    void paint (juce::Graphics& g) override;

    /** Where the whole picture is drawn: it runs past the box's bottom edge. */
    juce::Rectangle<float> getLogoArea();

private:
    juce::Image logo;
    juce::String versionText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AboutBoxContent)
};

/** "About Belvora", centred over the parent. */
class AboutBox : public BelvoraDialog
{
public:
    explicit AboutBox (juce::Component* parent);
};
