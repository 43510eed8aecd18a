#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace velmora::test {

// Runs body in a child process whose files cannot grow beyond limitBytes, and returns what body
// returned. A write past the limit fails as on a full disk, also for root. POSIX only.
std::string runWithFileSizeLimit(std::size_t limitBytes, const std::function<std::string()> &body);

} // namespace velmora::test
