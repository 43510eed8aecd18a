#include "filebytes.h"

#include <cstdio>
#include <memory>

namespace velmora {

std::optional<std::string> readFileBytes(const std::string &path)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"),
                                                                &std::fclose);
    if (!file)
        return std::nullopt;
    std::string bytes;
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
