#include "content/ContentReader.h"

#include "model/SafeSave.h"
#include "model/Utf8.h"

#include <cstring>

namespace
{
    constexpr int blockSize = 8192;

    bool shouldStop (juce::Thread* thread)
    {
        if (thread == nullptr)
            thread = juce::Thread::getCurrentThread();

        return thread != nullptr && thread->threadShouldExit();
    }

    juce::Thread* workerOf (juce::Thread* thread)
    {
        return thread != nullptr ? thread : juce::Thread::getCurrentThread();
    }

    // A server that stops answering must not hold up a worker that is asked
    // to stop: the stop request breaks the connection off.
    class CancelOnExit : private juce::Thread::Listener
    {
    public:
        CancelOnExit (juce::Thread* t, juce::WebInputStream& s) : thread (t), stream (s)
        {
            if (thread == nullptr)
                return;

            thread->addListener (this);

            if (thread->threadShouldExit())
                stream.cancel();
        }

        ~CancelOnExit() override
        {
            if (thread != nullptr)
                thread->removeListener (this);
        }

    private:
        void exitSignalSent() override { stream.cancel(); }

        juce::Thread* thread;
        juce::WebInputStream& stream;
    };

    void count (std::atomic<juce::int64>* counter, juce::int64 bytes)
    {
        if (counter != nullptr)
            counter->fetch_add (bytes);
    }

    juce::String escapeBlanks (const juce::String& location)
    {
        return location.replace (" ", "%20");
    }

    // Nesting depth as seen by a quick scan; comments and sections count as
    // text, so the estimate errs on the high side.
    bool isNestedTooDeep (const juce::String& text, int limit)
    {
        int depth = 0;
        auto p = text.getCharPointer();

        while (! p.isEmpty())
        {
            if (p.getAndAdvance() != '<')
                continue;

            const auto next = *p;

            if (next == '/')
            {
                --depth;
                continue;
            }

            if (next == '!' || next == '?')
                continue;

            if (++depth > limit)
                return true;

            juce::juce_wchar quote = 0, previous = 0;

            while (! p.isEmpty())
            {
                const auto c = p.getAndAdvance();

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

std::unique_ptr<juce::InputStream> ContentReader::openStream (const juce::String& location, int timeoutMs)
{
    return openStream (location, timeoutMs, nullptr);
}

std::unique_ptr<juce::InputStream> ContentReader::openStream (const juce::String& location, int timeoutMs, juce::Thread* thread)
{
    if (location.isEmpty())
        return nullptr;

    const auto escaped = escapeBlanks (location);

    if (juce::URL::isProbablyAWebsiteURL (escaped))
    {
        auto web = std::make_unique<juce::WebInputStream> (juce::URL (escaped), false);
        web->withConnectionTimeout (timeoutMs).withNumRedirectsToFollow (5);

        bool connected = false;
        {
            const CancelOnExit cancel (thread, *web);
            connected = web->connect (nullptr);
        }

        if (connected)
        {
            const auto status = web->getStatusCode();
            return status >= 400 && status <= 599 ? nullptr : std::move (web);
        }
    }

    if (! juce::File::isAbsolutePath (location))
        return nullptr;

    auto file = std::make_unique<juce::FileInputStream> (juce::File (location));
    return file->openedOk() ? std::move (file) : nullptr;
}

bool ContentReader::readIntoMemory (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                    juce::Thread* thread, juce::int64 maxBytes)
{
    auto stream = openStream (location, connectionTimeoutMs, workerOf (thread));

    if (stream == nullptr)
        return false;

    auto* web = dynamic_cast<juce::WebInputStream*> (stream.get());
    std::unique_ptr<CancelOnExit> cancel (web != nullptr ? new CancelOnExit (workerOf (thread), *web) : nullptr);

    const auto total = stream->getTotalLength();

    if (total > maxBytes)
        return false;

    juce::HeapBlock<char> buffer (blockSize);
    juce::int64 received = 0;

    while (! stream->isExhausted())
    {
        if (shouldStop (workerOf (thread)))
            return false;

        const auto got = stream->read (buffer, blockSize);

        if (got <= 0)
            break;

        received += got;

        if (received > maxBytes)
            return false;

        into.append (buffer, (size_t) got);
        count (counter, got);
    }

    // A web stream also ends "exhausted" when the connection broke off: only
    // a transfer without error and with every announced byte is complete.
    if (web != nullptr && web->isError())
        return false;

    return stream->isExhausted() && (total < 0 || received == total);
}

bool ContentReader::writeUrlToFile (const juce::String& address, const juce::String& path, bool overwrite,
                                    std::atomic<juce::int64>* counter, juce::Thread* thread, juce::int64 maxBytes)
{
    if (address.isEmpty() || ! juce::File::isAbsolutePath (path))
        return false;

    const juce::File target (path);

    if (! overwrite && target.getSize() > 0)
        return true;

    juce::MemoryBlock body;

    if (! readIntoMemory (address, body, counter, thread, maxBytes))
        return false;

    if (body.isEmpty())
        return true;

    target.getParentDirectory().createDirectory();
    return SafeSave::replaceFile (target, [&body] (juce::OutputStream& out) { return out.write (body.getData(), body.getSize()); });
}

std::unique_ptr<juce::XmlElement> ContentReader::parseXmlText (const juce::String& text)
{
    if (text.containsIgnoreCase ("<!DOCTYPE") || text.containsIgnoreCase ("<!ENTITY"))
        return nullptr;

    // Our documents have no processing instruction after the declaration, and
    // the framework's parser loops for ever on one inside text.
    const auto body = text.trimStart().startsWith ("<?") ? text.fromFirstOccurrenceOf ("?>", false, false) : text;
    if (body.contains ("<?"))
        return nullptr;

    if (isNestedTooDeep (text, maxXmlDepth))
        return nullptr;

    juce::XmlDocument document (text);
    auto root = document.getDocumentElement();
    return document.getLastParseError().isEmpty() ? std::move (root) : nullptr;
}

std::unique_ptr<juce::XmlElement> ContentReader::readXmlFromUrl (const juce::String& address, std::atomic<juce::int64>* counter, juce::int64 maxBytes)
{
    if (! juce::URL::isProbablyAWebsiteURL (escapeBlanks (address)))
        return nullptr;

    juce::MemoryBlock data;

    if (! readIntoMemory (address, data, counter, nullptr, maxBytes))
        return nullptr;

    return parseXmlData (data);
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

    const juce::File file (path);

    if (! file.existsAsFile() || file.getSize() > maxBytes)
        return nullptr;

    juce::MemoryBlock data;

    if (! file.loadFileAsData (data))
        return nullptr;

    count (counter, (juce::int64) data.getSize());
    return parseXmlData (data);
}

bool ContentReader::saveXml (const juce::XmlElement& xml, const juce::String& path)
{
    if (! juce::File::isAbsolutePath (path))
        return false;

    const juce::File target (path);

    if (! target.getParentDirectory().createDirectory())
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

bool ContentReader::unpackZip (const juce::File& zip, const juce::File& folder, juce::int64 maxBytes, int maxEntries, juce::Thread* thread)
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

    if (! folder.createDirectory())
        return false;

    juce::HeapBlock<char> buffer (blockSize);

    for (int i = 0; i < numEntries; ++i)
    {
        if (shouldStop (thread))
            return false;

        const auto* entry = archive.getEntry (i);
        const auto name = entry->filename.replaceCharacter ('\\', '/');
        const auto target = folder.getChildFile (name);

        if (! target.isAChildOf (folder))
            return false;

        if (name.endsWithChar ('/'))
        {
            if (! target.createDirectory())
                return false;
            continue;
        }

        std::unique_ptr<juce::InputStream> in (archive.createStreamForEntry (i));

        if (in == nullptr || ! target.getParentDirectory().createDirectory() || target.isDirectory())
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

                if (written > entry->uncompressedSize || ! out.write (buffer, (size_t) got))
                    return false;
            }

            return written == entry->uncompressedSize;
        });

        if (! unpacked)
            return false;
    }

    return true;
}

bool ContentReader::isPictureSizeSane (const juce::MemoryBlock& data)
{
    const auto* p = static_cast<const uint8_t*> (data.getData());
    const auto size = data.getSize();
    const auto limit = (uint32_t) maxPictureSide;

    if (size >= 24 && std::memcmp (p, "\x89PNG\r\n\x1a\n", 8) == 0)
    {
        const auto width = bigEndian (p + 16, 4), height = bigEndian (p + 20, 4);
        return width > 0 && height > 0 && width <= limit && height <= limit;
    }

    if (size >= 10 && (std::memcmp (p, "GIF87a", 6) == 0 || std::memcmp (p, "GIF89a", 6) == 0))
    {
        const auto width = (uint32_t) (p[6] | (p[7] << 8)), height = (uint32_t) (p[8] | (p[9] << 8));
        return width > 0 && height > 0 && width <= limit && height <= limit;
    }

    if (size >= 4 && p[0] == 0xFF && p[1] == 0xD8)
        return jpegSizeSane (p, size, maxPictureSide);

    return false;
}
