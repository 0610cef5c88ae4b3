#include "content/ContentReader.h"

#include "base/BelvoraSettings.h"
#include "platform/WebRequest.h"
#include "model/FileBytes.h"
#include "model/SafeSave.h"
#include "model/Utf8.h"

#include <png.h>

#include <cstring>
#include <strings.h>
#include <vector>

namespace
{
    constexpr int blockSize = 8192;

    void count (std::atomic<juce::int64>* counter, juce::int64 bytes)
    {
        if (counter != nullptr)
            counter->fetch_add (bytes);
    }

    juce::String escapeBlanks (const juce::String& location)
    {
        return location.replace (" ", "%20");
    }

    // Whether a document type or an entity is declared anywhere in the text,
    // the word compared without case: one pass over the bytes, where a search
    // ignoring case per position costs a wide-character lookup a byte.
    bool declaresTypeOrEntity (const juce::String& text)
    {
        for (auto* p = text.toRawUTF8(); (p = std::strstr (p, "<!")) != nullptr; p += 2)
            if (strncasecmp (p + 2, "DOCTYPE", 7) == 0 || strncasecmp (p + 2, "ENTITY", 6) == 0)
                return true;

        return false;
    }

    // Nesting depth as seen by a quick scan, erring on the high side. Comments
    // and sections are skipped whole: a close tag inside one closes nothing,
    // and counting it would hide as deep a nesting after it. The scan is of
    // bytes: UTF-8 never has an ASCII byte inside a longer character.
    bool isNestedTooDeep (const juce::String& text, int limit)
    {
        int depth = 0;
        auto* p = text.toRawUTF8();

        auto skipPast = [&p] (const char* start, const char* end)
        {
            const auto length = std::strlen (start);

            if (std::strncmp (p, start, length) != 0)
                return false;

            const auto* found = std::strstr (p + length, end);
            p = found != nullptr ? found + std::strlen (end) : p + length + std::strlen (p + length);
            return true;
        };

        while (*p != 0)
        {
            if (*p++ != '<')
                continue;

            const auto next = *p;

            if (next == '/')
            {
                depth = juce::jmax (0, depth - 1);
                continue;
            }

            if (skipPast ("!--", "-->") || skipPast ("![CDATA[", "]]>") || next == '!' || next == '?')
                continue;

            if (++depth > limit)
                return true;

            char quote = 0, previous = 0;

            while (*p != 0)
            {
                const auto c = *p++;

                if (quote != 0)
                {
                    if (c == quote)
                        quote = 0;
                }
                else if (c == '"' || c == '\'')
                {
                    quote = c;
                }
                else if (c == '>')
                {
                    if (previous == '/')
                        --depth;
                    break;
                }

                previous = c;
            }
        }

        return false;
    }

    uint32_t bigEndian (const uint8_t* p, int bytes)
    {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | p[i];
        return value;
    }

    // The decoder sizes its picture by the first image descriptor, not by the
    // screen in the header: walk to it the way the decoder does.
    bool gifSizeSane (const uint8_t* p, size_t size, uint32_t limit)
    {
        size_t i = 13;

        if ((p[10] & 0x80) != 0)
            i += 3u * (2u << (p[10] & 7));

        // A data block: its length, then that many bytes; -1 when cut short.
        auto skipBlock = [&]() -> int
        {
            if (i >= size)
                return -1;

            const int n = p[i];
            i += 1u + (size_t) n;
            return i <= size ? n : -1;
        };

        while (i < size)
        {
            const auto introducer = p[i++];

            if (introducer == ';')
                return false;

            if (introducer == '!')
            {
                if (i >= size)
                    return false;

                int n = 0;

                if (p[i++] == 0xF9 && skipBlock() < 0)
                    continue;

                do { n = skipBlock(); } while (n > 0);

                if (n < 0)
                    return false;

                continue;
            }

            if (introducer != ',')
                continue;

            if (i + 9 > size)
                return false;

            const auto width = (uint32_t) (p[i + 4] | (p[i + 5] << 8)), height = (uint32_t) (p[i + 6] | (p[i + 7] << 8));
            return width > 0 && height > 0 && width <= limit && height <= limit;
        }

        return false;
    }

    bool jpegSizeSane (const uint8_t* p, size_t size, int limit)
    {
        size_t i = 2;

        while (i + 9 < size)
        {
            if (p[i] != 0xFF)
                return false;

            const auto marker = p[i + 1];
            const auto length = bigEndian (p + i + 2, 2);
            const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;

            if (startOfFrame)
            {
                const auto height = bigEndian (p + i + 5, 2);
                const auto width = bigEndian (p + i + 7, 2);
                return width > 0 && height > 0 && (int) width <= limit && (int) height <= limit;
            }

            if (length < 2)
                return false;

            i += 2 + length;
        }

        return false;
    }
}

bool ContentReader::isStopRequested (juce::Thread* thread)
{
    if (thread == nullptr)
        thread = juce::Thread::getCurrentThread();

    return thread != nullptr && thread->threadShouldExit();
}

bool ContentReader::isWebAddress (const juce::String& location)
{
    return juce::URL::isProbablyAWebsiteURL (escapeBlanks (location));
}

int ContentReader::getSilenceLimitMs()
{
    return platform::DownloadPolicy::silenceLimitMs (BelvoraSettings::getDownloadTimeoutMs());
}

void ContentReader::Turn::takeFrom (const Turn& other)
{
    gaveWay = gaveWay || other.gaveWay;
    failed (other.failure);
    byteCameAt (other.lastByteAt);
}

void ContentReader::Turn::byteCameAt (juce::uint32 at)
{
    if (at != 0 && (lastByteAt == 0 || (int) (at - lastByteAt) > 0))
        lastByteAt = at;
}

ContentReader::KeptParts::Part ContentReader::KeptParts::take (const juce::String& address)
{
    const std::lock_guard guard (lock);
    const auto found = parts.find (address);

    if (found == parts.end())
        return {};

    auto part = std::move (found->second);
    parts.erase (found);
    keptBytes -= (juce::int64) part.bytes.getSize();
    return part;
}

void ContentReader::KeptParts::keep (const juce::String& address, Part part)
{
    const std::lock_guard guard (lock);
    auto size = (juce::int64) part.bytes.getSize();

    if (keptBytes + size > platform::DownloadPolicy::maxKeptBytes)
    {
        part = { {}, {}, -1, true };
        size = 0;
    }

    keptBytes += size;
    parts[address] = std::move (part);
}

ContentReader::WebResult ContentReader::fetch (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                              juce::Thread* thread, juce::int64 maxBytes, Turn* turn)
{
    using Policy = platform::DownloadPolicy;

    if (! isWebAddress (location))
        return WebResult::noAnswer;

    const auto address = escapeBlanks (location);
    auto kept = turn != nullptr && turn->kept != nullptr ? turn->kept->take (address) : KeptParts::Part();

    platform::WebRequest::Options options;
    options.timeoutMs = getSilenceLimitMs();
    options.totalLimitMs = turn != nullptr ? turn->limitMs : 0;
    options.giveWay = turn != nullptr ? turn->giveWay : nullptr;
    options.maxBytes = maxBytes;
    options.worker = thread;
    options.counter = counter;

    // Past the turn, too: a body that cannot go on from a part would start over at every turn and never end.
    auto runToItsEnd = [&options]
    {
        options.totalLimitMs = 0;
        options.giveWay = nullptr;
    };

    if (kept.toItsEnd)
        runToItsEnd();

    for (;;)
    {
        const auto keptSize = (juce::int64) kept.bytes.getSize();
        options.rangeFrom = keptSize;
        options.ifRange = kept.validator;

        auto response = platform::WebRequest::get (address, options);
        const auto validator = response.getValidator();

        if (turn != nullptr)
            turn->byteCameAt (response.lastByteAt);

        const auto isRest = keptSize > 0 && response.status == 206;
        const Policy::Span part { 0, keptSize - 1, kept.totalLength, keptSize, kept.validator };
        const Policy::Span rest { response.rangeStart, response.rangeEnd, response.totalLength, (juce::int64) response.body.getSize(), validator };

        // A range answer that is not the rest of the part kept, all of it and
        // nothing more, or that refuses the range (a 416, or the same body
        // whole that the turn cut), is dropped with the part: the body is asked
        // for whole at once, which is no failure of the server's.
        auto dropPart = [&]
        {
            const auto ended = ! (response.stopped || response.overTime || response.silent);
            const auto givenWhole = keptSize > 0 && response.status == 200 && response.overTime && validator == kept.validator;
            return (isRest && ! Policy::continues (part, rest)) || (keptSize > 0 && response.status == 416) || givenWhole
                || (isRest && ended && ! (response.complete && Policy::completes (part, rest)));
        };

        if (dropPart())
        {
            kept = {};
            runToItsEnd();
            continue;
        }

        if (response.status == 206 && ! isRest)
            return WebResult::failed;

        auto body = isRest ? std::move (kept.bytes) : juce::MemoryBlock();
        body.append (response.body.getData(), response.body.getSize());
        const Policy::Span whole { 0, -1, response.totalLength, (juce::int64) body.getSize(), validator };

        // Silence drops a transfer as the end of its turn does: it is asked for
        // again, from what came.
        if ((response.overTime || response.silent) && turn != nullptr)
        {
            turn->gaveWay = true;

            // Cut by its turn with nothing to go on from (no validator, no known length), the body comes whole next time.
            if (turn->kept != nullptr && (response.status == 200 || isRest) && Policy::isWorthKeeping (whole))
                turn->kept->keep (address, { std::move (body), validator, response.totalLength });
            else if (turn->kept != nullptr && response.overTime)
                turn->kept->keep (address, { {}, {}, -1, true });

            return WebResult::failed;
        }

        if (response.status == 0 && ! response.stopped)
            return WebResult::noAnswer;

        // A body whose end was never announced only stopped: it may be cut short, even at a
        // point where it still looks whole, and is asked for again as a broken transfer is.
        if (! response.complete || ! response.endKnown)
        {
            // A body past its limit is refused as one that fails its check is.
            if (turn != nullptr && ! response.stopped)
                turn->failed (response.overLimit ? Policy::Failure::refused : Policy::failureOfStatus (response.status));

            return WebResult::failed;
        }

        if (turn != nullptr)
            turn->contentType = response.contentType;

        into.append (body.getData(), body.getSize());
        return WebResult::complete;
    }
}

std::unique_ptr<juce::InputStream> ContentReader::openStream (const juce::String& location)
{
    if (location.isEmpty())
        return nullptr;

    juce::MemoryBlock body;

    switch (fetch (location, body, nullptr, nullptr, platform::DownloadPolicy::maxStreamBytes, nullptr))
    {
        case WebResult::complete: return std::make_unique<juce::MemoryInputStream> (std::move (body));
        case WebResult::failed:   return nullptr;
        case WebResult::noAnswer: break;
    }

    if (! juce::File::isAbsolutePath (location))
        return nullptr;

    return FileBytes::openStream (juce::File (location), platform::DownloadPolicy::maxStreamBytes);
}

bool ContentReader::readIntoMemory (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                    juce::Thread* thread, juce::int64 maxBytes, Turn* turn)
{
    if (location.isEmpty())
        return false;

    switch (fetch (location, into, counter, thread, maxBytes, turn))
    {
        case WebResult::complete: return true;
        case WebResult::failed:   return false;
        case WebResult::noAnswer: break;
    }

    if (! juce::File::isAbsolutePath (location))
        return false;

    juce::MemoryBlock data;

    if (isStopRequested (thread) || ! FileBytes::readWhole (juce::File (location), data, maxBytes))
        return false;

    into.append (data.getData(), data.getSize());
    count (counter, (juce::int64) data.getSize());
    return true;
}

bool ContentReader::writeUrlToFile (const juce::String& address, const juce::String& path, bool overwrite,
                                    std::atomic<juce::int64>* counter, juce::Thread* thread, juce::int64 maxBytes,
                                    const Check& accept, Turn* turn)
{
    if (address.isEmpty() || ! juce::File::isAbsolutePath (path))
        return false;

    const juce::File target (path);

    if (! overwrite && target.getSize() > 0)
        return true;

    juce::MemoryBlock body;
    Turn own;
    auto& tried = turn != nullptr ? *turn : own;

    if (! readIntoMemory (address, body, counter, thread, maxBytes, &tried))
        return false;

    if (body.isEmpty())
        return true;

    // What is cached stays until its replacement is known to be usable.
    if (accept != nullptr && ! accept (body, tried.contentType))
    {
        tried.failed (Turn::Failure::refused);
        return false;
    }

    target.getParentDirectory().createDirectory();

    // A folder where the file belongs is kept as it is, beside.
    if (target.isDirectory())
        SafeSave::moveAside (target);

    return SafeSave::replaceFile (target, [&body] (juce::OutputStream& out) { return out.write (body.getData(), body.getSize()); });
}

std::unique_ptr<juce::XmlElement> ContentReader::parseXmlText (const juce::String& text)
{
    if (declaresTypeOrEntity (text))
        return nullptr;

    // Our documents have no processing instruction after the declaration, and
    // the framework's parser loops for ever on one inside text.
    const auto start = text.getCharPointer().findEndOfWhitespace();
    const auto* body = start.compareUpTo (juce::CharPointer_ASCII ("<?"), 2) == 0 ? std::strstr (text.toRawUTF8(), "?>") : text.toRawUTF8();

    if (body != nullptr && std::strstr (body, "<?") != nullptr)
        return nullptr;

    if (isNestedTooDeep (text, maxXmlDepth))
        return nullptr;

    juce::XmlDocument document (text);
    auto root = document.getDocumentElement();
    return document.getLastParseError().isEmpty() ? std::move (root) : nullptr;
}

std::unique_ptr<juce::XmlElement> ContentReader::readXmlFromUrl (const juce::String& address, std::atomic<juce::int64>* counter, juce::int64 maxBytes,
                                                                 int totalLimitMs)
{
    juce::MemoryBlock data;
    Turn turn { totalLimitMs };

    if (fetch (address, data, counter, nullptr, maxBytes, &turn) != WebResult::complete)
        return nullptr;

    return parseXmlData (data);
}

std::unique_ptr<juce::XmlElement> ContentReader::readXml (const juce::String& location, std::atomic<juce::int64>* counter,
                                                         bool addressFirst, juce::int64 maxBytes, int totalLimitMs)
{
    const auto trimmed = location.trim();

    if (trimmed.isEmpty())
        return nullptr;

    if (addressFirst)
    {
        if (auto doc = readXmlFromUrl (trimmed, counter, maxBytes, totalLimitMs))
            return doc;

        return readXmlFromFile (trimmed, counter, maxBytes);
    }

    if (auto doc = readXmlFromFile (trimmed, counter, maxBytes))
        return doc;

    return readXmlFromUrl (trimmed, counter, maxBytes, totalLimitMs);
}

std::unique_ptr<juce::XmlElement> ContentReader::parseXmlData (const juce::MemoryBlock& data)
{
    const auto* bytes = static_cast<const uint8_t*> (data.getData());
    auto size = data.getSize();

    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return parseXmlText (juce::String::createStringFromData (bytes, (int) size));

    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    {
        bytes += 3;
        size -= 3;
    }

    // Text operations on invalid UTF-8 read past its end: refuse it whole.
    const auto* text = reinterpret_cast<const char*> (bytes);
    if (size == 0 || ! isValidUtf8 (text, size))
        return nullptr;

    return parseXmlText (juce::String::fromUTF8 (text, (int) size));
}

std::unique_ptr<juce::XmlElement> ContentReader::readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter, juce::int64 maxBytes)
{
    if (! juce::File::isAbsolutePath (path))
        return nullptr;

    juce::MemoryBlock data;

    if (! FileBytes::readWhole (juce::File (path), data, maxBytes))
        return nullptr;

    count (counter, (juce::int64) data.getSize());
    return parseXmlData (data);
}

bool ContentReader::saveXml (const juce::XmlElement& xml, const juce::String& path)
{
    if (! juce::File::isAbsolutePath (path))
        return false;

    const juce::File target (path);

    if (! SafeSave::makeFolder (target.getParentDirectory()))
        return false;

    return SafeSave::replaceFile (target, [&xml] (juce::OutputStream& out) { xml.writeTo (out); return true; });
}

bool ContentReader::isValidUtf8 (const void* data, size_t size)
{
    return Utf8::isValid (data, size);
}

bool ContentReader::isSafeEntryName (const juce::String& name)
{
    // Zip entry names arrive as raw bytes: walking invalid UTF-8 would read
    // past the end of the text, so look at the bytes first.
    const auto* raw = name.toRawUTF8();
    if (! isValidUtf8 (raw, std::strlen (raw)))
        return false;

    const auto path = name.replaceCharacter ('\\', '/');

    // juce::File takes a leading '~' for a home folder, not a name inside ours.
    if (path.isEmpty() || path.startsWithChar ('/') || path.startsWithChar ('~') || path.containsChar (':'))
        return false;

    for (auto p = path.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p < 0x20 || *p == 0x7F)
            return false;

    juce::StringArray parts;
    parts.addTokens (path, "/", {});

    // Names of dots only: "." and ".." lead elsewhere, and JUCE's folder
    // listing skips longer ones, so they could never be found or deleted.
    for (const auto& part : parts)
        if (part.isNotEmpty() && part.containsOnly ("."))
            return false;

    return true;
}

bool ContentReader::unpackZip (const juce::File& zip, const juce::File& folder, juce::int64 maxBytes, int maxEntries, int maxRatio,
                               juce::Thread* thread)
{
    juce::ZipFile archive (zip);
    const auto numEntries = archive.getNumEntries();

    if (numEntries <= 0 || numEntries > maxEntries)
        return false;

    juce::int64 total = 0;

    for (int i = 0; i < numEntries; ++i)
    {
        const auto* entry = archive.getEntry (i);

        if (entry == nullptr || entry->isSymbolicLink || ! isSafeEntryName (entry->filename) || entry->uncompressedSize < 0)
            return false;

        total += entry->uncompressedSize;

        if (total > maxBytes)
            return false;
    }

    // A pack of presets shrinks a few times in a zip; a thousandfold is a bomb.
    if (total > (juce::int64) maxRatio * zip.getSize())
        return false;

    if (! SafeSave::makeFolder (folder))
        return false;

    juce::HeapBlock<char> buffer (blockSize);
    juce::int64 inflated = 0;

    for (int i = 0; i < numEntries; ++i)
    {
        if (isStopRequested (thread))
            return false;

        const auto* entry = archive.getEntry (i);
        const auto name = entry->filename.replaceCharacter ('\\', '/');
        const auto target = folder.getChildFile (name);

        if (! target.isAChildOf (folder))
            return false;

        if (name.endsWithChar ('/'))
        {
            if (! SafeSave::makeFolder (target))
                return false;
            continue;
        }

        std::unique_ptr<juce::InputStream> in (archive.createStreamForEntry (i));

        if (in == nullptr || ! SafeSave::makeFolder (target.getParentDirectory()) || target.isDirectory())
            return false;

        const auto unpacked = SafeSave::replaceFile (target, [&] (juce::OutputStream& out)
        {
            // The entry may unpack to more than its header claims: stop there.
            juce::int64 written = 0;

            for (;;)
            {
                const auto got = in->read (buffer, blockSize);

                if (got <= 0)
                    break;

                written += got;
                inflated += got;

                if (written > entry->uncompressedSize || inflated > total || ! out.write (buffer, (size_t) got))
                    return false;
            }

            return written == entry->uncompressedSize;
        });

        if (! unpacked)
            return false;
    }

    return true;
}

namespace
{
    bool startsAsPng (const uint8_t* p, size_t size)
    {
        return size >= 8 && std::memcmp (p, "\x89PNG\r\n\x1a\n", 8) == 0;
    }

    // The framework's PNG reader returns from libpng's error handler, which
    // libpng then ends with a jump into a frame already gone: any damaged PNG
    // (a bad checksum, a cut stream) crashes the program. libpng's own
    // simple reader handles its errors itself.
    juce::Image decodePng (const juce::MemoryBlock& data)
    {
        png_image png {};
        png.version = PNG_IMAGE_VERSION;

        if (png_image_begin_read_from_memory (&png, data.getData(), data.getSize()) == 0)
            return {};

        png.format = PNG_FORMAT_BGRA;   // the framework's pixel order in memory
        std::vector<png_byte> pixels (PNG_IMAGE_SIZE (png));
        const auto width = (int) png.width, height = (int) png.height;

        // Frees the reader whether it succeeds or not.
        if (png_image_finish_read (&png, nullptr, pixels.data(), 0, nullptr) == 0)
            return {};

        juce::Image image (juce::Image::ARGB, width, height, false);
        const juce::Image::BitmapData bitmap (image, juce::Image::BitmapData::writeOnly);

        for (int y = 0; y < height; ++y)
        {
            const auto* source = pixels.data() + (size_t) y * (size_t) width * 4;

            for (int x = 0; x < width; ++x, source += 4)
            {
                auto* pixel = reinterpret_cast<juce::PixelARGB*> (bitmap.getPixelPointer (x, y));
                pixel->setARGB (source[3], source[2], source[1], source[0]);
                pixel->premultiply();
            }
        }

        return image;
    }
}

juce::Image ContentReader::decodePicture (const juce::MemoryBlock& data)
{
    if (! isPictureSizeSane (data))
        return {};

    // A JPEG may pass the size check with fewer bytes than a PNG's signature.
    if (startsAsPng (static_cast<const uint8_t*> (data.getData()), data.getSize()))
        return decodePng (data);

    return juce::ImageFileFormat::loadFrom (data.getData(), data.getSize());
}

bool ContentReader::isPictureSizeSane (const juce::MemoryBlock& data)
{
    const auto* p = static_cast<const uint8_t*> (data.getData());
    const auto size = data.getSize();
    const auto limit = (uint32_t) platform::DownloadPolicy::maxPictureSide;

    if (size >= 24 && startsAsPng (p, size))
    {
        const auto width = bigEndian (p + 16, 4), height = bigEndian (p + 20, 4);
        return width > 0 && height > 0 && width <= limit && height <= limit;
    }

    if (size >= 13 && (std::memcmp (p, "GIF87a", 6) == 0 || std::memcmp (p, "GIF89a", 6) == 0))
    {
        const auto width = (uint32_t) (p[6] | (p[7] << 8)), height = (uint32_t) (p[8] | (p[9] << 8));
        return width > 0 && height > 0 && width <= limit && height <= limit && gifSizeSane (p, size, limit);
    }

    if (size >= 4 && p[0] == 0xFF && p[1] == 0xD8)
        return jpegSizeSane (p, size, platform::DownloadPolicy::maxPictureSide);

    return false;
}
