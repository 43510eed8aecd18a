#include "filedescriptor.h"

#include <cerrno>
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
    // The path is opened after the look, and the file taken only when it is still the one looked
    // at; when a writer has renamed another file over it in between, the look is made again.
    // This costs a tenth of opening the looked-up file through /proc, which a read of every INI
    // file would feel.
    constexpr int Looks = 16;
    FoundFile found;
    for (int look = 0; look < Looks; ++look) {
        found = {};
        struct stat info = {};
        if (::fstatat(directory, path, &info, (flags & O_NOFOLLOW) != 0 ? AT_SYMLINK_NOFOLLOW : 0)
            != 0)
            return found;
        found.info = info;
        if (!S_ISREG(info.st_mode))
            return found;
        found.opened = SystemHandle(
            ::openat(directory, path, access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags));
        struct stat again = {};
        if (!found.opened.isOpen())
            return found;
        if (::fstat(descriptor(found.opened), &again) == 0 && again.st_dev == info.st_dev
            && again.st_ino == info.st_ino)
            return found;
    }
    found.opened.reset();
    errno = EAGAIN;
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
