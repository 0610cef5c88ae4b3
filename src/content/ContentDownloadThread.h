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
    and goes on from there in its next turn.

    A product whose download failed, or left a picture out, is fetched again
    after a pause that the download policy sets by how it failed, for as long
    as the thread runs; a new request for it asks at once. A pause that ends
    while another product's file is receiving lets it go first, as a new
    request does. A failure is told as new only once for the same kinds of
    content until the product's download succeeds, and only once the download
    has failed for a while or its next try is far off: what the retries mend
    soon goes untold. */
class ContentDownloadThread : public juce::Thread,
                              private juce::Thread::Listener
{
public:
    ContentDownloadThread (ContentManager& catalogue, juce::MessageListener& notifications);
    ~ContentDownloadThread() override;

    /** Queues a product unless it is queued or its last download ended less
        than minimumCheckInterval ago; one waiting to be fetched again is
        queued at once. */
    void requestDownload (int productId);

    /** Queues at once a product waiting to be fetched again; false when it is not. */
    bool retryNow (int productId);

    /** Runs the catalogue's content request for a product here, in the order
        asked, before the next download starts. */
    void requestPreparation (int productId);

    /** Also true while the product is being prepared or fetched. */
    bool isQueued (int productId) const;

    /** Only the download: queued or being fetched, not a preparation waiting for its turn. */
    bool isDownloading (int productId) const;

    void enqueue (int productId);

    void run() override;

    std::atomic<double> minimumCheckInterval { platform::DownloadPolicy::minimumCheckSeconds };

private:
    void exitSignalSent() override;
    bool isIdle() const;
    bool prepareNext();
    void downloadNext();
    void queueLocked (uint8_t id);   // under queueLock
    bool scheduleRetry (uint8_t id, bool again, platform::DownloadPolicy::Failure failure);   // whether the failure is worth telling
    int queueDueRetries();   // the wait until the next one is due; -1 when none is waiting
    bool toldBefore (uint8_t id, const juce::Array<ContentKind>& failed);
    void post (int code, int value1, const juce::String& text, int value2 = 0);

    struct Retry
    {
        juce::uint32 dueAt = 0, failingSince = 0;
        int pauseMs = 0;
        platform::DownloadPolicy::Failure failure {};
        bool waiting = false;   // not queued yet
        bool early = false;     // queued by a request before its pause ended
    };

    ContentManager& catalogue;
    juce::MessageListener& notifications;
    platform::CriticalSection queueLock;
    juce::Array<uint8_t> queue, preparations;
    std::map<uint8_t, Retry> retries;                                 // under queueLock
    std::atomic<int> arrivals { 0 };                                  // products queued so far
    std::map<uint8_t, ContentManager::ProductDownload> unfinished;   // the products that made way; this thread's alone
    std::map<uint8_t, juce::Array<ContentKind>> told;                 // the failures told; this thread's alone
    platform::Event wake;

    JUCE_DECLARE_NON_COPYABLE (ContentDownloadThread)
};
