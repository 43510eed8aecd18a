#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

// One call of the process under a fault, as the supervisor sees it.
class SystemCall
{
public:
    SystemCall(int process, long number, const std::array<std::uint64_t, 6> &arguments);

    long number() const { return m_number; }
    // For open and openat: the path the call names, made absolute with the process's directory
    // descriptor or working directory; empty for other calls.
    std::string path() const;
    // For open and openat: the flags the call passes; 0 for other calls.
    int openFlags() const;

private:
    std::string textAt(std::uint64_t address) const;

    int m_process;
    long m_number;
    std::array<std::uint64_t, 6> m_arguments;
};

// A fault in one of a process's calls of a group of system calls, counted from 1.
struct SystemCallFault
{
    enum class Kind {
        FailOnce, // that call fails with error; the later ones go through
        FailFromThen, // that call and every later one fail with error
        Crash, // the process is killed (SIGKILL) at that call, before it takes effect
    };

    std::vector<long> calls; // system call numbers, such as SYS_renameat
    int nth = 1;
    Kind kind = Kind::FailOnce;
    int error = 5; // EIO
    // When set, only the calls of the group that it accepts count; the others go through.
    std::function<bool(const SystemCall &)> counts = nullptr;
};

struct FaultedRun
{
    bool reached = false; // the process made the nth call
    bool crashed = false;
    std::string result; // what body returned; empty when the process crashed
};

// Runs body in a child process in which the fault strikes; the calls before it go through.
// POSIX (Linux, seccomp user notification); nothing where the system cannot inject faults.
std::optional<FaultedRun> runWithSystemCallFault(
    const SystemCallFault &fault, const std::function<std::string()> &body);

} // namespace velmora::test
