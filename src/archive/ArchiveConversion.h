#pragma once

#include "conversion/DataConversionManager.h"
#include "model/DeviceDataArchive.h"

/** Converting a stored archive to another firmware build of its own product. */
struct ArchiveConversion
{
    /** Converts the archive's data with the converter (whose listeners hear the
        progress). On success the archive holds the new data, a new identity
        and checksum, and is modified; nothing is written or deleted: the
        caller saves it, over its old files if it likes. On failure the archive
        is as it was, errorText holds the converter's text and the result its
        error bits (bits 0 to 4 for an archive without data). */
    static juce::BigInteger convert (DeviceDataArchive& archive, DataConversionManager& converter,
                                     const FirmwareVersion& target, juce::String& errorText);
};
