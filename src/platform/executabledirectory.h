#pragma once

#include <string>

namespace velmora {

// Full path of the directory that holds the running executable, ending in its path separator.
std::string executableDirectory();

} // namespace velmora
