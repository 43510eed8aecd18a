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
