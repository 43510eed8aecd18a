#include "ownprivateprofile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "atomicfile.h"
#include "initext.h"

namespace velmora {

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Opening never blocks, not even on a FIFO; callers check that they got a regular file.
int openForReading(const std::string &path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

// The bytes of an open file, read into a buffer that is not cleared first.
class FileContents
{
public:
    bool read(int fd, std::size_t expectedSize)
    {
        // One byte more than expected, so that a file that grew meanwhile is read whole too.
        std::size_t capacity = expectedSize + 1;
        m_data = std::make_unique_for_overwrite<char[]>(capacity);
        for (;;) {
            if (m_size == capacity) {
                auto larger = std::make_unique_for_overwrite<char[]>(capacity * 2);
                std::memcpy(larger.get(), m_data.get(), m_size);
                m_data = std::move(larger);
                capacity *= 2;
            }
            const ssize_t count = ::read(fd, m_data.get() + m_size, capacity - m_size);
            if (count == 0)
                return true;
            if (count < 0 && errno != EINTR)
                return false;
            if (count > 0)
                m_size += std::size_t(count);
        }
    }

    std::string_view bytes() const { return { m_data.get(), m_size }; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};

// Reads the regular file at path whole, without a lock.
bool readRegularFile(const std::string &path, FileContents &contents)
{
    const FileDescriptor file(openForReading(path));
    struct stat info = {};
    return file.isOpen() && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)
        && contents.read(file.get(), std::size_t(info.st_size));
}

bool lockExclusively(int fd)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file whose permission bits let nobody write it stays read-only even for root, as the
// read-only attribute does on Windows.
bool mayReplace(const std::string &path, const struct stat &info)
{
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0
        && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool replaceWith(const std::string &path, const std::optional<std::string> &bytes)
{
    if (!bytes)
        return true;
    const FileText file { path, *bytes };
    return replaceFiles({ &file, 1 }).succeeded();
}

enum class Attempt { Done, Failed, Retry };

// Writes a file that does not exist yet. There is no file to lock, so writers take turns on
// its directory, and the one that finds the file there after all starts again.
Attempt createFile(
    const std::string &path, std::string_view section, std::string_view key, std::string_view value)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const std::string directory = parent.empty() ? std::string(".") : parent.string();
    const FileDescriptor locked(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!locked.isOpen() || !lockExclusively(locked.get()))
        return Attempt::Failed;
    struct stat named = {};
    if (::stat(path.c_str(), &named) == 0 || errno != ENOENT)
        return Attempt::Retry;
    return replaceWith(path, setIniValue({}, section, key, value)) ? Attempt::Done
                                                                   : Attempt::Failed;
}

// Writes an existing file under its lock; retries when the path no longer names the file that
// was locked, because another writer replaced it meanwhile.
Attempt updateFile(const std::string &path, int fd, std::string_view section, std::string_view key,
    std::string_view value)
{
    struct stat locked = {};
    struct stat named = {};
    if (!lockExclusively(fd) || ::fstat(fd, &locked) != 0)
        return Attempt::Failed;
    if (::stat(path.c_str(), &named) != 0 || !sameFile(locked, named))
        return Attempt::Retry;
    if (!mayReplace(path, locked))
        return Attempt::Failed;
    FileContents contents;
    if (!contents.read(fd, std::size_t(locked.st_size)))
        return Attempt::Failed;
    return replaceWith(path, setIniValue(contents.bytes(), section, key, value)) ? Attempt::Done
                                                                                 : Attempt::Failed;
}

} // namespace

std::optional<std::string> readIniFileBytes(const std::string &path)
{
    FileContents contents;
    if (!readRegularFile(path, contents))
        return std::nullopt;
    return std::string(contents.bytes());
}

std::string OwnPrivateProfile::readString(
    const std::string &section, const std::string &key, const std::string &fileName)
{
    FileContents contents;
    if (!readRegularFile(fileName, contents))
        return {};
    return findIniValue(contents.bytes(), section, key);
}

bool OwnPrivateProfile::writeString(const std::string &section, const std::string &key,
    const std::string &value, const std::string &fileName)
{
    if (!iniTextKeepsLines(section, key, value))
        return false;
    const std::string path = resolveFileLinks(fileName);
    for (;;) {
        const FileDescriptor file(openForReading(path));
        Attempt attempt;
        if (file.isOpen())
            attempt = updateFile(path, file.get(), section, key, value);
        else if (errno == ENOENT)
            attempt = createFile(path, section, key, value);
        else
            return false;
        if (attempt != Attempt::Retry)
            return attempt == Attempt::Done;
    }
}

void OwnPrivateProfile::flush(const std::string &) { }

} // namespace velmora
