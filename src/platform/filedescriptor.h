#pragma once

// POSIX only: what the POSIX siblings share about open files.

#include <chrono>
#include <optional>

#include "filebytes.h"
#include "systemhandle.h"

namespace velmora {

// The descriptor that handle holds.
inline int descriptor(const SystemHandle &handle)
{
    return int(handle.get());
}

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
