#include "model/SetupData.h"

#include "model/DataStream.h"
#include "model/SysEx.h"

SetupData::SetupData (const CapsBlock& block)
    : DeviceMidiData (block)
{
}

SetupData::SetupData (const SetupData& other)
    : DeviceMidiData (other), setupDataVersion (other.setupDataVersion)
{
}

void SetupData::assign (const DeviceMidiData& other)
{
    DeviceMidiData::assign (other);

    if (const auto* setup = dynamic_cast<const SetupData*> (&other))
        setupDataVersion = setup->setupDataVersion;
}

void SetupData::clear()
{
    DeviceMidiData::clear();
    setupDataVersion = noData;
}

bool SetupData::isCompatible (const DeviceMidiData& other) const
{
    const auto* setup = dynamic_cast<const SetupData*> (&other);
    return setup != nullptr && setupDataVersion >= 0 && setupDataVersion == setup->setupDataVersion;
}

bool SetupData::isComplete() const
{
    return messages.size() == getExpectedNumMessages() && setupDataVersion > 0;
}

bool SetupData::writeToStream (juce::OutputStream& out) const
{
    const auto n = messages.size();

    // Packets short of a whole setup (a transfer cut off) or without a version
    // would make a record the reader refuses, and with it the whole file.
    if (n == 0 || n != getExpectedNumMessages() || setupDataVersion == noData)
        return out.writeInt (DataStream::noRecord);

    return out.writeInt (setupDataVersion) && out.writeInt (n) && writePackets (out, n);
}

bool SetupData::writeSysEx (juce::OutputStream& out) const
{
    return writeRawPackets (out);
}

bool SetupData::readFromStream (juce::InputStream& in)
{
    clear();

    int32_t version = 0;

    if (! DataStream::readInt (in, version))
        return false;

    if (version == DataStream::noRecord)
        return true;

    int32_t count = 0;

    if (! DataStream::readInt (in, count) || count < 0)
        return false;

    setupDataVersion = version;

    for (int i = 0; i < count; ++i)
    {
        juce::MidiMessage packet;

        if (! DataStream::readPacket (in, packet))
            return false;

        addMidiMessage (packet);
    }

    if (messages.size() != getExpectedNumMessages())
        return false;

    setModified (false);
    return true;
}

SetupData::Digest SetupData::calculateMD5() const
{
    juce::MemoryOutputStream digests;
    addPacketDigests (digests);
    return digestOf (digests);
}

juce::Array<int> SetupData::getValues() const
{
    if (messages.isEmpty() || messages.size() != caps.numSyxPackagesPerSetup)
        return {};

    juce::Array<int> values;

    for (const auto& packet : messages)
        values.addArray (SysEx::getDataValues (packet));

    return values;
}

bool SetupData::setValues (const juce::Array<int>& values)
{
    if ((juce::int64) values.size() > (juce::int64) caps.setupPacketSize * caps.numSyxPackagesPerSetup / 4)
        return false;

    const auto packets = SysEx::createSetupMessages (values, caps);
    messages.clear();
    forgetMD5();   // the flag stays as it is, but the old digest no longer describes the packets

    for (const auto& packet : packets)
        addMidiMessage (packet);

    return isComplete();
}
