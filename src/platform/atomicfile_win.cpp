#include "atomicfile.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

#include "replacementsteps.h"

namespace velmora::replacement {

namespace {

// Another program (a virus scanner, an indexer, an editor) may hold a file open for a moment
// without letting others delete or rename it; a replacement waits this long for it.
constexpr int ReplaceAttempts = 20;
constexpr DWORD ReplaceRetryMilliseconds = 50;

// NTFS, FAT and exFAT take names of at most 255 UTF-16 units; a name in the ANSI code page has at
// least as many bytes as units, so 255 bytes always fit.
constexpr std::size_t LongestName = 255;

// The attributes of an existing file that its replacement takes over.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
    | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE handleOf(const SystemHandle &handle)
{
    return reinterpret_cast<HANDLE>(handle.get());
}

std::string pathWithin(const Replacement &file, const std::string &name)
{
    return file.directory + name;
}

bool isTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
        || error == ERROR_ACCESS_DENIED;
}

bool writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return { info.dwVolumeSerialNumber,
        std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow };
}

// The path of the open file as the system found it, in the usual form: the answer of
// GetFinalPathNameByHandle has the form \\?\C:\dir\file or \\?\UNC\server\share\file.
std::string finalPathOf(HANDLE file)
{
    std::string found(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleA(file, found.data(), DWORD(found.size()), 0);
        if (length == 0)
            return {};
        if (length < found.size()) {
            found.resize(length);
            break;
        }
        // Too small: the answer is the size needed, with its terminator (Windows) or not (Wine).
        found.resize(std::size_t(length) + 1);
    }
    constexpr std::string_view Local = "\\\\?\\";
    constexpr std::string_view Network = "\\\\?\\UNC\\";
    if (found.starts_with(Network))
        return "\\\\" + found.substr(Network.size());
    if (found.starts_with(Local))
        return found.substr(Local.size());
    return found;
}

} // namespace

// A backslash may be the trail byte of a double-byte character, so the path is walked character
// by character.
std::pair<std::string, std::string> splitPath(const std::string &path)
{
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(BYTE(path[i]))) {
            ++i;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':'))
            end = i + 1;
    }
    return { path.substr(0, end), path.substr(end) };
}

bool openDirectory(const std::string &directory, Replacement &file)
{
    file.directory = directory;
    const DWORD attributes = GetFileAttributesA(directory.empty() ? "." : directory.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string foundDirectory(const Replacement &file)
{
    return file.directory;
}

ReplaceStep openTarget(const std::string &path, Replacement &file, int &error, Opening why)
{
    file.path = path;
    for (int attempt = 0; attempt < 10; ++attempt) {
        // Opening follows links as the system does; the final path then names the real file.
        SystemHandle opened(reinterpret_cast<std::intptr_t>(CreateFileA(path.c_str(),
            FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
        if (!opened.isOpen()) {
            error = int(GetLastError());
            if (error != ERROR_FILE_NOT_FOUND)
                return ReplaceStep::Create;
            const auto [directory, name] = splitPath(path);
            file.name = name;
            if (!openDirectory(directory, file)) {
                error = int(ERROR_PATH_NOT_FOUND);
                return ReplaceStep::Create;
            }
            return ReplaceStep::None;
        }
        BY_HANDLE_FILE_INFORMATION info {};
        if (!GetFileInformationByHandle(handleOf(opened), &info)) {
            error = int(GetLastError());
            return ReplaceStep::Create;
        }
        // A device, a pipe or a directory is no file to replace; nor is a read-only file.
        const DWORD refused
            = FILE_ATTRIBUTE_DIRECTORY | (why == Opening::ToReplace ? FILE_ATTRIBUTE_READONLY : 0);
        if (GetFileType(handleOf(opened)) != FILE_TYPE_DISK || (info.dwFileAttributes & refused)) {
            error = int(ERROR_ACCESS_DENIED);
            return ReplaceStep::Create;
        }
        const std::string found = finalPathOf(handleOf(opened));
        const auto [directory, name] = found.empty() ? splitPath(path) : splitPath(found);
        file.name = name;
        file.directory = directory;
        file.original = identityOf(info);
        if (identityWithin(file, name) != file.original)
            continue; // renamed or replaced meanwhile
        return ReplaceStep::None;
    }
    error = int(ERROR_SHARING_VIOLATION);
    return ReplaceStep::Create;
}

// openTarget takes a link to a missing file for a missing file there: the new file replaces the
// link.
ReplaceStep createBehindLink(Replacement &, int &)
{
    return ReplaceStep::None;
}

std::optional<FileIdentity> identityWithin(const Replacement &file, const std::string &name)
{
    const SystemHandle entry(
        reinterpret_cast<std::intptr_t>(CreateFileA(pathWithin(file, name).c_str(),
            FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!entry.isOpen() || !GetFileInformationByHandle(handleOf(entry), &info))
        return std::nullopt;
    return identityOf(info);
}

// The ANSI functions take whole paths of at most MAX_PATH - 1 characters.
std::size_t nameLimit(const Replacement &file)
{
    constexpr std::size_t PathLimit = MAX_PATH - 1;
    return std::min<std::size_t>(
        LongestName, PathLimit > file.directory.size() ? PathLimit - file.directory.size() : 0);
}

Created createTemporary(Replacement &file, const std::string &name, int &error)
{
    // Held open until it has been renamed into place: a sweep deletes only what nobody holds.
    // Readers may look, and the rename may move it, but nobody else may write it.
    SystemHandle created(reinterpret_cast<std::intptr_t>(CreateFileA(pathWithin(file, name).c_str(),
        GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!created.isOpen()) {
        const DWORD failure = GetLastError();
        error = int(failure);
        return failure == ERROR_FILE_EXISTS ? Created::NameTaken : Created::Failed;
    }
    file.temporaryHandle = std::move(created);
    return Created::Yes;
}

ReplaceStep fillTemporary(Replacement &file, const ProduceBytes &bytes, int &error)
{
    const HANDLE temporary = handleOf(file.temporaryHandle);
    if (!bytes([temporary](std::string_view piece) { return writeAll(temporary, piece); })
        || !FlushFileBuffers(temporary)) {
        error = int(GetLastError());
        return ReplaceStep::Write;
    }
    if (file.original) {
        const DWORD attributes = GetFileAttributesA(pathWithin(file, file.name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & KeptAttributes) != 0)
            SetFileAttributesA(
                pathWithin(file, file.temporaryName).c_str(), attributes & KeptAttributes);
    }
    return ReplaceStep::None;
}

// Waiting here, before anything is renamed, means no file is replaced while another one that a
// program holds stays old.
bool waitUntilReplaceable(const Replacement &file, int &error)
{
    for (int attempt = 1;; ++attempt) {
        const SystemHandle target(
            reinterpret_cast<std::intptr_t>(CreateFileA(pathWithin(file, file.name).c_str(), DELETE,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL, nullptr)));
        if (target.isOpen())
            return true;
        const DWORD failure = GetLastError();
        error = int(failure);
        if (!isTransient(failure) || attempt >= ReplaceAttempts)
            return !isTransient(failure);
        Sleep(ReplaceRetryMilliseconds);
    }
}

bool renameWithin(
    const Replacement &file, const std::string &from, const std::string &to, int &error)
{
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(pathWithin(file, from).c_str(), pathWithin(file, to).c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD failure = GetLastError();
        error = int(failure);
        if (!isTransient(failure) || attempt >= ReplaceAttempts)
            return false;
        Sleep(ReplaceRetryMilliseconds);
    }
}

bool linkWithin(const Replacement &file, const std::string &existing, const std::string &newName)
{
    return CreateHardLinkA(
               pathWithin(file, newName).c_str(), pathWithin(file, existing).c_str(), nullptr)
        != FALSE;
}

bool removeWithin(const Replacement &file, const std::string &name)
{
    return DeleteFileA(pathWithin(file, name).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> namesWithin(const Replacement &file)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found {};
    const HANDLE search = FindFirstFileA(pathWithin(file, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// A live writer holds its temporary file open, and a file opened for deletion shared with
// nobody can be had only when nobody else holds it. DeleteFile would not do: it succeeds on a
// file that its holder lets be deleted, as a writer must for its own rename.
void removeUnlessHeld(const Replacement &file, const std::string &name)
{
    const SystemHandle unheld(reinterpret_cast<std::intptr_t>(
        CreateFileA(pathWithin(file, name).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
}

void syncDirectory(const Replacement &)
{
    // MOVEFILE_WRITE_THROUGH has made each rename last already.
}

} // namespace velmora::replacement
