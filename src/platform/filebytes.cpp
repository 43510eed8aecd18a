#include "filebytes.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace velmora {

std::optional<std::string> readFileBytes(const std::string &path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return std::nullopt;
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(
        std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return std::nullopt;
    std::string bytes;
    if (const auto size = std::filesystem::file_size(path, error); !error)
        bytes.reserve(std::size_t(size));
    char buffer[65536];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, count);
        if (count < sizeof buffer)
            break;
    }
    if (std::ferror(file.get()))
        return std::nullopt;
    return bytes;
}

} // namespace velmora
