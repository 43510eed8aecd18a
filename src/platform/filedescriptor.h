#pragma once

// POSIX only: what the POSIX siblings share about open files.

#include <chrono>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>

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

// A file that a path names, looked up without being opened.
struct FoundFile
{
    // What the path names; nothing, with errno set, when it names nothing that can be looked up.
    std::optional<struct stat> info;
    // The file, open with the access asked for, when it is a regular file and could be opened.
    SystemHandle opened;
};

// Looks up path (relative to directory, as openat takes it; flags may add O_NOFOLLOW) without
// opening what it names, and opens it with access (O_RDONLY or O_RDWR) only when it is a regular
// file, never blocking: a device, a FIFO or a socket is not opened, unless it takes the file's
// place in the instant between the look and the open, and then it is let go unread.
FoundFile openRegularFile(int directory, const char *path, int flags, int access = O_RDONLY);

// The first size bytes of the open file fd, fewer when it ends before; nothing when reading
// fails.
std::optional<FileBytes> readOpenFile(int fd, std::size_t size);

} // namespace velmora
