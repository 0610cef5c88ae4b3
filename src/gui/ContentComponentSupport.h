#pragma once

#include "app/Belvora.h"
#include "app/Nexus.h"
#include "devices/DeviceManager.h"
#include "tracking/EventTracker.h"
#include "tracking/EventUpdate.h"

/** What the main window's content component's source files share: the
    application's state and its active unit. */
namespace ContentComponentSupport
{
    inline AppState currentAppState()
    {
        auto* app = Belvora::getInstance();
        return app != nullptr ? app->getAppState() : AppState::starting;
    }

    inline DeviceManager* devices()    { return Nexus::getDeviceManager(); }

    inline bool hasActiveDevice()
    {
        auto* d = devices();
        return d != nullptr && d->getActiveIndex() >= 0;
    }

    inline juce::String activeDeviceName()
    {
        auto* d = devices();
        return d != nullptr ? d->getActiveDeviceDisplayName() : juce::String();
    }

    inline juce::PropertiesFile& settings()   { return Belvora::getUserSettings(); }

    inline EventUpdate::Unit activeUnit (const juce::String& name)
    {
        auto* d = devices();

        if (d == nullptr)
            return {};

        return { (uint8_t) d->getDeviceProductId (-1), d->getDeviceSerial (-1), d->getDeviceVersion (-1), name };
    }

    inline void queueUsageEvent (TrackableEvent* event)
    {
        if (auto* tracker = Nexus::getEventTracker())
            tracker->addEvent (event, -1, false);
        else
            delete event;
    }
}
