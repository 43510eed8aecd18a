#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <sys/types.h>

namespace velmora::test {

// Runs body in a child process whose files cannot grow beyond limitBytes, and returns what body
// returned. A write past the limit fails as on a full disk, also for root. POSIX only.
std::string runWithFileSizeLimit(std::size_t limitBytes, const std::function<std::string()> &body);

// Runs body in a child process with the user and group given (the caller must be root), and
// returns what body returned, or "not switched" when the child could not become that user.
std::string runAsUser(uid_t user, gid_t group, const std::function<std::string()> &body);

} // namespace velmora::test
