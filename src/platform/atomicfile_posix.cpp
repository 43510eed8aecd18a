#include "atomicfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileaccess.h"
#include "filedescriptor.h"
#include "replacementsteps.h"

namespace velmora::replacement {

namespace {

FileIdentity identityOf(const struct stat &info)
{
    return { std::uint64_t(info.st_dev), std::uint64_t(info.st_ino) };
}

// Where the system found the file open as fd. Without /proc the path is resolved afresh;
// the caller's identity check then catches a path that names another file.
std::optional<std::string> pathOfOpenFile(int fd, const std::string &path)
{
    char found[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), found, sizeof found);
    if (length > 0 && std::size_t(length) < sizeof found && found[0] == '/')
        return std::string(found, std::size_t(length));
    if (char *const resolved = ::realpath(path.c_str(), nullptr)) {
        std::string result(resolved);
        std::free(resolved);
        return result;
    }
    return std::nullopt;
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

} // namespace

std::pair<std::string, std::string> splitPath(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return { {}, path };
    return { path.substr(0, slash + 1), path.substr(slash + 1) };
}

bool openDirectory(const std::string &directory, Replacement &file)
{
    file.directory = directory;
    file.longestName = 0;
    file.directoryHandle = SystemHandle(
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return file.directoryHandle.isOpen();
}

std::string foundDirectory(const Replacement &file)
{
    const std::optional<std::string> found = pathOfOpenFile(
        descriptor(file.directoryHandle), file.directory.empty() ? "." : file.directory);
    if (!found)
        return file.directory;
    return *found == "/" ? *found : *found + "/";
}

namespace {

// Takes the regular file open as opened, which the entry file.name of the file's directory
// stands for, as the file to replace; refuses anything else.
ReplaceStep keepOriginal(
    SystemHandle &opened, const struct stat &info, Replacement &file, int &error, Opening why)
{
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return ReplaceStep::Create;
    }
    file.original = identityOf(info);
    // A writable directory would let the rename replace a file its user may not write; a
    // file whose permission bits let nobody write it stays read-only even for root, as the
    // read-only attribute does on Windows.
    if (why == Opening::ToReplace
        && ((info.st_mode & 0222) == 0
            || ::faccessat(descriptor(file.directoryHandle), file.name.c_str(), W_OK, AT_EACCESS)
                != 0)) {
        error = EACCES;
        return ReplaceStep::Create;
    }
    file.originalHandle = SystemHandle(opened.release());
    return ReplaceStep::None;
}

// Opens a path whose last part is a plain name and no link, as most are: the system resolves
// its directory as it resolves any path, and the name is opened inside that directory. Nothing
// when the last part is a link, or anything is odd, for the full resolution of openTarget.
std::optional<ReplaceStep> openPlainName(
    const std::string &path, Replacement &file, int &error, Opening why)
{
    const auto [directory, name] = splitPath(path);
    if (name.empty() || name == "." || name == ".." || !openDirectory(directory, file))
        return std::nullopt;
    file.name = name;
    FoundFile found = openRegularFile(descriptor(file.directoryHandle), name.c_str(), O_NOFOLLOW);
    if (!found.info)
        return errno == ENOENT ? std::optional(ReplaceStep::None) : std::nullopt;
    if (S_ISLNK(found.info->st_mode) || (S_ISREG(found.info->st_mode) && !found.opened.isOpen()))
        return std::nullopt;
    return keepOriginal(found.opened, *found.info, file, error, why);
}

} // namespace

ReplaceStep openTarget(const std::string &path, Replacement &file, int &error, Opening why)
{
    file.path = path;
    if (const std::optional<ReplaceStep> step = openPlainName(path, file, error, why))
        return *step;
    file = Replacement();
    file.path = path;
    for (int attempt = 0; attempt < 10; ++attempt) {
        // The system follows the links of the path, and refuses where it would refuse any
        // program (a link planted in a sticky folder by another user).
        FoundFile found = openRegularFile(AT_FDCWD, path.c_str(), 0);
        if (!found.info) {
            error = errno;
            if (error != ENOENT)
                return ReplaceStep::Create;
            const auto [directory, name] = splitPath(path);
            file.name = name;
            if (!openDirectory(directory, file)) {
                error = errno;
                return ReplaceStep::Create;
            }
            struct stat entry = {};
            if (::fstatat(
                    descriptor(file.directoryHandle), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW)
                != 0) {
                error = errno;
                return error == ENOENT ? ReplaceStep::None : ReplaceStep::Create;
            }
            file.missingBehindLink = why == Opening::ToReplace && S_ISLNK(entry.st_mode);
            if (why == Opening::ToFind || file.missingBehindLink)
                return ReplaceStep::None;
            continue; // made meanwhile
        }
        const struct stat &info = *found.info;
        if (!S_ISREG(info.st_mode))
            return keepOriginal(found.opened, info, file, error, why);
        if (!found.opened.isOpen()) {
            error = errno;
            return ReplaceStep::Create;
        }
        // Where the system found the file: the rename must happen there.
        const std::optional<std::string> foundPath = pathOfOpenFile(descriptor(found.opened), path);
        if (!foundPath) {
            error = errno;
            return ReplaceStep::Create;
        }
        const auto [directory, name] = splitPath(*foundPath);
        file.name = name;
        if (!openDirectory(directory, file)) {
            error = errno;
            return ReplaceStep::Create;
        }
        if (identityWithin(file, name) != identityOf(info))
            continue; // renamed or replaced meanwhile
        return keepOriginal(found.opened, info, file, error, why);
    }
    error = EAGAIN;
    return ReplaceStep::Create;
}

ReplaceStep createBehindLink(Replacement &file, int &error)
{
    const std::string path = file.path;
    const SystemHandle created(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    struct stat info = {};
    if (!created.isOpen() || ::fstat(descriptor(created), &info) != 0) {
        error = errno;
        return ReplaceStep::Create;
    }
    file = Replacement();
    const ReplaceStep step = openTarget(path, file, error);
    file.createdBehindLink = step == ReplaceStep::None && file.original == identityOf(info);
    return step;
}

std::optional<FileIdentity> identityWithin(const Replacement &file, const std::string &name)
{
    struct stat info = {};
    if (::fstatat(descriptor(file.directoryHandle), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return identityOf(info);
}

std::size_t nameLimit(const Replacement &file)
{
    if (file.longestName == 0) {
        const long limit = ::fpathconf(descriptor(file.directoryHandle), _PC_NAME_MAX);
        file.longestName = limit > 0 ? std::size_t(limit) : NAME_MAX;
    }
    return file.longestName;
}

Created createTemporary(Replacement &file, const std::string &name, int &error)
{
    // A new file gets what the system gives any new file (the umask, the folder's default ACL);
    // a replacement stays private until it has the original's access.
    SystemHandle created(::openat(descriptor(file.directoryHandle), name.c_str(),
        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, file.original ? 0600 : 0666));
    if (!created.isOpen()) {
        error = errno;
        return error == EEXIST ? Created::NameTaken : Created::Failed;
    }
    // The lock tells a sweep that a live writer holds the file. A sweep that came between the
    // creation and the lock removes it: take another name then.
    if (::flock(descriptor(created), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Created::NameTaken;
    struct stat info = {};
    struct stat named = {};
    const int directory = descriptor(file.directoryHandle);
    if (::fstat(descriptor(created), &info) == 0
        && ::fstatat(directory, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0) {
        if (identityOf(info) != identityOf(named))
            return Created::NameTaken;
        file.temporaryHandle = SystemHandle(created.release());
        return Created::Yes;
    }
    error = errno;
    if (error == ENOENT)
        return Created::NameTaken;
    ::unlinkat(directory, name.c_str(), 0);
    return Created::Failed;
}

ReplaceStep fillTemporary(Replacement &file, const ProduceBytes &bytes, int &error)
{
    const int fd = descriptor(file.temporaryHandle);
    if (!bytes([fd](std::string_view piece) { return writeAll(fd, piece); })) {
        error = errno;
        return ReplaceStep::Write;
    }
    // After the bytes: writing clears set-user-ID bits and file capabilities.
    if (file.originalHandle.isOpen() && !copyAccess(descriptor(file.originalHandle), fd)) {
        error = errno;
        return ReplaceStep::Create;
    }
    if (::fsync(fd) != 0) {
        error = errno;
        return ReplaceStep::Write;
    }
    return ReplaceStep::None;
}

bool waitUntilReplaceable(const Replacement &, int &)
{
    return true; // a rename is never refused because another program has the file open
}

bool renameWithin(
    const Replacement &file, const std::string &from, const std::string &to, int &error)
{
    const int directory = descriptor(file.directoryHandle);
    if (::renameat(directory, from.c_str(), directory, to.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

bool linkWithin(const Replacement &file, const std::string &existing, const std::string &newName)
{
    const int directory = descriptor(file.directoryHandle);
    return ::linkat(directory, existing.c_str(), directory, newName.c_str(), 0) == 0;
}

bool removeWithin(const Replacement &file, const std::string &name)
{
    return ::unlinkat(descriptor(file.directoryHandle), name.c_str(), 0) == 0 || errno == ENOENT;
}

std::vector<std::string> namesWithin(const Replacement &file)
{
    // Read through the directory's own descriptor, whose position nothing else uses.
    std::vector<std::string> names;
    const int directory = descriptor(file.directoryHandle);
    if (::lseek(directory, 0, SEEK_SET) != 0)
        return names;
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t size = ::getdents64(directory, buffer, sizeof buffer);
        if (size <= 0)
            return names;
        for (ssize_t at = 0; at < size;) {
            const auto *const entry = reinterpret_cast<const dirent64 *>(buffer + at);
            names.emplace_back(entry->d_name);
            at += entry->d_reclen;
        }
    }
}

void removeUnlessHeld(const Replacement &file, const std::string &name)
{
    const int directory = descriptor(file.directoryHandle);
    // Open for writing where we may: NFS grants an exclusive lock only on a file open so.
    FoundFile found = openRegularFile(directory, name.c_str(), O_NOFOLLOW, O_RDWR);
    if (found.info && !found.opened.isOpen())
        found = openRegularFile(directory, name.c_str(), O_NOFOLLOW);
    if (found.opened.isOpen() && ::flock(descriptor(found.opened), LOCK_EX | LOCK_NB) == 0
        && identityWithin(file, name) == identityOf(*found.info))
        ::unlinkat(directory, name.c_str(), 0);
}

void syncDirectory(const Replacement &file)
{
    ::fsync(descriptor(file.directoryHandle));
}

} // namespace velmora::replacement
