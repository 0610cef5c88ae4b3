#include "model/FileBytes.h"

#include "model/Utf8.h"

#include <cerrno>
#include <dirent.h>
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

    /** Reads an open regular file at its own position; its size is the one it had when opened. */
    class RegularFileStream final : public juce::InputStream
    {
    public:
        explicit RegularFileStream (std::unique_ptr<RegularFile> opened)
            : file (std::move (opened)), size ((juce::int64) file->info.st_size) {}

        juce::int64 getTotalLength() override  { return size; }
        bool isExhausted() override            { return position >= size; }
        juce::int64 getPosition() override     { return position; }

        bool setPosition (juce::int64 newPosition) override
        {
            position = juce::jlimit ((juce::int64) 0, size, newPosition);
            return true;
        }

        int read (void* buffer, int bytes) override
        {
            const auto wanted = (size_t) juce::jlimit ((juce::int64) 0, size - position, (juce::int64) juce::jmax (0, bytes));
            size_t done = 0;

            while (done < wanted)
            {
                const auto got = ::pread (file->fd, static_cast<char*> (buffer) + done, wanted - done, (off_t) (position + (juce::int64) done));

                if (got < 0 && errno == EINTR)
                    continue;

                if (got <= 0)
                    break;

                done += (size_t) got;
            }

            position += (juce::int64) done;
            return (int) done;
        }

    private:
        std::unique_ptr<RegularFile> file;
        const juce::int64 size;
        juce::int64 position = 0;
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

bool FileBytes::readText (const juce::File& file, juce::String& text, juce::int64 maxBytes)
{
    juce::MemoryBlock bytes;

    // The framework's text walks past the end of broken UTF-8.
    if (! readWhole (file, bytes, maxBytes) || ! Utf8::isValid (bytes.getData(), bytes.getSize()))
        return false;

    text = juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());
    return true;
}

FileBytes::Kind FileBytes::kindOf (const juce::File& file, juce::int64 maxBytes)
{
    struct stat info {};

    if (file == juce::File())
        return Kind::missing;

    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return errno == ENOENT ? Kind::missing : Kind::unreadable;

    if (! S_ISREG (info.st_mode))
        return Kind::other;

    return (juce::int64) info.st_size > maxBytes ? Kind::tooLarge : Kind::regular;
}

namespace
{
    enum class Look { fine, missing, hidden };

    // The effective user's rights, as every open and lookup is checked.
    Look lookInto (const juce::File& folder)
    {
        const auto* path = folder.getFullPathName().toRawUTF8();
        struct stat info {};

        if (::stat (path, &info) != 0)
            return errno == ENOENT ? Look::missing : Look::hidden;

        if (! S_ISDIR (info.st_mode) || ::faccessat (AT_FDCWD, path, R_OK | X_OK, AT_EACCESS) != 0)
            return Look::hidden;

        auto* listing = ::opendir (path);

        if (listing == nullptr)
            return Look::hidden;

        errno = 0;
        const bool listed = ::readdir (listing) != nullptr || errno == 0;
        ::closedir (listing);
        return listed ? Look::fine : Look::hidden;
    }
}

juce::File FileBytes::findUnreadableFolder (const juce::File& folder)
{
    juce::File hidden;

    for (auto f = folder; f != juce::File() && lookInto (f) == Look::hidden; f = f.getParentDirectory())
    {
        hidden = f;

        if (f.isRoot())
            break;
    }

    return hidden;
}

bool FileBytes::haveSameContent (const juce::File& a, const juce::File& b, juce::int64 maxBytes)
{
    {
        const RegularFile first (a), second (b);

        if (! first.isOpen() || ! second.isOpen() || first.info.st_size != second.info.st_size)
            return false;

        if (first.info.st_dev == second.info.st_dev && first.info.st_ino == second.info.st_ino)
            return true;
    }

    juce::MemoryBlock first, second;
    return readWhole (a, first, maxBytes) && readWhole (b, second, maxBytes) && first == second;
}

bool FileBytes::isMissing (const juce::File& file)
{
    return kindOf (file, 0) == Kind::missing;
}

std::unique_ptr<juce::InputStream> FileBytes::openStream (const juce::File& file, juce::int64 maxBytes)
{
    auto in = std::make_unique<RegularFile> (file);

    if (! in->isOpen() || (juce::int64) in->info.st_size > maxBytes)
        return nullptr;

    return std::make_unique<RegularFileStream> (std::move (in));
}
