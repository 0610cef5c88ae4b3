#include "content/ContentDownloadThread.h"

#include "app/Belvora.h"
#include "app/DeviceInfoMessage.h"
#include "app/Nexus.h"
#include "content/ContentManager.h"
#include "platform/Clock.h"

namespace
{
    std::atomic<juce::MessageListener*> messageTarget { nullptr };
}

ContentDownloadThread::ContentDownloadThread (ContentManager& owner)
    : juce::Thread ("Content Downloader"), catalogue (owner)
{
    addListener (this);
}

ContentDownloadThread::~ContentDownloadThread()
{
    signalThreadShouldExit();
    stopThread (5000);
    removeListener (this);
}

void ContentDownloadThread::setMessageTarget (juce::MessageListener* target)
{
    messageTarget.store (target);
}

void ContentDownloadThread::post (int code, int value1, const juce::String& text)
{
    juce::MessageListener* target = messageTarget.load();

    if (target == nullptr)
        if (auto* app = Belvora::getInstance())
            target = app->getNexus();

    if (target != nullptr)
        target->postMessage (new DeviceInfoMessage (code, value1, 0, text));
}

void ContentDownloadThread::postStatus (const juce::String& text)
{
    post (DeviceInfoMessage::downloadStatus, 0, text);
}

void ContentDownloadThread::requestDownload (int productId)
{
    const auto id = (uint8_t) productId;
    const auto sinceLastCheck = (double) (juce::Time::currentTimeMillis() - catalogue.getLastCheckTime (id)) / 1000.0;

    {
        const platform::ScopedLock sl (queueLock);

        if (queue.contains (id) || sinceLastCheck <= minimumCheckInterval)
            return;

        queue.add (id);
    }

    wake.set();
}

bool ContentDownloadThread::isQueued (int productId) const
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

void ContentDownloadThread::run()
{
    while (! threadShouldExit())
    {
        bool empty;
        {
            const platform::ScopedLock sl (queueLock);
            empty = queue.isEmpty();
        }

        if (empty)
            wake.wait (-1);

        uint8_t id = 0;
        {
            const platform::ScopedLock sl (queueLock);
            empty = queue.isEmpty();
            id = empty ? 0 : queue.getFirst();
        }

        if (threadShouldExit() || empty)
        {
            platform::Clock::yield();
            continue;
        }

        const auto name = catalogue.getProductName (id);
        post (DeviceInfoMessage::downloadStarted, id, name);

        const auto ok = catalogue.downloadProductContent (id, this);

        {
            const platform::ScopedLock sl (queueLock);
            queue.remove (0);
        }

        post (ok ? DeviceInfoMessage::downloadFinished : DeviceInfoMessage::downloadFailed, id, name);
        platform::Clock::yield();
    }
}
