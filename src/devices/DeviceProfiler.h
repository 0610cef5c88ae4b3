#pragma once

/** Keeps the known-device list. (Stand-in until the profiler is built.) */
class DeviceProfiler
{
public:
    DeviceProfiler() = default;
    void initialise() {}
};
