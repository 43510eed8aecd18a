#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace velmora::test {

// Runs body in a child process whose files cannot grow beyond limitBytes, and returns what body
// returned. A write past the limit fails as on a full disk, also for root. POSIX only.
std::string runWithFileSizeLimit(std::size_t limitBytes, const std::function<std::string()> &body);

// Runs body in a child process that may map at most extraBytes more memory than it has mapped
// at its start, and returns what body returned, or "no limit" when the limit cannot be set.
std::string runWithMemoryLimit(std::size_t extraBytes, const std::function<std::string()> &body);

// Runs body in a child process with the user and groups given (the caller must be root), and
// returns what body returned, or "not switched" when the child could not become that user.
std::string runAsUser(uid_t user, gid_t group, const std::function<std::string()> &body,
    const std::vector<gid_t> &otherGroups = {});

// Another process that holds a lock (flock) on a file or a folder until the object goes.
class LockHeldElsewhere
{
public:
    LockHeldElsewhere(const std::string &path, bool exclusive = true);
    ~LockHeldElsewhere() { release(); }
    LockHeldElsewhere(const LockHeldElsewhere &) = delete;
    LockHeldElsewhere &operator=(const LockHeldElsewhere &) = delete;

    bool isHeld() const { return m_child > 0; }
    void release();

private:
    pid_t m_child = -1;
    int m_release = -1; // closing it tells the child to let go
};

} // namespace velmora::test
