#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

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
