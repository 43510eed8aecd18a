#include "filebytes.h"

#include <fcntl.h>

#include "filedescriptor.h"

namespace velmora {

std::optional<FileBytes> readFileBytes(const std::string &path)
{
    const FoundFile file = openRegularFile(AT_FDCWD, path.c_str(), 0);
    if (!file.opened.isOpen())
        return std::nullopt;
    return readOpenFile(descriptor(file.opened), std::size_t(file.info->st_size));
}

} // namespace velmora
