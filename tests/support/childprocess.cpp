#include "childprocess.h"

#include <csignal>

#include <grp.h>
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

std::string runAsUser(uid_t user, gid_t group, const std::function<std::string()> &body)
{
    const auto become = [user, group] {
        return ::setgroups(0, nullptr) == 0 && ::setgid(group) == 0 && ::setuid(user) == 0;
    };
    return runInChild(become, body, "not switched");
}

} // namespace velmora::test
