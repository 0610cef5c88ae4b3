#pragma once

#include "gui/dialogs/BelvoraDialog.h"
#include "model/FirmwareVersion.h"

/** One unit's name, firmware version, serial number and manufacture date, in two
    columns of captions and values. */
class DeviceInfoComp : public juce::Component
{
public:
    /** The version shows the microcontroller part when withMcu is set (developer mode). */
    DeviceInfoComp (const juce::String& name, const FirmwareVersion& version, const ManufactureDate& date,
                    int serialNumber, bool withMcu);
    ~DeviceInfoComp() override;

    /** "not set" for serial numbers 0 and -1. */
    static juce::String serialText (int serialNumber);

    /** "not set" unless the year lies after 1970 and before 3001, the month in 0..12 and the day in 0..31. */
    static juce::String dateText (const ManufactureDate& date);

    void resized() override;

private:
    juce::Label& caption (const char* labelName, const juce::String& text);
    juce::Label& value (const char* labelName, const juce::String& initialText);

    float fontSize;
    juce::OwnedArray<juce::Label> captions, values;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceInfoComp)
};

/** "Device Information", centred on the screen. */
class DeviceInfoDialog : public BelvoraDialog
{
public:
    /** Shows the microcontroller version when the program runs in developer mode. */
    DeviceInfoDialog (const juce::String& name, const FirmwareVersion& version, const ManufactureDate& date, int serialNumber);
};
