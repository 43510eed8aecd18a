#include "filebytes.h"

#include <algorithm>

#include <windows.h>

namespace velmora {

std::optional<FileBytes> readFileBytes(const std::string &path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<FileBytes> bytes;
    LARGE_INTEGER size {};
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS; a device or a pipe is no disk
    // file.
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size)) {
        try {
            bytes.emplace(std::size_t(size.QuadPart));
        } catch (...) {
            CloseHandle(file);
            throw;
        }
        std::size_t done = 0;
        while (bytes && done < bytes->size()) {
            const DWORD chunk = DWORD(std::min<std::size_t>(bytes->size() - done, 1u << 30));
            DWORD count = 0;
            if (!ReadFile(file, bytes->data() + done, chunk, &count, nullptr))
                bytes.reset();
            else if (count == 0)
                break;
            done += count;
        }
        if (bytes)
            bytes->shrink(done);
    }
    CloseHandle(file);
    return bytes;
}

} // namespace velmora
