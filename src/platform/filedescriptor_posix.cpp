#include "filedescriptor.h"

#include <cerrno>
#include <string>
#include <thread>

#include <sys/file.h>

#include "lockwait.h"

namespace velmora {

Locking lockBefore(int fd, int operation, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return Locking::Taken;
        if (errno == EBADF || errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return Locking::Unsupported;
        if ((errno != EWOULDBLOCK && errno != EINTR)
            || std::chrono::steady_clock::now() >= deadline)
            return Locking::Busy;
        std::this_thread::sleep_for(LockRetryStep);
    }
}

FoundFile openRegularFile(int directory, const char *path, int flags, int access)
{
    FoundFile found;
    const SystemHandle looked(::openat(directory, path, O_PATH | O_CLOEXEC | flags));
    struct stat info = {};
    if (!looked.isOpen() || ::fstat(descriptor(looked), &info) != 0)
        return found;
    found.info = info;
    if (!S_ISREG(info.st_mode))
        return found;
    // Opening the descriptor's own entry in /proc opens the very file that was looked up. Without
    // /proc the path is opened again, and taken only when it still names that file.
    const int opening = access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor(looked));
    found.opened = SystemHandle(::open(self.c_str(), opening));
    if (!found.opened.isOpen() && errno == ENOENT) {
        found.opened = SystemHandle(::openat(directory, path, opening | flags));
        struct stat again = {};
        if (found.opened.isOpen()
            && (::fstat(descriptor(found.opened), &again) != 0 || again.st_dev != info.st_dev
                || again.st_ino != info.st_ino)) {
            found.opened.reset();
            errno = EAGAIN;
        }
    }
    return found;
}

std::optional<FileBytes> readOpenFile(int fd, std::size_t size)
{
    FileBytes bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = ::read(fd, bytes.data() + done, size - done);
        if (count == 0)
            break;
        if (count < 0 && errno != EINTR)
            return std::nullopt;
        if (count > 0)
            done += std::size_t(count);
    }
    bytes.shrink(done);
    return bytes;
}

} // namespace velmora
