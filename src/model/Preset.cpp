#include "model/Preset.h"

#include "model/DataStream.h"
#include "model/SysEx.h"

#include <juce_cryptography/juce_cryptography.h>
#include <limits>

Preset::Preset (const CapsBlock& block)
    : DeviceMidiData (block)
{
}

Preset::Preset (const Preset& other)
    : DeviceMidiData (other), named (other.named), name (other.name)
{
}

Preset& Preset::operator= (const Preset& other)
{
    DeviceMidiData::assign (other);
    named = other.named;
    name = other.name;
    return *this;
}

void Preset::clear()
{
    DeviceMidiData::clear();
    named = false;
}

bool Preset::isCompatible (const DeviceMidiData& other) const
{
    const auto* preset = dynamic_cast<const Preset*> (&other);

    return preset != nullptr && named && preset->named
        && name.formatVersion == preset->name.formatVersion;
}

bool Preset::isComplete() const
{
    return named && packetsPerStep() >= 1 && caps.maxPresetSteps >= 1
        && messages.size() == getExpectedNumMessages();
}

int Preset::getExpectedNumMessages() const
{
    // A step count read from a file may be anything; keep the product in range.
    const auto expected = (juce::int64) name.numSteps * packetsPerStep();
    return (int) juce::jlimit ((juce::int64) std::numeric_limits<int>::min(),
                               (juce::int64) std::numeric_limits<int>::max(), expected);
}

bool Preset::writeToStream (juce::OutputStream& out) const
{
    const auto n = messages.size();

    bool ok = out.writeInt (getExpectedNumMessages())
           && out.writeInt (n)
           && out.writeBool (modified)
           && out.writeInt (-1)                     // reserved
           && out.writeBool (named);

    if (ok && named)
        ok = name.writeRecord (out);

    return ok && out.writeInt (n) && writePackets (out, n);
}

bool Preset::writeSysEx (juce::OutputStream& out) const
{
    const auto header = SysEx::createPresetHeader (name, caps.productId);

    if (! out.write (header.getRawData(), (size_t) header.getRawDataSize()))
        return false;

    return writeRawPackets (out);
}

bool Preset::readFromStream (juce::InputStream& in)
{
    clear();

    int32_t firstCount = 0, reserved = 0, secondCount = 0;
    bool storedFlag = false, storedName = false;

    if (! DataStream::readInt (in, firstCount) || ! DataStream::readBool (in, storedFlag)
         || ! DataStream::readInt (in, reserved) || ! DataStream::readBool (in, storedName))
        return false;

    if (storedName)
    {
        PresetName header;
        juce::MemoryBlock nameBytes;

        if (! DataStream::readInt (in, header.number) || ! DataStream::readInt (in, header.formatVersion)
             || ! DataStream::readInt (in, header.nameLength)
             || header.nameLength < 0 || header.nameLength > PresetName::maxNameLength
             || ! DataStream::readBlock (in, nameBytes, header.nameLength)
             || ! DataStream::readInt (in, header.tags) || ! DataStream::readInt (in, header.numSteps)
             || header.numSteps < 0)
            return false;

        header.setFromBytes (static_cast<const uint8_t*> (nameBytes.getData()), (int) nameBytes.getSize());
        name = header;
        named = true;
    }

    if (! DataStream::readInt (in, secondCount) || secondCount != firstCount || secondCount < 0)
        return false;

    // Each packet is checked against what the stream still holds, so a corrupt count ends early.
    for (int i = 0; i < secondCount; ++i)
    {
        juce::MidiMessage packet;

        if (! DataStream::readPacket (in, packet))
            return false;

        messages.add (packet);
    }

    setModified (storedFlag);
    return getExpectedNumMessages() == messages.size();
}

Preset::Digest Preset::calculateMD5() const
{
    juce::MemoryOutputStream digests;
    addPacketDigests (digests);

    if (named)
    {
        juce::MemoryOutputStream record;
        name.writeRecord (record);
        const juce::MD5 nameDigest (record.getData(), record.getDataSize());
        digests.write (nameDigest.getChecksumDataArray(), 16);
    }

    return digestOf (digests);
}

//==============================================================================
bool Preset::setNameBytes (const PresetName& header)
{
    name = header;
    named = true;
    setModified (true);
    return true;
}

bool Preset::setNumber (int number)
{
    if (! named)
        return false;

    name.number = number;
    setModified (true);
    return true;
}

juce::String Preset::getName() const
{
    return name.toString();
}

bool Preset::setName (const juce::String& text)
{
    if (! named)
        return false;

    if (text != getName())
    {
        name.setFromString (text);
        setModified (true);
    }

    return true;
}

juce::Array<int> Preset::getStepValues (int step) const
{
    if (messages.isEmpty() || ! juce::isPositiveAndBelow (step, name.numSteps))
        return {};

    juce::Array<int> values;
    const auto k = packetsPerStep();

    for (int j = 0; j < k; ++j)
    {
        const auto* packet = getMidiMessage (step * k + j);

        if (packet == nullptr)
            return {};

        values.addArray (SysEx::getDataValues (*packet));
    }

    return values;
}

bool Preset::setStepValues (int step, const juce::Array<int>& values)
{
    if (! named || step < 0 || step > name.numSteps)
        return false;

    if ((juce::int64) values.size() > (juce::int64) caps.presetStepPacketSize * packetsPerStep() / 4)
        return false;

    Preset temporary (caps);
    auto header = name;
    header.numSteps = 1;
    temporary.setNameBytes (header);

    for (const auto& packet : SysEx::createDataMessages (values, caps))
        temporary.addMidiMessage (packet);

    if (step == name.numSteps)
        return appendAllSteps (temporary) > 0;

    return replaceStep (temporary, step);
}

//==============================================================================
void Preset::addSourceStep (juce::Array<juce::MidiMessage>& list, const Preset& source, int s) const
{
    // Step indices come from scripts too: far-off ones must find nothing, not overflow.
    const auto first = (juce::int64) s * source.packetsPerStep();

    for (int j = 0; j < packetsPerStep(); ++j)
        if (juce::isPositiveAndBelow (first + j, (juce::int64) source.getNumMidiMessages()))
            list.add (*source.getMidiMessage ((int) (first + j)));
}

void Preset::renumber()
{
    // The index is one 7-bit byte; longer presets wrap, as the parsers expect.
    for (int i = 0; i < messages.size(); ++i)
    {
        auto& m = messages.getReference (i);

        if (m.getRawDataSize() < 9)
            continue;

        juce::MemoryBlock bytes (m.getRawData(), (size_t) m.getRawDataSize());
        static_cast<uint8_t*> (bytes.getData())[7] = (uint8_t) (i & 0x7F);
        const juce::MidiMessage renumbered (bytes.getData(), (int) bytes.getSize());
        m = renumbered;   // a copy: JUCE 7.0.5's move assignment leaks the bytes it replaces
    }

    setModified (true);
}

int Preset::appendSteps (const Preset& source, const juce::SparseSet<int>& steps)
{
    if (! isCompatible (source))
        return 0;

    const auto n = juce::jmin (steps.size(), caps.maxPresetSteps - name.numSteps);

    if (n < 1)
        return 0;

    name.numSteps += n;

    for (int k = 0; k < n; ++k)
        addSourceStep (messages, source, steps[k]);

    renumber();
    return n;
}

int Preset::appendAllSteps (const Preset& source)
{
    if (! named || ! source.named)
        return 0;

    juce::SparseSet<int> all;

    if (source.name.numSteps > 0)
        all.addRange ({ 0, source.name.numSteps });

    return appendSteps (source, all);
}

int Preset::insertSteps (const Preset& source, int position, const juce::SparseSet<int>& steps)
{
    if (! isCompatible (source))
        return 0;

    const auto oldSteps = name.numSteps;
    const auto pos = (position < 0 || position > oldSteps) ? oldSteps : position;
    const auto n = juce::jmin (caps.maxPresetSteps - pos, steps.size());

    // A preset already at (or past) its step limit takes nothing.
    if (n < 1)
        return 0;

    const auto tail = juce::jlimit (0, oldSteps - pos, caps.maxPresetSteps - n - pos);
    const auto k = packetsPerStep();

    juce::Array<juce::MidiMessage> list;

    for (int i = 0; i < (juce::int64) pos * k && i < messages.size(); ++i)
        list.add (messages.getReference (i));

    for (int i = 0; i < n; ++i)
        addSourceStep (list, source, steps[i]);

    for (int s = pos; s < pos + tail; ++s)
        addSourceStep (list, *this, s);

    messages.swapWith (list);
    name.numSteps = pos + n + tail;
    renumber();
    return n;
}

bool Preset::replaceStep (const Preset& source, int step)
{
    if (! isCompatible (source) || source.name.numSteps < 1 || ! juce::isPositiveAndBelow (step, name.numSteps))
        return false;

    const auto k = packetsPerStep();

    // Check both sides first, so a failed replace changes nothing.
    for (int j = 0; j < k; ++j)
        if (source.getMidiMessage (j) == nullptr || getMidiMessage (step * k + j) == nullptr)
            return false;

    for (int j = 0; j < k; ++j)
        messages.set (step * k + j, *source.getMidiMessage (j));

    renumber();
    return true;
}

juce::SparseSet<int> Preset::removeSteps (const juce::SparseSet<int>& steps)
{
    juce::SparseSet<int> remaining;

    if (name.numSteps > 0)
        remaining.addRange ({ 0, name.numSteps });

    juce::Array<int> removed;

    for (int i = 0; i < steps.size(); ++i)
        if (juce::isPositiveAndBelow (steps[i], name.numSteps))
            removed.add (steps[i]);

    if (removed.isEmpty())
        return remaining;

    const auto k = packetsPerStep();

    for (auto r : removed)
        remaining.removeRange ({ r, r + 1 });

    // Rebuilt rather than removed from: JUCE 7.0.5's array removal moves the
    // packets after the gap, and its move assignment leaks the bytes it replaces.
    if (k >= 1)
    {
        juce::Array<juce::MidiMessage> kept;
        for (int p = 0; p < messages.size(); ++p)
            if (! removed.contains (p / k))
                kept.add (messages.getReference (p));

        messages.swapWith (kept);
    }

    name.numSteps -= removed.size();
    renumber();
    return remaining;
}
