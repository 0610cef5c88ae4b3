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

void ContentDownloadThread::post (int code, int value1, const juce::String& text)
{
    notifications.postMessage (new DeviceInfoMessage (code, value1, 0, text));
}

void ContentDownloadThread::requestDownload (int productId)
{
    const auto id = (uint8_t) productId;
    const auto sinceLastCheck = (juce::Time::getCurrentTime() - catalogue.getLastCheckTime (id)).inSeconds();

    {
        const platform::ScopedLock sl (queueLock);

        if (queue.contains (id) || sinceLastCheck <= minimumCheckInterval.load())
            return;

        queue.add (id);
    }

    wake.set();
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
    const platform::ScopedLock sl (queueLock);
    queue.add ((uint8_t) productId);
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
        if (isIdle())
            wake.wait (-1);

        if (threadShouldExit())
            break;

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

    auto& download = unfinished[id];
    download.othersWaiting = [this, id]
    {
        const platform::ScopedLock sl (queueLock);
        return std::any_of (queue.begin(), queue.end(), [id] (uint8_t other) { return other != id; });
    };

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

    unfinished.erase (id);
    post (ok ? DeviceInfoMessage::downloadFinished : DeviceInfoMessage::downloadFailed, id, name);
}
