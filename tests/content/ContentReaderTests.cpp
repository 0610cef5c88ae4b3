#include "content/ContentReader.h"
#include "support/LocalServer.h"
#include "support/TestEnvironment.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace
{
    juce::File scratch (const char* name)
    {
        auto f = TestEnvironment::getHome().getChildFile ("reader").getChildFile (name);
        f.getParentDirectory().createDirectory();
        return f;
    }

    juce::File makeZip (const char* name, const std::vector<std::pair<juce::String, juce::String>>& entries)
    {
        juce::ZipFile::Builder builder;

        for (const auto& [path, text] : entries)
            builder.addEntry (new juce::MemoryInputStream (text.toRawUTF8(), text.getNumBytesAsUTF8(), true), 9, path, juce::Time::getCurrentTime());

        auto zip = scratch (name);
        zip.deleteFile();
        juce::FileOutputStream out (zip);
        builder.writeToStream (out, nullptr);
        return zip;
    }

    juce::File freshFolder (const char* name)
    {
        auto folder = scratch (name);
        folder.deleteRecursively();
        return folder;
    }
}

TEST (ContentReader, ZipUnpacksIntoItsFolder)
{
    const auto zip = makeZip ("good.zip", { { "Starter/presets.xml", "<PRESETS/>" }, { "readme.txt", "hello" }, { "win\\style.txt", "x" } });
    const auto folder = freshFolder ("good");

    ASSERT_TRUE (ContentReader::unpackZip (zip, folder, 1000, 10, 100, nullptr));
    EXPECT_EQ (folder.getChildFile ("Starter/presets.xml").loadFileAsString(), "<PRESETS/>");
    EXPECT_EQ (folder.getChildFile ("readme.txt").loadFileAsString(), "hello");
    EXPECT_TRUE (folder.getChildFile ("win/style.txt").existsAsFile());
}

TEST (ContentReader, ZipEntriesLeadingOutOfTheFolderRefuseThePack)
{
    for (auto bad : { "../outside.txt", "a/../../outside.txt", "/tmp/belvora-absolute.txt", "..\\outside.txt", "c:/outside.txt", "a/./b.txt",
                      "~/outside.txt", ".../hidden.txt", "a/..../b.txt" })
    {
        const auto zip = makeZip ("slip.zip", { { "fine.txt", "fine" }, { bad, "evil" } });
        const auto folder = freshFolder ("slip/inner");

        EXPECT_FALSE (ContentReader::unpackZip (zip, folder, 1000, 10, 100, nullptr)) << bad;
        EXPECT_FALSE (folder.getChildFile ("fine.txt").exists()) << "nothing is written before the check";
        EXPECT_FALSE (folder.getParentDirectory().getChildFile ("outside.txt").exists());
        EXPECT_FALSE (juce::File ("/tmp/belvora-absolute.txt").exists());
        EXPECT_FALSE (TestEnvironment::getHome().getChildFile ("outside.txt").exists());
    }

    EXPECT_TRUE (ContentReader::isSafeEntryName ("Starter/"));
    EXPECT_TRUE (ContentReader::isSafeEntryName ("Starter/..presets.xml"));
}

TEST (ContentReader, EntryNameThatIsNotUtf8IsRefused)
{
    const char bytes[] = { 'l', (char) 0xf5, (char) 0x9e, (char) 0x1a };
    EXPECT_FALSE (ContentReader::isSafeEntryName (juce::String::fromUTF8 (bytes, 4)));
    EXPECT_TRUE (ContentReader::isSafeEntryName (juce::String::fromUTF8 ("caf\xc3\xa9/menu.txt")));
}

TEST (ContentReader, ZipSizeAndEntryCountAreCapped)
{
    const auto big = makeZip ("big.zip", { { "a.txt", juce::String::repeatedString ("0", 600) }, { "b.txt", juce::String::repeatedString ("0", 600) } });
    EXPECT_FALSE (ContentReader::unpackZip (big, freshFolder ("big"), 1000, 10, 100, nullptr));
    EXPECT_TRUE (ContentReader::unpackZip (big, freshFolder ("big"), 1200, 10, 100, nullptr));

    std::vector<std::pair<juce::String, juce::String>> many;
    for (int i = 0; i < 11; ++i)
        many.emplace_back ("f" + juce::String (i), "x");

    EXPECT_FALSE (ContentReader::unpackZip (makeZip ("many.zip", many), freshFolder ("many"), 1000, 10, 100, nullptr));
    EXPECT_FALSE (ContentReader::unpackZip (scratch ("none.zip"), freshFolder ("none"), 1000, 10, 100, nullptr));
}

TEST (ContentReader, EntryThatUnpacksLargerThanItClaimsIsCut)
{
    const auto zip = makeZip ("liar.zip", { { "bomb.txt", juce::String::repeatedString ("0", 5000) } });

    // Rewrite the central directory's size of the entry to 10 bytes.
    juce::MemoryBlock data;
    zip.loadFileAsData (data);
    auto* bytes = static_cast<uint8_t*> (data.getData());
    for (size_t i = 0; i + 28 < data.getSize(); ++i)
        if (bytes[i] == 0x50 && bytes[i + 1] == 0x4b && bytes[i + 2] == 0x01 && bytes[i + 3] == 0x02)
        {
            bytes[i + 24] = 10;
            bytes[i + 25] = bytes[i + 26] = bytes[i + 27] = 0;
        }
    zip.replaceWithData (data.getData(), data.getSize());

    const auto folder = freshFolder ("liar");
    const auto ok = ContentReader::unpackZip (zip, folder, 100, 10, 100, nullptr);
    EXPECT_TRUE (! ok || folder.getChildFile ("bomb.txt").getSize() <= 10);
}

TEST (ContentReader, XmlWithDocumentTypeOrDeepNestingIsRefused)
{
    EXPECT_NE (ContentReader::parseXmlText ("<A b=\"1\"><c/></A>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("plain text"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlData (juce::MemoryBlock ("<A>\xc1\x86\x01</A>", 9)), nullptr);
    EXPECT_NE (ContentReader::parseXmlData (juce::MemoryBlock ("\xef\xbb\xbf<A>caf\xc3\xa9</A>", 16)), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<A>x<?xml a?>y</A>"), nullptr);   // hung the parser
    EXPECT_NE (ContentReader::parseXmlText ("\n <?xml version=\"1.0\"?>\n<A/>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<A x=\"1></A>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<!DOCTYPE A [<!ENTITY a \"&a;&a;\">]><A>&a;</A>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<!doctype A SYSTEM \"/etc/passwd\"><A/>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<A>caf\xc3\xa9 <!-- x --> <!EnTiTy a \"b\"></A>"), nullptr);

    const auto deep = juce::String::repeatedString ("<a>", 100000) + juce::String::repeatedString ("</a>", 100000);
    EXPECT_EQ (ContentReader::parseXmlText (deep), nullptr);

    // Close tags inside a comment or a section close nothing: they must not hide the nesting after them.
    const auto nested = juce::String::repeatedString ("<a>", 1000) + juce::String::repeatedString ("</a>", 1000);
    const auto closers = juce::String::repeatedString ("</a>", 1000);
    EXPECT_EQ (ContentReader::parseXmlText ("<A><!--" + closers + "-->" + nested + "</A>"), nullptr);
    EXPECT_EQ (ContentReader::parseXmlText ("<A><![CDATA[" + closers + "]]>" + nested + "</A>"), nullptr);
    EXPECT_NE (ContentReader::parseXmlText ("<A><!-- </a> --><![CDATA[</b>]]><a><b/></a></A>"), nullptr);

    const auto wide = "<A>" + juce::String::repeatedString ("<a x='>'/>", 1000) + "</A>";
    auto parsed = ContentReader::parseXmlText (wide);
    ASSERT_NE (parsed, nullptr);
    EXPECT_EQ (parsed->getNumChildElements(), 1000);
}

TEST (ContentReader, XmlFilesAreReadWhenPlainAndWithinTheirLimit)
{
    const auto folder = freshFolder ("xml-files");
    folder.createDirectory();
    const auto path = [&folder] (const char* name) { return folder.getChildFile (name).getFullPathName(); };

    folder.getChildFile ("a.xml").replaceWithText ("<A/>");
    EXPECT_NE (ContentReader::readXmlFromFile (path ("a.xml"), nullptr, 4), nullptr);
    EXPECT_EQ (ContentReader::readXmlFromFile (path ("a.xml"), nullptr, 3), nullptr);
    EXPECT_EQ (ContentReader::readXmlFromFile (path ("none.xml"), nullptr, 100), nullptr);
    EXPECT_EQ (ContentReader::readXmlFromFile (folder.getFullPathName(), nullptr, 100), nullptr);

    // Opening a pipe would wait for a writer for ever.
    ASSERT_EQ (::mkfifo (path ("pipe.xml").toRawUTF8(), 0600), 0);
    EXPECT_EQ (ContentReader::readXmlFromFile (path ("pipe.xml"), nullptr, 100), nullptr);
}

TEST (ContentReader, PictureSizesAreCheckedBeforeDecoding)
{
    auto png = [] (uint32_t w, uint32_t h)
    {
        juce::MemoryOutputStream out;
        out.write ("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
        out.writeIntBigEndian ((int) w);
        out.writeIntBigEndian ((int) h);
        return out.getMemoryBlock();
    };

    EXPECT_TRUE (ContentReader::isPictureSizeSane (png (16, 12)));
    EXPECT_FALSE (ContentReader::isPictureSizeSane (png (100000, 100000)));
    EXPECT_FALSE (ContentReader::isPictureSizeSane (png (0, 12)));
    EXPECT_FALSE (ContentReader::isPictureSizeSane (juce::MemoryBlock ("BM not a picture", 16)));

    const uint8_t jpeg[] = { 0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00,
                             0xFF, 0xC0, 0x00, 0x11, 0x08, 0x9C, 0x40, 0x9C, 0x40, 0x03 };
    EXPECT_FALSE (ContentReader::isPictureSizeSane (juce::MemoryBlock (jpeg, sizeof (jpeg))));

    // A GIF is decoded at the size of its first image, whatever its header's screen says.
    uint8_t gif[] = { 'G', 'I', 'F', '8', '9', 'a', 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                      0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00,
                      0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B };
    // (Not decoded here: JUCE 7.0.5's GIF decoder reads two bytes before its buffer on every
    // GIF, which the undefined-behaviour sanitizer stops.)
    EXPECT_TRUE (ContentReader::isPictureSizeSane (juce::MemoryBlock (gif, sizeof (gif))));

    gif[32] = gif[33] = gif[34] = gif[35] = 0xEA;   // the image 60138 x 60138 on a 1 x 1 screen
    EXPECT_FALSE (ContentReader::isPictureSizeSane (juce::MemoryBlock (gif, sizeof (gif))));

    // A sound PNG decodes to its pixels; a damaged one (a bad checksum, a cut
    // stream) is no picture, and no crash.
    juce::Image picture (juce::Image::ARGB, 5, 3, true);
    picture.setPixelAt (1, 2, juce::Colour (0xff123456));
    picture.setPixelAt (4, 0, juce::Colour (0x80ff0000));
    juce::MemoryOutputStream encoded;
    ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (picture, encoded));
    const auto sound = encoded.getMemoryBlock();

    // The same pixels as the framework's own reader gives for a sound file.
    const auto decoded = ContentReader::decodePicture (sound);
    const auto framework = juce::ImageFileFormat::loadFrom (sound.getData(), sound.getSize());
    ASSERT_TRUE (decoded.isValid());
    EXPECT_EQ (decoded.getBounds(), picture.getBounds());
    EXPECT_EQ (decoded.getPixelAt (1, 2), picture.getPixelAt (1, 2));

    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ (decoded.getPixelAt (x, y), framework.getPixelAt (x, y)) << x << "," << y;

    auto badChecksum = sound;
    static_cast<char*> (badChecksum.getData())[badChecksum.getSize() - 20] ^= 0x5a;   // inside the image data
    EXPECT_FALSE (ContentReader::decodePicture (badChecksum).isValid());

    auto cut = sound;
    cut.setSize (sound.getSize() - 16);
    EXPECT_FALSE (ContentReader::decodePicture (cut).isValid());
    EXPECT_FALSE (ContentReader::decodePicture (png (100000, 100000)).isValid());
    EXPECT_FALSE (ContentReader::decodePicture (juce::MemoryBlock ("\xFF\xD8\xFF", 3)).isValid());
}

TEST (ContentReader, FileIsReplacedOnlyByACompleteBody)
{
    LocalServer server;
    ASSERT_TRUE (server.start());
    const auto target = scratch ("doc.xml");
    target.replaceWithText ("old");
    const auto url = server.getBaseUrl() + "/doc.xml";

    server.setAnswer ("/doc.xml", LocalServer::Answer::error (404));
    EXPECT_FALSE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "old");

    auto cut = LocalServer::Answer::text ("new body of twenty b");
    cut.truncateAfter = 5;
    server.setAnswer ("/doc.xml", cut);
    EXPECT_FALSE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "old");

    // Nor by one whose end was never announced, whole as it may be: it only stopped.
    cut.noLength = true;
    server.setAnswer ("/doc.xml", cut);
    EXPECT_FALSE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "old");

    server.setAnswer ("/doc.xml", LocalServer::Answer::text ("new body of twenty b"));
    EXPECT_FALSE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 10));
    EXPECT_EQ (target.loadFileAsString(), "old");

    EXPECT_TRUE (ContentReader::writeUrlToFile (url, target.getFullPathName(), false, nullptr, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "old");   // kept: not to be overwritten

    std::atomic<juce::int64> counter { 0 };
    EXPECT_TRUE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, &counter, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "new body of twenty b");
    EXPECT_EQ (counter.load(), 20);

    server.setAnswer ("/doc.xml", LocalServer::Answer::text (""));
    EXPECT_TRUE (ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 1000));
    EXPECT_EQ (target.loadFileAsString(), "new body of twenty b");

    EXPECT_EQ (target.getParentDirectory().findChildFiles (juce::File::findFiles, false, "*.tmp").size(), 0);
}

TEST (ContentReader, ZipThatInflatesFarBeyondItsOwnSizeIsRefused)
{
    // Two megabytes of one character shrink a thousandfold.
    const auto zip = makeZip ("ratio.zip", { { "flat.txt", juce::String::repeatedString ("0", 2 << 20) } });
    const auto folder = freshFolder ("ratio");

    EXPECT_FALSE (ContentReader::unpackZip (zip, folder, 4 << 20, 10, 100, nullptr));
    EXPECT_FALSE (folder.exists());
    EXPECT_TRUE (ContentReader::unpackZip (zip, folder, 4 << 20, 10, 10000, nullptr));
}

// A transfer that gave way goes on from the part it kept, which never becomes the file by itself.
TEST (ContentReader, TransferThatGaveWayGoesOnFromThePartItKept)
{
    LocalServer server;
    ASSERT_TRUE (server.start());
    const auto target = scratch ("kept.txt");
    target.deleteFile();
    const auto url = server.getBaseUrl() + "/kept.txt";
    ContentReader::KeptParts kept;

    auto serve = [&] (const juce::String& text, bool ranges)
    {
        auto answer = LocalServer::Answer::text (text);
        answer.trickleMs = 20;
        answer.ranges = ranges;
        server.setAnswer ("/kept.txt", answer);
    };

    auto fetch = [&] (int limitMs)
    {
        ContentReader::Turn turn { limitMs, false, &kept };
        const auto done = ContentReader::writeUrlToFile (url, target.getFullPathName(), true, nullptr, nullptr, 1000, nullptr, &turn);
        EXPECT_TRUE (done || turn.gaveWay);
        return done;
    };

    serve ("the first body, one byte at a time", true);
    EXPECT_FALSE (fetch (200));
    EXPECT_FALSE (target.exists());

    for (int i = 0; i < 100 && ! fetch (200); ++i) {}
    EXPECT_EQ (target.loadFileAsString(), "the first body, one byte at a time");
    EXPECT_TRUE (server.getRequests().back().range.startsWith ("bytes="));

    // A body changed meanwhile, then a server that gives no ranges: the file comes whole.
    for (const bool ranges : { true, false })
    {
        EXPECT_FALSE (fetch (200));
        serve ("a second body, changed meanwhile", ranges);
        EXPECT_TRUE (fetch (0));
        EXPECT_EQ (target.loadFileAsString(), "a second body, changed meanwhile");
    }
    EXPECT_TRUE (server.getRequests().back().range.isNotEmpty());

    // Given whole again, the same body is not cut at the next turn's end but comes to its end.
    EXPECT_FALSE (fetch (200));
    EXPECT_TRUE (fetch (200));

    // A rest that is not all of this body's (a range that ends short, a body shorter or longer
    // than its range, a changed body's without an entity tag) is dropped, and the body comes whole.
    using Fault = LocalServer::Answer::RangeFault;
    for (const auto fault : { Fault::endsShort, Fault::bodyShort, Fault::bodyLong, Fault::noTag })
    {
        const juce::String body ("a third body, one byte at a time");
        serve (body, true);
        EXPECT_FALSE (fetch (200));
        auto wrong = LocalServer::Answer::text (fault == Fault::noTag ? body.toUpperCase() : body);
        wrong.rangeFault = fault;
        server.setAnswer ("/kept.txt", wrong);
        EXPECT_TRUE (fetch (0)) << (int) fault;
        EXPECT_EQ (target.loadFileAsString(), juce::String (wrong.body)) << (int) fault;
        EXPECT_TRUE (server.getRequests().back().range.isEmpty());
    }
}
