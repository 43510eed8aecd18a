#include "folderlock.h"

#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "filedescriptor.h"
#include "lockwait.h"

namespace velmora {

// flock on the folder itself: no file of ours appears beside the files. Where the file system
// cannot lock a folder (NFS), the folder is held without a lock: saves there do not take turns,
// but each of them still replaces its files whole.
FolderLock::FolderLock(const std::string &directory, Mode mode)
{
    FileDescriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()
        && lockBefore(folder.get(), mode == Mode::Shared ? LOCK_SH : LOCK_EX, lockDeadline())
            != Locking::Busy) {
        m_handle = folder.release();
    }
}

FolderLock::FolderLock(FolderLock &&other) noexcept
    : m_handle(std::exchange(other.m_handle, NotHeld))
{ }

FolderLock &FolderLock::operator=(FolderLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_handle = std::exchange(other.m_handle, NotHeld);
    }
    return *this;
}

void FolderLock::release()
{
    if (isHeld())
        ::close(int(std::exchange(m_handle, NotHeld)));
}

} // namespace velmora
