#include "atomicfile.h"

#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct TemporaryFile
{
    std::string target;
    std::string path;
    bool targetExisted = false;
    std::string oldFile; // a second name of the target's old file while later files are replaced
};

void removeAll(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries)
        ::unlink(temporary.path.c_str());
}

// Gives the target's present file a second name, so that it can be put back if a later file
// cannot be replaced. Without hard links (some file systems) it stays unkept.
void keepOldFile(TemporaryFile &temporary)
{
    const std::string name = temporary.path + ".old";
    if (::link(temporary.target.c_str(), name.c_str()) == 0)
        temporary.oldFile = name;
}

void dropOldFiles(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries) {
        if (!temporary.oldFile.empty())
            ::unlink(temporary.oldFile.c_str());
    }
}

// Undoes the replacement of files: each gets its old file back, or goes away when it had none.
void putBack(std::span<const TemporaryFile> replaced)
{
    for (const TemporaryFile &temporary : replaced) {
        if (!temporary.oldFile.empty())
            ::rename(temporary.oldFile.c_str(), temporary.target.c_str());
        else if (!temporary.targetExisted)
            ::unlink(temporary.target.c_str());
    }
}

// Creates the temporary file for one target and fills it; returns the failing step or None.
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

ReplaceOutcome replaceFiles(std::span<const FileText> files)
{
    std::vector<TemporaryFile> temporaries;
    temporaries.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        temporaries.emplace_back();
        int error = 0;
        const ReplaceStep failed = writeTemporary(files[i], temporaries.back(), error);
        if (failed != ReplaceStep::None) {
            if (temporaries.back().path.empty())
                temporaries.pop_back();
            removeAll(temporaries);
            return { failed, i, error };
        }
    }
    // Every file but the last keeps its old file until all are replaced.
    for (std::size_t i = 0; i + 1 < temporaries.size(); ++i) {
        if (temporaries[i].targetExisted)
            keepOldFile(temporaries[i]);
    }
    const std::span<const TemporaryFile> all(temporaries);
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        if (::rename(temporaries[i].path.c_str(), temporaries[i].target.c_str()) != 0) {
            const int error = errno;
            putBack(all.first(i));
            removeAll(all.subspan(i));
            dropOldFiles(all.subspan(i));
            return { ReplaceStep::Replace, i, error };
        }
    }
    dropOldFiles(all);
    for (const TemporaryFile &temporary : temporaries)
        syncDirectory(directoryOf(temporary.target));
    return {};
}

} // namespace velmora
