#include "devices/DeviceFlags.h"

void DeviceFlags::change (uint32_t toSet, uint32_t toClear) noexcept
{
    auto current = word.load();

    while (! word.compare_exchange_weak (current, (current & ~toClear) | toSet))
    {
    }
}

bool DeviceFlags::isUsable (uint32_t f) noexcept
{
    return (f & identified) != 0 && (f & faultBits) == 0 && (f & noPort) == 0;
}

juce::String DeviceFlags::getStateText (uint32_t f)
{
    if ((f & portsOpen) != 0)        return "Connected";
    if ((f & identified) != 0)       return "Ready";
    if ((f & portFailure) != 0)      return "Busy / Unavailable";
    if ((f & readingInfo) != 0)      return "Scan Failed";
    if ((f & unknownProduct) != 0)   return "Unknown MWD Device";
    if ((f & identifying) != 0)      return "<Scanning Device>";
    if ((f & noPort) != 0)           return "No MIDI Output";
    if ((f & namesProduct) != 0)     return "Unknown State";
    if ((f & noAnswer) != 0)         return "Not a MWD Device";
    return "???";
}
