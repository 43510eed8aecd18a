#include "childprocess.h"

#include <csignal>
#include <fstream>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

namespace {

// Runs body in a child process after prepare, which tells whether the child may go on, and
// returns what body returned over a pipe.
std::string runInChild(const std::function<bool()> &prepare,
    const std::function<std::string()> &body, const std::string &notPrepared)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string result = prepare() ? body() : notPrepared;
        (void)!::write(pipeEnds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, std::size_t(n));
    ::close(pipeEnds[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}

} // namespace

std::string runWithFileSizeLimit(std::size_t limitBytes, const std::function<std::string()> &body)
{
    const auto limit = [limitBytes] {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the child
        const rlimit fileSize { rlim_t(limitBytes), rlim_t(limitBytes) };
        return ::setrlimit(RLIMIT_FSIZE, &fileSize) == 0;
    };
    return runInChild(limit, body, "no limit");
}

std::string runWithMemoryLimit(std::size_t extraBytes, const std::function<std::string()> &body)
{
    const auto limit = [extraBytes] {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t bytes = rlim_t(pages * std::size_t(::sysconf(_SC_PAGESIZE)) + extraBytes);
        const rlimit addressSpace { bytes, bytes };
        return pages > 0 && ::setrlimit(RLIMIT_AS, &addressSpace) == 0;
    };
    return runInChild(limit, body, "no limit");
}

std::string runAsUser(uid_t user, gid_t group, const std::function<std::string()> &body,
    const std::vector<gid_t> &otherGroups)
{
    const auto become = [&] {
        return ::setgroups(otherGroups.size(), otherGroups.data()) == 0 && ::setgid(group) == 0
            && ::setuid(user) == 0;
    };
    return runInChild(become, body, "not switched");
}

LockHeldElsewhere::LockHeldElsewhere(const std::string &path, bool exclusive)
{
    int held[2];
    int release[2];
    if (::pipe(held) != 0)
        return;
    if (::pipe(release) != 0) {
        ::close(held[0]);
        ::close(held[1]);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(held[0]);
        ::close(release[1]);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool locked = fd >= 0 && ::flock(fd, exclusive ? LOCK_EX : LOCK_SH) == 0;
        (void)!::write(held[1], locked ? "y" : "n", 1);
        char ignored;
        (void)!::read(release[0], &ignored, 1); // returns when the parent closes its end
        ::_exit(0);
    }
    ::close(held[1]);
    ::close(release[0]);
    char answer = 'n';
    if (::read(held[0], &answer, 1) == 1 && answer == 'y') {
        m_child = child;
        m_release = release[1];
    } else {
        ::close(release[1]);
        ::waitpid(child, nullptr, 0);
    }
    ::close(held[0]);
}

void LockHeldElsewhere::release()
{
    if (m_child <= 0)
        return;
    ::close(m_release);
    ::waitpid(m_child, nullptr, 0);
    m_child = -1;
}

} // namespace velmora::test
