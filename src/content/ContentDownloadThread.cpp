#include "content/ContentDownloadThread.h"

#include "base/DeviceInfoMessage.h"
#include "content/ContentManager.h"
#include "platform/Clock.h"

#include <algorithm>

ContentDownloadThread::ContentDownloadThread (ContentManager& owner, juce::MessageListener& target)
    : juce::Thread ("Content Downloader"), catalogue (owner), notifications (target)
{
    addListener (this);
}

ContentDownloadThread::~ContentDownloadThread()
{
    // Every wait and transfer of the thread ends on the stop request.
    signalThreadShouldExit();
    stopThread (-1);
    removeListener (this);
}

void ContentDownloadThread::post (int code, int value1, const juce::String& text, int value2)
{
    notifications.postMessage (new DeviceInfoMessage (code, value1, value2, text));
}

void ContentDownloadThread::requestDownload (int productId)
{
    const auto id = (uint8_t) productId;
    const auto sinceLastCheck = (juce::Time::getCurrentTime() - catalogue.getLastCheckTime (id)).inSeconds();

    {
        const platform::ScopedLock sl (queueLock);
        auto retry = retries.find (id);
        const auto retryWaiting = retry != retries.end() && retry->second.waiting;

        if (queue.contains (id) || (sinceLastCheck <= minimumCheckInterval.load() && ! retryWaiting))
            return;

        if (retryWaiting)
        {
            retry->second.waiting = false;
            retry->second.early = true;
        }

        queueLocked (id);
    }

    wake.set();
}

void ContentDownloadThread::queueLocked (uint8_t id)
{
    queue.addIfNotAlreadyThere (id);
    ++arrivals;
}

bool ContentDownloadThread::retryNow (int productId)
{
    {
        const platform::ScopedLock sl (queueLock);
        auto retry = retries.find ((uint8_t) productId);

        if (retry == retries.end() || ! retry->second.waiting)
            return false;

        retry->second.waiting = false;
        retry->second.early = true;
        queueLocked ((uint8_t) productId);
    }

    wake.set();
    return true;
}

bool ContentDownloadThread::scheduleRetry (uint8_t id, bool again, platform::DownloadPolicy::Failure failure)
{
    using Policy = platform::DownloadPolicy;
    const platform::ScopedLock sl (queueLock);

    if (! again)
    {
        retries.erase (id);
        return false;
    }

    const auto now = platform::Clock::now();
    auto [entry, first] = retries.try_emplace (id);
    auto& retry = entry->second;

    if (first)
        retry.failingSince = now;

    // The start's own requests ask again at once: a try they made does not lengthen the pause.
    retry.pauseMs = Policy::nextPauseMs (failure, retry.failure, retry.pauseMs, retry.early);
    retry.failure = failure;
    retry.dueAt = platform::Clock::deadlineAfter (retry.pauseMs);
    retry.waiting = true;
    retry.early = false;
    return Policy::isWorthTelling ((int) (now - retry.failingSince), retry.pauseMs);
}

int ContentDownloadThread::queueDueRetries()
{
    const platform::ScopedLock sl (queueLock);
    int wait = -1;

    for (auto& [id, retry] : retries)
    {
        if (! retry.waiting)
            continue;

        if (platform::Clock::hasPassed (retry.dueAt))
        {
            retry.waiting = false;
            retry.early = false;
            queueLocked (id);
            continue;
        }

        const auto left = juce::jmax (1, (int) (retry.dueAt - platform::Clock::now()));
        wait = wait < 0 ? left : juce::jmin (wait, left);
    }

    return wait;
}

bool ContentDownloadThread::toldBefore (uint8_t id, const juce::Array<ContentKind>& failed)
{
    auto& kinds = told[id];
    const auto before = ! failed.isEmpty() && std::all_of (failed.begin(), failed.end(), [&kinds] (ContentKind k) { return kinds.contains (k); });

    for (auto kind : failed)
        kinds.addIfNotAlreadyThere (kind);

    return before;
}

void ContentDownloadThread::requestPreparation (int productId)
{
    {
        const platform::ScopedLock sl (queueLock);
        preparations.addIfNotAlreadyThere ((uint8_t) productId);
    }

    wake.set();
}

bool ContentDownloadThread::isQueued (int productId) const
{
    const platform::ScopedLock sl (queueLock);
    return queue.contains ((uint8_t) productId) || preparations.contains ((uint8_t) productId);
}

bool ContentDownloadThread::isDownloading (int productId) const
{
    const platform::ScopedLock sl (queueLock);
    return queue.contains ((uint8_t) productId);
}

void ContentDownloadThread::enqueue (int productId)
{
    {
        const platform::ScopedLock sl (queueLock);
        queue.add ((uint8_t) productId);
    }

    ++arrivals;
}

void ContentDownloadThread::exitSignalSent()
{
    wake.set();
}

bool ContentDownloadThread::isIdle() const
{
    const platform::ScopedLock sl (queueLock);
    return queue.isEmpty() && preparations.isEmpty();
}

void ContentDownloadThread::run()
{
    while (! threadShouldExit())
    {
        const auto untilRetry = queueDueRetries();

        if (isIdle())
            wake.wait (untilRetry);

        if (threadShouldExit())
            break;

        queueDueRetries();

        if (! prepareNext())
            downloadNext();

        platform::Clock::yield();
    }
}

// The product stays among the preparations until its request queued its
// download, so it never looks unqueued in between.
bool ContentDownloadThread::prepareNext()
{
    int id = -1;

    {
        const platform::ScopedLock sl (queueLock);
        if (! preparations.isEmpty())
            id = preparations.getFirst();
    }

    if (id < 0)
        return false;

    catalogue.requestProductContent (id);

    const platform::ScopedLock sl (queueLock);
    preparations.remove (0);
    return true;
}

void ContentDownloadThread::downloadNext()
{
    uint8_t id = 0;

    {
        const platform::ScopedLock sl (queueLock);
        if (queue.isEmpty())
            return;

        id = queue.getFirst();
    }

    const auto name = catalogue.getProductName (id);
    post (DeviceInfoMessage::downloadStarted, id, name);

    // A pause that ends while a file is receiving counts as a new request: both look at it.
    auto& download = unfinished[id];
    download.othersWaiting = [this, id]
    {
        queueDueRetries();
        const platform::ScopedLock sl (queueLock);
        return std::any_of (queue.begin(), queue.end(), [id] (uint8_t other) { return other != id; });
    };
    download.arrivals = [this] { queueDueRetries(); return arrivals.load(); };

    const auto ok = catalogue.downloadProductContent (id, this, &download);
    const auto yielded = download.yielded;

    {
        const platform::ScopedLock sl (queueLock);
        queue.remove (0);

        // Moved within one hold of the lock, so it never looks unqueued.
        if (yielded)
            queue.add (id);
    }

    if (yielded)
        return;

    using Failure = platform::DownloadPolicy::Failure;
    const auto failed = download.failed;
    const auto failure = download.failure != Failure::none ? download.failure : Failure::server;
    const auto incomplete = ! ok || download.picturesMissing;
    unfinished.erase (id);

    // Stopped, it has nothing to tell: the program is going.
    if (threadShouldExit())
        return post (DeviceInfoMessage::downloadFailed, id, name, 1);

    const auto worthTelling = scheduleRetry (id, incomplete, failure);

    // After a success, a failure is new again: told once more when it lasts.
    if (ok)
    {
        told.erase (id);
        post (DeviceInfoMessage::downloadFinished, id, name);
    }
    else
        post (DeviceInfoMessage::downloadFailed, id, name, worthTelling && ! toldBefore (id, failed) ? 0 : 1);
}
