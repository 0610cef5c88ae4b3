#include "base/DeviceCommandMessage.h"

DeviceCommandMessage::DeviceCommandMessage (int code) : command (code) {}

DeviceCommandMessage::DeviceCommandMessage (int code, const juce::Array<int>& args)
    : command (code), arguments (args)
{
}

DeviceCommandMessage::DeviceCommandMessage (int code, std::shared_ptr<const DeviceData> d, const juce::Array<int>& args)
    : command (code), arguments (args), data (std::move (d))
{
}

DeviceCommandMessage::DeviceCommandMessage (std::unique_ptr<MidiList> list, const juce::Array<int>& args)
    : command (sendFirmware), arguments (args)
{
    if (list != nullptr)
        midiMessages = std::shared_ptr<const MidiList> (list.release());
}

DeviceCommandMessage::DeviceCommandMessage (const DeviceCommandMessage& other)
    : juce::Message()
{
    copyFrom (other);
}

DeviceCommandMessage& DeviceCommandMessage::operator= (const DeviceCommandMessage& other)
{
    copyFrom (other);
    return *this;
}

void DeviceCommandMessage::copyFrom (const DeviceCommandMessage& other)
{
    if (&other == this)
        return;

    command = other.command;
    arguments = other.arguments;
    midiMessages = other.midiMessages;
    data = other.data;
    queueResets = other.queueResets;
}
