#include "folderlock.h"

#include <utility>

#include <fcntl.h>
#include <sys/file.h>

#include "filedescriptor.h"
#include "lockwait.h"

namespace velmora {

// flock on the folder itself: no file of ours appears beside the files. Where the file system
// cannot lock a folder (NFS), the folder is held without a lock: saves there do not take turns,
// but each of them still replaces its files whole.
FolderLock::FolderLock(const std::string &directory, Mode mode)
{
    SystemHandle folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.isOpen()
        && lockBefore(descriptor(folder), mode == Mode::Shared ? LOCK_SH : LOCK_EX, lockDeadline())
            != Locking::Busy) {
        m_handle = std::move(folder);
    }
}

void FolderLock::release()
{
    m_handle.reset(); // closing the folder lets go of its lock
}

} // namespace velmora
