#pragma once

#include "model/CapsBlock.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <atomic>
#include <mutex>

/** A preset or a setup kept as the unit sends it: its list of SysEx packets,
    the capability block that lays them out, a modified flag and the md5 of
    the content. Values are decoded from the packets on demand. */
class DeviceMidiData
{
public:
    enum Kind { kindPreset = 1, kindSetup = 2 };

    using Digest = std::array<uint8_t, 16>;

    explicit DeviceMidiData (const CapsBlock& caps);
    DeviceMidiData (const DeviceMidiData& other);
    virtual ~DeviceMidiData() = default;

    /** Copies the flag, the block, the packets and the md5. */
    virtual void assign (const DeviceMidiData& other);

    virtual int getKind() const = 0;

    /** Sets the flag and drops the md5, whatever the flag. */
    virtual void setModified (bool flag);
    virtual bool isModified() const                        { return modified; }

    /** Removes all packets; flag false, md5 dropped. */
    virtual void clear();

    virtual const CapsBlock& getCapsBlock() const          { return caps; }
    virtual void setCapsBlock (const CapsBlock& block)     { caps = block; }

    /** Appends a copy; sets the flag and drops the md5. */
    virtual void addMidiMessage (const juce::MidiMessage& message);

    virtual int getNumMidiMessages() const                 { return messages.size(); }

    /** The packet, or null outside 0 .. count - 1. */
    virtual const juce::MidiMessage* getMidiMessage (int index) const;

    virtual bool isCompatible (const DeviceMidiData& other) const = 0;
    virtual bool isComplete() const = 0;
    virtual int getExpectedNumMessages() const = 0;
    virtual int getFormatVersion() const = 0;
    virtual bool writeToStream (juce::OutputStream& out) const = 0;
    virtual bool writeSysEx (juce::OutputStream& out) const = 0;
    virtual bool readFromStream (juce::InputStream& in) = 0;

    /** The content md5, computed first when it is not known yet. Readers of one
        const object may ask for it on several threads at once. */
    const Digest& getMD5() const;

    /** The md5 as 32 lower-case hexadecimal characters. */
    juce::String getMD5String() const;

protected:
    DeviceMidiData& operator= (const DeviceMidiData&) = delete;

    /** The md5 of the content as it is now. */
    virtual Digest calculateMD5() const = 0;

    /** For every change of the packets or the name: the kept md5 no longer holds. */
    void forgetMD5()                                        { md5Known.store (false, std::memory_order_relaxed); }

    /** The md5 of each packet's bytes, in order, into `digests`. */
    void addPacketDigests (juce::MemoryOutputStream& digests) const;
    static Digest digestOf (const juce::MemoryOutputStream& digests);

    /** Writes every packet as int size and bytes; false at the first missing or failed one. */
    bool writePackets (juce::OutputStream& out, int count) const;

    /** Every packet's bytes, then a flush; false at the first failed write. */
    bool writeRawPackets (juce::OutputStream& out) const;

    bool modified = false;
    CapsBlock caps;
    juce::Array<juce::MidiMessage> messages;

private:
    // Filled by the first reader under the lock, then published by the flag:
    // a reader that sees the flag set reads a finished digest without locking.
    // Changes come only through non-const calls, never beside readers.
    mutable Digest md5 {};
    mutable std::atomic<bool> md5Known { false };
    mutable std::mutex md5Lock;
};
