// Archive files as the backup manager reads them: pictures from local files
// only, and of sane sizes.

#include "BackupFixture.h"

#include "archive/ArchiveFiles.h"

namespace
{
    juce::String archiveLinking (const juce::String& picture)
    {
        return "<ARCHIVE><uuid>00112233445566778899aabbccddeeff</uuid><md5>0123456789abcdef0123456789abcdef</md5>"
               "<product sysexId=\"12\"/><author name=\"A\" id=\"1\"/><title>T</title><linkImage>" + picture
               + "</linkImage><linkData>data.mwd</linkData></ARCHIVE>";
    }
}

using ArchiveFilesReading = BackupFixture;

TEST_F (ArchiveFilesReading, PicturesComeFromLocalFilesOnly)
{
    const auto file = store ("data", newBuild, "T");

    juce::Image cover (juce::Image::RGB, 5, 4, true);
    {
        juce::FileOutputStream out (folder().getChildFile ("cover.png"));
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (cover, out));
    }

    ASSERT_TRUE (file.replaceWithText (archiveLinking ("cover.png")));
    auto local = ArchiveFiles::load (file);
    ASSERT_NE (local, nullptr);
    EXPECT_TRUE (local->isValid());
    EXPECT_EQ (local->getImage().image.getWidth(), 5);

    // The server has the picture, but archives are read where nothing may wait on a server.
    const auto served = server.getBaseUrl() + "/Belvora2/Vesper/images/vesper.png";
    const auto fetchedBefore = gets ("/Belvora2/Vesper/images/vesper.png");
    ASSERT_TRUE (file.replaceWithText (archiveLinking (served)));
    auto remote = ArchiveFiles::load (file);
    EXPECT_TRUE (remote->getImage().isDrawing()) << "the default picture";
    EXPECT_EQ (gets ("/Belvora2/Vesper/images/vesper.png"), fetchedBefore);
    EXPECT_FALSE (ArchiveFiles::readLocalPicture (served).isValid());

    // A picture that claims to be huge is not decoded.
    juce::MemoryBlock bytes;
    folder().getChildFile ("cover.png").loadFileAsData (bytes);
    auto* header = static_cast<uint8_t*> (bytes.getData());
    header[16] = header[20] = 0x7F;   // width and height of some two billion pixels
    folder().getChildFile ("huge.png").replaceWithData (bytes.getData(), bytes.getSize());
    EXPECT_FALSE (ArchiveFiles::readLocalPicture (folder().getChildFile ("huge.png").getFullPathName()).isValid());

    EXPECT_EQ (ArchiveFiles::load (folder().getChildFile ("missing.xml")), nullptr);
}
