#include "executabledirectory.h"

#include <filesystem>

namespace velmora {

std::string executableDirectory()
{
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error)
        path = std::filesystem::current_path().string() + "/";
    return path.substr(0, path.rfind('/') + 1);
}

} // namespace velmora
