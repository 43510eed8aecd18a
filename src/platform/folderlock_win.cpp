#include "folderlock.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

#include <windows.h>

#include "lockwait.h"

namespace velmora {

namespace {

// The folder's path as the system finds it (links and short names resolved) when the folder can
// be opened; its full path from the spelling given otherwise. Nothing when it is no folder.
std::optional<std::wstring> folderPath(const std::string &directory)
{
    const SystemHandle folder(reinterpret_cast<std::intptr_t>(CreateFileA(directory.c_str(),
        FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!folder.isOpen()
        || !GetFileInformationByHandle(reinterpret_cast<HANDLE>(folder.get()), &info)
        || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(folder.get()),
            path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            break;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(std::size_t(length) + 1); // too small: the size needed
    }
    const int units = MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, nullptr, 0);
    std::wstring wide(std::size_t(std::max(units, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, wide.data(), units);
    path.resize(MAX_PATH);
    for (;;) {
        const DWORD length
            = GetFullPathNameW(wide.c_str(), DWORD(path.size()), path.data(), nullptr);
        if (length == 0)
            return wide;
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

// One mutex per folder, named after the folder's path without regard to letter case or a final
// separator, so that every spelling of one folder finds the same mutex. Its name is global,
// which a mutex needs no privilege for, so that processes of other sessions (a second log-on of
// the same user) take turns too; one that another user made refuses us its handle, which we take
// as held and wait for.
std::optional<std::wstring> mutexName(const std::string &directory)
{
    std::optional<std::wstring> path = folderPath(directory);
    if (!path)
        return std::nullopt;
    while (path->size() > 1 && (path->back() == L'\\' || path->back() == L'/'))
        path->pop_back();
    CharUpperBuffW(path->data(), DWORD(path->size())); // as NTFS compares names
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a over the 16-bit units
    for (const wchar_t unit : *path)
        hash = (hash ^ std::uint64_t(unit)) * 1099511628211ull;
    wchar_t name[64];
    swprintf(
        name, 64, L"Global\\Velmora.FolderLock.%016llx", static_cast<unsigned long long>(hash));
    return name;
}

} // namespace

// A mutex has no shared mode, so loads take it exclusively too.
FolderLock::FolderLock(const std::string &directory, Mode)
{
    const std::optional<std::wstring> name = mutexName(directory);
    if (!name)
        return;
    const auto deadline = lockDeadline();
    for (;;) {
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, name->c_str());
        if (mutex) {
            SystemHandle held(reinterpret_cast<std::intptr_t>(mutex));
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const DWORD waited
                = WaitForSingleObject(mutex, DWORD(std::max<long long>(left.count(), 0)));
            // An abandoned mutex was held by a process that ended without letting go: it is
            // ours now.
            if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
                m_handle = std::move(held);
            return;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED || std::chrono::steady_clock::now() >= deadline)
            return;
        Sleep(DWORD(LockRetryStep.count()));
    }
}

void FolderLock::release()
{
    if (isHeld())
        ReleaseMutex(reinterpret_cast<HANDLE>(m_handle.get()));
    m_handle.reset();
}

} // namespace velmora
