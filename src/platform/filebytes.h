#pragma once

#include <optional>
#include <string>

namespace velmora {

// The whole contents of the file at path, or nothing when it cannot be opened or read
// (a missing file, a directory).
std::optional<std::string> readFileBytes(const std::string &path);

} // namespace velmora
