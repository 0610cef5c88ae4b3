#pragma once

#include "model/CapsBlock.h"
#include "model/FirmwareVersion.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>

struct PresetName;
class Preset;
class SetupData;
class SysExTemplate;

/** The SysEx frame of the units, its number encodings, the message builders
    and the parsers of replies, packets and files. Byte positions count from
    the opening 0xF0 as byte 0. */
namespace SysEx
{
    constexpr uint8_t startByte = 0xF0;
    constexpr uint8_t endByte = 0xF7;

    constexpr uint8_t genericProductId = 0x7F;
    constexpr uint8_t firmwareProductId = 0x60;
    constexpr uint8_t placeholderProductId = 0xFF;

    // Byte 6 of every message.
    constexpr uint8_t cmdIdentity = 0x7E;
    constexpr uint8_t cmdPresetRequest = 0x45;
    constexpr uint8_t cmdPresetDelete = 0x50;
    constexpr uint8_t cmdSetupRequest = 0x15;
    constexpr uint8_t cmdSuspend = 0x57;
    constexpr uint8_t cmdPresetHeader = 0x20;
    constexpr uint8_t cmdPresetData = 0x21;
    constexpr uint8_t cmdSetupData = 0x13;
    constexpr uint8_t cmdStatus = 0x34;
    constexpr uint8_t cmdError = 0x7F;
    constexpr uint8_t cmdTransferEnd = 0x56;
    constexpr uint8_t cmdFirmwarePacket = 0x7E;
    constexpr uint8_t cmdFirmwareEnd = 0x7D;
    constexpr uint8_t cmdFirmwareStart = 0x51;

    // Byte 7 of an identity request or reply.
    constexpr uint8_t identityVersion = 0x7F;
    constexpr uint8_t identitySerial = 0x07;
    constexpr uint8_t identityDate = 0x09;

    constexpr int identityMessageSize = 17;
    constexpr int presetHeaderSize = 32;
    constexpr int headerNameBytes = 15;       // room for the name in a preset header
    constexpr int presetPacketOverhead = 10;  // frame, command, index, checksum
    constexpr int setupPacketOverhead = 12;   // frame, command, version, index, checksum
    constexpr int presetDataOffset = 8;
    constexpr int setupDataOffset = 10;

    /** The four bytes every message starts with after F0: the maker's id and a fixed 0. */
    bool hasMakerFrame (const uint8_t* bytes, int size);

    //==============================================================================
    // Number encodings (all bytes 7-bit, most significant first).

    void encode14 (int value, uint8_t* out);
    int decode14 (const uint8_t* bytes);          // -8192 .. 8191
    void encode28 (int value, uint8_t* out);
    int decode28 (const uint8_t* bytes);          // -134217728 .. 134217727

    /** Byte-wise sum of the data bytes, kept to 8 bits while adding, then 7 bits. */
    uint8_t checksum (const uint8_t* data, int size);

    //==============================================================================
    // Builders.

    juce::MidiMessage createInquiry();
    juce::MidiMessage createPresetRequest (uint8_t productId, int number);
    juce::MidiMessage createPresetDeleteRequest (uint8_t productId, int number);
    juce::MidiMessage createSetupRequest (uint8_t productId);
    juce::MidiMessage createSuspendRequest (uint8_t productId, bool resume);
    juce::MidiMessage createFirmwarePacketHeader (uint8_t checksumByte, int count);
    juce::MidiMessage createFirmwarePacketEnd();

    /** The 32-byte header of a preset; at most 15 name bytes travel. */
    juce::MidiMessage createPresetHeader (const PresetName& name, uint8_t productId);

    /** The step packets (0x21) of one preset step; empty when the values do not fit the block. */
    juce::Array<juce::MidiMessage> createDataMessages (const juce::Array<int>& values, const CapsBlock& caps);

    /** The setup packets (0x13); empty unless the values fill exactly the block's packet count. */
    juce::Array<juce::MidiMessage> createSetupMessages (const juce::Array<int>& values, const CapsBlock& caps);

    //==============================================================================
    // Parsers of replies and packets.

    /** Byte 5 of a SysEx message of at least 9 bytes, else 0. */
    int getDeviceId (const juce::MidiMessage& message);

    /** The command byte of one of our messages, or -1 when the message is not one. */
    int getCommand (const juce::MidiMessage& message);

    /** Identity replies; all zero unless the template takes the message as its unit's answer. */
    FirmwareVersion parseFirmwareVersion (const juce::MidiMessage& message, const SysExTemplate& unit);
    juce::uint32 parseSerialNumber (const juce::MidiMessage& message, const SysExTemplate& unit);

    /** An unset date (year 0) reads as 7 December 1941. */
    ManufactureDate parseDate (const juce::MidiMessage& message, const SysExTemplate& unit);

    /** Status bits of a preset header. */
    constexpr juce::uint32 headerOtherProduct = 0x100000;
    constexpr juce::uint32 headerOtherVersion = 0x40000;
    constexpr juce::uint32 headerMalformed = 0x80000000;

    /** Fills `name` from a 32-byte 0x20 message: 0, headerOtherProduct, headerOtherVersion,
        or headerMalformed (not a whole preset header; the name block is then cleared). */
    juce::uint32 parsePresetHeader (const juce::MidiMessage& message, const CapsBlock& caps, PresetName& name);

    /** The 28-bit values of a data packet (0x21 or 0x13); empty for anything else.
        A trailing partial group of bytes is dropped. */
    juce::Array<int> getDataValues (const juce::MidiMessage& message);

    //==============================================================================
    // SysEx files.

    // File check codes (single values below 0x10000) and status bits.
    constexpr juce::uint32 fileSetup = 1;
    constexpr juce::uint32 filePreset = 2;
    constexpr juce::uint32 fileCompatiblePreset = 0x12;
    constexpr juce::uint32 fileStepPacket = 4;
    constexpr juce::uint32 fileFirmware = 8;
    constexpr juce::uint32 fileNotSysEx = 0x10000;
    constexpr juce::uint32 fileOtherMaker = 0x20000;
    constexpr juce::uint32 fileOtherVersion = 0x40000;
    constexpr juce::uint32 fileSetupOtherVersion = 0x40001;
    constexpr juce::uint32 filePresetOtherVersion = 0x40002;
    constexpr juce::uint32 fileOtherCommand = 0x80000;
    constexpr juce::uint32 fileOtherProduct = 0x100000;
    constexpr juce::uint32 fileCannotOpen = 0x200000;
    constexpr juce::uint32 fileOutOfOrder = 0x1000000;
    constexpr juce::uint32 fileBadChecksum = 0x2000000;
    constexpr juce::uint32 fileIncomplete = 0x4000000;
    constexpr juce::uint32 fileOverflow = 0x8000000;
    constexpr juce::uint32 fileBeyondLastSlot = 0x10000000;
    constexpr juce::uint32 fileNotASlot = 0x40000000;
    constexpr juce::uint32 fileUnreadable = 0x80000000;

    /** Classifies the message at `bytes` against a block and, when given, the product's
        list of compatible preset versions. Reads at most 11 bytes and never past `size`. */
    juce::uint32 checkFileContent (const uint8_t* bytes, int size, const CapsBlock& caps,
                                   const juce::Array<int>* compatiblePresetVersions,
                                   int& productIdOut, int& versionOut);

    /** checkFileContent of the first 32 bytes of a file. */
    juce::uint32 readFileHeader (const juce::File& file, const CapsBlock& caps,
                                 const juce::Array<int>* compatiblePresetVersions,
                                 int& productIdOut, int& versionOut);

    /** The same classification without a block. */
    juce::uint32 peekFile (const juce::File& file, int& productIdOut, int& versionOut);

    /** Takes one message from the bytes; false when none can be made or it uses no bytes. */
    bool readMessage (const uint8_t* bytes, int size, juce::MidiMessage& message, int& usedOut);

    /** The largest ".syx" file read: such files are small, a huge one is refused rather than read. */
    constexpr juce::int64 maxFileBytes = 64 * 1024 * 1024;

    /** Whole messages from the first byte to the last: each an F0, data bytes below 0x80 and
        an F7, one right after another; false for no bytes at all. */
    bool isWholeMessages (const void* bytes, size_t size);

    /** A firmware image's messages: its start, and the firmware transfer's packets. */
    bool isFirmwareImageStart (const uint8_t* message, int size);
    bool isFirmwarePacket (const uint8_t* message, int size);

    /** Whole messages, the first an image's start and every other a firmware packet. */
    bool isFirmwareImage (const void* bytes, size_t size);

    /** Splits a whole file into messages; false when it cannot be read, is empty or
        holds bytes that make no message (the messages before them stay). */
    bool readFile (const juce::File& file, juce::Array<juce::MidiMessage>& messages);

    /** The same for a file's bytes already read. */
    bool readMessages (const juce::MemoryBlock& bytes, juce::Array<juce::MidiMessage>& messages);

    /** A setup from consecutive setup packets, or none with the reason in statusOut. */
    std::unique_ptr<SetupData> parseSetupData (const uint8_t* bytes, int size, int& usedOut,
                                               juce::uint32& statusOut, const CapsBlock& caps);

    /** A preset from a header and its step packets, or none with the reason in statusOut. */
    std::unique_ptr<Preset> parsePreset (const uint8_t* bytes, int size, int& usedOut,
                                         juce::uint32& statusOut, const CapsBlock& caps);
}
