#include "support/ContentFixture.h"
#include "devices/DeviceProfiler.h"
#include "tracking/EventTracker.h"

#include <sys/resource.h>
#include <sys/wait.h>

using ContentCatalogue = ContentFixture;

namespace
{
    juce::String descriptorWith (const juce::String& belvora, const juce::String& products)
    {
        return "<CONTROL_DESCRIPTOR>" + belvora + "<devices>" + products + "</devices></CONTROL_DESCRIPTOR>";
    }

    juce::String product (const juce::String& name, const juce::String& id, const juce::String& extra = {})
    {
        return "<product name=\"" + name + "\" sysexId=\"" + id + "\">" + extra + "</product>";
    }

    void serveDescriptor (LocalServer& server, const juce::String& text)
    {
        server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::text (text));
    }
}

TEST_F (ContentCatalogue, OnlineDescriptorIsParsedSavedAndStartsTheDownloader)
{
    auto& content = startCatalogue();

    EXPECT_TRUE (content.isOnline());
    ASSERT_NE (content.getDownloadThread(), nullptr);
    EXPECT_TRUE (content.getDownloadThread()->isThreadRunning());
    EXPECT_GT (content.getBytesReceived(), 0);
    EXPECT_EQ (content.getBytesSent(), 0);

    EXPECT_EQ (content.getProductIds(), (juce::Array<uint8_t> { 0x12, 0x1A }));
    EXPECT_EQ (content.getProductNames(), juce::StringArray ("Vesper", "Quill Duo"));
    EXPECT_EQ (content.getProductName (vesper), "Vesper");
    EXPECT_EQ (content.getProductIdForName ("Quill Duo"), quill);
    EXPECT_EQ (content.getProductIdForName ("quill duo"), 255);
    EXPECT_EQ (content.indexOfProduct (quill), 1);
    EXPECT_EQ (content.indexOfProduct (0x33), -1);
    EXPECT_TRUE (content.answersGenericIdentity (vesper));
    EXPECT_FALSE (content.answersGenericIdentity (quill));
    EXPECT_EQ (content.getManualUrl (quill), server.getBaseUrl() + "/support/manuals/quill-duo");
    EXPECT_EQ (content.getLinkConnectionFAQ(), server.getBaseUrl() + "/support/connection");
    EXPECT_EQ (content.getLinkUserAccount(), server.getBaseUrl() + "/account?agent=belvora");

    // Build 136 is this program's own: nothing newer is announced.
    EXPECT_TRUE (content.getLatestBuildInfo().isEmpty());

    const auto saved = juce::File (Belvora::getMasterDescriptorFile());
    platform::WriteQueue::waitUntilAllIdle();
    ASSERT_TRUE (saved.existsAsFile());
    EXPECT_TRUE (saved.loadFileAsString().contains ("Quill Duo"));
}

TEST_F (ContentCatalogue, OfflineStartUsesTheLocalCopyWithoutDownloader)
{
    startCatalogue();
    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (500));

    auto& content = startCatalogue();
    EXPECT_FALSE (content.isOnline());
    EXPECT_EQ (content.getDownloadThread(), nullptr);
    EXPECT_EQ (content.getProductIds().size(), 2);

    // A read whose thread cannot start has failed too: offline at once, not connecting for the run.
    if (juce::SystemStats::getEnvironmentVariable ("BELVORA_NO_THREADS", {}).isNotEmpty())
    {
        // Root starts threads past any limit; the user it becomes still removes this home.
        for (const auto& file : TestEnvironment::getHome().findChildFiles (juce::File::findFilesAndDirectories, true, "*"))
            (void) ::chown (file.getFullPathName().toRawUTF8(), 65534, 65534);
        (void) ::chown (TestEnvironment::getHome().getFullPathName().toRawUTF8(), 65534, 65534);

        const rlimit none { 0, 0 };
        const auto limited = ::setrlimit (RLIMIT_NPROC, &none) == 0 && (::getuid() != 0 || ::setuid (65534) == 0);
        auto& unstarted = startCatalogue (false);
        const auto offline = limited && ! unstarted.isConnecting() && ! unstarted.isOnline() && unstarted.getProductIds().size() == 2;
        TestEnvironment::removePrivateHome();
        ::_exit (offline ? 0 : 1);
    }

    int status = -1;
    const auto child = TestEnvironment::spawnThisTest ("BELVORA_NO_THREADS=1");
    ASSERT_TRUE (child > 0 && ::waitpid (child, &status, 0) == child);
    EXPECT_EQ (status, 0);
}

// A server 3 s late costs no run its content: what was kept (nothing at a first start) serves meanwhile, and what was asked
// ("developer sync_all": every product, also those only the server's list holds) is asked again.
TEST_F (ContentCatalogue, LateDescriptorTakesTheRunOnlineWhenItComes)
{
    EventTracker quiet ({ {}, true, false });   // developer mode: sends nothing
    for (const auto stored : { 0, 2 })
    {
        server.setAnswer ("/Belvora2/masterDescriptor.xml", lateDescriptor (3000));
        auto& content = startCatalogue (false);
        EXPECT_TRUE (content.isConnecting());
        EXPECT_EQ (content.getProductIds().size(), stored);
        DeviceProfiler syncAll (content, quiet, { false, true, true });
        syncAll.initialise();

        ASSERT_TRUE (content.waitUntilConnected ({}));
        EXPECT_TRUE (content.isOnline());
        EXPECT_EQ (content.getProductIds().size(), 2);
        EXPECT_EQ (fatalError, 0);
        EXPECT_TRUE (TestEnvironment::runMessageLoopUntil ([&] { return content.isProductReady (vesper) && content.isProductReady (quill); }, 60000));
        platform::WriteQueue::waitUntilAllIdle();
    }
}

TEST_F (ContentCatalogue, AnswerWithoutTheRightRootCountsAsNoAnswer)
{
    startCatalogue();
    serveDescriptor (server, "<SOMETHING_ELSE/>");

    auto& content = startCatalogue();
    EXPECT_FALSE (content.isOnline());
    EXPECT_EQ (content.getProductName (quill), "Quill Duo");
    EXPECT_TRUE (juce::File (Belvora::getMasterDescriptorFile()).loadFileAsString().contains ("Quill Duo"));
}

TEST_F (ContentCatalogue, NoDescriptorAnywhereIsFatalErrorTwo)
{
    server.setAnswer ("/Belvora2/masterDescriptor.xml", LocalServer::Answer::error (404));

    auto& content = startCatalogue();
    EXPECT_EQ (fatalError, 2);
    EXPECT_TRUE (content.getProductIds().isEmpty());
    EXPECT_FALSE (juce::File (Belvora::getMasterDescriptorFile()).exists());
}

TEST_F (ContentCatalogue, TruncatedDescriptorIsNotUsed)
{
    auto cut = LocalServer::Answer::text (contentRoot().getChildFile ("Belvora2/masterDescriptor.xml").loadFileAsString());
    cut.truncateAfter = 200;
    server.setAnswer ("/Belvora2/masterDescriptor.xml", cut);

    startCatalogue();
    EXPECT_EQ (fatalError, 2);
}

TEST_F (ContentCatalogue, DeveloperOverrideWinsButOnlineStillTellsTheServerAnswered)
{
    startCatalogue();   // leaves the previous copy on disk
    setup.developerMode = true;

    auto overrideFile = TestEnvironment::getHome().getChildFile ("override.xml");
    overrideFile.replaceWithText (descriptorWith ({}, product ("Solo", "30")));
    Belvora::getAppProperties().getUserSettings()->setValue ("developerControlDescriptorUri", overrideFile.getFullPathName());

    serveDescriptor (server, descriptorWith ({}, product ("Fresh", "31")));
    auto& content = startCatalogue();

    EXPECT_TRUE (content.isOnline());
    EXPECT_EQ (content.getProductNames(), juce::StringArray ("Solo"));
    // Neither the override nor the fresh copy replaced the local copy.
    EXPECT_TRUE (juce::File (Belvora::getMasterDescriptorFile()).loadFileAsString().contains ("Quill Duo"));

    Belvora::getAppProperties().getUserSettings()->setValue ("developerControlDescriptorUri", "/no/such/file.xml");
    EXPECT_EQ (startCatalogue().getProductNames(), juce::StringArray ("Fresh"));
}

TEST_F (ContentCatalogue, ProductRecordsKeepOnlyUsableProducts)
{
    serveDescriptor (server, descriptorWith ({},
        product ("Low", "1a") + product ("Same Id", "1A") + product ("", "20") + product ("NoId", "FF")
        + product ("Alias", "11A") + product ("Far", "100") + product ("../Escape", "21") + product ("Sub/Folder", "22")
        + product ("Flags", "23\" allVersSupportGenSyxID=\"  yes")));

    auto& content = startCatalogue();

    EXPECT_EQ (content.getProductNames(), juce::StringArray ("Low", "Same Id", "Flags"));
    EXPECT_EQ (content.getProductName (26), "Low");    // the first of two with one id
    EXPECT_EQ (content.getProductIdForName ("Alias"), 255);
    EXPECT_TRUE (content.answersGenericIdentity (0x23));
    EXPECT_FALSE (content.answersGenericIdentity (26));
}

TEST_F (ContentCatalogue, GeneralSettingsAndDefaults)
{
    serveDescriptor (server, descriptorWith ({}, product ("Plain", "10")));
    auto& plain = startCatalogue();
    EXPECT_EQ (plain.getLinkUserAccount(), "https://www.marrowell.com/account?agent=belvora");
    EXPECT_EQ (plain.getLinkConnectionFAQ(), plain.getLinkGeneralSupport());
    EXPECT_EQ (plain.getManualUrl (0x10), plain.getLinkManualDefault());
    EXPECT_EQ (plain.getManualUrl (0x77), plain.getLinkManualDefault());

    serveDescriptor (server, descriptorWith ("<belvora><latestBuildNo>137</latestBuildNo><latestBuildInfo>1.2 build 137</latestBuildInfo>"
                                             "<updateUrlPc>http://x/setup.exe</updateUrlPc><linkUserAccount>http://x/me</linkUserAccount></belvora>", {}));
    auto& newer = startCatalogue();
    EXPECT_EQ (newer.getLatestBuildInfo(), "1.2 build 137");
    EXPECT_EQ (newer.getUpdateUrlPc(), "http://x/setup.exe");
    EXPECT_EQ (newer.getLinkUserAccount(), "http://x/me?agent=belvora");

    // A link the document leaves out keeps its own default, not another link's value.
    serveDescriptor (server, descriptorWith ("<belvora><linkGeneralSupport>http://x/help</linkGeneralSupport></belvora>", {}));
    auto& support = startCatalogue();
    EXPECT_EQ (support.getLinkGeneralSupport(), "http://x/help");
    EXPECT_EQ (support.getLinkConnectionFAQ(), "https://www.marrowell.com/support");
}

TEST_F (ContentCatalogue, IsoDates)
{
    EXPECT_EQ (ContentManager::parseIsoDate ("2014-11-05T10:20:30Z"), juce::Time (2014, 10, 5, 10, 20, 30, 0, false));
    EXPECT_EQ (ContentManager::parseIsoDate ("2020-02-01"), juce::Time (2020, 1, 1, 0, 0, 0, 0, false));

    const auto before = juce::Time::getCurrentTime();
    for (auto text : { "1999-01-01T00:00:00Z", "", "3001-01-01T00:00:00Z", "junk" })
        EXPECT_GE (ContentManager::parseIsoDate (text), before) << text;

    // Huge parts roll over instead of overflowing.
    ContentManager::parseIsoDate ("2020-99999999999-99999999-999999999T99999999:99999999:99999999Z");
}

TEST_F (ContentCatalogue, UnknownProductsAnswerEmpty)
{
    auto& content = startCatalogue();

    EXPECT_TRUE (content.getProductName (0x55).isEmpty());
    EXPECT_FALSE (content.isProductReady (0x55));
    EXPECT_EQ (content.getLastCheckTime (0x55), juce::Time());
    EXPECT_EQ (content.getCapsXml (0x55), nullptr);
    EXPECT_TRUE (content.getFirmwareUpdates (0x55).isEmpty());
    EXPECT_TRUE (content.getConversionRules (0x55, 1).isEmpty());
    EXPECT_EQ (content.getLatestFirmwareUpdate (0x55).status, FirmwareUpdateElement::statusNone);
    EXPECT_TRUE (content.getProductImage (0x55, "x") == content.getDefaultPicture());
    EXPECT_TRUE (content.getLocalContentFile (0x55, ContentManager::capsDocument, 0, false).isEmpty());
    EXPECT_FALSE (content.requestProductContent (0x55));
    EXPECT_FALSE (content.loadCachedProductContent (0x55));
}
