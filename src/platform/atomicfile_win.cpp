#include "atomicfile.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

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

struct TemporaryFile
{
    std::string target;
    std::string path;
    bool targetExisted = false;
    std::string oldFile; // a second name of the target's old file while later files are replaced
};

void removeAll(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries)
        DeleteFileA(temporary.path.c_str());
}

// Gives the target's present file a second name, so that it can be put back if a later file
// cannot be replaced. Without hard links (FAT volumes) it stays unkept.
void keepOldFile(TemporaryFile &temporary)
{
    const std::string name = temporary.path + ".old";
    if (CreateHardLinkA(name.c_str(), temporary.target.c_str(), nullptr))
        temporary.oldFile = name;
}

void dropOldFiles(std::span<const TemporaryFile> temporaries)
{
    for (const TemporaryFile &temporary : temporaries) {
        if (!temporary.oldFile.empty())
            DeleteFileA(temporary.oldFile.c_str());
    }
}

// Undoes the replacement of files: each gets its old file back, or goes away when it had none.
void putBack(std::span<const TemporaryFile> replaced)
{
    for (const TemporaryFile &temporary : replaced) {
        if (!temporary.oldFile.empty()) {
            MoveFileExA(temporary.oldFile.c_str(), temporary.target.c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        } else if (!temporary.targetExisted) {
            DeleteFileA(temporary.target.c_str());
        }
    }
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

// Creates the temporary file for one target and fills it; returns the failing step or None.
ReplaceStep writeTemporary(const FileText &file, TemporaryFile &temporary, DWORD &error)
{
    temporary.target = resolveFileLinks(file.path);
    const DWORD attributes = GetFileAttributesA(temporary.target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    temporary.targetExisted = exists;
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        error = ERROR_ACCESS_DENIED;
        return ReplaceStep::Create;
    }

    std::string path;
    Handle out(createTemporary(temporary.target, path));
    if (!out.isValid()) {
        error = GetLastError();
        return ReplaceStep::Create;
    }
    temporary.path = path;
    if (!writeAll(out.get(), file.bytes) || !FlushFileBuffers(out.get()) || !out.close()) {
        error = GetLastError();
        return ReplaceStep::Write;
    }
    if (exists && (attributes & KeptAttributes) != 0)
        SetFileAttributesA(temporary.path.c_str(), attributes & KeptAttributes);
    return ReplaceStep::None;
}

bool isTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
        || error == ERROR_ACCESS_DENIED;
}

// Waits until no program holds the target in a way that forbids deleting or renaming it, so
// that its old file is not given a second name that could then not be removed again.
bool waitUntilReplaceable(const TemporaryFile &temporary, DWORD &error)
{
    for (int attempt = 1;; ++attempt) {
        const Handle target(CreateFileA(temporary.target.c_str(), DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (target.isValid())
            return true;
        error = GetLastError();
        if (!isTransient(error) || attempt >= ReplaceAttempts)
            return !isTransient(error);
        Sleep(ReplaceRetryMilliseconds);
    }
}

// Renames the temporary file over the target in one step, as a rename within one volume is.
bool moveIntoPlace(const TemporaryFile &temporary, DWORD &error)
{
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(temporary.path.c_str(), temporary.target.c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        error = GetLastError();
        if (!isTransient(error) || attempt >= ReplaceAttempts)
            return false;
        Sleep(ReplaceRetryMilliseconds);
    }
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

ReplaceOutcome replaceFiles(std::span<const FileText> files)
{
    std::vector<TemporaryFile> temporaries;
    temporaries.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        temporaries.emplace_back();
        DWORD error = 0;
        const ReplaceStep failed = writeTemporary(files[i], temporaries.back(), error);
        if (failed != ReplaceStep::None) {
            if (temporaries.back().path.empty())
                temporaries.pop_back();
            removeAll(temporaries);
            return { failed, i, int(error) };
        }
    }
    // Every file but the last keeps its old file until all are replaced.
    const std::span<const TemporaryFile> all(temporaries);
    for (std::size_t i = 0; i < temporaries.size(); ++i) {
        DWORD error = 0;
        const bool replaceable
            = !temporaries[i].targetExisted || waitUntilReplaceable(temporaries[i], error);
        if (replaceable && temporaries[i].targetExisted && i + 1 < temporaries.size())
            keepOldFile(temporaries[i]);
        if (!replaceable || !moveIntoPlace(temporaries[i], error)) {
            putBack(all.first(i));
            removeAll(all.subspan(i));
            dropOldFiles(all.subspan(i));
            return { ReplaceStep::Replace, i, int(error) };
        }
    }
    dropOldFiles(all);
    return {};
}

} // namespace velmora
