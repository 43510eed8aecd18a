#include "filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "filedescriptor.h"

namespace velmora {

std::optional<FileBytes> readFileBytes(const std::string &path)
{
    const SystemHandle file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info = {};
    if (!file.isOpen() || ::fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return readOpenFile(descriptor(file), std::size_t(info.st_size));
}

} // namespace velmora
