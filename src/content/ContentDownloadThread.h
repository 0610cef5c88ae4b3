#pragma once

#include "content/ContentManager.h"
#include "platform/CriticalSection.h"
#include "platform/Event.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <map>

/** The worker "Content Downloader": prepares the products asked for without
    waiting (their capability document), and fetches one queued product's
    content at a time (capabilities, firmware list, conversion rules, pictures
    and preset pack), reporting progress to the listener it was given (the hub).
    A product whose files keep the others waiting goes to the back of the queue
    and goes on from there in its next turn. */
class ContentDownloadThread : public juce::Thread,
                              private juce::Thread::Listener
{
public:
    ContentDownloadThread (ContentManager& catalogue, juce::MessageListener& notifications);
    ~ContentDownloadThread() override;

    /** Queues a product unless it is queued or its last download ended less
        than minimumCheckInterval ago. */
    void requestDownload (int productId);

    /** Runs the catalogue's content request for a product here, in the order
        asked, before the next download starts. */
    void requestPreparation (int productId);

    /** Also true while the product is being prepared or fetched. */
    bool isQueued (int productId) const;

    /** Only the download: queued or being fetched, not a preparation waiting for its turn. */
    bool isDownloading (int productId) const;

    void enqueue (int productId);

    void run() override;

    std::atomic<double> minimumCheckInterval { 5.0 };   // seconds

private:
    void exitSignalSent() override;
    bool isIdle() const;
    bool prepareNext();
    void downloadNext();
    void post (int code, int value1, const juce::String& text);

    ContentManager& catalogue;
    juce::MessageListener& notifications;
    platform::CriticalSection queueLock;
    juce::Array<uint8_t> queue, preparations;
    std::map<uint8_t, ContentManager::ProductDownload> unfinished;   // the products that made way; this thread's alone
    platform::Event wake;

    JUCE_DECLARE_NON_COPYABLE (ContentDownloadThread)
};
