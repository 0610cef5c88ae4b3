#include "platform/Clock.h"
#include "platform/WebRequest.h"
#include "support/ContentFixture.h"

#include <algorithm>

using DownloadThread = ContentFixture;

namespace
{
    std::vector<int> codesOf (const std::vector<DeviceInfoMessage>& messages)
    {
        std::vector<int> codes;
        for (const auto& m : messages)
            codes.push_back (m.code);
        return codes;
    }

    struct ShortTurns { ShortTurns() { platform::Clock::setScale (0.05); } ~ShortTurns() { platform::Clock::setScale (1.0); } };
}

TEST_F (DownloadThread, ReportsEachKindThenTheResultAfterLeavingTheQueue)
{
    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();
    ASSERT_NE (downloader, nullptr);

    // The answer of the pack waits, so the product is seen queued while it is
    // fetched; longer than the 3 s that once failed every slow link.
    auto slowPack = answerOf ("/Belvora2/Vesper/packs/vesper_presets.zip");
    slowPack.delayMs = 5000;
    server.setAnswer ("/Belvora2/Vesper/packs/vesper_presets.zip", slowPack);

    downloader->requestDownload (vesper);
    downloader->requestDownload (vesper);
    EXPECT_TRUE (downloader->isQueued (vesper));

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    EXPECT_FALSE (downloader->isQueued (vesper));

    const auto messages = recorder.get();
    EXPECT_EQ (codesOf (messages), (std::vector<int> { 0x70002, 0x70000, 0x70000, 0x70000, 0x70003 }));
    EXPECT_EQ (messages[0].value1, vesper);
    EXPECT_EQ (messages[0].text, "Vesper");
    EXPECT_EQ (messages[1].text, "Vesper: firmware update files");
    EXPECT_EQ (messages[2].text, "Vesper: conversion rules");
    EXPECT_EQ (messages[3].text, "Vesper: preset packs");
    EXPECT_EQ (messages[4].value1, vesper);
    EXPECT_TRUE (content.isProductReady (vesper));
}

TEST_F (DownloadThread, RecentlyCheckedProductIsNotQueuedAgain)
{
    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();

    downloader->requestDownload (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }));

    downloader->requestDownload (quill);
    EXPECT_FALSE (downloader->isQueued (quill));

    downloader->minimumCheckInterval = -1.0;   // any time since the check is long enough
    downloader->stopThread (5000);   // keep it queued for the check
    downloader->requestDownload (quill);
    EXPECT_TRUE (downloader->isQueued (quill));
}

TEST_F (DownloadThread, FailedDownloadIsReportedAndCanBeRequestedAgainAtOnce)
{
    server.setAnswer ("/Belvora2/QuillDuo/rules.xml", LocalServer::Answer::error (500));
    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();

    downloader->requestDownload (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFailed); }));
    EXPECT_FALSE (content.isProductReady (quill));
    EXPECT_FALSE (recorder.hasCode (DeviceInfoMessage::downloadFinished));
}

TEST_F (DownloadThread, StopsWhileWaitingAndWhileTheServerStaysSilent)
{
    auto& content = startCatalogue();
    EXPECT_TRUE (content.getDownloadThread()->stopThread (5000));

    // A download that hangs on the server ends when the catalogue goes.
    auto& next = startCatalogue();
    server.setAnswer ("/Belvora2/Vesper/firmware.xml", LocalServer::Answer::silence());
    next.getDownloadThread()->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return server.countRequests ("/Belvora2/Vesper/firmware.xml") > 0; }));

    catalogue.reset();

    // The interrupted product ends as failed without announcing the kinds it never reached.
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFailed); }));
    EXPECT_EQ (codesOf (recorder.get()), (std::vector<int> { 0x70002, 0x70000, 0x70004 }));
}

TEST_F (DownloadThread, ProductThatDoesNotBecomeReadyIsAskedForAgainAtTheNextRequest)
{
    server.setAnswer ("/Belvora2/QuillDuo/rules.xml", LocalServer::Answer::error (500));
    server.setAnswer ("/Belvora2/Vesper/firmware.xml", LocalServer::Answer::silence());
    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();

    EXPECT_TRUE (content.requestProductContent (quill));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFailed); }));
    EXPECT_FALSE (content.isProductReady (quill));

    // A scan's requests ask at once for what failed, once for all its units;
    // the capabilities the product has are not fetched again.
    EXPECT_TRUE (content.requestProductContent (quill));
    EXPECT_TRUE (content.requestProductContent (quill));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets ("/Belvora2/QuillDuo/rules.xml") >= 2; }));
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 1);

    // While the download is under way, a repeated request says it is queued.
    EXPECT_TRUE (content.requestProductContent (vesper));
    EXPECT_TRUE (content.requestProductContent (vesper));
    EXPECT_EQ (gets ("/Belvora2/Vesper/caps.xml"), 1);

    // Capabilities that do not come are tried by the request and the
    // download, and by the next request's download, not by each unit's.
    server.setAnswer ("/Belvora2/QuillDuo/caps.xml", LocalServer::Answer::error (404));
    productFolder ("Quill Duo").deleteRecursively();
    auto& next = startCatalogue();
    downloader = next.getDownloadThread();
    EXPECT_TRUE (next.requestProductContent (quill));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! downloader->isQueued (quill); }));
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 3);
    EXPECT_TRUE (next.requestProductContent (quill));
    EXPECT_TRUE (next.requestProductContent (quill));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! downloader->isQueued (quill); }));
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 4);
    EXPECT_EQ (next.getCapsXml (quill), nullptr);

    // A rescan's own preparation, still waiting for the download thread,
    // is no download under way: the unit's request fetches them itself.
    server.clearAnswer ("/Belvora2/QuillDuo/caps.xml");
    downloader->minimumCheckInterval = -1.0;
    ASSERT_TRUE (downloader->stopThread (-1));
    next.requestProductContentAsync (quill);
    ASSERT_TRUE (downloader->isQueued (quill));
    EXPECT_TRUE (next.requestProductContent (quill));
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 5);
    EXPECT_NE (next.getCapsXml (quill), nullptr);
}

// Only a check made counts: a request that could try nothing (here, a file
// where the product's folder belongs; offline, no cache) does not hold back the next.
TEST_F (DownloadThread, RequestThatTriedNothingDoesNotDelayTheNext)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    ASSERT_TRUE (productFolder ("Vesper").replaceWithText ("in the way"));
    auto& content = startCatalogue();
    EXPECT_FALSE (content.requestProductContent (vesper));
    EXPECT_EQ (content.getLastCheckTime (vesper), juce::Time());
    EXPECT_EQ (gets ("/Belvora2/Vesper/caps.xml"), 0);

    ASSERT_TRUE (productFolder ("Vesper").deleteFile());
    EXPECT_TRUE (content.requestProductContent (vesper));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    EXPECT_TRUE (content.isProductReady (vesper));
    EXPECT_GT (content.getLastCheckTime (vesper), juce::Time());

    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));
    auto& offline = startCatalogue();
    ASSERT_FALSE (offline.isOnline());
    EXPECT_FALSE (offline.requestProductContent (quill));
    EXPECT_EQ (offline.getLastCheckTime (quill), juce::Time());
}

// A unit's thread asked to stop must not sit behind another's transfer: at
// quit it was killed there, and the program crashed.
TEST_F (DownloadThread, RequestWaitingForItsTurnGivesUpWhenItsThreadIsAskedToStop)
{
    struct LongSilenceLimit
    {
        LongSilenceLimit()  { platform::WebRequest::setSilenceLimitMs (600000); }
        ~LongSilenceLimit() { platform::WebRequest::setSilenceLimitMs (0); }
    } onlyAStopEndsTheTransfer;

    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::silence());
    auto& content = startCatalogue();
    content.requestProductContentAsync (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets ("/Belvora2/Vesper/caps.xml") > 0; }));

    struct Asker : juce::Thread
    {
        explicit Asker (ContentManager& c) : juce::Thread ("unit"), catalogue (c) {}
        void run() override   { queued = catalogue.requestProductContent (quill); }
        ContentManager& catalogue;
        std::atomic<bool> queued { true };
    } asker (content);

    asker.startThread();
    asker.signalThreadShouldExit();
    EXPECT_TRUE (asker.waitForThreadToExit (60000));
    EXPECT_FALSE (asker.queued);
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 0);
    EXPECT_TRUE (content.getDownloadThread()->isQueued (vesper)) << "the other transfer goes on";
}

TEST_F (DownloadThread, RequestThatMustNotWaitRunsThereInOrder)
{
    server.setAnswer ("/Belvora2/Vesper/caps.xml", LocalServer::Answer::silence());
    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();

    // Run in place, the first of these would never return.
    content.requestProductContentAsync (vesper);
    content.requestProductContentAsync (quill);
    EXPECT_TRUE (downloader->isQueued (vesper));
    EXPECT_TRUE (downloader->isQueued (quill));

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets ("/Belvora2/Vesper/caps.xml") > 0; }));
    EXPECT_EQ (gets ("/Belvora2/QuillDuo/caps.xml"), 0);

    // Once the silent one gives way, the next follows and becomes ready.
    server.clearAnswers();
    auto& next = startCatalogue();
    next.requestProductContentAsync (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }));
    EXPECT_TRUE (next.isProductReady (quill));
    EXPECT_NE (next.getCapsXml (quill), nullptr);
}

TEST_F (DownloadThread, OfflineRequestThatMustNotWaitParsesTheCacheOnAWorker)
{
    ASSERT_TRUE (downloadContent (startCatalogue(), vesper));
    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));

    auto& content = startCatalogue();
    ASSERT_EQ (content.getDownloadThread(), nullptr);
    content.requestProductContentAsync (vesper);
    // The worker parses the capabilities first, then the pictures.
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        return content.getCapsXml (vesper) != nullptr && content.getProductImage (vesper, "Vesper Black").getWidth() == 16;
    }));
}

// A file that comes too slowly gives way: the product's other files come
// meanwhile, and it is tried again after them.
TEST_F (DownloadThread, FileThatDoesNotComeInItsTurnGivesWayToTheOthers)
{
    auto trickle = LocalServer::Answer::text (contentRoot().getChildFile ("Belvora2/Vesper/firmware.xml").loadFileAsString());
    trickle.trickleMs = 500;
    server.setAnswer ("/Belvora2/Vesper/firmware.xml", trickle);

    auto& content = startCatalogue();
    EXPECT_TRUE (content.requestProductContent (vesper));
    const auto folder = productFolder ("Vesper");
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        return folder.getChildFile ("js/vesper_preset_3_to_4.js").existsAsFile() && folder.getChildFile ("vesper.png").existsAsFile()
            && folder.getChildFile ("packs/vesper_presets.zip").existsAsFile();
    }, 30000));
    EXPECT_FALSE (folder.getChildFile ("firmware.xml").exists());
    EXPECT_TRUE (content.getDownloadThread()->isQueued (vesper));
}

// Nor does it hold another product's: the product queued next comes meanwhile, and the first goes
// on after it; alone, its silent connection is dropped and asked again until the file comes.
TEST_F (DownloadThread, SilentFileGivesWayToTheNextProductAndIsAskedForAgainUntilItComes)
{
    ShortTurns quickly;
    const juce::String pack ("/Belvora2/Vesper/packs/vesper_presets.zip");
    server.setAnswer (pack, LocalServer::Answer::silence());
    auto* downloader = startCatalogue().getDownloadThread();
    downloader->requestDownload (vesper);
    downloader->requestDownload (quill);

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    EXPECT_TRUE (catalogue->isProductReady (quill));
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets (pack) >= 2; }));
    EXPECT_TRUE (downloader->isQueued (vesper));
    const auto codes = codesOf (recorder.get());
    EXPECT_EQ (std::count (codes.begin(), codes.end(), DeviceInfoMessage::downloadFinished), 1);
    EXPECT_FALSE (recorder.hasCode (DeviceInfoMessage::downloadFailed));

    const auto asked = gets (pack);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets (pack) >= asked + 2; }, 60000));
    server.clearAnswer (pack);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return catalogue->isProductReady (vesper); }, 60000));
}

// A unit's request does not wait for pictures: the download brings them after
// what work needs, and they are in place by the status that follows them,
// which tells the pages to look again.
TEST_F (DownloadThread, RequestLeavesThePicturesToTheDownloadWhichHasThemBeforeThePacksStatus)
{
    auto slowPicture = answerOf ("/Belvora2/Vesper/images/vesper_black.png");
    slowPicture.delayMs = 1500;   // slow, but within its turn
    server.setAnswer ("/Belvora2/Vesper/images/vesper_black.png", slowPicture);

    auto& content = startCatalogue();
    EXPECT_TRUE (content.requestProductContent (vesper));
    EXPECT_NE (content.getCapsXml (vesper), nullptr);
    EXPECT_TRUE (content.getProductImage (vesper, "Vesper Black") == content.getDefaultPicture());

    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.get().size() > 3; }, 60000));
    EXPECT_EQ (recorder.get()[3].text, "Vesper: preset packs");
    EXPECT_EQ (content.getProductImage (vesper, "Vesper Black").getWidth(), 16);
}

// One product's file trickling in holds no other product past the time-out,
// and once the other had its turn, goes on from the bytes it brought.
TEST_F (DownloadThread, TrickleHoldsNoOtherProductAndGoesOnWhereItStopped)
{
    ShortTurns quickly;
    Belvora::getUserSettings().setValue ("downloadTimeout", 3);
    const juce::String pack ("/Belvora2/Vesper/packs/vesper_presets.zip");
    auto trickle = answerOf (pack);
    trickle.trickleMs = 50;
    server.setAnswer (pack, trickle);

    auto& content = startCatalogue();
    auto* downloader = content.getDownloadThread();
    downloader->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets (pack) > 0; }, 60000));

    downloader->requestDownload (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return content.isProductReady (quill); }, 60000));
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&]
    {
        const auto requests = server.getRequests ("GET", pack);
        return std::any_of (requests.begin(), requests.end(), [] (const auto& r) { return r.range.fromFirstOccurrenceOf ("bytes=", false, false).getIntValue() > 0; });
    }, 60000));
}

// An image that gave way, whose rest the server then answers wrongly, comes whole at once and
// without a failure; the true image is what is stored, also after a restart.
// A pack and a script without a validator, nothing of them kept, come whole to their end at their next try.
TEST_F (DownloadThread, ImageWhoseRestIsAnsweredWronglyComesWhole)
{
    ShortTurns quickly;
    const juce::String image ("/Belvora2/Vesper/firmware/vesper_1_4_0_b140.syx"), pack ("/Belvora2/Vesper/packs/vesper_presets.zip");
    auto trickle = answerOf (image);
    trickle.trickleMs = 20;
    trickle.rangeFault = LocalServer::Answer::RangeFault::endsShort;
    server.setAnswer (image, trickle);
    trickle = answerOf (pack);
    trickle.trickleMs = 1;   // past a turn, as the image
    trickle.rangeFault = LocalServer::Answer::RangeFault::noTag;
    server.setAnswer (pack, trickle);
    const juce::String script ("/Belvora2/Vesper/js/vesper_setup_2_to_3.js");
    trickle.body = answerOf (script).body;
    trickle.trickleMs = 6;
    server.setAnswer (script, trickle);

    startCatalogue().getDownloadThread()->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    EXPECT_FALSE (recorder.hasCode (DeviceInfoMessage::downloadFailed));
    EXPECT_TRUE (server.getRequests ("GET", image).back().range.isEmpty()) << "asked whole after the wrong rest";
    EXPECT_EQ (storedBytes ("Vesper", "firmware/vesper_1_4_0_b140*"), sampleBytes (image));
    EXPECT_EQ (storedBytes ("Vesper", "packs/vesper_presets.zip"), sampleBytes (pack));
    for (const auto& path : { pack, script })   // cut by its turn, then whole to its end; no validator to keep a part by
        EXPECT_TRUE (gets (path) == 2 && platform::WebRequest::get (server.getBaseUrl() + path, { 0, 300 }).getValidator().isEmpty()) << path;
    ASSERT_TRUE (restartDownloads (vesper));
    EXPECT_EQ (storedBytes ("Vesper", "firmware/vesper_1_4_0_b140*"), sampleBytes (image));
}

// A retry that falls due while another product's file trickles is asked then, not after that file.
TEST_F (DownloadThread, RetryThatFallsDueIsAskedWhileAnotherProductsFileTrickles)
{
    ShortTurns quickly;
    const juce::String pack ("/Belvora2/Vesper/packs/vesper_presets.zip"), caps ("/Belvora2/QuillDuo/caps.xml");
    auto trickle = answerOf (pack);
    trickle.trickleMs = 50;
    server.setAnswer (pack, trickle);
    server.setAnswer (caps, LocalServer::Answer::error (500));

    auto& content = startCatalogue();
    content.getDownloadThread()->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets (pack) > 0; }, 60000));
    content.getDownloadThread()->requestDownload (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFailed); }, 60000));

    server.clearAnswer (caps);
    EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return content.isProductReady (quill); }, 60000));
    EXPECT_FALSE (content.isProductReady (vesper)) << "the pack still trickles";
}

// A file that stalls fails once no byte came for the download time-out counted from its last byte,
// not asked again first; after a restart it is stored whole.
TEST_F (DownloadThread, StalledFileFailsAtTheTimeOutCountedFromItsLastByte)
{
    Belvora::getUserSettings().setValue ("downloadTimeout", 2);
    const juce::String pack ("/Belvora2/Vesper/packs/vesper_presets.zip");
    auto stall = answerOf (pack);
    stall.truncateAfter = 1000;
    stall.stall = true;
    server.setAnswer (pack, stall);

    startCatalogue().getDownloadThread()->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFailed); }, 60000));
    EXPECT_EQ (gets (pack), 1);
    ASSERT_TRUE (restartDownloads (vesper));
    EXPECT_EQ (storedBytes ("Vesper", "packs/vesper_presets.zip"), sampleBytes (pack));
}

// A refused file waits a long pause, told at once; a failing server is asked again within seconds, told once it failed a minute.
TEST_F (DownloadThread, RefusedFileWaitsLongerThanAFailingServer)
{
    ShortTurns quickly;
    const juce::String script ("/Belvora2/Vesper/js/vesper_setup_2_to_3.js");
    const auto tooLong = LocalServer::Answer::text (juce::String::repeatedString ("//", 150000));
    server.setAnswer (script, tooLong);
    server.setAnswer ("/Belvora2/QuillDuo/firmware.xml", LocalServer::Answer::error (500));

    auto* downloader = startCatalogue().getDownloadThread();
    downloader->requestDownload (vesper);
    downloader->requestDownload (quill);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.toldFailures() == 2; }, 60000));
    EXPECT_GE (gets ("/Belvora2/QuillDuo/firmware.xml"), 5);
    EXPECT_EQ (gets (script), 1);
    server.clearAnswer (script);
    downloader->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    server.setAnswer (script, tooLong);
    productFolder ("Vesper").getChildFile ("js/vesper_setup_2_to_3.js").deleteFile();
    downloader->minimumCheckInterval = -1.0;
    downloader->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.toldFailures() == 3; }, 60000));
    ASSERT_TRUE (restartDownloads (vesper));
    EXPECT_EQ (storedBytes ("Vesper", "js/vesper_setup_2_to_3.js"), sampleBytes (script));
}

// A body cut short once comes right at the next try, a few seconds later, with nothing told.
TEST_F (DownloadThread, BodyCutOnceComesRightWithNothingTold)
{
    ShortTurns quickly;
    const juce::String pack ("/Belvora2/Vesper/packs/vesper_presets.zip");
    auto cut = answerOf (pack);
    cut.truncateAfter = 1000;
    cut.forRequests = 1;
    server.setAnswer (pack, cut);
    startCatalogue().getDownloadThread()->requestDownload (vesper);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return recorder.hasCode (DeviceInfoMessage::downloadFinished); }, 60000));
    EXPECT_EQ (recorder.toldFailures(), 0);
    EXPECT_EQ (storedBytes ("Vesper", "packs/vesper_presets.zip"), sampleBytes (pack));
}

// The start asks again at once for what failed (each unit's request): those tries do not lengthen
// the pause, which paces the product as one asked for once (Vesper here) is paced.
TEST_F (DownloadThread, TriesAskedAtOnceDoNotLengthenThePause)
{
    ShortTurns quickly;
    const juce::String caps ("/Belvora2/QuillDuo/caps.xml"), list ("/Belvora2/Vesper/firmware.xml");
    server.setAnswer (caps, LocalServer::Answer::error (500));
    server.setAnswer (list, LocalServer::Answer::error (500));
    auto& content = startCatalogue();
    content.getDownloadThread()->requestDownload (vesper);

    for (int request = 0; request < 4; ++request)
    {
        EXPECT_TRUE (content.requestProductContent (quill));
        ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return ! content.getDownloadThread()->isQueued (quill); }, 60000));
    }

    const auto asked = gets (caps);
    ASSERT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return gets (list) >= 5; }, 60000));
    EXPECT_GE (gets (caps), asked + 2);
}
