#pragma once

#include <juce_core/juce_core.h>

/** A version record of six 16-bit parts: the program's own version, a unit's
    firmware, the firmware a data file was made with, or an offered update. */
struct FirmwareVersion
{
    /** The values of releaseKind; a unit or a file may hold others. */
    enum class ReleaseKind : int16_t { release = 0, beta = 1, alpha = 2, demo = 3 };

    int16_t releaseKind = 0;
    int16_t major = 0;
    int16_t minor = 0;
    int16_t revision = 0;
    int16_t build = 0;         // comparisons use this part
    int16_t mcuVersion = 0;

    FirmwareVersion() = default;
    FirmwareVersion (int kind, int maj, int min, int rev, int bld, int mcu = 0);

    /** "BETA"/"B", "ALPHA"/"A", "DEMO"/"D"; empty for a release or an unknown kind. */
    juce::String getReleaseTag (bool longForm) const;

    /** "1.1.00 build 136", followed directly by the short release tag. */
    juce::String getVersionString() const;

    /** The six parts as "%d.%d.%d.%d.%d.%d". */
    juce::String toString() const;

    /** Reads the six dot-separated parts; missing parts read as 0, each part keeps its low 16 bits. */
    static FirmwareVersion fromString (const juce::String& text);

    /** Reads the texts of the maker's documents, such as "b 2.1.0 build 123" or
        "demo 1.2.3": an optional release tag, three numbers, an optional build. */
    static FirmwareVersion parseVersionText (const juce::String& text);

    bool operator== (const FirmwareVersion&) const = default;
};

/** A unit's date of manufacture, as the unit reports it and the known-device list keeps it. */
struct ManufactureDate
{
    int year = 0;
    int month = 0;
    int day = 0;

    /** "2014.07.31"; fields that are not there read as 0. */
    static ManufactureDate fromString (const juce::String& text);
    juce::String toString() const;

    bool operator== (const ManufactureDate&) const = default;
};

/** The display text: "1.1.00 build 136", the long release tag in brackets, optionally the mcu version. */
juce::String formatFirmwareVersion (const FirmwareVersion& version, bool withMcu);

/** The program's own version record. */
const FirmwareVersion& getApplicationVersionRecord();
