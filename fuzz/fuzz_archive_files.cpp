// The local backups' files: an archive file (first byte even) read, summed up
// and saved again; or a backup index (first byte odd) read into the tree,
// checked for other formats, numbered and written back. Nothing may be
// written outside the scratch folders.

#include "FuzzSupport.h"
#include "support/SampleHome.h"

#include "base/BelvoraPaths.h"
#include "archive/ArchiveFiles.h"
#include "archive/LocalArchiveManager.h"
#include "content/ContentManager.h"

#include <cstdlib>
#include <unistd.h>

namespace
{
    struct Ignored : public juce::MessageListener
    {
        void handleMessage (const juce::Message&) override {}
    };

    CapsBlock unitCaps()
    {
        auto caps = FuzzSupport::smallCaps();
        caps.productId = 0x12;   // the sample Vesper of the sample catalogue
        caps.presetVersion = 4;
        caps.setupVersion = 3;
        return caps;
    }

    std::unique_ptr<DeviceData> unitData()
    {
        const auto caps = unitCaps();
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 4, 0, 140), caps, nullptr);

        for (int slot = 1; slot < 3; ++slot)
        {
            auto* preset = data->createPreset (slot);
            PresetName header;
            header.number = slot;
            header.formatVersion = caps.presetVersion;
            header.nameLength = caps.presetNameLength;
            header.setFromBytes (reinterpret_cast<const uint8_t*> ("Fuzz"), 4);
            preset->setNameBytes (header);
            preset->setStepValues (0, { 1, 2, 3, 4 });
        }

        return data;
    }

    /** A private data folder with the sample catalogue, and stored backups the inputs may name. */
    struct Scene
    {
        Scene()
        {
            home = SampleHome::makePrivateHome ("belvora-fuzz-archive-" + juce::String ((int) getpid()));

            juce::MessageManager::getInstance();
            catalogue = std::make_unique<ContentManager> (ContentManager::Setup(), notifications, nullptr);

            backups = juce::File (BelvoraPaths::getBackupDataFolder ("Vesper"));
            archives = home.getChildFile ("archives");
        }

        // Each input starts from folders holding only what the scene put there: what an
        // earlier input left (a damaged index moved aside under the next free number)
        // would make every later input slower, and its outcome depend on the order.
        void freshBackups()
        {
            backups.deleteRecursively();
            backups.createDirectory();
            DeviceDataArchive stored (*unitData(), "Stored", "");
            stored.save (backups.getChildFile ("a.xml"));
        }

        void freshArchives()
        {
            archives.deleteRecursively();
            archives.createDirectory();
            unitData()->saveToFile (archives.getChildFile ("data.mwd"));
        }

        ~Scene()
        {
            catalogue.reset();
            home.deleteRecursively();
        }

        juce::File home, backups, archives;
        Ignored notifications;
        std::unique_ptr<ContentManager> catalogue;
    };

    Scene& scene()
    {
        static Scene s;
        return s;
    }

    void readArchive (const uint8_t* data, size_t size)
    {
        auto& s = scene();
        s.freshArchives();
        const auto file = s.archives.getChildFile ("input.xml");
        file.replaceWithData (data, size);

        auto archive = ArchiveFiles::load (file);

        if (archive == nullptr)
            return;

        (void) archive->getPresetNames();
        (void) archive->hasSetup();
        (void) archive->getPubDateString();
        (void) archive->getArchiveFile();
        archive->computeMd5();

        // Saved elsewhere, whatever its links say, the files stay in that folder.
        const auto out = s.archives.getChildFile ("out");
        out.createDirectory();

        if (archive->save (out.getChildFile ("saved.xml")))
            if (const auto dataFile = archive->getDataFile(); archive->getDeviceData() != nullptr && ! dataFile.isAChildOf (out))
                std::abort();

        DeviceDataArchive copy (*archive);
        (void) copy.createXml();
    }

    void readIndex (const uint8_t* data, size_t size)
    {
        auto& s = scene();
        s.freshBackups();
        const auto indexFile = juce::File (BelvoraPaths::getBackupIndexFile ("Vesper"));
        indexFile.replaceWithData (data, size);

        LocalArchiveManager manager (*s.catalogue, unitCaps(), "Fuzz Unit", s.notifications);
        manager.reloadTree();

        juce::String question;
        (void) manager.checkBackupFormats (question);
        (void) manager.getNextArchiveFile();
        const auto handedOver = manager.saveBackupIndexInBackground();
        manager.waitForBackgroundSaves();
        const auto saved = handedOver && ! manager.getUnsaved().index;

        // What was written must read back.
        LocalArchiveManager again (*s.catalogue, unitCaps(), "Fuzz Unit", s.notifications);
        again.reloadTree();

        if (saved && again.copyIndex() == nullptr)
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;

    if ((data[0] & 1) == 0)
        readArchive (data + 1, size - 1);
    else
        readIndex (data + 1, size - 1);

    return 0;
}
