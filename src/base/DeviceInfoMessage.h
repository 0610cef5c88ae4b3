#pragma once

#include "base/DeviceCommandMessage.h"

class Preset;

/** A notification of the core, posted to the hub or straight to the content component. */
class DeviceInfoMessage : public juce::Message
{
public:
    enum Code
    {
        startupFinished        = 0x60000,
        aboutToQuit            = 0x60001,
        connectedDeviceChanged = 0x60002,
        askConvertBackups      = 0x60003,
        forgetKnownDevice      = 0x60004,
        optionsChanged         = 0x60005,
        showPresets            = 0x60006,

        downloadStatus         = 0x70000,
        downloadStarted        = 0x70002,
        downloadFinished       = 0x70003,
        downloadFailed         = 0x70004,   // value2 1: nothing to tell: told before, or the retries may still mend it
        descriptorRead         = 0x70005,   // the start's read of the server's master descriptor ended; value1 1: it came (online)

        devicesMade            = 0x80000,
        scanFinished           = 0x80001,   // value2 1: units identified after the scan, once their capabilities came
        activeDeviceLost       = 0x80002,
        portsChanged           = 0x80003,
        presetRead             = 0x80004,
        presetSlotEmpty        = 0x80007,
        presetWritten          = 0x80008,
        presetDeleteSent       = 0x80009,
        presetReadTryFailed    = 0x8000A,
        presetWriteTryFailed   = 0x8000B,
        setupPacketSent        = 0x8000C,
        setupReadTryFailed     = 0x8000D,
        setupWriteTryFailed    = 0x8000E,
        firmwarePacketSent     = 0x8000F,
        firmwarePacketResent   = 0x80010,
        bankSwapWait           = 0x80011,
        commandDone            = 0x80050,
        commandAborted         = 0x80051,
        commandFailed          = 0x82000,

        firmwareStopPressed    = 0x84000,
        firmwareUpdateEnded    = 0x84001,

        backupConversionDone   = 0x85001
    };

    DeviceInfoMessage() = default;
    DeviceInfoMessage (int code, int value1, int value2, const juce::String& text);

    /** The form of a device object's replies: values 0, empty text, a copy of the command. */
    DeviceInfoMessage (int code, const DeviceCommandMessage& command);

    DeviceInfoMessage (const DeviceInfoMessage& other);
    DeviceInfoMessage& operator= (const DeviceInfoMessage& other);

    void copyFrom (const DeviceInfoMessage& other);

    int code = 0;
    int value1 = 0;
    int value2 = 0;
    juce::String text;
    DeviceCommandMessage command;

    /** With a preset read (0x80004): a copy of the preset as it arrived, which
        no other thread touches, so the workspace can take it at once. */
    std::shared_ptr<const Preset> preset;
};
