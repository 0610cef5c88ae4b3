#pragma once

#include "platform/CriticalSection.h"
#include "platform/Event.h"

#include <juce_events/juce_events.h>

class ContentManager;

/** The worker "Content Downloader": fetches one queued product's firmware
    list, conversion rules and preset pack at a time and reports progress to
    the hub. */
class ContentDownloadThread : public juce::Thread,
                              private juce::Thread::Listener
{
public:
    explicit ContentDownloadThread (ContentManager& catalogue);
    ~ContentDownloadThread() override;

    /** Queues a product unless it is queued or its last download ended less
        than minimumCheckInterval ago. */
    void requestDownload (int productId);

    /** Also true while the product is being fetched. */
    bool isQueued (int productId) const;

    void enqueue (int productId);

    /** Posts a status text (0x70000). */
    static void postStatus (const juce::String& text);

    /** Where notifications go instead of the hub; null: the hub. */
    static void setMessageTarget (juce::MessageListener* target);

    void run() override;

    double minimumCheckInterval = 5.0;   // seconds

private:
    void exitSignalSent() override;
    static void post (int code, int value1, const juce::String& text);

    ContentManager& catalogue;
    platform::CriticalSection queueLock;
    juce::Array<uint8_t> queue;
    platform::Event wake;

    JUCE_DECLARE_NON_COPYABLE (ContentDownloadThread)
};
