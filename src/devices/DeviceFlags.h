#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstdint>

/** The flag word of a unit: how its identification went and whether its ports
    are open. Written by the unit's thread (and by whoever opens or closes its
    ports), read by every other thread. */
class DeviceFlags
{
public:
    enum Bit : uint32_t
    {
        scanning        = 0x1,
        noAnswer        = 0x2,
        portFailure     = 0x4,
        identified      = 0x8,
        namesProduct    = 0x100,
        identifying     = 0x200,
        portsOpen       = 0x400,
        noPort          = 0x800,
        unknownProduct  = 0x1000000,
        readingInfo     = 0x2000000,
        contentNotReady = 0x4000000,

        answerBits      = 0xFF,         // what the unit answered, if anything
        faultBits       = 0xFF000000
    };

    uint32_t get() const noexcept                { return word.load(); }
    bool has (uint32_t bits) const noexcept      { return (word.load() & bits) != 0; }
    void reset (uint32_t value) noexcept         { word.store (value); }

    /** Sets and clears bits in one step. */
    void change (uint32_t toSet, uint32_t toClear = 0) noexcept;

    /** Identified, no fault bit from 0x1000000 up, and both ports there. */
    static bool isUsable (uint32_t flags) noexcept;

    /** The text shown for a flag word. */
    static juce::String getStateText (uint32_t flags);

private:
    std::atomic<uint32_t> word { scanning };
};
