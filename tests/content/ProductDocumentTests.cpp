#include "support/ContentFixture.h"

#include "base/BelvoraPaths.h"
#include "content/ContentReader.h"
#include "content/FirmwareImageRecord.h"
#include "conversion/ScriptRunner.h"
#include "support/OddFiles.h"

#include <juce_cryptography/juce_cryptography.h>

#include <thread>

namespace
{
    struct IdleThread : public juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    };

    const char* const vesperFolder = "/Belvora2/Vesper";

    juce::String path (const char* file)
    {
        return juce::String (vesperFolder) + "/" + file;
    }
}

class ProductDocuments : public ContentFixture
{
protected:
    void SetUp() override
    {
        ContentFixture::SetUp();
        served = copyContentTree();
    }

    ContentManager& prepareVesper()
    {
        auto& content = startCatalogue();
        downloadContent (content, vesper);
        return content;
    }

    void editServed (const char* file, const juce::String& from, const juce::String& to)
    {
        auto f = served.getChildFile ("Belvora2/Vesper").getChildFile (file);
        f.replaceWithText (f.loadFileAsString().replace (from, to));
    }

    juce::File served;
    IdleThread worker;
};

TEST_F (ProductDocuments, CapabilitiesAndPicturesAreCachedInTheProductFolder)
{
    auto& content = prepareVesper();
    const auto folder = productFolder ("Vesper");

    EXPECT_EQ (content.getLocalContentFile (vesper, ContentManager::capsDocument, 0, false), folder.getChildFile ("caps.xml").getFullPathName());
    EXPECT_EQ (content.getLocalContentFile (vesper, ContentManager::presetPack, 0, false),
               folder.getChildFile ("packs/vesper_presets.zip").getFullPathName());
    EXPECT_TRUE (folder.getChildFile ("caps.xml").existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("vesper_black.png").existsAsFile());

    ASSERT_NE (content.getCapsXml (vesper), nullptr);
    EXPECT_TRUE (content.isContentCurrent (vesper, ContentManager::capsDocument));

    const auto black = content.getProductImage (vesper, "VESPER BLACK");
    EXPECT_EQ (black.getWidth(), 16);
    EXPECT_EQ (black.getPixelAt (1, 1), juce::Colour (20, 20, 24));
    EXPECT_EQ (content.getProductImage (vesper, "Unknown Variant").getPixelAt (1, 1), juce::Colour (40, 90, 160));
}

TEST_F (ProductDocuments, SecondStartWithUnchangedStampsFetchesNothingAndRefetchesMissingFiles)
{
    prepareVesper();
    server.clearRequests();

    auto& again = prepareVesper();
    EXPECT_EQ (countGets(), 1);   // the master descriptor only
    EXPECT_NE (again.getCapsXml (vesper), nullptr);

    productFolder ("Vesper").getChildFile ("vesper.png").deleteFile();
    server.clearRequests();
    prepareVesper();
    EXPECT_EQ (gets (path ("images/vesper.png")), 1);
    EXPECT_EQ (gets (path ("caps.xml")), 0);
    EXPECT_EQ (gets (path ("images/vesper_black.png")), 0);
}

TEST_F (ProductDocuments, ChangedOrEmptyStampFetchesTheDocumentAgain)
{
    prepareVesper();
    server.clearRequests();

    served.getChildFile ("Belvora2/masterDescriptor.xml").replaceWithText (
        served.getChildFile ("Belvora2/masterDescriptor.xml").loadFileAsString().replace ("vesper-caps-3", ""));
    prepareVesper();
    prepareVesper();
    EXPECT_EQ (gets (path ("caps.xml")), 2);
    EXPECT_EQ (gets (path ("images/vesper.png")), 2);   // pictures follow their document
}

TEST_F (ProductDocuments, FailedCapsDownloadKeepsTheCachedCopy)
{
    prepareVesper();
    const auto before = productFolder ("Vesper").getChildFile ("caps.xml").loadFileAsString();

    editServed ("../masterDescriptor.xml", "vesper-caps-3", "vesper-caps-4");
    auto cut = LocalServer::Answer::text (before);
    cut.truncateAfter = 100;
    server.setAnswer (path ("caps.xml"), cut);

    auto& content = startCatalogue();
    EXPECT_FALSE (downloadContent (content, vesper));
    EXPECT_EQ (productFolder ("Vesper").getChildFile ("caps.xml").loadFileAsString(), before);
    EXPECT_NE (content.getCapsXml (vesper), nullptr);

    server.setAnswer (path ("caps.xml"), LocalServer::Answer::error (404));
    EXPECT_FALSE (downloadContent (content, vesper));
    EXPECT_EQ (productFolder ("Vesper").getChildFile ("caps.xml").loadFileAsString(), before);
}

TEST_F (ProductDocuments, DownloadThatDoesNotParseOrIsTooLargeKeepsTheCopyForTheNextOfflineStart)
{
    ASSERT_TRUE (prepareVesper().downloadProductContent (vesper, &worker));
    const auto folder = productFolder ("Vesper");
    const auto caps = folder.getChildFile ("caps.xml").loadFileAsString();
    const auto firmware = folder.getChildFile ("firmware.xml").loadFileAsString();
    juce::MemoryBlock picture;
    folder.getChildFile ("vesper.png").loadFileAsData (picture);

    editServed ("../masterDescriptor.xml", "vesper-caps-3", "vesper-caps-4");
    editServed ("../masterDescriptor.xml", "vesper-firmware-5", "vesper-firmware-6");
    server.setAnswer (path ("images/vesper.png"), LocalServer::Answer::text ("not a picture"));

    const auto tooLarge = "<CAPS>" + juce::String::repeatedString ("<x/>", 2200000) + "</CAPS>";
    const auto quillFile = [this] (const char* file) { return served.getChildFile ("Belvora2/QuillDuo").getChildFile (file).loadFileAsString(); };
    const std::pair<juce::String, juce::String> answers[] = { { "<CAPS><open></CAPS>", "<FIRMWARE><open></FIRMWARE>" },
                                                              { "<FIRMWARE/>", "<CAPS/>" },
                                                              { tooLarge, tooLarge },
                                                              { quillFile ("caps.xml"), quillFile ("firmware.xml") } };

    for (const auto& [capsAnswer, firmwareAnswer] : answers)
    {
        server.setAnswer (path ("caps.xml"), LocalServer::Answer::text (capsAnswer));
        server.setAnswer (path ("firmware.xml"), LocalServer::Answer::text (firmwareAnswer));

        auto& content = startCatalogue();
        EXPECT_FALSE (content.downloadProductContent (vesper, &worker));
        EXPECT_EQ (folder.getChildFile ("caps.xml").loadFileAsString(), caps);
        EXPECT_EQ (folder.getChildFile ("firmware.xml").loadFileAsString(), firmware);

        juce::MemoryBlock now;
        folder.getChildFile ("vesper.png").loadFileAsData (now);
        EXPECT_EQ (now, picture);
    }

    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));
    auto& offline = startCatalogue();
    ASSERT_FALSE (offline.isOnline());
    EXPECT_TRUE (offline.loadCachedProductContent (vesper));
    EXPECT_NE (offline.getCapsXml (vesper), nullptr);
    EXPECT_EQ (offline.getFirmwareUpdates (vesper).size(), 2);
    EXPECT_EQ (offline.getProductImage (vesper, "Vesper").getPixelAt (1, 1), juce::Colour (40, 90, 160));
}

TEST_F (ProductDocuments, BackgroundDownloadFetchesListsImagesScriptsAndPack)
{
    auto& content = prepareVesper();
    const auto picture = content.getProductImage (vesper, "Vesper Black");
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));

    // What the unit's request prepared is not parsed, nor its pictures read, again.
    EXPECT_TRUE (content.getProductImage (vesper, "Vesper Black") == picture);

    const auto folder = productFolder ("Vesper");
    EXPECT_TRUE (content.isProductReady (vesper));
    EXPECT_GT (content.getLastCheckTime (vesper), juce::Time());
    EXPECT_TRUE (folder.getChildFile ("js/vesper_preset_3_to_4.js").existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("packs/vesper_presets.zip").existsAsFile());
    EXPECT_TRUE (folder.getChildFile ("packs/Starter/presets.xml").existsAsFile());
    EXPECT_EQ (gets (path ("firmware/vesper_1_5_0_b150_beta.syx")), 0);   // beta: developers only

    // Public updates only, sorted by build; the beta, the revoked and the expired one are hidden.
    const auto updates = content.getFirmwareUpdates (vesper);
    ASSERT_EQ (updates.size(), 2);
    EXPECT_EQ (updates[0].version.build, 120);
    EXPECT_EQ (updates[1].version.build, 140);
    EXPECT_TRUE (content.isFirmwareUpdateAvailable (vesper, 139));
    EXPECT_FALSE (content.isFirmwareUpdateAvailable (vesper, 140));
    EXPECT_EQ (content.getLatestFirmwareUpdate (vesper).version.build, 140);
    EXPECT_TRUE (Belvora::isSysExFile (updates[1].file));

    const auto presetRules = content.getConversionRules (vesper, ConversionRule::presetData);
    ASSERT_EQ (presetRules.size(), 2);
    EXPECT_EQ (presetRules[1].targetProductId, quill);
    EXPECT_EQ (presetRules[1].cost, 5);
    EXPECT_EQ (content.getConversionRules (vesper, ConversionRule::setupData).size(), 1);

    // Nothing changed: a second run fetches no file.
    server.clearRequests();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (countGets(), 0);
    EXPECT_TRUE (content.getProductImage (vesper, "Vesper Black") == picture);
}

TEST_F (ProductDocuments, DeveloperModeFetchesAndListsTheBeta)
{
    setup.developerMode = true;

    auto& content = prepareVesper();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (content.getFirmwareUpdates (vesper).size(), 3);
    EXPECT_EQ (content.getLatestFirmwareUpdate (vesper).version.build, 150);
}

TEST_F (ProductDocuments, MissingOrBadImageIsFetchedAgainAndRevokedImageDeleted)
{
    auto& content = prepareVesper();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));

    const auto updates = content.getFirmwareUpdates (vesper);
    juce::File (updates[0].file).deleteFile();
    server.clearRequests();

    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (gets (path ("firmware/vesper_1_2_0_b120.syx")), 1);
    EXPECT_EQ (gets (path ("firmware.xml")), 0);
    EXPECT_EQ (gets (path ("firmware/vesper_1_4_0_b140.syx")), 0);

    // A cached image that is no SysEx (an error page kept once) is replaced.
    juce::File (updates[1].file).replaceWithText ("<html>Sign in to the network</html>");
    server.clearRequests();

    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (gets (path ("firmware/vesper_1_4_0_b140.syx")), 1);
    EXPECT_TRUE (BelvoraPaths::isSysExFile (updates[1].file));

    // So are an image cut in a message and a script that is a web page: complete is what passes its check.
    const auto image = sampleBytes (path ("firmware/vesper_1_4_0_b140.syx"));
    juce::File (updates[1].file).replaceWithData (image.getData(), image.getSize() - 3);
    productFolder ("Vesper").getChildFile ("js/vesper_setup_2_to_3.js").replaceWithText ("<!DOCTYPE html><html>Sign in</html>");
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (storedBytes ("Vesper", "firmware/vesper_1_4_0_b140*"), image);
    EXPECT_EQ (storedBytes ("Vesper", "js/vesper_setup_2_to_3.js"), sampleBytes (path ("js/vesper_setup_2_to_3.js")));

    // One with a bit changed, still 7-bit, looks whole: its record tells.
    auto changed = image;
    static_cast<char*> (changed.getData())[40] ^= 1;
    juce::File (updates[1].file).replaceWithData (changed.getData(), changed.getSize());
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (storedBytes ("Vesper", "firmware/vesper_1_4_0_b140*"), image);

    // One kept by an older build, without a record, stays offered while the server fails; it comes again, recorded.
    FirmwareImageRecord::removeFor (juce::File (updates[0].file));
    server.setAnswer (path ("firmware/vesper_1_2_0_b120.syx"), LocalServer::Answer::error (500));
    EXPECT_FALSE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (content.getFirmwareUpdates (vesper).size(), 2);
    server.clearAnswers();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (FirmwareImageRecord::check (updates[0].file, bytesOf (updates[0].file)), FirmwareImageRecord::Match::matches);

    // And a script with a zero byte, which the engine would read only up to it.
    const char cut[] = "var x = 1;\0var y = ;";
    productFolder ("Vesper").getChildFile ("js/vesper_setup_2_to_3.js").replaceWithData (cut, sizeof (cut) - 1);
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));
    EXPECT_EQ (storedBytes ("Vesper", "js/vesper_setup_2_to_3.js"), sampleBytes (path ("js/vesper_setup_2_to_3.js")));

    // 140 revoked: its image goes at the next background download.
    editServed ("firmware.xml", "<status>public</status>\n    <pubDate>2026-02-10", "<status>revoked</status>\n    <pubDate>2026-02-10");
    editServed ("../masterDescriptor.xml", "vesper-firmware-5", "vesper-firmware-6");
    editServed ("firmware.xml", "vesper-firmware-5", "vesper-firmware-6");

    auto& next = prepareVesper();
    next.downloadProductContent (vesper, &worker);
    EXPECT_FALSE (juce::File (updates[1].file).exists());
    EXPECT_TRUE (juce::File (updates[0].file).existsAsFile());
    ASSERT_EQ (next.getFirmwareUpdates (vesper).size(), 1);
}

TEST_F (ProductDocuments, FailedImageHidesItsUpdateAndTheProductIsNotReady)
{
    // An error status, an error page some networks answer with 200, and whole SysEx that is no
    // image (a preset file answered in its place): the update would refuse it once kept.
    auto preset = LocalServer::Answer::text ({});
    preset.body = std::string ("\xF0\x00\x01\x38\x00\x12\x01\x00\xF7\xF0\x00\x01\x38\x00\x12\x02\x00\xF7", 18);

    // And one without a length: whole or cut at a message's end, it only stopped.
    auto stops = answerOf (path ("firmware/vesper_1_4_0_b140.syx"));
    stops.noLength = true;

    for (const auto& answer : { LocalServer::Answer::error (500), LocalServer::Answer::text ("<html>Sign in to the network</html>"), preset, stops })
    {
        server.setAnswer (path ("firmware/vesper_1_4_0_b140.syx"), answer);

        auto& content = prepareVesper();
        EXPECT_FALSE (content.downloadProductContent (vesper, &worker));
        EXPECT_FALSE (content.isProductReady (vesper));
        ASSERT_EQ (content.getFirmwareUpdates (vesper).size(), 1);
        EXPECT_EQ (content.getFirmwareUpdates (vesper)[0].version.build, 120);
        EXPECT_FALSE (recorder.hasCode (DeviceInfoMessage::downloadFinished));
    }

    server.clearAnswers();
    ASSERT_TRUE (prepareVesper().downloadProductContent (vesper, &worker));
    EXPECT_EQ (storedBytes ("Vesper", "firmware/vesper_1_4_0_b140*"), sampleBytes (path ("firmware/vesper_1_4_0_b140.syx")));
}

TEST_F (ProductDocuments, UpdatesWhoseLinksEndAlikeKeepSeparateImages)
{
    editServed ("firmware.xml", "firmware/vesper_1_2_0_b120.syx", "old/vesper_1_4_0_b140.syx");
    served.getChildFile ("Belvora2/Vesper/old").createDirectory();
    served.getChildFile ("Belvora2/Vesper/firmware/vesper_1_2_0_b120.syx").copyFileTo (served.getChildFile ("Belvora2/Vesper/old/vesper_1_4_0_b140.syx"));

    auto& content = prepareVesper();
    ASSERT_TRUE (content.downloadProductContent (vesper, &worker));

    const auto updates = content.getFirmwareUpdates (vesper);
    ASSERT_EQ (updates.size(), 2);
    EXPECT_NE (updates[0].file, updates[1].file);
    EXPECT_NE (juce::MD5 (juce::File (updates[0].file)), juce::MD5 (juce::File (updates[1].file)));

    // Revoking one leaves the other's image alone.
    editServed ("firmware.xml", "<status>Public</status>", "<status>revoked</status>");
    editServed ("../masterDescriptor.xml", "vesper-firmware-5", "vesper-firmware-6");
    editServed ("firmware.xml", "vesper-firmware-5", "vesper-firmware-6");

    auto& next = prepareVesper();
    next.downloadProductContent (vesper, &worker);
    EXPECT_FALSE (juce::File (updates[0].file).exists());
    EXPECT_TRUE (juce::File (updates[1].file).existsAsFile());
}

TEST_F (ProductDocuments, PresetPackIsFetchedAgainUntilItWasUnpackedWithItsStamp)
{
    juce::MemoryBlock zip;
    served.getChildFile ("Belvora2/Vesper/packs/vesper_presets.zip").loadFileAsData (zip);
    LocalServer::Answer cut;
    cut.body.assign (static_cast<const char*> (zip.getData()), zip.getSize());
    cut.truncateAfter = (int) zip.getSize() / 2;
    server.setAnswer (path ("packs/vesper_presets.zip"), cut);

    auto& content = prepareVesper();
    EXPECT_FALSE (content.downloadProductContent (vesper, &worker));
    EXPECT_FALSE (content.isPresetPackCurrent (vesper));
    EXPECT_FALSE (productFolder ("Vesper").getChildFile ("packs/vesper_presets.zip").exists());

    // An interrupted run must not leave the pack stale for ever.
    server.clearAnswers();
    auto& next = prepareVesper();
    EXPECT_TRUE (next.downloadProductContent (vesper, &worker));
    EXPECT_TRUE (next.isPresetPackCurrent (vesper));
    EXPECT_TRUE (next.isContentComplete (vesper, ContentManager::presetPack));

    // A later failed download keeps the pack that works.
    editServed ("../masterDescriptor.xml", "vesper-presets-1", "vesper-presets-2");
    server.setAnswer (path ("packs/vesper_presets.zip"), LocalServer::Answer::error (404));
    auto& third = prepareVesper();
    EXPECT_FALSE (third.downloadProductContent (vesper, &worker));
    EXPECT_TRUE (productFolder ("Vesper").getChildFile ("packs/Starter/presets.xml").existsAsFile());
    EXPECT_FALSE (third.isPresetPackCurrent (vesper));
}

TEST_F (ProductDocuments, OfflineStartParsesTheCache)
{
    prepareVesper().downloadProductContent (vesper, &worker);
    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));
    server.clearRequests();
    productFolder ("Vesper").getChildFile ("js/vesper_setup_2_to_3.js").replaceWithText ("<html>Sign in</html>");   // used by none

    // An image cut at a message's end (whole messages, not all) is offered by none; one without a record stays.
    const auto image = answerOf (path ("firmware/vesper_1_4_0_b140.syx")).body;
    juce::File (catalogue->getFirmwareUpdates (vesper)[1].file).replaceWithData (image.data(), image.rfind ('\xF7', 100) + 1);
    FirmwareImageRecord::removeFor (catalogue->getFirmwareUpdates (vesper)[0].file);

    auto& content = startCatalogue();
    ASSERT_FALSE (content.isOnline());
    EXPECT_FALSE (downloadContent (content, vesper));
    EXPECT_TRUE (content.loadCachedProductContent (vesper));
    EXPECT_EQ (countGets(), 1);
    EXPECT_NE (content.getCapsXml (vesper), nullptr);
    ASSERT_EQ (content.getFirmwareUpdates (vesper).size(), 1);
    EXPECT_EQ (content.getFirmwareUpdates (vesper)[0].version.build, 120);
    EXPECT_TRUE (content.getConversionRules (vesper, ConversionRule::setupData).isEmpty());
    EXPECT_EQ (content.getProductImage (vesper, "Vesper Black").getWidth(), 16);
    EXPECT_FALSE (content.isProductReady (vesper));
    EXPECT_FALSE (content.loadCachedProductContent (quill));   // never fetched
}

TEST_F (ProductDocuments, DocumentHandedOutOutlivesItsReplacement)
{
    auto& content = prepareVesper();
    const auto held = content.getCapsXml (vesper);
    ASSERT_NE (held, nullptr);

    content.loadCachedDocument (vesper, ContentManager::capsDocument, true);
    EXPECT_NE (content.getCapsXml (vesper), held);
    EXPECT_TRUE (held->hasTagName ("CAPS"));

    // A cached file with the wrong root leaves the slot as it was.
    productFolder ("Vesper").getChildFile ("caps.xml").replaceWithText ("<FIRMWARE/>");
    const auto current = content.getCapsXml (vesper);
    EXPECT_EQ (content.loadCachedDocument (vesper, ContentManager::capsDocument, true), nullptr);
    EXPECT_EQ (content.getCapsXml (vesper), current);
}

TEST_F (ProductDocuments, CapabilitiesAreReadWhileTheDownloaderReplacesThem)
{
    auto& content = prepareVesper();
    std::atomic<bool> stop { false };

    std::thread reader ([&]
    {
        while (! stop)
        {
            if (auto doc = content.getCapsXml (vesper))
            {
                EXPECT_TRUE (doc->getChildByName ("baseDefinition") != nullptr);
            }
        }
    });

    for (int i = 0; i < 200; ++i)
        content.loadCachedDocument (vesper, ContentManager::capsDocument, true);

    stop = true;
    reader.join();
}

TEST_F (ProductDocuments, WhatStandsInPlaceOfACachedFileIsRefusedWithoutWaitingOrTakingItIn)
{
    ASSERT_TRUE (prepareVesper().downloadProductContent (vesper, &worker));
    catalogue.reset();

    const auto folder = productFolder ("Vesper");
    const auto kept = TestEnvironment::getHome().getChildFile ("kept");
    const juce::StringArray cached { "../masterDescriptor.xml", "caps.xml", "firmware.xml", "rules.xml", "vesper.png",
                                     "js/vesper_preset_3_to_4.js", "packs/.presetsKey", "packs/vesper_presets.zip" };

    for (const auto& name : cached)
    {
        const auto file = folder.getChildFile (name);
        ASSERT_TRUE (file.existsAsFile()) << name;
        ASSERT_TRUE (kept.deleteFile() && file.copyFileTo (kept));

        for (auto kind : OddFiles::allKinds)
        {
            for (const bool online : { true, false })
            {
                if (online)
                    server.clearAnswers();
                else
                    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));

                ASSERT_TRUE (OddFiles::put (kind, file)) << name;
                bool ready = false, current = false, complete = false;

                // As a start does: the catalogue, the product's content, its picture and its pack.
                OddFiles::expectEndsBounded (kind, file, [&]
                {
                    auto& content = startCatalogue();

                    if (content.isOnline())
                        ready = downloadContent (content, vesper);
                    else
                        ready = content.loadCachedProductContent (vesper);

                    content.getProductImage (vesper, "Vesper");
                    current = content.isPresetPackCurrent (vesper);
                    complete = content.isContentComplete (vesper, ContentManager::presetPack);
                    catalogue.reset();
                }, name + (online ? " online" : " offline"));

                // Online, what the server has comes again in its place.
                if (online)
                {
                    EXPECT_TRUE (ready && current && complete) << name << " with " << OddFiles::nameOf (kind);
                }

                if (name == "packs/vesper_presets.zip" && ! online)
                {
                    EXPECT_FALSE (complete) << OddFiles::nameOf (kind);
                }

                if (name == "packs/.presetsKey" && ! online)
                {
                    EXPECT_FALSE (current) << OddFiles::nameOf (kind);
                }

            }
        }

        file.deleteRecursively();
        ASSERT_TRUE (kept.copyFileTo (file));
    }
}

// A web page answered with 200 (told by its type or its first character) is no script, nor is
// text the engine cannot read: none is kept or used, and a later start on a sound server brings them.
TEST_F (ProductDocuments, ScriptThatIsAPageOrDoesNotCompileIsNotKept)
{
    setup.scriptCompiles = [] (const juce::String& script)
    { return ScriptRunner::compile (script) == ScriptRunner::Reading::reads ? ProductDocumentCache::Verdict::passes : ProductDocumentCache::Verdict::refused; };
    auto page = LocalServer::Answer::text ("var portal = 1;");
    page.contentType = "text/html; charset=utf-8";
    const std::pair<const char*, LocalServer::Answer> scripts[] { { "js/vesper_preset_3_to_4.js", page },
        { "js/vesper_setup_2_to_3.js", LocalServer::Answer::text ("\n <!DOCTYPE html><html>Sign in</html>") },
        { "js/vesper_preset_4_to_quill_duo_2.js", LocalServer::Answer::text ("var x = ;") } };

    for (const auto& [script, answer] : scripts)
        server.setAnswer (path (script), answer);

    auto& content = startCatalogue();
    EXPECT_FALSE (downloadContent (content, vesper));
    EXPECT_TRUE (content.getConversionRules (vesper, ConversionRule::presetData).isEmpty());
    server.clearAnswers();
    EXPECT_TRUE (downloadContent (startCatalogue(), vesper));

    for (const auto& script : scripts)
        EXPECT_EQ (storedBytes ("Vesper", script.first), sampleBytes (path (script.first))) << script.first;
}

// A check that cannot tell keeps the stored scripts, used online and offline; the product is not ready until one tells.
TEST_F (ProductDocuments, ScriptsWhoseCheckCannotTellAreKeptAndUsed)
{
    ASSERT_TRUE (prepareVesper().downloadProductContent (vesper, &worker));
    auto verdict = ProductDocumentCache::Verdict::undecided;
    setup.scriptCompiles = [&verdict] (const juce::String&) { return verdict; };
    EXPECT_FALSE (prepareVesper().downloadProductContent (vesper, &worker));
    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (503));
    EXPECT_TRUE (startCatalogue().loadCachedProductContent (vesper));
    EXPECT_EQ (catalogue->getConversionRules (vesper, ConversionRule::presetData).size(), 2);
    server.clearAnswers();
    verdict = ProductDocumentCache::Verdict::passes;
    EXPECT_TRUE (prepareVesper().downloadProductContent (vesper, &worker));
}
