// A preset pack's own files: a pack archive (first byte even) read as the
// Cloud tree reads it, summed up; or a pack description, "presets.xml"
// (first byte odd), turned into archives by the pack tool. Whatever they
// name, nothing outside the pack's folder may be read into an archive or
// written, and the tool's output stays in its "temp" folder.

#include "FuzzSupport.h"
#include "support/SampleHome.h"

#include "base/BelvoraPaths.h"
#include "archive/ArchiveFiles.h"
#include "archive/PackFiles.h"
#include "archive/PresetPackTool.h"
#include "conversion/ConversionTestData.h"
#include "content/ContentManager.h"

#include <juce_cryptography/juce_cryptography.h>

#include <cstdlib>
#include <unistd.h>

namespace
{
    struct Ignored : public juce::MessageListener
    {
        void handleMessage (const juce::Message&) override {}
    };

    /** Data of the sample Vesper at build 140, so that a pack's data needs no script to reach it. */
    std::unique_ptr<DeviceData> unitData (const char* name)
    {
        const auto caps = ConversionTestData::vesperBlock (4, 3, 30, 6);
        auto data = std::make_unique<DeviceData> ("Vesper", FirmwareVersion (0, 1, 4, 0, 140), caps, nullptr);
        data->setPreset (1, ConversionTestData::makePreset (caps, 1, name, 1));
        return data;
    }

    /** A private data folder with the sample catalogue, offline, and Vesper's
        documents cached (the pack's data is in the formats of build 140, so
        no script runs); a pack with data files and a picture, and beside it
        files the inputs may try to reach. */
    struct Scene
    {
        Scene()
        {
            home = SampleHome::makePrivateHome ("belvora-fuzz-packs-" + juce::String ((int) getpid()));

            const auto product = SampleHome::copySampleProduct ("Vesper", "Vesper");
            product.getChildFile ("firmware").createDirectory();

            // The image of build 140 where the firmware list looks for it: its name and a digest of its address.
            const juce::String link ("${SERVER}/Belvora2/Vesper/firmware/vesper_1_4_0_b140.syx");
            SampleHome::sampleContent().getChildFile ("Vesper/firmware/vesper_1_4_0_b140.syx")
                .copyFileTo (product.getChildFile ("firmware/vesper_1_4_0_b140-" + juce::MD5 (link.toUTF8()).toHexString().substring (0, 8) + ".syx"));

            juce::MessageManager::getInstance();
            catalogue = std::make_unique<ContentManager> (ContentManager::Setup(), notifications, nullptr);
            catalogue->loadCachedProductContent (0x12);

            if (catalogue->getLatestFirmwareUpdate (0x12).version.build != 140)
                std::abort();   // the tool would refuse every description

            packs = juce::File (BelvoraPaths::getPacksFolder ("Vesper"));
            pack = packs.getChildFile ("Pack");
            pack.getChildFile ("sub").createDirectory();
            unitData ("Pack")->saveToFile (pack.getChildFile ("data.mwd"));
            unitData ("Pack")->saveToFile (pack.getChildFile ("sub/data.mwd"));
            juce::PNGImageFormat().writeImageToStream (juce::Image (juce::Image::RGB, 4, 4, true), *pack.getChildFile ("picture.png").createOutputStream());

            // What lies outside the pack, by the names a hostile input would use.
            unitData ("Outside")->saveToFile (packs.getChildFile ("outside.mwd"));
            unitData ("Outside")->saveToFile (home.getChildFile ("outside.mwd"));
            unitData ("Outside")->saveToFile (juce::File (BelvoraPaths::getBackupDataFolder ("Vesper")).getChildFile ("Vesper_000000.mwd"));
            outside = snapshotOutside();
        }

        ~Scene()
        {
            catalogue.reset();
            home.deleteRecursively();
        }

        /** Every file outside the pack's folder with its checksum. */
        juce::String snapshotOutside() const
        {
            juce::StringArray lines;

            for (const auto& file : home.findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
                if (! file.isAChildOf (pack))
                    lines.add (file.getFullPathName() + " " + juce::MD5 (file).toHexString());

            lines.sort (false);
            return lines.joinIntoString ("\n");
        }

        juce::File home, packs, pack;
        juce::String outside;
        Ignored notifications;
        std::unique_ptr<ContentManager> catalogue;
    };

    Scene& scene()
    {
        static Scene s;
        return s;
    }

    void readPackArchive (const uint8_t* data, size_t size)
    {
        auto& s = scene();
        const auto file = s.pack.getChildFile ("input.xml");
        file.replaceWithData (data, size);

        auto archive = PackFiles::load (file, s.pack);

        if (archive == nullptr)
            return;

        // Only data from inside the pack is ever read.
        if (archive->getDeviceData() != nullptr)
            if (! archive->getDataFile().isAChildOf (s.pack) || archive->getPresetNames().contains ("Outside"))
                std::abort();

        (void) archive->hasSetup();
        (void) archive->getPubDateString();
        archive->computeMd5();
    }

    void convertDescription (const uint8_t* data, size_t size)
    {
        auto& s = scene();
        const auto file = s.pack.getChildFile ("presets.xml");
        file.replaceWithData (data, size);

        PresetPackTool tool (*s.catalogue, [] (const PresetPackTool::Notice&) {});
        tool.convertPack (file);

        // Each entry on its own as well, as the import makes them.
        if (const auto xml = ArchiveFiles::readDocument (file, PackFiles::maxDescriptionBytes))
        {
            for (auto* entry : xml->getChildWithTagNameIterator ("archive"))
            {
                const auto archive = tool.createArchive (*entry, FirmwareVersion (0, 1, 4, 0, 140), s.pack);

                if (archive != nullptr && (archive->getLinkData().containsAnyOf ("/\\") || archive->getPresetNames().contains ("Outside")))
                    std::abort();
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;

    if ((data[0] & 1) == 0)
        readPackArchive (data + 1, size - 1);
    else
        convertDescription (data + 1, size - 1);

    if (scene().snapshotOutside() != scene().outside)
        std::abort();

    return 0;
}
