#include "fileaccess.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr const char *AccessAcl = "system.posix_acl_access";

// The names of the extended attributes of fd, each ending in a NUL.
std::string attributeNames(int fd)
{
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size <= 0)
            return {};
        std::string names(std::size_t(size), '\0');
        const ssize_t listed = ::flistxattr(fd, names.data(), names.size());
        if (listed >= 0) {
            names.resize(std::size_t(listed));
            return names;
        }
        if (errno != ERANGE) // ERANGE: one was added meanwhile
            return {};
    }
}

std::optional<std::string> attribute(int fd, const char *name)
{
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0)
            return std::nullopt;
        std::string value(std::size_t(size), '\0');
        const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
        if (got >= 0) {
            value.resize(std::size_t(got));
            return value;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
}

} // namespace

bool copyAccess(int from, int to)
{
    struct stat info = {};
    struct stat copy = {};
    if (::fstat(from, &info) != 0 || ::fstat(to, &copy) != 0)
        return false;
    // Only a privileged process may give a file away, but any member of a group may keep it.
    // Each change of a file's owner or access is written to the file system's journal: those
    // that change nothing are left out.
    if ((copy.st_uid != info.st_uid || copy.st_gid != info.st_gid)
        && ::fchown(to, info.st_uid, info.st_gid) != 0)
        (void)::fchown(to, uid_t(-1), info.st_gid);

    std::optional<std::string> acl;
    const std::string names = attributeNames(from);
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char *name = names.c_str() + at;
        std::optional<std::string> value = attribute(from, name);
        if (!value)
            continue;
        if (std::strcmp(name, AccessAcl) == 0)
            acl = std::move(value);
        else // what the file system refuses, such as another program's security label, is left
            (void)::fsetxattr(to, name, value->data(), value->size(), 0);
    }
    // The folder's default ACL may have given the new file an ACL that the old one lacked.
    if (!acl && attribute(to, AccessAcl))
        (void)::fremovexattr(to, AccessAcl);
    if ((copy.st_mode & 07777) != (info.st_mode & 07777) && ::fchmod(to, info.st_mode & 07777) != 0)
        return false;
    // The ACL goes last, as setting permission bits changes its mask.
    return !acl || ::fsetxattr(to, AccessAcl, acl->data(), acl->size(), 0) == 0;
}

} // namespace velmora
