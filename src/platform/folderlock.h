#pragma once

#include <string>
#include <utility>

#include "systemhandle.h"

namespace velmora {

// A lock on a folder that this program's processes take around reading or replacing a set of
// files in it: saves take it exclusively and so take turns, loads take it shared and so never see
// a save half done. Held from construction until release() or the object's end.
class FolderLock
{
public:
    enum class Mode { Shared, Exclusive };

    FolderLock() = default;
    // Waits a short while for another process that holds the folder; isHeld() tells whether the
    // lock was taken. Where a shared lock cannot be had, the lock is exclusive; where the file
    // system has no folder locks at all, the folder counts as held.
    FolderLock(const std::string &directory, Mode mode);
    ~FolderLock() { release(); }
    FolderLock(FolderLock &&other) noexcept = default;
    FolderLock &operator=(FolderLock &&other) noexcept
    {
        if (this != &other) {
            release();
            m_handle = std::move(other.m_handle);
        }
        return *this;
    }

    bool isHeld() const { return m_handle.isOpen(); }
    void release();

private:
    SystemHandle m_handle; // the folder, open (POSIX), or the folder's mutex (Windows)
};

} // namespace velmora
