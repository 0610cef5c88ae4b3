#include "gui/dialogs/OptionsPages.h"

#include "base/BelvoraSettings.h"
#include "gui/Palette.h"
#include "gui/dialogs/ExportDialog.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"

namespace
{
    juce::PropertiesFile& settings()   { return BelvoraSettings::getUserSettings(); }

    int textWidth (const juce::Font& font, const juce::String& text)
    {
        return juce::roundToInt (font.getStringWidthFloat (text));
    }
}

OptionsComponentPage::OptionsComponentPage (BVLookAndFeel& pageLaf)
    : laf (pageLaf),
      margin4 (juce::roundToInt (4.0f * laf.getScale())),
      margin8 (juce::roundToInt (8.0f * laf.getScale())),
      rowHeight (juce::roundToInt (laf.getFontSize() + 2.0f * laf.getScale())),
      rowGap (juce::roundToInt (1.5f * (float) rowHeight)),
      buttonHeight (juce::roundToInt (2.0f * laf.getFontSize())),
      toggleHeight (juce::roundToInt (laf.getFontSize() / 0.75f))
{
}

OptionsComponentPage::~OptionsComponentPage() = default;

void OptionsComponentPage::paint (juce::Graphics& g)
{
    g.fillAll (Palette::dialogBackgroundColour);
}

juce::BorderSize<int> OptionsComponentPage::labelBorder() const
{
    // The framework's label border (1, 5) at the page's scale.
    const auto v = juce::roundToInt (laf.getScale()), h = juce::roundToInt (5.0f * laf.getScale());
    return { v, h, v, h };
}

void OptionsComponentPage::addHeader (juce::Label& label, const juce::String& text)
{
    label.setText (text, juce::dontSendNotification);
    label.setFont (BVLookAndFeel::makeFont (laf.getFontSize(), juce::Font::bold));
    label.setJustificationType (juce::Justification::centredLeft);
    label.setBorderSize (labelBorder());
    label.setEditable (false, false, false);
    addAndMakeVisible (label);
}

//==============================================================================
void OneStopSlider::lookAndFeelChanged()
{
    juce::Slider::lookAndFeelChanged();
    keepOneStop();
}

void OneStopSlider::enablementChanged()
{
    juce::Slider::enablementChanged();
    keepOneStop();
}

void OneStopSlider::keepOneStop()
{
    // The value box is made afresh with each look-and-feel and made a stop again with each enablement.
    setWantsKeyboardFocus (true);

    for (auto* child : getChildren())
        child->setWantsKeyboardFocus (false);
}

//==============================================================================
const char* const GeneralOptionsComp::homePage = "https://www.marrowell.com/";

GeneralOptionsComp::GeneralOptionsComp (BVLookAndFeel& pageLaf)
    : OptionsComponentPage (pageLaf),
      openUrl ([this] (const juce::URL& url) { Alerts::openWebAddress (this, url); })
{
    addHeader (resolutionHeader, "Resolution");
    addHeader (usageHeader, "Usage Data");

    previewLabel.setJustificationType (juce::Justification::centred);
    addAndMakeVisible (previewLabel);

    scaleSlider.setName ("scaleSlider");
    scaleSlider.setRange (75.0, 250.0, 5.0);
    scaleSlider.setTextValueSuffix ("%");
    scaleSlider.setTextBoxStyle (juce::Slider::TextBoxRight, false,
                                 textWidth (BVLookAndFeel::makeFont (laf.getFontSize()), "99999%"), rowHeight);
    scaleSlider.setColour (juce::Slider::backgroundColourId, Palette::dialogBackgroundColour);
    scaleSlider.setValue (juce::roundToInt (BelvoraSettings::getUiScalingFactor() * 100.0f), juce::dontSendNotification);
    shownPercent = juce::roundToInt (scaleSlider.getValue());
    scaleSlider.addListener (this);
    addAndMakeVisible (scaleSlider);
    sliderValueChanged (&scaleSlider);

    usageToggle.setToggleState (settings().getBoolValue ("dataTrackingOptIn", true), juce::dontSendNotification);
    addAndMakeVisible (usageToggle);

    moreInfoButton.addListener (this);
    addAndMakeVisible (moreInfoButton);
}

GeneralOptionsComp::~GeneralOptionsComp() = default;

void GeneralOptionsComp::restoreDefaults()
{
    scaleSlider.setValue (100.0, juce::sendNotificationSync);
}

void GeneralOptionsComp::apply()
{
    // Whole percentages: the stored factor is a float, the slider moves in steps of 5,
    // so a hand-written 1.33 shows as 135 % and stays unless the slider moved.
    const auto percent = juce::roundToInt (scaleSlider.getValue());

    if (percent != shownPercent)
    {
        settings().setValue ("uiScalingFactor", percent / 100.0);
        scaleChanged = true;
    }

    // The event tracker reads the choice before every event.
    settings().setValue ("dataTrackingOptIn", usageToggle.getToggleState());
}

void GeneralOptionsComp::sliderValueChanged (juce::Slider*)
{
    previewLabel.setFont (BVLookAndFeel::makeFont ((float) (scaleSlider.getValue() / 100.0 * 14.0)));
}

void GeneralOptionsComp::buttonClicked (juce::Button* button)
{
    if (button == &moreInfoButton && openUrl != nullptr)
        openUrl (juce::URL (homePage));
}

void GeneralOptionsComp::paint (juce::Graphics& g)
{
    OptionsComponentPage::paint (g);
    g.setColour (Palette::dialogTextColour.withAlpha (0.4f));
    g.drawRect (previewLabel.getBounds().expanded (2), 1);
}

void GeneralOptionsComp::resized()
{
    const auto g = gap();
    const auto w = getWidth();
    const auto s = laf.getScale();

    resolutionHeader.setBounds (g, g, textWidth (resolutionHeader.getFont(), resolutionHeader.getText()), rowHeight);

    // Room for the largest preview: 250 % of 14.
    const auto previewWidth = textWidth (BVLookAndFeel::makeFont (35.0f), previewLabel.getText());
    previewLabel.setBounds (juce::roundToInt ((float) w * 2.0f / 3.0f - (float) previewWidth / 2.0f),
                            resolutionHeader.getBottom() + margin8, previewWidth, 35);

    scaleSlider.setBounds (resolutionHeader.getX() + g, previewLabel.getY() + juce::roundToInt ((35.0f - (float) rowHeight) / 2.0f),
                           w / 3, rowHeight);
    usageHeader.setBounds (g, scaleSlider.getBottom() + rowGap, juce::roundToInt (150.0f * s), rowHeight);
    usageToggle.setBounds (2 * g, usageHeader.getBottom() + margin8, juce::roundToInt (350.0f * s), toggleHeight);

    const auto moreWidth = juce::roundToInt (100.0f * s);
    moreInfoButton.setBounds (w - g - moreWidth, usageToggle.getY(), moreWidth, buttonHeight);
}

//==============================================================================
DeviceOptionsComp::DeviceOptionsComp (BVLookAndFeel& pageLaf)
    : OptionsComponentPage (pageLaf)
{
    addHeader (usbHeader, "USB Midi Devices");
    addHeader (offlineHeader, "Offline Marrowell Devices");

    onlyMarrowellToggle.setToggleState (settings().getBoolValue ("onlyShowMwdDevices", true), juce::dontSendNotification);
    autoConnectToggle.setToggleState (settings().getBoolValue ("autoConnectAtStartup", true), juce::dontSendNotification);
    addAndMakeVisible (onlyMarrowellToggle);
    addAndMakeVisible (autoConnectToggle);

    clearHistoryButton.addListener (this);
    addAndMakeVisible (clearHistoryButton);
}

DeviceOptionsComp::~DeviceOptionsComp() = default;

void DeviceOptionsComp::restoreDefaults()
{
    onlyMarrowellToggle.setToggleState (true, juce::dontSendNotification);
    autoConnectToggle.setToggleState (true, juce::dontSendNotification);
}

void DeviceOptionsComp::apply()
{
    settings().setValue ("onlyShowMwdDevices", onlyMarrowellToggle.getToggleState());
    settings().setValue ("autoConnectAtStartup", autoConnectToggle.getToggleState());
}

void DeviceOptionsComp::buttonClicked (juce::Button* button)
{
    if (button == &clearHistoryButton)
        historyCleared = Alerts::askYesNo (this, "Reset Device History", "Are you sure you want to reset the connection history?");
}

void DeviceOptionsComp::resized()
{
    const auto g = gap();
    const auto font = BVLookAndFeel::makeFont (laf.getFontSize());
    const auto w = std::max ({ textWidth (font, usbHeader.getText()), textWidth (font, onlyMarrowellToggle.getButtonText()),
                                 textWidth (font, autoConnectToggle.getButtonText()) }) + g;

    usbHeader.setBounds (g, g, w, rowHeight);
    onlyMarrowellToggle.setBounds (2 * g, usbHeader.getBottom() + margin8, w, toggleHeight);
    autoConnectToggle.setBounds (onlyMarrowellToggle.getBounds().translated (0, margin4 + toggleHeight));
    offlineHeader.setBounds (g, autoConnectToggle.getBottom() + rowGap, w, rowHeight);
    clearHistoryButton.setBounds (onlyMarrowellToggle.getX(), offlineHeader.getBottom() + margin8,
                                  laf.getTextButtonWidthToFitText (clearHistoryButton, buttonHeight), buttonHeight);
}

//==============================================================================
DataOptionsComp::DataOptionsComp (BVLookAndFeel& pageLaf)
    : OptionsComponentPage (pageLaf)
{
    addHeader (syncHeader, "Synchronization");
    addHeader (folderHeader, "Export Folder");

    const auto method = BelvoraSettings::getDataSyncMethod();

    for (int i = 0; i < 3; ++i)
    {
        syncRadios[i].setRadioGroupId (100);
        addAndMakeVisible (syncRadios[i]);
    }

    syncRadios[method == 1 || method == 2 ? method : 0].setToggleState (true, juce::dontSendNotification);

    folderLabel.setFont (BVLookAndFeel::makeFont (laf.getFontSize()));
    folderLabel.setBorderSize (labelBorder());
    folderLabel.setText (ExportContent::resolveExportFolder (settings().getValue ("exportFolder")), juce::dontSendNotification);
    addAndMakeVisible (folderLabel);

    browseButton.addListener (this);
    addAndMakeVisible (browseButton);
}

DataOptionsComp::~DataOptionsComp() = default;

void DataOptionsComp::restoreDefaults()
{
    syncRadios[0].setToggleState (true, juce::dontSendNotification);
    folderLabel.setText (ExportContent::resolveExportFolder ({}), juce::dontSendNotification);
}

void DataOptionsComp::apply()
{
    for (int i = 0; i < 3; ++i)
        if (syncRadios[i].getToggleState())
            BelvoraSettings::setDataSyncMethod (i);

    settings().setValue ("exportFolder", folderLabel.getText());
}

void DataOptionsComp::buttonClicked (juce::Button* button)
{
    if (button != &browseButton)
        return;

    const auto chosen = FileChoosers::choose ({ FileChoosers::Mode::chooseFolder, "Select the export folder",
                                                juce::File (folderLabel.getText()), "*.syx" });
    if (! chosen.isEmpty())
        folderLabel.setText (chosen.getFirst().getFullPathName(), juce::dontSendNotification);
}

void DataOptionsComp::resized()
{
    const auto g = gap();
    const auto w = getWidth();
    const auto s = laf.getScale();
    const auto browseWidth = juce::jmax (juce::roundToInt (60.0f * s), laf.getTextButtonWidthToFitText (browseButton, buttonHeight));

    syncHeader.setBounds (g, g, juce::roundToInt (150.0f * s), rowHeight);
    syncRadios[0].setBounds (2 * g, syncHeader.getBottom() + margin8, juce::roundToInt (350.0f * s), toggleHeight);

    for (int i = 1; i < 3; ++i)
        syncRadios[i].setBounds (syncRadios[i - 1].getBounds().translated (0, margin4 + toggleHeight));

    folderHeader.setBounds (g, syncRadios[2].getBottom() + rowGap, w - 2 * g - 12 - browseWidth, rowHeight);
    folderLabel.setBounds (2 * g, folderHeader.getBottom() + 1, folderHeader.getWidth(), buttonHeight);
    browseButton.setBounds (w - browseWidth - g, folderLabel.getY(), browseWidth, buttonHeight);
}
