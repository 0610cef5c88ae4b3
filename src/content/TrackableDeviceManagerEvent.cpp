#include "content/TrackableDeviceManagerEvent.h"

#include <mutex>

namespace
{
    std::mutex queryLock;
    std::function<TrackableDeviceManagerEvent::Unit()> activeUnitQuery;
}

TrackableDeviceManagerEvent::TrackableDeviceManagerEvent (const juce::String& scriptName, const Unit& activeUnit)
    : TrackableEvent (scriptName),
      time (juce::Time::getCurrentTime()),
      productId (activeUnit.productId),
      serial (activeUnit.serial),
      version (activeUnit.version),
      displayName (activeUnit.displayName)
{
}

void TrackableDeviceManagerEvent::setActiveUnitQuery (std::function<Unit()> query)
{
    const std::lock_guard guard (queryLock);
    activeUnitQuery = std::move (query);
}

TrackableDeviceManagerEvent::Unit TrackableDeviceManagerEvent::queryActiveUnit()
{
    std::function<Unit()> query;

    {
        const std::lock_guard guard (queryLock);
        query = activeUnitQuery;
    }

    return query != nullptr ? query() : Unit();
}
