#pragma once

#include "gui/BVLookAndFeel.h"

#include <functional>

/** A page of the options dialog: its controls load from the user settings when
    it is made and are stored only by apply (the dialog's "Ok"). */
class OptionsComponentPage : public juce::Component
{
public:
    /** The metrics come from the look-and-feel given, which outlives the page. */
    explicit OptionsComponentPage (BVLookAndFeel& pageLaf);
    ~OptionsComponentPage() override;

    virtual void restoreDefaults() {}
    virtual void apply() {}

    void paint (juce::Graphics& g) override;

protected:
    /** A bold header label, added to the page. */
    void addHeader (juce::Label& label, const juce::String& text);

    /** The border of the page's labels, grown with the scale. */
    juce::BorderSize<int> labelBorder() const;

    int gap() const { return laf.getMargin(); }

    BVLookAndFeel& laf;
    const int margin4, margin8, rowHeight, rowGap, buttonHeight, toggleHeight;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OptionsComponentPage)
};

/** A slider that is one Tab stop, itself, marked as the other controls and
    moved by the arrows: the value box the framework makes a stop of its own
    takes typing from a click only. */
class OneStopSlider : public juce::Slider
{
public:
    using juce::Slider::Slider;

    void lookAndFeelChanged() override;
    void enablementChanged() override;
    void focusGained (FocusChangeType) override   { repaint(); }
    void focusLost (FocusChangeType) override     { repaint(); }

private:
    void keepOneStop();
};

/** "General": the text size and the usage data. */
class GeneralOptionsComp : public OptionsComponentPage,
                           public juce::Slider::Listener,
                           public juce::Button::Listener
{
public:
    explicit GeneralOptionsComp (BVLookAndFeel& pageLaf);
    ~GeneralOptionsComp() override;

    void restoreDefaults() override;
    void apply() override;

    /** apply stored a new scale: it takes effect at the next start. */
    bool isScaleChanged() const noexcept   { return scaleChanged; }

    /** Opens "More Info..."'s page; the default browser unless replaced. */
    std::function<void (const juce::URL&)> openUrl;

    static const char* const homePage;

    void sliderValueChanged (juce::Slider* slider) override;
    void buttonClicked (juce::Button* button) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    juce::Label resolutionHeader, previewLabel { "previewLabel", "Text Size" }, usageHeader;
    OneStopSlider scaleSlider { juce::Slider::LinearHorizontal, juce::Slider::TextBoxRight };
    juce::ToggleButton usageToggle { "Send Anonymous Usage Data to Marrowell" };
    juce::TextButton moreInfoButton { "More Info..." };
    int shownPercent = 100;   // the stored scale as the slider's steps show it
    bool scaleChanged = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GeneralOptionsComp)
};

/** "Devices": which MIDI ports show, connecting at start-up, forgetting offline units. */
class DeviceOptionsComp : public OptionsComponentPage,
                          public juce::Button::Listener
{
public:
    explicit DeviceOptionsComp (BVLookAndFeel& pageLaf);
    ~DeviceOptionsComp() override;

    void restoreDefaults() override;
    void apply() override;

    /** The user agreed to forget the remembered units; the caller does it after "Ok". */
    bool isHistoryCleared() const noexcept   { return historyCleared; }

    void buttonClicked (juce::Button* button) override;
    void resized() override;

private:
    juce::Label usbHeader, offlineHeader;
    juce::ToggleButton onlyMarrowellToggle { "Only show Marrowell devices" };
    juce::ToggleButton autoConnectToggle { "Automatically connect at start-up/scan" };
    juce::TextButton clearHistoryButton { "Clear Device History..." };
    bool historyCleared = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceOptionsComp)
};

/** "Data": the synchronisation method and the export folder. */
class DataOptionsComp : public OptionsComponentPage,
                        public juce::Button::Listener
{
public:
    explicit DataOptionsComp (BVLookAndFeel& pageLaf);
    ~DataOptionsComp() override;

    void restoreDefaults() override;
    void apply() override;

    void buttonClicked (juce::Button* button) override;
    void resized() override;

private:
    juce::Label syncHeader, folderHeader, folderLabel { "folderLabel" };
    juce::ToggleButton syncRadios[3] { juce::ToggleButton ("Automatically synchronize when product connects"),
                                       juce::ToggleButton ("Manually initiate synchronization"),
                                       juce::ToggleButton ("Retain synchronized data between sessions") };
    juce::TextButton browseButton { "Browse..." };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DataOptionsComp)
};
