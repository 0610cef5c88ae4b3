#pragma once

#include "app/Belvora.h"
#include "base/DeviceInfoMessage.h"
#include "base/MessageTarget.h"
#include "content/ContentDownloadThread.h"
#include "content/ContentManager.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

/** Collects the notifications the download thread posts (not the catalogue's own of its start). */
struct MessageRecorder : public MessageTarget
{
    void handleMessage (const juce::Message& message) override
    {
        if (auto* info = dynamic_cast<const DeviceInfoMessage*> (&message); info != nullptr && info->code != DeviceInfoMessage::descriptorRead)
        {
            const std::lock_guard<std::mutex> guard (lock);
            received.push_back (DeviceInfoMessage (*info));
        }
    }

    std::vector<DeviceInfoMessage> get() const
    {
        const std::lock_guard<std::mutex> guard (lock);
        return received;
    }

    void clear()    { const std::lock_guard<std::mutex> guard (lock); received.clear(); }

    bool hasCode (int code) const
    {
        for (const auto& m : get())
            if (m.code == code)
                return true;
        return false;
    }

    /** The failures told to the user: a "Download Failed" box each. */
    int toldFailures() const   { int n = 0; for (const auto& m : get()) n += m.code == DeviceInfoMessage::downloadFailed && m.value2 == 0; return n; }

    mutable std::mutex lock;
    std::vector<DeviceInfoMessage> received;
};

/** The sample content served on 127.0.0.1, a clean data folder, and a
    catalogue made as the hub makes it. */
class ContentFixture : public testing::Test
{
protected:
    static constexpr int vesper = 0x12;
    static constexpr int quill = 0x1A;

    void SetUp() override
    {
        TestEnvironment::clearHome();
        Belvora::configureAppProperties();
        ASSERT_TRUE (server.start());
        pointContentAt (server.getBaseUrl() + "/Belvora2");
    }

    void TearDown() override
    {
        catalogue.reset();
        server.stop();
        pointContentAt ("http://127.0.0.1:9/Belvora2");
        Belvora::releaseAppProperties();
    }

    static void pointContentAt (const juce::String& url)
    {
        ::setenv ("BELVORA_CONTENT_URL", url.toRawUTF8(), 1);
    }

    /** A catalogue made like the hub makes it (the one of this test, replacing
        an earlier one); its notifications go to the recorder, its fatal errors
        to fatalError; unless told not to, it returns once the start's read had its answer. */
    ContentManager& startCatalogue (bool awaitServer = true)
    {
        catalogue.reset();
        fatalError = 0;
        catalogue = std::make_unique<ContentManager> (setup, recorder, [this] (int code) { int none = 0; fatalError.compare_exchange_strong (none, code); });
        catalogue->waitUntilConnected ([awaitServer] { return ! awaitServer; });
        return *catalogue;
    }

    /** A catalogue without its download thread's work interfering: stops it. */
    ContentManager& startCatalogueQuietly()
    {
        auto& content = startCatalogue();
        if (auto* thread = content.getDownloadThread())
            thread->stopThread (5000);
        return content;
    }

    /** The product's content as the download thread fetches it, capabilities
        and pictures first, here on the test's thread. */
    bool downloadContent (ContentManager& content, int productId)
    {
        return content.downloadProductContent (productId, &testDownloader);
    }

    static juce::File dataFolder()                 { return juce::File (Belvora::getUserDataFolder()); }
    static juce::File productFolder (const char* name) { return dataFolder().getChildFile (name); }

    static juce::File contentRoot()
    {
        return juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content");
    }

    /** A file's bytes: as the sample content serves it, as a product's folder keeps it (the one
        file whose name matches), and as an answer of the server. */
    static juce::MemoryBlock bytesOf (const juce::File& file)   { juce::MemoryBlock b; file.loadFileAsData (b); return b; }
    static juce::MemoryBlock sampleBytes (const juce::String& path)   { return bytesOf (contentRoot().getChildFile (path.substring (1))); }

    static juce::MemoryBlock storedBytes (const char* product, const char* path)
    {
        const auto file = productFolder (product).getChildFile (path);
        const auto found = file.getParentDirectory().findChildFiles (juce::File::findFiles, false, file.getFileName());
        return found.size() == 1 ? bytesOf (found[0]) : juce::MemoryBlock();
    }

    static LocalServer::Answer answerOf (const juce::String& path)
    {
        LocalServer::Answer answer;
        const auto bytes = sampleBytes (path);
        answer.body.assign (static_cast<const char*> (bytes.getData()), bytes.getSize());
        return answer;
    }

    /** The sample master descriptor, answered that late. */
    LocalServer::Answer lateDescriptor (int delayMs) const
    {
        auto late = LocalServer::Answer::text (contentRoot().getChildFile ("Belvora2/masterDescriptor.xml").loadFileAsString().replace ("${SERVER}", server.getBaseUrl()));
        late.delayMs = delayMs;
        return late;
    }

    /** A start on the same folder (a new catalogue) with the server sound again, until the product's download ends well. */
    bool restartDownloads (int productId)
    {
        server.clearAnswers();
        recorder.clear();
        startCatalogue().getDownloadThread()->requestDownload (productId);
        return TestEnvironment::runMessageLoopUntil ([this] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000);
    }

    /** A copy of the sample tree the test may change. */
    juce::File copyContentTree()
    {
        auto copy = TestEnvironment::getHome().getChildFile ("served");
        copy.deleteRecursively();
        contentRoot().copyDirectoryTo (copy);
        server.setRoot (copy);
        return copy;
    }

    int gets (const juce::String& path) const
    {
        return (int) server.getRequests ("GET", path).size();
    }

    int countGets() const
    {
        int n = 0;
        for (const auto& r : server.getRequests())
            n += r.method == "GET" ? 1 : 0;
        return n;
    }

    struct Downloader : juce::Thread { Downloader() : juce::Thread ("test downloader") {} void run() override {} } testDownloader;

    LocalServer server { contentRoot() };
    MessageRecorder recorder;
    ContentManager::Setup setup;
    std::unique_ptr<ContentManager> catalogue;
    std::atomic<int> fatalError { 0 };
};
