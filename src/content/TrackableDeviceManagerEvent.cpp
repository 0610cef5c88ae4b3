#include "content/TrackableDeviceManagerEvent.h"

#include "app/Nexus.h"
#include "devices/DeviceManager.h"

TrackableDeviceManagerEvent::TrackableDeviceManagerEvent (const juce::String& scriptName)
    : TrackableEvent (scriptName), time (juce::Time::getCurrentTime())
{
    auto* devices = Nexus::getDeviceManager();

    if (devices == nullptr || devices->getActiveIndex() < 0)
        return;

    productId = (uint8_t) devices->getDeviceProductId (-1);
    serial = devices->getDeviceSerial (-1);
    version = devices->getDeviceVersion (-1);
    displayName = devices->getActiveDeviceDisplayName();
}
