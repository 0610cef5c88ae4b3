#include "support/ContentFixture.h"

#include "content/ContentReader.h"
#include "content/PresetPacks.h"
#include "model/SafeSave.h"

namespace
{
    struct IdleThread : public juce::Thread
    {
        IdleThread() : juce::Thread ("test downloader") {}
        void run() override {}
    };

    const char* const hostilePacks[] = { "gigabyte.zip", "ratio_bomb.zip", "liar.zip", "slip.zip" };

    juce::File hostile (const char* name)
    {
        return juce::File (BELVORA_TEST_DATA_DIR).getChildFile ("content/Belvora2/Hostile").getChildFile (name);
    }

    LocalServer::Answer bodyOf (const juce::File& file)
    {
        juce::MemoryBlock data;
        file.loadFileAsData (data);
        LocalServer::Answer answer;
        answer.body.assign (static_cast<const char*> (data.getData()), data.getSize());
        return answer;
    }

    bool unpackAsAPack (const juce::File& zip, const juce::File& folder)
    {
        return ContentReader::unpackZip (zip, folder, platform::DownloadPolicy::maxUnpackedBytes, platform::DownloadPolicy::maxPackEntries, platform::DownloadPolicy::maxUnpackRatio, nullptr);
    }
}

class PresetPackDownloads : public ContentFixture
{
protected:
    IdleThread worker;
};

TEST_F (PresetPackDownloads, PacksThatClaimOrInflateTooMuchWriteNothing)
{
    for (auto name : { "gigabyte.zip", "ratio_bomb.zip", "slip.zip" })
    {
        const auto folder = TestEnvironment::getHome().getChildFile ("unpacked");
        folder.deleteRecursively();

        EXPECT_FALSE (unpackAsAPack (hostile (name), folder)) << name;
        EXPECT_FALSE (folder.exists()) << name;
    }

    // Only inflating shows the liar; it is cut at the size it claims.
    const auto folder = TestEnvironment::getHome().getChildFile ("unpacked");
    EXPECT_FALSE (unpackAsAPack (hostile ("liar.zip"), folder));
    EXPECT_LE (folder.getChildFile ("Starter/presets.xml").getSize(), 1000);
    folder.deleteRecursively();

    // The sample packs are well inside every limit.
    EXPECT_TRUE (unpackAsAPack (contentRoot().getChildFile ("Belvora2/Vesper/packs/vesper_presets.zip"), folder));
}

TEST_F (PresetPackDownloads, HostilePackIsRefusedAndThePackInUseStays)
{
    const auto served = copyContentTree();
    ASSERT_TRUE (startCatalogue().downloadPresetPack (vesper, &worker));

    const auto product = productFolder ("Vesper");
    const auto presets = product.getChildFile ("packs/Starter/presets.xml");
    const auto inUse = presets.loadFileAsString();
    ASSERT_TRUE (inUse.contains ("PRESETS"));

    auto descriptor = served.getChildFile ("Belvora2/masterDescriptor.xml");
    descriptor.replaceWithText (descriptor.loadFileAsString().replace ("vesper-presets-1", "vesper-presets-2"));

    for (auto name : hostilePacks)
    {
        server.setAnswer ("/Belvora2/Vesper/packs/vesper_presets.zip", bodyOf (hostile (name)));
        auto& content = startCatalogue();

        // A power cut between the two moves of the last install: the pack in use comes back.
        ASSERT_TRUE (name != hostilePacks[0] || product.getChildFile ("packs").moveFileTo (product.getChildFile ("packs.previous")));
        EXPECT_FALSE (content.downloadPresetPack (vesper, &worker)) << name;
        EXPECT_FALSE (content.isPresetPackCurrent (vesper)) << name;
        EXPECT_EQ (presets.loadFileAsString(), inUse) << name;
        EXPECT_FALSE (product.getChildFile ("packs.download").exists()) << name;
        EXPECT_FALSE (product.getChildFile ("packs.previous").exists()) << name;
        EXPECT_FALSE (product.getChildFile ("outside.txt").exists()) << name;
        EXPECT_FALSE (dataFolder().getChildFile ("outside.txt").exists()) << name;
    }

    // A sound pack then: its folders (Studio holds only a folder), its stamp and each move synced before the
    // old pack goes, so a power cut leaves one whole.
    server.clearAnswers();
    const auto packs = product.getChildFile ("packs"), previous = product.getChildFile ("packs.previous"), stamp = product.getChildFile ("packs.download/.presetsKey");
    juce::StringArray synced;
    SafeSave::setFolderSync ([&] (const juce::File& folder)
    {
        if (folder == product || folder == stamp.getSiblingFile ("Studio") || (folder == stamp.getParentDirectory() && stamp.existsAsFile()))
            synced.add (folder.getFileName() + ":" + (packs.exists() ? "packs " : "") + (previous.exists() ? "previous" : ""));
        return 0;
    });
    EXPECT_TRUE (startCatalogue().downloadPresetPack (vesper, &worker));
    SafeSave::setFolderSync ({});
    EXPECT_EQ (synced, juce::StringArray ({ "Vesper:packs ", "Studio:packs ", "packs.download:packs ", "Vesper:previous", "Vesper:packs previous" }));
    EXPECT_FALSE (previous.exists());
}
