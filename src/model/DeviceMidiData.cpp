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

    // The other may be a shared snapshot whose md5 another thread is filling in
    // right now: its digest is only taken once it is published.
    if (other.md5Known.load (std::memory_order_acquire))
    {
        md5 = other.md5;
        md5Known.store (true, std::memory_order_relaxed);
    }
    else
    {
        forgetMD5();
    }
}

void DeviceMidiData::setModified (bool flag)
{
    modified = flag;
    forgetMD5();
}

void DeviceMidiData::clear()
{
    messages.clear();
    modified = false;
    forgetMD5();
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
    if (md5Known.load (std::memory_order_acquire))
        return md5;

    const std::lock_guard guard (md5Lock);

    if (! md5Known.load (std::memory_order_relaxed))
    {
        // Copied rather than assigned: the sanitizer sees the bytes written.
        const auto digest = calculateMD5();
        std::copy (digest.begin(), digest.end(), md5.begin());
        md5Known.store (true, std::memory_order_release);
    }

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

DeviceMidiData::Digest DeviceMidiData::digestOf (const juce::MemoryOutputStream& digests)
{
    const juce::MD5 whole (digests.getData(), digests.getDataSize());
    Digest digest;
    std::copy (whole.getChecksumDataArray(), whole.getChecksumDataArray() + digest.size(), digest.begin());
    return digest;
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
