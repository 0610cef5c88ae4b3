#pragma once

/** The fixed numbers of the conversation with a unit: the status bytes it
    answers with, the error codes a failed transaction leaves on it, and the
    waits and try counts of every exchange. */

/** Byte 7 of a status reply (0x34 or 0x7F), as the unit sends it. */
enum class ReplyStatus : int
{
    refused          = 0,       // firmware packet: send it again
    accepted         = 1,
    emptySlot        = 2,       // after a preset request: nothing stored there
    noMemory         = 3,
    versionConflict  = 4,
    corruption       = 5,
    rejected         = 6,
    bankSwap         = 8,       // accepted once the unit has swapped banks
    synchronisation  = 9,
    none             = 10000    // no status since the last request
};

/** What a failed transaction leaves on its unit; the texts are DeviceManager::getErrorText's. */
enum class DeviceError : int
{
    none             = 0,
    internal         = 0xA00002,
    unexpectedData   = 0xA00003,
    connectionLost   = 0xA00004,
    corruption       = 0xA00005,
    versionConflict  = 0xA00006,
    rejected         = 0xA00007,
    noMemory         = 0xA00008,
    synchronisation  = 0xA0000A,
    timeOut          = 0xA0000B,
    unspecified      = 0xA00100
};

/** Every wait of the device layer, in protocol milliseconds (platform::Clock
    scales them), and the try counts. */
struct ProtocolTiming
{
    static constexpr int identityWaitMs         = 500;     // identity, serial and date replies
    static constexpr int replyWaitMs            = 5000;    // a preset or setup transfer, a write's status
    static constexpr int firmwareReplyWaitMs    = 10000;   // a firmware packet's status
    static constexpr int retryPauseMs           = 500;     // after a failed try, before the input is flushed
    static constexpr int setupPacketPauseMs     = 50;      // before each setup packet that is written
    static constexpr int firmwareResendPauseMs  = 100;     // before a refused firmware packet goes again
    static constexpr int maxTries               = 10;
    static constexpr int maxFirmwareRejections  = 20;

    static constexpr int scanCycleMs            = 100;     // the scan looks at the units this often
    static constexpr int scanCycles             = 300;
    static constexpr int portWatchMs            = 3000;    // an idle manager looks at the port lists this often
    static constexpr int stateCheckMs           = 100;     // a worker waiting for a unit's state looks again at least this often
    static constexpr int checkBusyLimitMs       = 60000;   // a connection check waits this long for a busy unit
    static constexpr int checkRunLimitMs        = 15000;   // and this long for the check itself
    static constexpr int unitStopMs             = 5000;    // what a unit's thread may take to end, for waits that allow for it
};
