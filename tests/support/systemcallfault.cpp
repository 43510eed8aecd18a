#include "systemcallfault.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstring>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

namespace {

#if defined(__x86_64__)
constexpr unsigned ThisArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned ThisArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned ThisArchitecture = 0;
#endif

// Sends the supervisor every call of the group, lets all others through.
int installFilter(const std::vector<long> &calls)
{
    std::vector<sock_filter> program {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ThisArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const auto toNotify = std::uint8_t(calls.size() - i);
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, unsigned(calls[i]), toNotify, 0));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF));
    const sock_fprog filter { static_cast<unsigned short>(program.size()), program.data() };
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return -1;
    return int(
        ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &filter));
}

void sendDescriptor(int socket, int fd)
{
    char data = fd >= 0 ? 'y' : 'n';
    iovec part { &data, 1 };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *const header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    (void)!::sendmsg(socket, &message, 0);
}

int receiveDescriptor(int socket)
{
    char data = 0;
    iovec part { &data, 1 };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(socket, &message, 0) <= 0 || data != 'y')
        return -1;
    const cmsghdr *const header = CMSG_FIRSTHDR(&message);
    if (!header || header->cmsg_type != SCM_RIGHTS)
        return -1;
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

// Answers the child's calls until it ends; kills it at the fault when it is a crash.
void supervise(int listener, pid_t child, const SystemCallFault &fault, FaultedRun &run)
{
    int count = 0;
    for (;;) {
        pollfd waiting { listener, POLLIN, 0 };
        if (::poll(&waiting, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (!(waiting.revents & POLLIN))
            return; // the child has ended
        seccomp_notif request {};
        if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &request) != 0) {
            if (errno == EINTR || errno == ENOENT)
                continue;
            return;
        }
        seccomp_notif_resp response {};
        response.id = request.id;
        if (fault.counts) {
            std::array<std::uint64_t, 6> arguments;
            std::copy(
                std::begin(request.data.args), std::end(request.data.args), arguments.begin());
            const bool counted
                = fault.counts(SystemCall(int(request.pid), request.data.nr, arguments));
            // The call may have been cut off meanwhile, and its memory reused.
            if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_ID_VALID, &request.id) != 0)
                continue;
            if (!counted) {
                response.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
                ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &response);
                continue;
            }
        }
        ++count;
        const bool strikes = count == fault.nth
            || (count > fault.nth && fault.kind == SystemCallFault::Kind::FailFromThen);
        if (count == fault.nth)
            run.reached = true;
        if (strikes && fault.kind == SystemCallFault::Kind::Crash) {
            ::kill(child, SIGKILL);
            continue;
        }
        if (strikes)
            response.error = -fault.error;
        else
            response.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
        ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &response);
    }
}

} // namespace

SystemCall::SystemCall(int process, long number, const std::array<std::uint64_t, 6> &arguments)
    : m_process(process)
    , m_number(number)
    , m_arguments(arguments)
{ }

std::string SystemCall::textAt(std::uint64_t address) const
{
    // Read a page at most at a time: the text may end just before an unmapped one.
    std::string text;
    const std::uint64_t page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    while (text.size() < 4096) {
        char chunk[4096];
        const std::size_t size = std::size_t(page - address % page);
        const iovec local { chunk, std::min(size, sizeof chunk) };
        const iovec remote { reinterpret_cast<void *>(address), local.iov_len };
        const ssize_t got = ::process_vm_readv(m_process, &local, 1, &remote, 1, 0);
        if (got <= 0)
            break;
        const std::string_view read(chunk, std::size_t(got));
        const std::size_t end = read.find('\0');
        text.append(read.substr(0, end));
        if (end != std::string_view::npos)
            break;
        address += std::uint64_t(got);
    }
    return text;
}

std::string SystemCall::path() const
{
    std::string path;
    std::string directory;
#ifdef SYS_open
    if (m_number == SYS_open) {
        path = textAt(m_arguments[0]);
        directory = "cwd";
    }
#endif
    if (m_number == SYS_openat) {
        path = textAt(m_arguments[1]);
        const int fd = int(m_arguments[0]);
        directory = fd == AT_FDCWD ? "cwd" : "fd/" + std::to_string(fd);
    }
    if (path.empty() || path.front() == '/')
        return path;
    char found[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(m_process) + "/" + directory;
    const ssize_t length = ::readlink(link.c_str(), found, sizeof found);
    if (length <= 0)
        return path;
    std::string absolute(found, std::size_t(length));
    return absolute == "/" ? absolute + path : absolute + "/" + path;
}

int SystemCall::openFlags() const
{
#ifdef SYS_open
    if (m_number == SYS_open)
        return int(m_arguments[1]);
#endif
    return m_number == SYS_openat ? int(m_arguments[2]) : 0;
}

std::optional<FaultedRun> runWithSystemCallFault(
    const SystemCallFault &fault, const std::function<std::string()> &body)
{
    if (ThisArchitecture == 0)
        return std::nullopt;
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const int listener = installFilter(fault.calls);
        sendDescriptor(channel[1], listener);
        if (listener < 0)
            ::_exit(1);
        ::close(listener);
        // send() is no call any fault is about, so the result always reaches the parent.
        const std::string result = body();
        (void)!::send(channel[1], result.data(), result.size(), MSG_NOSIGNAL);
        ::_exit(0);
    }
    ::close(channel[1]);
    std::optional<FaultedRun> run;
    if (const int listener = receiveDescriptor(channel[0]); listener >= 0) {
        run.emplace();
        supervise(listener, child, fault, *run);
        ::close(listener);
        char buffer[512];
        for (ssize_t n; (n = ::recv(channel[0], buffer, sizeof buffer, 0)) > 0;)
            run->result.append(buffer, std::size_t(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (run)
        run->crashed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return run;
}

} // namespace velmora::test
