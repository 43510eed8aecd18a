#include "folderlock.h"

#include <chrono>
#include <utility>

#include <windows.h>

#include "lockwait.h"

namespace velmora {

namespace {

// One mutex per folder, named after its full path without regard to letter case. A mutex has
// no shared mode, so loads take it exclusively too.
std::wstring mutexName(const std::string &directory)
{
    char full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(directory.c_str(), DWORD(sizeof full), full, nullptr);
    const std::string path
        = length > 0 && length < sizeof full ? std::string(full, length) : directory;
    const int units = MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), nullptr, 0);
    std::wstring wide(std::size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), int(path.size()), wide.data(), units);
    CharLowerBuffW(wide.data(), DWORD(wide.size()));
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a over the 16-bit units
    for (const wchar_t unit : wide)
        hash = (hash ^ std::uint64_t(unit)) * 1099511628211ull;
    wchar_t name[64];
    swprintf(name, 64, L"Local\\Velmora.FolderLock.%016llx", static_cast<unsigned long long>(hash));
    return name;
}

} // namespace

FolderLock::FolderLock(const std::string &directory, Mode)
{
    const DWORD attributes = GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName(directory).c_str());
    if (!mutex)
        return;
    const DWORD waited = WaitForSingleObject(mutex, DWORD(LockPatience.count()));
    // An abandoned mutex was held by a process that ended without letting go: it is ours now.
    SystemHandle held(reinterpret_cast<std::intptr_t>(mutex));
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        m_handle = std::move(held);
}

void FolderLock::release()
{
    if (isHeld())
        ReleaseMutex(reinterpret_cast<HANDLE>(m_handle.get()));
    m_handle.reset();
}

} // namespace velmora
