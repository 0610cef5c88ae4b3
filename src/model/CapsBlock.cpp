#include "model/CapsBlock.h"

namespace
{
    template <typename Fn>
    void forEachInteger (CapsBlock& b, Fn&& fn)
    {
        for (auto* field : { &b.numSyxPackagesPerPresetStep, &b.presetStepPacketSize, &b.presetVersion,
                             &b.numSyxPackagesPerSetup, &b.setupPacketSize, &b.setupVersion,
                             &b.numPresets, &b.presetNameLength, &b.maxPresetSteps })
            fn (*field);
    }

    bool readIntegers (CapsBlock& block, juce::InputStream& in)
    {
        bool complete = true;

        forEachInteger (block, [&] (int32_t& field)
        {
            uint8_t bytes[4] = {};
            complete = complete && in.read (bytes, 4) == 4;
            field = (int32_t) juce::ByteOrder::littleEndianInt (bytes);
        });

        return complete;
    }
}

void CapsBlock::writeToStream (juce::OutputStream& out) const
{
    out.writeByte ((char) productId);
    auto copy = *this;
    forEachInteger (copy, [&] (int32_t& field) { out.writeInt (field); });
}

bool CapsBlock::readFromStream (juce::InputStream& in)
{
    uint8_t id = 0;

    if (in.read (&id, 1) != 1)
        return false;

    productId = id;
    return readIntegers (*this, in);
}

bool CapsBlock::readLegacyFromStream (juce::InputStream& in)
{
    uint8_t head[4] = {};

    if (in.read (head, 4) != 4)
        return false;

    productId = head[0];
    return readIntegers (*this, in);
}

bool isValidCapsBlock (const CapsBlock& b)
{
    if (b.productId == 0)                return false;
    if (b.presetVersion < 1)             return false;
    if (b.setupVersion < 1)              return false;

    if (b.numPresets >= 1 && (b.numSyxPackagesPerPresetStep < 0 || b.presetStepPacketSize < 0))
        return false;

    return b.numSyxPackagesPerSetup >= 0 && b.setupPacketSize >= 0;
}
