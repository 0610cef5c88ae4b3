#include "model/DataStream.h"

#include "model/Utf8.h"

#include <limits>

bool DataStream::readInt (juce::InputStream& in, int32_t& value)
{
    uint8_t bytes[4];

    if (in.read (bytes, 4) != 4)
        return false;

    value = (int32_t) juce::ByteOrder::littleEndianInt (bytes);
    return true;
}

bool DataStream::readBool (juce::InputStream& in, bool& value)
{
    uint8_t byte = 0;

    if (in.read (&byte, 1) != 1)
        return false;

    value = byte != 0;
    return true;
}

bool DataStream::readString (juce::InputStream& in, juce::String& text, int maxBytes)
{
    juce::MemoryOutputStream bytes;

    for (int i = 0; i <= maxBytes; ++i)
    {
        uint8_t byte = 0;

        if (in.read (&byte, 1) != 1)
            return false;

        if (byte == 0)
        {
            // Text that is not UTF-8 is refused: the framework's strings assume it is.
            const auto* data = static_cast<const char*> (bytes.getData());
            const auto size = (int) bytes.getDataSize();

            if (size > 0 && ! Utf8::isValid (data, (size_t) size))
                return false;

            text = juce::String::fromUTF8 (data, size);
            return true;
        }

        bytes.writeByte ((char) byte);
    }

    return false;
}

bool DataStream::readBlock (juce::InputStream& in, juce::MemoryBlock& block, int64_t size)
{
    if (size < 0)
        return false;

    // A stream of unknown length may still not make us allocate at will.
    const auto remaining = in.getNumBytesRemaining();
    const auto limit = remaining >= 0 ? remaining : (int64_t) 1 << 24;

    if (size > limit || size > std::numeric_limits<int>::max())
        return false;

    block.setSize ((size_t) size);
    return size == 0 || in.read (block.getData(), (int) size) == (int) size;
}

bool DataStream::readPacket (juce::InputStream& in, juce::MidiMessage& message)
{
    int32_t size = 0;
    juce::MemoryBlock bytes;

    // A packet is one whole SysEx message: F0, at least the frame, F7.
    if (! readInt (in, size) || size < 2 || ! readBlock (in, bytes, size))
        return false;

    const auto* b = static_cast<const uint8_t*> (bytes.getData());

    if (b[0] != 0xF0 || b[size - 1] != 0xF7)
        return false;

    // Copied, not moved: JUCE 7.0.5's move assignment leaks the bytes it replaces.
    const juce::MidiMessage packet (b, size);
    message = packet;
    return true;
}

bool DataStream::writePacket (juce::OutputStream& out, const juce::MidiMessage& message)
{
    const auto size = message.getRawDataSize();
    return out.writeInt (size) && out.write (message.getRawData(), (size_t) size);
}

bool DataStream::writeString (juce::OutputStream& out, const juce::String& text)
{
    const auto* utf8 = text.toRawUTF8();
    return out.write (utf8, std::strlen (utf8) + 1);
}
