#include "base/DeviceInfoMessage.h"

DeviceInfoMessage::DeviceInfoMessage (int c, int v1, int v2, const juce::String& t)
    : code (c), value1 (v1), value2 (v2), text (t)
{
}

DeviceInfoMessage::DeviceInfoMessage (int c, const DeviceCommandMessage& cmd)
    : code (c), command (cmd)
{
}

DeviceInfoMessage::DeviceInfoMessage (const DeviceInfoMessage& other)
    : juce::Message()
{
    copyFrom (other);
}

DeviceInfoMessage& DeviceInfoMessage::operator= (const DeviceInfoMessage& other)
{
    copyFrom (other);
    return *this;
}

void DeviceInfoMessage::copyFrom (const DeviceInfoMessage& other)
{
    if (&other == this)
        return;

    code = other.code;
    value1 = other.value1;
    value2 = other.value2;
    text = other.text;
    command.copyFrom (other.command);
    preset = other.preset;
}
