#include "executabledirectory.h"

#include <windows.h>

namespace velmora {

std::string executableDirectory()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // Backslash is also a trail byte of double-byte characters: find it by walking characters.
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(BYTE(path[i]))) {
            ++i;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/')
            end = i + 1;
    }
    return path.substr(0, end);
}

} // namespace velmora
