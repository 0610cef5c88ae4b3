#pragma once

#include "base/DeviceInfoMessage.h"

/** What the content component broadcasts to its change listeners. */
class ChangeInfo : public juce::ReferenceCountedObject
{
public:
    enum Kind
    {
        appStateChanged = 1,
        commandInvoked  = 2,
        notification    = 3
    };

    using Ptr = juce::ReferenceCountedObjectPtr<ChangeInfo>;

    explicit ChangeInfo (int kindOfChange) : kind (kindOfChange) {}
    explicit ChangeInfo (const DeviceInfoMessage& m) : message (m), kind (notification) {}

    static ChangeInfo forAppState (int newState, int oldState)
    {
        ChangeInfo info (appStateChanged);
        info.newAppState = newState;
        info.oldAppState = oldState;
        return info;
    }

    static ChangeInfo forCommand (int id)
    {
        ChangeInfo info (commandInvoked);
        info.commandId = id;
        return info;
    }

    ChangeInfo (const ChangeInfo& other)
        : juce::ReferenceCountedObject(), newAppState (other.newAppState), oldAppState (other.oldAppState),
          commandId (other.commandId), message (other.message), kind (other.kind)
    {
    }

    ChangeInfo& operator= (const ChangeInfo& other)
    {
        newAppState = other.newAppState;
        oldAppState = other.oldAppState;
        commandId = other.commandId;
        message = other.message;
        kind = other.kind;
        return *this;
    }

    int newAppState = -1;
    int oldAppState = -1;
    int commandId = 0;
    DeviceInfoMessage message;
    int kind;
};
