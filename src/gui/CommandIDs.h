#pragma once

/** The application commands, in the order the content component lists them. */
namespace CommandIDs
{
    enum
    {
        showToolsMenu            = 0x30000,
        showHelpMenu             = 0x30001,
        signIn                   = 0x30002,
        showDeveloperMenu        = 0x30003,
        showOptions              = 0x31000,
        showFirmwareUpdates      = 0x31001,
        showFirmwareBuilds       = 0x31002,
        openManual               = 0x32000,
        openOnlineManual         = 0x32001,
        openHelpPage             = 0x32002,
        openRegistrationPage     = 0x32003,
        openSupportPage          = 0x32004,
        showAbout                = 0x32005,
        showMidiDevicesHelp      = 0x32006,
        scanForDevices           = 0x36000,
        connectSelectedDevice    = 0x36001,
        disconnectDevice         = 0x36002,
        showMidiDevices          = 0x36003,
        updateFirmware           = 0x3d100,
        updateFirmwareNow        = 0x3d101,
        downloadDeviceData       = 0x3d000,
        applyChanges             = 0x3d001,
        restoreSetup             = 0x3d002,
        sendDirectToDevice       = 0x3d003,
        restoreToDevice          = 0x3d004,
        useCustomDeviceProfile   = 0x3e000,
        generatePresetChecksums  = 0x3e001,
        firmwareUploadStressTest = 0x3e002
    };
}
