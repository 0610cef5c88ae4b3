#include "gui/dialogs/DeviceInfoDialog.h"

#include "app/Belvora.h"
#include "gui/Palette.h"
#include "gui/widgets/WidgetMetrics.h"

DeviceInfoComp::DeviceInfoComp (const juce::String& name, const FirmwareVersion& version, const ManufactureDate& date,
                                int serialNumber, bool withMcu)
    : fontSize (WidgetMetrics::fontSize (*this))
{
    caption ("label", "Name:");
    caption ("label2", "Version:");
    caption ("label3", "Serial Number:");
    caption ("label4", "Manufacture Date:");

    value ("labelName", "unknown").setText (name, juce::dontSendNotification);
    value ("labelVersion", "unknown").setText (formatFirmwareVersion (version, withMcu), juce::dontSendNotification);
    value ("labelSerialNum", "not set").setText (serialText (serialNumber), juce::dontSendNotification);
    value ("labelManufactureDate", "not set").setText (dateText (date), juce::dontSendNotification);

    const auto s = WidgetMetrics::scale (*this);
    setSize (juce::roundToInt (300.0f * s), juce::roundToInt (115.0f * s));
}

DeviceInfoComp::~DeviceInfoComp() = default;

juce::String DeviceInfoComp::serialText (int serialNumber)
{
    return serialNumber == 0 || serialNumber == -1 ? juce::String ("not set") : juce::String (serialNumber);
}

juce::String DeviceInfoComp::dateText (const ManufactureDate& date)
{
    const auto plausible = date.year > 1970 && date.year < 3001
                           && juce::isPositiveAndBelow (date.month, 13)
                           && juce::isPositiveAndBelow (date.day, 32);

    return plausible ? date.toString() : juce::String ("not set");
}

juce::Label& DeviceInfoComp::caption (const char* labelName, const juce::String& text)
{
    auto* label = captions.add (std::make_unique<juce::Label> (labelName, text));
    label->setFont (BVLookAndFeel::makeFont (fontSize));
    label->setJustificationType (juce::Justification::centredRight);
    label->setEditable (false, false, false);
    label->setBorderSize ({});
    addAndMakeVisible (label);
    return *label;
}

juce::Label& DeviceInfoComp::value (const char* labelName, const juce::String& initialText)
{
    auto* label = values.add (std::make_unique<juce::Label> (labelName, initialText));
    label->setFont (BVLookAndFeel::makeFont (fontSize, juce::Font::bold));
    label->setJustificationType (juce::Justification::centredLeft);
    label->setEditable (false, false, false);
    label->setBorderSize ({ 0, WidgetMetrics::pixels (*this) (4.0f), 0, 0 });
    addAndMakeVisible (label);
    return *label;
}

void DeviceInfoComp::resized()
{
    const auto w = (float) getWidth();
    const auto rowHeight = juce::roundToInt (fontSize * 1.75f);
    const auto captionWidth = (int) (w * 0.4f), valueWidth = (int) (w * 0.56f);

    for (int i = 0; i < captions.size(); ++i)
    {
        const auto y = 8 + i * rowHeight;
        captions[i]->setBounds (6, y, captionWidth, rowHeight);
        values[i]->setBounds (6 + captionWidth, y, valueWidth, rowHeight);
    }
}

namespace
{
    bool isDeveloperMode()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr && app->isDeveloperMode();
    }
}

DeviceInfoDialog::DeviceInfoDialog (const juce::String& name, const FirmwareVersion& version, const ManufactureDate& date,
                                    int serialNumber)
    : BelvoraDialog ("Device Information", Palette::dialogBackgroundColour,
                     std::make_unique<DeviceInfoComp> (name, version, date, serialNumber, isDeveloperMode()), nullptr)
{
}
