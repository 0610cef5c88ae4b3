#pragma once

#include <juce_events/juce_events.h>

/** A message listener that several threads may post to, the first message too.
    JUCE makes a listener's weak reference at its first post, without a lock,
    so two threads posting first at once would both make it: it is made here,
    on the thread that builds the listener, before anyone can post. */
class MessageTarget : public juce::MessageListener
{
protected:
    MessageTarget()
    {
        const juce::WeakReference<juce::MessageListener> madeBeforeAnyPost (this);
    }
};
