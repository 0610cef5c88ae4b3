// Archives: their file, checksum, links, pictures and copies.

#include "ModelFixtures.h"

#include "model/DeviceDataArchive.h"
#include "resources/BinaryResources.h"
#include "support/FileSizeLimit.h"

#include <gtest/gtest.h>
#include <juce_cryptography/juce_cryptography.h>

#include <sys/stat.h>

using namespace ModelFixtures;

namespace
{
    std::unique_ptr<juce::XmlElement> parse (const juce::File& file)
    {
        return juce::XmlDocument::parse (file);
    }

    juce::StringArray childNames (const juce::XmlElement& xml)
    {
        juce::StringArray names;
        for (auto* child : xml.getChildIterator())
            names.add (child->getTagName());
        return names;
    }

    /** The archive file as written, read back the way the program reads it. */
    std::unique_ptr<DeviceDataArchive> reload (const juce::File& archiveFile, const DeviceDataArchive::PictureReader& reader = {})
    {
        const auto xml = parse (archiveFile);
        return xml != nullptr ? std::make_unique<DeviceDataArchive> (*xml, archiveFile.getParentDirectory(), reader) : nullptr;
    }

    /** Element name and the text to put in its place ("-" leaves the element out). */
    using Changes = std::vector<std::pair<juce::String, juce::String>>;

    juce::String describe (const Changes& changes)
    {
        juce::String text;
        for (auto& [name, value] : changes)
            text << name << "=" << value << " ";
        return text;
    }

    /** A document like the program writes, with elements' texts replaced or elements left out. */
    juce::String archiveText (const juce::String& linkData, const Changes& changes = {})
    {
        juce::StringPairArray texts;
        texts.set ("uuid", "00112233445566778899aabbccddeeff");
        texts.set ("md5", "0123456789abcdef0123456789abcdef");
        texts.set ("arVersion", "136");
        texts.set ("product", "<product sysexId=\"21\"/>");
        texts.set ("buildNo", "41");
        texts.set ("author", "<author name=\"Ann\" id=\"7\"/>");
        texts.set ("title", "Live set");
        texts.set ("description", "For the club");
        texts.set ("pubDate", "1425201630000");
        texts.set ("linkImage", "  *  ");
        texts.set ("linkData", linkData);

        for (auto& [name, value] : changes)
            texts.set (name, value);

        juce::String xml = "<ARCHIVE>";
        for (auto* name : { "uuid", "md5", "arVersion", "product", "buildNo", "author", "title", "description", "pubDate", "linkImage", "linkData" })
        {
            const auto text = texts[name];
            if (text == "-")
                continue;
            xml << (text.startsWith ("<") ? text : "<" + juce::String (name) + ">" + text + "</" + juce::String (name) + ">");
        }
        return xml + "</ARCHIVE>";
    }

    std::unique_ptr<DeviceDataArchive> fromText (const juce::String& text, const juce::File& folder)
    {
        const auto xml = juce::XmlDocument::parse (text);
        return xml != nullptr ? std::make_unique<DeviceDataArchive> (*xml, folder) : nullptr;
    }

    /** A folder with a data file "data.mwd" of presets 1, 3 and a setup. */
    juce::File folderWithData (const juce::String& name)
    {
        const auto folder = freshFolder (name);
        makeData (smallCaps(), { 1, 3 })->saveToFile (folder.getChildFile ("data.mwd"));
        return folder;
    }
}

//==============================================================================
TEST (ArchiveFile, IsWrittenWithItsElementsInOrderAndReadBackWhole)
{
    auto caps = smallCaps();
    caps.productId = 10;
    const auto data = makeData (caps, { 1, 2, 5 });
    const auto folder = freshFolder ("archive-roundtrip");

    DeviceDataArchive archive (*data, "Live set", "For the club");
    EXPECT_TRUE (archive.isValid());
    EXPECT_TRUE (archive.isModified());
    EXPECT_TRUE (archive.getMd5().isEmpty());
    EXPECT_EQ (archive.getAuthorId(), 1);
    EXPECT_EQ (archive.getAuthorName(), "Belvora");
    EXPECT_EQ (archive.getArVersion(), 136);
    EXPECT_EQ (archive.getLinkImage(), "*");

    const auto file = folder.getChildFile ("Vox_000001.xml");
    ASSERT_TRUE (archive.save (file));
    EXPECT_FALSE (archive.isModified());
    EXPECT_EQ (archive.getMd5().length(), 32);

    // An empty link takes the archive file's base name; the link names the file written.
    EXPECT_EQ (archive.getLinkData(), folder.getChildFile ("Vox_000001.mwd").getFullPathName());
    EXPECT_TRUE (folder.getChildFile ("Vox_000001.mwd").existsAsFile());

    const auto xml = parse (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "ARCHIVE");
    EXPECT_EQ (childNames (*xml), juce::StringArray ({ "uuid", "md5", "arVersion", "product", "buildNo", "author", "title",
                                                       "description", "pubDate", "linkImage", "linkData" }));
    EXPECT_EQ (xml->getChildByName ("product")->getStringAttribute ("sysexId"), "0A");
    EXPECT_EQ (xml->getChildElementAllSubText ("uuid", {}), archive.getUuid().toString());
    EXPECT_EQ (xml->getChildElementAllSubText ("buildNo", {}), "41");
    EXPECT_EQ (xml->getChildByName ("author")->getStringAttribute ("name"), "Belvora");
    EXPECT_EQ (xml->getChildByName ("author")->getIntAttribute ("id"), 1);
    EXPECT_EQ (xml->getChildElementAllSubText ("pubDate", {}), juce::String (archive.getPubDate()));

    const auto back = reload (file);
    ASSERT_NE (back, nullptr);
    EXPECT_TRUE (back->isValid());
    EXPECT_FALSE (back->isModified());
    EXPECT_EQ (back->getUuid(), archive.getUuid());
    EXPECT_EQ (back->getMd5(), archive.getMd5());
    EXPECT_EQ (back->getTitle(), "Live set");
    EXPECT_EQ (back->getDescription(), "For the club");
    EXPECT_EQ (back->getPubDate(), archive.getPubDate());
    EXPECT_EQ (back->getProductId(), 10);
    EXPECT_EQ (back->getBuildNo(), 41);
    EXPECT_EQ (back->getPresetNames(), juce::StringArray ({ "P1", "P2", "P5" }));
    EXPECT_EQ (back->getPresetIndices(), juce::Array<int> ({ 1, 2, 5 }));
    EXPECT_TRUE (back->hasPresets());
    EXPECT_TRUE (back->hasSetup());
    ASSERT_NE (back->getDeviceData(), nullptr);
    EXPECT_EQ (back->getDeviceData()->getPreset (5)->getMD5(), data->getPreset (5)->getMD5());

    // The same checksum again, as nothing changed.
    back->computeMd5();
    EXPECT_EQ (back->getMd5(), archive.getMd5());
}

TEST (ArchiveFile, ChecksumTakesItsInputInTheGivenOrder)
{
    auto data = makeData (smallCaps(), { 0, 2, 4 });
    DeviceDataArchive archive (*data, "T", "D");
    archive.computeMd5();

    juce::MemoryOutputStream expected;
    for (int slot : { 2, 4 })   // slot 0 never counts
        expected.write (data->getPreset (slot)->getMD5().data(), 16);
    expected.write (data->getSetup().getMD5().data(), 16);
    expected << archive.getUuid().toString() << "136" << "1" << "Belvora" << "T" << "D"
             << juce::String (archive.getPubDate()) << "*";

    EXPECT_EQ (archive.getMd5(), juce::MD5 (expected.getMemoryBlock()).toHexString());

    // A new identity gives a new checksum for the same content.
    const auto before = archive.getMd5();
    archive.adoptConvertedData (data->clone (true));
    EXPECT_NE (archive.getMd5(), before);
    EXPECT_TRUE (archive.isModified());
}

TEST (ArchiveFile, ARasterPictureEntersTheChecksumAsPng)
{
    const auto folder = folderWithData ("archive-picture-md5");
    juce::Image picture (juce::Image::RGB, 4, 3, true);
    picture.setPixelAt (1, 1, juce::Colours::red);

    const auto archive = fromText (archiveText ("data.mwd", { { "linkImage", "cover.png" } }), folder);
    ASSERT_NE (archive, nullptr);
    EXPECT_TRUE (archive->getImage().isDrawing()) << "without a reader the default picture stands in";

    const auto xml = juce::XmlDocument::parse (archiveText ("data.mwd", { { "linkImage", "cover.png" } }));
    juce::String asked;
    DeviceDataArchive withPicture (*xml, folder, [&] (const juce::String& location) { asked = location; return picture; });
    EXPECT_EQ (asked, folder.getChildFile ("cover.png").getFullPathName()) << "a relative picture lies beside the archive";
    EXPECT_TRUE (withPicture.getImage().image.isValid());

    withPicture.computeMd5();
    juce::MemoryOutputStream expected;
    const auto* d = withPicture.getDeviceData();
    for (int slot : { 1, 3 })
        expected.write (d->getPreset (slot)->getMD5().data(), 16);
    expected.write (d->getSetup().getMD5().data(), 16);
    expected << withPicture.getUuid().toString() << "136" << "7" << "Ann" << "Live set" << "For the club" << "1425201630000";
    juce::PNGImageFormat().writeImageToStream (withPicture.getImage().image, expected);

    EXPECT_EQ (withPicture.getMd5(), juce::MD5 (expected.getMemoryBlock()).toHexString());
}

TEST (ArchiveFile, StructuralFaultsMakeItInvalidWithoutReadingTheData)
{
    const auto folder = folderWithData ("archive-structure");

    const auto good = fromText (archiveText ("data.mwd"), folder);
    ASSERT_NE (good, nullptr);
    EXPECT_TRUE (good->isValid());
    EXPECT_EQ (good->getProductId(), 0x21) << "the data file's head replaces the product read from the archive file";
    EXPECT_EQ (good->getLinkImage(), "*") << "the picture link is trimmed";
    EXPECT_EQ (good->getAuthorId(), 7);

    for (const auto& change : { Changes { { "md5", "0123456789abcdef0123456789abcde" } },
                                Changes { { "md5", "0123456789abcdef0123456789abcdef0" } },
                                Changes { { "uuid", "" } },
                                Changes { { "author", "-" } },
                                Changes { { "product", "-" } } })
    {
        const auto archive = fromText (archiveText ("data.mwd", change), folder);
        ASSERT_NE (archive, nullptr);
        EXPECT_FALSE (archive->isValid()) << describe (change);
        EXPECT_EQ (archive->getDeviceData(), nullptr);
        EXPECT_EQ (archive->getProductId(), 255);
    }

    const auto withoutId = fromText (archiveText ("data.mwd", { { "author", "<author name=\"Ann\"/>" } }), folder);
    EXPECT_TRUE (withoutId->isValid());
    EXPECT_EQ (withoutId->getAuthorId(), -1);
    EXPECT_EQ (withoutId->getAuthorName(), "Ann");

    const auto notAnArchive = juce::XmlDocument::parse ("<ARCHIVES/>");
    EXPECT_FALSE (DeviceDataArchive (*notAnArchive, folder).isValid());

    // A missing or broken data file: invalid, with the summary of an empty archive.
    for (const auto& link : { juce::String ("missing.mwd"), juce::String ("broken.mwd"), juce::String() })
    {
        folder.getChildFile ("broken.mwd").replaceWithText ("not a data file");
        const auto archive = fromText (archiveText (link), folder);
        EXPECT_FALSE (archive->isValid()) << link;
        EXPECT_EQ (archive->getProductId(), 255);
        EXPECT_EQ (archive->getBuildNo(), 0);
        EXPECT_FALSE (archive->hasPresets());
        EXPECT_TRUE (archive->getPresetNames().isEmpty());
    }
}

TEST (ArchiveFile, ADataFileThatIsNoRegularFileIsNeverOpened)
{
    // Opening a pipe would wait for a writer for ever.
    const auto folder = freshFolder ("archive-pipe");
    ASSERT_EQ (::mkfifo (folder.getChildFile ("pipe.mwd").getFullPathName().toRawUTF8(), 0600), 0);

    const auto archive = fromText (archiveText ("pipe.mwd"), folder);
    EXPECT_FALSE (archive->isValid());
    EXPECT_EQ (archive->getDeviceData(), nullptr);
}

TEST (ArchiveFile, ABodyThatFailsWhenFirstReadLeavesAnArchiveWithoutData)
{
    const auto folder = folderWithData ("archive-lazy");
    const auto archive = fromText (archiveText ("data.mwd"), folder);
    ASSERT_TRUE (archive->isValid());

    // Cut the data file after its head: the slots are read only now.
    juce::MemoryBlock bytes;
    folder.getChildFile ("data.mwd").loadFileAsData (bytes);
    bytes.setSize (bytes.getSize() / 2);
    folder.getChildFile ("data.mwd").replaceWithData (bytes.getData(), bytes.getSize());

    EXPECT_FALSE (archive->isDamaged()) << "not known before the body is read";
    EXPECT_EQ (archive->getDeviceData(), nullptr);
    EXPECT_TRUE (archive->isDamaged());
    EXPECT_EQ (archive->getProductId(), 255);
    EXPECT_FALSE (archive->hasSetup());

    // Saving it writes no data file, so the one there stays.
    EXPECT_TRUE (archive->save (folder.getChildFile ("data.xml")));
    EXPECT_EQ (folder.getChildFile ("data.mwd").getSize(), (juce::int64) bytes.getSize());
}

//==============================================================================
TEST (ArchiveLinks, RelativeLinksStayInTheArchivesFolderAndTheWrittenExtensionIsStored)
{
    const auto folder = folderWithData ("archive-links");
    const auto data = makeData (smallCaps(), { 2 });

    // A bare name is written beside the archive file, with ".mwd", and stays relative.
    DeviceDataArchive relative (*data, "R", {});
    relative.setLinkData ("set one.dat");
    ASSERT_TRUE (relative.save (folder.getChildFile ("one.xml")));
    EXPECT_TRUE (folder.getChildFile ("set one.mwd").existsAsFile());
    EXPECT_FALSE (folder.getChildFile ("set one.dat").exists());
    EXPECT_EQ (relative.getLinkData(), "set one.mwd");

    // ... so the archive is valid when it is read again (the stored link was the old one).
    const auto back = reload (folder.getChildFile ("one.xml"));
    ASSERT_TRUE (back->isValid());
    EXPECT_EQ (back->getPresetNames(), juce::StringArray ({ "P2" }));

    // An absolute link in the folder keeps its place and takes the extension.
    DeviceDataArchive absolute (*data, "A", {});
    absolute.setLinkData (folder.getChildFile ("abs.bin").getFullPathName());
    ASSERT_TRUE (absolute.save (folder.getChildFile ("abs.xml")));
    EXPECT_EQ (absolute.getLinkData(), folder.getChildFile ("abs.mwd").getFullPathName());
    EXPECT_TRUE (reload (folder.getChildFile ("abs.xml"))->isValid());

    // Links that lead out of the folder are refused and write nothing.
    const auto outside = folder.getParentDirectory().getChildFile ("escaped.mwd");
    for (const auto& link : { juce::String ("../escaped.mwd"), juce::String ("sub/../../escaped.mwd"), outside.getFullPathName() })
    {
        DeviceDataArchive escaping (*data, "E", {});
        escaping.setLinkData (link);
        EXPECT_FALSE (escaping.save (folder.getChildFile ("escape.xml"))) << link;
        EXPECT_TRUE (escaping.isModified());
    }
    EXPECT_FALSE (outside.exists());
    EXPECT_FALSE (folder.getChildFile ("escape.xml").exists());

    // Reading follows the same rule: a relative link out of the folder is no data.
    const auto sibling = folderWithData ("archive-links-sibling");
    EXPECT_FALSE (fromText (archiveText ("../archive-links-sibling/data.mwd"), folder)->isValid());
    EXPECT_TRUE (fromText (archiveText ("../archive-links/data.mwd"), folder)->isValid()) << "out and back in is inside";
    EXPECT_TRUE (fromText (archiveText ("sub\\..\\data.mwd"), folder)->isValid()) << "backslashes separate too";
    EXPECT_EQ (DeviceDataArchive::resolveLink ("x.mwd", {}), juce::File()) << "no folder, no relative link";

    // Absolute links are cleaned as any path is.
    for (const auto* link : { "/a/./b.mwd", "/a//b.mwd", "/a/b/", "/a/../b.mwd", "/a/b.mwd", "/" })
        EXPECT_EQ (DeviceDataArchive::resolveLink (link, folder).getFullPathName(), juce::File (link).getFullPathName()) << link;
}

TEST (ArchiveLinks, AFailedSaveKeepsBothOldFiles)
{
    const auto folder = freshFolder ("archive-failed-save");
    const auto file = folder.getChildFile ("kept.xml");

    DeviceDataArchive archive (*makeData (smallCaps(), { 1 }), "Old", {});
    ASSERT_TRUE (archive.save (file));
    const auto oldXml = file.loadFileAsString();
    const auto oldData = folder.getChildFile ("kept.mwd").getSize();

    // A bigger version that no longer fits: the disk is full.
    auto bigger = makeData (smallCaps(), { 1, 2, 3, 4, 5, 6, 7 });
    ASSERT_TRUE (archive.replaceDeviceData (*bigger));
    archive.setTitle ("New");

    const auto result = FileSizeLimit::inChild ((rlim_t) oldData + 16, [&] { return archive.save (file) ? 1 : 0; });
    EXPECT_EQ (result, 0);
    EXPECT_EQ (file.loadFileAsString(), oldXml);
    EXPECT_EQ (folder.getChildFile ("kept.mwd").getSize(), oldData);
    EXPECT_EQ (reload (file)->getPresetNames(), juce::StringArray ({ "P1" }));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 2) << "no temporary file left";
}

TEST (ArchiveLinks, DeletingRemovesTheTwoFilesOfItsOwnFolderOnly)
{
    const auto folder = folderWithData ("archive-delete");
    folder.getChildFile ("data.xml").replaceWithText (archiveText ("data.mwd"));

    const auto archive = reload (folder.getChildFile ("data.xml"));
    ASSERT_TRUE (archive->isValid());
    archive->deleteFiles();
    EXPECT_FALSE (folder.getChildFile ("data.mwd").exists());
    EXPECT_FALSE (folder.getChildFile ("data.xml").exists());

    // An archive file that names somebody else's file deletes nothing there.
    const auto elsewhere = freshFolder ("archive-delete-elsewhere");
    makeData (smallCaps(), { 1 })->saveToFile (elsewhere.getChildFile ("theirs.mwd"));
    elsewhere.getChildFile ("theirs.xml").replaceWithText ("keep me");
    const auto foreign = fromText (archiveText (elsewhere.getChildFile ("theirs.mwd").getFullPathName()), folder);
    ASSERT_TRUE (foreign->isValid());
    foreign->deleteFiles();
    EXPECT_TRUE (elsewhere.getChildFile ("theirs.mwd").exists());
    EXPECT_TRUE (elsewhere.getChildFile ("theirs.xml").exists());
}

//==============================================================================
TEST (ArchiveCopies, ACopyGetsFilesOfItsOwnAndANewIdentity)
{
    const auto folder = freshFolder ("archive-copy");
    DeviceDataArchive first (*makeData (smallCaps(), { 1, 2 }), "First", "d");
    ASSERT_TRUE (first.save (folder.getChildFile ("first.xml")));
    const auto firstXml = folder.getChildFile ("first.xml").loadFileAsString();

    DeviceDataArchive copy (first);
    EXPECT_NE (copy.getUuid(), first.getUuid());
    EXPECT_TRUE (copy.getLinkData().isEmpty());
    EXPECT_TRUE (copy.getMd5().isEmpty());
    EXPECT_TRUE (copy.isModified());
    EXPECT_EQ (copy.getTitle(), "First");
    ASSERT_NE (copy.getDeviceData(), first.getDeviceData());
    EXPECT_EQ (copy.getDeviceData()->getPreset (2)->getMD5(), first.getDeviceData()->getPreset (2)->getMD5());

    ASSERT_TRUE (copy.save (folder.getChildFile ("second.xml")));
    EXPECT_TRUE (folder.getChildFile ("second.mwd").existsAsFile());
    EXPECT_EQ (folder.getChildFile ("first.xml").loadFileAsString(), firstXml);
}

TEST (ArchiveCopies, EditsMarkItModifiedAndDropTheChecksum)
{
    DeviceDataArchive archive (*makeData (smallCaps(), { 1 }), "T", {});
    const auto folder = freshFolder ("archive-edits");
    ASSERT_TRUE (archive.save (folder.getChildFile ("a.xml")));

    auto expectEdit = [&archive, &folder] (const char* what, const std::function<void()>& edit, bool changes)
    {
        ASSERT_TRUE (archive.save (folder.getChildFile ("a.xml")));
        edit();
        EXPECT_EQ (archive.isModified(), changes) << what;
        EXPECT_EQ (archive.getMd5().isEmpty(), changes) << what;
    };

    expectEdit ("same title", [&] { archive.setTitle ("T"); }, false);
    expectEdit ("title", [&] { archive.setTitle ("U"); }, true);
    expectEdit ("description", [&] { archive.setDescription ("more"); }, true);
    expectEdit ("maker", [&] { archive.setMakerAuthor(); }, true);
    expectEdit ("maker again", [&] { archive.setMakerAuthor(); }, false);
    EXPECT_EQ (archive.getAuthorName(), "Marrowell");

    // Data of another device type is refused and changes nothing.
    auto otherCaps = smallCaps();
    otherCaps.setupVersion = 6;
    expectEdit ("other type", [&] { EXPECT_FALSE (archive.replaceDeviceData (*makeData (otherCaps, { 4 }))); }, false);
    expectEdit ("same type", [&] { EXPECT_TRUE (archive.replaceDeviceData (*makeData (smallCaps(), { 4 }))); }, true);
    EXPECT_EQ (archive.getPresetIndices(), juce::Array<int> ({ 4 }));

    EXPECT_EQ (DeviceDataArchive::getAuthorName (2), "administrator");
    EXPECT_EQ (DeviceDataArchive::getAuthorName (101), "anonymous");
    EXPECT_EQ (DeviceDataArchive::getAuthorName (5), "Unknown User");
}

TEST (ArchiveCopies, ThePublicationDateReadsInLocalTime)
{
    DeviceDataArchive archive (*makeData (smallCaps(), { 1 }), "T", {});
    archive.setPubDate (juce::Time (2015, 2, 1, 10, 20, 30, 0, true).toMilliseconds());
    EXPECT_EQ (archive.getPubDateString(), "Mar 01, 2015 - 10:20 AM");
}

//==============================================================================
TEST (ArchivePictures, EmbeddedLinksPreferTheDrawingThenThePictureThenTheDefault)
{
    DeviceDataArchive archive (*makeData (smallCaps(), { 1 }), "T", {});

    EXPECT_EQ (archive.getImage().svgData, (const void*) BinaryResources::archive_default_svg);

    archive.setLinkImage ("*app_icon_png");   // both forms are built in: the drawing wins
    EXPECT_EQ (archive.getImage().svgData, (const void*) BinaryResources::app_icon_svg);

    archive.setLinkImage ("*state_busy_png"); // only the picture
    EXPECT_FALSE (archive.getImage().isDrawing());
    EXPECT_EQ (archive.getImage().image.getWidth(), 41);

    archive.setLinkImage ("*archive_icon_star");
    EXPECT_EQ (archive.getImage().image.getWidth(), 256);

    for (auto* link : { "*nothing_png", "*", "/no/such/picture.png", "http://127.0.0.1:9/x.png" })
    {
        archive.setLinkImage (link);
        EXPECT_EQ (archive.getImage().svgData, (const void*) BinaryResources::archive_default_svg) << link;
    }
}
