#include "atomicfile.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "replacementsteps.h"

namespace velmora {

namespace {

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

void syncDirectory(const std::string &directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string resolveFileLinks(const std::string &path)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info
        {
        };
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0)
            return current;
        target.resize(std::size_t(length));
        if (target.front() != '/' && current.find('/') != std::string::npos)
            target = directoryOf(current) + "/" + target;
        current = target;
    }
    return current;
}

namespace replacement {

ReplaceStep writeTemporary(const FileText &file, TemporaryFile &temporary, int &error)
{
    temporary.target = resolveFileLinks(file.path);
    struct stat existing
    {
    };
    const bool exists = ::stat(temporary.target.c_str(), &existing) == 0;
    temporary.targetExisted = exists;
    if (exists && S_ISDIR(existing.st_mode)) {
        error = EISDIR;
        return ReplaceStep::Create;
    }
    // A writable directory would let the rename replace a file its user may not write.
    if (exists
        && ((existing.st_mode & 0222) == 0
            || ::faccessat(AT_FDCWD, temporary.target.c_str(), W_OK, AT_EACCESS) != 0)) {
        error = EACCES;
        return ReplaceStep::Create;
    }

    std::string name = temporary.target.substr(temporary.target.rfind('/') + 1);
    std::string pattern = directoryOf(temporary.target) + "/." + name + ".velmora-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return ReplaceStep::Create;
    }
    temporary.path = pattern;

    if (exists) {
        (void)::fchown(fd, existing.st_uid, existing.st_gid);
        ::fchmod(fd, existing.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    ReplaceStep failed = ReplaceStep::None;
    if (!writeAll(fd, file.bytes) || ::fsync(fd) != 0) {
        error = errno;
        failed = ReplaceStep::Write;
    }
    if (::close(fd) != 0 && failed == ReplaceStep::None) {
        error = errno;
        failed = ReplaceStep::Write;
    }
    return failed;
}

bool waitUntilReplaceable(const TemporaryFile &, int &)
{
    return true; // a rename is never refused because another program has the file open
}

bool moveIntoPlace(const TemporaryFile &temporary, int &error)
{
    if (::rename(temporary.path.c_str(), temporary.target.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

bool linkFile(const std::string &existing, const std::string &newName)
{
    return ::link(existing.c_str(), newName.c_str()) == 0;
}

void renameOver(const std::string &from, const std::string &to)
{
    ::rename(from.c_str(), to.c_str());
}

void removeFile(const std::string &path)
{
    ::unlink(path.c_str());
}

void finishReplacement(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries)
        syncDirectory(directoryOf(temporary.target));
}

} // namespace replacement

} // namespace velmora
