#include "model/DeviceMidiData.h"

#include "model/DataStream.h"

#include <juce_cryptography/juce_cryptography.h>

DeviceMidiData::DeviceMidiData (const CapsBlock& block)
    : caps (block)
{
}

DeviceMidiData::DeviceMidiData (const DeviceMidiData& other)
{
    DeviceMidiData::assign (other);
}

void DeviceMidiData::assign (const DeviceMidiData& other)
{
    if (this == &other)
        return;

    modified = other.modified;
    caps = other.caps;
    messages = other.messages;
    md5 = other.md5;
}

void DeviceMidiData::setModified (bool flag)
{
    modified = flag;
    md5.fill (0);
}

void DeviceMidiData::clear()
{
    messages.clear();
    modified = false;
    md5.fill (0);
}

void DeviceMidiData::addMidiMessage (const juce::MidiMessage& message)
{
    // A changed packet list makes any kept md5 stale.
    messages.add (message);
    setModified (true);
}

const juce::MidiMessage* DeviceMidiData::getMidiMessage (int index) const
{
    if (! juce::isPositiveAndBelow (index, messages.size()))
        return nullptr;

    return &messages.getReference (index);
}

const DeviceMidiData::Digest& DeviceMidiData::getMD5() const
{
    if (std::all_of (md5.begin(), md5.end(), [] (uint8_t b) { return b == 0; }))
        calculateMD5();

    return md5;
}

juce::String DeviceMidiData::getMD5String() const
{
    const auto& digest = getMD5();
    return juce::String::toHexString (digest.data(), (int) digest.size(), 0);
}

void DeviceMidiData::addPacketDigests (juce::MemoryOutputStream& digests) const
{
    for (const auto& m : messages)
    {
        const juce::MD5 packet (m.getRawData(), (size_t) m.getRawDataSize());
        digests.write (packet.getChecksumDataArray(), 16);
    }
}

void DeviceMidiData::setDigestOf (const juce::MemoryOutputStream& digests) const
{
    const juce::MD5 whole (digests.getData(), digests.getDataSize());
    std::copy (whole.getChecksumDataArray(), whole.getChecksumDataArray() + 16, md5.begin());
}

bool DeviceMidiData::writePackets (juce::OutputStream& out, int count) const
{
    for (int i = 0; i < count; ++i)
    {
        const auto* packet = getMidiMessage (i);

        if (packet == nullptr || ! DataStream::writePacket (out, *packet))
            return false;
    }

    return true;
}

bool DeviceMidiData::writeRawPackets (juce::OutputStream& out) const
{
    for (const auto& m : messages)
        if (! out.write (m.getRawData(), (size_t) m.getRawDataSize()))
            return false;

    out.flush();
    return true;
}
