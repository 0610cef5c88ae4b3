#pragma once

/** The application's state: commands are enabled by it and the device layer
    leaves the ports alone while a firmware update runs. */
enum class AppState
{
    idle           = 0,
    starting       = 1,   // until the first scan has ended
    scanning       = 2,
    rescanNeeded   = 3,   // the connection was lost or the MIDI ports changed
    firmwareUpdate = 4
};
