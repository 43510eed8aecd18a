#pragma once

// POSIX only: what the POSIX siblings share about open files.

#include <chrono>
#include <optional>
#include <utility>

#include <unistd.h>

#include "filebytes.h"

namespace velmora {

// An open file descriptor, closed when it goes.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    { }
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Gives up the descriptor without closing it.
    int release() { return std::exchange(m_fd, -1); }
    void reset()
    {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
    }

private:
    int m_fd = -1;
};

enum class Locking {
    Taken,
    Busy, // another process still holds a lock that keeps it out, or locking failed
    Unsupported, // the file system takes no such lock here
};

// Takes a flock lock (LOCK_SH or LOCK_EX) on fd, trying in short steps until deadline.
// Unsupported where the file system cannot lock this file at all: NFS answers EBADF for an
// exclusive lock on a directory or on a file open for reading, others ENOLCK, EOPNOTSUPP or
// EINVAL. Callers then go on without the lock, as every program there must.
Locking lockBefore(int fd, int operation, std::chrono::steady_clock::time_point deadline);

// The first size bytes of the open file fd, fewer when it ends before; nothing when reading
// fails.
std::optional<FileBytes> readOpenFile(int fd, std::size_t size);

} // namespace velmora
