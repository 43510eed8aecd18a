#include "filesizelimit.h"

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

std::string runWithFileSizeLimit(std::size_t limitBytes, const std::function<std::string()> &body)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the child
        const rlimit fileSize { rlim_t(limitBytes), rlim_t(limitBytes) };
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        const std::string result = body();
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

} // namespace velmora::test
