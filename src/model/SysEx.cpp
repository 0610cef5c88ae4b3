#include "model/SysEx.h"

#include "model/FileBytes.h"
#include "model/Preset.h"
#include "model/PresetName.h"
#include "model/SetupData.h"
#include "model/SysExTemplate.h"

#include <cmath>
#include <cstring>

namespace
{
    constexpr uint8_t makerFrame[] = { 0xF0, 0x00, 0x01, 0x38, 0x00 };
    constexpr int frameSize = (int) sizeof (makerFrame);

    // F0 00 01 38 00 id cmd: every builder starts here.
    juce::Array<uint8_t> startMessage (uint8_t productId, uint8_t command)
    {
        juce::Array<uint8_t> bytes (makerFrame, frameSize);
        bytes.add (productId);
        bytes.add (command);
        return bytes;
    }

    juce::MidiMessage finish (juce::Array<uint8_t>& bytes)
    {
        bytes.add (SysEx::endByte);
        return juce::MidiMessage (bytes.getRawDataPointer(), bytes.size());
    }

    void add14 (juce::Array<uint8_t>& bytes, int value)
    {
        uint8_t b[2];
        SysEx::encode14 (value, b);
        bytes.addArray (b + 0, 2);
    }

    void add28 (juce::Array<uint8_t>& bytes, int value)
    {
        uint8_t b[4];
        SysEx::encode28 (value, b);
        bytes.addArray (b + 0, 4);
    }

    juce::MidiMessage numberRequest (uint8_t productId, uint8_t command, int number)
    {
        auto bytes = startMessage (productId, command);
        add14 (bytes, number);
        return finish (bytes);
    }

    // Appends `perPacket` values in the 28-bit form from `next` on (0 once the
    // values are used up), then the checksum of those data bytes.
    void addValuesAndChecksum (juce::Array<uint8_t>& bytes, const juce::Array<int>& values, int& next, int perPacket)
    {
        const auto dataStart = bytes.size();

        for (int v = 0; v < perPacket; ++v, ++next)
            add28 (bytes, next < values.size() ? values.getUnchecked (next) : 0);

        bytes.add (SysEx::checksum (bytes.getRawDataPointer() + dataStart, bytes.size() - dataStart));
    }

    int packetCount (int numValues, int perPacket)
    {
        return (int) std::ceil ((double) numValues / (double) perPacket);
    }

    bool isOurSysEx (const juce::MidiMessage& message, int minimumSize)
    {
        return message.isSysEx()
            && message.getRawDataSize() >= minimumSize
            && SysEx::hasMakerFrame (message.getRawData(), message.getRawDataSize());
    }
}

bool SysEx::hasMakerFrame (const uint8_t* bytes, int size)
{
    return size >= frameSize && std::equal (makerFrame, makerFrame + frameSize, bytes);
}

//==============================================================================
void SysEx::encode14 (int value, uint8_t* out)
{
    out[0] = (uint8_t) ((value >> 7) & 0x7F);
    out[1] = (uint8_t) (value & 0x7F);
}

int SysEx::decode14 (const uint8_t* bytes)
{
    const auto v = (bytes[0] & 0x7F) * 128 + (bytes[1] & 0x7F);
    return v >= 0x2000 ? v - 0x4000 : v;
}

void SysEx::encode28 (int value, uint8_t* out)
{
    out[0] = (uint8_t) ((value >> 21) & 0x7F);
    out[1] = (uint8_t) ((value >> 14) & 0x7F);
    out[2] = (uint8_t) ((value >> 7) & 0x7F);
    out[3] = (uint8_t) (value & 0x7F);
}

int SysEx::decode28 (const uint8_t* bytes)
{
    int v = 0;

    for (int i = 0; i < 4; ++i)
        v = (v << 7) | (bytes[i] & 0x7F);

    return v >= 0x8000000 ? v - 0x10000000 : v;
}

uint8_t SysEx::checksum (const uint8_t* data, int size)
{
    uint8_t sum = 0;

    for (int i = 0; i < size; ++i)
        sum = (uint8_t) (sum + data[i]);

    return (uint8_t) (sum & 0x7F);
}

//==============================================================================
juce::MidiMessage SysEx::createInquiry()
{
    return SysExTemplate().toMidiMessage();
}

juce::MidiMessage SysEx::createPresetRequest (uint8_t productId, int number)
{
    return numberRequest (productId, cmdPresetRequest, number);
}

juce::MidiMessage SysEx::createPresetDeleteRequest (uint8_t productId, int number)
{
    return numberRequest (productId, cmdPresetDelete, number);
}

juce::MidiMessage SysEx::createSetupRequest (uint8_t productId)
{
    auto bytes = startMessage (productId, cmdSetupRequest);
    bytes.add (0);
    return finish (bytes);
}

juce::MidiMessage SysEx::createSuspendRequest (uint8_t productId, bool resume)
{
    auto bytes = startMessage (productId, cmdSuspend);
    bytes.add (0);
    bytes.add (resume ? 1 : 0);
    return finish (bytes);
}

juce::MidiMessage SysEx::createFirmwarePacketHeader (uint8_t checksumByte, int count)
{
    auto bytes = startMessage (firmwareProductId, cmdFirmwarePacket);
    bytes.add (checksumByte);
    add14 (bytes, count);
    return finish (bytes);
}

juce::MidiMessage SysEx::createFirmwarePacketEnd()
{
    auto bytes = startMessage (firmwareProductId, cmdFirmwareEnd);
    return finish (bytes);
}

juce::MidiMessage SysEx::createPresetHeader (const PresetName& name, uint8_t productId)
{
    auto bytes = startMessage (productId, cmdPresetHeader);
    add14 (bytes, name.number);
    add14 (bytes, name.formatVersion);

    // The frame has room for 15 name bytes; a longer name is cut.
    uint8_t nameBytes[headerNameBytes] = {};
    const auto count = juce::jlimit (0, headerNameBytes, juce::jmin (name.nameLength, name.getBufferSize()));

    if (count > 0)
        std::copy (name.getBytes(), name.getBytes() + count, nameBytes);

    bytes.addArray (nameBytes + 0, headerNameBytes);
    add28 (bytes, name.tags);
    bytes.add ((uint8_t) (name.numSteps & 0x7F));
    return finish (bytes);
}

juce::Array<juce::MidiMessage> SysEx::createDataMessages (const juce::Array<int>& values, const CapsBlock& caps)
{
    if (caps.presetStepPacketSize < 4)
        return {};

    const auto perPacket = caps.presetStepPacketSize / 4;
    const auto n = packetCount (values.size(), perPacket);

    if (n == 0 || (juce::int64) n > (juce::int64) caps.maxPresetSteps * caps.numSyxPackagesPerPresetStep)
        return {};

    juce::Array<juce::MidiMessage> packets;
    int next = 0;

    for (int i = 0; i < n; ++i)
    {
        auto bytes = startMessage (caps.productId, cmdPresetData);
        bytes.add ((uint8_t) (i & 0x7F));
        addValuesAndChecksum (bytes, values, next, perPacket);
        packets.add (finish (bytes));
    }

    return packets;
}

juce::Array<juce::MidiMessage> SysEx::createSetupMessages (const juce::Array<int>& values, const CapsBlock& caps)
{
    if (caps.setupPacketSize < 4)
        return {};

    const auto perPacket = caps.setupPacketSize / 4;
    const auto n = packetCount (values.size(), perPacket);

    if (n != caps.numSyxPackagesPerSetup)
        return {};

    juce::Array<juce::MidiMessage> packets;
    int next = 0;

    for (int i = 0; i < n; ++i)
    {
        auto bytes = startMessage (caps.productId, cmdSetupData);
        add14 (bytes, caps.setupVersion);
        bytes.add ((uint8_t) (i & 0x7F));
        addValuesAndChecksum (bytes, values, next, perPacket);
        packets.add (finish (bytes));
    }

    return packets;
}

//==============================================================================
int SysEx::getDeviceId (const juce::MidiMessage& message)
{
    if (! message.isSysEx() || message.getRawDataSize() < 9)
        return 0;

    return message.getRawData()[5];
}

int SysEx::getCommand (const juce::MidiMessage& message)
{
    if (! isOurSysEx (message, 8))
        return -1;

    return message.getRawData()[6];
}

FirmwareVersion SysEx::parseFirmwareVersion (const juce::MidiMessage& message, const SysExTemplate& unit)
{
    if (! unit.isDeviceAnswer (message))
        return {};

    const auto* b = message.getRawData();
    FirmwareVersion v;
    v.releaseKind = (int16_t) (b[8] >> 4);
    v.major = (int16_t) (b[8] & 0x0F);
    v.minor = b[9];
    v.revision = b[10];
    v.build = (int16_t) decode28 (b + 11);
    v.mcuVersion = b[15];
    return v;
}

juce::uint32 SysEx::parseSerialNumber (const juce::MidiMessage& message, const SysExTemplate& unit)
{
    if (! unit.isDeviceAnswer (message))
        return 0;

    const auto* b = message.getRawData();
    juce::uint32 serial = 0;

    for (int i = 8; i <= 15; ++i)
    {
        if (b[i] > 9)
            return 0;

        serial = serial * 10 + b[i];
    }

    return serial;
}

ManufactureDate SysEx::parseDate (const juce::MidiMessage& message, const SysExTemplate& unit)
{
    if (! unit.isDeviceAnswer (message))
        return {};

    const auto* b = message.getRawData();
    ManufactureDate date { b[10] * 100 + b[11], b[9], b[8] };

    if (date.year == 0)
        return { 1941, 12, 7 };

    return date;
}

juce::uint32 SysEx::parsePresetHeader (const juce::MidiMessage& message, const CapsBlock& caps, PresetName& name)
{
    name.nameLength = caps.presetNameLength;
    name.clearBuffer();

    if (! isOurSysEx (message, presetHeaderSize) || message.getRawDataSize() != presetHeaderSize
         || message.getRawData()[6] != cmdPresetHeader)
    {
        // Nothing of an earlier header may pass for this one.
        name.number = name.formatVersion = name.tags = name.numSteps = 0;
        return headerMalformed;
    }

    const auto* b = message.getRawData();
    name.number = decode14 (b + 7);
    name.formatVersion = decode14 (b + 9);

    if (name.nameLength != 0)
        name.setFromBytes (b + 11, headerNameBytes);

    name.tags = decode28 (b + 26);
    name.numSteps = b[30] & 0x7F;

    if (getDeviceId (message) != caps.productId)
        return headerOtherProduct;

    if (name.formatVersion != caps.presetVersion)
        return headerOtherVersion;

    return 0;
}

juce::Array<int> SysEx::getDataValues (const juce::MidiMessage& message)
{
    if (! message.isSysEx() || message.getRawDataSize() < 8)
        return {};

    const auto* b = message.getRawData();
    const auto size = message.getRawDataSize();
    int offset = 0;
    int length = 0;

    switch (b[6])
    {
        case cmdPresetData: offset = presetDataOffset; length = size - presetPacketOverhead; break;
        case cmdSetupData:  offset = setupDataOffset;  length = size - setupPacketOverhead; break;
        default:            return {};
    }

    juce::Array<int> values;

    for (int i = 0; i + 4 <= length; i += 4)
        values.add (decode28 (b + offset + i));

    return values;
}

//==============================================================================
namespace
{
    constexpr uint8_t firmwareStart[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, 0x60, 0x51, 0x00, 0xF7 };
    constexpr int fileHeadSize = 32;

    bool isFirmwareStart (const uint8_t* bytes, int size)
    {
        return size >= (int) sizeof (firmwareStart) && std::equal (firmwareStart, firmwareStart + sizeof (firmwareStart), bytes);
    }

    // What the frame alone tells of a file's first message: not SysEx, another
    // maker, a firmware image, or 0 when the command has to decide.
    juce::uint32 classifyFrame (const uint8_t* b, int size)
    {
        // A tail too short to say what it is counts as not SysEx.
        if (size < 6 || b[0] != SysEx::startByte)
            return SysEx::fileNotSysEx;

        // The maker's id, bytes 1 to 3 of the frame.
        if (! std::equal (makerFrame + 1, makerFrame + 4, b + 1))
            return SysEx::fileOtherMaker;

        if (isFirmwareStart (b, size))
            return SysEx::fileFirmware;

        return 0;
    }

    // The first bytes of a file; fewer when it is shorter, none when it cannot be read.
    juce::MemoryBlock readHead (const juce::File& file)
    {
        juce::MemoryBlock head;

        if (! FileBytes::readHead (file, head, (size_t) fileHeadSize))
            head.reset();

        return head;
    }

    // The class of a message by its command, without a block; 0 when the bytes are too short.
    juce::uint32 classifyCommand (const uint8_t* b, int size, int& versionOut)
    {
        if (size < 7)
            return 0;

        switch (b[6])
        {
            case SysEx::cmdSetupData:
                if (size < 9) return 0;
                versionOut = SysEx::decode14 (b + 7);
                return SysEx::fileSetup;

            case SysEx::cmdPresetHeader:
                if (size < 11) return 0;
                versionOut = SysEx::decode14 (b + 9);
                return SysEx::filePreset;

            case SysEx::cmdPresetData:
                return SysEx::fileStepPacket;

            default:
                return SysEx::fileOtherCommand;
        }
    }

    bool checksumMatches (const juce::MidiMessage& m, int offset, int dataSize)
    {
        const auto* b = m.getRawData();
        return SysEx::checksum (b + offset, dataSize) == (b[offset + dataSize] & 0x7F);
    }

    // A packet of our frame with the expected product, command and size; else the status bit that says why.
    juce::uint32 checkPacket (const juce::MidiMessage& m, const CapsBlock& caps, uint8_t command, int expectedSize)
    {
        if (! isOurSysEx (m, 8))
            return SysEx::fileUnreadable;

        if (m.getRawData()[5] != caps.productId)
            return SysEx::fileOtherProduct;

        if (m.getRawData()[6] != command)
            return SysEx::fileOtherCommand;

        // A packet cut off at the end of the data may still have the right length;
        // kept without its F7 it would make a data file that cannot be read back.
        if (m.getRawDataSize() != expectedSize || m.getRawData()[expectedSize - 1] != SysEx::endByte)
            return SysEx::fileIncomplete;

        return 0;
    }
}

juce::uint32 SysEx::checkFileContent (const uint8_t* b, int size, const CapsBlock& caps,
                                      const juce::Array<int>* compatiblePresetVersions,
                                      int& productIdOut, int& versionOut)
{
    versionOut = -1;

    if (const auto frame = classifyFrame (b, size); frame != 0)
        return frame;

    productIdOut = b[5];

    if (b[5] != caps.productId)
        return fileOtherProduct;

    int version = -1;
    const auto kind = classifyCommand (b, size, version);

    if (kind == 0)
        return fileNotSysEx;

    versionOut = version;

    if (kind == fileSetup)
        return version == caps.setupVersion ? fileSetup : fileSetupOtherVersion;

    if (kind == filePreset)
    {
        if (version == caps.presetVersion)
            return filePreset;

        if (compatiblePresetVersions != nullptr && compatiblePresetVersions->contains (version))
            return fileCompatiblePreset;

        return filePresetOtherVersion;
    }

    return kind;
}

juce::uint32 SysEx::readFileHeader (const juce::File& file, const CapsBlock& caps,
                                    const juce::Array<int>* compatiblePresetVersions,
                                    int& productIdOut, int& versionOut)
{
    const auto head = readHead (file);

    if (head.getSize() < 6)
        return fileNotSysEx;

    return checkFileContent (static_cast<const uint8_t*> (head.getData()), (int) head.getSize(), caps,
                             compatiblePresetVersions, productIdOut, versionOut);
}

juce::uint32 SysEx::peekFile (const juce::File& file, int& productIdOut, int& versionOut)
{
    productIdOut = placeholderProductId;
    versionOut = 0;

    const auto head = readHead (file);
    const auto* b = static_cast<const uint8_t*> (head.getData());
    const auto size = (int) head.getSize();

    if (const auto frame = classifyFrame (b, size); frame != 0)
        return frame;

    productIdOut = b[5];
    const auto kind = classifyCommand (b, size, versionOut);
    return kind == 0 ? fileNotSysEx : kind;
}

bool SysEx::readMessage (const uint8_t* bytes, int size, juce::MidiMessage& message, int& usedOut)
{
    usedOut = 0;

    if (size < 1)
        return false;

    int used = 0;
    juce::MidiMessage m (bytes, size, used, 0, 0.0, false);

    if (used < 1 || used > size || m.getRawDataSize() < 1)
        return false;

    message = m;
    usedOut = used;
    return true;
}

bool SysEx::isWholeMessages (const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*> (data);
    bool inside = false;

    for (size_t i = 0; i < size; ++i)
    {
        const auto b = bytes[i];

        if (! inside && b != 0xF0)
            return false;

        if (b == 0xF0 && inside)
            return false;

        if (b >= 0x80 && b != 0xF0 && b != 0xF7)
            return false;

        inside = b != 0xF7;
    }

    return size > 0 && ! inside;
}

bool SysEx::isFirmwareImageStart (const uint8_t* message, int size)
{
    const uint8_t start[] = { 0xF0, 0x00, 0x01, 0x38, 0x00, firmwareProductId, cmdFirmwareStart, 0x00, 0xF7 };
    return size == (int) sizeof (start) && std::memcmp (message, start, sizeof (start)) == 0;
}

bool SysEx::isFirmwarePacket (const uint8_t* m, int size)
{
    return size >= 8 && m[0] == 0xF0 && m[1] == 0x00 && m[2] == 0x01 && m[3] == 0x38 && m[4] == 0x00
        && m[5] == firmwareProductId && m[size - 1] == 0xF7 && ! isFirmwareImageStart (m, size);
}

bool SysEx::isFirmwareImage (const void* data, size_t size)
{
    if (! isWholeMessages (data, size))
        return false;

    const auto* bytes = static_cast<const uint8_t*> (data);
    int messages = 0;

    for (size_t start = 0; start < size; ++messages)
    {
        const auto end = static_cast<const uint8_t*> (std::memchr (bytes + start, 0xF7, size - start)) - bytes + 1;
        const auto length = (int) (end - (ptrdiff_t) start);

        if (! (messages == 0 ? isFirmwareImageStart (bytes + start, length) : isFirmwarePacket (bytes + start, length)))
            return false;

        start = (size_t) end;
    }

    return messages >= 2;
}

bool SysEx::readFile (const juce::File& file, juce::Array<juce::MidiMessage>& messages)
{
    messages.clear();
    juce::MemoryBlock block;

    return FileBytes::readWhole (file, block, maxFileBytes) && readMessages (block, messages);
}

bool SysEx::readMessages (const juce::MemoryBlock& block, juce::Array<juce::MidiMessage>& messages)
{
    messages.clear();

    if (block.isEmpty())
        return false;

    const auto* bytes = static_cast<const uint8_t*> (block.getData());
    const auto size = (int) block.getSize();

    for (int used = 0; used < size;)
    {
        juce::MidiMessage m;
        int taken = 0;

        if (! readMessage (bytes + used, size - used, m, taken))
            return false;

        messages.add (m);
        used += taken;
    }

    return true;
}

std::unique_ptr<SetupData> SysEx::parseSetupData (const uint8_t* bytes, int size, int& usedOut,
                                                  juce::uint32& statusOut, const CapsBlock& caps)
{
    auto setup = std::make_unique<SetupData> (caps);
    statusOut = fileSetup;
    usedOut = 0;

    const auto dataSize = caps.setupPacketSize;
    const auto expectedSize = dataSize + setupPacketOverhead;
    int count = 0;

    if (dataSize < 0 || caps.numSyxPackagesPerSetup < 1)
    {
        statusOut |= fileIncomplete;
        return nullptr;
    }

    do
    {
        juce::MidiMessage m;
        int taken = 0;

        if (! readMessage (bytes + usedOut, size - usedOut, m, taken))
            statusOut |= fileUnreadable;
        else if (const auto bad = checkPacket (m, caps, cmdSetupData, expectedSize))
            statusOut |= bad;
        else if ((m.getRawData()[9] & 0x7F) != (count & 0x7F))
            statusOut |= fileOutOfOrder;
        else if (decode14 (m.getRawData() + 7) != caps.setupVersion)
            statusOut |= fileOtherVersion;
        else if (! checksumMatches (m, setupDataOffset, dataSize))
            statusOut |= fileBadChecksum;

        if (statusOut != fileSetup)
            return nullptr;

        setup->addMidiMessage (m);
        usedOut += taken;
        ++count;
    }
    while (usedOut < size && count < caps.numSyxPackagesPerSetup);

    if (count < caps.numSyxPackagesPerSetup)
    {
        statusOut |= fileIncomplete;
        return nullptr;
    }

    setup->setSetupDataVersion (caps.setupVersion);
    setup->setModified (false);
    return setup;
}

std::unique_ptr<Preset> SysEx::parsePreset (const uint8_t* bytes, int size, int& usedOut,
                                            juce::uint32& statusOut, const CapsBlock& caps)
{
    auto preset = std::make_unique<Preset> (caps);
    usedOut = 0;

    juce::MidiMessage header;

    if (! readMessage (bytes, size, header, usedOut))
    {
        statusOut = fileUnreadable;
        return nullptr;
    }

    PresetName name;
    statusOut = parsePresetHeader (header, caps, name);

    if (statusOut != 0)
        return nullptr;

    // A header may claim up to 127 steps: more than the product holds is no
    // preset it could take, whatever packets follow.
    if (name.numSteps > caps.maxPresetSteps)
    {
        statusOut = fileStepPacket | fileOverflow;
        return nullptr;
    }

    preset->setNameBytes (name);
    statusOut = fileStepPacket;

    const auto dataSize = caps.presetStepPacketSize;
    const auto expectedSize = dataSize + presetPacketOverhead;
    const auto expected = preset->getExpectedNumMessages();
    int count = 0;

    while (count < expected && dataSize >= 0)
    {
        if (usedOut >= size)
            break;

        juce::MidiMessage m;
        int taken = 0;

        if (! readMessage (bytes + usedOut, size - usedOut, m, taken))
            statusOut |= fileUnreadable;
        else if (const auto bad = checkPacket (m, caps, cmdPresetData, expectedSize))
            statusOut |= bad;
        else if ((m.getRawData()[7] & 0x7F) != (count & 0x7F))
            statusOut |= fileOutOfOrder;
        else if (! checksumMatches (m, presetDataOffset, dataSize))
            statusOut |= fileBadChecksum;

        if (statusOut != fileStepPacket)
            return nullptr;

        ++count;
        preset->addMidiMessage (m);
        usedOut += taken;
    }

    if (count < expected)
    {
        statusOut |= fileIncomplete;
        return nullptr;
    }

    preset->setModified (false);
    return preset;
}
