#include "model/FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    /** An open regular file, closed when it goes. */
    struct RegularFile
    {
        explicit RegularFile (const juce::File& file)
        {
            if (file == juce::File())
                return;

            // Non-blocking: opening a pipe without a writer would wait for one.
            fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);

            if (fd >= 0 && (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode)))
            {
                ::close (fd);
                fd = -1;
            }
        }

        ~RegularFile()
        {
            if (fd >= 0)
                ::close (fd);
        }

        RegularFile (const RegularFile&) = delete;
        RegularFile& operator= (const RegularFile&) = delete;

        bool isOpen() const { return fd >= 0; }

        /** Up to size bytes from the current position; how many were read, or -1. */
        ssize_t readUpTo (char* buffer, size_t size) const
        {
            size_t done = 0;

            while (done < size)
            {
                const auto got = ::read (fd, buffer + done, size - done);

                if (got < 0 && errno == EINTR)
                    continue;

                if (got < 0)
                    return -1;

                if (got == 0)
                    break;

                done += (size_t) got;
            }

            return (ssize_t) done;
        }

        int fd = -1;
        struct stat info {};
    };
}

bool FileBytes::readWhole (const juce::File& file, juce::MemoryBlock& bytes, juce::int64 maxBytes)
{
    const RegularFile in (file);

    if (! in.isOpen() || maxBytes < 0 || (juce::int64) in.info.st_size > maxBytes)
        return false;

    // Room for one byte more than the size seen tells the end from a file that grew since.
    const auto limit = (size_t) maxBytes + 1;
    size_t total = 0;
    bytes.setSize ((size_t) in.info.st_size + 1, false);

    for (;;)
    {
        const auto got = in.readUpTo (static_cast<char*> (bytes.getData()) + total, bytes.getSize() - total);

        if (got < 0)
            return false;

        total += (size_t) got;

        if (total >= limit)
            return false;

        if (total < bytes.getSize())
            break;

        bytes.setSize (juce::jmin (bytes.getSize() * 2, limit), false);
    }

    bytes.setSize (total, false);
    return true;
}

bool FileBytes::readHead (const juce::File& file, juce::MemoryBlock& bytes, size_t maxBytes)
{
    const RegularFile in (file);

    if (! in.isOpen())
        return false;

    bytes.setSize (juce::jmin (maxBytes, (size_t) in.info.st_size), false);
    const auto got = in.readUpTo (static_cast<char*> (bytes.getData()), bytes.getSize());

    if (got <= 0)
        return false;

    bytes.setSize ((size_t) got, false);
    return true;
}
