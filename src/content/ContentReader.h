#pragma once

#include "platform/DownloadPolicy.h"

#include <juce_core/juce_core.h>
#include <juce_graphics/juce_graphics.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

/** Reading content from web addresses and local files alike, with the limits
    that outside input needs: bounded sizes, complete transfers only, files
    replaced atomically, XML without document types, zips that stay inside
    their folder. */
struct ContentReader
{
    static constexpr int maxXmlDepth = 256;

    /** The beginnings of bodies whose transfer gave way, by address, with
        what identifies the body they belong to: the next transfer asks only
        for the rest. A part is only ever joined to the rest of the same body,
        never taken for a whole one. */
    class KeptParts
    {
    public:
        struct Part
        {
            juce::MemoryBlock bytes;
            juce::String validator;        // the server's entity tag or time of last change
            juce::int64 totalLength = -1;  // the whole body's, when the server said
            bool toItsEnd = false;         // nothing could be kept: the next transfer is not cut by its turn
        };

        /** Takes the part kept for an address out; empty when there is none. */
        Part take (const juce::String& address);

        /** A part past the room left is not kept: the next transfer of the address runs to its end. */
        void keep (const juce::String& address, Part part);

    private:
        std::mutex lock;
        std::map<juce::String, Part> parts;
        juce::int64 keptBytes = 0;
    };

    /** How long one transfer may hold its worker, name lookup to last byte
        (0: for as long as it keeps receiving, or until giveWay says so), and
        whether it ended there, or ended by the server's silence: a transfer
        that gave way is worth trying again once others had theirs, and goes
        on from what it kept (when kept is given). Cut by its turn with nothing
        kept, it comes whole to its end at its next try; when the server
        refuses the rest, whole to its end at once. The transfers of one turn
        also tell when a byte last came and how the failed ones failed. */
    struct Turn
    {
        using Failure = platform::DownloadPolicy::Failure;

        int limitMs = 0;
        bool gaveWay = false;
        KeptParts* kept = nullptr;
        std::function<bool()> giveWay;
        juce::String contentType;        // what the server said the last body it gave is
        juce::uint32 lastByteAt = 0;     // when a byte last came, on the workers' clock; 0: none came
        Failure failure = Failure::none;

        /** The same limits for another file. */
        Turn another() const   { return { limitMs, false, kept, giveWay }; }

        /** What another file's turn met is this one's too. */
        void takeFrom (const Turn& other);

        void failed (Failure why)   { failure = platform::DownloadPolicy::sooner (failure, why); }
        void byteCameAt (juce::uint32 at);   // at 0: none came
    };

    /** How long a transfer waits for a byte before it is dropped and asked
        for again (the download policy's, with the user's download time-out). */
    static int getSilenceLimitMs();

    /** The worker (null: the calling thread) was asked to stop. */
    static bool isStopRequested (juce::Thread* thread);

    /** True for a location that is read over HTTP (after blanks became "%20"). */
    static bool isWebAddress (const juce::String& location);

    /** A web address (HTTP GET, up to 5 redirects, read whole) or a local file
        path; null when neither opens, the server answers with an error status
        or the body does not arrive whole. */
    static std::unique_ptr<juce::InputStream> openStream (const juce::String& location);

    /** Appends the whole location to into; false unless every byte arrived,
        up to an end the server announced (a body that merely stops may be
        cut), within maxBytes, without the thread (null: the calling thread)
        being asked to stop. Counts the received bytes. A web address that no
        server answers is tried as a local file path. A turn bounds a transfer
        from a web address whole. */
    static bool readIntoMemory (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                                juce::Thread* thread, juce::int64 maxBytes, Turn* turn = nullptr);

    /** Whether a body is what its kind of file must be, told its content type (empty for a stored file). */
    using Check = std::function<bool (const juce::MemoryBlock& body, const juce::String& contentType)>;

    /** Fetches a location into a file. Only a complete, non-empty body that
        accept (when given) takes replaces the file, through a temporary file;
        an empty body leaves it as it was. An existing non-empty file is kept
        unless overwrite is set. turn as for readIntoMemory. */
    static bool writeUrlToFile (const juce::String& address, const juce::String& path, bool overwrite,
                                std::atomic<juce::int64>* counter, juce::Thread* thread, juce::int64 maxBytes,
                                const Check& accept = nullptr, Turn* turn = nullptr);

    /** Parses a document; null for a parse error, a document type declaration
        (entities could expand without bound) or elements nested too deep. */
    static std::unique_ptr<juce::XmlElement> parseXmlText (const juce::String& text);

    /** The same for raw bytes in UTF-8 or, with a byte-order mark, UTF-16. */
    static std::unique_ptr<juce::XmlElement> parseXmlData (const juce::MemoryBlock& data);

    /** totalLimitMs bounds the whole transfer, name lookup to last byte (0: no bound). */
    static std::unique_ptr<juce::XmlElement> readXmlFromUrl (const juce::String& address, std::atomic<juce::int64>* counter, juce::int64 maxBytes,
                                                             int totalLimitMs = 0);
    static std::unique_ptr<juce::XmlElement> readXmlFromFile (const juce::String& path, std::atomic<juce::int64>* counter, juce::int64 maxBytes);

    /** A document from an address or a local file, the one first that
        addressFirst says, then the other; the location is trimmed first. */
    static std::unique_ptr<juce::XmlElement> readXml (const juce::String& location, std::atomic<juce::int64>* counter,
                                                      bool addressFirst, juce::int64 maxBytes, int totalLimitMs = 0);

    /** Writes UTF-8 XML through a temporary file; false when that failed. */
    static bool saveXml (const juce::XmlElement& xml, const juce::String& path);

    /** Unpacks every entry of a zip into folder. Refuses the whole zip, before
        writing anything, when an entry is absolute, leads out of the folder or
        is a link, or when there are more than maxEntries entries, more than
        maxBytes in all or more than maxRatio times the zip's own size. While
        unpacking, an entry that inflates to more than it claims ends it. */
    static bool unpackZip (const juce::File& zip, const juce::File& folder, juce::int64 maxBytes, int maxEntries, int maxRatio,
                           juce::Thread* thread);

    /** Well-formed UTF-8 only: no overlong forms, surrogates or values above
        U+10FFFF, which the framework's text walking does not survive. */
    static bool isValidUtf8 (const void* data, size_t size);

    /** True when the entry name stays inside the folder it is unpacked into. */
    static bool isSafeEntryName (const juce::String& name);

    /** True for a PNG, GIF or JPEG whose sides are at most the download policy's maxPictureSide. */
    static bool isPictureSizeSane (const juce::MemoryBlock& data);

    /** A picture from outside; invalid when it is none, too large, or damaged. */
    static juce::Image decodePicture (const juce::MemoryBlock& data);

private:
    enum class WebResult { complete, failed, noAnswer };

    /** Reads a web address whole; noAnswer also for a location that is not one.
        The wait for the first byte and between bytes is getSilenceLimitMs();
        a stop of the thread or the end of the turn end it earlier. */
    static WebResult fetch (const juce::String& location, juce::MemoryBlock& into, std::atomic<juce::int64>* counter,
                            juce::Thread* thread, juce::int64 maxBytes, Turn* turn);
};
