#pragma once

#include <string>

namespace velmora {

// True when a file (not a directory) exists at the path; a relative path is taken from the
// current directory.
bool fileExists(const std::string &path);

} // namespace velmora
