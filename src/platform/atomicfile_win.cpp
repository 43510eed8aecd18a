#include "atomicfile.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

#include "replacementsteps.h"

namespace velmora {

namespace {

// Another program (a virus scanner, an indexer, an editor) may hold a file open for a moment
// without letting others delete or rename it; a replacement waits this long for it.
constexpr int ReplaceAttempts = 20;
constexpr DWORD ReplaceRetryMilliseconds = 50;

// The directory part of path, with its separator; empty for a bare name. A backslash may be the
// trail byte of a double-byte character, so the path is walked character by character.
std::string directoryPartOf(const std::string &path)
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
    return path.substr(0, end);
}

class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    { }
    ~Handle() { close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    HANDLE get() const { return m_handle; }
    bool isValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool close()
    {
        const HANDLE handle = std::exchange(m_handle, INVALID_HANDLE_VALUE);
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle);
    }

private:
    HANDLE m_handle;
};

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

// Creates a new temporary file beside the target; the name only has to be unique.
HANDLE createTemporary(const std::string &target, std::string &path)
{
    const std::string directory = directoryPartOf(target);
    const std::string name = target.substr(directory.size());
    const DWORD process = GetCurrentProcessId();
    for (DWORD attempt = 0;; ++attempt) {
        path = directory + "." + name + ".velmora-" + std::to_string(process) + "-"
            + std::to_string(GetTickCount() + attempt);
        const HANDLE file = CreateFileA(
            path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS || attempt == 100)
            return file;
    }
}

// The attributes of an existing file that its replacement takes over.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
    | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool isTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
        || error == ERROR_ACCESS_DENIED;
}

} // namespace

std::string resolveFileLinks(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    const Handle file(
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.isValid())
        return path;
    std::string target(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleA(
            file.get(), target.data(), DWORD(target.size()), FILE_NAME_NORMALIZED);
        if (length == 0)
            return path;
        if (length < target.size()) {
            target.resize(length);
            break;
        }
        target.resize(length);
    }
    // The answer has the form \\?\C:\dir\file or \\?\UNC\server\share\file.
    constexpr std::string_view Local = "\\\\?\\";
    constexpr std::string_view Network = "\\\\?\\UNC\\";
    if (target.starts_with(Network))
        return "\\\\" + target.substr(Network.size());
    if (target.starts_with(Local))
        return target.substr(Local.size());
    return target;
}

namespace replacement {

ReplaceStep writeTemporary(const FileText &file, TemporaryFile &temporary, int &error)
{
    temporary.target = resolveFileLinks(file.path);
    const DWORD attributes = GetFileAttributesA(temporary.target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    temporary.targetExisted = exists;
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        error = int(ERROR_ACCESS_DENIED);
        return ReplaceStep::Create;
    }

    std::string path;
    Handle out(createTemporary(temporary.target, path));
    if (!out.isValid()) {
        error = int(GetLastError());
        return ReplaceStep::Create;
    }
    temporary.path = path;
    if (!writeAll(out.get(), file.bytes) || !FlushFileBuffers(out.get()) || !out.close()) {
        error = int(GetLastError());
        return ReplaceStep::Write;
    }
    if (exists && (attributes & KeptAttributes) != 0)
        SetFileAttributesA(temporary.path.c_str(), attributes & KeptAttributes);
    return ReplaceStep::None;
}

// Waiting here, before the old file is given a second name, means no second name is left behind
// that the holder would keep from being removed.
bool waitUntilReplaceable(const TemporaryFile &temporary, int &error)
{
    for (int attempt = 1;; ++attempt) {
        const Handle target(CreateFileA(temporary.target.c_str(), DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (target.isValid())
            return true;
        const DWORD failure = GetLastError();
        error = int(failure);
        if (!isTransient(failure) || attempt >= ReplaceAttempts)
            return !isTransient(failure);
        Sleep(ReplaceRetryMilliseconds);
    }
}

bool moveIntoPlace(const TemporaryFile &temporary, int &error)
{
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(temporary.path.c_str(), temporary.target.c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD failure = GetLastError();
        error = int(failure);
        if (!isTransient(failure) || attempt >= ReplaceAttempts)
            return false;
        Sleep(ReplaceRetryMilliseconds);
    }
}

bool linkFile(const std::string &existing, const std::string &newName)
{
    return CreateHardLinkA(newName.c_str(), existing.c_str(), nullptr) != FALSE;
}

void renameOver(const std::string &from, const std::string &to)
{
    MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void removeFile(const std::string &path)
{
    DeleteFileA(path.c_str());
}

void finishReplacement(std::span<const TemporaryFile>)
{
    // MOVEFILE_WRITE_THROUGH has made each rename last already.
}

} // namespace replacement

} // namespace velmora
